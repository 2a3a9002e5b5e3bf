// The calibration certificate of a record: A4 pages for the customer, as a PDF
// or on a printer, painted the same way (Qt Gui; the same record as CSV is
// WriteCsv, beside the record). The PDF is written whole or not at all
// (QSaveFile), so a failed export never leaves half a file under the chosen name.
#pragma once

#include "CalibrationRecord.h"

#include <QString>

class QPagedPaintDevice;

namespace calib {

// The issuer's lines at the top of the certificate (the tool's name when empty).
struct TIssuer {
    QString name;
    QString tool; // "KV508 I configuration tool 1.0.0"
};

// The certificate painted page by page on a PDF writer or a printer (whose
// page must be set to full page: the margins are the certificate's own). False
// with the cause in error.
bool PaintCertificate(QPagedPaintDevice &device, const TRecord &record, const TIssuer &issuer, QString &error);

bool WriteCertificatePdf(const TRecord &record, const TIssuer &issuer, const QString &path, QString &error);

} // namespace calib
