// Save, load and compare the instrument's settings with the JSON files of
// kv508ctl backup / restore / diff (instrument/KV508Backup.h). Everything the
// instrument is asked goes through the window's own latched requests: a
// settings read, and for a load the page's "Write settings" (command 7)
// followed by the read that verifies it. The window never waits for them.
#pragma once

#include "KV508Backup.h"
#include "KV508Snapshot.h"
#include "MB.h"

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class QMessageBox;
class QWidget;
class TForm1;

class TSettingsFiles : public QObject
{
    Q_OBJECT

public:
    enum TOperation { None, Save, Load, Compare };

    explicit TSettingsFiles(TForm1 &form);
    ~TSettingsFiles() override;

    // The menu's entries: ask for the file, then start.
    void AskAndSave();
    void AskAndLoad();
    void AskAndCompare();

    // Start an operation on file; false (with the reason in LastMessage) when
    // it is refused at once: another one runs, the port is closed, a bad file.
    bool StartSave(const QString &file);
    bool StartLoad(const QString &file);
    bool StartCompare(const QString &file);

    TOperation Running() const { return m_operation; }
    // The last outcome said to the technician; LastFailed tells whether it was a failure.
    QString LastMessage() const { return m_message; }
    bool LastFailed() const { return m_failed; }
    // The comparison's dialog, once shown.
    QDialog *ComparisonDialog() const { return m_comparison; }

    // Asked before a load writes (the differences as text), after the transaction
    // that read them has ended; tests answer it. Unset: a question box, not modal.
    std::function<bool(const QString &differences)> ConfirmWrite;
    // Whether messages are shown in a box (tests look at LastMessage instead).
    bool ShowMessages = true;

signals:
    // An operation ended (or was refused).
    void Finished(bool ok, const QString &message);

private:
    enum class TPhase { Reading, Asking, Writing, Verifying };

    bool Begin(TOperation op, const QString &file);
    void Transaction(quint8 command, TMBStatus status, const kv508::TInstrumentSnapshot &instrument);
    void PortChanged(bool open);
    void SettingsRead(const kv508::TInstrumentSnapshot &instrument);
    void WriteToFile(const kv508::TInstrumentSnapshot &instrument);
    void Answer(bool write);
    void WriteThroughPage();
    void Say(bool ok, const QString &message);
    void ShowComparison(const kv508::TSettings &instrument);
    void End(bool ok, const QString &message);
    QString Shown() const;

    TForm1 &m_form;
    TOperation m_operation = None;
    TPhase m_phase = TPhase::Reading;
    QString m_file;
    std::optional<kv508::TBackup> m_backup;
    QString m_message;
    bool m_failed = false;
    QPointer<QDialog> m_comparison;
    QPointer<QMessageBox> m_question;
};
