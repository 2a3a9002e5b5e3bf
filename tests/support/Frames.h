// Line images of frames for Qt tests: the plain builders of PlainFrames.h on
// QByteArray.
#pragma once

#include "PlainFrames.h"

#include <QByteArray>

inline QByteArray WithCrc(const QByteArray &bytes)
{
    const std::string all = frames::WithCrc(std::string_view(bytes.constData(), size_t(bytes.size())));
    return QByteArray(all.data(), qsizetype(all.size()));
}

inline QByteArray AsciiLine(char start, const QByteArray &frameWithoutCrc)
{
    const std::string line = frames::AsciiLine(start, std::string_view(frameWithoutCrc.constData(), size_t(frameWithoutCrc.size())));
    return QByteArray(line.data(), qsizetype(line.size()));
}

inline QByteArray BinaryLine(const QByteArray &frameWithoutCrc)
{
    const std::string line = frames::BinaryLine(std::string_view(frameWithoutCrc.constData(), size_t(frameWithoutCrc.size())));
    return QByteArray(line.data(), qsizetype(line.size()));
}
