// The receive machinery every mode shares: entry point, buffer, reset, copy, check.
#include "MB.h"

void TMB::HandleRxData(quint32 count)
{
    QByteArray chunk(static_cast<qsizetype>(count), Qt::Uninitialized);
    qsizetype got = 0;
    if (count > 0 && m_link)
        got = m_link->ReadBytes(chunk.data(), chunk.size());
    chunk.resize(got < 0 ? 0 : got); // the driver may hand over fewer than it announced
    if (m_LinkOpen)
        DecodeRxChunk(chunk);
}

void TMB::DecodeRxChunk(const QByteArray &chunk)
{
    if (chunk.isEmpty())
        return;
    const auto *p = reinterpret_cast<const quint8 *>(chunk.constData());
    const qsizetype n = chunk.size();
    switch (m_MBMode) {
    case modeMaster:
        for (qsizetype i = 0; i < n; ++i)
            DecodeBinaryMaster(p[i]);
        break;
    case modeASCIIMaster:
        for (qsizetype i = 0; i < n; ++i)
            DecodeAsciiMaster(p[i]);
        break;
    case modeSlave:
        for (qsizetype i = 0; i < n; ++i)
            DecodeBinarySlave(p[i]);
        break;
    case modeASCIISlave:
        for (qsizetype i = 0; i < n; ++i)
            DecodeAsciiSlave(p[i]);
        break;
    case modeDiagnostic:
        for (qsizetype i = 0; i < n; ++i)
            DecodeDiagnostic(p[i]);
        break;
    case modeByte:
        DecodeByteChunk(chunk);
        break;
    case modeString:
        for (qsizetype i = 0; i < n; ++i)
            DecodeStringChar(p[i]);
        break;
    }
}

void TMB::ResetReceiver()
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

void TMB::CopyRxFrame()
{
    const int n = m_MBNumberOfReceivedBytes;
    std::copy(m_RxBuffer.begin(), m_RxBuffer.begin() + n, m_RXDataBuffer.begin());
    const int header = (m_MBMode == modeASCIIMaster || m_MBMode == modeASCIISlave) ? 6 : 5;
    m_MBReceivedDataNumber = static_cast<quint16>(n > header ? n - header : 0);
    ShowRxCount(m_MBReceivedDataNumber);
    m_MBMBRXDataBufferIndex = 1;
}

bool TMB::FrameCheckOK() const
{
    const int n = m_MBNumberOfReceivedBytes;
    // A frame that lost bytes past the buffer's end is never good, even if
    // what was kept happens to check.
    if (n < 2 || m_rxOverflowed)
        return false;
    const quint16 crc = MBCrc16(m_RxBuffer.data(), n - 2);
    return (crc & 0xFF) == m_RxBuffer[n - 2] && (crc >> 8) == m_RxBuffer[n - 1];
}

// ---- framing steps shared by the receivers ------------------------------------------------

void TMB::StartBinaryFrame(quint8 first)
{
    m_RxBuffer[0] = first;
    m_MBNumberOfReceivedBytes = 1;
    m_rxOverflowed = false;
    m_MBRxBufferFull = false;
    if (m_MBMode != modeMaster || m_awaitingAnswer)
        SetMBStatusNow(stnReceiving);
}

bool TMB::BinaryFrameCompleted(quint8 c, quint8 value)
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
