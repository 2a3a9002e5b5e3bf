// Where the calibration records live, as the window sets it: the local file or
// a PostgreSQL server, with "Test connection" naming what failed (run on a
// thread of its own: a server that does not answer never stops the window).
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class TRecordsLocationDialog : public QDialog
{
    Q_OBJECT

public:
    // location: the one in use (a path or a location text).
    explicit TRecordsLocationDialog(const QString &location, QWidget *parent = nullptr);
    ~TRecordsLocationDialog() override;

    // The location as chosen (valid once accepted).
    QString Location() const;
    // What the last test said (for the tests).
    QString Verdict() const;

    // The outcome of opening location, in words: "Connected: …" or what failed.
    static QString TestLocation(const QString &location, bool &ok);

    // Refused (and said) while the location is no valid one.
    void accept() override;

signals:
    void Tested(bool ok, const QString &text);

private:
    void Test();
    void Show(bool ok, const QString &text);

    QRadioButton *m_file = nullptr;
    QRadioButton *m_server = nullptr;
    QLineEdit *m_path = nullptr;
    QLineEdit *m_uri = nullptr;
    QPushButton *m_test = nullptr;
    QLabel *m_verdict = nullptr;
    class QThread *m_testing = nullptr;
};
