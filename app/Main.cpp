#include "Main.h"

#include "NumberFormat.h"
#include "Tools.h"

#include <QCloseEvent>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QKeySequence>
#include <QMessageBox>
#include <QPalette>
#include <QSettings>
#include <QShortcut>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

TForm1 *Form1 = nullptr;

namespace {

const QColor kErrorColor(255, 0, 0);

void SetBackground(QLabel *label, const QColor &color)
{
    QPalette palette = label->palette();
    // Each poll sets every flag's colour; a new palette costs a repaint and a
    // walk over the label's children even when nothing changes.
    if (palette.isBrushSet(QPalette::Active, QPalette::Window) && palette.color(QPalette::Window) == color)
        return;
    palette.setColor(QPalette::Window, color);
    label->setPalette(palette);
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

    m_tools = new TToolWindows(*this);

    // The adapter opened last is chosen again at start, even under a new name,
    // and a port that hangs up is taken back when it returns.
    m_settingsProblem = SettingsRefusal();
    if (m_settingsProblem.isEmpty()) {
        const QSettings settings = PortSettings();
        const QString port = settings.value(QStringLiteral("port/name")).toString();
        if (!port.isEmpty())
            MB1->setMBLastUsedPort(port);
        MB1->SetPreferredIdentity(settings.value(QStringLiteral("port/identity")).toString());
    } else {
        // Said once the window is up, beside it: the window itself works on.
        QTimer::singleShot(0, this, [this] {
            auto *box = new QMessageBox(QMessageBox::Warning, Caption(), m_settingsProblem, QMessageBox::Ok, this);
            box->setObjectName(QStringLiteral("SettingsProblem"));
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setModal(false);
            m_settingsProblemBox = box;
            box->show();
        });
    }
    m_reconnectLabel = new QLabel(TabSheet1);
    m_reconnectLabel->setObjectName(QStringLiteral("Label_Reconnecting"));
    m_reconnectLabel->setGeometry(8, 254, 161, 64);
    m_reconnectLabel->setWordWrap(true);
    m_reconnectLabel->setAlignment(Qt::AlignCenter);
    m_reconnectLabel->setAutoFillBackground(true);
    m_reconnectLabel->setFrameStyle(QFrame::Box | QFrame::Plain);
    SetBackground(m_reconnectLabel, QColor(255, 236, 140));
    {
        QPalette palette = m_reconnectLabel->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        m_reconnectLabel->setPalette(palette);
    }
    m_reconnectLabel->hide();
    MB1->OnReconnectingChanged = [this](bool on) {
        ShowReconnectText();
        m_reconnectLabel->setVisible(on);
        if (on)
            PortLost();
    };
    MB1->SetReconnectOnHangUp(true);
    SetUpWatch();
    ShowCodeTexts();
}

QString TForm1::SettingsFile()
{
    // The folder of the user's INI files (QSettings::setPath may have moved it),
    // learnt from a name no file has: the open of a FIFO would never return.
    const QSettings probe(QSettings::IniFormat, QSettings::UserScope, QStringLiteral(".kv508-settings-folder"));
    return QFileInfo(probe.fileName()).dir().filePath(QStringLiteral("kv508/kv508.ini"));
}

QString TForm1::SettingsRefusal()
{
    const QString path = SettingsFile();
    const QFileInfo info(path);
    if (!info.exists() || info.isFile())
        return {};
    return tr("%1 is not a regular file, so the window neither reads nor replaces it: it starts with its "
              "defaults and does not remember the port. Remove it (or put a plain file there) to have the "
              "port remembered.")
        .arg(QDir::toNativeSeparators(path));
}

QSettings TForm1::PortSettings()
{
    // INI on every platform, so the file reads the same on Linux and Windows.
    // A file that is no regular one is left alone: the settings then name a
    // file below it, which cannot exist under a FIFO or a device, so they read
    // as empty and keep nothing.
    const QString file = SettingsFile();
    return QSettings(SettingsRefusal().isEmpty() ? file : file + QStringLiteral("/unused.ini"), QSettings::IniFormat);
}

TForm1::~TForm1()
{
    // The component outlives this body for a moment; nothing may call back into us.
    MB1->OnMBMasterEndOfEvent = nullptr;
    MB1->OnMBPortOpenedOrClosed = nullptr;
    MB1->OnReconnectingChanged = nullptr;
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
    return QString::fromStdString(kv508::FormatDateCode(code));
}

quint32 TForm1::DateCodeOf(const QDate &date)
{
    if (!date.isValid())
        return 0;
    return kv508::DateCodeOf(date.year(), date.month(), date.day());
}

quint32 TForm1::DateToDateCode() const
{
    return DateCodeOf(Today());
}

bool TForm1::TryStrToInt(const QString &text, qint32 &value)
{
    return kv508::TryStrToInt(text.toStdString(), value);
}

qint64 TForm1::RoundHalfEven(qint64 numerator, qint64 denominator)
{
    return kv508::RoundHalfEven(numerator, denominator);
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
    PWMForceFlag = PollForceFlag();
    kv508::PutPoll(*MB1, PWMForceFlag, PWMValue);
    MB1->MBMasterStart(RequestDelay);
}

void TForm1::SendRequest(quint8 command)
{
    kv508::PutRequest(*MB1, command, DateToDateCode(), SettingsToWrite);
    MB1->MBMasterStart(RequestDelay);
}

void TForm1::ReadAnswer(quint8 command)
{
    if (command == Cmd_Poll)
        LiveData = kv508::GetLiveData(*MB1);
    else if (command == Cmd_ReadSettings)
        SettingsRead = kv508::GetSettings(*MB1);
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
    const quint8 ended = MB1->MBMasterCommandToSlave();
    if (MBStatus == TMB::stOK) {
        ReadAnswer(ended);
        ShowAnswer();
    }
    WatchTransaction(ended, MBStatus);
    if (MBStatus == TMB::stOK) {
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
            if (button->isChecked() && MaySend(command)) {
                // A read the chain latched waits for the technician's own write of the
                // same settings, so what was typed is stored before it is read back.
                if (command == Cmd_ReadSettings && SpeedButton_WriteSettings2->isChecked() && MaySend(Cmd_WriteSettings2))
                    command = Cmd_WriteSettings2;
                SendRequest(command);
                requestSent = true;
                break;
            }
        }
    }
    emit TransactionEnded(ended, MBStatus, Snapshot());
    if (!requestSent && MB1->MBPortOpen())
        StartPoll();
}

void TForm1::MB1MBPortOpenedOrClosed(bool MBbPortOpen)
{
    m_portOpenedAtMs = MBbPortOpen ? std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count()
                                   : -1;
    WatchPort(MBbPortOpen);
    emit PortOpenedOrClosed(MBbPortOpen);
    if (MBbPortOpen) {
        // Looked at again: a FIFO put there since must not stall the opening.
        if (SettingsRefusal().isEmpty()) {
            QSettings settings = PortSettings();
            settings.setValue(QStringLiteral("port/name"), MB1->Port());
            settings.setValue(QStringLiteral("port/identity"), MB1->PortIdentity());
        }
        StartPoll();
        SpeedButton_ReadSettings->setChecked(true);
    }
    ShowPortButtonText();
}

void TForm1::ShowPortButtonText()
{
    Button_OpenOrCloceSerialPort->setText(MB1->MBPortOpen() ? tr("Soros port bezárása") : tr("Soros port megnyitása"));
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
    m_liveShown = true;
    // Texts that seldom change are formatted and translated again only when they do.
    const TSteadyTexts steady{LiveData.FirmwareDateCode, LiveData.CalibrationDateCode, LiveData.ScaleEnd,
                              LiveData.Decimals, LiveData.SPS, true};
    if (!(steady == m_steadyShown)) {
        m_steadyShown = steady;
        Label_Firmware->setText(tr("Förmver: v%1").arg(FormatDateCode(LiveData.FirmwareDateCode)));
        Label_CalibrationDate->setText(tr("Kalibrálás dátuma: %1").arg(FormatDateCode(LiveData.CalibrationDateCode)));
        Label_ScaleEnd->setText(tr("Scale end = %1").arg(FormatScaled(LiveData.ScaleEnd, LiveData.Decimals)));
        Label_SPS->setText(tr("(SPS = %1)").arg(LiveData.SPS));
    }
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

    Label_PressureSensorBridgeDataAveraged->setText(NumberFormat::Format(LiveData.BridgeDataAveraged, QStringLiteral("## ##0")));
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
    const qint32 value = kv508::Entry(edit->text().toStdString(), fallback, low, high);
    edit->SetText(QString::number(value));
    return value;
}

void TForm1::CollectUserSettings()
{
    SettingsToWrite.iFizFor4mA = static_cast<qint16>(Entry(Edit_iFizFor4mA, 0, kv508::PressureLow, kv508::PressureHigh));
    SettingsToWrite.iFizFor20mA = static_cast<qint16>(Entry(Edit_iFizFor20mA, 0, kv508::PressureLow, kv508::PressureHigh));
    SettingsToWrite.bErrorCurrentValue = RadioGroup_ErrorCurrentValue->ItemIndex() == 1;
    RadioGroup_ErrorCurrentValue->setItemIndex(SettingsToWrite.bErrorCurrentValue ? 1 : 0);
    SettingsToWrite.bErrorCurrentMode = RadioGroup_ErrorCurrentMode->ItemIndex() == 1;
    RadioGroup_ErrorCurrentMode->setItemIndex(SettingsToWrite.bErrorCurrentMode ? 1 : 0);
}

void TForm1::CollectSettings()
{
    CollectUserSettings();
    if (RadioGroup_Sensor->ItemIndex() < 0)
        RadioGroup_Sensor->setItemIndex(kv508::SensorDefault - 1);
    SettingsToWrite.SensorCode = static_cast<quint8>(RadioGroup_Sensor->ItemIndex() + 1);
    SettingsToWrite.Averaging = static_cast<quint16>(Entry(Edit_Averaging, kv508::AveragingDefault, kv508::AveragingLow, kv508::AveragingHigh));
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
    m_pwmShown = true;
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

void TForm1::ShowCalibrationPage()
{
    PageControl1->setCurrentWidget(TabSheet2);
    raise();
    activateWindow();
}

kv508::TInstrumentSnapshot TForm1::Snapshot() const
{
    kv508::TInstrumentSnapshot s;
    s.live = LiveData;
    s.settings = SettingsRead;
    const QStringList sensors = RadioGroup_Sensor->Items();
    if (SettingsRead.SensorCode >= 1 && SettingsRead.SensorCode <= sensors.size())
        s.sensorName = sensors.at(SettingsRead.SensorCode - 1).toStdString();
    s.today = DateToDateCode();
    return s;
}

void TForm1::FormActivate()
{
    setWindowTitle(Caption());
}

void TForm1::FormClose()
{
    MB1->MBClosePort();
}

void TForm1::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        Retranslate();
    QWidget::changeEvent(event);
}

void TForm1::Retranslate()
{
    // uic puts back every design text, the readouts' placeholders included;
    // what the state decides is shown again from the state. Entries, choices,
    // latches and the poll are left as they are.
    retranslateUi(this);
    m_steadyShown = {}; // the design's texts are back
    setWindowTitle(Caption());
    ShowCodeTexts();
    if (m_liveShown)
        ShowLiveData();
    if (m_pwmShown) {
        Label_BeallitottPWM->setText(NumberFormat::Format(PWMValue, QStringLiteral("0 000")));
        Label_BeallitottPWM->update();
    }
    if (!m_readoutsCurrent)
        for (const auto &[label, designed] : m_readouts)
            label->setToolTip(LastAnswerText(m_lastAnswerAt));
    if (!m_settingsProblem.isEmpty()) {
        // Told again from the file: it is the same refusal, now in this language.
        const QString now = SettingsRefusal();
        if (!now.isEmpty())
            m_settingsProblem = now;
        if (m_settingsProblemBox)
            m_settingsProblemBox->setText(m_settingsProblem);
    }
    ShowIdentityQuestionTexts();
    m_tools->Retranslate();
}

// The texts the code sets beside the design's: the radio items (the design
// keeps them untranslated, so uic sets them before their indexes), the port
// button and the reconnect note.
void TForm1::ShowCodeTexts()
{
    RadioGroup_ErrorCurrentMode->setItems({tr("Engedélyezve"), tr("Tiltva")});
    RadioGroup_ErrorCurrentValue->setItems({tr("3,2 mA"), tr("22 mA")});
    RadioGroup_Input->setItems({tr("Pressure"), tr("Temperature")});
    ShowPortButtonText();
    ShowReconnectText();
}

void TForm1::ShowReconnectText()
{
    m_reconnectLabel->setText(tr("The port was lost.\nReconnecting…\n(press a panel button to stop)"));
    m_reconnectLabel->setToolTip(MB1->ReconnectingText());
}

bool TForm1::event(QEvent *event)
{
    // Also on showing: a desktop may never activate the window, or only later.
    if (event->type() == QEvent::WindowActivate || (event->type() == QEvent::Show && windowTitle() != Caption()))
        FormActivate();
    return QWidget::event(event);
}

void TForm1::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
}
