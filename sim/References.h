// The meter and the pressure controller on loopback TCP, one client at a time
// each; a newer client takes the instrument over from an older one, so a
// client that vanished without closing never locks the next one out.
#pragma once

#include "Scpi.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

namespace sim {

struct ReferenceConfig {
    int meterPort = -1;      // -1: no meter; 0: a free port
    int controllerPort = -1; // the same for the pressure controller
    double meterOffsetUa = 0.0;
    double meterNoiseUa = 0.2;
    FaultSetting meterFault;
    FaultSetting controllerFault;
    int lateMs = 5000; // a late answer's delay
    ControllerConfig controller;

    bool Any() const { return meterPort >= 0 || controllerPort >= 0; }
};

// One SCPI instrument on a TCP port of 127.0.0.1.
class ScpiServer
{
public:
    ScpiServer(QString name, ScpiDevice &device, std::function<qint64()> clock, int lateMs);
    ~ScpiServer();
    ScpiServer(const ScpiServer &) = delete;
    ScpiServer &operator=(const ScpiServer &) = delete;

    bool Listen(quint16 port, QString &error);
    quint16 Port() const { return m_server.serverPort(); }
    // From now on: the next fault.after queries answered normally, then the fault.
    void SetFault(FaultSetting fault);
    FaultSetting Fault() const { return m_fault; }
    bool HasClient() const { return m_client != nullptr; }
    qint64 LinesRead() const { return m_linesRead; } // since the start, from every client

    std::function<void(const QString &)> OnLog;
    std::function<void()> AfterLines; // each batch of lines handled

private:
    void Accept();
    void Read();
    void Drop(const QString &why);
    void Answer(const QByteArray &line);
    void SendDue();
    void Log(const QString &text);

    QString m_name;
    ScpiDevice &m_device;
    std::function<qint64()> m_clock;
    int m_lateMs;
    QTcpServer m_server;
    QTcpSocket *m_client = nullptr; // owned; deleted later, never inside its own signal
    ScpiLines m_lines;
    FaultSetting m_fault;
    int m_queries = 0; // since the fault was set
    qint64 m_linesRead = 0;
    std::deque<std::pair<qint64, QByteArray>> m_late; // due time, line
    QTimer m_lateTimer;
};

class Instrument;

// Both reference instruments around the simulated transmitter.
class References
{
public:
    References(const ReferenceConfig &config, Instrument &instrument, quint32 seed, std::function<qint64()> clock);
    References(const References &) = delete;
    References &operator=(const References &) = delete;

    // Opens the ports asked for; false with a reason.
    bool Start(QString &error);
    ScpiServer *Meter() const { return m_meterServer.get(); }
    ScpiServer *Controller() const { return m_controllerServer.get(); }
    ControllerModel *ControllerState() const { return m_controller.get(); }

    std::function<void(const QString &)> OnLog;

private:
    void Track();

    ReferenceConfig m_config;
    std::function<qint64()> m_clock;
    std::unique_ptr<MeterModel> m_meter;
    std::unique_ptr<ControllerModel> m_controller;
    std::unique_ptr<ScpiServer> m_meterServer;
    std::unique_ptr<ScpiServer> m_controllerServer;
    QTimer m_tick; // moves the pressure while the controller controls
};

} // namespace sim
