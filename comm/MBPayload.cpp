// Payload puts and gets: the core's fields on the component's frame areas.
#include "MB.h"
#include "MBPayload.h"

void TMB::MBClearTxData()
{
    mbcore::ClearPayload(m_TXDataBuffer, m_PayloadOffset, m_MBMBTXDataBufferIndex, m_MBDataNumberToSend);
}

void TMB::PutFixed(quint64 value, int width)
{
    mbcore::PutField(m_TXDataBuffer, m_PayloadOffset, m_MBMBTXDataBufferIndex, m_MBDataNumberToSend, value, width);
}

void TMB::MBPutByte(quint8 value) { PutFixed(value, 1); }
void TMB::MBPutWord(quint16 value) { PutFixed(value, 2); }
void TMB::MBPutSmallInt(qint16 value) { PutFixed(static_cast<quint16>(value), 2); }
void TMB::MBPutDWord(quint32 value) { PutFixed(value, 4); }
void TMB::MBPutBoolean(bool value) { PutFixed(value ? 1 : 0, 1); }

void TMB::MBPutString(const QByteArray &text)
{
    mbcore::PutString(m_TXDataBuffer, m_PayloadOffset, m_MBMBTXDataBufferIndex, m_MBDataNumberToSend, text.constData(),
                      static_cast<std::size_t>(text.size()));
}

quint64 TMB::GetFixed(int width)
{
    return mbcore::GetField(m_RXDataBuffer, m_PayloadOffset, m_MBMBRXDataBufferIndex, m_MBReceivedDataNumber, width);
}

quint8 TMB::MBGetByte() { return static_cast<quint8>(GetFixed(1)); }
quint16 TMB::MBGetWord() { return static_cast<quint16>(GetFixed(2)); }
qint16 TMB::MBGetSmallInt() { return static_cast<qint16>(static_cast<quint16>(GetFixed(2))); }
quint32 TMB::MBGetDWord() { return static_cast<quint32>(GetFixed(4)); }
bool TMB::MBGetBoolean() { return GetFixed(1) != 0; }
