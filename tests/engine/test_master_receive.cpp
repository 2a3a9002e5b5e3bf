// The master receivers: worked answers in both framings and every drop rule.
#include "PlainFakeLink.h"
#include "PlainFrames.h"
#include "RecordingView.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace mbcore;
using frames::AsciiLine;
using frames::BinaryLine;
using frames::FromHex;

namespace {

std::string AsciiAnswer(const std::string &bytes)
{
    return AsciiLine('S', bytes);
}

struct MasterEnd {
    TMBStatus status;
    std::string text;
};

class MasterReceive : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mb.SetManualTimers(true);
        mb.SetView(&view);
        link = UseFakeLink(mb);
        mb.OnMBMasterEndOfEvent = [this](TMBStatus s, const std::string &t) { ends.push_back({s, t}); };
    }
    void TearDown() override { mb.SetView(nullptr); }
    void Start(TMBMode mode, uint8_t command, uint8_t address = 1, uint8_t id = 39)
    {
        if (!mb.MBPortOpen()) {
            mb.setMBMode(mode);
            mb.MBOpenPort();
        }
        mb.setMBMasterAddressToSlave(address);
        mb.setMBMasterIDToSlave(id);
        mb.setMBMasterCommandToSlave(command);
        mb.MBClearTxData();
        mb.MBMasterStart(0);
        ends.clear();
    }
    TMBEngine mb;
    TRecordingView view{mb};
    std::shared_ptr<PlainLinkState> link;
    std::vector<MasterEnd> ends;
};

struct AsciiCase {
    const char *name;
    uint8_t command;
    const char *line;
    TMBStatus status;
    const char *text;
    int payload;
};

class AsciiWorked : public MasterReceive, public ::testing::WithParamInterface<AsciiCase> {};

TEST_P(AsciiWorked, EndsWithTheDocumentedStatus)
{
    const AsciiCase c = GetParam();
    // whole, and split into single characters: the same result
    for (int split = 0; split < 2; ++split) {
        Start(modeASCIIMaster, c.command);
        const std::string line(c.line);
        if (split == 0) {
            Deliver(mb, line);
        } else {
            for (char ch : line)
                Deliver(mb, std::string(1, ch));
        }
        ASSERT_EQ(ends.size(), 1u) << c.name;
        EXPECT_EQ(ends[0].status, c.status) << c.name;
        EXPECT_EQ(ends[0].text, c.text) << c.name;
        EXPECT_EQ(mb.MBReceivedDataNumber(), c.payload) << c.name;
        EXPECT_FALSE(mb.MBBusy());
        EXPECT_EQ(mb.MBStatusNow(), stnReady);
        EXPECT_FALSE(Core(mb).AnswerTimer.Enabled());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, AsciiWorked,
    ::testing::Values(AsciiCase{"empty", 8, "S01270800B613;", stOK, "OK", 0},
                      AsciiCase{"word", 1, "S01270100102779EB;", stOK, "OK", 2},
                      AsciiCase{"unknown", 8, "S012708FE3793;", stSlaveError, "Unknown Command", 0},
                      AsciiCase{"foreign id", 8, "S012808008610;", stSlaveError, "ID Error", 0}),
    [](const auto &info) { return std::string(info.param.name) == "foreign id" ? "foreign_id" : info.param.name; });

TEST_F(MasterReceive, AsciiWordAnswerReadsBack)
{
    Start(modeASCIIMaster, 1);
    view.rxIds.clear();
    Deliver(mb, "S");
    Deliver(mb, "01");
    Deliver(mb, "270100102779EB;");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(mb.MBGetWord(), 10000);
    EXPECT_EQ(view.rxIds, std::vector<std::string>{"039"});
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 1u);
}

TEST_F(MasterReceive, AsciiDropsSilently)
{
    const std::vector<std::string> dropped = {
        "s01270800b613;",                   // lower case
        "S01270800b613;",                   // lower-case digits inside
        "S012708B613;",                     // too short (5 bytes)
        "S01270800B614;",                   // bad CRC
        "01270800B613;",                    // no start character
        "S01270800B6\r13;",                 // CR inside
        "S01270800B6M13;",                  // the other start character
    };
    for (const std::string &line : dropped) {
        Start(modeASCIIMaster, 8);
        Deliver(mb, line);
        EXPECT_TRUE(ends.empty()) << line;
        EXPECT_TRUE(Core(mb).m_awaitingAnswer) << line;
    }
    // another address: dropped at its second digit, remaining digits keep resetting
    Start(modeASCIIMaster, 8, 2);
    Deliver(mb, "S01270800B613;");
    EXPECT_TRUE(ends.empty());
    EXPECT_EQ(mb.MBNumberOfReceivedBytes(), 0);
    EXPECT_EQ(mb.MBStatusNow(), stnWaitingForAnswer);
}

TEST_F(MasterReceive, AsciiOddDigitCountKeepsWholeBytesOnly)
{
    Start(modeASCIIMaster, 8);
    Deliver(mb, "S01270800B6135;"); // unpaired "5" before ";"
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stOK);
}

TEST_F(MasterReceive, AsciiIdWildcardAndStatusBytes)
{
    Start(modeASCIIMaster, 8, 1, 0); // ID 0 accepts any ID
    Deliver(mb, AsciiAnswer(FromHex("01280800")));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stOK);

    Start(modeASCIIMaster, 8);
    Deliver(mb, AsciiAnswer(FromHex("012708FD")));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stOK); // 253 is not an error

    Start(modeASCIIMaster, 8);
    Deliver(mb, AsciiAnswer(FromHex("012708FF")));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].text, "ID Error");
}

TEST_F(MasterReceive, SecondStartCharacterRestartsCollection)
{
    Start(modeASCIIMaster, 8);
    Deliver(mb, "S0127S01270800B613;");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stOK);

    mb.MBClosePort();
    Start(modeMaster, 0);
    const std::string good = BinaryLine(FromHex("812700"));
    Deliver(mb, good.substr(0, 6) + good);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stOK);
}

// What an idle master drops leaves its state alone: it waits for nothing.
TEST_F(MasterReceive, DroppedInputLeavesAnIdleMasterAsItWas)
{
    Start(modeASCIIMaster, 8);
    Deliver(mb, "\r\n");
    EXPECT_EQ(mb.MBStatusNow(), stnWaitingForAnswer);
    Deliver(mb, "S01270800B613;");
    EXPECT_EQ(mb.MBStatusNow(), stnReady);
    Deliver(mb, "\r\n");
    EXPECT_EQ(mb.MBStatusNow(), stnReady);

    for (TMBMode mode : {modeASCIIMaster, modeMaster}) {
        if (mb.MBPortOpen())
            mb.MBClosePort();
        Start(mode, 8);
        mb.setMBMasterMaxTryNumber(1);
        Core(mb).AnswerTimer.Fire();
        ASSERT_EQ(mb.MBStatusNow(), stnTimeOut);
        std::vector<TMBStatusNow> seen;
        mb.OnMBStatusNowChanged = [&](TMBStatusNow s, const std::string &) { seen.push_back(s); };
        Deliver(mb, mode == modeMaster ? BinaryLine(FromHex("810800")) : std::string("S01270800B613;"));
        EXPECT_EQ(mb.MBStatusNow(), stnTimeOut) << mode;
        EXPECT_TRUE(seen.empty()) << mode;
        EXPECT_FALSE(mb.MBBusy());
        EXPECT_EQ(ends.size(), 1u);
        mb.OnMBStatusNowChanged = nullptr;
    }
}

// Answers that are not awaited must never be read as the answer of another request.
TEST_F(MasterReceive, NoAnswerIsAcceptedWhileNothingWaits)
{
    Start(modeASCIIMaster, 8);
    Deliver(mb, "S01270800B613;");
    ASSERT_EQ(ends.size(), 1u);
    Deliver(mb, ";"); // a stray terminator would re-accept the kept bytes
    EXPECT_EQ(ends.size(), 1u);
    Deliver(mb, "S01270800B613;"); // a duplicate answer
    EXPECT_EQ(ends.size(), 1u);

    // after the last time-out a late answer raises nothing
    Start(modeASCIIMaster, 8);
    mb.setMBMasterMaxTryNumber(1);
    Core(mb).AnswerTimer.Fire();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stTimeOut);
    Deliver(mb, "S01270800B613;");
    EXPECT_EQ(ends.size(), 1u);
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 1u); // only the first accepted answer counted
}

TEST_F(MasterReceive, AnswerToAnotherCommandIsDropped)
{
    Start(modeASCIIMaster, 1);
    Deliver(mb, "S01270800B613;"); // the answer of command 8
    EXPECT_TRUE(ends.empty());
    EXPECT_TRUE(Core(mb).m_awaitingAnswer);
    Deliver(mb, "S01270100102779EB;");
    ASSERT_EQ(ends.size(), 1u);
}

TEST_F(MasterReceive, AnswerToAnEarlierTryStillCounts)
{
    Start(modeASCIIMaster, 1);
    Core(mb).AnswerTimer.Fire(); // try 2 goes out
    Deliver(mb, "S01270100102779EB;");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(mb.MBMasterTryNumber(), 2);
}

TEST_F(MasterReceive, BinaryWorkedAnswers)
{
    Start(modeMaster, 0);
    Deliver(mb, FromHex("01C8074200400A430861"));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stOK);
    EXPECT_EQ(mb.MBReceivedDataNumber(), 0);
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 1u);

    Start(modeMaster, 0);
    Deliver(mb, FromHex("01C8074202480A4B0967"));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stSlaveError);
    EXPECT_EQ(ends[0].text, "Slave Error: #130");
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 1u); // a rejected answer is not counted

    Start(modeMaster, 0);
    Deliver(mb, BinaryLine(FromHex("812780")));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stOK); // 128 is not an error
    Start(modeMaster, 0);
    Deliver(mb, BinaryLine(FromHex("812781")));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].text, "Slave Error: #129");
}

TEST_F(MasterReceive, BinaryDropsQueriesOtherAddressesAndDamage)
{
    Start(modeMaster, 0);
    Deliver(mb, BinaryLine(FromHex("012700")));   // a query, not an answer
    Deliver(mb, BinaryLine(FromHex("822700")));   // another slave
    std::string bad = BinaryLine(FromHex("812700"));
    bad[4] = char(bad[4] ^ 0x01);                   // a damaged nibble
    Deliver(mb, bad);
    Deliver(mb, BinaryLine(FromHex("8127")).substr(0, 6) + std::string(1, char(0x61))); // too short
    EXPECT_TRUE(ends.empty());
    EXPECT_TRUE(Core(mb).m_awaitingAnswer);
    // split in every possible place gives the same acceptance
    const std::string good = BinaryLine(FromHex("812700AABB"));
    for (size_t cut = 1; cut < good.size(); ++cut) {
        Start(modeMaster, 0);
        Deliver(mb, good.substr(0, cut));
        Deliver(mb, good.substr(cut));
        ASSERT_EQ(ends.size(), 1u) << cut;
        EXPECT_EQ(mb.MBReceivedDataNumber(), 2);
        EXPECT_EQ(mb.MBGetWord(), 0xBBAA);
    }
}

TEST_F(MasterReceive, ReceiveBufferHoldsAtMost8192Bytes)
{
    Start(modeASCIIMaster, 8);
    std::string line = "S0127";
    line += std::string(2 * 9000, 'A');
    Deliver(mb, line);
    EXPECT_EQ(mb.MBNumberOfReceivedBytes(), 8192);
    EXPECT_TRUE(mb.MBRxBufferFull());
    Deliver(mb, ";"); // checked on what was stored: fails, resets
    EXPECT_TRUE(ends.empty());
    EXPECT_FALSE(mb.MBRxBufferFull());
    EXPECT_EQ(mb.MBNumberOfReceivedBytes(), 0);

    // the largest answer that fits is accepted whole
    std::string bytes = FromHex("01270800");
    bytes += std::string(8192 - 6, char(0x5A));
    Deliver(mb, AsciiAnswer(bytes));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(mb.MBReceivedDataNumber(), 8186);
    EXPECT_TRUE(mb.MBRxBufferFull());
}

TEST_F(MasterReceive, EmptyChunkChangesNothing)
{
    Start(modeASCIIMaster, 8);
    const auto before = mb.MBStatusNow();
    DecodeRx(mb, std::string());
    EXPECT_EQ(mb.MBStatusNow(), before);
    EXPECT_TRUE(ends.empty());
}

// A frame longer than the buffer loses its tail; even when what was kept
// happens to carry a matching CRC it must not be taken as an answer.
TEST_F(MasterReceive, OverflowedFrameIsNeverAccepted)
{
    Start(modeASCIIMaster, 8);
    // 8192 stored bytes whose last two are the CRC of the first 8190, then one byte more.
    std::string kept = FromHex("01270800") + std::string(8190 - 4, char(0x11));
    kept = frames::WithCrc(kept);
    ASSERT_EQ(kept.size(), 8192u);
    const std::string hex = std::string("S") + frames::Hex(kept); // not "S" + temporary: a false -Wrestrict at -O3
    Deliver(mb, hex + "77;");
    EXPECT_TRUE(ends.empty());
    EXPECT_TRUE(Core(mb).m_awaitingAnswer);
    // the same bytes without the extra one are a good answer
    Deliver(mb, hex + ";");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(mb.MBReceivedDataNumber(), 8186);
}

} // namespace

// The link is told how much of an answer is still to come, and never more than
// the answer needs, so that a link which waits for them reads its end when it
// has come: up to the header first (its code may end the frame), then up to
// the size of the last good answer to the same request.
TEST_F(MasterReceive, LinkHintsNeverReachPastTheAnswersEnd)
{
    const std::string answer = BinaryLine(FromHex("81270011223344")); // 9 bytes, 18 characters
    Start(modeMaster, 1);
    Deliver(mb, answer.substr(0, 1));
    Deliver(mb, answer.substr(1, 5));
    Deliver(mb, answer.substr(6));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(link->hints, std::vector<uint32_t>{5}) << "a first answer: the header only";

    link->hints.clear();
    Start(modeMaster, 1);
    Deliver(mb, answer.substr(0, 1));
    Deliver(mb, answer.substr(1, 5));
    Deliver(mb, answer.substr(6));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stOK);
    EXPECT_EQ(link->hints, (std::vector<uint32_t>{5, 12})) << "the same request again: its whole answer";

    link->hints.clear();
    Start(modeMaster, 1);
    Deliver(mb, answer.substr(0, 1));
    Deliver(mb, answer.substr(1, 2)); // fewer than hinted: the driver holds characters back
    Deliver(mb, answer.substr(3, 3));
    Deliver(mb, answer.substr(6));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(link->hints, std::vector<uint32_t>{5}) << "a hint the line did not keep: the rest as it comes";

    link->hints.clear();
    const std::string refused = BinaryLine(FromHex("812781")); // 10 characters
    Start(modeMaster, 1);
    Deliver(mb, refused.substr(0, 1));
    Deliver(mb, refused.substr(1, 5));
    Deliver(mb, refused.substr(6));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stSlaveError);
    EXPECT_EQ(link->hints, (std::vector<uint32_t>{5, 4})) << "an error code ends the frame early";

    link->hints.clear();
    Start(modeMaster, 2); // another command
    Deliver(mb, answer.substr(0, 6));
    Start(modeMaster, 1, 3); // another instrument
    Deliver(mb, BinaryLine(FromHex("83270011223344")).substr(0, 6));
    EXPECT_EQ(link->hints, std::vector<uint32_t>{}) << "nothing known of these requests' answers";

    mb.MBClosePort();
    const std::string line = "S01270100102779EB;"; // 8 bytes, 18 characters
    for (int round = 0; round < 2; ++round) {
        link->hints.clear();
        Start(modeASCIIMaster, 1);
        Deliver(mb, line.substr(0, 1));
        Deliver(mb, line.substr(1, 8));
        Deliver(mb, line.substr(9));
        ASSERT_EQ(ends.size(), 1u);
        EXPECT_EQ(link->hints, (round == 0 ? std::vector<uint32_t>{8} : std::vector<uint32_t>{8, 9})) << round;
    }
}

// The link may still hold characters back for its hint when the answer's
// time-out strikes: an answer that has fully come ends its transaction then;
// it is neither asked again nor timed out.
TEST_F(MasterReceive, AnAnswerHeldBackByTheLinkIsTakenBeforeATimeOut)
{
    const std::string answer = BinaryLine(FromHex("81270011223344"));
    Start(modeMaster, 1);
    Deliver(mb, answer); // learnt
    Start(modeMaster, 1);
    const std::size_t written = link->writes.size();
    Deliver(mb, answer.substr(0, 6));
    link->rx += answer.substr(6); // come, not announced yet
    Core(mb).AnswerTimer.Fire();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, stOK);
    EXPECT_EQ(link->writes.size(), written);

    // One whose end event starts the next transaction at once: that one waits on.
    Start(modeMaster, 1);
    mb.OnMBMasterEndOfEvent = [this](TMBStatus s, const std::string &t) {
        ends.push_back({s, t});
        mb.MBMasterStart(0);
    };
    Deliver(mb, answer.substr(0, 6));
    link->rx += answer.substr(6);
    Core(mb).AnswerTimer.Fire();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(mb.MBStatusNow(), stnWaitingForAnswer);
    EXPECT_EQ(mb.MBMasterTryNumber(), 1);

    // Part of an answer: asked again, as always.
    mb.OnMBMasterEndOfEvent = [this](TMBStatus s, const std::string &t) { ends.push_back({s, t}); };
    Start(modeMaster, 1);
    Deliver(mb, answer.substr(0, 6));
    link->rx += answer.substr(6, 4);
    Core(mb).AnswerTimer.Fire();
    EXPECT_TRUE(ends.empty());
    EXPECT_EQ(mb.MBMasterTryNumber(), 2);
}
