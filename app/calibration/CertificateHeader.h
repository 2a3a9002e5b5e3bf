// The calibration record window's certificate header: the record's number,
// the instrument, technician and ambient conditions, remarks, the issuer (a
// setting of the tool, not of the record) and the reference instruments (the
// last ones typed are remembered for the next record).
#pragma once

#include "CalibrationSession.h"

#include <QGroupBox>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableWidget;

class TCertificateHeader : public QGroupBox
{
    Q_OBJECT

public:
    explicit TCertificateHeader(QWidget *parent);
    ~TCertificateHeader() override;

    // Fills the fields from the record (its references, or the remembered
    // ones when it has none; nextDue when it has no due date of its own).
    void Show(const calib::TRecord &record, const QDate &nextDue);
    // What is typed now.
    calib::THeaderFields Fields() const;
    // open: the fields can be typed into; else read-only, and they look it.
    void SetOpen(bool open);
    // Ambient values that are no number and due dates that are no date, shown in red.
    void MarkEntries();
    // The certificate number the record keeps (another record has the one typed).
    void KeepCertificate(const QString &certificate);
    // The reference instruments typed, for the next record; and those remembered.
    void RememberReferences(const std::vector<calib::TReference> &references) const;
    static std::vector<calib::TReference> RememberedReferences();
    // A reference instrument's name and serial as it answered *IDN?
    // ("MAKER,MODEL,SERIAL,FIRMWARE") into its row (row: as DefaultReferences
    // has them); remembered for the next record. The caller keeps it
    // from a finished record.
    void SetReferenceIdentity(int row, const QString &identity);
    QString Issuer() const;
    void FocusTag();

    QLineEdit *CertificateEdit() const { return m_certificate; }
    QLineEdit *TagEdit() const { return m_tag; }
    QLineEdit *SerialEdit() const { return m_serial; }
    QLineEdit *TechnicianEdit() const { return m_technician; }
    QLineEdit *TemperatureEdit() const { return m_temperature; }
    QLineEdit *HumidityEdit() const { return m_humidity; }
    QLineEdit *IssuerEdit() const { return m_issuer; }
    QPlainTextEdit *RemarksEdit() const { return m_remarks; }
    QDateEdit *NextDueEdit() const { return m_nextDue; }
    QComboBox *LanguageBox() const { return m_language; }
    QTableWidget *References() const { return m_references; }

signals:
    // A field of the record was typed into and left (not while the header fills itself).
    void Edited();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QLineEdit *Edit(int maxLength = 80);
    void Lay();
    // Every text of the header in the window's language (the fields keep what is typed).
    void Retranslate();
    QString RoleAt(int row) const;

    bool m_filling = false; // the header fills its own fields: no edits to act on
    QString m_unit;         // the record's: the pressure standard's U is in it
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
    QComboBox *m_language = nullptr; // the certificate's, per record
    QTableWidget *m_references = nullptr;
    // The captions, re-set on a change of language.
    QLabel *m_labels[13] = {};
};
