// Master transaction cycle and the master receivers.
#include "MB.h"

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
}

void TMB::AnswerTimerExpired()
{
    AnswerTimer.Stop();
}

void TMB::MBStartTransaction()
{
    AnswerTimer.Stop();
    SetMBBusy(true);
}

void TMB::MBMasterRetry() {}

void TMB::RaiseMasterEnd()
{
    if (OnMBMasterEndOfEvent)
        OnMBMasterEndOfEvent(m_MBStatus, m_MBStatusString);
}

void TMB::DecodeBinaryMaster(quint8) {}
void TMB::DecodeAsciiMaster(quint8) {}
