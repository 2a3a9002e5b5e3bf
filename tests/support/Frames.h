// Line images of frames, written out independently of the component's codec,
// for tests that play the other end of the line.
#pragma once

#include "MB.h"

#include <QByteArray>

inline QByteArray WithCrc(const QByteArray &bytes)
{
    const quint16 crc = TMB::MBCrc16(reinterpret_cast<const quint8 *>(bytes.constData()), bytes.size());
    return bytes + char(crc & 0xFF) + char(crc >> 8);
}

// "S" or "M", two upper-case hex digits per byte (CRC included), ";".
inline QByteArray AsciiLine(char start, const QByteArray &frameWithoutCrc)
{
    return start + WithCrc(frameWithoutCrc).toHex().toUpper() + ';';
}

// Low nibble, then the high nibble with the first/middle/last marker bits.
inline QByteArray BinaryLine(const QByteArray &frameWithoutCrc)
{
    const QByteArray all = WithCrc(frameWithoutCrc);
    QByteArray line;
    for (int i = 0; i < all.size(); ++i) {
        const quint8 b = static_cast<quint8>(all[i]);
        const quint8 marker = i == 0 ? 0xC0 : (i == all.size() - 1 ? 0x60 : 0x40);
        line.append(char(b & 0x0F));
        line.append(char(marker | (b >> 4)));
    }
    return line;
}
