#include "MBFrame.h"

namespace mbcore {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

} // namespace

char *EncodeHexPair(char *out, uint8_t byte)
{
    out[0] = kHex[byte >> 4];
    out[1] = kHex[byte & 0x0F];
    return out + 2;
}

char *EncodeNibblePair(char *out, uint8_t byte, TNibblePosition position)
{
    const uint8_t marker = position == npFirst ? 0xC0 : (position == npLast ? 0x60 : 0x40);
    out[0] = static_cast<char>(byte & 0x0F);
    out[1] = static_cast<char>(marker | (byte >> 4));
    return out + 2;
}

int SealFrame(TFrameArea &area, int covered)
{
    const uint16_t crc = Crc16(area.data(), static_cast<std::size_t>(covered));
    area[covered] = static_cast<uint8_t>(crc & 0xFF);
    area[covered + 1] = static_cast<uint8_t>(crc >> 8);
    return covered + 1;
}

char *EncodeAsciiFrame(char *out, char start, const uint8_t *bytes, std::size_t count)
{
    *out++ = start;
    for (std::size_t i = 0; i < count; ++i)
        out = EncodeHexPair(out, bytes[i]);
    *out++ = ';';
    return out;
}

char *EncodeBinaryFrame(char *out, const uint8_t *bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        out = EncodeNibblePair(out, bytes[i], i == 0 ? npFirst : (i + 1 == count ? npLast : npMiddle));
    return out;
}

} // namespace mbcore
