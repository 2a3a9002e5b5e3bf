// TMB as the Qt face of the engine: its meta-object, title and size, status
// colours, the labels it draws from what the engine shows, and the events
// whose parameters change type on the way (QString, QByteArray).
#include "FakeLink.h"
#include "Frames.h"
#include "MB.h"

#include <QLabel>
#include <QMetaEnum>
#include <QMetaProperty>

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Face, DefaultsAtConstruction)
{
    TMB mb;
    EXPECT_EQ(mb.Port(), QStringLiteral("ttyS0"));
    EXPECT_EQ(mb.MBSlaveName(), QStringLiteral("MB Slave"));
    EXPECT_EQ(mb.MBStatusString(), QStringLiteral("OK"));
    EXPECT_EQ(mb.MBStatusNowString(), QStringLiteral("Port Error"));
    EXPECT_EQ(mb.MBMode(), TMB::modeASCIIMaster);
    EXPECT_EQ(mb.MBBaud(), TMB::baud115200);
    EXPECT_EQ(mb.title(), QStringLiteral("ASCII Master v2016.10.11."));
    EXPECT_EQ(mb.size(), QSize(157, 145));
    EXPECT_EQ(mb.minimumSize(), mb.maximumSize());
    // text properties pass UTF-8 through both ways
    mb.setMBSlaveName(QStringLiteral("Nyomás"));
    EXPECT_EQ(mb.MBSlaveName(), QStringLiteral("Nyomás"));
}

TEST(Face, EnumerationsInDeclaredOrderAndVisibleToTheMetaSystem)
{
    const QMetaObject &mo = TMB::staticMetaObject;
    const QMetaEnum modes = mo.enumerator(mo.indexOfEnumerator("TMBMode"));
    ASSERT_TRUE(modes.isValid());
    EXPECT_EQ(modes.keyToValue("modeString"), 6);
    const QMetaEnum baud = mo.enumerator(mo.indexOfEnumerator("TMBBaud"));
    EXPECT_EQ(baud.keyCount(), 21);
    EXPECT_EQ(baud.keyToValue("baud004800"), 9);
    EXPECT_EQ(TMB::BaudRateOf(TMB::baud004800), 4800u);
    // A stored window description sets properties by name.
    TMB mb;
    EXPECT_TRUE(mb.setProperty("MBBaud", QVariant::fromValue(TMB::baud004800)));
    EXPECT_EQ(mb.MBBaud(), TMB::baud004800);
    EXPECT_TRUE(mb.setProperty("MBMasterIDToSlave", 39));
    EXPECT_EQ(mb.MBMasterIDToSlave(), 39);
    // Read-only properties stay read-only.
    const QMetaProperty busy = mo.property(mo.indexOfProperty("MBBusy"));
    EXPECT_FALSE(busy.isWritable());
}

TEST(Face, StatusColours)
{
    TMB mb;
    SetMBStatus(mb, TMB::stSlaveError, 7);
    EXPECT_EQ(mb.MBStatusString(), QStringLiteral("Slave Error: #7"));
    EXPECT_EQ(TMB::StatusColor(mb.MBStatus()), QColor(249, 124, 0));
    EXPECT_EQ(TMB::StatusColor(TMB::stTimeOut), QColor(255, 0, 0));
    EXPECT_EQ(TMB::StatusColor(TMB::stClosedPort), TMB::FaceColor());
}

TEST(Face, TitleFollowsTheMode)
{
    TMB mb;
    mb.setMBMode(TMB::modeASCIISlave);
    EXPECT_EQ(mb.title(), QStringLiteral("ASCII Slave v2016.10.11."));
    mb.setMBMode(TMB::modeByte);
    EXPECT_EQ(mb.title(), QStringLiteral("Byte Mode v2016.10.11."));
    EXPECT_EQ(CounterUnit(mb), QStringLiteral(" B"));
    EXPECT_EQ(SpeedUnit(mb), QStringLiteral(" Bytes / sec"));
    mb.setMBMode(TMB::modeMaster);
    EXPECT_EQ(mb.title(), QStringLiteral("Master v2016.10.11."));
}

class FaceOnLine : public ::testing::Test
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
        mb.setMBBaud(TMB::baud004800);
        mb.MBOpenPort();
        ASSERT_TRUE(mb.MBPortOpen());
        link->writes.clear();
    }
    void StartPoll()
    {
        mb.setMBMasterIDToSlave(39);
        mb.setMBMasterCommandToSlave(1);
        mb.MBClearTxData();
        mb.MBPutByte(1);
        mb.MBPutWord(4000);
        mb.MBMasterStart(0);
    }
    TMB mb;
    std::shared_ptr<FakeLinkState> link;
};

TEST_F(FaceOnLine, MasterEventsCarryTheirTextsAndTheLabelsFollow)
{
    std::vector<std::pair<TMB::TMBStatus, QString>> ends;
    std::vector<QString> now;
    mb.OnMBMasterEndOfEvent = [&](TMB::TMBStatus s, const QString &t) { ends.push_back({s, t}); };
    mb.OnMBStatusNowChanged = [&](TMB::TMBStatusNow s, const QString &t) {
        EXPECT_EQ(t, TMB::StatusNowText(s));
        now.push_back(t);
    };
    Open(TMB::modeASCIIMaster);
    now.clear();
    StartPoll();
    EXPECT_EQ(now, (std::vector<QString>{QStringLiteral("Sending"), QStringLiteral("Waiting For Answer")}));
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(Core(mb).AnswerTimer.Fire());
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].first, TMB::stTimeOut);
    EXPECT_EQ(ends[0].second, QStringLiteral("Time Out"));
    EXPECT_EQ(mb.RxIdLabel->text(), QStringLiteral("---"));
    EXPECT_EQ(mb.TryLabel->text(), QStringLiteral("5/5"));

}

// an answer in the third try; the next query shows the highest try seen
TEST_F(FaceOnLine, TryLabelShowsTheHighestTrySeen)
{
    std::vector<std::pair<TMB::TMBStatus, QString>> ends;
    mb.OnMBMasterEndOfEvent = [&](TMB::TMBStatus s, const QString &t) { ends.push_back({s, t}); };
    Open(TMB::modeASCIIMaster);
    StartPoll();
    Core(mb).AnswerTimer.Fire();
    Core(mb).AnswerTimer.Fire();
    Deliver(mb, "S01270100102779EB;");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].second, QStringLiteral("OK"));
    EXPECT_EQ(mb.RxIdLabel->text(), QStringLiteral("039"));
    StartPoll();
    EXPECT_EQ(mb.TryLabel->text(), QStringLiteral("1/3"));
}

TEST_F(FaceOnLine, SentFramesShowTheirIdAndLength)
{
    Open(TMB::modeASCIIMaster);
    mb.setMBMasterIDToSlave(39);
    mb.setMBMasterCommandToSlave(1);
    mb.MBClearTxData();
    mb.MBPutByte(1);
    mb.MBPutWord(4000);
    Core(mb).MBSendFrame();
    EXPECT_EQ(mb.TxIdLabel->text(), QStringLiteral("039"));
    EXPECT_EQ(mb.TxCountLabel->text(), QStringLiteral("3"));
    mb.MBClearTxData();
    mb.setMBDataNumberToSend(8187);
    Core(mb).MBSendFrame();
    EXPECT_EQ(mb.TxCountLabel->text(), QStringLiteral(">1k"));

    mb.MBClosePort();
    Open(TMB::modeByte);
    mb.MBClearTxData();
    for (int i = 0; i < 10; ++i)
        mb.MBPutByte(static_cast<quint8>(i));
    Core(mb).MBSendFrame();
    EXPECT_EQ(mb.TxCountLabel->text(), QStringLiteral("10"));
}

TEST_F(FaceOnLine, SlaveShowsTheRequestId)
{
    mb.setMBSlaveID(39);
    Open(TMB::modeASCIISlave);
    Deliver(mb, AsciiLine('M', QByteArray::fromHex("01050700")));
    EXPECT_EQ(mb.RxIdLabel->text(), QStringLiteral("005"));
    EXPECT_EQ(mb.MBStatusString(), QStringLiteral("ID Error"));
}

TEST_F(FaceOnLine, ReceivedStringArrivesAsBytes)
{
    mb.setMBStopByteInStringMode(13);
    Open(TMB::modeString);
    std::vector<QByteArray> strings;
    mb.OnMBReceivedAString = [&](const QByteArray &s) { strings.push_back(s); };
    mb.MBClearTxData();
    mb.MBPutByte('?');
    Core(mb).MBSendFrame();
    Deliver(mb, QByteArray("A\0\xE1\r", 4));
    ASSERT_EQ(strings.size(), 1u);
    EXPECT_EQ(strings[0], QByteArray("A\0\xE1\r", 4));
}

} // namespace
