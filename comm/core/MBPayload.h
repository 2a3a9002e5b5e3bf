// Payload fields in a frame area: little-endian, at 1-based payload indices
// that start after the frame's header (offset). What does not fit is dropped;
// reading past the received data gives 0. The component's puts and gets are
// these, applied to its transmit and receive areas.
#pragma once

#include "MBProtocol.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace mbcore {

using TFrameArea = std::array<uint8_t, FrameAreaSize>;

// Zeroes the payload and starts writing at index 1. Bytes from writtenEnd on
// (an area position) are known to be zero already and are left alone.
void ClearPayload(TFrameArea &area, int offset, uint16_t &index, uint16_t &count,
                  std::size_t writtenEnd = FrameAreaSize);

// Writes width (1..8) bytes of value at index. A field that ends exactly on the
// last index is written but moves neither the index nor the count.
void PutField(TFrameArea &area, int offset, uint16_t &index, uint16_t &count, uint64_t value, int width);

// Writes the bytes and a zero terminator; zero bytes inside are copied as they are.
void PutString(TFrameArea &area, int offset, uint16_t &index, uint16_t &count, const char *text, std::size_t size);

// Reads width bytes at index when they lie within the received data (and
// moves the index on), else returns 0 and leaves the index.
uint64_t GetField(const TFrameArea &area, int offset, uint16_t &index, uint16_t received, int width);

} // namespace mbcore
