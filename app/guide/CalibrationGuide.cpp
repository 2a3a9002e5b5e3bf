#include "CalibrationGuide.h"

#include "Main.h"
#include "Tools.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <algorithm>

namespace {

enum class TKind { Select, Command, ForceOn, ForceOff };

struct TStepSpec {
    TKind kind;
    quint8 command; // for TKind::Command
    bool settle;    // the point takes the instrument's reading: it should have settled
    const char *text; // translated where shown
};

// Memo1's eleven steps, in its order.
constexpr TStepSpec kSteps[TCalibrationGuide::StepCount] = {
    {TKind::Select, 0, false, QT_TRANSLATE_NOOP("TCalibrationGuide", "Select the sensor in use on the calibration page.")},
    {TKind::Command, kv508::Cmd_WriteSettings, false, QT_TRANSLATE_NOOP("TCalibrationGuide", "Store it: “Write settings to instrument”.")},
    {TKind::Command, kv508::Cmd_SetAs0, true, QT_TRANSLATE_NOOP("TCalibrationGuide", "Apply zero pressure, then “Set as 0”.")},
    {TKind::Command, kv508::Cmd_SetAsScaleEnd, true, QT_TRANSLATE_NOOP("TCalibrationGuide", "Apply the sensor's full-scale pressure, then “Set as scale end”.")},
    {TKind::ForceOn, 0, false, QT_TRANSLATE_NOOP("TCalibrationGuide", "Press “PWM Force”: the output calibration begins.")},
    {TKind::Command, kv508::Cmd_SetAs4mA, false, QT_TRANSLATE_NOOP("TCalibrationGuide", "Bring the output to 4 mA (slider, − / + buttons), then “Set as 4 mA”.")},
    {TKind::Command, kv508::Cmd_SetAs20mA, false, QT_TRANSLATE_NOOP("TCalibrationGuide", "Bring the output to 20 mA, then “Set as 20 mA”.")},
    {TKind::ForceOff, 0, false, QT_TRANSLATE_NOOP("TCalibrationGuide", "Release “PWM Force”: the output calibration ends.")},
    {TKind::Command, kv508::Cmd_Reset, false, QT_TRANSLATE_NOOP("TCalibrationGuide", "“Reset”: the instrument starts with the new calibration.")},
    {TKind::Command, kv508::Cmd_Zero, true, QT_TRANSLATE_NOOP("TCalibrationGuide", "Apply zero pressure, then “Zero”.")},
    {TKind::Command, kv508::Cmd_Reset, false, QT_TRANSLATE_NOOP("TCalibrationGuide", "“Reset” again: calibration done.")},
};

// The calibration page's captions, quoted as the page shows them.
QString ButtonName(quint8 command)
{
    switch (command) {
    case kv508::Cmd_WriteSettings: return QStringLiteral("Write settings to instrument");
    case kv508::Cmd_SetAs0: return QStringLiteral("Set as 0");
    case kv508::Cmd_SetAsScaleEnd: return QStringLiteral("Set as scale end");
    case kv508::Cmd_SetAs4mA: return QStringLiteral("Set as 4 mA");
    case kv508::Cmd_SetAs20mA: return QStringLiteral("Set as 20 mA");
    case kv508::Cmd_Reset: return QStringLiteral("Reset");
    case kv508::Cmd_Zero: return QStringLiteral("Zero");
    default: return {};
    }
}

QString FailureText(TMBStatus status)
{
    switch (status) {
    case TMB::stTimeOut: return QCoreApplication::translate("TCalibrationGuide", "no answer came");
    case TMB::stSlaveError: return QCoreApplication::translate("TCalibrationGuide", "the instrument refused it");
    case TMB::stClosedPort: return QCoreApplication::translate("TCalibrationGuide", "the port closed");
    default: return QCoreApplication::translate("TCalibrationGuide", "it failed");
    }
}

// What to do about a flag still set after the last Reset.
QString FlagHint(uint8_t bit)
{
    switch (bit) {
    case kv508::Err_NotCalibrated: return QCoreApplication::translate("TCalibrationGuide", "a point did not take: repeat steps 3–4 (input) and 5–8 (output)");
    case kv508::Err_SensorFault: return QCoreApplication::translate("TCalibrationGuide", "check the sensor and its wiring");
    case kv508::Err_SettingsMissing: return QCoreApplication::translate("TCalibrationGuide", "store the settings again (step 2)");
    case kv508::Err_SensorOverload: return QCoreApplication::translate("TCalibrationGuide", "the pressure applied is beyond the sensor's range");
    case kv508::Err_OutputOutOfRange:
        return QCoreApplication::translate("TCalibrationGuide", "the pressure lies outside the span (4 mA / 20 mA settings), or the zero or scale end did not take");
    default: return {};
    }
}

// The window's labels of the error flags, in the language chosen.
QString FlagName(uint8_t bit)
{
    switch (bit) {
    case kv508::Err_NotCalibrated: return QCoreApplication::translate("TCalibrationGuide", "Nincs kalibrálva");
    case kv508::Err_SensorFault: return QCoreApplication::translate("TCalibrationGuide", "Hibás szenzor");
    case kv508::Err_SettingsMissing: return QCoreApplication::translate("TCalibrationGuide", "Hiányzó beállítások");
    case kv508::Err_SensorOverload: return QCoreApplication::translate("TCalibrationGuide", "Szenzor túlterhelés");
    case kv508::Err_OutputOutOfRange: return QCoreApplication::translate("TCalibrationGuide", "Kimenet tartományon kívül");
    default: return {};
    }
}

// The settling's "moved between 1.0 and 2.0 over the last 1.5 s (settled is within 0.2)" in the
// language chosen; any other text as it is.
QString MovementText(const std::string &text)
{
    static const QRegularExpression moved(QStringLiteral(
        R"(^moved between (\S+) and (\S+) over the last (\S+) s \(settled is within (\S+)\)$)"));
    const QString raw = QString::fromStdString(text);
    if (raw == QLatin1String("no reading"))
        return QCoreApplication::translate("TCalibrationGuide", "no reading");
    const QRegularExpressionMatch m = moved.match(raw);
    if (!m.hasMatch())
        return raw;
    return QCoreApplication::translate("TCalibrationGuide", "moved between %1 and %2 over the last %3 s (settled is within %4)")
        .arg(m.captured(1), m.captured(2), m.captured(3), m.captured(4));
}

QString Colour(const QWidget *w, bool good)
{
    const bool dark = w->palette().color(QPalette::Window).lightness() < 128;
    if (good)
        return dark ? QStringLiteral("#81c784") : QStringLiteral("#2e7d32");
    return dark ? QStringLiteral("#ffb74d") : QStringLiteral("#b26a00");
}

} // namespace

TCalibrationGuide::TCalibrationGuide(TForm1 &form) : QWidget(&form, Qt::Window), m_form(form)
{
    setObjectName(QStringLiteral("CalibrationGuide"));
    m_clock.start();

    auto *layout = new QVBoxLayout(this);
    m_heading = new QLabel(this);
    m_heading->setWordWrap(true);
    layout->addWidget(m_heading);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("GuideSteps"));
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setWordWrap(true);
    layout->addWidget(m_list, 1);
    for (QLabel **label : {&m_settled, &m_statusLabel, &m_resultLabel}) {
        *label = new QLabel(this);
        (*label)->setWordWrap(true);
        (*label)->setTextFormat(Qt::RichText);
        layout->addWidget(*label);
    }
    m_settled->setObjectName(QStringLiteral("GuideSettled"));
    m_statusLabel->setObjectName(QStringLiteral("GuideStatus"));
    m_resultLabel->setObjectName(QStringLiteral("GuideResult"));
    auto *bar = new QHBoxLayout;
    bar->addStretch(1);
    m_startOver = MakeToolBarButton(QString(), QString(), this);
    m_startOver->setObjectName(QStringLiteral("GuideStartOver"));
    connect(m_startOver, &QToolButton::clicked, this, &TCalibrationGuide::StartOver);
    bar->addWidget(m_startOver);
    layout->addLayout(bar);

    connect(&form, &TForm1::TransactionEnded, this, &TCalibrationGuide::Transaction);
    connect(&form, &TForm1::PortOpenedOrClosed, this, &TCalibrationGuide::PortChanged);
    connect(form.SpeedButton_PWMForce, &QToolButton::toggled, this, [this] {
        m_pollsSinceForce = 0; // the poll in flight still carries the old state
        Show();
    });
    for (TRadioGroup *group : {form.RadioGroup_Sensor, form.RadioGroup_Input})
        connect(group, &TRadioGroup::Click, this, [this] {
            CheckStateSteps();
            Show();
        });

    resize(470, 420);
    // Beside the main window, so both are seen at once.
    const QRect main = form.frameGeometry();
    move(main.right() + 8, main.top());
    CheckStateSteps();
    Show();
}

void TCalibrationGuide::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange && m_list)
        Show();
    QWidget::changeEvent(event);
}

int TCalibrationGuide::CurrentStep() const
{
    const auto it = std::find_if(m_steps.begin(), m_steps.end(), [](const TStepState &s) { return !s.done; });
    return static_cast<int>(it - m_steps.begin());
}

void TCalibrationGuide::StartOver()
{
    m_steps = {};
    m_awaitingResult = m_calibrated = false;
    m_result = nullptr;
    m_status = nullptr;
    CheckStateSteps();
    Show();
}

void TCalibrationGuide::PortChanged(bool open)
{
    m_settle.reset();
    m_pollsSinceForce = 0;
    // A port opened anew may hold another instrument: its ticks would not be its own.
    // One the window takes back after a hang-up keeps them (the window checks it is the same).
    if (open && !m_form.MB1->Reconnecting())
        StartOver();
    Show();
}

void TCalibrationGuide::Transaction(quint8 command, TMBStatus status, const kv508::TInstrumentSnapshot &instrument)
{
    if (status == TMB::stOK) {
        if (command == kv508::Cmd_Poll)
            Poll(instrument);
        else
            Acknowledged(command, instrument);
    } else if (!ButtonName(command).isEmpty()) {
        const int current = CurrentStep();
        m_status = [command, status] {
            return tr("“%1” failed (%2), so it is not ticked. The request stays latched and goes out again "
                      "after the next poll; if it keeps failing, check the line.")
                .arg(ButtonName(command), FailureText(status));
        };
        if (current < StepCount && kSteps[current].command == command)
            m_steps[static_cast<size_t>(current)].note = [status] { return tr("not acknowledged yet (%1)").arg(FailureText(status)); };
    }
    CheckStateSteps();
    Show();
}

void TCalibrationGuide::Poll(const kv508::TInstrumentSnapshot &instrument)
{
    ++m_pollsSinceForce;
    const kv508::TLiveData &d = instrument.live;
    // Until the settings are read, as long as the longest averaging, to be safe.
    const uint16_t averaging = std::clamp<uint16_t>(m_averaging != 0 ? m_averaging : kv508::AveragingHigh,
                                                    kv508::AveragingLow, kv508::AveragingHigh);
    const int64_t window = std::max<int64_t>(kv508::SettleWindowMs(averaging, d.SPS), 500);
    if (!m_settle || m_settle->WindowMs() != window)
        m_settle.emplace(window);
    m_settle->Add(m_clock.elapsed(), d);

    if (!m_awaitingResult)
        return;
    m_awaitingResult = false;
    const uint8_t bits = d.ErrorBits;
    m_calibrated = std::none_of(kv508::ErrorFlags.begin(), kv508::ErrorFlags.end(),
                                [bits](const kv508::TErrorFlag &f) { return bits & f.bit; });
    if (m_calibrated) {
        m_result = [date = TForm1::FormatDateCode(d.CalibrationDateCode)] {
            return tr("Calibrated: the instrument reports no error flag; calibration date %1.").arg(date);
        };
        return;
    }
    m_result = [bits] {
        QStringList flags, hints;
        for (const kv508::TErrorFlag &f : kv508::ErrorFlags)
            if (bits & f.bit) {
                flags << tr("“%1” (%2)").arg(FlagName(f.bit), QString::fromUtf8(f.key));
                hints << FlagHint(f.bit);
            }
        return tr("Not calibrated: the instrument still reports %1. %2.").arg(flags.join(QStringLiteral(", ")), hints.join(QStringLiteral("; ")));
    };
}

void TCalibrationGuide::Acknowledged(quint8 command, const kv508::TInstrumentSnapshot &instrument)
{
    if (command == kv508::Cmd_EraseEEPROM) {
        StartOver();
        m_status = [] { return tr("The instrument's memory was erased: the calibration starts again from step 1."); };
        return;
    }
    if (command == kv508::Cmd_ReadSettings) {
        m_averaging = instrument.settings.Averaging;
        if (m_steps[1].done && !m_steps[2].done)
            m_steps[1].note = [code = instrument.settings.SensorCode, name = QString::fromStdString(instrument.sensorName)] {
                return name.isEmpty() ? tr("the instrument holds sensor code %1").arg(code) : tr("the instrument holds %1").arg(name);
            };
        return;
    }
    if (ButtonName(command).isEmpty())
        return;
    const int current = CurrentStep();
    if (current < StepCount && kSteps[current].kind == TKind::Command && kSteps[current].command == command) {
        TSaying note = [] { return tr("acknowledged"); };
        if (kSteps[current].settle && !Settled())
            note = [command] {
                return tr("⚠ acknowledged, but taken while the reading was still moving: apply the pressure, wait "
                          "for “ADC settled” and press “%1” again")
                    .arg(ButtonName(command));
            };
        Tick(current, note);
        m_status = nullptr;
        if (current == StepCount - 1)
            m_awaitingResult = true; // the poll after the restart tells
        return;
    }
    m_status = [command, step = std::min(current, StepCount - 1) + 1] {
        return tr("“%1” was acknowledged out of order (the guide is at step %2), so no step is ticked for it.")
            .arg(ButtonName(command))
            .arg(step);
    };
}

void TCalibrationGuide::CheckStateSteps()
{
    // Until it is stored, the selection may change: the note shows the one of now.
    if (m_steps[0].done && !m_steps[1].done)
        m_steps[0].note = SelectionNote();
    for (;;) {
        const int current = CurrentStep();
        if (current >= StepCount)
            return;
        const bool forced = m_form.SpeedButton_PWMForce->isChecked();
        switch (kSteps[current].kind) {
        case TKind::Select:
            if (m_form.RadioGroup_Input->ItemIndex() == 1 || m_form.RadioGroup_Sensor->ItemIndex() >= 0) {
                Tick(current, SelectionNote());
                continue;
            }
            return;
        case TKind::ForceOn:
            // Polled with the force on: the instrument drives the output at the set value.
            if (forced && !m_form.WritesHeld() && m_pollsSinceForce >= 2) {
                Tick(current, [] { return tr("the output is forced"); });
                continue;
            }
            return;
        case TKind::ForceOff:
            if (!forced && m_pollsSinceForce >= 2) {
                Tick(current, [] { return tr("the output follows the pressure again"); });
                continue;
            }
            return;
        case TKind::Command: return;
        }
    }
}

// The sensor chosen on the page (its own caption, in the page's language), or the temperature input.
TCalibrationGuide::TSaying TCalibrationGuide::SelectionNote() const
{
    if (m_form.RadioGroup_Input->ItemIndex() == 1)
        return [] { return tr("temperature input: no pressure sensor"); };
    return [sensor = m_form.RadioGroup_Sensor->Items().value(m_form.RadioGroup_Sensor->ItemIndex())] { return sensor; };
}

void TCalibrationGuide::Tick(int step, TSaying note)
{
    m_steps[static_cast<size_t>(step)] = {true, std::move(note)};
}

QString TCalibrationGuide::SettledText() const
{
    if (!m_settle)
        return tr("<span style='color:%1'><b>○ ADC: no reading yet</b></span>").arg(Colour(this, false));
    if (m_settle->Settled())
        return tr("<span style='color:%1'><b>● ADC settled</b></span> (steady over the averaging window, %2 s)")
            .arg(Colour(this, true))
            .arg(double(m_settle->WindowMs()) / 1000.0, 0, 'f', 1);
    return tr("<span style='color:%1'><b>○ ADC settling</b></span>: the reading %2; wait before pressing the button")
        .arg(Colour(this, false), MovementText(m_settle->MovementText()).toHtmlEscaped());
}

void TCalibrationGuide::Show()
{
    setWindowTitle(tr("Calibration guide – %1").arg(TForm1::Caption()));
    m_heading->setText(tr("The steps of the calibration page (Ctrl+Tab). A step is ticked when the instrument has acknowledged it."));
    m_startOver->setText(tr("Start over"));
    m_startOver->setToolTip(tr("Clear the ticks, for the next calibration"));
    const int current = CurrentStep();
    if (m_list->count() != StepCount) {
        m_list->clear();
        for (int i = 0; i < StepCount; ++i)
            m_list->addItem(QString());
    }
    for (int i = 0; i < StepCount; ++i) {
        QListWidgetItem *item = m_list->item(i);
        const TStepState &s = m_steps[static_cast<size_t>(i)];
        const QString mark = s.done ? QStringLiteral("✓") : i == current ? QStringLiteral("▶") : QStringLiteral("  ");
        QString text = QStringLiteral("%1 %2. %3").arg(mark).arg(i + 1).arg(tr(kSteps[i].text));
        if (const QString note = Said(s.note); !note.isEmpty())
            text += QStringLiteral("\n      ") + note;
        item->setText(text);
        QFont font = m_list->font();
        font.setBold(i == current);
        item->setFont(font);
        item->setBackground(i == current ? palette().brush(QPalette::Highlight) : QBrush());
        item->setForeground(i == current ? palette().brush(QPalette::HighlightedText) : QBrush());
    }
    if (current < StepCount)
        m_list->scrollToItem(m_list->item(current));
    const bool settleStep = current < StepCount && kSteps[current].settle;
    m_settled->setVisible(settleStep);
    if (settleStep)
        m_settled->setText(SettledText());
    const QString status = Status();
    m_statusLabel->setVisible(!status.isEmpty());
    m_statusLabel->setText(status.toHtmlEscaped());
    const QString said = Result();
    const QString result = said.isEmpty() && m_awaitingResult ? tr("Waiting for the instrument's first poll after the restart…") : said;
    m_resultLabel->setVisible(!result.isEmpty());
    const QString bold = QStringLiteral("<b style='color:%1'>%2</b>");
    m_resultLabel->setText(said.isEmpty() ? result.toHtmlEscaped() : bold.arg(Colour(this, m_calibrated), result.toHtmlEscaped()));
}

QWidget *MakeCalibrationGuide(TForm1 &form)
{
    return new TCalibrationGuide(form);
}
