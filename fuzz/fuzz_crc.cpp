// The table-driven CRC equals the bitwise definition for every length and content,
// including the tails the sliced loop leaves to the byte loop.
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    for (size_t cut = 0; cut <= 9 && cut <= size; ++cut) {
        const size_t n = size - cut;
        const uint16_t fast = mbcore::Crc16(data, n);
        const uint16_t slow = fuzz::BitwiseCrc16(data, n);
        fuzz::Check(fast == slow, "Crc16 differs from the bitwise CRC",
                    "length " + std::to_string(n) + ": " + std::to_string(fast) + " != " + std::to_string(slow));
    }
    return 0;
}
