// TForm1: the main window of the KV508 I configuration tool. It polls the
// transmitter through MB1 without pause, shows its live data, and slots the
// technician's latched requests (settings, calibration points, reset, EEPROM
// erase) into that chain of transactions.
#pragma once

#include "MB.h"
#include "ui_Main.h"

#include <QDate>
#include <QString>
#include <QWidget>

#include <functional>

class QCloseEvent;

class TForm1 : public QWidget, public Ui::Form1
{
    Q_OBJECT

public:
    // The instrument's command numbers.
    enum TCommand : quint8 {
        Cmd_Poll = 1,
        Cmd_Zero = 2,
        Cmd_SetAs0 = 3,
        Cmd_SetAs4mA = 4,
        Cmd_SetAs20mA = 5,
        Cmd_EraseEEPROM = 6,
        Cmd_WriteSettings = 7,
        Cmd_ReadSettings = 8,
        Cmd_SetAsScaleEnd = 9,
        Cmd_WriteSettings2 = 10,
        Cmd_Reset = 251
    };

    // Stored settings: sent by commands 7 (all) and 10 (the first four), read by 8.
    struct TSettings {
        qint16 iFizFor4mA = 0;           // physical value at 4 mA, scaled integer
        qint16 iFizFor20mA = 0;          // physical value at 20 mA
        bool bErrorCurrentValue = false; // true: 22 mA, false: 3,2 mA
        bool bErrorCurrentMode = false;  // true: error current disabled
        quint8 SensorCode = 0;           // 1..12
        quint16 Averaging = 0;           // 1..1600
        quint8 InputCode = 0;            // 0 pressure, 1 temperature
    };

    // The answer of a poll.
    struct TLiveData {
        quint32 FirmwareDateCode = 0;
        quint32 CalibrationDateCode = 0;
        quint8 Decimals = 0;
        qint16 MeasuredValue = 0; // x 10^Decimals
        qint16 OutputValue = 0;   // uA
        quint8 ErrorBits = 0;
        qint16 ScaleEnd = 0; // x 10^Decimals
        qint16 BridgeDataAveraged = 0;
        quint16 SPS = 0;
    };

    static constexpr quint16 RequestDelay = 50; // ms between two transactions
    static constexpr quint16 PWMMax = 8191;

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
    void closeEvent(QCloseEvent *event) override;

private:
    void SendRequest(quint8 command);
    void ReadAnswer(quint8 command);
    void PutSettings(const TSettings &s, bool full);
    void Step(qint32 step);
    static qint32 Entry(TEdit *edit, qint32 fallback, qint32 low, qint32 high);
};

// The application's main window.
extern TForm1 *Form1;
