// The slave, diagnostic, byte and string modes, driven through the fake link.
#include "FakeLink.h"
#include "Frames.h"
#include "MB.h"
#include "Pty.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

#include <vector>

namespace {

class SlaveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mb.SetManualTimers(true);
        link = UseFakeLink(mb);
    }
    void Open(TMB::TMBMode mode)
    {
        mb.setMBMode(mode);
        mb.MBOpenPort();
        ASSERT_TRUE(mb.MBPortOpen());
        link->writes.clear();
    }
    QByteArray Exchange(const QByteArray &request)
    {
        link->writes.clear();
        Deliver(mb, request);
        return link->Written();
    }
    void OpenAsciiInstrument()
    {
        mb.setMBSlaveOwnAddress(1);
        mb.setMBSlaveID(39);
        Open(TMB::modeASCIISlave);
    }

    TMB mb;
    std::shared_ptr<FakeLinkState> link;
};

// ---- ASCII slave ------------------------------------------------------------------------

struct WorkedExchange {
    const char *request;
    const char *answer;
    const char *status;
};

TEST_F(SlaveTest, AsciiSlaveWorkedExchangesByteForByte)
{
    const std::vector<WorkedExchange> table = {
        {"M0127FA00F373;", "S0127FA00E0070A0B03F9;", "OK"},
        {"M0127FE00F1B3;", "S0127FE004D4220536C61766500C691;", "OK"},
        {"M010508001619;", "S012708FFF653;", "ID Error"},
        {"M0127FD00F143;", "S0127FD0001000000C2D4;", "OK"},
    };
    for (const WorkedExchange &row : table) {
        TMB slave;
        slave.SetManualTimers(true);
        auto state = UseFakeLink(slave);
        slave.setMBSlaveOwnAddress(1);
        slave.setMBSlaveID(39);
        slave.setMBMode(TMB::modeASCIISlave);
        slave.MBOpenPort();
        state->writes.clear();
        Deliver(slave, QByteArray(row.request));
        EXPECT_EQ(state->Written(), QByteArray(row.answer)) << row.request;
        EXPECT_EQ(slave.MBStatusString(), QString::fromLatin1(row.status)) << row.request;
        EXPECT_EQ(slave.MBStatusNow(), TMB::stnWaitingForCommand) << row.request;
        EXPECT_EQ(slave.MBNumberOfTxFrames(), 1u) << row.request;
    }
}

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

TEST_F(SlaveTest, AsciiRequestSplitAnywhereGivesTheSameAnswer)
{
    OpenAsciiInstrument();
    const QByteArray request("M0127FA00F373;");
    for (int cut = 1; cut < request.size(); ++cut) {
        link->writes.clear();
        Deliver(mb, request.left(cut));
        EXPECT_TRUE(link->writes.isEmpty());
        Deliver(mb, request.mid(cut));
        EXPECT_EQ(link->Written(), QByteArray("S0127FA00E0070A0B03F9;")) << cut;
    }
    // Two requests in one chunk, with noise in between, give two answers.
    const QByteArray two = request + "\r\n0A S01;" + request;
    EXPECT_EQ(Exchange(two), QByteArray("S0127FA00E0070A0B03F9;S0127FA00E0070A0B03F9;"));
}

TEST_F(SlaveTest, AsciiFrameCounterCountsTheCurrentRequestAndClearsOnOption1)
{
    OpenAsciiInstrument();
    Exchange("M0127FA00F373;");
    Exchange("M0127FA00F373;");
    // Third request, no payload: the count includes it.
    EXPECT_EQ(Exchange(AsciiLine('M', QByteArray::fromHex("0127FD00"))),
              AsciiLine('S', QByteArray::fromHex("0127FD00" "03000000")));
    EXPECT_EQ(Exchange(AsciiLine('M', QByteArray::fromHex("0127FD00" "01"))),
              AsciiLine('S', QByteArray::fromHex("0127FD00" "00000000")));
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 0u);
}

TEST_F(SlaveTest, AsciiDropsWhatIsNotARequestForIt)
{
    OpenAsciiInstrument();
    int handled = 0;
    mb.OnMBSlaveReceivedCommand = [&](quint8, bool, quint16) { ++handled; };
    const std::vector<QByteArray> dropped = {
        AsciiLine('M', QByteArray::fromHex("02270100")),         // another address
        AsciiLine('S', QByteArray::fromHex("01270100")),         // an answer, not a request
        "M0127fa00f373;",                                        // lower-case digits
        "M0127F1B3;",                                             // too short
        "M0127FA00F374;",                                         // bad CRC
        "M0127FA00\rF373;",                                       // CR inside
    };
    for (const QByteArray &frame : dropped) {
        EXPECT_TRUE(Exchange(frame).isEmpty()) << frame.constData();
        EXPECT_EQ(mb.MBStatusNow(), TMB::stnWaitingForCommand) << frame.constData();
    }
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 0u);
    // Digits outside a frame are ignored and do not spoil the next request.
    EXPECT_EQ(Exchange("0123456789ABCDEF" "M0127FA00F373;"), QByteArray("S0127FA00E0070A0B03F9;"));
}

TEST_F(SlaveTest, AsciiAddressRulesWithBroadcastAndNibbleZero)
{
    struct Row {
        quint8 own;
        quint8 to;
        bool executed;
        bool answered;
    };
    const std::vector<Row> rows = {
        {1, 1, true, true},
        {1, 0, true, false},   // broadcast: executed, never answered
        {16, 16, true, false}, // address nibble 0: executed, never answered
        {17, 1, false, false}, // the ASCII slave compares the whole byte
        {1, 17, false, false},
    };
    for (const Row &row : rows) {
        TMB slave;
        slave.SetManualTimers(true);
        auto state = UseFakeLink(slave);
        slave.setMBSlaveOwnAddress(row.own);
        slave.setMBMode(TMB::modeASCIISlave);
        slave.MBOpenPort();
        state->writes.clear();
        int handled = 0;
        slave.OnMBSlaveReceivedCommand = [&](quint8 command, bool, quint16) {
            EXPECT_EQ(command, 42);
            ++handled;
        };
        const QByteArray header = QByteArray(1, char(row.to)) + QByteArray::fromHex("002A00");
        Deliver(slave, AsciiLine('M', header));
        EXPECT_EQ(handled, row.executed ? 1 : 0) << int(row.own) << "/" << int(row.to);
        EXPECT_EQ(!state->writes.isEmpty(), row.answered) << int(row.own) << "/" << int(row.to);
        if (row.executed && !row.answered) {
            EXPECT_EQ(slave.MBStatusNow(), TMB::stnReceivedCommand);
        }
    }
}

TEST_F(SlaveTest, AsciiSecondTerminatorDoesNotRunABroadcastAgain)
{
    OpenAsciiInstrument();
    int handled = 0;
    mb.OnMBSlaveReceivedCommand = [&](quint8, bool, quint16) { ++handled; };
    Exchange(AsciiLine('M', QByteArray::fromHex("00270600")) + ";;");
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 1u);
}

TEST_F(SlaveTest, AsciiIdRules)
{
    struct Row {
        quint8 slaveId;
        quint8 requestId;
        bool accepted;
    };
    for (const Row row : {Row{39, 39, true}, Row{39, 0, true}, Row{0, 0, true}, Row{0, 5, false}, Row{39, 40, false}}) {
        TMB slave;
        slave.SetManualTimers(true);
        auto state = UseFakeLink(slave);
        slave.setMBSlaveID(row.slaveId);
        slave.setMBMode(TMB::modeASCIISlave);
        slave.MBOpenPort();
        state->writes.clear();
        bool handled = false;
        slave.OnMBSlaveReceivedCommand = [&](quint8, bool, quint16) { handled = true; };
        Deliver(slave, AsciiLine('M', QByteArray::fromHex("01") + char(row.requestId) + QByteArray::fromHex("0700")));
        const QByteArray expected =
            AsciiLine('S', QByteArray::fromHex("01") + char(row.slaveId) + char(7) + char(row.accepted ? 0 : 255));
        EXPECT_EQ(state->Written(), expected) << int(row.slaveId) << "/" << int(row.requestId);
        EXPECT_EQ(handled, row.accepted);
        EXPECT_EQ(slave.MBStatusString(), row.accepted ? QStringLiteral("OK") : QStringLiteral("ID Error"));
        EXPECT_EQ(slave.MBNumberOfRxFrames(), row.accepted ? 1u : 0u);
        EXPECT_EQ(slave.RxIdLabel->text(), QStringLiteral("%1").arg(row.requestId, 3, 10, QLatin1Char('0')));
    }
}

TEST_F(SlaveTest, AsciiHandlerReadsTheRequestAndBuildsTheAnswer)
{
    mb.setMBSlaveOwnAddress(0x41); // bit 6 of the address is the query-mode flag
    Open(TMB::modeASCIISlave);
    quint8 seenCommand = 0;
    bool seenQuery = false;
    quint16 seenCount = 0;
    mb.OnMBSlaveReceivedCommand = [&](quint8 command, bool queryMode, quint16 count) {
        seenCommand = command;
        seenQuery = queryMode;
        seenCount = count;
        EXPECT_EQ(mb.MBMBRXDataBufferIndex(), 1);
        EXPECT_EQ(mb.MBDataNumberToSend(), 0); // the answer starts empty
        const quint8 flag = mb.MBGetByte();
        const quint16 value = mb.MBGetWord();
        EXPECT_EQ(mb.MBGetByte(), 0); // past the request: 0
        mb.MBPutSmallInt(-2);
        mb.MBPutWord(static_cast<quint16>(value + flag));
    };
    const QByteArray answer = Exchange(AsciiLine('M', QByteArray::fromHex("41000100" "01A00F")));
    EXPECT_EQ(seenCommand, 1);
    EXPECT_TRUE(seenQuery);
    EXPECT_EQ(seenCount, 3);
    EXPECT_EQ(answer, AsciiLine('S', QByteArray::fromHex("41000100" "FEFF" "A10F")));

    // The handler reports an unknown command with 254.
    mb.OnMBSlaveReceivedCommand = [&](quint8, bool, quint16) { mb.setMBSlaveErrorCode(254); };
    EXPECT_EQ(Exchange(AsciiLine('M', QByteArray::fromHex("41006300"))), AsciiLine('S', QByteArray::fromHex("410063FE")));
    EXPECT_EQ(mb.MBStatus(), TMB::stSlaveError);
    EXPECT_EQ(mb.MBStatusString(), QStringLiteral("Unknown Command"));
    // The next request starts again from error code 0.
    mb.OnMBSlaveReceivedCommand = nullptr;
    EXPECT_EQ(Exchange(AsciiLine('M', QByteArray::fromHex("41006300"))), AsciiLine('S', QByteArray::fromHex("41006300")));
    EXPECT_EQ(mb.MBStatusString(), QStringLiteral("OK"));
}

TEST_F(SlaveTest, AsciiNameAndIdentifyFollowTheProperties)
{
    mb.setMBSlaveName(QStringLiteral("Nyomás"));
    OpenAsciiInstrument();
    // The name goes out in the single-byte code page, with its terminating zero.
    EXPECT_EQ(Exchange(AsciiLine('M', QByteArray::fromHex("0127FE00"))),
              AsciiLine('S', QByteArray::fromHex("0127FE00") + QByteArray("Nyom\xE1s", 6) + '\0'));
    mb.setMBSlaveName(QString());
    EXPECT_EQ(Exchange(AsciiLine('M', QByteArray::fromHex("0127FE00"))), AsciiLine('S', QByteArray::fromHex("0127FE00" "00")));
    // Command 255 does nothing and answers empty.
    EXPECT_EQ(Exchange(AsciiLine('M', QByteArray::fromHex("0127FF00"))), AsciiLine('S', QByteArray::fromHex("0127FF00")));
}

TEST_F(SlaveTest, AsciiWatchdogIsArmedOnOpenAndRestartedByMatchingRequests)
{
    mb.setMBASCIISlaveTimeOut(700);
    OpenAsciiInstrument();
    EXPECT_TRUE(Core(mb).AnswerTimer.Enabled());
    EXPECT_EQ(Core(mb).AnswerTimer.Interval(), 700);

    int timeOuts = 0;
    mb.OnMBASCIISlaveTimeOut = [&] { ++timeOuts; };
    ASSERT_TRUE(Core(mb).AnswerTimer.Fire());
    EXPECT_EQ(timeOuts, 1);
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnTimeOut);
    EXPECT_EQ(mb.MBStatusString(), QStringLiteral("Time Out"));
    EXPECT_FALSE(Core(mb).AnswerTimer.Enabled()); // not restarted by its own expiry

    Exchange("M010508001619;"); // foreign ID: no restart
    EXPECT_FALSE(Core(mb).AnswerTimer.Enabled());
    Exchange("M0127FA00F373;");
    EXPECT_TRUE(Core(mb).AnswerTimer.Enabled());
    EXPECT_EQ(Core(mb).AnswerTimer.Interval(), 700);

    // 0 switches the watchdog off, on opening and on requests.
    mb.MBClosePort();
    mb.setMBASCIISlaveTimeOut(0);
    mb.MBOpenPort();
    EXPECT_FALSE(Core(mb).AnswerTimer.Enabled());
    Exchange("M0127FA00F373;");
    EXPECT_FALSE(Core(mb).AnswerTimer.Enabled());
    EXPECT_EQ(timeOuts, 1);
}

TEST_F(SlaveTest, DelayedAnswerIsBuiltFromTheLatestRequest)
{
    mb.setMBSlaveDelayTime(50);
    OpenAsciiInstrument();
    EXPECT_TRUE(Exchange("M0127FA00F373;").isEmpty());
    EXPECT_TRUE(Core(mb).StartTimer.Enabled());
    EXPECT_EQ(Core(mb).StartTimer.Interval(), 50);
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnSending);

    // A second request while the first answer waits restarts the delay.
    EXPECT_TRUE(Exchange("M0127FE00F1B3;").isEmpty());
    link->writes.clear();
    ASSERT_TRUE(Core(mb).StartTimer.Fire());
    EXPECT_EQ(link->Written(), QByteArray("S0127FE004D4220536C61766500C691;"));
    EXPECT_FALSE(Core(mb).StartTimer.Enabled());
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 1u);
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnWaitingForCommand);
}

TEST_F(SlaveTest, DelayedAnswerLeavesAfterTheDelayOnRealTimers)
{
    mb.SetManualTimers(false);
    mb.setMBSlaveDelayTime(50);
    OpenAsciiInstrument();
    QElapsedTimer clock;
    clock.start();
    Deliver(mb, "M0127FA00F373;");
    EXPECT_TRUE(link->writes.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !link->writes.isEmpty(); }, 5000));
    EXPECT_GE(clock.elapsed(), 45);
    EXPECT_EQ(link->Written(), QByteArray("S0127FA00E0070A0B03F9;"));
}

TEST_F(SlaveTest, PendingAnswerIsDroppedWhenThePortClosed)
{
    mb.setMBSlaveDelayTime(50);
    OpenAsciiInstrument();
    Exchange("M0127FA00F373;");
    mb.MBClosePort();
    link->writes.clear();
    Core(mb).StartTimer.Fire();
    EXPECT_TRUE(link->writes.isEmpty());
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnPortError);
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 0u);
}

TEST_F(SlaveTest, RefusedAnswerKeepsThePortErrorVisible)
{
    OpenAsciiInstrument();
    link->failWrites = true;
    Deliver(mb, "M0127FA00F373;");
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnPortError);
    EXPECT_EQ(mb.MBStatus(), TMB::stClosedPort);
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 0u);
}

// ---- binary slave ----------------------------------------------------------------------

TEST_F(SlaveTest, BinaryIdentifyAnswersTheDateTwiceAndTheName)
{
    mb.setMBSlaveOwnAddress(17); // only the low nibble counts
    mb.setMBSlaveID(3);
    Open(TMB::modeSlave);
    const QByteArray answer = Exchange(BinaryLine(QByteArray::fromHex("010381")));
    QByteArray payload = QByteArray::fromHex("E0070A0B" "E0070A0B") + QByteArray("MB Slave") + '\0';
    EXPECT_EQ(answer, BinaryLine(QByteArray::fromHex("810300") + payload));
    EXPECT_EQ(mb.MBStatusString(), QStringLiteral("OK"));
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 1u);
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 1u);
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnWaitingForCommand);
}

TEST_F(SlaveTest, BinaryFrameCounter)
{
    Open(TMB::modeSlave);
    struct Row {
        QByteArray payload;
        quint32 answered;
        quint32 counterAfter;
    };
    const std::vector<Row> rows = {
        {QByteArray(), 1, 1},
        {QByteArray::fromHex("00"), 2, 2},
        {QByteArray::fromHex("01"), 0, 0},
        {QByteArray::fromHex("02"), 1, 1},
    };
    for (const Row &row : rows) {
        const QByteArray answer = Exchange(BinaryLine(QByteArray::fromHex("010082") + row.payload));
        QByteArray count(4, '\0');
        qToLittleEndian(row.answered, count.data());
        EXPECT_EQ(answer, BinaryLine(QByteArray::fromHex("810000") + count)) << row.payload.toHex().constData();
        EXPECT_EQ(mb.MBNumberOfRxFrames(), row.counterAfter);
    }
}

TEST_F(SlaveTest, BinaryErrorsAndForeignFrames)
{
    Open(TMB::modeSlave);
    int handled = 0;
    bool query = false;
    mb.OnMBSlaveReceivedCommand = [&](quint8 command, bool queryMode, quint16 count) {
        EXPECT_EQ(command, 5);
        EXPECT_EQ(count, 2);
        query = queryMode;
        ++handled;
    };

    // Unknown command: error 130, not counted.
    EXPECT_EQ(Exchange(BinaryLine(QByteArray::fromHex("010083"))), BinaryLine(QByteArray::fromHex("810082")));
    EXPECT_EQ(mb.MBStatusString(), QStringLiteral("Slave Error: #130"));
    // Foreign ID against a slave of ID 0: error 129.
    EXPECT_EQ(Exchange(BinaryLine(QByteArray::fromHex("010505" "0102"))), BinaryLine(QByteArray::fromHex("810081")));
    EXPECT_EQ(mb.MBStatusString(), QStringLiteral("Slave Error: #129"));
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 0u);

    // Query mode travels in bit 6 of the address.
    EXPECT_EQ(Exchange(BinaryLine(QByteArray::fromHex("410005" "0102"))), BinaryLine(QByteArray::fromHex("810000")));
    EXPECT_EQ(handled, 1);
    EXPECT_TRUE(query);

    // Broadcast: executed, not answered.
    EXPECT_TRUE(Exchange(BinaryLine(QByteArray::fromHex("000005" "0102"))).isEmpty());
    EXPECT_EQ(handled, 2);
    EXPECT_FALSE(query);
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnReceivedCommand);

    // Dropped: another address, another slave's answer, short frame, bad CRC.
    QByteArray badCrc = BinaryLine(QByteArray::fromHex("010005" "0102"));
    badCrc[badCrc.size() - 2] = char(badCrc[badCrc.size() - 2] ^ 1);
    for (const QByteArray &frame : {BinaryLine(QByteArray::fromHex("020005" "0102")), BinaryLine(QByteArray::fromHex("810005" "0102")),
                                    BinaryLine(QByteArray::fromHex("0100")), badCrc}) {
        EXPECT_TRUE(Exchange(frame).isEmpty());
        EXPECT_EQ(mb.MBStatusNow(), TMB::stnWaitingForCommand);
    }
    EXPECT_EQ(handled, 2);

    // A start character in the middle of a request restarts collection there.
    const QByteArray good = BinaryLine(QByteArray::fromHex("010005" "0102"));
    EXPECT_EQ(Exchange(good.left(5) + good), BinaryLine(QByteArray::fromHex("810000")));
    EXPECT_EQ(handled, 3);
}

TEST_F(SlaveTest, BinaryDelayedAnswer)
{
    mb.setMBSlaveDelayTime(20);
    Open(TMB::modeSlave);
    EXPECT_TRUE(Exchange(BinaryLine(QByteArray::fromHex("010082"))).isEmpty());
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnSending);
    ASSERT_TRUE(Core(mb).StartTimer.Fire());
    EXPECT_EQ(link->Written(), BinaryLine(QByteArray::fromHex("810000" "01000000")));
}

// ---- diagnostic mode -------------------------------------------------------------------

TEST_F(SlaveTest, DiagnosticReportsQueriesAndAnswersAlike)
{
    Open(TMB::modeDiagnostic);
    std::vector<quint16> frames;
    quint16 word = 0;
    mb.OnMBDiagnosticReceivedAFrame = [&](quint16 n) {
        frames.push_back(n);
        word = mb.MBGetWord();
    };
    // A query to slave 7, an answer of slave 3, a frame with a bad CRC, then a short one.
    QByteArray bad = BinaryLine(QByteArray::fromHex("070101" "3412"));
    bad[3] = char(bad[3] ^ 0x01);
    Deliver(mb, BinaryLine(QByteArray::fromHex("070101" "3412")) + BinaryLine(QByteArray::fromHex("830900" "CDAB" "FF")));
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnReady);
    Deliver(mb, bad + BinaryLine(QByteArray::fromHex("07")));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], 2);
    EXPECT_EQ(frames[1], 3);
    EXPECT_EQ(word, 0xABCD);
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 2u);
    EXPECT_TRUE(link->writes.isEmpty()); // it only listens
}

// ---- byte mode -------------------------------------------------------------------------

TEST_F(SlaveTest, ByteModeWithHandlerReportsEachChunk)
{
    Open(TMB::modeByte);
    std::vector<QByteArray> chunks;
    mb.OnMBReceivedAByte = [&](quint16 n) {
        mb.setMBMBRXDataBufferIndex(1);
        QByteArray got;
        for (int i = 0; i < n; ++i)
            got.append(char(mb.MBGetByte()));
        chunks.push_back(got);
    };
    Deliver(mb, "abc");
    Deliver(mb, QByteArray("\x00\xFF", 2));
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0], QByteArray("abc"));
    EXPECT_EQ(chunks[1], QByteArray("\x00\xFF", 2));
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 5u);
    EXPECT_EQ(mb.MBNumberOfReceivedBytes(), 0);
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnReady);
}

TEST_F(SlaveTest, ByteModeWithoutHandlerAccumulatesUpToTheBufferSize)
{
    Open(TMB::modeByte);
    QByteArray first(5000, Qt::Uninitialized);
    for (int i = 0; i < first.size(); ++i)
        first[i] = char(i * 7);
    Deliver(mb, first);
    EXPECT_EQ(mb.MBReceivedDataNumber(), 5000);
    EXPECT_FALSE(mb.MBRxBufferFull());
    Deliver(mb, QByteArray(4000, 'x'));
    EXPECT_EQ(mb.MBReceivedDataNumber(), 8192);
    EXPECT_TRUE(mb.MBRxBufferFull());
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 9000u);
    // The payload area holds the first 8192 bytes in order; later bytes are lost.
    const auto &rx = Core(mb).m_RXDataBuffer;
    EXPECT_EQ(rx[3], quint8(first[0]));
    EXPECT_EQ(rx[3 + 4999], quint8(first[4999]));
    EXPECT_EQ(rx[3 + 5000], quint8('x'));
    EXPECT_EQ(rx[3 + 8191], quint8('x'));
    mb.setMBMBRXDataBufferIndex(2);
    EXPECT_EQ(mb.MBGetByte(), quint8(first[1]));
}

// ---- string mode -----------------------------------------------------------------------

TEST_F(SlaveTest, StringModeCollectsUpToTheStopByteAfterASend)
{
    mb.setMBStopByteInStringMode(13);
    Open(TMB::modeString);
    std::vector<QByteArray> strings;
    mb.OnMBReceivedAString = [&](const QByteArray &s) { strings.push_back(s); };

    Deliver(mb, "early\r"); // nothing was sent yet: ignored
    EXPECT_TRUE(strings.empty());

    mb.MBClearTxData();
    mb.MBPutByte('?');
    Core(mb).MBSendFrame();
    EXPECT_EQ(link->Written(), QByteArray("?"));
    Deliver(mb, "O");
    Deliver(mb, "K\rlate\r");
    ASSERT_EQ(strings.size(), 1u);
    EXPECT_EQ(strings[0], QByteArray("OK\r"));
    EXPECT_EQ(mb.MBReceivedDataNumber(), 3);
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 1u);
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnReady);

    // The next send arms reception again, from an empty buffer.
    Core(mb).MBSendFrame();
    Deliver(mb, QByteArray("A\0B\r", 4));
    ASSERT_EQ(strings.size(), 2u);
    EXPECT_EQ(strings[1], QByteArray("A\0B\r", 4));
}

} // namespace
