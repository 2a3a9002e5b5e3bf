// How the calibration record window shows what it cannot change: fields of
// a finished record, and the records file's path.
#pragma once

#include <QString>

class QWidget;

// Read-only (true): the field on the window's colour, click focus only (to
// copy from it); false: as the window shows an entry field.
void LookReadOnly(QWidget *w, bool readOnly);

// A path in the user's home as a shell shows it (~/.local/share/kv508/...);
// any other path, and every path on Windows, as it is.
QString ShownPath(const QString &path);
