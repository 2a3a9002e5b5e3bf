// The calibration without a person: As-Found (the controller to each test
// pressure, its in-limits flag, the instrument stable, the meter read, the
// point entered), the eleven steps of the calibration page by pressing its
// very buttons in their order (each waiting for the instrument's
// acknowledgement), the output trimmed to 4 and 20 mA in a closed loop on the
// meter, and As-Left. Cancel, an error or the window closing: the output is
// released, the controller's control turned off, the record left open, and
// the calibration points the instrument acknowledged are said.
#pragma once

#include "CalibrationRecord.h"
#include "MB.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

namespace station {
class TTrim;
}
class TCalibrationWindow;
class TForm1;
class TReferencePanel;
class TSpeedButton;

class TAutomaticRun : public QObject
{
    Q_OBJECT

public:
    TAutomaticRun(TForm1 &form, TCalibrationWindow &window, TReferencePanel &refs);
    // Running: stopped as by Cancel.
    ~TAutomaticRun() override;

    // fullScale: the sensor's full-scale pressure in Pa (the scale end is set there).
    // False, with why in error, when it cannot start.
    bool Start(double fullScale, QString &error);
    void SetPaused(bool paused);
    void Cancel();
    bool Running() const { return m_running; }
    bool Paused() const { return m_paused; }
    // What the instrument acknowledged in this run ("Set as 0", ...).
    QStringList Acknowledged() const { return m_acknowledged; }

protected:
    // The window closing (it is hidden, not destroyed) stops the run as Cancel does.
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    void Progress(const QString &text);
    // The run is over: ok when As-Left is in; text says how it ended.
    void Ended(bool ok, const QString &text);

private:
    struct TStep {
        QString what;
        std::function<void()> start;
    };
    void Add(const QString &what, std::function<void()> start) { m_steps.push_back({what, std::move(start)}); }
    void AddPhase(calib::TPhase phase);
    void AddPressure(double pascal, const QString &what);
    void AddRequest(const QString &name, TSpeedButton *button, quint8 command);
    void AddTrim(double milliAmps);
    // The controller to pascal, its in-limits flag, then the instrument stable.
    void Apply(double pascal);
    void Next();
    void Fail(const QString &why);
    void Stop(bool ok, const QString &text);

    // Waits until pred holds, checked after each of the form's transactions
    // and each change of the live readings; why names what did not come.
    void WaitFor(std::function<bool()> pred, int ms, const QString &why);
    void Check();
    void Transaction(quint8 command, TMBStatus status);
    void ControllerAnswer(quint64 ticket, bool ok, bool inLimits, const QString &error);
    void MeterAnswer(quint64 ticket, bool ok, double milliAmps, const QString &error);
    void Done(quint64 ticket, bool ok, const QString &error);
    void PointRead(bool ok);
    void TrimStep();
    // Moves the drive with the page's step buttons, as a technician would.
    void MoveDrive(int drive);

    TForm1 &m_form;
    TCalibrationWindow &m_window;
    TReferencePanel &m_refs;
    bool m_running = false;
    bool m_paused = false;
    bool m_held = false; // a step ended while paused: the next waits for Resume
    std::deque<TStep> m_steps;
    QString m_step;
    QStringList m_acknowledged;
    std::function<bool()> m_until;
    QString m_timeoutWhy;
    QTimer m_deadline;
    QTimer m_again; // the controller is asked again after this
    quint64 m_ticket = 0;
    int m_polls = 0; // answered polls since the last mark
    qint64 m_record = 0; // the record the run enters its points into
    // The form's buttons may go before this run does (the form closing).
    QPointer<TSpeedButton> m_force;
    // A request pressed and not acknowledged yet.
    QPointer<TSpeedButton> m_request;
    quint8 m_command = 0;
    int m_failures = 0;
    bool m_acked = false;
    // A point being read (phase, index).
    calib::TPhase m_phase = calib::TPhase::AsFound;
    int m_index = -1;
    std::unique_ptr<station::TTrim> m_trim;
};
