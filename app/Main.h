// TForm1: the main window of the KV508 I configuration tool. It polls the
// transmitter through MB1 without pause, shows its live data, and slots the
// technician's latched requests (settings, calibration points, reset, EEPROM
// erase) into that chain of transactions.
#pragma once

#include "KV508Commands.h"
#include "KV508Snapshot.h"
#include "MB.h"
#include "ui_Main.h"

#include <QDate>
#include <QDateTime>
#include <QPalette>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <vector>

class QCloseEvent;
class QMessageBox;
class QSettings;
class TToolWindows;

class TForm1 : public QWidget, public Ui::Form1
{
    Q_OBJECT

public:
    // The instrument's command numbers: the shared command set's.
    using TCommand = kv508::TCommand;
    using enum kv508::TCommand;

    using TSettings = kv508::TSettings;
    using TLiveData = kv508::TLiveData;

    static constexpr quint16 RequestDelay = kv508::RequestDelay; // ms between two transactions
    static constexpr quint16 PWMMax = kv508::PWMMax;

    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // ---- application state ---------------------------------------------------------
    quint8 PWMForceFlag = 0;
    quint16 PWMValue = 0;
    qint32 PWMStep = 0;
    TSettings SettingsToWrite;
    TSettings SettingsRead;
    TLiveData LiveData;

    // The local calendar the calibration requests are dated by (tests replace it).
    std::function<QDate()> Today;

    // ---- helpers ----------------------------------------------------------------------
    static QString ProductName() { return QStringLiteral("KV508 I"); }
    static QString VersionText();                // "2017.01.05."
    static QString Caption();                    // "KV508 I v2017.01.05."
    static QString FormatDateCode(quint32 code); // 20161011 -> "2016.10.11."
    static quint32 DateCodeOf(const QDate &date);
    quint32 DateToDateCode() const; // today's DateCode
    // Integer entry: optional leading blanks and sign, then decimal digits or a
    // hexadecimal number after "$", "x" or "0x". False when the text is anything else.
    static bool TryStrToInt(const QString &text, qint32 &value);
    // numerator / denominator rounded to the nearest integer, halves to even (denominator > 0).
    static qint64 RoundHalfEven(qint64 numerator, qint64 denominator);
    // A value scaled by 10^decimals, with the pattern of its decimal count.
    static QString FormatScaled(qint16 value, quint8 decimals);

    // ---- the transaction chain --------------------------------------------------------
    void StartPoll();
    void ShowAnswer();
    void MB1MBMasterEndOfEvent(TMBStatus MBStatus, const QString &MBStatusString);
    void MB1MBPortOpenedOrClosed(bool MBbPortOpen);

    // ---- displays and settings --------------------------------------------------------
    void ShowLiveData();
    void ShowSettingsRead();
    void CollectSettings();
    void CollectUserSettings();
    void ApplyPWMStep();
    void ShowPWMValue();

    // Brings the other page forward (the keyboard shortcut's action).
    void SwitchPage();
    // Brings the calibration page and the window forward (the calibration record's button).
    void ShowCalibrationPage();

    // What the window knows of the instrument now: what TransactionEnded hands on.
    kv508::TInstrumentSnapshot Snapshot() const;

    // The monitor, trend, calibration record and About windows.
    TToolWindows *Tools() const { return m_tools; }
    // When the port opened, in milliseconds of std::chrono::steady_clock; -1 while closed.
    qint64 PortOpenedAtMs() const { return m_portOpenedAtMs; }
    // Where the window keeps what it remembers between runs (the port): an INI
    // file, read and written only while it is a regular file (or none yet).
    static QSettings PortSettings();
    static QString SettingsFile();
    // Why the INI file is left alone (it is a FIFO, a device, a folder), else empty.
    static QString SettingsRefusal();
    // What the window said about its INI file at start (empty: nothing wrong).
    QString SettingsProblem() const { return m_settingsProblem; }

    // The readouts show the instrument's values of now; false while no answer
    // comes (port closed or lost, polls unanswered): they are greyed then.
    bool ReadoutsCurrent() const { return m_readoutsCurrent; }
    QDateTime LastAnswerAt() const { return m_lastAnswerAt.toLocalTime(); }

    // After a lost port came back: until the instrument is known to be the one
    // that was connected (or the technician says to go on with it), only reads
    // are sent, and polls do not force the output.
    bool WritesHeld() const { return m_identityState != TIdentityState::Confirmed; }
    // The question asked when the instrument that came back differs, while open.
    QMessageBox *IdentityQuestion() const;

    // Every text of the window in the language now installed: the design's
    // (uic's), then those that follow the state, shown again from the state.
    void Retranslate();

signals:
    // After each transaction of the chain, once the window has read and shown
    // its answer (status stOK) or given it up: the tool windows follow the
    // instrument through this, never through the component's own events nor
    // the window's members (instrument: what the window knows now).
    void TransactionEnded(quint8 command, TMBStatus status, const kv508::TInstrumentSnapshot &instrument);
    // The component's port opened (before the first poll is started) or closed.
    void PortOpenedOrClosed(bool open);

public slots:
    void FormActivate();
    void FormClose();
    void Button_OpenOrCloceSerialPortClick();
    void Edit_iFizFor4mAExit();
    void Edit_iFizFor20mAExit();
    void SpeedButton_WriteSettingsClick();
    void SpeedButton_WriteSettings2Click();
    void RadioGroup_InputClick();
    void SpeedButton_PWMForceClick();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void Button8Click();
    void Button9Click();
    void Button_Out0Click();
    void Button_OutVegertekClick();
    void Button_Out50PercentsClick();
    void TrackBar_PWMChange();

protected:
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // What an instrument reported, as far as it is known this session.
    struct TIdentity {
        bool haveFirmware = false, haveCalibration = false, haveSettings = false;
        quint32 firmware = 0, calibration = 0;
        quint32 calibrationToday = 0; // after a calibration point: its date, not yet polled
        TSettings settings;
        bool CalibratedOn(quint32 code) const;
    };
    enum class TIdentityState { Confirmed, Checking, Asking };

    TToolWindows *m_tools = nullptr;
    qint64 m_portOpenedAtMs = -1;
    QLabel *m_reconnectLabel = nullptr;
    QString m_settingsProblem;
    QPointer<QMessageBox> m_settingsProblemBox;
    // Whether the readouts and the forced value show values yet, or still the design's placeholders.
    bool m_liveShown = false, m_pwmShown = false;
    // What the readouts that seldom change show now (valid false: the design's texts).
    struct TSteadyTexts {
        quint32 firmware = 0, calibration = 0;
        qint16 scaleEnd = 0;
        quint8 decimals = 0;
        quint16 sps = 0;
        bool valid = false;
        bool operator==(const TSteadyTexts &) const = default;
    } m_steadyShown;

    std::vector<std::pair<QLabel *, QPalette>> m_readouts; // with the design's palette
    bool m_readoutsCurrent = true;
    QDateTime m_lastAnswerAt;

    TIdentity m_instrument; // the instrument on the port now
    TIdentity m_expected;   // the one connected before the port was lost
    TIdentityState m_identityState = TIdentityState::Confirmed;
    bool m_liveChecked = false, m_settingsChecked = false;
    // What differs in the returning instrument, each told in the language of the moment.
    std::vector<std::function<QString()>> m_differences;
    QPointer<QMessageBox> m_identityQuestion;

    // MainWatch.cpp: readouts not current, the instrument after a reconnect.
    void SetUpWatch();
    void SetReadoutsCurrent(bool current);
    static QString LastAnswerText(const QDateTime &at);
    void WatchTransaction(quint8 command, TMBStatus status);
    void WatchPort(bool open);
    void Remember(quint8 command);
    void PortLost();
    void CheckIdentity();
    void AskAboutIdentity();
    void ShowIdentityQuestionTexts();
    void ShowCodeTexts();
    void ShowPortButtonText();
    void ShowReconnectText();
    void AnswerIdentity(bool keep);
    bool MaySend(quint8 command) const;
    quint8 PollForceFlag() const;

    void SendRequest(quint8 command);
    void ReadAnswer(quint8 command);
    void Step(qint32 step);
    static qint32 Entry(TEdit *edit, qint32 fallback, qint32 low, qint32 high);
};

// The application's main window.
extern TForm1 *Form1;
