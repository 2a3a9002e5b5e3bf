// The line monitor's table: the ring's rows the filter passes, one per frame.
// The list follows the ring in batches (Sync), so a fast line costs one
// insertion and at most one removal per batch, never one per frame.
#pragma once

#include "FrameRing.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>

#include <deque>

class TMonitorModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum TColumn { ColNo, ColMs, ColTime, ColDirection, ColVerdict, ColCommand, ColRaw, ColFields, ColumnCount };

    explicit TMonitorModel(const linemon::TRing &ring, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    struct TSync {
        int removed = 0; // rows the ring dropped, from the top
        int added = 0;   // rows appended
    };
    // Drops the rows the ring no longer has and, when addNew, appends the
    // ring's new rows that the filter passes.
    TSync Sync(bool addNew);
    // The ring's rows the list has not looked at yet (paused, or hidden).
    uint64_t Unseen() const;
    // Rebuilds the list from the rows already looked at (a model reset).
    void SetFilter(const linemon::TFilter &filter);
    const linemon::TFilter &Filter() const { return m_filter; }
    // The ring was cleared.
    void Reset();

    uint64_t NumberAt(int row) const { return m_rows[std::size_t(row)]; }
    const linemon::TRow &RowAt(int row) const { return m_ring.At(NumberAt(row)); }

    // The view's base colour: verdict colours for a dark theme on a dark base,
    // and row tints mixed into it.
    void SetBase(const QColor &base);
    bool Dark() const { return m_dark; }

    // "answer", "late answer, dropped", "CRC error" ... in the language chosen.
    static QString VerdictLabel(const linemon::TRow &row);
    static QString VerdictLabel(kv508::TVerdict verdict);
    // The labels no single verdict has: an answer whose query was not seen, a slave error.
    static QStringList SpecialVerdictLabels();
    static QString VerdictExplanation(const linemon::TRow &row);
    // The verdict's colour; invalid for a plain query.
    static QColor VerdictColour(const linemon::TRow &row, bool dark);
    // The command column: "1 poll", "77", "—".
    static QString CommandText(const linemon::TRow &row);

    // The language changed: the headings and every row's texts are shown anew.
    void Retranslate();

private:
    const linemon::TRing &m_ring;
    linemon::TFilter m_filter;
    std::deque<uint64_t> m_rows; // the ring's numbers of the rows shown
    uint64_t m_scanned = 0;      // the ring's rows before this have been looked at
    bool m_dark = false;
    // Per verdict (and, last, the slave error): text colour and row tint, made
    // once per palette, not per cell painted.
    QColor m_text[kv508::VerdictCount + 1];
    QColor m_tint[kv508::VerdictCount + 1];
    QFont m_fixedFont;
    QFont m_boldFont;
};
