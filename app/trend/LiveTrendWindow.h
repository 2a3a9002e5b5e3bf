// The live trend window: follows the form's polls from the moment it is first
// opened, keeps them in a bounded history (also while hidden, so reopening
// shows what happened meanwhile), plots them, and logs them to CSV.
#pragma once

#include "CsvLog.h"
#include "MB.h"
#include "TrendHistory.h"

#include <QString>
#include <QTimer>
#include <QWidget>

#include <optional>

class QAbstractButton;
class QButtonGroup;
class QLabel;
class QToolButton;
class TForm1;
class TTrendPlot;

class TLiveTrendWindow : public QWidget
{
    Q_OBJECT

public:
    explicit TLiveTrendWindow(TForm1 &form);
    ~TLiveTrendWindow() override;

    const trend::THistory &History() const { return m_history; }
    TTrendPlot *Plot() const { return m_plot; }

    // Starts logging to path (appending when it is already a log of this
    // window), or stops. The button and the file chooser end up here.
    void StartLog(const QString &path);
    void StopLog();
    bool Logging() const { return m_logging; }
    QString LogPath() const { return m_logPath; }
    qint64 RowsWritten() const { return m_rowsWritten; }

    QToolButton *LogButton() const { return m_logButton; }
    QLabel *LogLabel() const { return m_logLabel; }
    QLabel *StatsLabel() const { return m_statsLabel; }

signals:
    // Each answered row of the current session is in the file (tests wait on it).
    void LogWritten(qint64 rows);
    void LogFailed(const QString &message);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Every text in the language now chosen, the shown state's included.
    void Retranslate();
    void OnTransaction(quint8 command, TMBStatus status);
    void OnLogToggled(bool on);
    void ChooseFile();
    void OnLogOpened(int session, const QString &path, bool appended);
    void OnLogWritten(int session, qint64 rows);
    void OnLogFailed(int session, int error, const QString &systemError, qint64 rows);
    QString FailureText() const;
    void ShowLogState();
    void UpdateView();
    void UpdateStats();
    void SyncSpanButtons();

    TForm1 &m_form;
    trend::THistory m_history;
    TTrendPlot *m_plot = nullptr;
    QButtonGroup *m_spans = nullptr;
    QToolButton *m_pauseButton = nullptr;
    QToolButton *m_liveButton = nullptr;
    QToolButton *m_fitButton = nullptr;
    QToolButton *m_logButton = nullptr;
    QToolButton *m_fileButton = nullptr;
    QLabel *m_spanLabel = nullptr;
    QLabel *m_logLabel = nullptr;
    QLabel *m_statsLabel = nullptr;
    QTimer m_tick;

    trend::TCsvLogWriter m_log;
    int m_logSession = 0;
    bool m_logging = false;
    bool m_logOpened = false;
    QString m_logPath;
    qint64 m_rowsSent = 0;
    qint64 m_rowsWritten = 0;
    // The log's last failure, shown until the next start: its kind and the system's reason.
    struct TFailure {
        trend::TCsvError error = trend::TCsvError::None;
        QString systemError;
        bool opened = false;
        qint64 lost = 0;
    };
    std::optional<TFailure> m_failure;
};
