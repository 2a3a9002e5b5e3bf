// The master transaction cycle: start, retries, time-out, broadcast, one-way modes.
#include "FakeLink.h"
#include "MB.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct EndEvent {
    TMB::TMBStatus status;
    QString text;
};

class MasterCycle : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mb.SetManualTimers(true);
        link = UseFakeLink(mb);
        mb.OnMBMasterEndOfEvent = [this](TMB::TMBStatus s, const QString &t) {
            ends.push_back({s, t});
            log.push_back("end:" + t.toStdString());
        };
        mb.OnMBBusyChanged = [this](bool b) { log.push_back(b ? "busy" : "idle"); };
        mb.OnMBStatusNowChanged = [this](TMB::TMBStatusNow, const QString &t) {
            log.push_back("now:" + t.toStdString());
        };
    }
    void Open(TMB::TMBMode mode = TMB::modeASCIIMaster)
    {
        mb.setMBMode(mode);
        mb.setMBBaud(TMB::baud004800);
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
    TMB mb;
    std::shared_ptr<FakeLinkState> link;
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
    ASSERT_EQ(link->writes.size(), 1);
    for (int i = 2; i <= 5; ++i) {
        ASSERT_TRUE(Core(mb).AnswerTimer.Fire());
        EXPECT_EQ(mb.MBMasterTryNumber(), i);
        EXPECT_EQ(Core(mb).AnswerTimer.Interval(), 1034);
        EXPECT_TRUE(ends.empty());
    }
    ASSERT_EQ(link->writes.size(), 5);
    for (const QByteArray &w : link->writes)
        EXPECT_EQ(w, QByteArray("M0127010001A00F5913;"));
    log.clear();
    ASSERT_TRUE(Core(mb).AnswerTimer.Fire());
    EXPECT_FALSE(Core(mb).AnswerTimer.Enabled());
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, TMB::stTimeOut);
    EXPECT_EQ(ends[0].text, QStringLiteral("Time Out"));
    EXPECT_EQ(log, (std::vector<std::string>{"now:Time Out", "idle", "end:Time Out"}));
    EXPECT_EQ(mb.MBMasterTryNumber(), 5);
    EXPECT_EQ(mb.MBMasterTryNumberMax(), 5);
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 1u);
    EXPECT_EQ(mb.RxIdLabel->text(), QStringLiteral("---"));
    EXPECT_EQ(mb.TryLabel->text(), QStringLiteral("5/5"));
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
    EXPECT_EQ(ends[0].status, TMB::stTimeOut);
    EXPECT_EQ(link->writes.size(), 1);
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
    EXPECT_EQ(ends[0].status, TMB::stOK);
    EXPECT_EQ(mb.MBMasterTryNumber(), 3);
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 1u);
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 1u);
    EXPECT_FALSE(Core(mb).AnswerTimer.Enabled());
    EXPECT_FALSE(mb.MBBusy());
    EXPECT_EQ(mb.MBGetWord(), 10000);
    // the timer stays off: no late retry
    EXPECT_FALSE(Core(mb).AnswerTimer.Fire());
    // A new query shows the highest try number seen
    mb.MBMasterStart(0);
    EXPECT_EQ(mb.TryLabel->text(), QStringLiteral("1/3"));
}

TEST_F(MasterCycle, DelayedStartRestartsOnSecondCall)
{
    Open();
    PreparePoll();
    mb.MBMasterStart(50);
    EXPECT_TRUE(Core(mb).StartTimer.Enabled());
    EXPECT_EQ(Core(mb).StartTimer.Interval(), 50);
    mb.MBMasterStart(50);
    EXPECT_TRUE(link->writes.isEmpty());
    Core(mb).StartTimer.Fire();
    EXPECT_FALSE(Core(mb).StartTimer.Enabled());
    EXPECT_EQ(link->writes.size(), 1);
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
    EXPECT_EQ(ends[0].status, TMB::stOK);
    EXPECT_FALSE(Core(mb).AnswerTimer.Enabled());
    EXPECT_FALSE(mb.MBBusy());
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 1u);
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnReady);
    EXPECT_TRUE(link->Written().startsWith("M00"));
}

TEST_F(MasterCycle, ClosedPortEndsBeforeReturning)
{
    mb.setMBMode(TMB::modeASCIIMaster);
    PreparePoll();
    mb.MBMasterStart(0);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, TMB::stClosedPort);
    EXPECT_EQ(ends[0].text, QStringLiteral("Closed Port"));
    EXPECT_TRUE(mb.MBBusy());
    EXPECT_TRUE(link->writes.isEmpty());
}

TEST_F(MasterCycle, FailedRetryEndsTheTransaction)
{
    Open();
    PreparePoll();
    mb.MBMasterStart(0);
    link->failWrites = true;
    Core(mb).AnswerTimer.Fire();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, TMB::stClosedPort);
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
    EXPECT_EQ(ends[0].status, TMB::stClosedPort);
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
    Open(TMB::modeByte);
    mb.MBClearTxData();
    for (int i = 0; i < 10; ++i)
        mb.MBPutByte(static_cast<quint8>('a' + i));
    mb.MBMasterStart(0);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, TMB::stOK);
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 10u);
    EXPECT_EQ(link->Written(), QByteArray("abcdefghij"));
    EXPECT_FALSE(Core(mb).AnswerTimer.Enabled());

    ends.clear();
    mb.MBClosePort();
    Open(TMB::modeDiagnostic);
    mb.MBClearTxData();
    mb.MBMasterStart(0);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 1u);
    EXPECT_EQ(link->Written().size(), 10);
}

TEST_F(MasterCycle, StartOutsideMasterModes)
{
    Open(TMB::modeASCIISlave);
    mb.MBMasterStart(0); // stops the watchdog, busy, sends nothing
    EXPECT_FALSE(Core(mb).AnswerTimer.Enabled());
    EXPECT_TRUE(mb.MBBusy());
    EXPECT_TRUE(link->writes.isEmpty());
    EXPECT_TRUE(ends.empty());

    mb.MBClosePort();
    Open(TMB::modeByte);
    mb.MBClearTxData();
    mb.MBPutByte(1);
    mb.MBMasterStart(20); // a delayed start of a one-way mode sends nothing
    Core(mb).StartTimer.Fire();
    EXPECT_TRUE(link->writes.isEmpty());
    EXPECT_TRUE(ends.empty());
}

// Real time, wide margins: the design's figures at 4800 baud with a 3-byte payload.
TEST(MasterCycleRealTime, FiveTriesAboutOneSecondApart)
{
    TMB mb;
    auto link = UseFakeLink(mb);
    std::vector<qint64> writeTimes;
    QElapsedTimer clock;
    mb.setMBBaud(TMB::baud004800);
    mb.MBOpenPort();
    bool ended = false;
    qint64 endTime = 0;
    mb.OnMBMasterEndOfEvent = [&](TMB::TMBStatus, const QString &) {
        ended = true;
        endTime = clock.elapsed();
    };
    mb.setMBMasterCommandToSlave(1);
    mb.MBClearTxData();
    mb.MBPutByte(1);
    mb.MBPutWord(4000);
    clock.start();
    mb.MBMasterStart(0);
    int seen = 0;
    while (!ended && clock.elapsed() < 10000) {
        QTest::qWait(5);
        while (seen < link->writes.size()) {
            writeTimes.push_back(clock.elapsed());
            ++seen;
        }
    }
    ASSERT_TRUE(ended);
    ASSERT_EQ(writeTimes.size(), 5u);
    for (size_t i = 1; i < writeTimes.size(); ++i) {
        const qint64 gap = writeTimes[i] - writeTimes[i - 1];
        EXPECT_GT(gap, 1034 - 50) << i;
        EXPECT_LT(gap, 1034 + 600) << i;
    }
    EXPECT_GT(endTime, 5170 - 100);
    EXPECT_LT(endTime, 5170 + 1500);
    std::printf("tries at %lld %lld %lld %lld %lld ms, end at %lld ms\n", (long long)writeTimes[0],
                (long long)writeTimes[1], (long long)writeTimes[2], (long long)writeTimes[3], (long long)writeTimes[4],
                (long long)endTime);
    mb.MBClosePort();
}

} // namespace

namespace {

// A refused write ends the transaction; the close that follows (the line is
// gone) must not report a second end for it.
TEST_F(MasterCycle, CloseAfterFailedSendRaisesNoSecondEnd)
{
    Open();
    PreparePoll();
    link->failWrites = true;
    mb.MBMasterStart(0);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, TMB::stClosedPort);
    EXPECT_TRUE(mb.MBBusy());
    mb.MBClosePort();
    EXPECT_EQ(ends.size(), 1u);
}

} // namespace

namespace {

// A chain driven by the end event must never stall, whatever the mode does meanwhile.
TEST_F(MasterCycle, ModeChangeWhileWaitingStillEndsOnce)
{
    Open();
    PreparePoll();
    mb.setMBMasterMaxTryNumber(2);
    mb.MBMasterStart(0);
    mb.setMBMode(TMB::modeMaster); // between the master modes the tries go on
    EXPECT_TRUE(mb.MBBusy());
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnWaitingForAnswer);
    Core(mb).AnswerTimer.Fire();
    EXPECT_EQ(link->writes.size(), 2);
    EXPECT_TRUE(ends.empty());
    Core(mb).AnswerTimer.Fire();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, TMB::stTimeOut);
    EXPECT_FALSE(mb.MBBusy());

    // leaving the master modes ends it at once, and the answer timer is not
    // left running as the slave's watchdog
    ends.clear();
    mb.setMBMode(TMB::modeASCIIMaster);
    PreparePoll();
    mb.MBMasterStart(0);
    int watchdog = 0;
    mb.OnMBASCIISlaveTimeOut = [&] { ++watchdog; };
    mb.setMBMode(TMB::modeASCIISlave);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, TMB::stTimeOut);
    EXPECT_FALSE(Core(mb).AnswerTimer.Enabled());
    EXPECT_FALSE(Core(mb).m_awaitingAnswer);
    mb.MBClosePort();
    EXPECT_EQ(ends.size(), 1u);
    EXPECT_EQ(watchdog, 0);

    // a delayed start ends once too, and never goes out as a slave's answer
    for (TMB::TMBMode other : {TMB::modeASCIISlave, TMB::modeByte}) {
        ends.clear();
        Open();
        PreparePoll();
        mb.MBMasterStart(50);
        mb.setMBMode(other);
        EXPECT_FALSE(Core(mb).StartTimer.Fire()) << other;
        EXPECT_TRUE(link->writes.isEmpty()) << other;
        ASSERT_EQ(ends.size(), 1u) << other;
        EXPECT_EQ(ends[0].status, TMB::stTimeOut);
        mb.MBClosePort();
    }
}

} // namespace
