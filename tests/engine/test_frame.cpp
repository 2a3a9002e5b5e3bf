// The frame codec: CRC and the exact characters on the line for every mode.
#include "PlainFakeLink.h"
#include "PlainFrames.h"
#include "RecordingView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace mbcore;
using frames::BitwiseCrc16;
using frames::FromHex;

namespace {

uint16_t Crc(const std::string &bytes)
{
    return Crc16(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
}

class FrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mb.SetManualTimers(true);
        mb.SetView(&view);
        link = UseFakeLink(mb);
    }
    void TearDown() override { mb.SetView(nullptr); }
    void Open(TMBMode mode)
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
    TMBEngine mb;
    TRecordingView view{mb};
    std::shared_ptr<PlainLinkState> link;
};

TEST_F(FrameTest, AsciiQueryOfTheWorkedExample)
{
    Open(modeASCIIMaster);
    mb.setMBMasterAddressToSlave(1);
    mb.setMBMasterIDToSlave(39);
    mb.setMBMasterCommandToSlave(1);
    PollPayload();
    Core(mb).MBSendFrame();
    EXPECT_EQ(link->Written(), "M0127010001A00F5913;");
    // the panel shows the ID sent and the payload length
    EXPECT_EQ(view.txIds, std::vector<uint8_t>{39});
    EXPECT_EQ(view.txCounts, std::vector<uint16_t>{3});

    link->writes.clear();
    mb.setMBMasterCommandToSlave(8);
    mb.MBClearTxData();
    Core(mb).MBSendFrame();
    EXPECT_EQ(link->Written(), "M01270800B613;");

    // The query-mode flag does not touch ASCII frames.
    link->writes.clear();
    mb.setMBMasterQueryMode(true);
    Core(mb).MBSendFrame();
    EXPECT_EQ(link->Written(), "M01270800B613;");
}

TEST_F(FrameTest, BinaryQueryOfTheWorkedExample)
{
    Open(modeMaster);
    mb.setMBMasterAddressToSlave(1);
    mb.setMBMasterIDToSlave(39);
    mb.setMBMasterCommandToSlave(1);
    PollPayload();
    Core(mb).MBSendFrame();
    EXPECT_EQ(link->Written(), FromHex("01C0074201400140004A0F400D45056F"));

    // Query mode sets bit 6 of the address and so changes the CRC.
    link->writes.clear();
    mb.setMBMasterQueryMode(true);
    Core(mb).MBSendFrame();
    const std::string bytes = FromHex("412701" "01A00F");
    const uint16_t crc = BitwiseCrc16(bytes);
    std::string expected;
    const std::string all = bytes + char(crc & 0xFF) + char(crc >> 8);
    for (size_t i = 0; i < all.size(); ++i) {
        const auto b = static_cast<uint8_t>(all[i]);
        const uint8_t marker = i == 0 ? 0xC0 : (i == all.size() - 1 ? 0x60 : 0x40);
        expected += char(b & 0x0F);
        expected += char(marker | (b >> 4));
    }
    EXPECT_EQ(link->Written(), expected);

    // An empty payload is five bytes, ten characters.
    link->writes.clear();
    mb.MBClearTxData();
    Core(mb).MBSendFrame();
    EXPECT_EQ(link->Written().size(), 10u);
}

TEST_F(FrameTest, SlaveAnswersCarryTheirOwnHeader)
{
    Open(modeSlave);
    mb.setMBSlaveOwnAddress(0x13); // only the low nibble goes out, with bit 7
    mb.setMBSlaveID(5);
    mb.setMBSlaveErrorCode(130);
    mb.MBClearTxData();
    Core(mb).MBSendFrame();
    const uint16_t crc = BitwiseCrc16(FromHex("830582"));
    const std::string w = link->Written();
    ASSERT_EQ(w.size(), 10u);
    EXPECT_EQ(uint8_t(w[0]), 0x03);
    EXPECT_EQ(uint8_t(w[1]), 0xC8);
    EXPECT_EQ(uint8_t(w[8]), (crc >> 8) & 0x0F);
    EXPECT_EQ(uint8_t(w[9]), 0x60 | (crc >> 12));
}

TEST_F(FrameTest, DelimiterValuesInsideAsciiFramesAreDigits)
{
    Open(modeASCIIMaster);
    mb.setMBMasterAddressToSlave(0x3B);
    mb.setMBMasterIDToSlave(0x4D);
    mb.setMBMasterCommandToSlave(0x53);
    mb.MBClearTxData();
    Core(mb).MBSendFrame();
    const std::string w = link->Written();
    EXPECT_EQ(w.rfind("M3B4D5300", 0), 0u);
    EXPECT_EQ(std::count(w.begin(), w.end(), ';'), 1);
    EXPECT_EQ(std::count(w.begin(), w.end(), 'M'), 1);
}

TEST_F(FrameTest, RawModesSendThePayloadOnly)
{
    Open(modeByte);
    mb.MBClearTxData();
    for (int i = 0; i < 10; ++i)
        mb.MBPutByte(static_cast<uint8_t>(i * 30));
    Core(mb).MBSendFrame();
    std::string expected;
    for (int i = 0; i < 10; ++i)
        expected += char(i * 30);
    EXPECT_EQ(link->Written(), expected);
    EXPECT_EQ(view.txCounts, std::vector<uint16_t>{10});
}

TEST_F(FrameTest, ClosedPortWritesNothing)
{
    mb.setMBMode(modeASCIIMaster);
    mb.MBClearTxData();
    Core(mb).MBSendFrame();
    EXPECT_TRUE(link->writes.empty());
    EXPECT_EQ(mb.MBStatusNow(), stnPortError);
}

TEST_F(FrameTest, RefusedWriteAbandonsTheFrameWithClosedPort)
{
    Open(modeASCIIMaster);
    Core(mb).SetMBBusy(false);
    link->failWrites = true;
    mb.MBClearTxData();
    Core(mb).MBSendFrame();
    EXPECT_EQ(mb.MBStatusNow(), stnPortError);
    EXPECT_EQ(mb.MBStatus(), stClosedPort);
    EXPECT_EQ(mb.MBStatusString(), "Closed Port");
    EXPECT_TRUE(mb.MBBusy());
}

TEST_F(FrameTest, LargestPayloadFitsTheFrameArea)
{
    Open(modeASCIIMaster);
    mb.MBClearTxData();
    mb.setMBDataNumberToSend(8187);
    Core(mb).MBSendFrame();
    const std::string w = link->Written();
    EXPECT_EQ(w.size(), 1u + 2 * (8187 + 6) + 1);
    EXPECT_EQ(view.txCounts, std::vector<uint16_t>{8187});
    const std::string bytes = FromHex(std::string_view(w).substr(1, w.size() - 2));
    ASSERT_EQ(bytes.size(), 8187u + 6);
    EXPECT_EQ(Crc(bytes.substr(0, bytes.size() - 2)),
              uint8_t(bytes[bytes.size() - 2]) | uint8_t(bytes[bytes.size() - 1]) << 8);
}

} // namespace
