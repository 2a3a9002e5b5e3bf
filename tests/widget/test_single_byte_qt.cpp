// The engine's own windows-1250 table against Qt's codec.
#include "MBEngine.h"

#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include <gtest/gtest.h>

namespace {

TEST(SingleByteNameAgainstQt, EveryCharacterOfTheCodePageMapsAsQtMapsIt)
{
    QStringDecoder decoder("windows-1250");
    ASSERT_TRUE(decoder.isValid());
    int characters = 0;
    QString all;
    QByteArray allBytes;
    for (int b = 0x20; b <= 0xFF; ++b) {
        if (b == 0x7F)
            continue;
        const QByteArray byte(1, char(b));
        QStringDecoder one("windows-1250");
        const QString ch = one.decode(byte);
        if (one.hasError() || ch.size() != 1 || ch[0] == QChar::ReplacementCharacter || ch[0].category() == QChar::Other_Control)
            continue; // no character at this position
        ++characters;
        QStringEncoder encoder("windows-1250");
        const QByteArray expected = encoder.encode(ch);
        ASSERT_FALSE(encoder.hasError()) << b;
        ASSERT_EQ(expected, byte) << b;
        EXPECT_EQ(mbcore::SingleByteName(ch.toStdString()), byte.toStdString()) << "byte " << b << " U+" << std::hex
                                                                                << int(ch[0].unicode());
        all += ch;
        allBytes += byte;
    }
    // 95 printable ASCII characters and 123 above: the code page leaves five empty
    EXPECT_EQ(characters, 95 + 123);
    EXPECT_EQ(mbcore::SingleByteName(all.toStdString()), allBytes.toStdString());
}

TEST(SingleByteNameAgainstQt, WhatQtCannotEncodeTakesTheFallback)
{
    // every character of the basic plane above Latin-1 that Qt refuses: "?"
    int refused = 0;
    for (char16_t u = 0x100; u < 0xD800; ++u) {
        const QString ch(QChar{u});
        QStringEncoder encoder("windows-1250");
        const QByteArray got = encoder.encode(ch);
        const std::string ours = mbcore::SingleByteName(ch.toStdString());
        if (encoder.hasError()) {
            ++refused;
            EXPECT_EQ(ours, "?") << "U+" << std::hex << int(u);
        } else {
            EXPECT_EQ(ours, got.toStdString()) << "U+" << std::hex << int(u);
        }
    }
    EXPECT_GT(refused, 0);
}

} // namespace
