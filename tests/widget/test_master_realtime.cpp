// The master cycle on the Qt timers, in real time.
#include "FakeLink.h"
#include "MB.h"

#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace {

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
