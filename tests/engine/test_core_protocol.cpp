// The protocol core's plain facts: CRC-16 against its bitwise definition, and
// the sending time estimate.
#include "MBProtocol.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

uint16_t BitwiseCrc(const uint8_t *p, std::size_t n)
{
    uint16_t r = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        r ^= p[i];
        for (int k = 0; k < 8; ++k)
            r = (r & 1) ? static_cast<uint16_t>((r >> 1) ^ 0xA001) : static_cast<uint16_t>(r >> 1);
    }
    return r;
}

uint16_t Crc(const std::vector<uint8_t> &bytes)
{
    return mbcore::Crc16(bytes.data(), bytes.size());
}

TEST(Crc16, CheckValueAndWorkedFrames)
{
    const std::string check = "123456789";
    EXPECT_EQ(mbcore::Crc16(reinterpret_cast<const uint8_t *>(check.data()), check.size()), 0x4B37);
    EXPECT_EQ(Crc({}), 0xFFFF);
    EXPECT_EQ(Crc({0x01, 0x27, 0x01, 0x00, 0x01, 0xA0, 0x0F}), 0x1359);
    EXPECT_EQ(Crc({0x01, 0x27, 0x01, 0x01, 0xA0, 0x0F}), 0xF55D);
    EXPECT_EQ(Crc({0x01, 0x27, 0x08, 0x00}), 0x13B6);
}

TEST(Crc16, TableFormEqualsBitwiseDefinitionForEveryLengthAndAlignment)
{
    std::mt19937 rng(1234);
    std::vector<uint8_t> data(300);
    for (uint8_t &c : data)
        c = static_cast<uint8_t>(rng());
    for (std::size_t start = 0; start < 9; ++start)
        for (std::size_t len = 0; len <= 260; ++len)
            ASSERT_EQ(mbcore::Crc16(data.data() + start, len), BitwiseCrc(data.data() + start, len)) << start << "/" << len;
}

TEST(SendingTime, EstimateRoundsHalvesToEvenAndIsHeld)
{
    EXPECT_EQ(mbcore::SendingTimeEstimate(3, 4800), 34);
    EXPECT_EQ(mbcore::SendingTimeEstimate(0, 4800), 22);
    EXPECT_EQ(mbcore::SendingTimeEstimate(3, 115200), 2);
    // 1/9600*20000 = 2.0833.. ms per byte; 7 bytes is 14.58 -> 15 + 1
    EXPECT_EQ(mbcore::SendingTimeEstimate(2, 9600), 16);
    // 75 baud, 8187 bytes: far above 16 bits, held at the top
    EXPECT_EQ(mbcore::SendingTimeEstimate(8187, 75), 65535);
    // 16384 baud makes the per-byte factor exact, so these products are true halves:
    // 256 x 1.220703125 = 312.5 goes down to 312, 768 x it = 937.5 goes up to 938.
    EXPECT_EQ(mbcore::SendingTimeEstimate(251, 16384), 313);
    EXPECT_EQ(mbcore::SendingTimeEstimate(763, 16384), 939);
}

} // namespace
