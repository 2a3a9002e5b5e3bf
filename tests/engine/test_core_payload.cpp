// Payload fields at the ends of a frame area, on the core alone.
#include "MBPayload.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Area {
    mbcore::TFrameArea bytes{};
    int offset = 3; // ASCII frames; binary ones use 2
    uint16_t index = 1;
    uint16_t count = 0;

    uint8_t At(int i) const { return bytes[i + offset]; }
    void Put(uint64_t v, int width) { mbcore::PutField(bytes, offset, index, count, v, width); }
    void PutText(const std::string &s) { mbcore::PutString(bytes, offset, index, count, s.data(), s.size()); }
    void Clear() { mbcore::ClearPayload(bytes, offset, index, count); }
};

TEST(CorePayload, BoundaryAtTheEndOfTheArea)
{
    Area a;
    a.index = 8186;
    a.Put(0x11, 1);
    EXPECT_EQ(a.index, 8187);
    EXPECT_EQ(a.count, 8186);
    a.Put(0x22, 1); // written, not counted
    EXPECT_EQ(a.At(8187), 0x22);
    EXPECT_EQ(a.index, 8187);
    EXPECT_EQ(a.count, 8186);
    a.Put(0x3344, 2); // does not fit at all
    EXPECT_EQ(a.At(8187), 0x22);
    EXPECT_EQ(a.index, 8187);

    // A string that ends exactly on the last index stays on its terminator.
    a.Clear();
    a.index = 8185;
    a.PutText("ab");
    EXPECT_EQ(a.At(8186), 'b');
    EXPECT_EQ(a.At(8187), 0);
    EXPECT_EQ(a.index, 8187);
    EXPECT_EQ(a.count, 0);
    // and one that is a byte longer is dropped
    a.index = 8185;
    a.PutText("xyz");
    EXPECT_EQ(a.At(8185), 'a');
    // a huge text never wraps the sum
    a.index = 1;
    a.PutText(std::string(70000, 'q'));
    EXPECT_EQ(a.index, 1);
    EXPECT_EQ(a.At(1), 0);

    // The same boundaries hold with the binary offset.
    Area b;
    b.offset = 2;
    b.index = 8184;
    b.Put(0xA1B2C3D4, 4); // 8184..8187: written, not counted
    EXPECT_EQ(b.At(8187), 0xA1);
    EXPECT_EQ(b.count, 0);
}

TEST(CorePayload, RewritingDoesNotShrinkTheCountAndGetsStayWithinTheData)
{
    Area a;
    a.Put(0xFFFFFFFF, 4);
    a.index = 1;
    a.Put(7, 1);
    EXPECT_EQ(a.count, 4);
    EXPECT_EQ(a.At(1), 7);
    a.Clear();
    EXPECT_EQ(a.count, 0);
    EXPECT_EQ(a.At(2), 0);

    a.Put(0x030201, 3);
    uint16_t index = 3;
    EXPECT_EQ(mbcore::GetField(a.bytes, a.offset, index, 3, 1), 3u);
    EXPECT_EQ(index, 4);
    EXPECT_EQ(mbcore::GetField(a.bytes, a.offset, index, 3, 1), 0u); // past the data: 0, index kept
    EXPECT_EQ(index, 4);
    index = 2;
    EXPECT_EQ(mbcore::GetField(a.bytes, a.offset, index, 3, 4), 0u);
    EXPECT_EQ(index, 2);
}

} // namespace
