// The calibration certificate of a record: an A4 PDF for the customer (Qt
// Gui; the same record as CSV is WriteCsv, beside the record). Written whole
// or not at all (QSaveFile), so a failed export never leaves half a file under
// the chosen name.
#pragma once

#include "CalibrationRecord.h"

#include <QString>

namespace calib {

// The issuer's lines at the top of the certificate (the tool's name when empty).
struct TIssuer {
    QString name;
    QString tool; // "KV508 I configuration tool 1.0.0"
};

bool WriteCertificatePdf(const TRecord &record, const TIssuer &issuer, const QString &path, QString &error);

} // namespace calib
