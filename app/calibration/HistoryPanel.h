// The calibration record window's history: the records of one instrument tag
// (or of all), newest first, with their verdicts; a double-click opens one.
// Below it, where the records file is.
#pragma once

#include "RecordStore.h"

#include <QGroupBox>

#include <vector>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QTreeWidget;

class THistoryPanel : public QGroupBox
{
    Q_OBJECT

public:
    THistoryPanel(const QString &databasePath, QWidget *parent);

    // The tags in the file for the filter, and tag's records (current: the open record's id, shown bold).
    void Show(const QStringList &tags, const std::vector<calib::TRecordSummary> &records, const QString &tag, qint64 current);
    QTreeWidget *List() const { return m_history; }
    // Where the records are: a file's path, or the server (without a password).
    void SetLocation(const QString &location);

signals:
    // A tag was chosen in the filter (empty: every record).
    void TagChosen(const QString &tag);
    // Only records whose next calibration falls due before day (null: all).
    void DueChosen(const QDate &day);
    void RecordChosen(qint64 id);
    // "Change…" beside the records' location.
    void LocationAsked();

protected:
    void changeEvent(QEvent *event) override;

private:
    void Retranslate();
    QComboBox *m_filter = nullptr;
    QCheckBox *m_dueOnly = nullptr;
    QDateEdit *m_due = nullptr;
    QTreeWidget *m_history = nullptr;
    class QLabel *m_location = nullptr;
    class QPushButton *m_change = nullptr;
    QString m_shownLocation;
};
