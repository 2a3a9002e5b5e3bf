// Payload puts and gets: little-endian fields at 1-based payload indices.
#include "MB.h"

void TMB::MBClearTxData()
{
    m_MBMBTXDataBufferIndex = 1;
    m_MBDataNumberToSend = 0;
    std::fill(m_TXDataBuffer.begin() + 1 + m_PayloadOffset, m_TXDataBuffer.begin() + MaxPayload + 1 + m_PayloadOffset, 0);
}

void TMB::PutFixed(quint64 value, int width)
{
    const int idx = m_MBMBTXDataBufferIndex;
    const int next = idx + width;
    if (next > MaxPayload + 1)
        return;
    for (int i = 0; i < width; ++i)
        m_TXDataBuffer[idx + i + m_PayloadOffset] = static_cast<quint8>(value >> (8 * i));
    if (next == MaxPayload + 1)
        return; // ends exactly on the last index: written, not counted
    m_MBMBTXDataBufferIndex = static_cast<quint16>(next);
    if (m_MBDataNumberToSend < next - 1)
        m_MBDataNumberToSend = static_cast<quint16>(next - 1);
}

void TMB::MBPutByte(quint8 value) { PutFixed(value, 1); }
void TMB::MBPutWord(quint16 value) { PutFixed(value, 2); }
void TMB::MBPutSmallInt(qint16 value) { PutFixed(static_cast<quint16>(value), 2); }
void TMB::MBPutDWord(quint32 value) { PutFixed(value, 4); }
void TMB::MBPutBoolean(bool value) { PutFixed(value ? 1 : 0, 1); }

void TMB::MBPutString(const QByteArray &text)
{
    const qint64 next = qint64(m_MBMBTXDataBufferIndex) + qint64(text.size()) + 1;
    if (next > MaxPayload + 1)
        return;
    int idx = m_MBMBTXDataBufferIndex;
    for (char ch : text)
        m_TXDataBuffer[m_PayloadOffset + idx++] = static_cast<quint8>(ch);
    m_TXDataBuffer[m_PayloadOffset + idx] = 0;
    if (next <= MaxPayload) {
        m_MBMBTXDataBufferIndex = static_cast<quint16>(next);
        if (m_MBDataNumberToSend < next - 1)
            m_MBDataNumberToSend = static_cast<quint16>(next - 1);
    } else {
        m_MBMBTXDataBufferIndex = static_cast<quint16>(idx); // stays on the terminator
    }
}

quint64 TMB::GetFixed(int width, bool &ok)
{
    const int idx = m_MBMBRXDataBufferIndex;
    const int next = idx + width;
    ok = next <= m_MBReceivedDataNumber + 1;
    if (!ok)
        return 0;
    quint64 v = 0;
    for (int i = 0; i < width; ++i)
        v |= quint64(m_RXDataBuffer[idx + i + m_PayloadOffset]) << (8 * i);
    if (next <= MaxPayload)
        m_MBMBRXDataBufferIndex = static_cast<quint16>(next);
    return v;
}

quint8 TMB::MBGetByte()
{
    bool ok;
    return static_cast<quint8>(GetFixed(1, ok));
}

quint16 TMB::MBGetWord()
{
    bool ok;
    return static_cast<quint16>(GetFixed(2, ok));
}

qint16 TMB::MBGetSmallInt()
{
    bool ok;
    return static_cast<qint16>(static_cast<quint16>(GetFixed(2, ok)));
}

quint32 TMB::MBGetDWord()
{
    bool ok;
    return static_cast<quint32>(GetFixed(4, ok));
}

bool TMB::MBGetBoolean()
{
    bool ok;
    return GetFixed(1, ok) != 0;
}
