// The calibration guide: the eleven steps of the calibration page as a
// checklist beside the main window. It only watches: the window's ended
// transactions tick a step when the instrument has acknowledged its request;
// it sends nothing itself.
#pragma once

#include "KV508Settle.h"
#include "KV508Snapshot.h"
#include "MB.h"

#include <QElapsedTimer>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

class QLabel;
class QListWidget;
class QToolButton;
class TForm1;

class TCalibrationGuide : public QWidget
{
    Q_OBJECT

public:
    static constexpr int StepCount = 11;

    explicit TCalibrationGuide(TForm1 &form);

    // The step to do now (0-based); StepCount once all are done.
    int CurrentStep() const;
    bool StepDone(int step) const { return m_steps[static_cast<size_t>(step)].done; }
    QString StepNote(int step) const { return Said(m_steps[static_cast<size_t>(step)].note); }
    // What the poll after the last Reset showed; empty until then.
    QString Result() const { return Said(m_result); }
    bool Calibrated() const { return m_calibrated; }
    // Whether the instrument's reading has stopped moving over its averaging window.
    bool Settled() const { return m_settle && m_settle->Settled(); }
    QString Status() const { return Said(m_status); }

    void StartOver();

protected:
    void changeEvent(QEvent *event) override;

private:
    // A text kept as what makes it, so a change of language says it anew.
    using TSaying = std::function<QString()>;
    static QString Said(const TSaying &saying) { return saying ? saying() : QString(); }

    struct TStepState {
        bool done = false;
        TSaying note; // what the instrument confirmed, or a warning
    };

    void Transaction(quint8 command, TMBStatus status, const kv508::TInstrumentSnapshot &instrument);
    void PortChanged(bool open);
    void Poll(const kv508::TInstrumentSnapshot &instrument);
    void Acknowledged(quint8 command, const kv508::TInstrumentSnapshot &instrument);
    void CheckStateSteps();
    void Tick(int step, TSaying note);
    TSaying SelectionNote() const;
    void Show();
    QString SettledText() const;

    TForm1 &m_form;
    std::array<TStepState, StepCount> m_steps{};
    std::optional<kv508::TSettle> m_settle;
    uint16_t m_averaging = 0; // of the settings last read: the settling's window
    QElapsedTimer m_clock;
    int m_pollsSinceForce = 0; // polls answered since the force button last changed
    bool m_awaitingResult = false;
    bool m_calibrated = false;
    TSaying m_result, m_status;

    QLabel *m_heading = nullptr;
    QToolButton *m_startOver = nullptr;
    QListWidget *m_list = nullptr;
    QLabel *m_settled = nullptr;
    QLabel *m_resultLabel = nullptr;
    QLabel *m_statusLabel = nullptr;
};
