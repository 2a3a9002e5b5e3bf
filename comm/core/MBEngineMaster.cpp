// Frame sending and the master transaction cycle.
#include "MBEngineImpl.h"

namespace mbcore::detail {

namespace {

bool IsMasterMode(TMBMode m)
{
    return m == modeMaster || m == modeASCIIMaster;
}

} // namespace

bool TEngine::WriteToPort(const char *data, std::size_t count)
{
    if (!m_LinkOpen || !m_link)
        return true; // nothing is written while no link is open, and nothing is reported
    if (!m_link->WriteBytes(data, static_cast<std::ptrdiff_t>(count)))
        return false;
    if (pub.OnLineTap)
        pub.OnLineTap(true, reinterpret_cast<const uint8_t *>(data), count);
    view->FlashTxLamp();
    return true;
}

void TEngine::SendFailed()
{
    view->TxLampOff();
    SetMBStatusNow(stnPortError);
    SetMBStatus(stClosedPort);
    SetMBBusy(true);
}

void TEngine::MBSendFrame()
{
    if (!m_MBPortOpen) {
        SetMBStatusNow(stnPortError);
        return;
    }

    const int n = m_MBDataNumberToSend;
    const bool ascii = m_MBMode == modeASCIIMaster || m_MBMode == modeASCIISlave;
    const bool raw = m_MBMode == modeByte || m_MBMode == modeString;
    uint8_t *f = m_TXDataBuffer.data();
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
            f[0] = static_cast<uint8_t>(0x80 | (m_MBSlaveOwnAddress & 0x0F));
            f[1] = m_MBSlaveID;
            f[2] = m_MBSlaveErrorCode;
            break;
        default: // modeMaster, modeDiagnostic
            f[0] = static_cast<uint8_t>(m_MBMasterAddressToSlave | (m_MBMasterQueryMode ? 0x40 : 0));
            f[1] = m_MBMasterIDToSlave;
            f[2] = m_MBMasterCommandToSlave;
            break;
        }
        if (m_MBMode != modeSlave)
            view->ShowTxId(f[1]);
        last = SealFrame(m_TXDataBuffer, n + (ascii ? 4 : 3));
        view->ShowTxCount();
    }

    m_TxWrittenEnd = std::max(m_TxWrittenEnd, static_cast<std::size_t>(last + 1));

    // The whole frame goes to the link in one piece, so a refused write can
    // never leave part of a frame on the line behind a good one.
    const auto count = static_cast<std::size_t>(last + 1);
    if (ascii) {
        m_batch.resize(AsciiFrameSize(count));
        EncodeAsciiFrame(m_batch.data(), m_MBMode == modeASCIIMaster ? 'M' : 'S', f, count);
    } else if (!raw) {
        m_batch.resize(BinaryFrameSize(count));
        EncodeBinaryFrame(m_batch.data(), f, count);
    } else {
        if (m_MBMode == modeString) {
            m_MBNumberOfReceivedBytes = 0;
            m_MBRxBufferFull = false;
            m_StringReceptionArmed = true;
        }
        m_batch.assign(reinterpret_cast<const char *>(f + 3), static_cast<std::size_t>(n));
    }
    if (!m_batch.empty() && !WriteToPort(m_batch.data(), m_batch.size()))
        SendFailed();
    m_batch.clear(); // keeps its capacity for the next frame

    if (raw)
        view->ShowTxCount();
    if (ascii && m_MBStatusNow != stnPortError) {
        if (m_MBMode == modeASCIIMaster)
            m_AsciiFrameOpen = false;
        else
            ResetReceiver();
    }
}

void TEngine::MBMasterStart(uint16_t delay)
{
    StartTimer.Stop();
    if (delay == 0)
        MBStartTransaction();
    else
        StartTimer.Arm(delay);
}

void TEngine::StartTimerExpired()
{
    StartTimer.Stop();
    if (m_MBMode == modeSlave || m_MBMode == modeASCIISlave)
        SendSlaveAnswer();
    else if (IsMasterMode(m_MBMode))
        MBStartTransaction();
}

void TEngine::MBStartTransaction()
{
    AnswerTimer.Stop();
    SetMBBusy(true);
    switch (m_MBMode) {
    case modeMaster:
    case modeASCIIMaster: MasterFirstTry(); break;
    case modeDiagnostic:
    case modeByte:
    case modeString: OneWaySend(); break;
    case modeSlave:
    case modeASCIISlave: break;
    }
}

void TEngine::RaiseMasterEnd()
{
    if (pub.OnMBMasterEndOfEvent)
        pub.OnMBMasterEndOfEvent(m_MBStatus, m_MBStatusString);
}

void TEngine::EndWithClosedPort()
{
    m_awaitingAnswer = false;
    SetMBBusy(true);
    SetMBStatus(stClosedPort);
    RaiseMasterEnd();
}

// Writes the first try and counts it; false when the port refused it (the
// transaction has then ended with the closed-port status).
bool TEngine::SendFirstTry(uint32_t framesCounted)
{
    m_awaitingAnswer = false;
    MBSendFrame();
    if (m_MBStatusNow == stnPortError) {
        EndWithClosedPort();
        return false;
    }
    SetMBStatusNow(stnSending);
    m_MBNumberOfTxFrames += framesCounted;
    view->ShowCounters();
    m_MBMasterTryNumber = 1;
    ShowTry(m_MBMasterTryNumber);
    return true;
}

void TEngine::OneWaySend()
{
    if (!SendFirstTry(m_MBMode == modeByte ? m_MBDataNumberToSend : 1))
        return;
    SetMBBusy(false);
    SetMBStatusNow(stnReady);
    SetMBStatus(stOK);
    RaiseMasterEnd();
}

void TEngine::MasterFirstTry()
{
    if (!SendFirstTry(1))
        return;
    if (m_MBMode == modeASCIIMaster)
        ShowTraffic(m_MBMasterAddressToSlave, m_MBMasterCommandToSlave);

    if (m_MBMasterAddressToSlave == 0) { // broadcast: nobody answers
        SetMBBusy(false);
        SetMBStatusNow(stnReady);
        SetMBStatus(stOK);
        view->ShowRxId("---");
        RaiseMasterEnd();
        return;
    }
    SetMBStatusNow(stnWaitingForAnswer);
    m_MBCalculatedTimeOfSending = SendingTimeEstimate(m_MBDataNumberToSend, m_baudRate);
    AnswerTimer.Arm(int(m_MBCalculatedTimeOfSending) + int(m_MBMasterTimeOut));
    m_MBNumberOfReceivedBytes = 0;
    m_MBRxBufferFull = false;
    m_rxOverflowed = false;
    m_awaitingAnswer = true;
    m_hintsOff = false;
    ++m_transactionSerial;
}

void TEngine::MBMasterRetry()
{
    AnswerTimer.Stop();
    ++m_MBMasterTryNumber;
    ShowTry(m_MBMasterTryNumber);
    m_hintsOff = false; // a new answer
    MBSendFrame();
    if (m_MBStatusNow == stnPortError)
        return;
    SetMBStatusNow(stnSending);
    AnswerTimer.Arm(int(m_MBCalculatedTimeOfSending) + int(m_MBMasterTimeOut));
}

void TEngine::AnswerTimerExpired()
{
    AnswerTimer.Stop();
    if (IsMasterMode(m_MBMode)) {
        if (!m_awaitingAnswer || HeldAnswerEnded())
            return;
        if (m_MBMasterTryNumber < m_MBMasterMaxTryNumber) {
            MBMasterRetry();
            if (m_MBStatusNow == stnPortError) {
                // A retry that could not be written ends the transaction, so a
                // chain driven by the end event never stalls.
                EndWithClosedPort();
                return;
            }
            SetMBStatusNow(stnSending);
            SetMBStatusNow(stnWaitingForAnswer);
        } else {
            m_awaitingAnswer = false;
            SetMBStatusNow(stnTimeOut);
            SetMBBusy(false);
            SetMBStatus(stTimeOut);
            view->ShowRxId("---");
            RaiseMasterEnd();
        }
    } else if (m_MBMode == modeASCIISlave) {
        SetMBStatusNow(stnTimeOut);
        SetMBStatus(stTimeOut);
        if (pub.OnMBASCIISlaveTimeOut)
            pub.OnMBASCIISlaveTimeOut();
    }
}

} // namespace mbcore::detail
