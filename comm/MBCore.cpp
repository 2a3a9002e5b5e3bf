// Construction, properties, the mode setter and the status model.
#include "MB.h"
#include "SerialLink.h"

#include <QApplication>
#include <QPalette>

namespace {

constexpr quint32 kBaudRates[21] = {75,    110,   134,   150,   300,    600,    1200,   1800,   2400,   4800,  7200,
                                    9600,  14400, 19200, 38400, 57600, 115200, 128000, 230400, 460800, 921600};

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
    const int i = static_cast<int>(baud);
    return (i >= 0 && i <= 20) ? kBaudRates[i] : 9600;
}

QString TMB::VersionText()
{
    return QStringLiteral("v%1.%2.%3.")
        .arg(2016, 4, 10, QLatin1Char('0'))
        .arg(10, 2, 10, QLatin1Char('0'))
        .arg(11, 2, 10, QLatin1Char('0'));
}

QString TMB::ModeText(TMBMode mode)
{
    switch (mode) {
    case modeMaster: return QStringLiteral("Master ");
    case modeSlave: return QStringLiteral("Slave ");
    case modeASCIIMaster: return QStringLiteral("ASCII Master ");
    case modeASCIISlave: return QStringLiteral("ASCII Slave ");
    case modeDiagnostic: return QStringLiteral("Diagnostic ");
    case modeByte: return QStringLiteral("Byte Mode ");
    case modeString: return QStringLiteral("String Mode ");
    }
    return QString();
}

QString TMB::StatusText(TMBStatus status, quint8 code)
{
    switch (status) {
    case stOK: return QStringLiteral("OK");
    case stSlaveError:
        if (code == 254)
            return QStringLiteral("Unknown Command");
        if (code == 255)
            return QStringLiteral("ID Error");
        return QStringLiteral("Slave Error: #") + QString::number(code);
    case stTimeOut: return QStringLiteral("Time Out");
    case stClosedPort: return QStringLiteral("Closed Port");
    }
    return QString();
}

QString TMB::StatusNowText(TMBStatusNow state)
{
    switch (state) {
    case stnReady: return QStringLiteral("Ready");
    case stnSending: return QStringLiteral("Sending");
    case stnWaitingForAnswer: return QStringLiteral("Waiting For Answer");
    case stnReceiving: return QStringLiteral("Receiving");
    case stnPortError: return QStringLiteral("Port Error");
    case stnTimeOut: return QStringLiteral("Time Out");
    case stnWaitingForCommand: return QStringLiteral("Waiting For Command");
    case stnReceivedCommand: return QStringLiteral("Received Command");
    }
    return QString();
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
    for (int i = 0; i <= 20; ++i)
        if (kBaudRates[i] == m_baudRate)
            return static_cast<TMBBaud>(i);
    return baud009600;
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
