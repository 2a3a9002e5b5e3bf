// The reference instruments' I/O off the GUI thread: a worker on a thread of
// its own owns the event loop, the meter and the pressure controller; each
// request is a queued call and its result a queued signal, so the window never
// waits on a socket. A ticket ties each result to the request it answers.
#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class TEventLoop;

namespace station {
class TMeter;
class TPressureController;
} // namespace station

class TReferenceWorker : public QObject
{
    Q_OBJECT

public:
    enum TRole { Meter = 0, Controller = 1 };

    TReferenceWorker();
    ~TReferenceWorker() override;

    // Any thread, when the window closes: ends the call in progress (a silent
    // instrument's time-out is not waited out) and every call after it but
    // Shutdown returns at once.
    void Interrupt();

public slots:
    // Opens the role's instrument at address (closing the one before); an
    // empty address only closes it. unit: the controller's pressure unit.
    void Open(int role, const QString &address, const QString &unit);
    // The mean of count meter readings, in mA.
    void ReadMeter(quint64 ticket, int count);
    void ReadController(quint64 ticket);
    // The controller's set point, and its control on.
    void ApplyPressure(quint64 ticket, double value);
    void ControlOff(quint64 ticket);
    // Control off, both closed: the last call before the thread ends.
    void Shutdown();

signals:
    void Opened(int role, bool ok, const QString &identity, const QString &error);
    void MeterRead(quint64 ticket, bool ok, double milliAmps, const QString &error);
    void ControllerRead(quint64 ticket, bool ok, double value, bool inLimits, const QString &error);
    void Done(quint64 ticket, bool ok, const QString &error);

private:
    std::unique_ptr<TEventLoop> m_loop;
    std::unique_ptr<station::TMeter> m_meter;
    std::unique_ptr<station::TPressureController> m_controller;
    bool m_open[2] = {false, false};
    std::atomic<bool> m_closing{false};
};
