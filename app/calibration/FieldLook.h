// How the calibration record window shows what it cannot change (fields of
// a finished record, the records file's path), its verdicts' colours and its
// readings.
#pragma once

#include "CalibrationRecord.h"

#include <QString>

class QWidget;

// Read-only (true): the field on the window's colour, click focus only (to
// copy from it); false: as the window shows an entry field.
void LookReadOnly(QWidget *w, bool readOnly);

// A path in the user's home as a shell shows it (~/.local/share/kv508/...);
// any other path, and every path on Windows, as it is.
QString ShownPath(const QString &path);

// The colour a verdict is shown in on w: green for a pass, red for a fail (lighter on a dark theme), else the text's.
QString Colour(const QWidget *w, calib::TVerdict v);

// v with the given decimals, and no sign on a zero ("-0.00" is "0.00").
QString Fixed(double v, int decimals);

// A verdict and a phase in the window's language (the record keeps them in English).
QString VerdictWord(calib::TVerdict v);
QString PhaseWord(calib::TPhase phase);
