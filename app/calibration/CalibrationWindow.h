// The calibration record window: an As-Found check, the instrument's own
// calibration in between (noticed from the form's acknowledged calibration
// requests), an As-Left check, the certificate header, a history per
// instrument tag, and the certificate as PDF and CSV. The check itself is the
// session's (TCalibrationSession); the window lays it out, asks what must be
// asked and shows what the session reports.
#pragma once

#include "CalibrationSession.h"
#include "Certificate.h"

#include <QWidget>

#include <memory>

class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPrinter;
class QPushButton;
class QTableWidget;
class QTreeWidget;
class TCertificateHeader;
class THistoryPanel;
class TForm1;
class TAutomaticRun;
class TPointTable;
class TReferencePanel;
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
    // A second person's approval of the finished record; false, with the
    // reason said, when it is refused here (the technician's own name).
    bool Approve(const QString &approver);
    void ExportPdf(const QString &path);
    // The certificate's pages on a printer the print dialog set up, painted on
    // the store's thread (a printer's spooling never stops the window).
    void Print(std::shared_ptr<QPrinter> printer);
    void ExportCsv(const QString &path);
    void Load(qint64 id);
    // Reads the meter (and, when connected, the controller as the applied
    // value) into a point, which is then entered as if typed. False, with the
    // reason in LastMessage(), when no read can start; ReferenceRead tells the end.
    bool ReadPoint(calib::TPhase phase, int index);

    // The certificate's issuer: the lab typed in the header and this tool.
    calib::TIssuer Issuer() const;
    calib::TCalibrationSession *Session() const { return m_session; }
    const calib::TRecord &Record() const { return m_session->Record(); }
    bool HasRecord() const { return m_session->HasRecord(); }
    QString LastMessage() const { return m_lastMessage; }
    // Store jobs still running (tests wait for 0).
    int PendingWrites() const { return m_session->PendingWrites(); }
    TStoreRunner *Runner() const { return m_session->Runner(); }
    bool InstrumentStable() const { return m_session->InstrumentStable(); }

    QLineEdit *CertificateEdit() const;
    QLineEdit *TagEdit() const;
    QLineEdit *SerialEdit() const;
    QLineEdit *TechnicianEdit() const;
    QLineEdit *TemperatureEdit() const;
    QLineEdit *HumidityEdit() const;
    QLineEdit *IssuerEdit() const;
    QPlainTextEdit *RemarksEdit() const;
    QDateEdit *NextDueEdit() const;
    QTableWidget *References() const;
    QTableWidget *Table(calib::TPhase phase) const;
    QTreeWidget *HistoryList() const;
    QLineEdit *ToleranceEdit() const { return m_tolerance; }
    QLineEdit *PointsEdit() const { return m_points; }
    QCheckBox *HysteresisBox() const { return m_hysteresis; }
    TReferencePanel *ReferencePanel() const { return m_refs; }
    TAutomaticRun *Automatic() const { return m_auto; }

signals:
    // A point, a header or an export went to disk (or failed: ok false).
    void Saved(bool ok, const QString &what);
    void Exported(bool ok, const QString &path);
    // A read of the references into a point ended (ok: its values are in the row).
    void ReferenceRead(bool ok);

protected:
    void changeEvent(QEvent *event) override;

private:
    QLayout *MakeBar();
    // The captions and tips in the window's language.
    void Retranslate();
    QWidget *MakeCheck();
    void Connect(TForm1 &form);
    void AskFinish();
    void AskExport(bool pdf);
    void AskApprove();
    void AskPrint();
    // The records location: the dialog, then the session moves there.
    void AskLocation();
    void AskPreview();
    void HeaderEdited();
    void CheckSettingsEdited();
    void PointTyped(calib::TPhase phase, int row, const QString &applied, const QString &milliAmps);
    void ShowRecord();
    void ShowLive();
    void ShowState();
    void ShowVerdicts();
    void SetEditable();
    // The phase's span for the nominal values: its own, else the instrument's now when usable.
    std::optional<calib::TSpan> TableSpan(calib::TPhase phase) const;
    void Say(const QString &text, bool error = false);
    // CalibrationReferences.cpp: the reference instruments on a line.
    void ConnectReferences();
    void ReferenceIdentified(int role, const QString &identity);
    void MeterAnswered(quint64 ticket, bool ok, double milliAmps, const QString &error);
    void ControllerAnswered(quint64 ticket, bool ok, double value, const QString &error);
    void ReadFailed(const QString &text);
    void CellTyped(calib::TPhase phase, int row, int column);
    void TryAutoRead();

    TForm1 &m_form;
    calib::TCalibrationSession *m_session = nullptr;
    bool m_filling = false; // the window fills its own controls: no edits to act on
    QString m_lastMessage;

    TCertificateHeader *m_header = nullptr;
    THistoryPanel *m_history = nullptr;
    TPointTable *m_tables[2] = {nullptr, nullptr};
    QGroupBox *m_check = nullptr;
    QLabel *m_toleranceLabel = nullptr;
    QLabel *m_pointsLabel = nullptr;
    QLabel *m_phaseTitles[2] = {nullptr, nullptr};
    QLabel *m_span = nullptr;
    QLineEdit *m_tolerance = nullptr;
    QLineEdit *m_points = nullptr;
    QCheckBox *m_hysteresis = nullptr;
    QLabel *m_live = nullptr;
    QLabel *m_verdicts[2] = {nullptr, nullptr};
    QLabel *m_calibration = nullptr;
    QLabel *m_overall = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_newButton = nullptr;
    QPushButton *m_finishButton = nullptr;
    QPushButton *m_approveButton = nullptr;
    QPushButton *m_previewButton = nullptr;
    QPushButton *m_printButton = nullptr;
    QPushButton *m_pdfButton = nullptr;
    QPushButton *m_csvButton = nullptr;
    QPushButton *m_saveHereButton = nullptr; // shown while the records server does not answer
    QPushButton *m_calPageButton = nullptr;

    // The references: a read in flight (its tickets), a point waiting for the
    // instrument to settle before it is read, and the table last worked in.
    TReferencePanel *m_refs = nullptr;
    TAutomaticRun *m_auto = nullptr;
    struct TRead {
        calib::TPhase phase = calib::TPhase::AsFound;
        int index = -1;
        qint64 record = 0;
        quint64 meterTicket = 0;
        quint64 controllerTicket = 0;
        std::optional<QString> applied; // the controller's reading, once in
    };
    std::optional<TRead> m_read;
    std::optional<std::pair<calib::TPhase, int>> m_autoRead;
    calib::TPhase m_lastPhase = calib::TPhase::AsFound;
};
