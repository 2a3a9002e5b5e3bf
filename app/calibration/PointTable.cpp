#include "PointTable.h"

#include "FieldLook.h"

#include <QEvent>
#include <QHeaderView>

using namespace calib;

namespace {

QTableWidgetItem *Cell(const QString &text, bool editable = false, Qt::Alignment align = Qt::AlignRight | Qt::AlignVCenter)
{
    auto *item = new QTableWidgetItem(text);
    item->setTextAlignment(align);
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (editable)
        flags |= Qt::ItemIsEditable;
    item->setFlags(flags);
    return item;
}

QString UncertaintyText(const TRecord &record, const TPoint *p)
{
    const std::optional<TUncertainty> u = p ? record.Uncertainty(*p) : std::nullopt;
    return u ? QStringLiteral("± ") + QString::fromStdString(FormatUncertainty(u->expandedPercent)) : p ? QStringLiteral("—") : QString();
}

} // namespace

TPointTable::TPointTable(TPhase phase, QWidget *parent) : QTableWidget(0, ColCount, parent), m_phase(phase)
{
    setHorizontalHeaderLabels(QStringList(ColCount, QString()));
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    horizontalHeader()->setSectionResizeMode(ColNo, QHeaderView::ResizeToContents);
    // The verdict is read at a glance: never cut ("NEM FELELT MEG" is the longest).
    horizontalHeader()->setSectionResizeMode(ColResult, QHeaderView::ResizeToContents);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::AllEditTriggers);
    Retranslate();
    connect(this, &QTableWidget::cellChanged, this, &TPointTable::OnCellChanged);
}

void TPointTable::Retranslate()
{
    const QString titles[ColCount] = {QStringLiteral("#"), tr("% span"), tr("Nominal"), tr("Applied"), tr("Ammeter mA"), tr("Instrument"),
                                      tr("Instr. mA"), tr("Stable"), tr("Expected mA"), tr("Error % span"), tr("U % span"), tr("Result")};
    for (int c = 0; c < ColCount; ++c)
        horizontalHeaderItem(c)->setText(titles[c]);
    horizontalHeaderItem(ColApplied)->setToolTip(tr("The reference pressure applied, as read on the standard"));
    horizontalHeaderItem(ColAmmeter)->setToolTip(tr("The loop current read on the reference ammeter"));
    horizontalHeaderItem(ColInstrument)->setToolTip(tr("What the instrument reports, averaged over its last polls"));
    horizontalHeaderItem(ColUncertainty)
        ->setToolTip(tr("Expanded uncertainty (k = 2) of the error in % of span: the references' stated U, the last digit of each reading and "
                        "the instrument's repeatability. \"—\": type the pressure standard's and the ammeter's U in the "
                        "reference instruments, or the point was entered before a full set of polls."));
    // The verdicts shown, from what each row holds.
    const QSignalBlocker block(this);
    for (int row = 0; row < rowCount(); ++row)
        if (QTableWidgetItem *result = item(row, ColResult); result && result->data(Qt::UserRole).toInt() > 0)
            result->setText(result->data(Qt::UserRole).toInt() == int(TVerdict::Pass) ? tr("PASS") : tr("FAIL"));
}

void TPointTable::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        Retranslate();
    QTableWidget::changeEvent(event);
}

void TPointTable::OnCellChanged(int row, int column)
{
    if (m_filling || (column != ColApplied && column != ColAmmeter))
        return;
    const QString applied = item(row, ColApplied) ? item(row, ColApplied)->text().trimmed() : QString();
    const QString mA = item(row, ColAmmeter) ? item(row, ColAmmeter)->text().trimmed() : QString();
    if (applied.isEmpty() || mA.isEmpty())
        return; // the other half is still to come
    QMetaObject::invokeMethod(this, [this, row, applied, mA] { emit PointTyped(row, applied, mA); }, Qt::QueuedConnection);
}

void TPointTable::Show(const TRecord &record, bool hasRecord, const std::optional<TSpan> &span)
{
    m_filling = true;
    const QSignalBlocker block(this);
    const std::vector<TDecimal> seq = hasRecord ? record.Sequence() : std::vector<TDecimal>{};
    setRowCount(int(seq.size()));
    const bool open = hasRecord && !record.finished;
    for (int row = 0; row < int(seq.size()); ++row) {
        const TPoint *p = record.Find(m_phase, row);
        const bool down = record.hysteresis && row >= int(record.points.size());
        setItem(row, ColNo, Cell(QString::number(row + 1) + (down ? QStringLiteral(" ↓") : QString()), false, Qt::AlignLeft | Qt::AlignVCenter));
        setItem(row, ColPercent, Cell(QString::fromStdString(seq[size_t(row)].Text())));
        setItem(row, ColNominal, Cell(span ? QString::fromStdString(span->At(seq[size_t(row)]).Text()) : QString()));
        setItem(row, ColApplied, Cell(p ? QString::fromStdString(p->applied.Text()) : QString(), open));
        setItem(row, ColAmmeter, Cell(p ? QString::fromStdString(p->milliAmps.Text()) : QString(), open));
        setItem(row, ColInstrument, Cell(p && p->instrumentValue ? Fixed(*p->instrumentValue, (span ? span->decimals : 1) + 1) : QString()));
        setItem(row, ColInstrumentMa, Cell(p && p->instrumentMilliAmps ? Fixed(*p->instrumentMilliAmps, 3) : QString()));
        setItem(row, ColStable, Cell(p ? (p->stable ? QStringLiteral("✓") : tr("no")) : QString(), false, Qt::AlignCenter));
        std::optional<TPointResult> res;
        if (p)
            res = record.Result(*p);
        setItem(row, ColExpected, Cell(res ? Fixed(res->expectedMilliAmps, 4) : QString()));
        setItem(row, ColError, Cell(res ? QString::fromStdString(FormatError(res->errorPercent, res->pass, record.tolerance)) : QString()));
        setItem(row, ColUncertainty, Cell(UncertaintyText(record, p)));
        auto *result = Cell(res ? (res->pass ? tr("PASS") : tr("FAIL")) : QString(), false, Qt::AlignCenter);
        if (res) {
            result->setForeground(QColor(Colour(window(), res->pass ? TVerdict::Pass : TVerdict::Fail)));
            QFont bold = result->font();
            bold.setBold(true);
            result->setFont(bold);
        }
        result->setData(Qt::UserRole, res ? int(res->pass ? TVerdict::Pass : TVerdict::Fail) : -1); // for a change of language
        setItem(row, ColResult, result);
        const QString tip = span ? tr("Apply %1 %2 (%3 % of span), type the applied value and the ammeter's reading")
                                       .arg(QString::fromStdString(span->At(seq[size_t(row)]).Text()), record.unit,
                                            QString::fromStdString(seq[size_t(row)].Text()))
                                 : QString();
        item(row, ColApplied)->setToolTip(tip);
    }
    m_filling = false;
}

void TPointTable::ShowUncertainty(const TRecord &record)
{
    const QSignalBlocker block(this);
    for (int row = 0; row < rowCount(); ++row)
        if (QTableWidgetItem *cell = item(row, ColUncertainty))
            cell->setText(UncertaintyText(record, record.Find(m_phase, row)));
}

void TPointTable::ShowLive(const TRecord &record, const QString &value, const QString &milliAmps, const QString &stable)
{
    const QSignalBlocker block(this);
    for (int row = 0; row < rowCount(); ++row) {
        if (record.Find(m_phase, row) || !item(row, ColInstrument))
            continue;
        item(row, ColInstrument)->setText(value);
        item(row, ColInstrumentMa)->setText(milliAmps);
        item(row, ColStable)->setText(stable);
        for (int c : {ColInstrument, ColInstrumentMa, ColStable})
            item(row, c)->setForeground(window()->palette().color(QPalette::PlaceholderText));
    }
}

void TPointTable::SetOpen(bool hasRecord, bool open)
{
    setEnabled(hasRecord);
    setEditTriggers(open ? QAbstractItemView::AllEditTriggers : QAbstractItemView::NoEditTriggers);
}

void TPointTable::MarkResult(int row, const QString &text)
{
    if (QTableWidgetItem *cell = item(row, ColResult)) {
        const QSignalBlocker block(this);
        cell->setText(text);
    }
}

void TPointTable::NextPoint(int index)
{
    if (index + 1 < rowCount())
        setCurrentCell(index + 1, ColApplied);
}
