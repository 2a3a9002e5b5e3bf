// Puts and gets at the ends of the payload areas.
#include "PlainFakeLink.h"
#include "PlainFrames.h"

#include <gtest/gtest.h>

#include <string>

using namespace mbcore;

namespace {

// Payload byte i (1-based) of the transmit area.
uint8_t TxPayload(const TMBEngine &mb, int i)
{
    return mb.TXDataBuffer()[i + Core(mb).m_PayloadOffset];
}

TEST(PayloadPut, FieldsAreLittleEndianAndCounted)
{
    TMBEngine mb;
    mb.MBClearTxData();
    mb.MBPutByte(1);
    mb.MBPutWord(4000);
    EXPECT_EQ(mb.MBMBTXDataBufferIndex(), 4);
    EXPECT_EQ(mb.MBDataNumberToSend(), 3);
    EXPECT_EQ(TxPayload(mb, 1), 0x01);
    EXPECT_EQ(TxPayload(mb, 2), 0xA0);
    EXPECT_EQ(TxPayload(mb, 3), 0x0F);

    mb.MBClearTxData();
    mb.MBPutSmallInt(-2);
    mb.MBPutDWord(100000);
    mb.MBPutBoolean(true);
    const uint8_t expected[] = {0xFE, 0xFF, 0xA0, 0x86, 0x01, 0x00, 0x01};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(TxPayload(mb, i + 1), expected[i]) << i;
    EXPECT_EQ(mb.MBDataNumberToSend(), 7);
}

TEST(PayloadPut, StringWritesTerminator)
{
    TMBEngine mb;
    mb.MBClearTxData();
    mb.MBPutString("0123456789");
    EXPECT_EQ(mb.MBMBTXDataBufferIndex(), 12);
    EXPECT_EQ(mb.MBDataNumberToSend(), 11);
    EXPECT_EQ(TxPayload(mb, 10), '9');
    EXPECT_EQ(TxPayload(mb, 11), 0);
    mb.MBPutString(std::string());
    EXPECT_EQ(mb.MBDataNumberToSend(), 12);
    // zero bytes inside the text are copied like any other character
    mb.MBClearTxData();
    mb.MBPutString(std::string("a\0b", 3));
    EXPECT_EQ(mb.MBDataNumberToSend(), 4);
    EXPECT_EQ(TxPayload(mb, 3), 'b');
}

// Receives an ASCII answer carrying the given payload through a fake link.
void ReceiveAsciiPayload(TMBEngine &mb, const std::string &payload)
{
    std::string frame;
    frame += char(mb.MBMasterAddressToSlave());
    frame += char(mb.MBMasterIDToSlave());
    frame += char(mb.MBMasterCommandToSlave());
    frame += char(0);
    frame += payload;
    mb.MBClearTxData();
    mb.MBMasterStart(0);
    Deliver(mb, frames::AsciiLine('S', frame));
}

TEST(PayloadGet, ReadsWithinTheReceivedDataOnly)
{
    TMBEngine mb;
    mb.SetManualTimers(true);
    auto link = UseFakeLink(mb);
    mb.MBOpenPort();
    mb.setMBMasterCommandToSlave(5);
    ReceiveAsciiPayload(mb, std::string("\x01\x02\x03", 3));
    ASSERT_EQ(mb.MBReceivedDataNumber(), 3);
    mb.setMBMBRXDataBufferIndex(3);
    EXPECT_EQ(mb.MBGetByte(), 3);
    EXPECT_EQ(mb.MBMBRXDataBufferIndex(), 4);
    EXPECT_EQ(mb.MBGetByte(), 0);
    EXPECT_EQ(mb.MBMBRXDataBufferIndex(), 4);
    mb.setMBMBRXDataBufferIndex(2);
    EXPECT_EQ(mb.MBGetDWord(), 0u);
    EXPECT_EQ(mb.MBMBRXDataBufferIndex(), 2);

    ReceiveAsciiPayload(mb, std::string("\xFE\xFF\x01\xA0\x86\x01\x00", 7));
    EXPECT_EQ(mb.MBMBRXDataBufferIndex(), 1);
    EXPECT_EQ(mb.MBGetSmallInt(), -2);
    EXPECT_TRUE(mb.MBGetBoolean());
    EXPECT_EQ(mb.MBGetDWord(), 100000u);
    mb.setMBMBRXDataBufferIndex(1);
    EXPECT_EQ(mb.MBGetWord(), 65534);
    mb.MBClosePort();
}

// A clear leaves the whole payload zero, whatever was written into the area
// since: fields at any index, a sent frame's check bytes after its payload,
// a header byte that lies in the payload of a mode with a shorter header.
TEST(PayloadPut, ClearLeavesTheWholePayloadZero)
{
    TMBEngine mb;
    mb.SetManualTimers(true);
    auto link = UseFakeLink(mb);
    mb.MBOpenPort();
    const auto payloadIsZero = [&] {
        for (int i = 1; i <= MaxPayload; ++i)
            if (TxPayload(mb, i) != 0)
                return false;
        return true;
    };
    mb.MBClearTxData();
    mb.MBPutDWord(0xFFFFFFFF); // sent with its check bytes after it
    mb.MBMasterStart(0);
    mb.setMBMBTXDataBufferIndex(8000);
    mb.MBPutString("far out");
    mb.setMBMBTXDataBufferIndex(MaxPayload);
    mb.MBPutByte(0x55); // the last index: written, not counted
    mb.MBClearTxData();
    EXPECT_TRUE(payloadIsZero());

    mb.setMBMode(modeASCIISlave); // its answer's fourth byte is the error code
    mb.setMBSlaveOwnAddress(1);
    mb.setMBSlaveID(39);
    mb.setMBSlaveDelayTime(0);
    mb.OnMBSlaveReceivedCommand = [&](uint8_t, bool, uint16_t) { mb.setMBSlaveErrorCode(0xEE); };
    Deliver(mb, frames::AsciiLine('M', std::string("\x01\x27\x01\x00", 4)));
    ASSERT_EQ(mb.TXDataBuffer()[3], 0xEE);
    mb.MBClearTxData();
    mb.setMBMode(modeMaster); // whose payload starts at that byte
    mb.MBClearTxData();
    EXPECT_TRUE(payloadIsZero());
    mb.MBClosePort();
}

} // namespace
