// The record's reference instruments on a line: the meter's and the pressure
// controller's addresses (tcp:HOST:PORT or serial:PORT[:BAUD]; empty: read by
// hand), remembered in the INI file, with Connect, Read and "Read
// automatically". The I/O is TReferenceWorker's, on a thread of its own.
#pragma once

#include <QGroupBox>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QThread;
class TReferenceWorker;

class TReferencePanel : public QGroupBox
{
    Q_OBJECT

public:
    explicit TReferencePanel(QWidget *parent);
    // Stops the call in progress, turns the controller's control off and
    // closes both before the thread ends.
    ~TReferencePanel() override;

    // Connects what the fields name (and remembers them). unit: the
    // instrument's ("Pa"); another one refuses a controller. False (with
    // Problem said) when a field is no address.
    bool ConnectAll(const QString &unit);
    bool MeterConnected() const { return !m_identity[0].isEmpty(); }
    bool ControllerConnected() const { return !m_identity[1].isEmpty(); }
    // A connection asked for and not answered yet.
    bool Connecting() const { return m_connecting > 0; }
    QString Identity(int role) const { return m_identity[role]; }

    // Requests to the worker; each result comes with the ticket returned.
    quint64 ReadMeter(int count);
    quint64 ReadController();
    quint64 ApplyPressure(double value);
    quint64 ControlOff();

    QLineEdit *MeterEdit() const { return m_meterEdit; }
    QLineEdit *ControllerEdit() const { return m_controllerEdit; }
    QPushButton *ConnectButton() const { return m_connect; }
    QPushButton *ReadButton() const { return m_read; }
    QCheckBox *AutoReadBox() const { return m_autoRead; }
    // The automatic run's controls: its button, Pause, Cancel, the sensor's
    // full scale (Pa, remembered) and the progress line.
    QPushButton *AutomaticButton() const { return m_automatic; }
    QPushButton *PauseButton() const { return m_pause; }
    QPushButton *CancelButton() const { return m_cancel; }
    QLineEdit *FullScaleEdit() const { return m_fullScale; }
    void ShowRun(bool running, const QString &progress);

signals:
    // A reference answered *IDN? (role: TReferenceWorker::TRole).
    void Identified(int role, const QString &identity);
    void Problem(const QString &text);
    void ConnectAsked();
    void ReadAsked();
    void AutomaticAsked();
    void MeterRead(quint64 ticket, bool ok, double milliAmps, const QString &error);
    void ControllerRead(quint64 ticket, bool ok, double value, bool inLimits, const QString &error);
    void Done(quint64 ticket, bool ok, const QString &error);

protected:
    void changeEvent(QEvent *event) override;

private:
    // The captions and tips in the window's language, and the state from what is connected.
    void Retranslate();
    void Opened(int role, bool ok, const QString &identity, const QString &error);
    void ShowState();
    quint64 Next() { return ++m_ticket; }

    QThread *m_thread = nullptr;
    TReferenceWorker *m_worker = nullptr;
    QLineEdit *m_meterEdit = nullptr;
    QLineEdit *m_controllerEdit = nullptr;
    QPushButton *m_connect = nullptr;
    QPushButton *m_read = nullptr;
    QCheckBox *m_autoRead = nullptr;
    QLabel *m_state = nullptr;
    QPushButton *m_automatic = nullptr;
    QPushButton *m_pause = nullptr;
    QPushButton *m_cancel = nullptr;
    QLineEdit *m_fullScale = nullptr;
    QLabel *m_progress = nullptr;
    QLabel *m_labels[3] = {nullptr, nullptr, nullptr}; // meter, controller, full scale
    QString m_identity[2];
    int m_connecting = 0;
    quint64 m_ticket = 0;
};
