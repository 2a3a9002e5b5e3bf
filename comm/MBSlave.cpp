// Slave, diagnostic, byte and string modes.
#include "MB.h"

#include <QStringEncoder>

namespace {

// The line speaks the single-byte East European code page; fall back to
// Latin-1 where the converter is not available.
QByteArray SingleByteName(const QString &name)
{
    QStringEncoder encoder("windows-1250");
    if (encoder.isValid()) {
        QByteArray bytes = encoder.encode(name);
        if (!encoder.hasError())
            return bytes;
    }
    return name.toLatin1();
}

constexpr quint16 kIdentYear = 2016;
constexpr quint8 kIdentMonth = 10;
constexpr quint8 kIdentDay = 11;

} // namespace

void TMB::SendSlaveAnswer()
{
    MBSendFrame();
    // A refused write has already left the port-error state and the closed-port
    // status; counting the answer or going back to waiting would hide that.
    if (m_MBStatusNow == stnPortError)
        return;
    SetMBStatusNow(stnSending);
    ++m_MBNumberOfTxFrames;
    ShowCounters();
    ResetReceiver();
}

void TMB::AnswerOrDelay()
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

// ---- binary slave ---------------------------------------------------------------------

void TMB::DecodeBinarySlave(quint8 c)
{
    quint8 v;
    if (!BinaryCharCompletesByte(c, v))
        return;
    if (c & 0x80) {
        const quint8 address = v & 0x0F;
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

void TMB::AcceptBinarySlaveRequest()
{
    MBClearTxData();
    m_MBSlaveErrorCode = 0;
    FlashRxLamp();
    CopyRxFrame();
    SetMBStatusNow(stnReceivedCommand);

    const quint8 address = m_RXDataBuffer[0];
    const quint8 id = m_RXDataBuffer[1];
    bool clearCounter = false;
    if (id != m_MBSlaveID && id != 0) {
        m_MBSlaveErrorCode = 129;
    } else {
        const quint8 command = m_RXDataBuffer[2];
        if (command == 0 || command == 128) {
            // nothing: an empty answer
        } else if (command < 128) {
            if (OnMBSlaveReceivedCommand)
                OnMBSlaveReceivedCommand(command, (address & 0x40) != 0, m_MBReceivedDataNumber);
        } else if (command == 129) {
            for (int i = 0; i < 2; ++i) {
                MBPutWord(kIdentYear);
                MBPutByte(kIdentMonth);
                MBPutByte(kIdentDay);
            }
            MBPutString(SingleByteName(m_MBSlaveName));
        } else if (command == 130) {
            if (MBGetByte() == 1) {
                clearCounter = true;
                MBPutDWord(0);
            } else {
                MBPutDWord(m_MBNumberOfRxFrames + 1);
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
        ShowCounters();
        CountSpeedEvent();
        SetMBStatus(stOK);
    }

    if ((address & 0x0F) != 0) {
        SetMBStatusNow(stnSending);
        AnswerOrDelay();
    }
}

// ---- ASCII slave ----------------------------------------------------------------------

void TMB::DecodeAsciiSlave(quint8 c)
{
    const int d = HexDigitValue(c);
    if (d >= 0) {
        quint8 v;
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

void TMB::AcceptAsciiSlaveRequest()
{
    m_AsciiFrameOpen = false;
    MBClearTxData();
    m_MBSlaveErrorCode = 0;
    FlashRxLamp();
    CountSpeedEvent();
    CopyRxFrame();
    SetMBStatusNow(stnReceivedCommand);

    const quint8 address = m_RXDataBuffer[0];
    const quint8 id = m_RXDataBuffer[1];
    const quint8 command = m_RXDataBuffer[2];
    ShowRxId(QStringLiteral("%1").arg(id, 3, 10, QLatin1Char('0')));

    if (id != m_MBSlaveID && id != 0) {
        m_MBSlaveErrorCode = 255;
    } else {
        AnswerTimer.Stop();
        if (m_MBASCIISlaveTimeOut != 0)
            AnswerTimer.Arm(m_MBASCIISlaveTimeOut);
        ShowTraffic(address, command);
        ++m_MBNumberOfRxFrames;
        ShowCounters();
        switch (command) {
        case 250:
            MBPutWord(kIdentYear);
            MBPutByte(kIdentMonth);
            MBPutByte(kIdentDay);
            break;
        case 253:
            if (MBGetByte() == 1) {
                m_MBNumberOfRxFrames = 0;
                ShowCounters();
            }
            MBPutDWord(m_MBNumberOfRxFrames);
            break;
        case 254:
            MBPutString(SingleByteName(m_MBSlaveName));
            break;
        case 255:
            break;
        default:
            if (OnMBSlaveReceivedCommand)
                OnMBSlaveReceivedCommand(command, (address & 0x40) != 0, m_MBReceivedDataNumber);
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

// ---- diagnostic mode --------------------------------------------------------------------

void TMB::DecodeDiagnostic(quint8 c)
{
    quint8 v;
    if (!BinaryCharCompletesByte(c, v))
        return;
    if (c & 0x80) { // every start character opens a frame, query or answer
        StartBinaryFrame(v);
        return;
    }
    if (!BinaryFrameCompleted(c, v))
        return;
    FlashRxLamp();
    CopyRxFrame();
    ++m_MBNumberOfRxFrames;
    CountSpeedEvent();
    SetMBStatus(stOK);
    SetMBStatusNow(stnReady);
    if (OnMBDiagnosticReceivedAFrame)
        OnMBDiagnosticReceivedAFrame(m_MBReceivedDataNumber);
    ResetReceiver();
}

// ---- byte mode ------------------------------------------------------------------------------

void TMB::DecodeByteChunk(const QByteArray &chunk)
{
    m_MBNumberOfRxFrames += static_cast<quint32>(chunk.size());
    ShowCounters();

    // Received bytes are mirrored into the payload area from position 3. Bytes
    // already held were mirrored when they came; mirror them once more in case the
    // area was overwritten meanwhile, then add each new byte as it arrives.
    std::copy(m_RxBuffer.begin(), m_RxBuffer.begin() + m_MBNumberOfReceivedBytes, m_RXDataBuffer.begin() + 3);
    for (const char ch : chunk) {
        const quint16 before = m_MBNumberOfReceivedBytes;
        AppendRxByte(static_cast<quint8>(ch));
        if (m_MBNumberOfReceivedBytes != before)
            m_RXDataBuffer[3 + before] = static_cast<quint8>(ch);
        FlashRxLamp();
        m_MBReceivedDataNumber = m_MBNumberOfReceivedBytes;
        ShowRxCount(m_MBReceivedDataNumber);
        CountSpeedEvent();
        SetMBStatus(stOK);
        SetMBStatusNow(stnReady);
    }

    if (OnMBReceivedAByte) {
        OnMBReceivedAByte(m_MBReceivedDataNumber);
        m_MBNumberOfReceivedBytes = 0;
        m_MBRxBufferFull = false;
    }
}

// ---- string mode ----------------------------------------------------------------------------

void TMB::DecodeStringChar(quint8 c)
{
    if (!m_StringReceptionArmed)
        return;
    AppendRxByte(c);
    if (c != m_MBStopByteInStringMode)
        return;
    m_StringReceptionArmed = false;
    const quint16 n = m_MBNumberOfReceivedBytes;
    std::copy(m_RxBuffer.begin(), m_RxBuffer.begin() + n, m_RXDataBuffer.begin() + 3);
    m_MBReceivedDataNumber = n;
    ShowRxCount(n);
    FlashRxLamp();
    ++m_MBNumberOfRxFrames;
    CountSpeedEvent();
    SetMBStatus(stOK);
    SetMBStatusNow(stnReady);
    if (OnMBReceivedAString)
        OnMBReceivedAString(QByteArray(reinterpret_cast<const char *>(m_RXDataBuffer.data()) + 3, n));
}
