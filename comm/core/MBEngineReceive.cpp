// Reception: the shared machinery, the master receivers, the slave,
// diagnostic, byte and string modes.
#include "MBEngineImpl.h"

#include <algorithm>

namespace mbcore::detail {

namespace {

constexpr uint16_t kIdentYear = 2016;
constexpr uint8_t kIdentMonth = 10;
constexpr uint8_t kIdentDay = 11;

std::string ThreeDigits(uint8_t v)
{
    const char text[3] = {char('0' + v / 100), char('0' + v / 10 % 10), char('0' + v % 10)};
    return std::string(text, 3);
}

} // namespace

std::ptrdiff_t TEngine::ReadPending(uint32_t count)
{
    if (count == 0 || !m_link)
        return 0;
    if (m_readBuffer.size() < count)
        m_readBuffer.resize(count);
    return m_link->ReadBytes(m_readBuffer.data(), static_cast<std::ptrdiff_t>(count));
}

std::ptrdiff_t TEngine::HandleRxData(uint32_t count, bool hint)
{
    const std::ptrdiff_t got = ReadPending(count);
    if (m_hintedChars > 0 && got < static_cast<std::ptrdiff_t>(m_hintedChars))
        m_hintsOff = true;
    m_hintedChars = 0; // a read ends the link's hint
    // the driver may hand over fewer than it announced
    if (m_LinkOpen && got > 0 && pub.OnLineTap)
        pub.OnLineTap(false, reinterpret_cast<const uint8_t *>(m_readBuffer.data()), static_cast<std::size_t>(got));
    if (m_LinkOpen && got > 0) {
        view->CharactersCame();
        DecodeRxChunk(reinterpret_cast<const uint8_t *>(m_readBuffer.data()), static_cast<std::size_t>(got));
    }
    if (hint && got > 0)
        HintLink();
    return got;
}

void TEngine::DecodeRxChunk(const uint8_t *p, std::size_t n)
{
    if (n == 0)
        return;
    switch (m_MBMode) {
    case modeMaster:
        for (std::size_t i = 0; i < n; ++i)
            DecodeBinaryMaster(p[i]);
        break;
    case modeASCIIMaster:
        for (std::size_t i = 0; i < n; ++i)
            DecodeAsciiMaster(p[i]);
        break;
    case modeSlave:
        for (std::size_t i = 0; i < n; ++i)
            DecodeBinarySlave(p[i]);
        break;
    case modeASCIISlave:
        for (std::size_t i = 0; i < n; ++i)
            DecodeAsciiSlave(p[i]);
        break;
    case modeDiagnostic:
        for (std::size_t i = 0; i < n; ++i)
            DecodeDiagnostic(p[i]);
        break;
    case modeByte:
        DecodeByteChunk(p, n);
        break;
    case modeString:
        for (std::size_t i = 0; i < n; ++i)
            DecodeStringChar(p[i]);
        break;
    }
}

void TEngine::ResetReceiver()
{
    m_AsciiFrameOpen = false;
    m_MBNumberOfReceivedBytes = 0;
    m_MBRxBufferFull = false;
    m_rxOverflowed = false;
    switch (m_MBMode) {
    case modeMaster:
    case modeASCIIMaster:
        // An idle master waits for nothing: what it drops leaves its state alone.
        if (m_awaitingAnswer)
            SetMBStatusNow(stnWaitingForAnswer);
        break;
    case modeSlave:
    case modeASCIISlave: SetMBStatusNow(stnWaitingForCommand); break;
    default: break;
    }
}

void TEngine::CopyRxFrame()
{
    const int n = m_MBNumberOfReceivedBytes;
    std::copy(m_RxBuffer.begin(), m_RxBuffer.begin() + n, m_RXDataBuffer.begin());
    const int header = (m_MBMode == modeASCIIMaster || m_MBMode == modeASCIISlave) ? 6 : 5;
    m_MBReceivedDataNumber = static_cast<uint16_t>(n > header ? n - header : 0);
    view->ShowRxCount(m_MBReceivedDataNumber);
    m_MBMBRXDataBufferIndex = 1;
}

bool TEngine::FrameCheckOK() const
{
    const int n = m_MBNumberOfReceivedBytes;
    // A frame that lost bytes past the buffer's end is never good, even if
    // what was kept happens to check.
    if (n < 2 || m_rxOverflowed)
        return false;
    const uint16_t crc = Crc16(m_RxBuffer.data(), static_cast<std::size_t>(n - 2));
    return (crc & 0xFF) == m_RxBuffer[n - 2] && (crc >> 8) == m_RxBuffer[n - 1];
}

void TEngine::StartBinaryFrame(uint8_t first)
{
    m_RxBuffer[0] = first;
    m_MBNumberOfReceivedBytes = 1;
    m_rxOverflowed = false;
    m_MBRxBufferFull = false;
    if (m_MBMode != modeMaster || m_awaitingAnswer)
        SetMBStatusNow(stnReceiving);
}

bool TEngine::BinaryFrameCompleted(uint8_t c, uint8_t value)
{
    if (m_MBNumberOfReceivedBytes == 0)
        return false; // no frame open
    AppendRxByte(value);
    if (!(c & 0x20))
        return false;
    if (m_MBNumberOfReceivedBytes < 5 || !FrameCheckOK()) {
        ResetReceiver();
        return false;
    }
    return true;
}

// ---- master receivers ----

void TEngine::DecodeBinaryMaster(uint8_t c)
{
    uint8_t v;
    if (!BinaryCharCompletesByte(c, v))
        return;
    if (c & 0x80) {
        if ((v & 0x80) && (v & 0x0F) == m_MBMasterAddressToSlave)
            StartBinaryFrame(v);
        else
            ResetReceiver();
        return;
    }
    if (!BinaryFrameCompleted(c, v))
        return;
    if (!m_awaitingAnswer) {
        // nobody is waiting for it: a foreign frame
        ResetReceiver();
        return;
    }
    m_awaitingAnswer = false;
    view->FlashRxLamp();
    AnswerTimer.Stop();
    CopyRxFrame();
    if (m_RXDataBuffer[2] > 128) {
        SetMBStatus(stSlaveError, m_RXDataBuffer[2]);
        SetMBStatusNow(stnReady);
    } else {
        LearnAnswerSize();
        ++m_MBNumberOfRxFrames;
        CountSpeedEvent();
        SetMBStatus(stOK);
        SetMBStatusNow(stnReady);
    }
    SetMBBusy(false);
    RaiseMasterEnd();
}

void TEngine::DecodeAsciiMaster(uint8_t c)
{
    const int d = HexDigitValue(c);
    if (d >= 0) {
        uint8_t v;
        if (!m_AsciiFrameOpen) {
            ResetReceiver();
        } else if (AsciiDigitCompletesByte(d, v)) {
            if (m_MBNumberOfReceivedBytes > 0 || v == m_MBMasterAddressToSlave) {
                AppendRxByte(v);
                m_AsciiHighNibbleNext = true;
            } else {
                ResetReceiver();
            }
        }
        return;
    }
    if (c == 'S') {
        m_AsciiFrameOpen = true;
        m_AsciiHighNibbleNext = true;
        m_MBNumberOfReceivedBytes = 0;
        m_rxOverflowed = false;
        return;
    }
    if (c != ';') {
        ResetReceiver();
        return;
    }
    // An answer counts only while its transaction waits, and only if it echoes
    // the command of the query: anything else would be read as the answer of a
    // different request.
    if (m_MBNumberOfReceivedBytes < 6 || !FrameCheckOK() || !m_awaitingAnswer ||
        m_RxBuffer[2] != m_TXDataBuffer[2]) {
        ResetReceiver();
        return;
    }
    m_awaitingAnswer = false;
    view->FlashRxLamp();
    AnswerTimer.Stop();
    CopyRxFrame();
    ++m_MBNumberOfRxFrames;
    CountSpeedEvent();
    if (m_MBMasterIDToSlave != 0 && m_MBMasterIDToSlave != m_RXDataBuffer[1])
        m_RXDataBuffer[3] = 255;
    const uint8_t status = m_RXDataBuffer[3];
    if (status == 254 || status == 255) {
        SetMBStatus(stSlaveError, status);
    } else {
        LearnAnswerSize();
        SetMBStatus(stOK);
    }
    SetMBStatusNow(stnReady);
    SetMBBusy(false);
    view->ShowRxId(ThreeDigits(m_RXDataBuffer[1]));
    RaiseMasterEnd();
}

// ---- slaves ----

void TEngine::SendSlaveAnswer()
{
    MBSendFrame();
    // A refused write has already left the port-error state and the closed-port
    // status; counting the answer or going back to waiting would hide that.
    if (m_MBStatusNow == stnPortError)
        return;
    SetMBStatusNow(stnSending);
    ++m_MBNumberOfTxFrames;
    view->ShowCounters();
    ResetReceiver();
}

void TEngine::AnswerOrDelay()
{
    if (m_MBSlaveDelayTime == 0) {
        SendSlaveAnswer();
        return;
    }
    // A request accepted while an answer is pending restarts the delay; the
    // answer then carries what the latest request built.
    StartTimer.Stop();
    StartTimer.Arm(m_MBSlaveDelayTime);
}

void TEngine::DecodeBinarySlave(uint8_t c)
{
    uint8_t v;
    if (!BinaryCharCompletesByte(c, v))
        return;
    if (c & 0x80) {
        const uint8_t address = v & 0x0F;
        if (v & 0x80) // an answer of some slave
            ResetReceiver();
        else if (address == (m_MBSlaveOwnAddress & 0x0F) || address == 0)
            StartBinaryFrame(v);
        else
            ResetReceiver();
        return;
    }
    if (!BinaryFrameCompleted(c, v))
        return;
    AcceptBinarySlaveRequest();
}

void TEngine::AcceptBinarySlaveRequest()
{
    pub.MBClearTxData();
    m_MBSlaveErrorCode = 0;
    view->FlashRxLamp();
    CopyRxFrame();
    SetMBStatusNow(stnReceivedCommand);

    const uint8_t address = m_RXDataBuffer[0];
    const uint8_t id = m_RXDataBuffer[1];
    bool clearCounter = false;
    if (id != m_MBSlaveID && id != 0) {
        m_MBSlaveErrorCode = 129;
    } else {
        const uint8_t command = m_RXDataBuffer[2];
        if (command == 0 || command == 128) {
            // nothing: an empty answer
        } else if (command < 128) {
            if (pub.OnMBSlaveReceivedCommand)
                pub.OnMBSlaveReceivedCommand(command, (address & 0x40) != 0, m_MBReceivedDataNumber);
        } else if (command == 129) {
            for (int i = 0; i < 2; ++i) {
                pub.MBPutWord(kIdentYear);
                pub.MBPutByte(kIdentMonth);
                pub.MBPutByte(kIdentDay);
            }
            pub.MBPutString(SingleByteName(m_MBSlaveName));
        } else if (command == 130) {
            if (pub.MBGetByte() == 1) {
                clearCounter = true;
                pub.MBPutDWord(0);
            } else {
                pub.MBPutDWord(m_MBNumberOfRxFrames + 1);
            }
        } else {
            m_MBSlaveErrorCode = 130;
        }
    }

    if (m_MBSlaveErrorCode >= 128) {
        SetMBStatus(stSlaveError, m_MBSlaveErrorCode);
    } else {
        if (clearCounter)
            m_MBNumberOfRxFrames = 0;
        else
            ++m_MBNumberOfRxFrames;
        view->ShowCounters();
        CountSpeedEvent();
        SetMBStatus(stOK);
    }

    if ((address & 0x0F) != 0) {
        SetMBStatusNow(stnSending);
        AnswerOrDelay();
    }
}

void TEngine::DecodeAsciiSlave(uint8_t c)
{
    const int d = HexDigitValue(c);
    if (d >= 0) {
        uint8_t v;
        if (!m_AsciiFrameOpen)
            return; // a digit outside a request (another slave's answer) is ignored
        if (!AsciiDigitCompletesByte(d, v))
            return;
        if (m_MBNumberOfReceivedBytes > 0 || v == m_MBSlaveOwnAddress || v == 0) {
            AppendRxByte(v);
            m_AsciiHighNibbleNext = true;
        } else {
            ResetReceiver();
        }
        return;
    }
    switch (c) {
    case 'M':
        m_AsciiFrameOpen = true;
        m_AsciiHighNibbleNext = true;
        m_MBNumberOfReceivedBytes = 0;
        m_rxOverflowed = false;
        break;
    case ';':
        // A terminator closes the request it ends; a second one must not run
        // the same request again (a broadcast or a delayed answer keeps the bytes).
        if (!m_AsciiFrameOpen || m_MBNumberOfReceivedBytes < 6 || !FrameCheckOK()) {
            ResetReceiver();
            return;
        }
        AcceptAsciiSlaveRequest();
        break;
    default:
        ResetReceiver();
        break;
    }
}

void TEngine::AcceptAsciiSlaveRequest()
{
    m_AsciiFrameOpen = false;
    pub.MBClearTxData();
    m_MBSlaveErrorCode = 0;
    view->FlashRxLamp();
    CountSpeedEvent();
    CopyRxFrame();
    SetMBStatusNow(stnReceivedCommand);

    const uint8_t address = m_RXDataBuffer[0];
    const uint8_t id = m_RXDataBuffer[1];
    const uint8_t command = m_RXDataBuffer[2];
    view->ShowRxId(ThreeDigits(id));

    if (id != m_MBSlaveID && id != 0) {
        m_MBSlaveErrorCode = 255;
    } else {
        AnswerTimer.Stop();
        if (m_MBASCIISlaveTimeOut != 0)
            AnswerTimer.Arm(m_MBASCIISlaveTimeOut);
        ShowTraffic(address, command);
        ++m_MBNumberOfRxFrames;
        view->ShowCounters();
        switch (command) {
        case 250:
            pub.MBPutWord(kIdentYear);
            pub.MBPutByte(kIdentMonth);
            pub.MBPutByte(kIdentDay);
            break;
        case 253:
            if (pub.MBGetByte() == 1) {
                m_MBNumberOfRxFrames = 0;
                view->ShowCounters();
            }
            pub.MBPutDWord(m_MBNumberOfRxFrames);
            break;
        case 254:
            pub.MBPutString(SingleByteName(m_MBSlaveName));
            break;
        case 255:
            break;
        default:
            if (pub.OnMBSlaveReceivedCommand)
                pub.OnMBSlaveReceivedCommand(command, (address & 0x40) != 0, m_MBReceivedDataNumber);
            break;
        }
    }

    if (m_MBSlaveErrorCode == 254 || m_MBSlaveErrorCode == 255)
        SetMBStatus(stSlaveError, m_MBSlaveErrorCode);
    else
        SetMBStatus(stOK);

    if ((address & 0x0F) != 0) {
        SetMBStatusNow(stnSending);
        AnswerOrDelay();
    }
}

// ---- diagnostic, byte and string modes ----

void TEngine::DecodeDiagnostic(uint8_t c)
{
    uint8_t v;
    if (!BinaryCharCompletesByte(c, v))
        return;
    if (c & 0x80) { // every start character opens a frame, query or answer
        StartBinaryFrame(v);
        return;
    }
    if (!BinaryFrameCompleted(c, v))
        return;
    view->FlashRxLamp();
    CopyRxFrame();
    ++m_MBNumberOfRxFrames;
    CountSpeedEvent();
    SetMBStatus(stOK);
    SetMBStatusNow(stnReady);
    if (pub.OnMBDiagnosticReceivedAFrame)
        pub.OnMBDiagnosticReceivedAFrame(m_MBReceivedDataNumber);
    ResetReceiver();
}

void TEngine::DecodeByteChunk(const uint8_t *p, std::size_t n)
{
    m_MBNumberOfRxFrames += static_cast<uint32_t>(n);
    view->ShowCounters();

    // Received bytes are mirrored into the payload area from position 3. Bytes
    // already held were mirrored when they came; mirror them once more in case the
    // area was overwritten meanwhile, then add each new byte as it arrives.
    std::copy(m_RxBuffer.begin(), m_RxBuffer.begin() + m_MBNumberOfReceivedBytes, m_RXDataBuffer.begin() + 3);
    for (std::size_t i = 0; i < n; ++i) {
        const uint8_t ch = p[i];
        const uint16_t before = m_MBNumberOfReceivedBytes;
        AppendRxByte(ch);
        if (m_MBNumberOfReceivedBytes != before)
            m_RXDataBuffer[3 + before] = ch;
        view->FlashRxLamp();
        m_MBReceivedDataNumber = m_MBNumberOfReceivedBytes;
        view->ShowRxCount(m_MBReceivedDataNumber);
        CountSpeedEvent();
        SetMBStatus(stOK);
        SetMBStatusNow(stnReady);
    }

    if (pub.OnMBReceivedAByte) {
        pub.OnMBReceivedAByte(m_MBReceivedDataNumber);
        m_MBNumberOfReceivedBytes = 0;
        m_MBRxBufferFull = false;
    }
}

void TEngine::DecodeStringChar(uint8_t c)
{
    if (!m_StringReceptionArmed)
        return;
    AppendRxByte(c);
    if (c != m_MBStopByteInStringMode)
        return;
    m_StringReceptionArmed = false;
    const uint16_t n = m_MBNumberOfReceivedBytes;
    std::copy(m_RxBuffer.begin(), m_RxBuffer.begin() + n, m_RXDataBuffer.begin() + 3);
    m_MBReceivedDataNumber = n;
    view->ShowRxCount(n);
    view->FlashRxLamp();
    ++m_MBNumberOfRxFrames;
    CountSpeedEvent();
    SetMBStatus(stOK);
    SetMBStatusNow(stnReady);
    if (pub.OnMBReceivedAString)
        pub.OnMBReceivedAString(std::string(reinterpret_cast<const char *>(m_RXDataBuffer.data()) + 3, n));
}

} // namespace mbcore::detail
