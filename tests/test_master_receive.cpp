// The master receivers: worked answers in both framings and every drop rule.
#include "FakeLink.h"
#include "Frames.h"
#include "MB.h"

#include <QLabel>

#include <gtest/gtest.h>

#include <vector>

namespace {

QByteArray AsciiAnswer(const QByteArray &bytes)
{
    return AsciiLine('S', bytes);
}

struct EndEvent {
    TMB::TMBStatus status;
    QString text;
};

class MasterReceive : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mb.SetManualTimers(true);
        link = UseFakeLink(mb);
        mb.OnMBMasterEndOfEvent = [this](TMB::TMBStatus s, const QString &t) { ends.push_back({s, t}); };
    }
    void Start(TMB::TMBMode mode, quint8 command, quint8 address = 1, quint8 id = 39)
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
    TMB mb;
    std::shared_ptr<FakeLinkState> link;
    std::vector<EndEvent> ends;
};

struct AsciiCase {
    const char *name;
    quint8 command;
    const char *line;
    TMB::TMBStatus status;
    const char *text;
    int payload;
};

class AsciiWorked : public MasterReceive, public ::testing::WithParamInterface<AsciiCase> {};

TEST_P(AsciiWorked, EndsWithTheDocumentedStatus)
{
    const AsciiCase c = GetParam();
    // whole, and split into single characters: the same result
    for (int split = 0; split < 2; ++split) {
        Start(TMB::modeASCIIMaster, c.command);
        const QByteArray line(c.line);
        if (split == 0) {
            Deliver(mb, line);
        } else {
            for (char ch : line)
                Deliver(mb, QByteArray(1, ch));
        }
        ASSERT_EQ(ends.size(), 1u) << c.name;
        EXPECT_EQ(ends[0].status, c.status) << c.name;
        EXPECT_EQ(ends[0].text.toStdString(), c.text) << c.name;
        EXPECT_EQ(mb.MBReceivedDataNumber(), c.payload) << c.name;
        EXPECT_FALSE(mb.MBBusy());
        EXPECT_EQ(mb.MBStatusNow(), TMB::stnReady);
        EXPECT_FALSE(Core(mb).AnswerTimer.Enabled());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, AsciiWorked,
    ::testing::Values(AsciiCase{"empty", 8, "S01270800B613;", TMB::stOK, "OK", 0},
                      AsciiCase{"word", 1, "S01270100102779EB;", TMB::stOK, "OK", 2},
                      AsciiCase{"unknown", 8, "S012708FE3793;", TMB::stSlaveError, "Unknown Command", 0},
                      AsciiCase{"foreign id", 8, "S012808008610;", TMB::stSlaveError, "ID Error", 0}),
    [](const auto &info) { return std::string(info.param.name) == "foreign id" ? "foreign_id" : info.param.name; });

TEST_F(MasterReceive, AsciiWordAnswerReadsBack)
{
    Start(TMB::modeASCIIMaster, 1);
    Deliver(mb, "S");
    Deliver(mb, "01");
    Deliver(mb, "270100102779EB;");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(mb.MBGetWord(), 10000);
    EXPECT_EQ(mb.RxIdLabel->text(), QStringLiteral("039"));
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 1u);
}

TEST_F(MasterReceive, AsciiDropsSilently)
{
    const std::vector<QByteArray> dropped = {
        "s01270800b613;",                   // lower case
        "S01270800b613;",                   // lower-case digits inside
        "S012708B613;",                     // too short (5 bytes)
        "S01270800B614;",                   // bad CRC
        "01270800B613;",                    // no start character
        "S01270800B6\r13;",                 // CR inside
        "S01270800B6M13;",                  // the other start character
    };
    for (const QByteArray &line : dropped) {
        Start(TMB::modeASCIIMaster, 8);
        Deliver(mb, line);
        EXPECT_TRUE(ends.empty()) << line.constData();
        EXPECT_TRUE(Core(mb).m_awaitingAnswer) << line.constData();
    }
    // another address: dropped at its second digit, remaining digits keep resetting
    Start(TMB::modeASCIIMaster, 8, 2);
    Deliver(mb, "S01270800B613;");
    EXPECT_TRUE(ends.empty());
    EXPECT_EQ(mb.MBNumberOfReceivedBytes(), 0);
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnWaitingForAnswer);
}

TEST_F(MasterReceive, AsciiOddDigitCountKeepsWholeBytesOnly)
{
    Start(TMB::modeASCIIMaster, 8);
    Deliver(mb, "S01270800B6135;"); // unpaired "5" before ";"
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, TMB::stOK);
}

TEST_F(MasterReceive, AsciiIdWildcardAndStatusBytes)
{
    Start(TMB::modeASCIIMaster, 8, 1, 0); // ID 0 accepts any ID
    Deliver(mb, AsciiAnswer(QByteArray::fromHex("01280800")));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, TMB::stOK);

    Start(TMB::modeASCIIMaster, 8);
    Deliver(mb, AsciiAnswer(QByteArray::fromHex("012708FD")));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, TMB::stOK); // 253 is not an error

    Start(TMB::modeASCIIMaster, 8);
    Deliver(mb, AsciiAnswer(QByteArray::fromHex("012708FF")));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].text, QStringLiteral("ID Error"));
}

TEST_F(MasterReceive, SecondStartCharacterRestartsCollection)
{
    Start(TMB::modeASCIIMaster, 8);
    Deliver(mb, "S0127S01270800B613;");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, TMB::stOK);

    mb.MBClosePort();
    Start(TMB::modeMaster, 0);
    const QByteArray good = BinaryLine(QByteArray::fromHex("812700"));
    Deliver(mb, good.left(6) + good);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, TMB::stOK);
}

// What an idle master drops leaves its state alone: it waits for nothing.
TEST_F(MasterReceive, DroppedInputLeavesAnIdleMasterAsItWas)
{
    Start(TMB::modeASCIIMaster, 8);
    Deliver(mb, "\r\n");
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnWaitingForAnswer);
    Deliver(mb, "S01270800B613;");
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnReady);
    Deliver(mb, "\r\n");
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnReady);

    for (TMB::TMBMode mode : {TMB::modeASCIIMaster, TMB::modeMaster}) {
        if (mb.MBPortOpen())
            mb.MBClosePort();
        Start(mode, 8);
        mb.setMBMasterMaxTryNumber(1);
        Core(mb).AnswerTimer.Fire();
        ASSERT_EQ(mb.MBStatusNow(), TMB::stnTimeOut);
        std::vector<TMB::TMBStatusNow> seen;
        mb.OnMBStatusNowChanged = [&](TMB::TMBStatusNow s, const QString &) { seen.push_back(s); };
        Deliver(mb, mode == TMB::modeMaster ? BinaryLine(QByteArray::fromHex("810800")) : QByteArray("S01270800B613;"));
        EXPECT_EQ(mb.MBStatusNow(), TMB::stnTimeOut) << mode;
        EXPECT_TRUE(seen.empty()) << mode;
        EXPECT_FALSE(mb.MBBusy());
        EXPECT_EQ(ends.size(), 1u);
        mb.OnMBStatusNowChanged = nullptr;
    }
}

// Answers that are not awaited must never be read as the answer of another request.
TEST_F(MasterReceive, NoAnswerIsAcceptedWhileNothingWaits)
{
    Start(TMB::modeASCIIMaster, 8);
    Deliver(mb, "S01270800B613;");
    ASSERT_EQ(ends.size(), 1u);
    Deliver(mb, ";"); // a stray terminator would re-accept the kept bytes
    EXPECT_EQ(ends.size(), 1u);
    Deliver(mb, "S01270800B613;"); // a duplicate answer
    EXPECT_EQ(ends.size(), 1u);

    // after the last time-out a late answer raises nothing
    Start(TMB::modeASCIIMaster, 8);
    mb.setMBMasterMaxTryNumber(1);
    Core(mb).AnswerTimer.Fire();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, TMB::stTimeOut);
    Deliver(mb, "S01270800B613;");
    EXPECT_EQ(ends.size(), 1u);
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 1u); // only the first accepted answer counted
}

TEST_F(MasterReceive, AnswerToAnotherCommandIsDropped)
{
    Start(TMB::modeASCIIMaster, 1);
    Deliver(mb, "S01270800B613;"); // the answer of command 8
    EXPECT_TRUE(ends.empty());
    EXPECT_TRUE(Core(mb).m_awaitingAnswer);
    Deliver(mb, "S01270100102779EB;");
    ASSERT_EQ(ends.size(), 1u);
}

TEST_F(MasterReceive, AnswerToAnEarlierTryStillCounts)
{
    Start(TMB::modeASCIIMaster, 1);
    Core(mb).AnswerTimer.Fire(); // try 2 goes out
    Deliver(mb, "S01270100102779EB;");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(mb.MBMasterTryNumber(), 2);
}

TEST_F(MasterReceive, BinaryWorkedAnswers)
{
    Start(TMB::modeMaster, 0);
    Deliver(mb, QByteArray::fromHex("01C8074200400A430861"));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, TMB::stOK);
    EXPECT_EQ(mb.MBReceivedDataNumber(), 0);
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 1u);

    Start(TMB::modeMaster, 0);
    Deliver(mb, QByteArray::fromHex("01C8074202480A4B0967"));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, TMB::stSlaveError);
    EXPECT_EQ(ends[0].text, QStringLiteral("Slave Error: #130"));
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 1u); // a rejected answer is not counted

    Start(TMB::modeMaster, 0);
    Deliver(mb, BinaryLine(QByteArray::fromHex("812780")));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].status, TMB::stOK); // 128 is not an error
    Start(TMB::modeMaster, 0);
    Deliver(mb, BinaryLine(QByteArray::fromHex("812781")));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].text, QStringLiteral("Slave Error: #129"));
}

TEST_F(MasterReceive, BinaryDropsQueriesOtherAddressesAndDamage)
{
    Start(TMB::modeMaster, 0);
    Deliver(mb, BinaryLine(QByteArray::fromHex("012700")));   // a query, not an answer
    Deliver(mb, BinaryLine(QByteArray::fromHex("822700")));   // another slave
    QByteArray bad = BinaryLine(QByteArray::fromHex("812700"));
    bad[4] = char(bad[4] ^ 0x01);                               // a damaged nibble
    Deliver(mb, bad);
    Deliver(mb, BinaryLine(QByteArray::fromHex("8127")).left(6) + QByteArray(1, char(0x61))); // too short
    EXPECT_TRUE(ends.empty());
    EXPECT_TRUE(Core(mb).m_awaitingAnswer);
    // split in every possible place gives the same acceptance
    const QByteArray good = BinaryLine(QByteArray::fromHex("812700AABB"));
    for (int cut = 1; cut < good.size(); ++cut) {
        Start(TMB::modeMaster, 0);
        Deliver(mb, good.left(cut));
        Deliver(mb, good.mid(cut));
        ASSERT_EQ(ends.size(), 1u) << cut;
        EXPECT_EQ(mb.MBReceivedDataNumber(), 2);
        EXPECT_EQ(mb.MBGetWord(), 0xBBAA);
    }
}

TEST_F(MasterReceive, ReceiveBufferHoldsAtMost8192Bytes)
{
    Start(TMB::modeASCIIMaster, 8);
    QByteArray line = "S0127";
    line += QByteArray(2 * 9000, 'A');
    Deliver(mb, line);
    EXPECT_EQ(mb.MBNumberOfReceivedBytes(), 8192);
    EXPECT_TRUE(mb.MBRxBufferFull());
    Deliver(mb, ";"); // checked on what was stored: fails, resets
    EXPECT_TRUE(ends.empty());
    EXPECT_FALSE(mb.MBRxBufferFull());
    EXPECT_EQ(mb.MBNumberOfReceivedBytes(), 0);

    // the largest answer that fits is accepted whole
    QByteArray bytes = QByteArray::fromHex("01270800");
    bytes += QByteArray(8192 - 6, char(0x5A));
    Deliver(mb, AsciiAnswer(bytes));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(mb.MBReceivedDataNumber(), 8186);
    EXPECT_TRUE(mb.MBRxBufferFull());
}

TEST_F(MasterReceive, EmptyChunkChangesNothing)
{
    Start(TMB::modeASCIIMaster, 8);
    const auto before = mb.MBStatusNow();
    DecodeRx(mb, QByteArray());
    EXPECT_EQ(mb.MBStatusNow(), before);
    EXPECT_TRUE(ends.empty());
}

} // namespace

namespace {

// A frame longer than the buffer loses its tail; even when what was kept
// happens to carry a matching CRC it must not be taken as an answer.
TEST_F(MasterReceive, OverflowedFrameIsNeverAccepted)
{
    Start(TMB::modeASCIIMaster, 8);
    // 8192 stored bytes whose last two are the CRC of the first 8190, then one byte more.
    QByteArray kept = QByteArray::fromHex("01270800") + QByteArray(8190 - 4, char(0x11));
    kept = WithCrc(kept);
    ASSERT_EQ(kept.size(), 8192);
    Deliver(mb, "S" + kept.toHex().toUpper() + "77;");
    EXPECT_TRUE(ends.empty());
    EXPECT_TRUE(Core(mb).m_awaitingAnswer);
    // the same bytes without the extra one are a good answer
    Deliver(mb, "S" + kept.toHex().toUpper() + ";");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(mb.MBReceivedDataNumber(), 8186);
}

} // namespace
