// The frame codec: CRC and the exact characters on the line for every mode.
#include "FakeLink.h"
#include "MB.h"

#include <QLabel>

#include <gtest/gtest.h>


namespace {

quint16 BitwiseCrc(const QByteArray &bytes)
{
    quint16 r = 0xFFFF;
    for (char ch : bytes) {
        r ^= static_cast<quint8>(ch);
        for (int k = 0; k < 8; ++k)
            r = (r & 1) ? static_cast<quint16>((r >> 1) ^ 0xA001) : static_cast<quint16>(r >> 1);
    }
    return r;
}

quint16 Crc(const QByteArray &bytes)
{
    return TMB::MBCrc16(reinterpret_cast<const quint8 *>(bytes.constData()), bytes.size());
}

class FrameTest : public ::testing::Test
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
    void PollPayload()
    {
        mb.MBClearTxData();
        mb.MBPutByte(1);
        mb.MBPutWord(4000);
    }
    TMB mb;
    std::shared_ptr<FakeLinkState> link;
};

TEST_F(FrameTest, AsciiQueryOfTheWorkedExample)
{
    Open(TMB::modeASCIIMaster);
    mb.setMBMasterAddressToSlave(1);
    mb.setMBMasterIDToSlave(39);
    mb.setMBMasterCommandToSlave(1);
    PollPayload();
    Core(mb).MBSendFrame();
    EXPECT_EQ(link->Written(), QByteArray("M0127010001A00F5913;"));
    EXPECT_EQ(mb.TxIdLabel->text(), QStringLiteral("039"));
    EXPECT_EQ(mb.TxCountLabel->text(), QStringLiteral("3"));

    link->writes.clear();
    mb.setMBMasterCommandToSlave(8);
    mb.MBClearTxData();
    Core(mb).MBSendFrame();
    EXPECT_EQ(link->Written(), QByteArray("M01270800B613;"));

    // The query-mode flag does not touch ASCII frames.
    link->writes.clear();
    mb.setMBMasterQueryMode(true);
    Core(mb).MBSendFrame();
    EXPECT_EQ(link->Written(), QByteArray("M01270800B613;"));
}

TEST_F(FrameTest, BinaryQueryOfTheWorkedExample)
{
    Open(TMB::modeMaster);
    mb.setMBMasterAddressToSlave(1);
    mb.setMBMasterIDToSlave(39);
    mb.setMBMasterCommandToSlave(1);
    PollPayload();
    Core(mb).MBSendFrame();
    EXPECT_EQ(link->Written(), QByteArray::fromHex("01C0074201400140004A0F400D45056F"));

    // Query mode sets bit 6 of the address and so changes the CRC.
    link->writes.clear();
    mb.setMBMasterQueryMode(true);
    Core(mb).MBSendFrame();
    const QByteArray bytes = QByteArray::fromHex("412701" "01A00F");
    const quint16 crc = BitwiseCrc(bytes);
    QByteArray expected;
    const QByteArray all = bytes + char(crc & 0xFF) + char(crc >> 8);
    for (int i = 0; i < all.size(); ++i) {
        const quint8 b = static_cast<quint8>(all[i]);
        const quint8 marker = i == 0 ? 0xC0 : (i == all.size() - 1 ? 0x60 : 0x40);
        expected.append(char(b & 0x0F));
        expected.append(char(marker | (b >> 4)));
    }
    EXPECT_EQ(link->Written(), expected);

    // An empty payload is five bytes, ten characters.
    link->writes.clear();
    mb.MBClearTxData();
    Core(mb).MBSendFrame();
    EXPECT_EQ(link->Written().size(), 10);
}

TEST_F(FrameTest, SlaveAnswersCarryTheirOwnHeader)
{
    Open(TMB::modeSlave);
    mb.setMBSlaveOwnAddress(0x13); // only the low nibble goes out, with bit 7
    mb.setMBSlaveID(5);
    mb.setMBSlaveErrorCode(130);
    mb.MBClearTxData();
    Core(mb).MBSendFrame();
    const QByteArray bytes = QByteArray::fromHex("830582");
    const quint16 crc = BitwiseCrc(bytes);
    const QByteArray w = link->Written();
    ASSERT_EQ(w.size(), 10);
    EXPECT_EQ(quint8(w[0]), 0x03);
    EXPECT_EQ(quint8(w[1]), 0xC8);
    EXPECT_EQ(quint8(w[8]), (crc >> 8) & 0x0F);
    EXPECT_EQ(quint8(w[9]), 0x60 | (crc >> 12));
}

TEST_F(FrameTest, DelimiterValuesInsideAsciiFramesAreDigits)
{
    Open(TMB::modeASCIIMaster);
    mb.setMBMasterAddressToSlave(0x3B);
    mb.setMBMasterIDToSlave(0x4D);
    mb.setMBMasterCommandToSlave(0x53);
    mb.MBClearTxData();
    Core(mb).MBSendFrame();
    const QByteArray w = link->Written();
    EXPECT_TRUE(w.startsWith("M3B4D5300"));
    EXPECT_EQ(w.count(';'), 1);
    EXPECT_EQ(w.count('M'), 1);
}

TEST_F(FrameTest, RawModesSendThePayloadOnly)
{
    Open(TMB::modeByte);
    mb.MBClearTxData();
    for (int i = 0; i < 10; ++i)
        mb.MBPutByte(static_cast<quint8>(i * 30));
    Core(mb).MBSendFrame();
    QByteArray expected;
    for (int i = 0; i < 10; ++i)
        expected.append(char(i * 30));
    EXPECT_EQ(link->Written(), expected);
    EXPECT_EQ(mb.TxCountLabel->text(), QStringLiteral("10"));
}

TEST_F(FrameTest, ClosedPortWritesNothing)
{
    mb.setMBMode(TMB::modeASCIIMaster);
    mb.MBClearTxData();
    Core(mb).MBSendFrame();
    EXPECT_TRUE(link->writes.isEmpty());
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnPortError);
}

TEST_F(FrameTest, RefusedWriteAbandonsTheFrameWithClosedPort)
{
    Open(TMB::modeASCIIMaster);
    Core(mb).SetMBBusy(false);
    link->failWrites = true;
    mb.MBClearTxData();
    Core(mb).MBSendFrame();
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnPortError);
    EXPECT_EQ(mb.MBStatus(), TMB::stClosedPort);
    EXPECT_EQ(mb.MBStatusString(), QStringLiteral("Closed Port"));
    EXPECT_TRUE(mb.MBBusy());
}

TEST_F(FrameTest, LargestPayloadFitsTheFrameArea)
{
    Open(TMB::modeASCIIMaster);
    mb.MBClearTxData();
    mb.setMBDataNumberToSend(8187);
    Core(mb).MBSendFrame();
    const QByteArray w = link->Written();
    EXPECT_EQ(w.size(), 1 + 2 * (8187 + 6) + 1);
    EXPECT_EQ(mb.TxCountLabel->text(), QStringLiteral(">1k"));
    const QByteArray bytes = QByteArray::fromHex(w.mid(1, w.size() - 2));
    EXPECT_EQ(Crc(bytes.left(bytes.size() - 2)), quint8(bytes[bytes.size() - 2]) | quint8(bytes[bytes.size() - 1]) << 8);
}

} // namespace
