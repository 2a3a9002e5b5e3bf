// The line monitor window: every frame crossing the open port, one row each,
// with its times, direction, raw characters, decoded command and verdict.
// It taps the component's line from the moment it is first opened until the
// form goes, also while hidden (so reopening it shows what happened
// meanwhile), and keeps the last frames in a bounded ring; the list is brought
// up to date in batches, and only while it is shown.
#pragma once

#include "FrameExport.h"
#include "FrameRing.h"
#include "MB.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <memory>

class QAction;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QMenu;
class QTableView;
class QThread;
class QToolButton;
class TForm1;
class TMonitorModel;

class TLineMonitorWindow : public QWidget
{
    Q_OBJECT

public:
    explicit TLineMonitorWindow(TForm1 &form, std::size_t capacity = linemon::DefaultCapacity);
    ~TLineMonitorWindow() override;

    const linemon::TRing &Ring() const { return m_ring; }
    TMonitorModel *Model() const { return m_model; }
    QTableView *View() const { return m_view; }

    // Brings the list up to the ring now (a timer does it while shown).
    void SyncNow();
    // Paused, the list stands still; frames are still recorded.
    void SetPaused(bool paused);
    bool Paused() const { return m_paused; }
    void Clear();
    void SetFilter(const linemon::TFilter &filter);

    // The selected rows as text lines, as "Save as text" writes them.
    QString SelectedText() const;
    void CopySelection();
    // Saves the rows the list shows to path (CSV for *.csv, else text) on a
    // thread of its own; false while another save runs.
    bool SaveTo(const QString &path);
    bool Saving() const { return m_saveThread != nullptr; }

signals:
    void Saved(const QString &path, qint64 rows);
    void SaveFailed(const QString &message);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QHBoxLayout *BuildToolBar();
    void BuildVerdictMenu();
    void BuildList();
    void SizeColumns();
    void WidenColumnsForTexts();
    // Every text in the language now chosen, the shown state's included.
    void Retranslate();
    void StartFeed();
    void OnLine(bool tx, const uint8_t *bytes, std::size_t count);
    void OnFrame(const kv508::TFrameRecord &record);
    void OnPortOpenedOrClosed(bool open);
    void OnTransaction(quint8 command, TMBStatus status);
    void ChooseFile();
    void OnSaveDone();
    void ShowVerdictFilter();
    void ApplyFilterControls();
    void ShowStatus();

    TForm1 &m_form;
    QPointer<TMB> m_mb;
    linemon::TRing m_ring;
    kv508::TFrameMonitor m_monitor;
    uint64_t m_recorded = 0;
    int64_t m_openedMs = 0;                // steady ms of the port's opening
    int64_t m_steadyBase = 0, m_wallBase = 0; // a steady time and the wall time then

    TMonitorModel *m_model = nullptr;
    QTableView *m_view = nullptr;
    QToolButton *m_pauseButton = nullptr;
    QToolButton *m_clearButton = nullptr;
    QToolButton *m_copyButton = nullptr;
    QToolButton *m_saveButton = nullptr;
    QLabel *m_commandLabel = nullptr;
    QLabel *m_verdictsLabel = nullptr;
    QComboBox *m_commandBox = nullptr;
    QToolButton *m_verdictButton = nullptr;
    QMenu *m_verdictMenu = nullptr;
    QAction *m_allVerdicts = nullptr;
    QAction *m_problemVerdicts = nullptr;
    QAction *m_copyAction = nullptr;
    QAction *m_selectAllAction = nullptr;
    QAction *m_saveAction = nullptr;
    QLabel *m_status = nullptr;
    QTimer m_sync; // batches the list's updates
    QTimer m_statusTimer;
    QTimer m_tick; // reports silence: overdue answers, junk after a quiet gap
    bool m_paused = false;

    QThread *m_saveThread = nullptr;
    QString m_savePath;
    std::shared_ptr<std::atomic<bool>> m_saveCancel;
    std::shared_ptr<linemon::TSaveResult> m_saveResult;
    // The last save's outcome, shown in the status line: none yet, saved, failed.
    enum class TLastSave { None, Saved, Failed } m_lastSave = TLastSave::None;
    qint64 m_lastSaveRows = 0;
};
