// One phase's test points in the calibration record window (As-Found or
// As-Left): what is to be applied, what was entered with the instrument's own
// reading beside it, and each point's result. The rows not entered yet show
// what the instrument says now.
#pragma once

#include "CalibrationRecord.h"

#include <QTableWidget>

#include <optional>

class TPointTable : public QTableWidget
{
    Q_OBJECT

public:
    enum TColumn { ColNo, ColPercent, ColNominal, ColApplied, ColAmmeter, ColInstrument, ColInstrumentMa, ColStable,
                   ColExpected, ColError, ColUncertainty, ColResult, ColCount };

    TPointTable(calib::TPhase phase, QWidget *parent);

    // The record's points of this phase (none without a record); span: the
    // phase's own, else the instrument's now (for the nominal values).
    void Show(const calib::TRecord &record, bool hasRecord, const std::optional<calib::TSpan> &span);
    // Each entered point's U again (the references' U changed); the rest, typed or not, stays.
    void ShowUncertainty(const calib::TRecord &record);
    // The instrument's reading now in the rows not entered yet (empty texts: no reading to show).
    void ShowLive(const calib::TRecord &record, const QString &value, const QString &milliAmps, const QString &stable);
    // open: points can be typed; hasRecord: the table is in use at all.
    void SetOpen(bool hasRecord, bool open);
    // A word in a row's result ("not saved", "not entered").
    void MarkResult(int row, const QString &text);
    // On to the point after index, when there is one.
    void NextPoint(int index);

signals:
    // Both values of a row are typed: the point is to be entered (queued, not
    // from inside the item's own change, as entering it redraws the table).
    void PointTyped(int row, const QString &applied, const QString &milliAmps);

protected:
    void changeEvent(QEvent *event) override;

private:
    // The column titles and tips in the window's language.
    void Retranslate();
    void OnCellChanged(int row, int column);

    calib::TPhase m_phase;
    bool m_filling = false; // the table fills itself: no typing to act on
};
