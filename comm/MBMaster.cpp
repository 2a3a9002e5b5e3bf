// Master transaction cycle and the master receivers.
#include "MB.h"

namespace {

bool IsMasterMode(TMB::TMBMode m)
{
    return m == TMB::modeMaster || m == TMB::modeASCIIMaster;
}

} // namespace

quint16 TMB::SendingTimeEstimate(quint16 payloadBytes, quint32 baud)
{
    return mbcore::SendingTimeEstimate(payloadBytes, baud);
}

void TMB::MBMasterStart(quint16 delay)
{
    StartTimer.Stop();
    if (delay == 0)
        MBStartTransaction();
    else
        StartTimer.Arm(delay);
}

void TMB::StartTimerExpired()
{
    StartTimer.Stop();
    if (m_MBMode == modeSlave || m_MBMode == modeASCIISlave)
        SendSlaveAnswer();
    else if (IsMasterMode(m_MBMode))
        MBStartTransaction();
}

void TMB::MBStartTransaction()
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

void TMB::RaiseMasterEnd()
{
    if (OnMBMasterEndOfEvent)
        OnMBMasterEndOfEvent(m_MBStatus, m_MBStatusString);
}

void TMB::EndWithClosedPort()
{
    m_awaitingAnswer = false;
    SetMBBusy(true);
    SetMBStatus(stClosedPort);
    RaiseMasterEnd();
}

// Writes the first try and counts it; false when the port refused it (the
// transaction has then ended with the closed-port status).
bool TMB::SendFirstTry(quint32 framesCounted)
{
    m_awaitingAnswer = false;
    MBSendFrame();
    if (m_MBStatusNow == stnPortError) {
        EndWithClosedPort();
        return false;
    }
    SetMBStatusNow(stnSending);
    m_MBNumberOfTxFrames += framesCounted;
    ShowCounters();
    m_MBMasterTryNumber = 1;
    ShowTry(m_MBMasterTryNumber);
    return true;
}

void TMB::OneWaySend()
{
    if (!SendFirstTry(m_MBMode == modeByte ? m_MBDataNumberToSend : 1))
        return;
    SetMBBusy(false);
    SetMBStatusNow(stnReady);
    SetMBStatus(stOK);
    RaiseMasterEnd();
}

void TMB::MasterFirstTry()
{
    if (!SendFirstTry(1))
        return;
    if (m_MBMode == modeASCIIMaster)
        ShowTraffic(m_MBMasterAddressToSlave, m_MBMasterCommandToSlave);

    if (m_MBMasterAddressToSlave == 0) { // broadcast: nobody answers
        SetMBBusy(false);
        SetMBStatusNow(stnReady);
        SetMBStatus(stOK);
        ShowRxId(QStringLiteral("---"));
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
}

void TMB::MBMasterRetry()
{
    AnswerTimer.Stop();
    ++m_MBMasterTryNumber;
    ShowTry(m_MBMasterTryNumber);
    MBSendFrame();
    if (m_MBStatusNow == stnPortError)
        return;
    SetMBStatusNow(stnSending);
    AnswerTimer.Arm(int(m_MBCalculatedTimeOfSending) + int(m_MBMasterTimeOut));
}

void TMB::AnswerTimerExpired()
{
    AnswerTimer.Stop();
    if (IsMasterMode(m_MBMode)) {
        if (!m_awaitingAnswer)
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
            ShowRxId(QStringLiteral("---"));
            RaiseMasterEnd();
        }
    } else if (m_MBMode == modeASCIISlave) {
        SetMBStatusNow(stnTimeOut);
        SetMBStatus(stTimeOut);
        if (OnMBASCIISlaveTimeOut)
            OnMBASCIISlaveTimeOut();
    }
}

// ---- receivers --------------------------------------------------------------------

void TMB::DecodeBinaryMaster(quint8 c)
{
    quint8 v;
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
    FlashRxLamp();
    AnswerTimer.Stop();
    CopyRxFrame();
    if (m_RXDataBuffer[2] > 128) {
        SetMBStatus(stSlaveError, m_RXDataBuffer[2]);
        SetMBStatusNow(stnReady);
    } else {
        ++m_MBNumberOfRxFrames;
        CountSpeedEvent();
        SetMBStatus(stOK);
        SetMBStatusNow(stnReady);
    }
    SetMBBusy(false);
    RaiseMasterEnd();
}

void TMB::DecodeAsciiMaster(quint8 c)
{
    const int d = HexDigitValue(c);
    if (d >= 0) {
        quint8 v;
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
    FlashRxLamp();
    AnswerTimer.Stop();
    CopyRxFrame();
    ++m_MBNumberOfRxFrames;
    CountSpeedEvent();
    if (m_MBMasterIDToSlave != 0 && m_MBMasterIDToSlave != m_RXDataBuffer[1])
        m_RXDataBuffer[3] = 255;
    const quint8 status = m_RXDataBuffer[3];
    if (status == 254 || status == 255)
        SetMBStatus(stSlaveError, status);
    else
        SetMBStatus(stOK);
    SetMBStatusNow(stnReady);
    SetMBBusy(false);
    ShowRxId(QStringLiteral("%1").arg(m_RXDataBuffer[1], 3, 10, QLatin1Char('0')));
    RaiseMasterEnd();
}
