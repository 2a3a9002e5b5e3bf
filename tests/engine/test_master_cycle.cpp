// The master transaction cycle: start, retries, time-out, broadcast, one-way modes.
#include "PlainFakeLink.h"
#include "RecordingView.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace mbcore;

namespace {

struct EndEvent {
    TMBStatus status;
    std::string text;
};

class MasterCycle : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mb.SetManualTimers(true);
        mb.SetView(&view);
        link = UseFakeLink(mb);
        mb.OnMBMasterEndOfEvent = [this](TMBStatus s, const std::string &t) {
            ends.push_back({s, t});
            log.push_back("end:" + t);
        };
        mb.OnMBBusyChanged = [this](bool b) { log.push_back(b ? "busy" : "idle"); };
        mb.OnMBStatusNowChanged = [this](TMBStatusNow, const std::string &t) { log.push_back("now:" + t); };
    }
    void TearDown() override { mb.SetView(nullptr); }
    void Open(TMBMode mode = modeASCIIMaster)
    {
        mb.setMBMode(mode);
        mb.setMBBaud(baud004800);
        mb.MBOpenPort();
        ASSERT_TRUE(mb.MBPortOpen());
        link->writes.clear();
        log.clear();
    }
    void PreparePoll()
    {
        mb.setMBMasterIDToSlave(39);
        mb.setMBMasterCommandToSlave(1);
        mb.MBClearTxData();
        mb.MBPutByte(1);
        mb.MBPutWord(4000);
    }
    TMBEngine mb;
    TRecordingView view{mb};
    std::shared_ptr<PlainLinkState> link;
    std::vector<EndEvent> ends;
    std::vector<std::string> log;
};

TEST_F(MasterCycle, SilentSlaveGetsFiveIdenticalQueriesThenTimeOut)
{
    Open();
    PreparePoll();
    mb.MBMasterStart(0);
    EXPECT_EQ(mb.MBCalculatedTimeOfSending(), 34);
    EXPECT_EQ(Core(mb).AnswerTimer.Interval(), 1034);
    ASSERT_EQ(link->writes.size(), 1u);
    for (int i = 2; i <= 5; ++i) {
        ASSERT_TRUE(Core(mb).AnswerTimer.Fire());
        EXPECT_EQ(mb.MBMasterTryNumber(), i);
        EXPECT_EQ(Core(mb).AnswerTimer.Interval(), 1034);
        EXPECT_TRUE(ends.empty());
    }
    ASSERT_EQ(link->writes.size(), 5u);
    for (const std::string &w : link->writes)
        EXPECT_EQ(w, "M0127010001A00F5913;");
    log.clear();
    view.rxIds.clear();
    ASSERT_TRUE(Core(mb).AnswerTimer.Fire());
    EXPECT_FALSE(Core(mb).AnswerTimer.Enabled());
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stTimeOut);
    EXPECT_EQ(ends[0].text, "Time Out");
    EXPECT_EQ(log, (std::vector<std::string>{"now:Time Out", "idle", "end:Time Out"}));
    EXPECT_EQ(mb.MBMasterTryNumber(), 5);
    EXPECT_EQ(mb.MBMasterTryNumberMax(), 5);
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 1u);
    // the panel is told: no slave ID, five of five tries
    EXPECT_EQ(view.rxIds, std::vector<std::string>{"---"});
    ASSERT_FALSE(view.tries.empty());
    EXPECT_EQ(view.tries.back(), std::make_pair(5, 5));
}

TEST_F(MasterCycle, StartEventOrder)
{
    Open();
    PreparePoll();
    mb.MBMasterStart(0);
    // busy before anything is written, "Sending" after the whole query went out
    EXPECT_EQ(log, (std::vector<std::string>{"busy", "now:Sending", "now:Waiting For Answer"}));
}

TEST_F(MasterCycle, MaxTryNumberOneTimesOutAtFirstExpiry)
{
    Open();
    mb.setMBMasterMaxTryNumber(1);
    PreparePoll();
    mb.MBMasterStart(0);
    Core(mb).AnswerTimer.Fire();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stTimeOut);
    EXPECT_EQ(link->writes.size(), 1u);
}

TEST_F(MasterCycle, AnswerDuringThirdTryEndsOk)
{
    Open();
    PreparePoll();
    mb.MBMasterStart(0);
    Core(mb).AnswerTimer.Fire();
    Core(mb).AnswerTimer.Fire();
    ASSERT_EQ(mb.MBMasterTryNumber(), 3);
    Deliver(mb, "S01270100102779EB;"); // command 1, payload word 10000
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stOK);
    EXPECT_EQ(mb.MBMasterTryNumber(), 3);
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 1u);
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 1u);
    EXPECT_FALSE(Core(mb).AnswerTimer.Enabled());
    EXPECT_FALSE(mb.MBBusy());
    EXPECT_EQ(mb.MBGetWord(), 10000);
    // the timer stays off: no late retry
    EXPECT_FALSE(Core(mb).AnswerTimer.Fire());
    // A new query shows the highest try number seen
    view.tries.clear();
    mb.MBMasterStart(0);
    ASSERT_FALSE(view.tries.empty());
    EXPECT_EQ(view.tries.back(), std::make_pair(1, 3));
}

TEST_F(MasterCycle, DelayedStartRestartsOnSecondCall)
{
    Open();
    PreparePoll();
    mb.MBMasterStart(50);
    EXPECT_TRUE(Core(mb).StartTimer.Enabled());
    EXPECT_EQ(Core(mb).StartTimer.Interval(), 50);
    mb.MBMasterStart(50);
    EXPECT_TRUE(link->writes.empty());
    Core(mb).StartTimer.Fire();
    EXPECT_FALSE(Core(mb).StartTimer.Enabled());
    EXPECT_EQ(link->writes.size(), 1u);
    EXPECT_TRUE(Core(mb).m_awaitingAnswer);
}

TEST_F(MasterCycle, RestartWhileWaitingAbandonsWithoutEndEvent)
{
    Open();
    PreparePoll();
    mb.MBMasterStart(0);
    Core(mb).AnswerTimer.Fire();
    ASSERT_EQ(mb.MBMasterTryNumber(), 2);
    mb.MBMasterStart(0);
    EXPECT_EQ(mb.MBMasterTryNumber(), 1);
    EXPECT_TRUE(ends.empty());
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 2u);
    Deliver(mb, "S01270100102779EB;");
    EXPECT_EQ(ends.size(), 1u);
}

TEST_F(MasterCycle, BroadcastEndsAtOnce)
{
    Open();
    PreparePoll();
    mb.setMBMasterAddressToSlave(0);
    mb.MBMasterStart(0);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stOK);
    EXPECT_FALSE(Core(mb).AnswerTimer.Enabled());
    EXPECT_FALSE(mb.MBBusy());
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 1u);
    EXPECT_EQ(mb.MBStatusNow(), stnReady);
    EXPECT_EQ(link->Written().rfind("M00", 0), 0u);
}

TEST_F(MasterCycle, ClosedPortEndsBeforeReturning)
{
    mb.setMBMode(modeASCIIMaster);
    PreparePoll();
    mb.MBMasterStart(0);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stClosedPort);
    EXPECT_EQ(ends[0].text, "Closed Port");
    EXPECT_TRUE(mb.MBBusy());
    EXPECT_TRUE(link->writes.empty());
}

TEST_F(MasterCycle, FailedRetryEndsTheTransaction)
{
    Open();
    PreparePoll();
    mb.MBMasterStart(0);
    link->failWrites = true;
    Core(mb).AnswerTimer.Fire();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stClosedPort);
    EXPECT_FALSE(Core(mb).AnswerTimer.Enabled());
    EXPECT_TRUE(mb.MBBusy());
    EXPECT_FALSE(Core(mb).m_awaitingAnswer);
}

TEST_F(MasterCycle, ClosingWhileBusyEndsOnceClosingIdleNever)
{
    Open();
    PreparePoll();
    mb.MBMasterStart(0);
    mb.MBClosePort();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stClosedPort);
    EXPECT_FALSE(Core(mb).AnswerTimer.Enabled());
    // a late answer after the end raises nothing
    Deliver(mb, "S01270100102779EB;");
    EXPECT_EQ(ends.size(), 1u);

    ends.clear();
    Open();
    mb.MBClosePort();
    EXPECT_TRUE(ends.empty());
}

TEST_F(MasterCycle, OneWayModesEndAtOnce)
{
    Open(modeByte);
    mb.MBClearTxData();
    for (int i = 0; i < 10; ++i)
        mb.MBPutByte(static_cast<uint8_t>('a' + i));
    mb.MBMasterStart(0);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stOK);
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 10u);
    EXPECT_EQ(link->Written(), "abcdefghij");
    EXPECT_FALSE(Core(mb).AnswerTimer.Enabled());

    ends.clear();
    mb.MBClosePort();
    Open(modeDiagnostic);
    mb.MBClearTxData();
    mb.MBMasterStart(0);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 1u);
    EXPECT_EQ(link->Written().size(), 10u);
}

TEST_F(MasterCycle, StartOutsideMasterModes)
{
    Open(modeASCIISlave);
    mb.MBMasterStart(0); // stops the watchdog, busy, sends nothing
    EXPECT_FALSE(Core(mb).AnswerTimer.Enabled());
    EXPECT_TRUE(mb.MBBusy());
    EXPECT_TRUE(link->writes.empty());
    EXPECT_TRUE(ends.empty());

    mb.MBClosePort();
    Open(modeByte);
    mb.MBClearTxData();
    mb.MBPutByte(1);
    mb.MBMasterStart(20); // a delayed start of a one-way mode sends nothing
    Core(mb).StartTimer.Fire();
    EXPECT_TRUE(link->writes.empty());
    EXPECT_TRUE(ends.empty());
}

// A refused write ends the transaction; the close that follows (the line is
// gone) must not report a second end for it.
TEST_F(MasterCycle, CloseAfterFailedSendRaisesNoSecondEnd)
{
    Open();
    PreparePoll();
    link->failWrites = true;
    mb.MBMasterStart(0);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stClosedPort);
    EXPECT_TRUE(mb.MBBusy());
    mb.MBClosePort();
    EXPECT_EQ(ends.size(), 1u);
}

// A chain driven by the end event must never stall, whatever the mode does meanwhile.
TEST_F(MasterCycle, ModeChangeWhileWaitingStillEndsOnce)
{
    Open();
    PreparePoll();
    mb.setMBMasterMaxTryNumber(2);
    mb.MBMasterStart(0);
    mb.setMBMode(modeMaster); // between the master modes the tries go on
    EXPECT_TRUE(mb.MBBusy());
    EXPECT_EQ(mb.MBStatusNow(), stnWaitingForAnswer);
    Core(mb).AnswerTimer.Fire();
    EXPECT_EQ(link->writes.size(), 2u);
    EXPECT_TRUE(ends.empty());
    Core(mb).AnswerTimer.Fire();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stTimeOut);
    EXPECT_FALSE(mb.MBBusy());

    // leaving the master modes ends it at once, and the answer timer is not
    // left running as the slave's watchdog
    ends.clear();
    mb.setMBMode(modeASCIIMaster);
    PreparePoll();
    mb.MBMasterStart(0);
    int watchdog = 0;
    mb.OnMBASCIISlaveTimeOut = [&] { ++watchdog; };
    mb.setMBMode(modeASCIISlave);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stTimeOut);
    EXPECT_FALSE(Core(mb).AnswerTimer.Enabled());
    EXPECT_FALSE(Core(mb).m_awaitingAnswer);
    mb.MBClosePort();
    EXPECT_EQ(ends.size(), 1u);
    EXPECT_EQ(watchdog, 0);

    // a delayed start ends once too, and never goes out as a slave's answer
    for (TMBMode other : {modeASCIISlave, modeByte}) {
        ends.clear();
        Open();
        PreparePoll();
        mb.MBMasterStart(50);
        mb.setMBMode(other);
        EXPECT_FALSE(Core(mb).StartTimer.Fire()) << other;
        EXPECT_TRUE(link->writes.empty()) << other;
        ASSERT_EQ(ends.size(), 1u) << other;
        EXPECT_EQ(ends[0].status, stTimeOut);
        mb.MBClosePort();
    }
}

} // namespace
