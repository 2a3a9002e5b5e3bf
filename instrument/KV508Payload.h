// The engine's payload operations on plain bytes (little-endian, as on the
// wire), so that the layouts of KV508Commands.h read and write a payload held
// outside the engine: the line monitor's decoding, the simulator's model.
// Plain C++.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv508 {

// Reads from the start; bytes past the end read as zero.
class TPayloadReader
{
public:
    TPayloadReader(const void *data, std::size_t size) : m_data(static_cast<const uint8_t *>(data)), m_size(size) {}
    uint8_t MBGetByte() { return static_cast<uint8_t>(Fixed(1)); }
    uint16_t MBGetWord() { return static_cast<uint16_t>(Fixed(2)); }
    int16_t MBGetSmallInt() { return static_cast<int16_t>(MBGetWord()); }
    uint32_t MBGetDWord() { return Fixed(4); }
    bool MBGetBoolean() { return Fixed(1) != 0; }

private:
    uint32_t Fixed(int size)
    {
        uint32_t v = 0;
        for (int k = 0; k < size && m_at < m_size; ++k, ++m_at)
            v |= uint32_t(m_data[m_at]) << (8 * k);
        return v;
    }
    const uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

// Appends to a byte container with push_back (std::string, std::vector<uint8_t>, QByteArray).
template <class Bytes>
class TPayloadWriter
{
public:
    explicit TPayloadWriter(Bytes &out) : m_out(out) {}
    void MBPutByte(uint8_t value) { m_out.push_back(static_cast<typename Bytes::value_type>(value)); }
    void MBPutWord(uint16_t value) { Fixed(value, 2); }
    void MBPutSmallInt(int16_t value) { Fixed(static_cast<uint16_t>(value), 2); }
    void MBPutDWord(uint32_t value) { Fixed(value, 4); }
    void MBPutBoolean(bool value) { MBPutByte(value ? 1 : 0); }

private:
    void Fixed(uint32_t value, int size)
    {
        for (int k = 0; k < size; ++k)
            MBPutByte(static_cast<uint8_t>(value >> (8 * k)));
    }
    Bytes &m_out;
};

} // namespace kv508
