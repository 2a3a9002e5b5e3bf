// The slave's name on the line: windows-1250 when every character has a byte
// there, else the whole name in Latin-1 with "?" beyond it.
#include "MBEngine.h"

#include <gtest/gtest.h>

#include <string>

using mbcore::SingleByteName;

namespace {

TEST(SingleByteName, CodePageCharactersGoOutAsTheirBytes)
{
    EXPECT_EQ(SingleByteName("MB Slave"), "MB Slave");
    EXPECT_EQ(SingleByteName(""), "");
    EXPECT_EQ(SingleByteName("Nyom\xC3\xA1s"), "Nyom\xE1s");                 // á
    EXPECT_EQ(SingleByteName("\xC5\x98" "e\xC5\xBE"), "\xD8" "e\x9E");       // Ř e ž
    EXPECT_EQ(SingleByteName("\xC5\x91\xC5\xB1"), "\xF5\xFB");               // ő ű
    EXPECT_EQ(SingleByteName("\xE2\x82\xAC"), "\x80");                       // €
    EXPECT_EQ(SingleByteName(std::string("a\0b", 3)), std::string("a\0b", 3)); // zero kept
}

TEST(SingleByteName, MissingCharacterSendsTheWholeNameAsLatin1)
{
    // À is Latin-1 but not windows-1250: the name falls back as a whole, so ő
    // (windows-1250, beyond Latin-1) becomes "?".
    EXPECT_EQ(SingleByteName("\xC3\x80\xC5\x91"), "\xC0?");
    // Ω is in neither: "?", while á keeps its Latin-1 byte.
    EXPECT_EQ(SingleByteName("\xCE\xA9\xC3\xA1"), "?\xE1");
    // A position the code page leaves empty (U+0081) falls back too, as itself.
    EXPECT_EQ(SingleByteName("\xC5\x98\xC2\x81"), "?\x81");
    // Beyond the basic plane.
    EXPECT_EQ(SingleByteName("x\xF0\x9F\x98\x80"), "x?");
}

TEST(SingleByteName, MalformedUtf8GivesOneQuestionMarkPerBadByte)
{
    EXPECT_EQ(SingleByteName("a\xFF" "b"), "a?b");
    EXPECT_EQ(SingleByteName("\xC3"), "?");            // cut short
    EXPECT_EQ(SingleByteName("\xE2\x82" "A"), "??A"); // cut short before an ASCII byte
}

} // namespace
