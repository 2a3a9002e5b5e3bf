// The slave on a real pseudo-terminal and on the Qt timers.
#include "FakeLink.h"
#include "MB.h"
#include "Pty.h"

#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

TEST(SlaveOverPty, AsciiSlaveWorkedExchangesOnARealTerminal)
{
    TPty line;
    ASSERT_TRUE(line.Valid());
    TMB slave;
    slave.setMBRefreshListOnStartup(false);
    slave.setMBMode(TMB::modeASCIISlave);
    slave.setMBSlaveOwnAddress(1);
    slave.setMBSlaveID(39);
    slave.setMBBaud(TMB::baud004800);
    slave.setPort(line.SlavePath());
    slave.MBOpenPort();
    ASSERT_TRUE(slave.MBPortOpen()) << slave.LastOpenError().toStdString();
    const std::vector<std::pair<QByteArray, QByteArray>> exchanges = {
        {"M0127FD00F143;", "S0127FD0001000000C2D4;"}, // first: the count includes it
        {"M0127FA00F373;", "S0127FA00E0070A0B03F9;"},
        {"M0127FE00F1B3;", "S0127FE004D4220536C61766500C691;"},
        {"M010508001619;", "S012708FFF653;"},
    };
    for (const auto &[request, answer] : exchanges) {
        ASSERT_TRUE(line.Write(request));
        EXPECT_EQ(line.Read(answer.size()), answer) << request.constData();
    }
    EXPECT_EQ(slave.MBStatusString(), QStringLiteral("ID Error"));
    EXPECT_EQ(slave.MBNumberOfTxFrames(), 4u);
}

TEST(SlaveRealTimers, DelayedAnswerLeavesAfterTheDelay)
{
    TMB mb;
    auto link = UseFakeLink(mb);
    mb.setMBSlaveDelayTime(50);
    mb.setMBSlaveOwnAddress(1);
    mb.setMBSlaveID(39);
    mb.setMBMode(TMB::modeASCIISlave);
    mb.MBOpenPort();
    ASSERT_TRUE(mb.MBPortOpen());
    link->writes.clear();
    QElapsedTimer clock;
    clock.start();
    Deliver(mb, "M0127FA00F373;");
    EXPECT_TRUE(link->writes.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !link->writes.isEmpty(); }, 5000));
    EXPECT_GE(clock.elapsed(), 45);
    EXPECT_EQ(link->Written(), QByteArray("S0127FA00E0070A0B03F9;"));
}

} // namespace
