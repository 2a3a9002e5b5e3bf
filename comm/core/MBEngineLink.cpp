// The link's lifetime, the open/close sequence, counters, speed and history.
#include "MBEngineImpl.h"
#include "Text.h"

#include <algorithm>

namespace mbcore::detail {

void TEngine::OpenLink()
{
    if (m_LinkOpen)
        return;
    std::unique_ptr<TMBLink> link = m_linkFactory ? m_linkFactory() : nullptr;
    std::string error;
    if (!link || !link->Open(m_Port, m_baudRate, error)) {
        if (!link)
            error = "no serial link available";
        throw EComError("TMB : cannot open " + m_Port + '\r' + error);
    }
    link->OnDataAvailable = [this](uint32_t count) {
        if (m_MBPortOpen) {
            HandleRxData(count);
            return;
        }
        // Closing (a close step let events run): these bytes are not for the receiver.
        ReadPending(count);
    };
    link->OnLineEvent = [this](uint32_t mask, uint32_t modem) { DispatchLineEvent(mask, modem); };
    link->OnHangUp = [this] { LinkHungUp(); };
    m_link = std::move(link);
    m_LinkOpen = true;
    m_hintedChars = 0;
    m_hintsOff = false;
    ForgetAnswerSizes(); // perhaps another instrument: learn its answers afresh
    if (pub.OnPortOpened)
        pub.OnPortOpened();
}

void TEngine::CloseLink()
{
    if (!m_LinkOpen)
        return;
    m_LinkOpen = false;
    m_link->OnDataAvailable = nullptr;
    m_link->OnLineEvent = nullptr;
    m_link->OnHangUp = nullptr;
    m_link->Close();
    m_link.reset();
    if (pub.OnPortClosed)
        pub.OnPortClosed();
}

void TEngine::LinkHungUp()
{
    // The line vanished under an open port: close as if asked to, so that a
    // transaction in flight ends and the user sees the closed view.
    if (m_MBPortOpen)
        OpenSequence(false);
    else
        CloseLink();
    view->PortVanished();
}

void TEngine::OpenSequence(bool open)
{
    const bool wasOpen = m_MBPortOpen;
    if (open) {
        view->Opening();
        const bool slave = m_MBMode == modeSlave || m_MBMode == modeASCIISlave;
        if (slave) {
            SetMBStatusNow(stnWaitingForCommand);
            ResetReceiver();
        } else {
            SetMBStatusNow(stnReady);
        }
        SetMBBusy(slave || m_MBMode == modeDiagnostic);
        if (m_MBMode == modeASCIISlave) {
            AnswerTimer.Stop();
            if (m_MBASCIISlaveTimeOut != 0)
                AnswerTimer.Arm(m_MBASCIISlaveTimeOut);
        }
        m_MBPortOpen = true;
        view->UpdateView();
        SetMBStatus(stOK);
        view->Opened();
        try {
            OpenLink();
            m_MBThereWasOpenEvent = true;
            RestartSpeedWindow();
        } catch (const EComError &e) {
            m_lastOpenError = e.what();
            CloseSteps();
            CloseLink();
            view->OpenFailed();
            view->ShowMode(m_MBMode);
            return;
        }
    } else {
        CloseSteps();
        view->Closed();
        CloseLink();
    }
    view->ShowMode(m_MBMode);
    if (m_MBPortOpen != wasOpen && pub.OnMBPortOpenedOrClosed)
        pub.OnMBPortOpenedOrClosed(m_MBPortOpen);
}

// Close steps shared by a close and a failed open.
void TEngine::CloseSteps()
{
    // Only a transaction that is still waiting is cut off. One that already
    // ended after a refused write keeps MBBusy true but has had its end event.
    const bool wasBusy = m_MBBusy && m_awaitingAnswer;
    view->Closing();
    AnswerTimer.Stop();
    m_awaitingAnswer = false;
    m_MBPortOpen = false;
    ResetPanelState();
    SetMBBusy(true);
    SetMBStatusNow(stnPortError);
    SetMBStatus(stClosedPort);
    ShowSpeed();
    view->UpdateView();
    if ((m_MBMode == modeMaster || m_MBMode == modeASCIIMaster) && wasBusy)
        RaiseMasterEnd();
    PushHistory();
    m_HistoryAddress = m_MBMasterAddressToSlave;
    m_HistoryCommand = m_MBMasterCommandToSlave;
    m_HistoryRepeat = 0;
    m_TrafficText.clear();
    view->ShowTraffic();
}

void TEngine::DispatchLineEvent(uint32_t mask, uint32_t modemStatus)
{
    if ((mask & MBLineEvent::CTS) && pub.OnCTSChange)
        pub.OnCTSChange(!(modemStatus & MBModemStatus::CTS_ON));
    if ((mask & MBLineEvent::DSR) && pub.OnDSRChange)
        pub.OnDSRChange(!(modemStatus & MBModemStatus::DSR_ON));
    if ((mask & MBLineEvent::RLSD) && pub.OnRLSDChange)
        pub.OnRLSDChange(!(modemStatus & MBModemStatus::RLSD_ON));
    if ((mask & MBLineEvent::RING) && pub.OnRingChange)
        pub.OnRingChange(!(modemStatus & MBModemStatus::RING_ON));
    if ((mask & MBLineEvent::ERR) && pub.OnLineError)
        pub.OnLineError();
}

// ---- try display, history ----

void TEngine::ShowTry(uint8_t n)
{
    if (n > m_MBMasterTryNumberMax)
        m_MBMasterTryNumberMax = n;
    view->ShowTry(n);
}

void TEngine::ShowTraffic(uint8_t address, uint8_t command)
{
    if (m_MBMode != modeASCIIMaster && m_MBMode != modeASCIISlave)
        return;
    if (address != m_HistoryAddress || command != m_HistoryCommand) {
        PushHistory();
        m_HistoryAddress = address;
        m_HistoryCommand = command;
        m_HistoryRepeat = 0;
    }
    if (m_HistoryRepeat < 1000)
        ++m_HistoryRepeat;
    // ">999x1.1", "12x1.1", "1.1": written in place, once per transaction.
    const auto decimal = [this](unsigned value) {
        char digits[8];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0 && n < 8);
        while (n > 0)
            m_TrafficText += digits[--n];
    };
    m_TrafficText.clear();
    if (m_HistoryRepeat >= 1000) {
        m_TrafficText += ">999x";
    } else if (m_HistoryRepeat >= 2) {
        decimal(m_HistoryRepeat);
        m_TrafficText += 'x';
    }
    decimal(address);
    m_TrafficText += '.';
    decimal(command);
    view->ShowTraffic();
}

void TEngine::PushHistory()
{
    std::string line = m_HistoryText + ' ' + m_TrafficText;
    if (line.size() > 40)
        line.erase(0, line.size() - 40);
    m_HistoryText = std::move(line);
}

void TEngine::ClearHistory()
{
    m_HistoryText.clear();
    m_HistoryAddress = m_MBMasterAddressToSlave;
    m_HistoryCommand = m_MBMasterCommandToSlave;
    m_HistoryRepeat = 0;
    m_TrafficText.clear();
    view->ShowTraffic();
}

void TEngine::ResetPanelState()
{
    m_MBMasterTryNumberMax = 0;
    ShowTry(0);
    view->ResetPanelState();
}

// ---- counters and speed ----

void TEngine::CountSpeedEvent()
{
    ++m_SpeedCount; // 16 bits: wraps past 65535 events in one second
    view->ShowCounters();
}

void TEngine::RestartSpeedWindow()
{
    SpeedTimer.Stop();
    m_SpeedCount = 0;
    SpeedTimer.Start();
}

void TEngine::ResetSpeedRange()
{
    m_SpeedMin = m_MBSpeed;
    m_MBSpeedMax = m_MBSpeed;
    ShowSpeed();
}

void TEngine::ShowSpeed()
{
    if (m_MBPortOpen) {
        m_SpeedMin = std::min(m_SpeedMin, m_MBSpeed);
        m_MBSpeedMax = std::max(m_MBSpeedMax, m_MBSpeed);
    }
    view->ShowSpeed();
}

void TEngine::SampleSpeed()
{
    m_MBSpeed = m_MBPortOpen ? m_SpeedCount : 0;
    m_SpeedCount = 0;
    ShowSpeed();
    if (m_MBPortOpen)
        view->SampleTaken();
}

void TEngine::ClearAllCounters()
{
    m_MBMasterTryNumberMax = 0;
    ShowTry(0);
    m_MBNumberOfTxFrames = 0;
    m_MBNumberOfRxFrames = 0;
    view->ShowCounters();
    ResetPanelState();
    ResetSpeedRange();
    RestartSpeedWindow();
    ClearHistory();
    view->ClearSpeedChart();
}

void TEngine::StartUp()
{
    // Runs when the stored property values are in place.
    m_startUpPending = false;
    view->StartUpPanel();
    view->UpdateView();
    ClearHistory();
    ClearAllCounters();
    setMBMode(m_MBMode);
    // The mode setter brought the unit texts; show them now rather than at the
    // first count and the first sample.
    view->ShowCounters();
    ShowSpeed();
    view->StartUpDone();
}

void TEngine::SpeedTimerTick()
{
    if (m_startUpPending)
        StartUp();
    else
        SampleSpeed();
}

} // namespace mbcore::detail

namespace mbcore {

namespace {

// windows-1250 from 0x80 up; 0 where the code page has no character.
constexpr uint16_t kCp1250High[128] = {
    0x20AC, 0, 0x201A, 0, 0x201E, 0x2026, 0x2020, 0x2021,
    0, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

// Code points of UTF-8 text; a malformed sequence gives U+FFFD per byte.
std::vector<char32_t> CodePoints(std::string_view s)
{
    std::vector<char32_t> out;
    for (std::size_t at = 0; at < s.size();) {
        const char32_t cp = NextCodePoint(s, at);
        out.push_back(cp == kNotUtf8 ? char32_t(0xFFFD) : cp);
    }
    return out;
}

} // namespace

std::string SingleByteName(std::string_view utf8)
{
    const std::vector<char32_t> cps = CodePoints(utf8);
    std::string out;
    bool complete = true;
    for (char32_t cp : cps) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        const auto *hit = std::find(std::begin(kCp1250High), std::end(kCp1250High), cp);
        if (hit == std::end(kCp1250High)) {
            complete = false;
            break;
        }
        out.push_back(static_cast<char>(0x80 + (hit - std::begin(kCp1250High))));
    }
    if (complete)
        return out;
    out.clear();
    for (char32_t cp : cps)
        out.push_back(cp <= 0xFF ? static_cast<char>(cp) : '?');
    return out;
}

} // namespace mbcore
