// Construction, the engine's wiring, Qt timers and the static helpers.
#include "MB.h"
#include "QtTimers.h"
#include "QtWaitHost.h"

#include <QApplication>
#include <QPalette>

TMB::TMB(QWidget *parent)
    : QGroupBox(parent),
      m_engine(std::make_unique<mbcore::TMBEngine>()),
      OnMBPortOpenedOrClosed(m_engine->OnMBPortOpenedOrClosed),
      OnMBBusyChanged(m_engine->OnMBBusyChanged),
      OnMBDiagnosticReceivedAFrame(m_engine->OnMBDiagnosticReceivedAFrame),
      OnMBSlaveReceivedCommand(m_engine->OnMBSlaveReceivedCommand),
      OnMBReceivedAByte(m_engine->OnMBReceivedAByte),
      OnMBUserTimeOut(m_engine->OnMBUserTimeOut),
      OnMBASCIISlaveTimeOut(m_engine->OnMBASCIISlaveTimeOut),
      OnCTSChange(m_engine->OnCTSChange),
      OnDSRChange(m_engine->OnDSRChange),
      OnRingChange(m_engine->OnRingChange),
      OnRLSDChange(m_engine->OnRLSDChange),
      OnLineTap(m_engine->OnLineTap),
      TxLampTimer(50, [this] { TxLampTimer.Stop(); ResetLamp(true); }),
      RxLampTimer(50, [this] { RxLampTimer.Stop(); ResetLamp(false); })
{
    mbcore::TMBEngine &e = *m_engine;
    e.SetLinkFactory([] { return MakeSerialLink(); });
    // Events whose parameters change type on the way; raised only when assigned.
    e.OnMBMasterEndOfEvent = [this](mbcore::TMBStatus s, const std::string &text) {
        if (OnMBMasterEndOfEvent)
            OnMBMasterEndOfEvent(static_cast<TMBStatus>(s), Q(text));
    };
    e.OnMBStatusNowChanged = [this](mbcore::TMBStatusNow s, const std::string &text) {
        if (OnMBStatusNowChanged)
            OnMBStatusNowChanged(static_cast<TMBStatusNow>(s), Q(text));
    };
    e.OnMBReceivedAString = [this](const std::string &s) {
        if (OnMBReceivedAString)
            OnMBReceivedAString(QByteArray(s.data(), qsizetype(s.size())));
    };
    e.OnLineError = [this] { if (OnLineError) OnLineError(this); };
    e.OnPortOpened = [this] { if (OnPortOpened) OnPortOpened(this); };
    e.OnPortClosed = [this] { if (OnPortClosed) OnPortClosed(this); };

    m_SpeedSamples.fill(-1);
    setFixedSize(PanelWidth, PanelHeight);
    setTitle(ModeText(modeASCIIMaster) + VersionText());
    CreatePanel();
    // A lamp goes off at the same moment as the next start delay ends: let the
    // start delay go first.
    const mbcore::TTimerFactory lamps = QtMillisecondTimerFactory();
    TxLampTimer.SetBackend(lamps);
    RxLampTimer.SetBackend(lamps);
    e.SetView(this);
    e.SetTimerFactory(QtTimerFactory());
}

TMB::~TMB()
{
    // The engine closes an open link as it goes, while the hooks it calls still exist.
    m_engine->SetView(nullptr);
    m_engine.reset();
}

void TMB::SetManualTimers(bool manual)
{
    m_engine->SetManualTimers(manual);
    TxLampTimer.SetManual(manual);
    RxLampTimer.SetManual(manual);
}

void TMB::MBOpenPort()
{
    // Asked for before the deferred start-up has filled the port list (a quick
    // click on a slow machine): probe now, so the port opened is the one the
    // list chooses (the remembered adapter), never the default name.
    if (!m_probe && m_engine->StartUpPending() && MBRefreshListOnStartup() && !MBPortOpen())
        RefreshPortList(false);
    m_engine->MBOpenPort();
}

void TMB::MBClosePort()
{
    m_engine->MBClosePort();
}

void TMB::ClearAllCounters()
{
    m_engine->ClearAllCounters();
}

// ---- static helpers ----------------------------------------------------------------

quint16 TMB::MBCrc16(const quint8 *p, qsizetype count)
{
    return mbcore::Crc16(p, count > 0 ? static_cast<std::size_t>(count) : 0);
}

quint16 TMB::SendingTimeEstimate(quint16 payloadBytes, quint32 baud)
{
    return mbcore::SendingTimeEstimate(payloadBytes, baud);
}

quint32 TMB::BaudRateOf(TMBBaud baud)
{
    return mbcore::BaudRateOf(static_cast<mbcore::TMBBaud>(baud));
}

QString TMB::VersionText()
{
    return Q(mbcore::VersionText());
}

QString TMB::ModeText(TMBMode mode)
{
    return Q(mbcore::ModeText(static_cast<mbcore::TMBMode>(mode)));
}

QString TMB::StatusText(TMBStatus status, quint8 code)
{
    return Q(mbcore::StatusText(static_cast<mbcore::TMBStatus>(status), code));
}

QString TMB::StatusNowText(TMBStatusNow state)
{
    return Q(mbcore::StatusNowText(static_cast<mbcore::TMBStatusNow>(state)));
}

QColor TMB::FaceColor()
{
    return QApplication::palette().color(QPalette::Button);
}

QColor TMB::StatusColor(TMBStatus status)
{
    switch (status) {
    case stSlaveError: return QColor(249, 124, 0);
    case stTimeOut: return QColor(255, 0, 0);
    case stOK:
    case stClosedPort: break;
    }
    return FaceColor();
}
