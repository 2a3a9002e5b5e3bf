// Line images of frames in plain C++, written out independently of the
// component's codec (the CRC bit by bit), for tests and fuzz targets that play
// the other end of the line. Frames.h wraps these for Qt tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace frames {

// The CRC exactly as defined: reflected 0xA001, start 0xFFFF, one bit at a time.
inline uint16_t BitwiseCrc16(const uint8_t *p, std::size_t count)
{
    uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

inline uint16_t BitwiseCrc16(std::string_view bytes)
{
    return BitwiseCrc16(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
}

// Upper-case hex, two digits per byte.
inline std::string Hex(const uint8_t *p, std::size_t n)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

inline std::string Hex(std::string_view bytes)
{
    return Hex(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
}

// The bytes of hex digit pairs (either case); stops at the first non-digit.
inline std::string FromHex(std::string_view hex)
{
    auto value = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        const int hi = value(hex[i]), lo = value(hex[i + 1]);
        if (hi < 0 || lo < 0)
            break;
        out += static_cast<char>(hi * 16 + lo);
    }
    return out;
}

inline std::string WithCrc(std::string_view bytes)
{
    const uint16_t crc = BitwiseCrc16(bytes);
    std::string all(bytes);
    all += static_cast<char>(crc & 0xFF);
    all += static_cast<char>(crc >> 8);
    return all;
}

// "S" or "M", two upper-case hex digits per byte (CRC included), ";".
inline std::string AsciiLine(char start, std::string_view frameWithoutCrc)
{
    return start + Hex(WithCrc(frameWithoutCrc)) + ';';
}

// Low nibble, then the high nibble with the first/middle/last marker bits.
inline std::string BinaryLine(std::string_view frameWithoutCrc)
{
    const std::string all = WithCrc(frameWithoutCrc);
    std::string line;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const auto b = static_cast<uint8_t>(all[i]);
        const uint8_t marker = i == 0 ? 0xC0 : (i == all.size() - 1 ? 0x60 : 0x40);
        line += static_cast<char>(b & 0x0F);
        line += static_cast<char>(marker | (b >> 4));
    }
    return line;
}

} // namespace frames
