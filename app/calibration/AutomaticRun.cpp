#include "AutomaticRun.h"

#include "FieldLook.h"

#include "CalibrationWindow.h"
#include "Main.h"
#include "ReferencePanel.h"
#include "Trim.h"

#include <QEvent>
#include <QPushButton>

#include <cmath>

using namespace calib;

namespace {

constexpr int kRequestMs = 30000;    // an instrument's acknowledgement
constexpr int kControllerMs = 120000; // the controller reaching its set point
constexpr int kStableMs = 60000;     // the instrument settling after it
constexpr int kReadMs = 20000;       // the meter's readings of a point
constexpr int kAskAgainMs = 250;     // the controller asked again while outside its limits
constexpr int kRequestTries = 3;     // failed transactions of one request before giving up
constexpr int kPollsAfterMove = 2;   // polls carrying a new drive before the meter is read
constexpr int kReadingsPerStep = 2;  // meter readings averaged per trim step
// Full span of the output over the drive, for the trim's first guess.
constexpr double kSpanMilliAmps = 24.0;

QString Pa(double value)
{
    return QString::number(value, 'g', 6) + QStringLiteral(" Pa");
}

} // namespace

TAutomaticRun::TAutomaticRun(TForm1 &form, TCalibrationWindow &window, TReferencePanel &refs)
    : QObject(&window), m_form(form), m_window(window), m_refs(refs), m_force(form.SpeedButton_PWMForce)
{
    window.installEventFilter(this);
    connect(&form, &TForm1::PortOpenedOrClosed, this, [this](bool open) {
        if (!open)
            Fail(tr("the instrument's port closed; open it again"));
    });
    m_deadline.setSingleShot(true);
    m_again.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { Fail(m_timeoutWhy); });
    connect(&m_again, &QTimer::timeout, this, [this] { m_ticket = m_refs.ReadController(); });
    connect(&form, &TForm1::TransactionEnded, this, [this](quint8 command, TMBStatus status) { Transaction(command, status); });
    connect(window.Session(), &TCalibrationSession::LiveChanged, this, &TAutomaticRun::Check);
    connect(&refs, &TReferencePanel::ControllerRead, this,
            [this](quint64 t, bool ok, double, bool inLimits, const QString &e) { ControllerAnswer(t, ok, inLimits, e); });
    connect(&refs, &TReferencePanel::MeterRead, this, &TAutomaticRun::MeterAnswer);
    connect(&refs, &TReferencePanel::Done, this, &TAutomaticRun::Done);
    connect(&window, &TCalibrationWindow::ReferenceRead, this, &TAutomaticRun::PointRead);
}

bool TAutomaticRun::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_window && event->type() == QEvent::Close && m_running)
        Stop(false, tr("The automatic run stopped at %1: the window was closed.").arg(m_step));
    return QObject::eventFilter(watched, event);
}

TAutomaticRun::~TAutomaticRun()
{
    if (m_running)
        Stop(false, tr("The automatic run stopped: the window was closed."));
}

bool TAutomaticRun::Start(double fullScale, QString &error)
{
    if (m_running)
        error = tr("The automatic run is under way already.");
    else if (!m_window.HasRecord() || m_window.Record().finished)
        error = tr("No open record: start one with \"New record\" first.");
    else if (!m_refs.MeterConnected() || !m_refs.ControllerConnected())
        error = tr("The automatic run needs the meter and the pressure controller: type both addresses and press Connect.");
    else if (!m_form.MB1->MBPortOpen() || !m_window.Session()->PollSeen())
        error = tr("The instrument does not answer: open its port in the main window first.");
    else if (!m_window.Session()->SpanNow() || CheckSpan(*m_window.Session()->SpanNow()) != TSpanError::None)
        error = tr("The instrument's span is not usable yet: read its settings (open the port) first.");
    else if (!(fullScale > 0) || !std::isfinite(fullScale))
        error = tr("Type the sensor's full-scale pressure in Pa (from its data sheet): the scale end is set there.");
    if (!error.isEmpty())
        return false;
    m_steps.clear();
    m_acknowledged.clear();
    m_paused = m_held = false;
    m_record = m_window.Record().id;
    AddPhase(TPhase::AsFound);
    // The eleven steps, in the calibration page's order, by its own buttons.
    AddRequest(QStringLiteral("Write settings"), m_form.SpeedButton_WriteSettings, TForm1::Cmd_WriteSettings);
    Add(QStringLiteral("settings read back"), [this] {
        WaitFor([this] { return !m_form.SpeedButton_ReadSettings->isChecked(); }, kRequestMs,
                tr("the settings were not read back within 30 s; check the line"));
    });
    AddPressure(0, QStringLiteral("zero pressure"));
    AddRequest(QStringLiteral("Set as 0"), m_form.SpeedButton_SetAs0, TForm1::Cmd_SetAs0);
    AddPressure(fullScale, QStringLiteral("full scale"));
    AddRequest(QStringLiteral("Set as scale end"), m_form.SpeedButton_SetAsScaleEnd, TForm1::Cmd_SetAsScaleEnd);
    Add(QStringLiteral("PWM Force"), [this] {
        if (!m_form.SpeedButton_PWMForce->isChecked())
            m_form.SpeedButton_PWMForce->click();
        Next();
    });
    AddTrim(4.0);
    AddRequest(QStringLiteral("Set as 4 mA"), m_form.SpeedButton_SetAs4mA, TForm1::Cmd_SetAs4mA);
    AddTrim(20.0);
    AddRequest(QStringLiteral("Set as 20 mA"), m_form.SpeedButton_SetAs20mA, TForm1::Cmd_SetAs20mA);
    Add(QStringLiteral("PWM Force released"), [this] {
        if (m_form.SpeedButton_PWMForce->isChecked())
            m_form.SpeedButton_PWMForce->click();
        Next();
    });
    AddRequest(QStringLiteral("Reset"), m_form.SpeedButton_Reset, TForm1::Cmd_Reset);
    AddPressure(0, QStringLiteral("zero pressure"));
    AddRequest(QStringLiteral("Zero"), m_form.SpeedButton_Zero, TForm1::Cmd_Zero);
    AddRequest(QStringLiteral("Reset"), m_form.SpeedButton_Reset, TForm1::Cmd_Reset);
    AddPhase(TPhase::AsLeft);
    Add(QStringLiteral("control off"), [this] {
        m_ticket = m_refs.ControlOff();
        m_deadline.start(kRequestMs);
        m_timeoutWhy = tr("the controller did not take its control off");
    });
    m_running = true;
    Next();
    return true;
}

void TAutomaticRun::AddPhase(TPhase phase)
{
    const std::vector<TDecimal> seq = m_window.Record().Sequence();
    for (int i = 0; i < int(seq.size()); ++i) {
        const QString what = tr("%1 point %2 of %3").arg(PhaseWord(phase)).arg(i + 1).arg(seq.size());
        Add(what + tr(": applying the pressure"), [this, phase, percent = seq[size_t(i)]] {
            // The phase's own span once it has one (taken at its first point), else the instrument's.
            const std::optional<TSpan> &own = m_window.Record().span[int(phase)];
            const std::optional<TSpan> now = m_window.Session()->SpanNow();
            if (!own && !now)
                return Fail(tr("the instrument's span is no longer known; check the line"));
            Apply((own ? *own : *now).At(percent).Value());
        });
        Add(what + tr(": reading the references"), [this, phase, i] {
            m_phase = phase;
            m_index = i;
            if (!m_window.ReadPoint(phase, i))
                return Fail(m_window.LastMessage());
            m_deadline.start(kReadMs);
            m_timeoutWhy = tr("the meter's readings did not come within 20 s");
        });
    }
}

void TAutomaticRun::AddPressure(double pascal, const QString &what)
{
    Add(QStringLiteral("%1 (%2)").arg(what, Pa(pascal)), [this, pascal] { Apply(pascal); });
}

void TAutomaticRun::Apply(double pascal)
{
    m_ticket = m_refs.ApplyPressure(pascal);
    m_deadline.start(kControllerMs);
    m_timeoutWhy = tr("the pressure controller did not come within its limits of %1 in %2 s; check its supply and "
                                  "the connections, then run again")
                       .arg(Pa(pascal))
                       .arg(kControllerMs / 1000);
}

void TAutomaticRun::AddRequest(const QString &name, TSpeedButton *button, quint8 command)
{
    Add(QStringLiteral("\u201c%1\u201d").arg(name), [this, name, button, command] {
        m_request = button;
        m_command = command;
        m_failures = 0;
        m_acked = false;
        if (!button->isChecked())
            button->click();
        WaitFor([this, name] {
            if (!m_acked)
                return false;
            m_acknowledged << name;
            m_request = nullptr;
            return true;
        },
                kRequestMs, tr("the instrument did not acknowledge \u201c%1\u201d within %2 s; check the line").arg(name).arg(kRequestMs / 1000));
    });
}

void TAutomaticRun::AddTrim(double milliAmps)
{
    Add(tr("trimming the output to %1 mA").arg(milliAmps), [this, milliAmps] {
        station::TTrimOptions options;
        options.targetMilliAmps = milliAmps;
        options.driveMax = TForm1::PWMMax;
        options.readingsPerStep = kReadingsPerStep;
        m_trim = std::make_unique<station::TTrim>(options, int(std::lround(TForm1::PWMMax * milliAmps / kSpanMilliAmps)));
        TrimStep();
    });
}

// The drive the trim asks for, a few polls to carry it, then the meter.
void TAutomaticRun::TrimStep()
{
    MoveDrive(m_trim->Drive());
    m_polls = 0;
    WaitFor([this] { return m_polls >= kPollsAfterMove; }, kRequestMs, tr("the instrument stopped answering polls; check the line"));
}

void TAutomaticRun::MoveDrive(int drive)
{
    QPushButton *up[] = {m_form.Button9, m_form.Button8, m_form.Button7, m_form.Button6};
    QPushButton *down[] = {m_form.Button2, m_form.Button3, m_form.Button4, m_form.Button5};
    const int sizes[] = {1000, 100, 10, 1};
    int delta = drive - int(m_form.PWMValue);
    for (int i = 0; i < 4; ++i)
        for (; std::abs(delta) >= sizes[i]; delta -= delta > 0 ? sizes[i] : -sizes[i])
            (delta > 0 ? up[i] : down[i])->click();
}

void TAutomaticRun::Next()
{
    m_deadline.stop();
    m_until = nullptr;
    if (!m_running)
        return;
    if (m_window.Record().id != m_record || m_window.Record().finished)
        return Fail(tr("another record was opened, or this one finished; run again on the record meant"));
    if (m_paused) {
        m_held = true;
        emit Progress(tr("Paused after %1.").arg(m_step));
        return;
    }
    if (m_steps.empty()) {
        Stop(true, tr("Automatic run done: As-Found, the eleven steps and As-Left are in the record (acknowledged: %1). "
                                  "Check it, then \"Finish record\".")
                       .arg(m_acknowledged.join(QStringLiteral(", "))));
        return;
    }
    TStep step = std::move(m_steps.front());
    m_steps.pop_front();
    m_step = step.what;
    emit Progress(tr("Automatic: %1…").arg(m_step));
    step.start();
}

void TAutomaticRun::WaitFor(std::function<bool()> pred, int ms, const QString &why)
{
    m_until = std::move(pred);
    m_timeoutWhy = why;
    m_deadline.start(ms);
    Check();
}

void TAutomaticRun::Check()
{
    if (!m_running || !m_until)
        return;
    if (m_until()) {
        if (m_trim && m_trim->State() == station::TTrimState::Running) {
            // The new drive is out: read the meter for the trim.
            m_until = nullptr;
            m_deadline.start(kReadMs);
            m_timeoutWhy = tr("the meter's readings did not come within 20 s");
            m_ticket = m_refs.ReadMeter(kReadingsPerStep);
            return;
        }
        m_trim.reset();
        Next();
    }
}

void TAutomaticRun::Transaction(quint8 command, TMBStatus status)
{
    if (!m_running)
        return;
    if (command == TForm1::Cmd_Poll && status == TMB::stOK)
        ++m_polls;
    if (m_request && command == m_command) {
        if (status == TMB::stOK)
            m_acked = true;
        else if (++m_failures >= kRequestTries)
            return Fail(tr("the instrument did not take the request (%1 tries failed); check the line").arg(kRequestTries));
    }
    Check();
}

void TAutomaticRun::Done(quint64 ticket, bool ok, const QString &error)
{
    if (!m_running || ticket != m_ticket)
        return;
    if (!ok)
        return Fail(error);
    if (m_step == QStringLiteral("control off"))
        return Next();
    m_ticket = m_refs.ReadController(); // the set point is out: wait for the controller's limits
}

void TAutomaticRun::ControllerAnswer(quint64 ticket, bool ok, bool inLimits, const QString &error)
{
    if (!m_running || ticket != m_ticket)
        return;
    if (!ok)
        return Fail(error);
    if (!inLimits) {
        m_again.start(kAskAgainMs);
        return;
    }
    // Within limits: the instrument's last polls must all be of the new pressure.
    m_polls = 0;
    WaitFor([this] { return m_polls >= 5 && m_window.InstrumentStable(); }, kStableMs,
            tr("the instrument did not settle within %1 s of the controller; check for leaks").arg(kStableMs / 1000));
}

void TAutomaticRun::MeterAnswer(quint64 ticket, bool ok, double milliAmps, const QString &error)
{
    if (!m_running || !m_trim || ticket != m_ticket)
        return;
    if (!ok)
        return Fail(error);
    m_trim->Feed(milliAmps);
    switch (m_trim->State()) {
    case station::TTrimState::Running: TrimStep(); break;
    case station::TTrimState::Failed: Fail(tr("the trim failed: %1").arg(QString::fromStdString(m_trim->Text()))); break;
    case station::TTrimState::Converged:
        emit Progress(tr("Automatic: %1").arg(QString::fromStdString(m_trim->Text())));
        // The chosen drive out on the line before the point is stored.
        MoveDrive(m_trim->Drive());
        m_polls = 0;
        WaitFor([this] { return m_polls >= kPollsAfterMove; }, kRequestMs, tr("the instrument stopped answering polls; check the line"));
        break;
    }
}

void TAutomaticRun::PointRead(bool ok)
{
    if (!m_running || m_index < 0)
        return;
    const TPhase phase = m_phase;
    const int index = m_index;
    m_index = -1;
    if (!ok)
        return Fail(m_window.LastMessage());
    // The point goes in on the table's queued "typed": look once it has.
    QMetaObject::invokeMethod(
        this,
        [this, phase, index] {
            if (!m_running)
                return;
            if (!m_window.Record().Find(phase, index))
                return Fail(tr("point %1 was read but not entered: %2").arg(index + 1).arg(m_window.LastMessage()));
            Next();
        },
        Qt::QueuedConnection);
}

void TAutomaticRun::SetPaused(bool paused)
{
    m_paused = paused;
    if (!m_running)
        return;
    if (paused) {
        emit Progress(tr("Automatic: pausing after %1…").arg(m_step));
    } else if (m_held) {
        m_held = false;
        Next();
    }
}

void TAutomaticRun::Cancel()
{
    if (m_running)
        Stop(false, tr("The automatic run was cancelled at %1.").arg(m_step));
}

void TAutomaticRun::Fail(const QString &why)
{
    if (m_running)
        Stop(false, tr("The automatic run stopped at %1: %2.").arg(m_step, why));
}

void TAutomaticRun::Stop(bool ok, const QString &text)
{
    m_running = false;
    m_deadline.stop();
    m_again.stop();
    m_until = nullptr;
    m_trim.reset();
    m_steps.clear();
    m_index = -1;
    QString end = text;
    if (!ok) {
        // A request still latched is not sent after the run.
        if (m_request && m_request->isChecked())
            m_request->click();
        m_request = nullptr;
        if (m_force && m_force->isChecked())
            m_force->click();
        m_refs.ControlOff();
        end += m_acknowledged.isEmpty()
                   ? tr(" The instrument acknowledged no calibration point.")
                   : tr(" The instrument acknowledged: %1.").arg(m_acknowledged.join(QStringLiteral(", ")));
        end += tr(" The output is released, the controller's control off and the record open: run again, or go on by hand.");
    }
    emit Progress(QString());
    emit Ended(ok, end);
}
