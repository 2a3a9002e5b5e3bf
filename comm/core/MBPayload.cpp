#include "MBPayload.h"

#include <algorithm>

namespace mbcore {

void ClearPayload(TFrameArea &area, int offset, uint16_t &index, uint16_t &count, std::size_t writtenEnd)
{
    index = 1;
    count = 0;
    const std::size_t begin = std::size_t(1 + offset);
    const std::size_t end = std::min(writtenEnd, std::size_t(MaxPayload + 1 + offset));
    if (end > begin)
        std::fill(area.begin() + std::ptrdiff_t(begin), area.begin() + std::ptrdiff_t(end), uint8_t(0));
}

void PutField(TFrameArea &area, int offset, uint16_t &index, uint16_t &count, uint64_t value, int width)
{
    const int idx = index;
    const int next = idx + width;
    if (next > MaxPayload + 1)
        return;
    for (int i = 0; i < width; ++i)
        area[idx + i + offset] = static_cast<uint8_t>(value >> (8 * i));
    if (next == MaxPayload + 1)
        return; // ends exactly on the last index: written, not counted
    index = static_cast<uint16_t>(next);
    if (count < next - 1)
        count = static_cast<uint16_t>(next - 1);
}

void PutString(TFrameArea &area, int offset, uint16_t &index, uint16_t &count, const char *text, std::size_t size)
{
    const long long next = static_cast<long long>(index) + static_cast<long long>(size) + 1;
    if (next > MaxPayload + 1)
        return;
    int idx = index;
    for (std::size_t i = 0; i < size; ++i)
        area[offset + idx++] = static_cast<uint8_t>(text[i]);
    area[offset + idx] = 0;
    if (next <= MaxPayload) {
        index = static_cast<uint16_t>(next);
        if (count < next - 1)
            count = static_cast<uint16_t>(next - 1);
    } else {
        index = static_cast<uint16_t>(idx); // stays on the terminator
    }
}

uint64_t GetField(const TFrameArea &area, int offset, uint16_t &index, uint16_t received, int width)
{
    const int idx = index;
    const int next = idx + width;
    if (next > received + 1)
        return 0;
    uint64_t v = 0;
    for (int i = 0; i < width; ++i)
        v |= uint64_t(area[idx + i + offset]) << (8 * i);
    if (next <= MaxPayload)
        index = static_cast<uint16_t>(next);
    return v;
}

} // namespace mbcore
