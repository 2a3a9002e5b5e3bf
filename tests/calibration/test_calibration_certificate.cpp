// The certificate as the customer reads it: the PDF's text (pdftotext from
// poppler-utils) holds everything the record says, however long the remarks,
// and a record still open or waiting for As-Left does not pass for a finished one.
#include "Certificate.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace calib;

TDecimal D(const char *text)
{
    return ParseDecimal(text, 9).value();
}

TRecord Sample()
{
    TRecord r;
    r.certificate = QStringLiteral("KV-2026-0007");
    r.tag = QStringLiteral("PT-101");
    r.created = QDateTime(QDate(2026, 12, 9), QTime(9, 58), Qt::UTC);
    r.references = DefaultReferences();
    r.span[0] = TSpan{0, 2500, 1};
    const char *applied[] = {"0.0", "62.5", "125.0", "187.5", "250.0"};
    const char *mA[] = {"4", "8", "12", "16", "20"};
    for (int i = 0; i < 5; ++i) {
        TPoint p;
        p.index = i;
        p.percent = TDecimal{i * 25, 0};
        p.applied = D(applied[i]);
        p.milliAmps = D(mA[i]);
        r.Put(p);
    }
    r.finished = true;
    return r;
}

class CertificateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
#ifdef Q_OS_WIN
        GTEST_SKIP() << "pdftotext is a Linux program (poppler-utils); Wine cannot start it from here: the text is checked on Linux, "
                        "scripts/test-windows reads the certificate of a whole record made under Wine";
#endif
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    }

    // The certificate's text, page by page as pdftotext reads it.
    QString TextOf(const TRecord &r)
    {
        const QString pdf = m_dir.filePath(QStringLiteral("c.pdf"));
        QString error;
        EXPECT_TRUE(WriteCertificatePdf(r, TIssuer{QString(), QStringLiteral("test")}, pdf, error)) << error.toStdString();
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
        EXPECT_TRUE(p.waitForFinished(120000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    QTemporaryDir m_dir;
};

// 1,500 words in paragraphs, then a megabyte with no space to break at: every
// word and every character is on the certificate, over as many pages as it takes.
TEST_F(CertificateTest, LongRemarksAreAllPrinted)
{
    TRecord r = Sample();
    QStringList words;
    for (int i = 1; i <= 1500; ++i)
        words << QStringLiteral("w%1%2").arg(i, 4, 10, QLatin1Char('0')).arg(i % 100 == 0 ? QStringLiteral("\n") : QString());
    r.remarks = words.join(QLatin1Char(' '));
    const QString text = TextOf(r);
    QStringList seen;
    static const QRegularExpression word(QStringLiteral("w[0-9]{4}"));
    for (auto it = word.globalMatch(text); it.hasNext();)
        seen << it.next().captured();
    QStringList wanted;
    for (int i = 1; i <= 1500; ++i)
        wanted << QStringLiteral("w%1").arg(i, 4, 10, QLatin1Char('0'));
    EXPECT_EQ(seen.size(), 1500);
    EXPECT_TRUE(seen == wanted) << "a word is missing or out of place";
    EXPECT_TRUE(text.contains(QStringLiteral("page 2 of "))) << "1,500 words take more than the first page";

    // No blank to break at: cut anywhere, nothing dropped.
    const QString unit = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789");
    r.remarks = unit.repeated(1024 * 1024 / unit.size());
    QString placed; // the lines of nothing but letters and digits, in order
    for (QString line : TextOf(r).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.startsWith(QStringLiteral("Remarks")))
            line = line.mid(7).trimmed();
        static const QRegularExpression only(QStringLiteral("^[a-z0-9]+$"));
        if (only.match(line).hasMatch())
            placed += line;
    }
    EXPECT_GE(placed.size(), r.remarks.size());
    EXPECT_TRUE(placed.contains(r.remarks)) << "the remarks came back otherwise than written";
}

// Printed before As-Left is complete after an adjustment: the result is
// pending, not As-Found's PASS; and an open record's certificate says it is a draft.
TEST_F(CertificateTest, AnUnfinishedRecordIsADraftAndPendingUntilAsLeft)
{
    TRecord r = Sample();
    QString text = TextOf(r);
    EXPECT_TRUE(text.contains(QStringLiteral("Result: PASS"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("DRAFT")));

    r.finished = false;
    r.calibrated = true;
    text = TextOf(r);
    EXPECT_TRUE(text.contains(QStringLiteral("DRAFT — the record is not finished; this is not a valid certificate"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Result: PENDING — adjusted; the As-Left check is not complete"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("PASS —")));
    EXPECT_TRUE(text.contains(QStringLiteral("DRAFT · Certificate KV-2026-0007 · page 1 of 1")));
}

// What a lab's certificate carries beside each result: every reference's U
// as typed (with its unit when only the number was typed), each point's U in
// % of span (none while a reference's U is missing), the decision rule, and
// the approver in place of the empty line once approved.
TEST_F(CertificateTest, UncertaintyDecisionRuleAndApprover)
{
    TRecord r = Sample();
    r.technician = QStringLiteral("Kovács Éva");
    const auto squeezed = [&] { return TextOf(r).simplified(); };
    QString text = squeezed();
    EXPECT_TRUE(text.contains(QStringLiteral("U (k = 2) % of span"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Pressure standard — — — not stated"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("125.0 12.0000 12 — — 0.000 — PASS"))) << "no U without the references' U: " << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Approved by: Signature and date"))) << text.toStdString();

    r.references[0].uncertainty = QStringLiteral("0.25");
    r.references[1].uncertainty = QStringLiteral("0.006 mA");
    r.references[2].uncertainty = QStringLiteral("0.3 °C / 2 % RH");
    for (TPoint &p : r.entered) {
        p.milliAmps = ParseDecimal(p.milliAmps.Text() + ".004", 4).value(); // 12.004: the first worked case of the arithmetic
        p.instrumentSpreadMilliAmps = 0.002;
    }
    r.entered[2].applied = D("125.0");
    r.approvedBy = QStringLiteral("Nagy Anna");
    r.approvedAt = QDateTime(QDate(2026, 12, 10), QTime(13, 5), Qt::UTC);
    text = squeezed();
    EXPECT_TRUE(text.contains(QStringLiteral("0.25 Pa"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("0.006 mA"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("0.3 °C / 2 % RH"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("12.0000 12.004 — — 0.025 ± 0.113 PASS"))) << text.toStdString();
    EXPECT_EQ(text.count(QStringLiteral("± 0.113")), 5) << "one U per point";
    EXPECT_TRUE(text.contains(QStringLiteral("Decision rule: simple acceptance. A point passes when the magnitude of its error is within the "
                                             "tolerance of ± 0.25 % of span; the expanded uncertainty U is stated beside each result and is "
                                             "not deducted from the tolerance (no guard band).")))
        << text.toStdString();
    const QString at = r.approvedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    EXPECT_TRUE(text.contains(QStringLiteral("Approved by Nagy Anna on %1").arg(at))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("Approved by: Signature")));
    EXPECT_TRUE(text.contains(QStringLiteral("page 1 of 1"))) << "it still fits one page";
}

// The record's language, whatever the process speaks: Hungarian with the
// decimal comma, English as before, both side by side with the point (one
// number format on one certificate), on as many pages as the content takes.
TEST_F(CertificateTest, EachRecordInItsOwnLanguage)
{
    TRecord r = Sample();
    r.technician = QStringLiteral("Kovács Éva");
    r.ambientTemperature = QStringLiteral("23.5");
    const auto text = [&](TCertificateLanguage language) {
        r.certificateLanguage = language;
        return TextOf(r).simplified();
    };

    const QString hu = text(TCertificateLanguage::Hungarian);
    for (const char *heading : {"Kalibrálási bizonyítvány", "Műszer és ellenőrzés", "Referencia műszerek", "Eredmények átvételi állapotban",
                                "Döntési szabály", "Aláírás és dátum", "MEGFELELT", "Nyomás etalon"})
        EXPECT_TRUE(hu.contains(QString::fromUtf8(heading))) << heading << ": " << hu.toStdString();
    EXPECT_FALSE(hu.contains(QStringLiteral("Calibration Certificate"))) << hu.toStdString();
    EXPECT_FALSE(hu.contains(QStringLiteral("PASS"))) << hu.toStdString();
    EXPECT_TRUE(hu.contains(QStringLiteral("62,5 8,0000 8"))) << "the decimal comma: " << hu.toStdString();
    EXPECT_TRUE(hu.contains(QStringLiteral("23,5 °C"))) << hu.toStdString();
    EXPECT_FALSE(hu.contains(QStringLiteral("62.5"))) << hu.toStdString();

    const QString en = text(TCertificateLanguage::English);
    for (const char *heading : {"Calibration Certificate", "Instrument and check", "Reference instruments", "As-Found results", "Decision rule",
                                "Signature and date", "PASS", "Pressure standard"})
        EXPECT_TRUE(en.contains(QString::fromUtf8(heading))) << heading << ": " << en.toStdString();
    EXPECT_FALSE(en.contains(QStringLiteral("Kalibrálási"))) << en.toStdString();
    EXPECT_TRUE(en.contains(QStringLiteral("62.5 8.0000 8"))) << en.toStdString();
    EXPECT_TRUE(en.contains(QStringLiteral("page 1 of 1"))) << en.toStdString();

    const QString both = text(TCertificateLanguage::Bilingual);
    for (const char *heading : {"Kalibrálási bizonyítvány", "Calibration Certificate", "Műszer és ellenőrzés / Instrument and check",
                                "Eredmények átvételi állapotban / As-Found results", "Döntési szabály", "Decision rule", "MEGFELELT", "PASS",
                                "Nyomás etalon", "Pressure standard"})
        EXPECT_TRUE(both.contains(QString::fromUtf8(heading))) << heading << ": " << both.toStdString();
    EXPECT_TRUE(both.contains(QStringLiteral("62.5 8.0000 8"))) << "one format, the point: " << both.toStdString();
    EXPECT_FALSE(both.contains(QStringLiteral("62,5"))) << both.toStdString();
    EXPECT_TRUE(both.contains(QStringLiteral("23.5 °C"))) << both.toStdString();
}

} // namespace
