// Construction, properties, the mode setter and the status model.
#include "MB.h"
#include "QtWaitHost.h"

#include <QApplication>
#include <QPalette>

namespace {

QString Text(const std::string &utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace

TMB::TMB(QWidget *parent)
    : QGroupBox(parent),
      StartTimer(10, [this] { StartTimerExpired(); }),
      AnswerTimer(1000, [this] { AnswerTimerExpired(); }),
      TxLampTimer(50, [this] { TxLampTimer.Stop(); ResetLamp(true); }),
      RxLampTimer(50, [this] { RxLampTimer.Stop(); ResetLamp(false); }),
      SpeedTimer(1000, [this] { SpeedTimerTick(); }),
      UserTimer(1000, [this] { UserTimerExpired(); })
{
    m_linkFactory = [] { return MakeSerialLink(); };
    m_SpeedSamples.fill(-1);
    setFixedSize(PanelWidth, PanelHeight);
    setTitle(ModeText(modeASCIIMaster) + VersionText());
    CreatePanel();
    m_startUpPending = true;
    SpeedTimer.Start();
}

TMB::~TMB()
{
    if (m_LinkOpen)
        CloseLink();
}

// ---- static helpers ----------------------------------------------------------------

quint32 TMB::BaudRateOf(TMBBaud baud)
{
    return mbcore::BaudRateOf(static_cast<mbcore::TMBBaud>(baud));
}

QString TMB::VersionText()
{
    return Text(mbcore::VersionText());
}

QString TMB::ModeText(TMBMode mode)
{
    return Text(mbcore::ModeText(static_cast<mbcore::TMBMode>(mode)));
}

QString TMB::StatusText(TMBStatus status, quint8 code)
{
    return Text(mbcore::StatusText(static_cast<mbcore::TMBStatus>(status), code));
}

QString TMB::StatusNowText(TMBStatusNow state)
{
    return Text(mbcore::StatusNowText(static_cast<mbcore::TMBStatusNow>(state)));
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

// ---- property setters ----------------------------------------------------------------

TMBBaud TMB::MBBaud() const
{
    mbcore::TMBBaud baud = mbcore::baud009600;
    mbcore::BaudOf(m_baudRate, baud);
    return static_cast<TMBBaud>(baud);
}

void TMB::setMBBaud(TMBBaud v)
{
    // The rate applies at the next open; an open port keeps its rate.
    m_baudRate = BaudRateOf(v);
    SelectBaudInCombo();
    ShowBaudRate();
}

void TMB::setMBMasterAddressToSlave(quint8 v)
{
    m_MBMasterAddressToSlave = (m_MBMode != modeASCIIMaster && v > 15) ? 15 : v;
}

void TMB::setMBMBTXDataBufferIndex(quint16 v)
{
    m_MBMBTXDataBufferIndex = v == 0 ? 1 : (v > MaxPayload ? MaxPayload : v);
}

void TMB::setMBMBRXDataBufferIndex(quint16 v)
{
    m_MBMBRXDataBufferIndex = v == 0 ? 1 : (v > MaxPayload ? MaxPayload : v);
}

void TMB::setMBDataNumberToSend(quint16 v)
{
    m_MBDataNumberToSend = v > MaxPayload ? MaxPayload : v;
}

void TMB::setMBMasterMaxTryNumber(quint8 v)
{
    m_MBMasterMaxTryNumber = v == 0 ? 1 : (v > 5 ? 5 : v);
}

void TMB::setMBBaudEditVisible(bool v)
{
    m_MBBaudEditVisible = v;
    UpdateView();
}

void TMB::setMBMode(TMBMode m)
{
    const bool master = m == modeMaster || m == modeASCIIMaster;
    m_PayloadOffset = (m == modeASCIIMaster || m == modeASCIISlave) ? 3 : 2;
    setTitle(ModeText(m) + VersionText());
    m_TryDisplayEnabled = master;
    ApplyTryVisibility();
    // A master transaction holds busy from its start to its end.
    SetMBBusy(master ? !m_MBPortOpen || m_awaitingAnswer : true);
    switch (m) {
    case modeByte:
        m_CounterUnit = QStringLiteral(" B");
        m_SpeedUnit = QStringLiteral(" Bytes / sec");
        break;
    case modeString:
        m_CounterUnit = QStringLiteral(" S");
        m_SpeedUnit = QStringLiteral(" string / sec");
        break;
    default:
        m_CounterUnit = QStringLiteral(" F");
        m_SpeedUnit = QStringLiteral(" frames / sec");
        break;
    }

    const TMBMode old = m_MBMode;
    m_MBMode = m;
    if (m == old)
        return;
    const bool oldMaster = old == modeMaster || old == modeASCIIMaster;
    const bool oldSlave = old == modeSlave || old == modeASCIISlave;
    // A pending start belongs to the mode that armed it: a master start must not
    // fire as a slave's answer, nor a slave's answer as a master query.
    bool startCancelled = false;
    if (StartTimer.Enabled() && ((oldMaster && !master) || oldSlave)) {
        StartTimer.Stop();
        startCancelled = oldMaster;
    }
    m_MBMasterTryNumberMax = 0;
    m_MBNumberOfRxFrames = 0;
    m_MBNumberOfTxFrames = 0;
    ShowCounters();
    SetMBStatus(stOK);
    SetMBStatusNow(m == modeSlave ? stnWaitingForCommand : stnReady);
    ResetPanelState();
    ResetSpeedRange();
    // Between the master modes a waiting transaction goes on with its tries.
    // Any other mode can never send or accept it, so it ends here, once; its
    // answer timer must not run on as a slave's watchdog.
    if (master && m_awaitingAnswer) {
        SetMBStatusNow(stnWaitingForAnswer);
    } else if (m_awaitingAnswer || startCancelled) {
        m_awaitingAnswer = false;
        AnswerTimer.Stop();
        SetMBStatus(stTimeOut);
        RaiseMasterEnd();
    }
}

// ---- status model ----------------------------------------------------------------------

void TMB::SetMBStatus(TMBStatus status, quint8 code)
{
    m_MBStatus = status;
    m_MBStatusString = StatusText(status, code);
    ShowStatusLine();
}

void TMB::SetMBStatusNow(TMBStatusNow state)
{
    const TMBStatusNow old = m_MBStatusNow;
    m_MBStatusNow = state;
    m_MBStatusNowString = StatusNowText(state);
    if (old != state && OnMBStatusNowChanged)
        OnMBStatusNowChanged(m_MBStatusNow, m_MBStatusNowString);
}

void TMB::SetMBBusy(bool value)
{
    const bool old = m_MBBusy;
    m_MBBusy = value;
    if (old != value && OnMBBusyChanged)
        OnMBBusyChanged(value);
}

void TMB::SetManualTimers(bool manual)
{
    for (TMBTimer *t : {&StartTimer, &AnswerTimer, &TxLampTimer, &RxLampTimer, &SpeedTimer, &UserTimer})
        t->SetManual(manual);
}

void TMB::UserTimerExpired()
{
    UserTimer.Stop();
    if (OnMBUserTimeOut)
        OnMBUserTimeOut();
}
