#include "Main.h"

#include "NumberFormat.h"

#include <QCloseEvent>
#include <QEvent>
#include <QKeySequence>
#include <QPalette>
#include <QShortcut>
#include <QTextDocument>

#include <algorithm>
#include <cmath>
#include <utility>

TForm1 *Form1 = nullptr;

namespace {

const QColor kErrorColor(255, 0, 0);

void SetBackground(QLabel *label, const QColor &color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, color);
    label->setPalette(palette);
}

int DigitValue(char16_t c, int base)
{
    int d = -1;
    if (c >= u'0' && c <= u'9')
        d = c - u'0';
    else if (c >= u'a' && c <= u'f')
        d = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        d = c - u'A' + 10;
    return d < base ? d : -1;
}

} // namespace

TForm1::TForm1(QWidget *parent) : QWidget(parent), Today([] { return QDate::currentDate(); })
{
    setupUi(this);
    // uic applies only the size of a top-level form; the place is set here, before the
    // first show (a Wayland compositor places windows itself and may ignore it).
    move(519, 197);

    // The component's events are plain callbacks: the form description cannot bind them.
    MB1->OnMBMasterEndOfEvent = [this](TMBStatus status, const QString &text) { MB1MBMasterEndOfEvent(status, text); };
    MB1->OnMBPortOpenedOrClosed = [this](bool open) { MB1MBPortOpenedOrClosed(open); };

    // Memo text runs close to the border, as in a classic memo, so the lines fit as written.
    Memo1->document()->setDocumentMargin(1);
    Memo2->document()->setDocumentMargin(1);

    for (QLabel *label : {Label_ErrorBitValue1, Label_ErrorBitValue2, Label_ErrorBitValue4, Label_ErrorBitValue8,
                          Label_ErrorBitValue16})
        SetBackground(label, TMB::FaceColor());

    // The calibration page has no visible way in; the technician switches with the keyboard.
    const QKeySequence pageKeys[] = {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                                     QKeySequence(Qt::CTRL | Qt::Key_PageDown), QKeySequence(Qt::CTRL | Qt::Key_PageUp)};
    for (const QKeySequence &keys : pageKeys) {
        auto *shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, &TForm1::SwitchPage);
    }
}

TForm1::~TForm1()
{
    // The component outlives this body for a moment; nothing may call back into us.
    MB1->OnMBMasterEndOfEvent = nullptr;
    MB1->OnMBPortOpenedOrClosed = nullptr;
}

// ---- helpers ------------------------------------------------------------------------------

QString TForm1::VersionText()
{
    return NumberFormat::Format(2017, QStringLiteral("0000")) + QLatin1Char('.') + NumberFormat::Format(1, QStringLiteral("00")) +
           QLatin1Char('.') + NumberFormat::Format(5, QStringLiteral("00")) + QLatin1Char('.');
}

QString TForm1::Caption()
{
    return ProductName() + QStringLiteral(" v") + VersionText();
}

QString TForm1::FormatDateCode(quint32 code)
{
    const quint32 year = code / 10000;
    const quint32 month = (code % 10000) / 100;
    const quint32 day = code % 100;
    return NumberFormat::Format(year, QStringLiteral("0000")) + QLatin1Char('.') + NumberFormat::Format(month, QStringLiteral("00")) +
           QLatin1Char('.') + NumberFormat::Format(day, QStringLiteral("00")) + QLatin1Char('.');
}

quint32 TForm1::DateCodeOf(const QDate &date)
{
    if (!date.isValid() || date.year() < 0)
        return 0;
    return static_cast<quint32>(date.year()) * 10000 + static_cast<quint32>(date.month()) * 100 +
           static_cast<quint32>(date.day());
}

quint32 TForm1::DateToDateCode() const
{
    return DateCodeOf(Today());
}

bool TForm1::TryStrToInt(const QString &text, qint32 &value)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i < n && (text.at(i) == QLatin1Char('$') || text.at(i) == QLatin1Char('x') || text.at(i) == QLatin1Char('X'))) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text.at(i) == QLatin1Char('0') &&
               (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i == n)
        return false;
    // Hexadecimal takes any 32-bit pattern; decimal must fit the signed range.
    const quint64 limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    quint64 magnitude = 0;
    for (; i < n; ++i) {
        const int d = DigitValue(text.at(i).unicode(), base);
        if (d < 0)
            return false;
        magnitude = magnitude * static_cast<quint64>(base) + static_cast<quint64>(d);
        if (magnitude > limit)
            return false;
    }
    const quint32 bits = static_cast<quint32>(magnitude);
    value = static_cast<qint32>(negative ? 0u - bits : bits);
    return true;
}

qint64 TForm1::RoundHalfEven(qint64 numerator, qint64 denominator)
{
    qint64 q = numerator / denominator;
    qint64 r = numerator % denominator;
    if (r < 0) { // floor division
        r += denominator;
        --q;
    }
    if (2 * r > denominator || (2 * r == denominator && (q & 1) != 0))
        ++q;
    return q;
}

QString TForm1::FormatScaled(qint16 value, quint8 decimals)
{
    static const char *const patterns[] = {"0000", "000.0", "00.00", "0.000"};
    // Double precision: a single-precision quotient would show its binary noise
    // in the general format (1.2345 as 1.23450005054474).
    const double quotient = static_cast<double>(value) / std::pow(10.0, decimals);
    if (decimals < std::size(patterns))
        return NumberFormat::Format(quotient, QLatin1String(patterns[decimals]));
    return NumberFormat::General(quotient);
}

// ---- the transaction chain ------------------------------------------------------------------

void TForm1::StartPoll()
{
    PWMForceFlag = SpeedButton_PWMForce->isChecked() ? 1 : 0;
    MB1->setMBMasterCommandToSlave(Cmd_Poll);
    MB1->MBClearTxData();
    MB1->MBPutByte(PWMForceFlag);
    MB1->MBPutWord(PWMValue);
    MB1->MBMasterStart(RequestDelay);
}

void TForm1::PutSettings(const TSettings &s, bool full)
{
    MB1->MBPutSmallInt(s.iFizFor4mA);
    MB1->MBPutSmallInt(s.iFizFor20mA);
    MB1->MBPutBoolean(s.bErrorCurrentValue);
    MB1->MBPutBoolean(s.bErrorCurrentMode);
    if (!full)
        return;
    MB1->MBPutByte(s.SensorCode);
    MB1->MBPutWord(s.Averaging);
    MB1->MBPutByte(s.InputCode);
}

void TForm1::SendRequest(quint8 command)
{
    MB1->setMBMasterCommandToSlave(command);
    MB1->MBClearTxData();
    switch (command) {
    case Cmd_SetAs0:
    case Cmd_SetAs4mA:
    case Cmd_SetAs20mA:
    case Cmd_SetAsScaleEnd: MB1->MBPutDWord(DateToDateCode()); break;
    case Cmd_WriteSettings: PutSettings(SettingsToWrite, true); break;
    case Cmd_WriteSettings2: PutSettings(SettingsToWrite, false); break;
    default: break; // 2, 6, 8 and 251 carry no payload
    }
    MB1->MBMasterStart(RequestDelay);
}

void TForm1::ReadAnswer(quint8 command)
{
    if (command == Cmd_Poll) {
        LiveData.FirmwareDateCode = MB1->MBGetDWord();
        LiveData.CalibrationDateCode = MB1->MBGetDWord();
        LiveData.Decimals = MB1->MBGetByte();
        LiveData.MeasuredValue = MB1->MBGetSmallInt();
        LiveData.OutputValue = MB1->MBGetSmallInt();
        LiveData.ErrorBits = MB1->MBGetByte();
        LiveData.ScaleEnd = MB1->MBGetSmallInt();
        LiveData.BridgeDataAveraged = MB1->MBGetSmallInt();
        LiveData.SPS = MB1->MBGetWord();
    } else if (command == Cmd_ReadSettings) {
        SettingsRead.iFizFor4mA = MB1->MBGetSmallInt();
        SettingsRead.iFizFor20mA = MB1->MBGetSmallInt();
        SettingsRead.bErrorCurrentValue = MB1->MBGetBoolean();
        SettingsRead.bErrorCurrentMode = MB1->MBGetBoolean();
        SettingsRead.SensorCode = MB1->MBGetByte();
        SettingsRead.Averaging = MB1->MBGetWord();
        SettingsRead.InputCode = MB1->MBGetByte();
    }
}

void TForm1::ShowAnswer()
{
    switch (MB1->MBMasterCommandToSlave()) {
    case Cmd_Poll: ShowLiveData(); break;
    case Cmd_Zero: SpeedButton_Zero->setChecked(false); break;
    case Cmd_SetAs0: SpeedButton_SetAs0->setChecked(false); break;
    case Cmd_SetAs4mA: SpeedButton_SetAs4mA->setChecked(false); break;
    case Cmd_SetAs20mA: SpeedButton_SetAs20mA->setChecked(false); break;
    case Cmd_EraseEEPROM:
        SpeedButton_EraseEEPROM->setChecked(false);
        SpeedButton_ReadSettings->setChecked(true);
        break;
    case Cmd_WriteSettings:
        SpeedButton_WriteSettings->setChecked(false);
        SpeedButton_ReadSettings->setChecked(true);
        break;
    case Cmd_ReadSettings:
        SpeedButton_ReadSettings->setChecked(false);
        ShowSettingsRead();
        break;
    case Cmd_SetAsScaleEnd: SpeedButton_SetAsScaleEnd->setChecked(false); break;
    case Cmd_WriteSettings2:
        SpeedButton_WriteSettings2->setChecked(false);
        SpeedButton_ReadSettings->setChecked(true);
        break;
    case Cmd_Reset: SpeedButton_Reset->setChecked(false); break;
    default: break;
    }
}

void TForm1::MB1MBMasterEndOfEvent(TMBStatus MBStatus, const QString &)
{
    Panel1->setVisible(MBStatus == TMB::stOK);
    bool requestSent = false;
    if (MBStatus == TMB::stOK) {
        ReadAnswer(MB1->MBMasterCommandToSlave());
        ShowAnswer();
        // Pending requests, in the order they are served.
        const std::pair<TSpeedButton *, quint8> requests[] = {
            {SpeedButton_Zero, Cmd_Zero},
            {SpeedButton_SetAs4mA, Cmd_SetAs4mA},
            {SpeedButton_SetAs20mA, Cmd_SetAs20mA},
            {SpeedButton_EraseEEPROM, Cmd_EraseEEPROM},
            {SpeedButton_WriteSettings, Cmd_WriteSettings},
            {SpeedButton_ReadSettings, Cmd_ReadSettings},
            {SpeedButton_SetAs0, Cmd_SetAs0},
            {SpeedButton_SetAsScaleEnd, Cmd_SetAsScaleEnd},
            {SpeedButton_Reset, Cmd_Reset},
            {SpeedButton_WriteSettings2, Cmd_WriteSettings2},
        };
        for (auto [button, command] : requests) {
            if (button->isChecked()) {
                // A read the chain latched waits for the technician's own write of the
                // same settings, so what was typed is stored before it is read back.
                if (command == Cmd_ReadSettings && SpeedButton_WriteSettings2->isChecked())
                    command = Cmd_WriteSettings2;
                SendRequest(command);
                requestSent = true;
                break;
            }
        }
    }
    if (!requestSent && MB1->MBPortOpen())
        StartPoll();
}

void TForm1::MB1MBPortOpenedOrClosed(bool MBbPortOpen)
{
    if (MBbPortOpen) {
        StartPoll();
        SpeedButton_ReadSettings->setChecked(true);
        Button_OpenOrCloceSerialPort->setText(QStringLiteral("Soros port bezárása"));
    } else {
        Button_OpenOrCloceSerialPort->setText(QStringLiteral("Soros port megnyitása"));
    }
}

void TForm1::Button_OpenOrCloceSerialPortClick()
{
    if (MB1->MBPortOpen())
        MB1->MBClosePort();
    else
        MB1->MBOpenPort();
}

// ---- displays ------------------------------------------------------------------------------------

void TForm1::ShowLiveData()
{
    Label_Firmware->setText(QStringLiteral("Förmver: v") + FormatDateCode(LiveData.FirmwareDateCode));
    Label_CalibrationDate->setText(QStringLiteral("Kalibrálás dátuma: ") + FormatDateCode(LiveData.CalibrationDateCode));
    Label_MeasuredValue->setText(FormatScaled(LiveData.MeasuredValue, LiveData.Decimals));
    Label_OutputValue->setText(NumberFormat::Format(LiveData.OutputValue / 1000.0, QStringLiteral("#0.000")) +
                               QStringLiteral(" mA"));

    const std::pair<QLabel *, quint8> flags[] = {{Label_ErrorBitValue1, 1},
                                                 {Label_ErrorBitValue2, 2},
                                                 {Label_ErrorBitValue4, 4},
                                                 {Label_ErrorBitValue8, 8},
                                                 {Label_ErrorBitValue16, 16}};
    for (const auto &[label, bit] : flags) {
        const bool set = (LiveData.ErrorBits & bit) != 0;
        SetBackground(label, set ? kErrorColor : TMB::FaceColor());
        if (bit == 1)
            Image_OutputCalibrationOK->setVisible(!set);
    }

    Label_ScaleEnd->setText(QStringLiteral("Scale end = ") + FormatScaled(LiveData.ScaleEnd, LiveData.Decimals));
    Label_PressureSensorBridgeDataAveraged->setText(NumberFormat::Format(LiveData.BridgeDataAveraged, QStringLiteral("## ##0")));
    Label_SPS->setText(QStringLiteral("(SPS = ") + QString::number(LiveData.SPS) + QLatin1Char(')'));
}

void TForm1::ShowSettingsRead()
{
    // Entries still waiting for their write keep what the technician typed; the read
    // that follows the write shows them as stored. Command 7 writes all seven fields,
    // command 10 the first four.
    if (SpeedButton_WriteSettings->isChecked())
        return;
    if (!SpeedButton_WriteSettings2->isChecked()) {
        Edit_iFizFor4mA->SetText(QString::number(SettingsRead.iFizFor4mA));
        Edit_iFizFor20mA->SetText(QString::number(SettingsRead.iFizFor20mA));
        RadioGroup_ErrorCurrentValue->setItemIndex(SettingsRead.bErrorCurrentValue ? 1 : 0);
        RadioGroup_ErrorCurrentMode->setItemIndex(SettingsRead.bErrorCurrentMode ? 1 : 0);
    }
    // The groups limit the index: code 0 selects nothing, codes past the list the last item.
    RadioGroup_Sensor->setItemIndex(static_cast<int>(SettingsRead.SensorCode) - 1);
    Edit_Averaging->SetText(QString::number(SettingsRead.Averaging));
    RadioGroup_Input->setItemIndex(SettingsRead.InputCode);
}

// ---- settings ------------------------------------------------------------------------------------

qint32 TForm1::Entry(TEdit *edit, qint32 fallback, qint32 low, qint32 high)
{
    qint32 value = fallback;
    qint32 typed = 0;
    if (TryStrToInt(edit->text(), typed))
        value = std::clamp(typed, low, high);
    edit->SetText(QString::number(value));
    return value;
}

void TForm1::CollectUserSettings()
{
    SettingsToWrite.iFizFor4mA = static_cast<qint16>(Entry(Edit_iFizFor4mA, 0, -9999, 9999));
    SettingsToWrite.iFizFor20mA = static_cast<qint16>(Entry(Edit_iFizFor20mA, 0, -9999, 9999));
    SettingsToWrite.bErrorCurrentValue = RadioGroup_ErrorCurrentValue->ItemIndex() == 1;
    RadioGroup_ErrorCurrentValue->setItemIndex(SettingsToWrite.bErrorCurrentValue ? 1 : 0);
    SettingsToWrite.bErrorCurrentMode = RadioGroup_ErrorCurrentMode->ItemIndex() == 1;
    RadioGroup_ErrorCurrentMode->setItemIndex(SettingsToWrite.bErrorCurrentMode ? 1 : 0);
}

void TForm1::CollectSettings()
{
    CollectUserSettings();
    if (RadioGroup_Sensor->ItemIndex() < 0)
        RadioGroup_Sensor->setItemIndex(4);
    SettingsToWrite.SensorCode = static_cast<quint8>(RadioGroup_Sensor->ItemIndex() + 1);
    SettingsToWrite.Averaging = static_cast<quint16>(Entry(Edit_Averaging, 80, 1, 1600));
    if (RadioGroup_Input->ItemIndex() < 0)
        RadioGroup_Input->setItemIndex(0);
    SettingsToWrite.InputCode = static_cast<quint8>(RadioGroup_Input->ItemIndex());
}

void TForm1::Edit_iFizFor4mAExit()
{
    CollectSettings();
}

void TForm1::Edit_iFizFor20mAExit()
{
    CollectSettings();
}

void TForm1::SpeedButton_WriteSettingsClick()
{
    if (SpeedButton_WriteSettings->isChecked())
        CollectSettings();
}

void TForm1::SpeedButton_WriteSettings2Click()
{
    if (SpeedButton_WriteSettings2->isChecked())
        CollectUserSettings();
}

void TForm1::RadioGroup_InputClick()
{
    RadioGroup_Sensor->setVisible(RadioGroup_Input->ItemIndex() == 0);
}

// ---- forced output ---------------------------------------------------------------------------------

void TForm1::ShowPWMValue()
{
    Label_BeallitottPWM->setText(NumberFormat::Format(PWMValue, QStringLiteral("0 000")));
    Label_BeallitottPWM->repaint();
    // A track bar the user is moving is left alone, so it never feeds back.
    if (!TrackBar_PWM->hasFocus())
        TrackBar_PWM->setValue(static_cast<int>(RoundHalfEven(qint64(PWMValue) * 100, PWMMax)));
}

void TForm1::ApplyPWMStep()
{
    PWMValue = static_cast<quint16>(std::clamp<qint64>(qint64(PWMValue) + PWMStep, 0, PWMMax));
    ShowPWMValue();
}

void TForm1::Step(qint32 step)
{
    PWMStep = step;
    ApplyPWMStep();
}

void TForm1::Button2Click() { Step(-1000); }
void TForm1::Button3Click() { Step(-100); }
void TForm1::Button4Click() { Step(-10); }
void TForm1::Button5Click() { Step(-1); }
void TForm1::Button6Click() { Step(1); }
void TForm1::Button7Click() { Step(10); }
void TForm1::Button8Click() { Step(100); }
void TForm1::Button9Click() { Step(1000); }

void TForm1::Button_Out0Click()
{
    PWMValue = 0;
    ShowPWMValue();
}

void TForm1::Button_OutVegertekClick()
{
    PWMValue = PWMMax;
    ShowPWMValue();
}

void TForm1::Button_Out50PercentsClick()
{
    PWMValue = 4095;
    ShowPWMValue();
}

void TForm1::TrackBar_PWMChange()
{
    if (!TrackBar_PWM->hasFocus())
        return;
    PWMValue = static_cast<quint16>(RoundHalfEven(qint64(TrackBar_PWM->value()) * PWMMax, 100));
    ShowPWMValue();
}

void TForm1::SpeedButton_PWMForceClick()
{
    const bool forced = SpeedButton_PWMForce->isChecked();
    if (!forced) {
        // The output calibration points only make sense while the output is forced.
        SpeedButton_SetAs4mA->setChecked(false);
        SpeedButton_SetAs20mA->setChecked(false);
    }
    SpeedButton_SetAs4mA->setVisible(forced);
    SpeedButton_SetAs20mA->setVisible(forced);
}

// ---- window ------------------------------------------------------------------------------------------

void TForm1::SwitchPage()
{
    PageControl1->setCurrentIndex(PageControl1->currentIndex() == 0 ? 1 : 0);
}

void TForm1::FormActivate()
{
    setWindowTitle(Caption());
}

void TForm1::FormClose()
{
    MB1->MBClosePort();
}

bool TForm1::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QWidget::event(event);
}

void TForm1::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
}
