#include "Certificate.h"

#include "CertificateWords.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>
#include <QBuffer>
#include <QSaveFile>
#include <QFileInfo>
#include <QDir>

#include <functional>

namespace calib {

namespace {

using namespace words;

constexpr int kDpi = 600; // the PDF's; a printer paints at its own
constexpr double kMarginMm = 18.0, kTopMm = 14.0, kBottomMm = 16.0;
const QColor kInk(0x1a, 0x1a, 0x1a);
const QColor kMuted(0x5f, 0x63, 0x68);
const QColor kRule(0xb0, 0xb4, 0xb8);
const QColor kShade(0xee, 0xf1, 0xf4);
const QColor kPass(0x1b, 0x5e, 0x20);
const QColor kFail(0xb7, 0x1c, 0x1c);
const QColor kPassFill(0xe8, 0xf5, 0xe9);
const QColor kFailFill(0xfd, 0xec, 0xea);

// The page being painted: its device's resolution and paper (A4 for the PDF,
// what the print dialog chose for a printer). Per thread: the PDF is written on
// the store's thread while a preview may paint on the window's.
struct TPage {
    double dpi = kDpi;
    double widthMm = 210.0;
    double heightMm = 297.0;
};
thread_local TPage t_page;

double Mm(double mm)
{
    return mm * t_page.dpi / 25.4;
}

QString Or(const QString &text, const QString &fallback = QStringLiteral("—"))
{
    return text.trimmed().isEmpty() ? fallback : text;
}

QString DateOr(const QDate &d)
{
    return d.isValid() ? d.toString(Qt::ISODate) : QStringLiteral("—");
}

QString Fixed(double v, int decimals)
{
    QString t = QString::number(v, 'f', decimals);
    if (t.startsWith(QLatin1Char('-')) && t.mid(1).remove(QLatin1Char('0')).remove(QLatin1Char('.')).isEmpty())
        t.remove(0, 1);
    return t;
}

// A sheet with a cursor running down the page; a block that would cross the
// bottom margin starts a new page with the running head.
class TSheet
{
public:
    TSheet(QPagedPaintDevice &writer, QPainter &painter, std::function<void(TSheet &)> runningHead, std::function<void(TSheet &)> foot)
        : m_writer(writer), m_p(painter), m_head(std::move(runningHead)), m_foot(std::move(foot))
    {
        m_y = Mm(kTopMm);
    }

    QPainter &P() { return m_p; }
    double Y() const { return m_y; }
    void Down(double mm) { m_y += Mm(mm); }
    void SetY(double y) { m_y = y; }
    double Left() const { return Mm(kMarginMm); }
    double Width() const { return Mm(t_page.widthMm - 2 * kMarginMm); }
    int Page() const { return m_page; }

    void Ensure(double mm)
    {
        if (m_y + Mm(mm) <= Mm(t_page.heightMm - kBottomMm))
            return;
        Foot();
        m_writer.newPage();
        ++m_page;
        m_y = Mm(kTopMm);
        if (m_head)
            m_head(*this);
    }

    void Foot()
    {
        const double y = m_y;
        m_y = Mm(t_page.heightMm - kBottomMm + 7);
        m_foot(*this);
        m_y = y;
    }

    void Font(double points, bool bold = false, const QColor &colour = kInk, bool italic = false)
    {
        QFont f(QStringLiteral("Liberation Sans"));
        f.setStyleHint(QFont::SansSerif);
        f.setPointSizeF(points);
        f.setBold(bold);
        f.setItalic(italic);
        m_p.setFont(f);
        m_p.setPen(colour);
    }

    double LineHeight() const { return QFontMetricsF(m_p.font(), &m_writer).height(); }

    // Text in a box; returns the height used.
    double Text(double x, double width, const QString &text, int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap)
    {
        const QRectF r(x, m_y, width, Mm(200));
        const QRectF used = m_p.boundingRect(r, flags, text);
        m_p.drawText(QRectF(x, m_y, width, used.height()), flags, text);
        return used.height();
    }

    // Text of any length from the cursor down, line by line, onto as many
    // pages as it takes (a box would clip what does not fit).
    void Flow(double x, double width, const QString &text)
    {
        const QFont font = m_p.font();
        const QPen pen = m_p.pen();
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        QString plain = text;
        plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        // A piece at a time: one layout of a megabyte takes time growing with
        // the square of its length. A piece's last line may be cut short, so
        // it starts the next piece instead.
        constexpr qsizetype kPiece = 4096;
        for (const QString &paragraph : plain.split(QLatin1Char('\n'))) {
            for (qsizetype at = 0;;) {
                qsizetype size = std::min(kPiece, paragraph.size() - at);
                const bool end = at + size == paragraph.size();
                if (!end && paragraph.at(at + size - 1).isHighSurrogate())
                    --size;
                QTextLayout layout(paragraph.mid(at, size), font, &m_writer);
                layout.setTextOption(option);
                layout.beginLayout();
                for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine())
                    line.setLineWidth(width);
                layout.endLayout();
                const int lines = end || layout.lineCount() == 1 ? layout.lineCount() : layout.lineCount() - 1;
                for (int i = 0; i < lines; ++i) {
                    const QTextLine line = layout.lineAt(i);
                    if (m_y + line.height() > Mm(t_page.heightMm - kBottomMm)) {
                        Ensure(line.height() / Mm(1) + 1);
                        m_p.setFont(font);
                        m_p.setPen(pen);
                    }
                    line.draw(&m_p, QPointF(x, m_y - line.y()));
                    m_y += line.height();
                    at += line.textLength();
                }
                if (end)
                    break;
            }
        }
    }

    void Rule(const QColor &colour = kRule, double widthMm = 0.25)
    {
        m_p.setPen(QPen(colour, Mm(widthMm)));
        m_p.drawLine(QPointF(Left(), m_y), QPointF(Left() + Width(), m_y));
    }

private:
    QPagedPaintDevice &m_writer;
    QPainter &m_p;
    std::function<void(TSheet &)> m_head;
    std::function<void(TSheet &)> m_foot;
    double m_y = 0;
    int m_page = 1;
};

void SectionTitle(TSheet &s, const char *title)
{
    s.Ensure(14);
    s.Down(2.2);
    s.Font(10, true);
    s.Text(s.Left(), s.Width(), Line(title));
    s.Down(4.9);
    s.Rule(kInk, 0.35);
    s.Down(1.4);
}

// A label in each language: the first as labels are, the second (English
// beside Hungarian) smaller and in italics under it. Returns the height used.
double Label(TSheet &s, double x, double width, const QStringList &texts)
{
    const double y = s.Y();
    double h = 0;
    for (int i = 0; i < texts.size(); ++i) {
        s.Font(i == 0 ? 8.5 : 7.5, false, kMuted, i > 0);
        s.SetY(y + h);
        h += s.Text(x, width, texts.at(i));
    }
    s.SetY(y);
    return h;
}

// A paragraph in each language, the second smaller and in italics.
void Paragraph(TSheet &s, const QStringList &texts, double points, const QColor &colour = kInk)
{
    for (int i = 0; i < texts.size(); ++i) {
        s.Font(i == 0 ? points : points - 0.5, false, colour, i > 0);
        s.Down(s.Text(s.Left(), s.Width(), texts.at(i)) / Mm(1) + (i + 1 == texts.size() ? 1 : 0.6));
    }
}

// Label: value pairs in two columns.
void Fields(TSheet &s, const QList<QPair<QStringList, QString>> &fields)
{
    const double colWidth = s.Width() / 2;
    const double labelWidth = Mm(38);
    for (int i = 0; i < fields.size(); i += 2) {
        s.Ensure(Bilingual() ? 8 : 6);
        double h = 0;
        for (int c = 0; c < 2 && i + c < fields.size(); ++c) {
            const double x = s.Left() + c * colWidth;
            h = std::max(h, Label(s, x, labelWidth - Mm(1), fields[i + c].first));
            s.Font(9);
            h = std::max(h, s.Text(x + labelWidth, colWidth - labelWidth - Mm(3), fields[i + c].second));
        }
        s.SetY(s.Y() + std::max(h, Mm(4.2)) + Mm(Bilingual() ? 1.0 : 0.4));
    }
}

struct TColumn {
    QString title;
    double widthMm;
    Qt::Alignment align;
};

void Table(TSheet &s, const QList<TColumn> &columns, const QList<QStringList> &rows, const QList<int> &verdictColumn = {},
           const QList<int> &rowFail = {})
{
    double total = 0;
    for (const TColumn &c : columns)
        total += c.widthMm;
    const double scale = s.Width() / Mm(total);
    const double pad = Mm(0.8);
    const auto drawRow = [&](const QStringList &cells, bool header, int rowIndex) {
        s.Font(header ? 7.6 : 8.4, header, header ? kInk : kInk);
        double h = 0;
        double x = s.Left();
        for (int c = 0; c < columns.size(); ++c) {
            const double w = Mm(columns[c].widthMm) * scale;
            const QRectF r = s.P().boundingRect(QRectF(x + pad, s.Y(), w - 2 * pad, Mm(40)),
                                                int(columns[c].align) | Qt::AlignTop | Qt::TextWordWrap, cells.value(c));
            h = std::max(h, r.height());
            x += w;
        }
        h += 2 * pad;
        s.Ensure(h / Mm(1) + 1);
        if (header)
            s.P().fillRect(QRectF(s.Left(), s.Y(), s.Width(), h), kShade);
        else if (rowIndex % 2 == 1)
            s.P().fillRect(QRectF(s.Left(), s.Y(), s.Width(), h), QColor(0xf8, 0xf9, 0xfa));
        x = s.Left();
        for (int c = 0; c < columns.size(); ++c) {
            const double w = Mm(columns[c].widthMm) * scale;
            QColor colour = kInk;
            bool bold = header;
            if (!header && verdictColumn.contains(c)) {
                colour = rowFail.value(rowIndex) == 1 ? kFail : rowFail.value(rowIndex) == 0 ? kPass : kInk;
                bold = true;
            }
            s.Font(header ? 7.6 : 8.4, bold, colour);
            s.P().drawText(QRectF(x + pad, s.Y() + pad, w - 2 * pad, h - 2 * pad),
                           int(columns[c].align) | Qt::AlignVCenter | Qt::TextWordWrap, cells.value(c));
            x += w;
        }
        s.SetY(s.Y() + h);
        s.P().setPen(QPen(kRule, Mm(0.15)));
        s.P().drawLine(QPointF(s.Left(), s.Y()), QPointF(s.Left() + s.Width(), s.Y()));
    };
    QStringList titles;
    for (const TColumn &c : columns)
        titles << c.title;
    drawRow(titles, true, -1);
    for (int i = 0; i < rows.size(); ++i)
        drawRow(rows[i], false, i);
}


// A column's title: each language's on lines of its own.
QString Title(const char *source, const QString &unit = QString())
{
    return (unit.isEmpty() ? Words(source) : Arg(Words(source), unit)).join(QLatin1Char('\n'));
}

void PhaseTable(TSheet &s, const TRecord &r, TPhase phase)
{
    const std::optional<TSpan> &span = r.span[int(phase)];
    const int valueDecimals = span ? span->decimals : 1;
    const QString unit = r.unit;
    QList<QStringList> rows;
    QList<int> fail;
    const std::vector<TDecimal> seq = r.Sequence();
    const QString passed = Verdict(TVerdict::Pass).join(QLatin1Char('\n'));
    const QString failed = Verdict(TVerdict::Fail).join(QLatin1Char('\n'));
    for (int i = 0; i < int(seq.size()); ++i) {
        const TPoint *p = r.Find(phase, i);
        const bool down = r.hysteresis && i >= int(r.points.size());
        QStringList row{QString::number(i + 1) + (down ? QStringLiteral(" ↓") : QString()), Number(seq[size_t(i)].Text())};
        if (!p) {
            row << Line(QT_TRANSLATE_NOOP("Certificate", "not measured")) << QString() << QString() << QString() << QString() << QString()
                << QString() << QString();
            fail << -1;
        } else {
            const std::optional<TPointResult> res = r.Result(*p);
            row << Number(p->applied.Text()) << (res ? Number(Fixed(res->expectedMilliAmps, 4)) : QStringLiteral("—"))
                << Number(p->milliAmps.Text())
                << (p->instrumentValue ? Number(Fixed(*p->instrumentValue, valueDecimals)) : QStringLiteral("—"))
                << (p->instrumentMilliAmps ? Number(Fixed(*p->instrumentMilliAmps, 3)) : QStringLiteral("—"))
                << (res ? Number(FormatError(res->errorPercent, res->pass, r.tolerance)) : QStringLiteral("—"))
                << UncertaintyText(r, *p) << (res ? (res->pass ? passed : failed) : QStringLiteral("—"));
            fail << (res ? (res->pass ? 0 : 1) : -1);
        }
        rows << row;
    }
    const Qt::Alignment right = Qt::AlignRight;
    Table(s,
          {{QStringLiteral("#"), EnglishOnly() ? 8.0 : 6.0, Qt::AlignLeft},
           {Title(QT_TRANSLATE_NOOP("Certificate", "Point\n% of span")), EnglishOnly() ? 15.0 : 14.0, right},
           {Title(QT_TRANSLATE_NOOP("Certificate", "Applied\n%1"), unit), 19, right},
           {Title(QT_TRANSLATE_NOOP("Certificate", "Expected\nmA")), 18, right},
           {Title(QT_TRANSLATE_NOOP("Certificate", "Measured\nmA (ref.)")), 19, right},
           {Title(QT_TRANSLATE_NOOP("Certificate", "Instrument\nshows %1"), unit), 20, right},
           {Title(QT_TRANSLATE_NOOP("Certificate", "Instrument\nreports mA")), 19, right},
           {Title(QT_TRANSLATE_NOOP("Certificate", "Error\n% of span")), 18, right},
           {Title(QT_TRANSLATE_NOOP("Certificate", "U (k = 2)\n% of span")), 17, right},
           // Wide enough for "MEGFELELT" where Hungarian is printed.
           {Title(QT_TRANSLATE_NOOP("Certificate", "Result")), EnglishOnly() ? 14.0 : 20.0, Qt::AlignHCenter}},
          rows, {9}, fail);
}

void VerdictLine(TSheet &s, const char *phase, TVerdict verdict)
{
    s.Ensure(8);
    s.Down(1.5);
    s.Font(9, true, verdict == TVerdict::Pass ? kPass : verdict == TVerdict::Fail ? kFail : kInk);
    const QString text = QStringLiteral("%1: %2").arg(Line(phase), Verdict(verdict).join(QStringLiteral(" / ")));
    s.Down(std::max(s.Text(s.Left(), s.Width(), text) / Mm(1) + 1, 5.0));
}

// The overall verdict in its box.
void OverallBox(TSheet &s, const TRecord &r)
{
    const TVerdict overall = r.Overall();
    const QString tolerance = Number(r.tolerance.Text());
    const bool asLeft = r.HasPoints(TPhase::AsLeft);
    QStringList verdict;
    switch (overall) {
    case TVerdict::Pass:
        verdict = Arg(asLeft ? Words(QT_TRANSLATE_NOOP("Certificate", "Result: PASS — within ± %1 % of span as left"))
                             : Words(QT_TRANSLATE_NOOP("Certificate", "Result: PASS — within ± %1 % of span as found")),
                      tolerance);
        break;
    case TVerdict::Fail:
        verdict = Arg(asLeft ? Words(QT_TRANSLATE_NOOP("Certificate", "Result: FAIL — outside ± %1 % of span as left"))
                             : Words(QT_TRANSLATE_NOOP("Certificate", "Result: FAIL — outside ± %1 % of span as found")),
                      tolerance);
        break;
    case TVerdict::Pending: verdict = Words(QT_TRANSLATE_NOOP("Certificate", "Result: PENDING — adjusted; the As-Left check is not complete")); break;
    default: verdict = Words(QT_TRANSLATE_NOOP("Certificate", "Result: INCOMPLETE — not every test point was measured")); break;
    }
    QStringList summary;
    const QStringList found = Verdict(r.Verdict(TPhase::AsFound)), left = Verdict(r.Verdict(TPhase::AsLeft));
    const QStringList pattern = Words(QT_TRANSLATE_NOOP("Certificate", "As-Found %1 · As-Left %2"));
    for (int i = 0; i < pattern.size(); ++i)
        summary << pattern.at(i).arg(found.at(i), left.at(i));

    const QColor ink = overall == TVerdict::Pass ? kPass : overall == TVerdict::Fail ? kFail : kInk;
    const QColor fill = overall == TVerdict::Pass ? kPassFill : overall == TVerdict::Fail ? kFailFill : kShade;
    const double inner = s.Width() - Mm(8);
    // Measured first: the box holds every line of either language.
    double height = Mm(2.2 + 1.6);
    for (int i = 0; i < verdict.size(); ++i) {
        s.Font(i == 0 ? 12 : 9, true, ink, i > 0);
        height += s.P().boundingRect(QRectF(0, 0, inner, Mm(60)), Qt::TextWordWrap, verdict.at(i)).height() + Mm(0.6);
    }
    s.Font(8, false, kMuted);
    height += s.P().boundingRect(QRectF(0, 0, inner, Mm(60)), Qt::TextWordWrap, summary.join(QStringLiteral("  ·  "))).height();
    height = std::max(height, Mm(13));
    s.Ensure(height / Mm(1) + 9);
    s.Down(3);
    const QRectF box(s.Left(), s.Y(), s.Width(), height);
    s.P().fillRect(box, fill);
    s.P().setPen(QPen(ink, Mm(0.5)));
    s.P().drawRect(box);
    s.SetY(s.Y() + Mm(2.2));
    for (int i = 0; i < verdict.size(); ++i) {
        s.Font(i == 0 ? 12 : 9, true, ink, i > 0);
        s.SetY(s.Y() + s.Text(s.Left() + Mm(4), inner, verdict.at(i)) + Mm(0.6));
    }
    s.Font(8, false, kMuted);
    s.Text(s.Left() + Mm(4), inner, summary.join(QStringLiteral("  ·  ")));
    s.SetY(box.bottom() + Mm(3));
}

// The issuer, the title and the number; a draft says so under them.
void TitleBlock(TSheet &s, const TRecord &r, const TIssuer &issuer, const QString &certificate)
{
    s.Font(8.5, true, kMuted);
    s.Text(s.Left(), s.Width() * 0.6, issuer.name);
    s.Font(8.5, false, kMuted);
    s.Text(s.Left() + s.Width() * 0.4, s.Width() * 0.6, Line(QT_TRANSLATE_NOOP("Certificate", "Certificate no.")), Qt::AlignRight | Qt::AlignTop);
    s.Down(4.2);
    const QStringList title = Words(QT_TRANSLATE_NOOP("Certificate", "Calibration Certificate"));
    s.Font(19, true);
    double titleHeight = s.Text(s.Left(), s.Width() * 0.7, title.first());
    s.Font(13, true);
    s.Text(s.Left() + s.Width() * 0.45, s.Width() * 0.55, certificate, Qt::AlignRight | Qt::AlignTop);
    if (title.size() > 1) {
        s.SetY(s.Y() + titleHeight);
        s.Font(12, false, kMuted, true);
        titleHeight = s.Text(s.Left(), s.Width() * 0.7, title.at(1)) + Mm(1);
    }
    s.SetY(s.Y() + titleHeight);
    Paragraph(s, Words(QT_TRANSLATE_NOOP("Certificate", "KV508 I pressure transmitter, 4–20 mA output: As-Found / As-Left check against "
                                                        "reference instruments")),
              9, kMuted);
    s.Down(1.5);
    if (!r.finished) {
        // Printed from a record still open: it may change, so it certifies nothing yet.
        s.Font(10, true, kFail);
        s.Down(s.Text(s.Left(), s.Width(), Words(QT_TRANSLATE_NOOP("Certificate", "DRAFT — the record is not finished; this is not a valid "
                                                                                  "certificate")).join(QLatin1Char('\n'))) /
                   Mm(1) +
               1.5);
    }
    s.Rule(kInk, 0.6);
    s.Down(2);
}


void InstrumentSection(TSheet &s, const TRecord &r)
{
    SectionTitle(s, QT_TRANSLATE_NOOP("Certificate", "Instrument and check"));
    const QString calibratedOn = r.created.isValid() ? r.created.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QStringLiteral("—");
    const QString none = QStringLiteral("—");
    Fields(s, {{Words(QT_TRANSLATE_NOOP("Certificate", "Instrument tag")), Or(r.tag)},
               {Words(QT_TRANSLATE_NOOP("Certificate", "Serial number")), Or(r.serial)},
               {Words(QT_TRANSLATE_NOOP("Certificate", "Model")), QStringLiteral("KV508 I")},
               {Words(QT_TRANSLATE_NOOP("Certificate", "Firmware")), Or(DateCodeText(r.firmware))},
               {Words(QT_TRANSLATE_NOOP("Certificate", "Sensor")), Or(r.sensor)},
               {Words(QT_TRANSLATE_NOOP("Certificate", "Range (As-Found)")), SpanText(r, r.span[0])},
               {Words(QT_TRANSLATE_NOOP("Certificate", "Calibration date as found")), Or(DateCodeText(r.foundCalibrationDate))},
               {Words(QT_TRANSLATE_NOOP("Certificate", "Range (As-Left)")), SpanText(r, r.span[1] ? r.span[1] : r.span[0])},
               {Words(QT_TRANSLATE_NOOP("Certificate", "Date of check")), calibratedOn},
               {Words(QT_TRANSLATE_NOOP("Certificate", "Technician")), Or(r.technician)},
               {Words(QT_TRANSLATE_NOOP("Certificate", "Ambient temperature")),
                r.ambientTemperature.trimmed().isEmpty() ? none : Typed(r.ambientTemperature) + QStringLiteral(" °C")},
               {Words(QT_TRANSLATE_NOOP("Certificate", "Relative humidity")),
                r.humidity.trimmed().isEmpty() ? none : Typed(r.humidity) + QStringLiteral(" % RH")},
               {Words(QT_TRANSLATE_NOOP("Certificate", "Tolerance")), Line(QT_TRANSLATE_NOOP("Certificate", "± %1 % of span")).arg(Number(r.tolerance.Text()))},
               {Words(QT_TRANSLATE_NOOP("Certificate", "Next calibration due")), DateOr(r.nextDue)}});
    if (!r.remarks.trimmed().isEmpty()) {
        s.Ensure(6);
        const double labelHeight = Label(s, s.Left(), Mm(37), Words(QT_TRANSLATE_NOOP("Certificate", "Remarks")));
        const double top = s.Y();
        s.Font(9);
        s.Flow(s.Left() + Mm(38), s.Width() - Mm(38), r.remarks);
        s.SetY(std::max(s.Y(), top + labelHeight));
        s.Down(0.4);
    }

    SectionTitle(s, QT_TRANSLATE_NOOP("Certificate", "Reference instruments"));
    QList<QStringList> refs;
    for (const TReference &ref : r.references)
        refs << QStringList{Role(ref.role), Or(ref.name), Or(ref.serial), Or(ref.certificate), ReferenceUncertainty(r, ref), DateOr(ref.due)};
    Table(s,
          {{Title(QT_TRANSLATE_NOOP("Certificate", "Use")), 36, Qt::AlignLeft},
           {Title(QT_TRANSLATE_NOOP("Certificate", "Instrument")), 40, Qt::AlignLeft},
           {Title(QT_TRANSLATE_NOOP("Certificate", "Serial no.")), 24, Qt::AlignLeft},
           {Title(QT_TRANSLATE_NOOP("Certificate", "Certificate no.")), 28, Qt::AlignLeft},
           {QStringLiteral("U (k = 2)"), 24, Qt::AlignLeft},
           {Title(QT_TRANSLATE_NOOP("Certificate", "Due")), 22, Qt::AlignLeft}},
          refs);
}

// How PASS and FAIL were decided.
void DecisionRule(TSheet &s, const TRecord &r)
{
    s.Ensure(Bilingual() ? 24 : 14);
    Paragraph(s,
              Arg(Words(QT_TRANSLATE_NOOP("Certificate", "Decision rule: simple acceptance. A point passes when the magnitude of its error is "
                                                         "within the tolerance of ± %1 % of span; the expanded uncertainty U is stated beside "
                                                         "each result and is not deducted from the tolerance (no guard band).")),
                  Number(r.tolerance.Text())),
              8.5);
}

// As-Found, the adjustment, As-Left (when there is one to report) and the overall box.
void ResultSections(TSheet &s, const TRecord &r)
{
    SectionTitle(s, QT_TRANSLATE_NOOP("Certificate", "As-Found results"));
    PhaseTable(s, r, TPhase::AsFound);
    VerdictLine(s, QT_TRANSLATE_NOOP("Certificate", "As-Found"), r.Verdict(TPhase::AsFound));

    SectionTitle(s, QT_TRANSLATE_NOOP("Certificate", "Adjustment"));
    if (r.calibrated)
        Paragraph(s,
                  Arg(Words(QT_TRANSLATE_NOOP("Certificate", "The instrument was adjusted: input and output calibrated with the instrument's "
                                                             "eleven-step procedure. Calibration date reported by the instrument afterwards: %1.")),
                      r.newCalibrationDate ? DateCodeText(r.newCalibrationDate).chopped(1) : Line(QT_TRANSLATE_NOOP("Certificate", "not read"))),
                  9);
    else
        Paragraph(s, Words(QT_TRANSLATE_NOOP("Certificate", "No adjustment was made.")), 9);

    if (r.HasPoints(TPhase::AsLeft) || r.calibrated) {
        SectionTitle(s, QT_TRANSLATE_NOOP("Certificate", "As-Left results"));
        PhaseTable(s, r, TPhase::AsLeft);
        VerdictLine(s, QT_TRANSLATE_NOOP("Certificate", "As-Left"), r.Verdict(TPhase::AsLeft));
    }

    OverallBox(s, r);
    DecisionRule(s, r);
}

// How the results are reckoned, and the two signature lines.
void Closing(TSheet &s, const TRecord &r)
{
    s.Ensure(Bilingual() ? 28 : 16);
    Paragraph(s,
              Words(QT_TRANSLATE_NOOP("Certificate",
                                      "Expected current = 4 mA + 16 mA × (applied − lower) / (upper − lower). Error = (measured − expected) / 16 mA "
                                      "× 100 % of span. U (k = 2, about 95 % coverage): root sum of squares of the pressure standard's and the "
                                      "ammeter's stated uncertainties, the resolution of the typed readings (rectangular) and the instrument's "
                                      "repeatability (the spread of its polls); \"—\": a reference's U not stated, or too few polls. \"Instrument "
                                      "shows/reports\" are the instrument's own readings averaged over its last polls. "
                                      "The results relate only to the item calibrated at the time of the check.")),
              7.5, kMuted);
    s.Down(1);

    s.Ensure(Bilingual() ? 25 : 19); // the space to sign, the line and the lines under it
    s.Down(9);
    const double half = s.Width() / 2;
    // Approved in the record: the name and the time in place of the line to sign.
    const bool approved = !r.approvedBy.isEmpty();
    for (int c = 0; c < (approved ? 1 : 2); ++c) {
        const double x = s.Left() + c * half;
        s.P().setPen(QPen(kInk, Mm(0.3)));
        s.P().drawLine(QPointF(x, s.Y()), QPointF(x + half - Mm(12), s.Y()));
    }
    s.Down(1.2);
    s.Font(8.5, false, kMuted);
    const QString signature = Line(QT_TRANSLATE_NOOP("Certificate", "Signature and date"));
    s.Text(s.Left(), half - Mm(12), Line(QT_TRANSLATE_NOOP("Certificate", "Calibrated by:")) + QLatin1Char(' ') + Or(r.technician, QString()) +
                                        QLatin1Char('\n') + signature);
    if (!approved) {
        s.Text(s.Left() + half, half - Mm(12), Line(QT_TRANSLATE_NOOP("Certificate", "Approved by:")) + QLatin1Char('\n') + signature);
    } else {
        const QString at = r.approvedAt.isValid() ? r.approvedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QStringLiteral("—");
        s.Font(8.5, true);
        s.Text(s.Left() + half, half - Mm(12), Arg(Words(QT_TRANSLATE_NOOP("Certificate", "Approved by %1 on %2")), r.approvedBy, at).join(QLatin1Char('\n')));
    }
}

// Draws the certificate; returns the number of pages (pages: the total, for the footers).
int Render(QPagedPaintDevice &writer, QPainter &painter, const TRecord &r, const TIssuer &issuer, int pages)
{
    const QString certificate = Or(r.certificate);
    const auto runningHead = [&](TSheet &s) {
        s.Font(8, false, kMuted);
        s.Text(s.Left(), s.Width(), Line(QT_TRANSLATE_NOOP("Certificate", "Calibration certificate %1 (continued)")).arg(certificate));
        s.Down(6);
    };
    const auto foot = [&](TSheet &s) {
        s.Font(7, false, kMuted);
        // Each part in each language; the parts joined by a pattern of no language.
        const QString page = Line(QT_TRANSLATE_NOOP("Certificate", "page %1 of %2")).arg(s.Page()).arg(std::max(pages, s.Page()));
        s.Text(s.Left(), s.Width(),
               QStringLiteral("%1%2 · %3 · %4")
                   .arg(r.finished ? QString() : Line(QT_TRANSLATE_NOOP("Certificate", "DRAFT")) + QStringLiteral(" · "),
                        Line(QT_TRANSLATE_NOOP("Certificate", "Certificate %1")).arg(certificate), page, issuer.tool),
               Qt::AlignHCenter | Qt::AlignTop);
    };
    TSheet s(writer, painter, runningHead, foot);
    TitleBlock(s, r, issuer, certificate);
    InstrumentSection(s, r);
    ResultSections(s, r);
    Closing(s, r);
    s.Foot();
    return s.Page();
}

// The page's resolution and paper for painting on device, on this thread.
class TPageScope
{
public:
    explicit TPageScope(QPagedPaintDevice &device) : m_saved(t_page)
    {
        const QRectF paper = device.pageLayout().fullRect(QPageLayout::Millimeter);
        t_page = {double(device.logicalDpiY()), paper.width(), paper.height()};
    }
    ~TPageScope() { t_page = m_saved; }
    TPageScope(const TPageScope &) = delete;
    TPageScope &operator=(const TPageScope &) = delete;

private:
    TPage m_saved;
};

} // namespace

bool PaintCertificate(QPagedPaintDevice &device, const TRecord &r, const TIssuer &issuer, QString &error)
{
    const TLanguageScope language(r.certificateLanguage);
    // A first pass on a scratch PDF of the same paper counts the pages for "page n of m".
    int pages = 1;
    {
        QBuffer scratch;
        scratch.open(QIODevice::WriteOnly);
        QPdfWriter writer(&scratch);
        writer.setPageLayout(device.pageLayout());
        writer.setResolution(device.logicalDpiY());
        TPageScope page(writer);
        QPainter painter;
        if (!painter.begin(&writer)) {
            error = QStringLiteral("the pages could not be laid out");
            return false;
        }
        pages = Render(writer, painter, r, issuer, 1);
        painter.end();
    }
    TPageScope page(device);
    QPainter painter;
    if (!painter.begin(&device)) {
        error = QStringLiteral("the printer or the PDF could not be started");
        return false;
    }
    Render(device, painter, r, issuer, pages);
    if (!painter.end()) {
        error = QStringLiteral("the pages could not be finished");
        return false;
    }
    return true;
}

bool WriteCertificatePdf(const TRecord &r, const TIssuer &issuer, const QString &path, QString &error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("%1 cannot be written: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    {
        QPdfWriter writer(&file);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        writer.setResolution(kDpi);
        {
            const TLanguageScope language(r.certificateLanguage);
            writer.setTitle(Line(QT_TRANSLATE_NOOP("Certificate", "Calibration certificate %1")).arg(r.certificate));
        }
        writer.setCreator(issuer.tool);
        if (!PaintCertificate(writer, r, issuer, error))
            return false;
    }
    if (!file.commit()) {
        error = QStringLiteral("%1 could not be written: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return true;
}

} // namespace calib
