// The characters a frame puts on the line. An ASCII frame is a start character
// ("M" query, "S" answer), two uppercase hexadecimal digits per byte and ";".
// A binary frame sends each byte as two characters: the low nibble, then the
// high nibble with marker bits (first 0xC0, middle 0x40, last 0x60).
#pragma once

#include "MBPayload.h"

#include <cstddef>
#include <cstdint>

namespace mbcore {

enum TNibblePosition { npFirst, npMiddle, npLast };

// Each writes its two characters at out and returns the position after them.
char *EncodeHexPair(char *out, uint8_t byte);
char *EncodeNibblePair(char *out, uint8_t byte, TNibblePosition position);

// Stores the CRC-16 of the first covered bytes after them, low byte first, and
// returns the position of the high CRC byte.
int SealFrame(TFrameArea &area, int covered);

// Whole frames of bytes[0..count-1]; out must hold AsciiFrameSize(count) or
// BinaryFrameSize(count) characters. Each returns the position after the frame.
constexpr std::size_t AsciiFrameSize(std::size_t count) { return 2 * count + 2; }
constexpr std::size_t BinaryFrameSize(std::size_t count) { return 2 * count; }
char *EncodeAsciiFrame(char *out, char start, const uint8_t *bytes, std::size_t count);
char *EncodeBinaryFrame(char *out, const uint8_t *bytes, std::size_t count);

} // namespace mbcore
