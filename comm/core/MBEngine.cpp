// Construction, the public face of the engine, the status model and the mode setter.
#include "MBEngineImpl.h"

namespace mbcore {
namespace detail {

namespace {
TMBView g_noView; // shows nothing
} // namespace

TEngine::TEngine(TMBEngine &owner)
    : pub(owner),
      view(&g_noView),
      StartTimer(10, [this] { StartTimerExpired(); }),
      AnswerTimer(1000, [this] { AnswerTimerExpired(); }),
      SpeedTimer(1000, [this] { SpeedTimerTick(); }),
      UserTimer(1000, [this] { UserTimerExpired(); })
{
    SpeedTimer.Start();
}

TEngine::~TEngine()
{
    if (m_LinkOpen)
        CloseLink();
}

void TEngine::SetMBStatus(TMBStatus status, uint8_t code)
{
    m_MBStatus = status;
    m_MBStatusString = StatusText(status, code);
    view->ShowStatusLine();
}

void TEngine::SetMBStatusNow(TMBStatusNow state)
{
    if (state == m_MBStatusNow)
        return; // its text is there already
    m_MBStatusNow = state;
    m_MBStatusNowString = StatusNowText(state);
    if (pub.OnMBStatusNowChanged)
        pub.OnMBStatusNowChanged(m_MBStatusNow, m_MBStatusNowString);
}

void TEngine::SetMBBusy(bool value)
{
    const bool old = m_MBBusy;
    m_MBBusy = value;
    if (old != value && pub.OnMBBusyChanged)
        pub.OnMBBusyChanged(value);
}

void TEngine::setMBMode(TMBMode m)
{
    const bool master = m == modeMaster || m == modeASCIIMaster;
    m_PayloadOffset = (m == modeASCIIMaster || m == modeASCIISlave) ? 3 : 2;
    m_TryDisplayEnabled = master;
    view->ShowMode(m);
    // A master transaction holds busy from its start to its end.
    SetMBBusy(master ? !m_MBPortOpen || m_awaitingAnswer : true);
    switch (m) {
    case modeByte:
        m_CounterUnit = " B";
        m_SpeedUnit = " Bytes / sec";
        break;
    case modeString:
        m_CounterUnit = " S";
        m_SpeedUnit = " string / sec";
        break;
    default:
        m_CounterUnit = " F";
        m_SpeedUnit = " frames / sec";
        break;
    }

    const TMBMode old = m_MBMode;
    m_MBMode = m;
    ForgetAnswerSizes(); // frames of another shape
    // The setter's clamp, applied when it starts to matter: in a binary frame
    // an address above 15 would set the answer bit and nothing could match.
    if (m != modeASCIIMaster && m_MBMasterAddressToSlave > 15)
        m_MBMasterAddressToSlave = 15;
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
    view->ShowCounters();
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

void TEngine::UserTimerExpired()
{
    UserTimer.Stop();
    if (pub.OnMBUserTimeOut)
        pub.OnMBUserTimeOut();
}

// ---- payload ----

void TEngine::PutFixed(uint64_t value, int width)
{
    m_TxWrittenEnd = std::max<std::size_t>(m_TxWrittenEnd, std::size_t(m_PayloadOffset + m_MBMBTXDataBufferIndex + width));
    PutField(m_TXDataBuffer, m_PayloadOffset, m_MBMBTXDataBufferIndex, m_MBDataNumberToSend, value, width);
}

void TEngine::PutText(const char *text, std::size_t size)
{
    m_TxWrittenEnd = std::max<std::size_t>(m_TxWrittenEnd, m_PayloadOffset + m_MBMBTXDataBufferIndex + size + 1);
    PutString(m_TXDataBuffer, m_PayloadOffset, m_MBMBTXDataBufferIndex, m_MBDataNumberToSend, text, size);
}

void TEngine::ClearTx()
{
    ClearPayload(m_TXDataBuffer, m_PayloadOffset, m_MBMBTXDataBufferIndex, m_MBDataNumberToSend, m_TxWrittenEnd);
    // What lies before this mode's payload (a header) stays written.
    m_TxWrittenEnd = std::min(m_TxWrittenEnd, std::size_t(1 + m_PayloadOffset));
}

uint64_t TEngine::GetFixed(int width)
{
    return GetField(m_RXDataBuffer, m_PayloadOffset, m_MBMBRXDataBufferIndex, m_MBReceivedDataNumber, width);
}

} // namespace detail

using detail::TEngine;

TMBEngine::TMBEngine() : m_d(std::make_unique<TEngine>(*this)) {}
TMBEngine::~TMBEngine() = default;

void TMBEngine::SetLinkFactory(TLinkFactory factory) { m_d->m_linkFactory = std::move(factory); }

void TMBEngine::SetTimerFactory(const TTimerFactory &factory)
{
    for (TTimer *t : {&m_d->StartTimer, &m_d->AnswerTimer, &m_d->SpeedTimer, &m_d->UserTimer})
        t->SetBackend(factory);
}

void TMBEngine::SetView(TMBView *view) { m_d->view = view ? view : &detail::g_noView; }

void TMBEngine::SetManualTimers(bool manual)
{
    for (TTimer *t : {&m_d->StartTimer, &m_d->AnswerTimer, &m_d->SpeedTimer, &m_d->UserTimer})
        t->SetManual(manual);
}

// ---- properties ----

std::string TMBEngine::Port() const { return m_d->m_Port; }
void TMBEngine::setPort(const std::string &v) { m_d->m_Port = v; }
uint32_t TMBEngine::WinQSizeIn() const { return m_d->m_WinQSizeIn; }
void TMBEngine::setWinQSizeIn(uint32_t v) { m_d->m_WinQSizeIn = v; }
uint32_t TMBEngine::WinQSizeOut() const { return m_d->m_WinQSizeOut; }
void TMBEngine::setWinQSizeOut(uint32_t v) { m_d->m_WinQSizeOut = v; }
TMBMode TMBEngine::MBMode() const { return m_d->m_MBMode; }
void TMBEngine::setMBMode(TMBMode m) { m_d->setMBMode(m); }
uint8_t TMBEngine::MBSlaveOwnAddress() const { return m_d->m_MBSlaveOwnAddress; }
void TMBEngine::setMBSlaveOwnAddress(uint8_t v) { m_d->m_MBSlaveOwnAddress = v == 0 ? 1 : v; }

TMBBaud TMBEngine::MBBaud() const
{
    TMBBaud baud = baud009600;
    BaudOf(m_d->m_baudRate, baud);
    return baud;
}

void TMBEngine::setMBBaud(TMBBaud v)
{
    // The rate applies at the next open; an open port keeps its rate.
    m_d->m_baudRate = BaudRateOf(v);
    m_d->view->ShowBaudRate();
}

uint32_t TMBEngine::BaudRate() const { return m_d->m_baudRate; }

void TMBEngine::SetBaudRate(uint32_t v)
{
    TMBBaud baud = baud009600;
    m_d->m_baudRate = BaudOf(v, baud) ? v : 9600;
    m_d->view->ShowBaudRate();
}

uint8_t TMBEngine::MBSlaveID() const { return m_d->m_MBSlaveID; }
void TMBEngine::setMBSlaveID(uint8_t v) { m_d->m_MBSlaveID = v; }
std::string TMBEngine::MBSlaveName() const { return m_d->m_MBSlaveName; }
void TMBEngine::setMBSlaveName(const std::string &v) { m_d->m_MBSlaveName = v; }
std::string TMBEngine::MBLastUsedPort() const { return m_d->m_MBLastUsedPort; }
void TMBEngine::setMBLastUsedPort(const std::string &v) { m_d->m_MBLastUsedPort = v; }
bool TMBEngine::MBMasterQueryMode() const { return m_d->m_MBMasterQueryMode; }
void TMBEngine::setMBMasterQueryMode(bool v) { m_d->m_MBMasterQueryMode = v; }
uint8_t TMBEngine::MBMasterAddressToSlave() const { return m_d->m_MBMasterAddressToSlave; }

void TMBEngine::setMBMasterAddressToSlave(uint8_t v)
{
    m_d->m_MBMasterAddressToSlave = (m_d->m_MBMode != modeASCIIMaster && v > 15) ? 15 : v;
}

uint8_t TMBEngine::MBMasterIDToSlave() const { return m_d->m_MBMasterIDToSlave; }
void TMBEngine::setMBMasterIDToSlave(uint8_t v) { m_d->m_MBMasterIDToSlave = v; }
uint8_t TMBEngine::MBMasterCommandToSlave() const { return m_d->m_MBMasterCommandToSlave; }
void TMBEngine::setMBMasterCommandToSlave(uint8_t v) { m_d->m_MBMasterCommandToSlave = v; }
uint8_t TMBEngine::MBSlaveErrorCode() const { return m_d->m_MBSlaveErrorCode; }
void TMBEngine::setMBSlaveErrorCode(uint8_t v) { m_d->m_MBSlaveErrorCode = v; }
uint16_t TMBEngine::MBMBTXDataBufferIndex() const { return m_d->m_MBMBTXDataBufferIndex; }

void TMBEngine::setMBMBTXDataBufferIndex(uint16_t v)
{
    m_d->m_MBMBTXDataBufferIndex = v == 0 ? 1 : (v > MaxPayload ? MaxPayload : v);
}

uint16_t TMBEngine::MBMBRXDataBufferIndex() const { return m_d->m_MBMBRXDataBufferIndex; }

void TMBEngine::setMBMBRXDataBufferIndex(uint16_t v)
{
    m_d->m_MBMBRXDataBufferIndex = v == 0 ? 1 : (v > MaxPayload ? MaxPayload : v);
}

uint16_t TMBEngine::MBReceivedDataNumber() const { return m_d->m_MBReceivedDataNumber; }
uint16_t TMBEngine::MBDataNumberToSend() const { return m_d->m_MBDataNumberToSend; }
void TMBEngine::setMBDataNumberToSend(uint16_t v) { m_d->m_MBDataNumberToSend = v > MaxPayload ? MaxPayload : v; }
TMBStatus TMBEngine::MBStatus() const { return m_d->m_MBStatus; }
std::string TMBEngine::MBStatusString() const { return m_d->m_MBStatusString; }
uint8_t TMBEngine::MBMasterTryNumber() const { return m_d->m_MBMasterTryNumber; }
uint8_t TMBEngine::MBMasterTryNumberMax() const { return m_d->m_MBMasterTryNumberMax; }
uint32_t TMBEngine::MBNumberOfTxFrames() const { return m_d->m_MBNumberOfTxFrames; }
uint32_t TMBEngine::MBNumberOfRxFrames() const { return m_d->m_MBNumberOfRxFrames; }
uint16_t TMBEngine::MBMasterTimeOut() const { return m_d->m_MBMasterTimeOut; }
void TMBEngine::setMBMasterTimeOut(uint16_t v) { m_d->m_MBMasterTimeOut = v; }
uint8_t TMBEngine::MBMasterMaxTryNumber() const { return m_d->m_MBMasterMaxTryNumber; }
void TMBEngine::setMBMasterMaxTryNumber(uint8_t v) { m_d->m_MBMasterMaxTryNumber = v == 0 ? 1 : (v > 5 ? 5 : v); }
uint16_t TMBEngine::MBSlaveDelayTime() const { return m_d->m_MBSlaveDelayTime; }
void TMBEngine::setMBSlaveDelayTime(uint16_t v) { m_d->m_MBSlaveDelayTime = v; }
TMBStatusNow TMBEngine::MBStatusNow() const { return m_d->m_MBStatusNow; }
std::string TMBEngine::MBStatusNowString() const { return m_d->m_MBStatusNowString; }
uint16_t TMBEngine::MBReminder() const { return m_d->m_MBReminder; }
void TMBEngine::setMBReminder(uint16_t v) { m_d->m_MBReminder = v; }
bool TMBEngine::MBBusy() const { return m_d->m_MBBusy; }
uint16_t TMBEngine::MBNumberOfReceivedBytes() const { return m_d->m_MBNumberOfReceivedBytes; }
bool TMBEngine::MBRxBufferFull() const { return m_d->m_MBRxBufferFull; }
uint16_t TMBEngine::MBCalculatedTimeOfSending() const { return m_d->m_MBCalculatedTimeOfSending; }
bool TMBEngine::MBPortOpen() const { return m_d->m_MBPortOpen; }
bool TMBEngine::MBRefreshListOnStartup() const { return m_d->m_MBRefreshListOnStartup; }
void TMBEngine::setMBRefreshListOnStartup(bool v) { m_d->m_MBRefreshListOnStartup = v; }
uint8_t TMBEngine::MBStopByteInStringMode() const { return m_d->m_MBStopByteInStringMode; }
void TMBEngine::setMBStopByteInStringMode(uint8_t v) { m_d->m_MBStopByteInStringMode = v; }
bool TMBEngine::MBThereWasOpenEvent() const { return m_d->m_MBThereWasOpenEvent; }
void TMBEngine::setMBThereWasOpenEvent(bool v) { m_d->m_MBThereWasOpenEvent = v; }
uint32_t TMBEngine::MBSpeed() const { return m_d->m_MBSpeed; }
uint32_t TMBEngine::MBSpeedMax() const { return m_d->m_MBSpeedMax; }
uint32_t TMBEngine::SpeedMin() const { return m_d->m_SpeedMin; }
bool TMBEngine::MBBaudEditVisible() const { return m_d->m_MBBaudEditVisible; }

void TMBEngine::setMBBaudEditVisible(bool v)
{
    m_d->m_MBBaudEditVisible = v;
    m_d->view->UpdateView();
}

uint16_t TMBEngine::MBASCIISlaveTimeOut() const { return m_d->m_MBASCIISlaveTimeOut; }
void TMBEngine::setMBASCIISlaveTimeOut(uint16_t v) { m_d->m_MBASCIISlaveTimeOut = v; }
std::string TMBEngine::CounterUnit() const { return m_d->m_CounterUnit; }
std::string TMBEngine::SpeedUnit() const { return m_d->m_SpeedUnit; }
std::string TMBEngine::TrafficText() const { return m_d->m_TrafficText; }
std::string TMBEngine::HistoryText() const { return m_d->m_HistoryText; }
bool TMBEngine::TryDisplayEnabled() const { return m_d->m_TryDisplayEnabled; }
std::string TMBEngine::LastOpenError() const { return m_d->m_lastOpenError; }
const std::array<uint8_t, FrameAreaSize> &TMBEngine::TXDataBuffer() const { return m_d->m_TXDataBuffer; }
const std::array<uint8_t, FrameAreaSize> &TMBEngine::RXDataBuffer() const { return m_d->m_RXDataBuffer; }

// ---- operations ----

void TMBEngine::MBClearTxData()
{
    m_d->ClearTx();
}

void TMBEngine::MBPutByte(uint8_t value) { m_d->PutFixed(value, 1); }
void TMBEngine::MBPutWord(uint16_t value) { m_d->PutFixed(value, 2); }
void TMBEngine::MBPutSmallInt(int16_t value) { m_d->PutFixed(static_cast<uint16_t>(value), 2); }
void TMBEngine::MBPutDWord(uint32_t value) { m_d->PutFixed(value, 4); }
void TMBEngine::MBPutBoolean(bool value) { m_d->PutFixed(value ? 1 : 0, 1); }

void TMBEngine::MBPutString(std::string_view bytes)
{
    m_d->PutText(bytes.data(), bytes.size());
}

uint8_t TMBEngine::MBGetByte() { return static_cast<uint8_t>(m_d->GetFixed(1)); }
uint16_t TMBEngine::MBGetWord() { return static_cast<uint16_t>(m_d->GetFixed(2)); }
int16_t TMBEngine::MBGetSmallInt() { return static_cast<int16_t>(static_cast<uint16_t>(m_d->GetFixed(2))); }
uint32_t TMBEngine::MBGetDWord() { return static_cast<uint32_t>(m_d->GetFixed(4)); }
bool TMBEngine::MBGetBoolean() { return m_d->GetFixed(1) != 0; }

void TMBEngine::MBMasterStart(uint16_t delay) { m_d->MBMasterStart(delay); }

void TMBEngine::MBOpenPort()
{
    if (!m_d->m_MBPortOpen)
        m_d->OpenSequence(true);
}

void TMBEngine::MBClosePort()
{
    if (m_d->m_MBPortOpen)
        m_d->OpenSequence(false);
}

void TMBEngine::ClearAllCounters() { m_d->ClearAllCounters(); }
void TMBEngine::StartUp() { m_d->StartUp(); }
bool TMBEngine::StartUpPending() const { return m_d->m_startUpPending; }

} // namespace mbcore
