// The slave, diagnostic, byte and string modes, driven through the fake link.
#include "PlainFakeLink.h"
#include "PlainFrames.h"
#include "RecordingView.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace mbcore;
using frames::AsciiLine;
using frames::BinaryLine;
using frames::FromHex;

namespace {

std::string Byte(int b)
{
    return std::string(1, static_cast<char>(b));
}

class SlaveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mb.SetManualTimers(true);
        link = UseFakeLink(mb);
    }
    void Open(TMBMode mode)
    {
        mb.setMBMode(mode);
        mb.MBOpenPort();
        ASSERT_TRUE(mb.MBPortOpen());
        link->writes.clear();
    }
    std::string Exchange(const std::string &request)
    {
        link->writes.clear();
        Deliver(mb, request);
        return link->Written();
    }
    void OpenAsciiInstrument()
    {
        mb.setMBSlaveOwnAddress(1);
        mb.setMBSlaveID(39);
        Open(modeASCIISlave);
    }

    TMBEngine mb;
    std::shared_ptr<PlainLinkState> link;
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
        TMBEngine slave;
        slave.SetManualTimers(true);
        auto state = UseFakeLink(slave);
        slave.setMBSlaveOwnAddress(1);
        slave.setMBSlaveID(39);
        slave.setMBMode(modeASCIISlave);
        slave.MBOpenPort();
        state->writes.clear();
        Deliver(slave, row.request);
        EXPECT_EQ(state->Written(), row.answer) << row.request;
        EXPECT_EQ(slave.MBStatusString(), row.status) << row.request;
        EXPECT_EQ(slave.MBStatusNow(), stnWaitingForCommand) << row.request;
        EXPECT_EQ(slave.MBNumberOfTxFrames(), 1u) << row.request;
    }
}

TEST_F(SlaveTest, AsciiRequestSplitAnywhereGivesTheSameAnswer)
{
    OpenAsciiInstrument();
    const std::string request("M0127FA00F373;");
    for (size_t cut = 1; cut < request.size(); ++cut) {
        link->writes.clear();
        Deliver(mb, request.substr(0, cut));
        EXPECT_TRUE(link->writes.empty());
        Deliver(mb, request.substr(cut));
        EXPECT_EQ(link->Written(), "S0127FA00E0070A0B03F9;") << cut;
    }
    // Two requests in one chunk, with noise in between, give two answers.
    const std::string two = request + "\r\n0A S01;" + request;
    EXPECT_EQ(Exchange(two), "S0127FA00E0070A0B03F9;S0127FA00E0070A0B03F9;");
}

TEST_F(SlaveTest, AsciiFrameCounterCountsTheCurrentRequestAndClearsOnOption1)
{
    OpenAsciiInstrument();
    Exchange("M0127FA00F373;");
    Exchange("M0127FA00F373;");
    // Third request, no payload: the count includes it.
    EXPECT_EQ(Exchange(AsciiLine('M', FromHex("0127FD00"))), AsciiLine('S', FromHex("0127FD00" "03000000")));
    EXPECT_EQ(Exchange(AsciiLine('M', FromHex("0127FD00" "01"))), AsciiLine('S', FromHex("0127FD00" "00000000")));
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 0u);
}

TEST_F(SlaveTest, AsciiDropsWhatIsNotARequestForIt)
{
    OpenAsciiInstrument();
    int handled = 0;
    mb.OnMBSlaveReceivedCommand = [&](uint8_t, bool, uint16_t) { ++handled; };
    const std::vector<std::string> dropped = {
        AsciiLine('M', FromHex("02270100")), // another address
        AsciiLine('S', FromHex("01270100")), // an answer, not a request
        "M0127fa00f373;",                    // lower-case digits
        "M0127F1B3;",                        // too short
        "M0127FA00F374;",                    // bad CRC
        "M0127FA00\rF373;",                  // CR inside
    };
    for (const std::string &frame : dropped) {
        EXPECT_TRUE(Exchange(frame).empty()) << frame;
        EXPECT_EQ(mb.MBStatusNow(), stnWaitingForCommand) << frame;
    }
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 0u);
    // Digits outside a frame are ignored and do not spoil the next request.
    EXPECT_EQ(Exchange("0123456789ABCDEF" "M0127FA00F373;"), "S0127FA00E0070A0B03F9;");
}

TEST_F(SlaveTest, AsciiAddressRulesWithBroadcastAndNibbleZero)
{
    struct Row {
        uint8_t own;
        uint8_t to;
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
        TMBEngine slave;
        slave.SetManualTimers(true);
        auto state = UseFakeLink(slave);
        slave.setMBSlaveOwnAddress(row.own);
        slave.setMBMode(modeASCIISlave);
        slave.MBOpenPort();
        state->writes.clear();
        int handled = 0;
        slave.OnMBSlaveReceivedCommand = [&](uint8_t command, bool, uint16_t) {
            EXPECT_EQ(command, 42);
            ++handled;
        };
        const std::string header = Byte(row.to) + FromHex("002A00");
        Deliver(slave, AsciiLine('M', header));
        EXPECT_EQ(handled, row.executed ? 1 : 0) << int(row.own) << "/" << int(row.to);
        EXPECT_EQ(!state->writes.empty(), row.answered) << int(row.own) << "/" << int(row.to);
        if (row.executed && !row.answered) {
            EXPECT_EQ(slave.MBStatusNow(), stnReceivedCommand);
        }
    }
}

TEST_F(SlaveTest, AsciiSecondTerminatorDoesNotRunABroadcastAgain)
{
    OpenAsciiInstrument();
    int handled = 0;
    mb.OnMBSlaveReceivedCommand = [&](uint8_t, bool, uint16_t) { ++handled; };
    Exchange(AsciiLine('M', FromHex("00270600")) + ";;");
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 1u);
}

TEST_F(SlaveTest, AsciiIdRules)
{
    struct Row {
        uint8_t slaveId;
        uint8_t requestId;
        bool accepted;
    };
    for (const Row row : {Row{39, 39, true}, Row{39, 0, true}, Row{0, 0, true}, Row{0, 5, false}, Row{39, 40, false}}) {
        TMBEngine slave;
        TRecordingView view(slave);
        slave.SetView(&view);
        slave.SetManualTimers(true);
        auto state = UseFakeLink(slave);
        slave.setMBSlaveID(row.slaveId);
        slave.setMBMode(modeASCIISlave);
        slave.MBOpenPort();
        state->writes.clear();
        bool handled = false;
        slave.OnMBSlaveReceivedCommand = [&](uint8_t, bool, uint16_t) { handled = true; };
        Deliver(slave, AsciiLine('M', FromHex("01") + Byte(row.requestId) + FromHex("0700")));
        const std::string expected =
            AsciiLine('S', FromHex("01") + Byte(row.slaveId) + Byte(7) + Byte(row.accepted ? 0 : 255));
        EXPECT_EQ(state->Written(), expected) << int(row.slaveId) << "/" << int(row.requestId);
        EXPECT_EQ(handled, row.accepted);
        EXPECT_EQ(slave.MBStatusString(), row.accepted ? "OK" : "ID Error");
        EXPECT_EQ(slave.MBNumberOfRxFrames(), row.accepted ? 1u : 0u);
        char id[4];
        std::snprintf(id, sizeof id, "%03d", row.requestId);
        ASSERT_FALSE(view.rxIds.empty());
        EXPECT_EQ(view.rxIds.back(), id);
        slave.SetView(nullptr);
    }
}

TEST_F(SlaveTest, AsciiHandlerReadsTheRequestAndBuildsTheAnswer)
{
    mb.setMBSlaveOwnAddress(0x41); // bit 6 of the address is the query-mode flag
    Open(modeASCIISlave);
    uint8_t seenCommand = 0;
    bool seenQuery = false;
    uint16_t seenCount = 0;
    mb.OnMBSlaveReceivedCommand = [&](uint8_t command, bool queryMode, uint16_t count) {
        seenCommand = command;
        seenQuery = queryMode;
        seenCount = count;
        EXPECT_EQ(mb.MBMBRXDataBufferIndex(), 1);
        EXPECT_EQ(mb.MBDataNumberToSend(), 0); // the answer starts empty
        const uint8_t flag = mb.MBGetByte();
        const uint16_t value = mb.MBGetWord();
        EXPECT_EQ(mb.MBGetByte(), 0); // past the request: 0
        mb.MBPutSmallInt(-2);
        mb.MBPutWord(static_cast<uint16_t>(value + flag));
    };
    const std::string answer = Exchange(AsciiLine('M', FromHex("41000100" "01A00F")));
    EXPECT_EQ(seenCommand, 1);
    EXPECT_TRUE(seenQuery);
    EXPECT_EQ(seenCount, 3);
    EXPECT_EQ(answer, AsciiLine('S', FromHex("41000100" "FEFF" "A10F")));

    // The handler reports an unknown command with 254.
    mb.OnMBSlaveReceivedCommand = [&](uint8_t, bool, uint16_t) { mb.setMBSlaveErrorCode(254); };
    EXPECT_EQ(Exchange(AsciiLine('M', FromHex("41006300"))), AsciiLine('S', FromHex("410063FE")));
    EXPECT_EQ(mb.MBStatus(), stSlaveError);
    EXPECT_EQ(mb.MBStatusString(), "Unknown Command");
    // The next request starts again from error code 0.
    mb.OnMBSlaveReceivedCommand = nullptr;
    EXPECT_EQ(Exchange(AsciiLine('M', FromHex("41006300"))), AsciiLine('S', FromHex("41006300")));
    EXPECT_EQ(mb.MBStatusString(), "OK");
}

TEST_F(SlaveTest, AsciiNameAndIdentifyFollowTheProperties)
{
    mb.setMBSlaveName("Nyom\xC3\xA1s"); // UTF-8
    OpenAsciiInstrument();
    // The name goes out in the single-byte code page, with its terminating zero.
    EXPECT_EQ(Exchange(AsciiLine('M', FromHex("0127FE00"))),
              AsciiLine('S', FromHex("0127FE00") + std::string("Nyom\xE1s", 6) + '\0'));
    mb.setMBSlaveName(std::string());
    EXPECT_EQ(Exchange(AsciiLine('M', FromHex("0127FE00"))), AsciiLine('S', FromHex("0127FE00" "00")));
    // Command 255 does nothing and answers empty.
    EXPECT_EQ(Exchange(AsciiLine('M', FromHex("0127FF00"))), AsciiLine('S', FromHex("0127FF00")));
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
    EXPECT_EQ(mb.MBStatusNow(), stnTimeOut);
    EXPECT_EQ(mb.MBStatusString(), "Time Out");
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
    EXPECT_TRUE(Exchange("M0127FA00F373;").empty());
    EXPECT_TRUE(Core(mb).StartTimer.Enabled());
    EXPECT_EQ(Core(mb).StartTimer.Interval(), 50);
    EXPECT_EQ(mb.MBStatusNow(), stnSending);

    // A second request while the first answer waits restarts the delay.
    EXPECT_TRUE(Exchange("M0127FE00F1B3;").empty());
    link->writes.clear();
    ASSERT_TRUE(Core(mb).StartTimer.Fire());
    EXPECT_EQ(link->Written(), "S0127FE004D4220536C61766500C691;");
    EXPECT_FALSE(Core(mb).StartTimer.Enabled());
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 1u);
    EXPECT_EQ(mb.MBStatusNow(), stnWaitingForCommand);
}

TEST_F(SlaveTest, PendingAnswerIsDroppedWhenThePortClosed)
{
    mb.setMBSlaveDelayTime(50);
    OpenAsciiInstrument();
    Exchange("M0127FA00F373;");
    mb.MBClosePort();
    link->writes.clear();
    Core(mb).StartTimer.Fire();
    EXPECT_TRUE(link->writes.empty());
    EXPECT_EQ(mb.MBStatusNow(), stnPortError);
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 0u);
}

TEST_F(SlaveTest, RefusedAnswerKeepsThePortErrorVisible)
{
    OpenAsciiInstrument();
    link->failWrites = true;
    Deliver(mb, "M0127FA00F373;");
    EXPECT_EQ(mb.MBStatusNow(), stnPortError);
    EXPECT_EQ(mb.MBStatus(), stClosedPort);
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 0u);
}

// ---- binary slave ----------------------------------------------------------------------

TEST_F(SlaveTest, BinaryIdentifyAnswersTheDateTwiceAndTheName)
{
    mb.setMBSlaveOwnAddress(17); // only the low nibble counts
    mb.setMBSlaveID(3);
    Open(modeSlave);
    const std::string answer = Exchange(BinaryLine(FromHex("010381")));
    const std::string payload = FromHex("E0070A0B" "E0070A0B") + std::string("MB Slave") + '\0';
    EXPECT_EQ(answer, BinaryLine(FromHex("810300") + payload));
    EXPECT_EQ(mb.MBStatusString(), "OK");
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 1u);
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 1u);
    EXPECT_EQ(mb.MBStatusNow(), stnWaitingForCommand);
}

TEST_F(SlaveTest, BinaryFrameCounter)
{
    Open(modeSlave);
    struct Row {
        std::string payload;
        uint32_t answered;
        uint32_t counterAfter;
    };
    const std::vector<Row> rows = {
        {std::string(), 1, 1},
        {FromHex("00"), 2, 2},
        {FromHex("01"), 0, 0},
        {FromHex("02"), 1, 1},
    };
    for (const Row &row : rows) {
        const std::string answer = Exchange(BinaryLine(FromHex("010082") + row.payload));
        std::string count;
        for (int k = 0; k < 4; ++k)
            count += Byte(int((row.answered >> (8 * k)) & 0xFF)); // little-endian
        EXPECT_EQ(answer, BinaryLine(FromHex("810000") + count)) << frames::Hex(row.payload);
        EXPECT_EQ(mb.MBNumberOfRxFrames(), row.counterAfter);
    }
}

TEST_F(SlaveTest, BinaryErrorsAndForeignFrames)
{
    Open(modeSlave);
    int handled = 0;
    bool query = false;
    mb.OnMBSlaveReceivedCommand = [&](uint8_t command, bool queryMode, uint16_t count) {
        EXPECT_EQ(command, 5);
        EXPECT_EQ(count, 2);
        query = queryMode;
        ++handled;
    };

    // Unknown command: error 130, not counted.
    EXPECT_EQ(Exchange(BinaryLine(FromHex("010083"))), BinaryLine(FromHex("810082")));
    EXPECT_EQ(mb.MBStatusString(), "Slave Error: #130");
    // Foreign ID against a slave of ID 0: error 129.
    EXPECT_EQ(Exchange(BinaryLine(FromHex("010505" "0102"))), BinaryLine(FromHex("810081")));
    EXPECT_EQ(mb.MBStatusString(), "Slave Error: #129");
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 0u);

    // Query mode travels in bit 6 of the address.
    EXPECT_EQ(Exchange(BinaryLine(FromHex("410005" "0102"))), BinaryLine(FromHex("810000")));
    EXPECT_EQ(handled, 1);
    EXPECT_TRUE(query);

    // Broadcast: executed, not answered.
    EXPECT_TRUE(Exchange(BinaryLine(FromHex("000005" "0102"))).empty());
    EXPECT_EQ(handled, 2);
    EXPECT_FALSE(query);
    EXPECT_EQ(mb.MBStatusNow(), stnReceivedCommand);

    // Dropped: another address, another slave's answer, short frame, bad CRC.
    std::string badCrc = BinaryLine(FromHex("010005" "0102"));
    badCrc[badCrc.size() - 2] = char(badCrc[badCrc.size() - 2] ^ 1);
    for (const std::string &frame : {BinaryLine(FromHex("020005" "0102")), BinaryLine(FromHex("810005" "0102")),
                                      BinaryLine(FromHex("0100")), badCrc}) {
        EXPECT_TRUE(Exchange(frame).empty());
        EXPECT_EQ(mb.MBStatusNow(), stnWaitingForCommand);
    }
    EXPECT_EQ(handled, 2);

    // A start character in the middle of a request restarts collection there.
    const std::string good = BinaryLine(FromHex("010005" "0102"));
    EXPECT_EQ(Exchange(good.substr(0, 5) + good), BinaryLine(FromHex("810000")));
    EXPECT_EQ(handled, 3);
}

TEST_F(SlaveTest, BinaryDelayedAnswer)
{
    mb.setMBSlaveDelayTime(20);
    Open(modeSlave);
    EXPECT_TRUE(Exchange(BinaryLine(FromHex("010082"))).empty());
    EXPECT_EQ(mb.MBStatusNow(), stnSending);
    ASSERT_TRUE(Core(mb).StartTimer.Fire());
    EXPECT_EQ(link->Written(), BinaryLine(FromHex("810000" "01000000")));
}

// ---- diagnostic mode -------------------------------------------------------------------

TEST_F(SlaveTest, DiagnosticReportsQueriesAndAnswersAlike)
{
    Open(modeDiagnostic);
    std::vector<uint16_t> heard;
    uint16_t word = 0;
    mb.OnMBDiagnosticReceivedAFrame = [&](uint16_t n) {
        heard.push_back(n);
        word = mb.MBGetWord();
    };
    // A query to slave 7, an answer of slave 3, a frame with a bad CRC, then a short one.
    std::string bad = BinaryLine(FromHex("070101" "3412"));
    bad[3] = char(bad[3] ^ 0x01);
    Deliver(mb, BinaryLine(FromHex("070101" "3412")) + BinaryLine(FromHex("830900" "CDAB" "FF")));
    EXPECT_EQ(mb.MBStatusNow(), stnReady);
    Deliver(mb, bad + BinaryLine(FromHex("07")));
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0], 2);
    EXPECT_EQ(heard[1], 3);
    EXPECT_EQ(word, 0xABCD);
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 2u);
    EXPECT_TRUE(link->writes.empty()); // it only listens
}

// ---- byte mode -------------------------------------------------------------------------

TEST_F(SlaveTest, ByteModeWithHandlerReportsEachChunk)
{
    Open(modeByte);
    std::vector<std::string> chunks;
    mb.OnMBReceivedAByte = [&](uint16_t n) {
        mb.setMBMBRXDataBufferIndex(1);
        std::string got;
        for (int i = 0; i < n; ++i)
            got += char(mb.MBGetByte());
        chunks.push_back(got);
    };
    Deliver(mb, "abc");
    Deliver(mb, std::string("\x00\xFF", 2));
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0], "abc");
    EXPECT_EQ(chunks[1], std::string("\x00\xFF", 2));
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 5u);
    EXPECT_EQ(mb.MBNumberOfReceivedBytes(), 0);
    EXPECT_EQ(mb.MBStatusNow(), stnReady);
}

TEST_F(SlaveTest, ByteModeWithoutHandlerAccumulatesUpToTheBufferSize)
{
    Open(modeByte);
    std::string first(5000, '\0');
    for (size_t i = 0; i < first.size(); ++i)
        first[i] = char(i * 7);
    Deliver(mb, first);
    EXPECT_EQ(mb.MBReceivedDataNumber(), 5000);
    EXPECT_FALSE(mb.MBRxBufferFull());
    Deliver(mb, std::string(4000, 'x'));
    EXPECT_EQ(mb.MBReceivedDataNumber(), 8192);
    EXPECT_TRUE(mb.MBRxBufferFull());
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 9000u);
    // The payload area holds the first 8192 bytes in order; later bytes are lost.
    const auto &rx = mb.RXDataBuffer();
    EXPECT_EQ(rx[3], uint8_t(first[0]));
    EXPECT_EQ(rx[3 + 4999], uint8_t(first[4999]));
    EXPECT_EQ(rx[3 + 5000], uint8_t('x'));
    EXPECT_EQ(rx[3 + 8191], uint8_t('x'));
    mb.setMBMBRXDataBufferIndex(2);
    EXPECT_EQ(mb.MBGetByte(), uint8_t(first[1]));
}

// ---- string mode -----------------------------------------------------------------------

TEST_F(SlaveTest, StringModeCollectsUpToTheStopByteAfterASend)
{
    mb.setMBStopByteInStringMode(13);
    Open(modeString);
    std::vector<std::string> strings;
    mb.OnMBReceivedAString = [&](const std::string &s) { strings.push_back(s); };

    Deliver(mb, "early\r"); // nothing was sent yet: ignored
    EXPECT_TRUE(strings.empty());

    mb.MBClearTxData();
    mb.MBPutByte('?');
    Core(mb).MBSendFrame();
    EXPECT_EQ(link->Written(), "?");
    Deliver(mb, "O");
    Deliver(mb, "K\rlate\r");
    ASSERT_EQ(strings.size(), 1u);
    EXPECT_EQ(strings[0], "OK\r");
    EXPECT_EQ(mb.MBReceivedDataNumber(), 3);
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 1u);
    EXPECT_EQ(mb.MBStatusNow(), stnReady);

    // The next send arms reception again, from an empty buffer.
    Core(mb).MBSendFrame();
    Deliver(mb, std::string("A\0B\r", 4));
    ASSERT_EQ(strings.size(), 2u);
    EXPECT_EQ(strings[1], std::string("A\0B\r", 4));
}

} // namespace
