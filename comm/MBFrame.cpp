// Frame building and the CRC-16 that protects every frame.
#include "MB.h"
#include "MBFrame.h"

quint16 TMB::MBCrc16(const quint8 *p, qsizetype count)
{
    return mbcore::Crc16(p, count > 0 ? static_cast<std::size_t>(count) : 0);
}

bool TMB::WriteToPort(const QByteArray &bytes)
{
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

// The single-character operations write at once; a whole frame is encoded by
// the core and written in one piece (MBSendFrame).
void TMB::MBSendHexPair(quint8 byte)
{
    char pair[2];
    mbcore::EncodeHexPair(pair, byte);
    SendNow(pair, 2);
}

void TMB::MBSendNibblePair(quint8 byte, TNibblePosition position)
{
    char pair[2];
    mbcore::EncodeNibblePair(pair, byte, static_cast<mbcore::TNibblePosition>(position));
    SendNow(pair, 2);
}

void TMB::MBSendRawByte(quint8 byte)
{
    const char c = static_cast<char>(byte);
    SendNow(&c, 1);
}

void TMB::SendNow(const char *chars, int count)
{
    if (!m_MBPortOpen || !WriteToPort(QByteArray(chars, count)))
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
        last = mbcore::SealFrame(m_TXDataBuffer, n + (ascii ? 4 : 3));
        ShowTxCount();
    }

    // The whole frame goes to the link in one piece, so a refused write can
    // never leave part of a frame on the line behind a good one.
    if (ascii) {
        m_batch.resize(static_cast<qsizetype>(mbcore::AsciiFrameSize(last + 1)));
        mbcore::EncodeAsciiFrame(m_batch.data(), m_MBMode == modeASCIIMaster ? 'M' : 'S', f, last + 1);
    } else if (!raw) {
        m_batch.resize(static_cast<qsizetype>(mbcore::BinaryFrameSize(last + 1)));
        mbcore::EncodeBinaryFrame(m_batch.data(), f, last + 1);
    } else {
        if (m_MBMode == modeString) {
            m_MBNumberOfReceivedBytes = 0;
            m_MBRxBufferFull = false;
            m_StringReceptionArmed = true;
        }
        m_batch = QByteArray(reinterpret_cast<const char *>(f + 3), n);
    }
    if (!m_batch.isEmpty() && !WriteToPort(m_batch))
        SendFailed();
    m_batch.resize(0); // keeps its capacity for the next frame

    if (raw)
        ShowTxCount();
    if (ascii && m_MBStatusNow != stnPortError) {
        if (m_MBMode == modeASCIIMaster)
            m_AsciiFrameOpen = false;
        else
            ResetReceiver();
    }
}
