// The calibration record window: an As-Found check, the instrument's own
// calibration in between (noticed from the form's acknowledged calibration
// requests), an As-Left check, the certificate header, a history per
// instrument tag, and the certificate as PDF and CSV. Every point is committed
// to the record database as it is entered; the store runs on its own thread.
#pragma once

#include "CalibrationRecord.h"
#include "MB.h"

#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;
class TForm1;
class TStoreRunner;

class TCalibrationWindow : public QWidget
{
    Q_OBJECT

public:
    TCalibrationWindow(TForm1 &form, const QString &databasePath);
    ~TCalibrationWindow() override;

    // ---- what the buttons do (tests drive these) ----
    // A new record for the instrument on the line; false (with a message) when one cannot start.
    bool NewRecord();
    // Enters a point: the applied reference value and the ammeter's reading as
    // typed. The instrument's averaged reading is taken now. False, with the
    // reason in LastMessage(), when the point cannot be taken.
    bool EnterPoint(calib::TPhase phase, int index, const QString &applied, const QString &milliAmps);
    // Marks the record finished (read-only from then on).
    bool Finish();
    void ExportPdf(const QString &path);
    void ExportCsv(const QString &path);
    void Load(qint64 id);

    const calib::TRecord &Record() const { return m_record; }
    bool HasRecord() const { return m_record.id != 0; }
    QString LastMessage() const { return m_lastMessage; }
    // Store jobs still running (tests wait for 0).
    int PendingWrites() const;
    TStoreRunner *Runner() const { return m_runner; }
    bool InstrumentStable() const;

    QLineEdit *CertificateEdit() const { return m_certificate; }
    QLineEdit *TagEdit() const { return m_tag; }
    QLineEdit *SerialEdit() const { return m_serial; }
    QLineEdit *TechnicianEdit() const { return m_technician; }
    QLineEdit *TemperatureEdit() const { return m_temperature; }
    QLineEdit *HumidityEdit() const { return m_humidity; }
    QLineEdit *IssuerEdit() const { return m_issuer; }
    QPlainTextEdit *RemarksEdit() const { return m_remarks; }
    QDateEdit *NextDueEdit() const { return m_nextDue; }
    QTableWidget *References() const { return m_references; }
    QTableWidget *Table(calib::TPhase phase) const { return m_tables[int(phase)]; }
    QTreeWidget *HistoryList() const { return m_history; }
    QLineEdit *ToleranceEdit() const { return m_tolerance; }
    QLineEdit *PointsEdit() const { return m_points; }
    QCheckBox *HysteresisBox() const { return m_hysteresis; }

signals:
    // A point, a header or an export went to disk (or failed: ok false).
    void Saved(bool ok, const QString &what);
    void Exported(bool ok, const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void OnTransaction(quint8 command, TMBStatus status);
    void OnCellChanged(int phase, int row, int column);
    void HeaderEdited();
    void CheckSettingsEdited();
    // then(error) runs once the store has answered (an empty error: saved).
    // A certificate number another record has goes back to the saved one.
    void SaveHeader(std::function<void(const QString &error)> then = {});
    void ShowRecord();
    void ShowTable(calib::TPhase phase);
    void ShowLive();
    void ShowState();
    void ShowVerdicts();
    void RefreshHistory();
    void ReadHeaderFields();
    void RememberReferences();
    std::vector<calib::TReference> RememberedReferences() const;
    void Say(const QString &text, bool error = false);
    // The instrument's span now, or null with the reason in m_lastMessage.
    std::optional<calib::TSpan> CurrentSpan();
    QString UnitNow() const;
    QString SensorNow() const;
    void SetEditable();

    TForm1 &m_form;
    TStoreRunner *m_runner = nullptr;
    calib::TRecord m_record;
    calib::TReadings m_readings;
    bool m_pollSeen = false;
    bool m_settingsSeen = false;
    bool m_creating = false;
    quint64 m_generation = 0; // bumped when another record is asked for: late answers for the old one are dropped
    bool m_filling = false; // the window fills its own controls: no edits to act on
    QString m_lastMessage;
    QString m_historyTag;
    QString m_savedCertificate; // the record's number on disk

    QLineEdit *m_certificate = nullptr;
    QLineEdit *m_tag = nullptr;
    QLineEdit *m_serial = nullptr;
    QLabel *m_firmware = nullptr;
    QLabel *m_calDate = nullptr;
    QLabel *m_sensor = nullptr;
    QLineEdit *m_technician = nullptr;
    QLineEdit *m_temperature = nullptr;
    QLineEdit *m_humidity = nullptr;
    QLineEdit *m_issuer = nullptr;
    QDateEdit *m_nextDue = nullptr;
    QPlainTextEdit *m_remarks = nullptr;
    QTableWidget *m_references = nullptr;
    QLabel *m_span = nullptr;
    QLineEdit *m_tolerance = nullptr;
    QLineEdit *m_points = nullptr;
    QCheckBox *m_hysteresis = nullptr;
    QLabel *m_live = nullptr;
    QTableWidget *m_tables[2] = {nullptr, nullptr};
    QLabel *m_verdicts[2] = {nullptr, nullptr};
    QLabel *m_calibration = nullptr;
    QLabel *m_overall = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_newButton = nullptr;
    QPushButton *m_finishButton = nullptr;
    QPushButton *m_pdfButton = nullptr;
    QPushButton *m_csvButton = nullptr;
    QPushButton *m_calPageButton = nullptr;
    QComboBox *m_historyFilter = nullptr;
    QTreeWidget *m_history = nullptr;
};
