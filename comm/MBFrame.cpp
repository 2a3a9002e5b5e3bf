// Frame building and the CRC-16 that protects every frame.
#include "MB.h"

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

} // namespace

quint16 TMB::MBCrc16(const quint8 *p, qsizetype count)
{
    return mbcore::Crc16(p, count > 0 ? static_cast<std::size_t>(count) : 0);
}

bool TMB::WriteToPort(const QByteArray &bytes)
{
    if (m_batching) {
        m_batch.append(bytes);
        return true;
    }
    if (!m_LinkOpen || !m_link)
        return true; // nothing is written while no link is open, and nothing is reported
    if (!m_link->WriteBytes(bytes.constData(), bytes.size()))
        return false;
    FlashTxLamp();
    return true;
}

void TMB::SendFailed()
{
    TxLampTimer.Stop();
    ResetLamp(true);
    SetMBStatusNow(stnPortError);
    SetMBStatus(stClosedPort);
    SetMBBusy(true);
}

void TMB::MBSendHexPair(quint8 byte)
{
    if (!m_MBPortOpen) {
        SendFailed();
        return;
    }
    if (m_batching) { // the common case: straight into the frame being collected
        m_batch.append(kHex[byte >> 4]);
        m_batch.append(kHex[byte & 0x0F]);
        return;
    }
    const char pair[2] = {kHex[byte >> 4], kHex[byte & 0x0F]};
    if (!WriteToPort(QByteArray(pair, 2)))
        SendFailed();
}

void TMB::MBSendNibblePair(quint8 byte, TNibblePosition position)
{
    if (!m_MBPortOpen) {
        SendFailed();
        return;
    }
    const quint8 marker = position == npFirst ? 0xC0 : (position == npLast ? 0x60 : 0x40);
    const char pair[2] = {static_cast<char>(byte & 0x0F), static_cast<char>(marker | (byte >> 4))};
    if (m_batching) {
        m_batch.append(pair, 2);
        return;
    }
    if (!WriteToPort(QByteArray(pair, 2)))
        SendFailed();
}

void TMB::MBSendRawByte(quint8 byte)
{
    if (!m_MBPortOpen) {
        SendFailed();
        return;
    }
    if (m_batching) {
        m_batch.append(static_cast<char>(byte));
        return;
    }
    if (!WriteToPort(QByteArray(1, static_cast<char>(byte))))
        SendFailed();
}

void TMB::MBSendFrame()
{
    if (!m_MBPortOpen) {
        SetMBStatusNow(stnPortError);
        return;
    }

    const int n = m_MBDataNumberToSend;
    const bool ascii = m_MBMode == modeASCIIMaster || m_MBMode == modeASCIISlave;
    const bool raw = m_MBMode == modeByte || m_MBMode == modeString;
    quint8 *f = m_TXDataBuffer.data();
    int last = 0; // position of the high CRC byte

    if (!raw) {
        switch (m_MBMode) {
        case modeASCIIMaster:
            f[0] = m_MBMasterAddressToSlave;
            f[1] = m_MBMasterIDToSlave;
            f[2] = m_MBMasterCommandToSlave;
            f[3] = 0;
            break;
        case modeASCIISlave:
            f[0] = m_MBSlaveOwnAddress;
            f[1] = m_MBSlaveID;
            f[2] = m_RXDataBuffer[2];
            f[3] = m_MBSlaveErrorCode;
            break;
        case modeSlave:
            f[0] = static_cast<quint8>(0x80 | (m_MBSlaveOwnAddress & 0x0F));
            f[1] = m_MBSlaveID;
            f[2] = m_MBSlaveErrorCode;
            break;
        default: // modeMaster, modeDiagnostic
            f[0] = static_cast<quint8>(m_MBMasterAddressToSlave | (m_MBMasterQueryMode ? 0x40 : 0));
            f[1] = m_MBMasterIDToSlave;
            f[2] = m_MBMasterCommandToSlave;
            break;
        }
        if (m_MBMode != modeSlave)
            ShowTxId(f[1]);
        const int covered = n + (ascii ? 4 : 3);
        const quint16 crc = MBCrc16(f, covered);
        f[covered] = static_cast<quint8>(crc & 0xFF);
        f[covered + 1] = static_cast<quint8>(crc >> 8);
        last = covered + 1;
        ShowTxCount();
    }

    m_batching = true;
    m_batch.clear();
    m_batch.reserve(raw ? n : 2 * (last + 1) + 2);
    if (ascii) {
        const bool query = m_MBMode == modeASCIIMaster;
        m_batch.append(query ? 'M' : 'S');
        for (int i = 0; i <= last && m_MBStatusNow != stnPortError; ++i)
            MBSendHexPair(f[i]);
        m_batch.append(';');
    } else if (!raw) {
        for (int i = 0; i <= last && m_MBStatusNow != stnPortError; ++i)
            MBSendNibblePair(f[i], i == 0 ? npFirst : (i == last ? npLast : npMiddle));
    } else {
        if (m_MBMode == modeString) {
            m_MBNumberOfReceivedBytes = 0;
            m_MBRxBufferFull = false;
            m_StringReceptionArmed = true;
        }
        for (int i = 0; i < n && m_MBStatusNow != stnPortError; ++i)
            MBSendRawByte(f[3 + i]);
    }
    m_batching = false;

    // The whole frame goes to the link in one piece, so a refused write can
    // never leave part of a frame on the line behind a good one.
    if (m_MBStatusNow != stnPortError && !m_batch.isEmpty() && !WriteToPort(m_batch))
        SendFailed();
    m_batch.clear();

    if (raw)
        ShowTxCount();
    if (ascii && m_MBStatusNow != stnPortError) {
        if (m_MBMode == modeASCIIMaster)
            m_AsciiFrameOpen = false;
        else
            ResetReceiver();
    }
}
