// The simulator's memory across runs: a small JSON file, replaced atomically so
// that a crash or a full disk never leaves it half-written.
#pragma once

#include "Instrument.h"

#include <QByteArray>
#include <QString>

namespace sim {

enum class LoadResult { Loaded, Missing, Invalid };

LoadResult LoadMemory(const QString &path, Memory &memory, QString &error);
bool SaveMemory(const QString &path, const Memory &memory, QString &error);

// Writes a temporary file beside path, flushes it to the disk, renames it over
// path and flushes the directory. On failure path keeps its old contents.
bool WriteFileAtomically(const QString &path, const QByteArray &data, QString &error);

} // namespace sim
