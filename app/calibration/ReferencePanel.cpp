#include "ReferencePanel.h"

#include "Main.h"
#include "ReferenceWorker.h"
#include "ScpiPort.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QThread>

namespace {

const QString kMeterKey = QStringLiteral("Calibration/meter");
const QString kControllerKey = QStringLiteral("Calibration/controller");
const QString kFullScaleKey = QStringLiteral("Calibration/fullScale");

QString RoleName(int role)
{
    return role == TReferenceWorker::Meter ? QStringLiteral("meter") : QStringLiteral("pressure controller");
}

} // namespace

TReferencePanel::TReferencePanel(QWidget *parent) : QGroupBox(QStringLiteral("Reference instruments on a line"), parent)
{
    const QSettings settings = TForm1::PortSettings();
    const QString tip = QStringLiteral("tcp:HOST:PORT (a bench instrument's LAN socket, port 5025) or serial:PORT[:BAUD]; empty: typed by hand");
    m_meterEdit = new QLineEdit(settings.value(kMeterKey).toString(), this);
    m_meterEdit->setPlaceholderText(QStringLiteral("by hand"));
    m_meterEdit->setToolTip(QStringLiteral("The meter reading the loop current: ") + tip);
    m_controllerEdit = new QLineEdit(settings.value(kControllerKey).toString(), this);
    m_controllerEdit->setPlaceholderText(QStringLiteral("by hand"));
    m_controllerEdit->setToolTip(QStringLiteral("The pressure controller applying the pressure: ") + tip);
    m_connect = new QPushButton(QStringLiteral("Connect"), this);
    m_connect->setToolTip(QStringLiteral("Connect the references named (and remember them); their *IDN? answer fills the reference instruments"));
    m_read = new QPushButton(QStringLiteral("Read"), this);
    m_read->setToolTip(QStringLiteral("Read the meter (the mean of a few readings) into the selected point; with a controller, "
                                      "its reading is the applied value"));
    m_autoRead = new QCheckBox(QStringLiteral("Read automatically"), this);
    m_autoRead->setToolTip(QStringLiteral("Once an applied value is typed, read the meter as soon as the instrument is stable"));
    m_state = new QLabel(this);
    m_state->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Long identities never widen the window: cut at its edge, whole in the tip.
    m_state->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    for (QLineEdit *e : {m_meterEdit, m_controllerEdit})
        e->setMinimumWidth(190);

    m_automatic = new QPushButton(QStringLiteral("Automatic"), this);
    m_automatic->setToolTip(QStringLiteral("As-Found, the eleven steps with the output trimmed on the meter, and As-Left, "
                                           "by the controller and the meter alone"));
    m_pause = new QPushButton(QStringLiteral("Pause"), this);
    m_pause->setCheckable(true);
    m_pause->setToolTip(QStringLiteral("Hold the automatic run after the step under way"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setToolTip(QStringLiteral("Stop the automatic run: the output is released, the controller's control turned off, the record left open"));
    m_fullScale = new QLineEdit(settings.value(kFullScaleKey).toString(), this);
    m_fullScale->setMaximumWidth(80);
    m_fullScale->setToolTip(QStringLiteral("The sensor's full-scale pressure in Pa, from its data sheet: the scale end is set there"));
    connect(m_fullScale, &QLineEdit::editingFinished, this, [this] {
        QSettings s = TForm1::PortSettings();
        s.setValue(kFullScaleKey, m_fullScale->text().trimmed());
    });
    m_progress = new QLabel(this);
    m_progress->setObjectName(QStringLiteral("AutomaticProgress"));
    m_progress->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_progress->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto *rows = new QVBoxLayout(this);
    rows->setContentsMargins(6, 2, 6, 2);
    rows->setSpacing(2);
    auto *row = new QHBoxLayout;
    rows->addLayout(row);
    row->addWidget(new QLabel(QStringLiteral("Meter"), this));
    row->addWidget(m_meterEdit, 1);
    row->addWidget(new QLabel(QStringLiteral("Pressure controller"), this));
    row->addWidget(m_controllerEdit, 1);
    row->addWidget(m_connect);
    row->addStretch(1);
    row->addWidget(m_autoRead);
    row->addWidget(m_read);
    auto *run = new QHBoxLayout;
    rows->addLayout(run);
    run->addWidget(m_automatic);
    run->addWidget(m_pause);
    run->addWidget(m_cancel);
    run->addWidget(new QLabel(QStringLiteral("Sensor full scale"), this));
    run->addWidget(m_fullScale);
    run->addWidget(new QLabel(QStringLiteral("Pa"), this));
    run->addSpacing(12);
    run->addWidget(m_state, 2);
    run->addWidget(m_progress, 3);

    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("References"));
    m_worker = new TReferenceWorker;
    m_worker->moveToThread(m_thread);
    connect(m_worker, &TReferenceWorker::Opened, this, &TReferencePanel::Opened);
    connect(m_worker, &TReferenceWorker::MeterRead, this, &TReferencePanel::MeterRead);
    connect(m_worker, &TReferenceWorker::ControllerRead, this, &TReferencePanel::ControllerRead);
    connect(m_worker, &TReferenceWorker::Done, this, &TReferencePanel::Done);
    connect(m_connect, &QPushButton::clicked, this, &TReferencePanel::ConnectAsked);
    connect(m_read, &QPushButton::clicked, this, &TReferencePanel::ReadAsked);
    connect(m_automatic, &QPushButton::clicked, this, &TReferencePanel::AutomaticAsked);
    m_thread->start();
    ShowState();
    ShowRun(false, QString());
}

TReferencePanel::~TReferencePanel()
{
    disconnect(m_worker, nullptr, this, nullptr);
    // A silent instrument's time-out is not waited out: the call ends now,
    // then the controller's control goes off and both close.
    m_worker->Interrupt();
    QMetaObject::invokeMethod(m_worker, [w = m_worker] { w->Shutdown(); }, Qt::QueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_worker; // its thread has ended: nothing of it runs any more
}

bool TReferencePanel::ConnectAll(const QString &unit)
{
    QString addresses[2] = {m_meterEdit->text().trimmed(), m_controllerEdit->text().trimmed()};
    for (int role = 0; role < 2; ++role) {
        std::string error;
        if (!addresses[role].isEmpty() && !station::ParseScpiAddress(addresses[role].toStdString(), error)) {
            emit Problem(QStringLiteral("The %1's address is not usable: %2.").arg(RoleName(role), QString::fromStdString(error)));
            return false;
        }
    }
    if (!addresses[1].isEmpty() && unit != QStringLiteral("Pa")) {
        emit Problem(QStringLiteral("The instrument measures %1, not pressure: a pressure controller cannot apply it. Empty the "
                                    "controller's field and apply the values by hand.")
                         .arg(unit));
        return false;
    }
    QSettings settings = TForm1::PortSettings();
    settings.setValue(kMeterKey, addresses[0]);
    settings.setValue(kControllerKey, addresses[1]);
    for (int role = 0; role < 2; ++role) {
        m_identity[role].clear();
        ++m_connecting;
        QMetaObject::invokeMethod(
            m_worker, [w = m_worker, role, a = addresses[role]] { w->Open(role, a, QStringLiteral("PA")); }, Qt::QueuedConnection);
    }
    ShowState();
    return true;
}

void TReferencePanel::Opened(int role, bool ok, const QString &identity, const QString &error)
{
    m_connecting = std::max(0, m_connecting - 1);
    m_identity[role] = ok ? identity : QString();
    ShowState();
    if (!ok)
        emit Problem(QStringLiteral("The %1 is not connected: %2").arg(RoleName(role), error));
    else if (!identity.isEmpty())
        emit Identified(role, identity);
}

void TReferencePanel::ShowState()
{
    QStringList parts;
    for (int role = 0; role < 2; ++role)
        if (!m_identity[role].isEmpty())
            parts << (role == TReferenceWorker::Meter ? QStringLiteral("meter ") : QStringLiteral("controller ")) +
                         m_identity[role].section(QLatin1Char(','), 0, 1).replace(QLatin1Char(','), QLatin1Char(' '));
    QStringList whole;
    for (int role = 0; role < 2; ++role)
        if (!m_identity[role].isEmpty())
            whole << QStringLiteral("%1: %2").arg(RoleName(role), m_identity[role]);
    m_state->setToolTip(whole.join(QLatin1Char('\n')));
    m_state->setText(m_connecting > 0 ? QStringLiteral("connecting…")
                     : parts.isEmpty() ? QStringLiteral("none connected (typed by hand)")
                                       : QStringLiteral("Connected: ") + parts.join(QStringLiteral(" · ")));
    m_read->setEnabled(MeterConnected() && !m_cancel->isEnabled());
    m_automatic->setEnabled(MeterConnected() && ControllerConnected() && !m_cancel->isEnabled());
}

void TReferencePanel::ShowRun(bool running, const QString &progress)
{
    m_cancel->setEnabled(running);
    m_pause->setEnabled(running);
    if (!running)
        m_pause->setChecked(false);
    m_connect->setEnabled(!running);
    m_meterEdit->setReadOnly(running);
    m_controllerEdit->setReadOnly(running);
    m_progress->setText(progress);
    m_progress->setToolTip(progress);
    // One line for both: the run's progress while it has one, else who is connected.
    m_progress->setVisible(!progress.isEmpty());
    m_state->setVisible(progress.isEmpty());
    ShowState();
}

quint64 TReferencePanel::ReadMeter(int count)
{
    const quint64 t = Next();
    QMetaObject::invokeMethod(m_worker, [w = m_worker, t, count] { w->ReadMeter(t, count); }, Qt::QueuedConnection);
    return t;
}

quint64 TReferencePanel::ReadController()
{
    const quint64 t = Next();
    QMetaObject::invokeMethod(m_worker, [w = m_worker, t] { w->ReadController(t); }, Qt::QueuedConnection);
    return t;
}

quint64 TReferencePanel::ApplyPressure(double value)
{
    const quint64 t = Next();
    QMetaObject::invokeMethod(m_worker, [w = m_worker, t, value] { w->ApplyPressure(t, value); }, Qt::QueuedConnection);
    return t;
}

quint64 TReferencePanel::ControlOff()
{
    const quint64 t = Next();
    QMetaObject::invokeMethod(m_worker, [w = m_worker, t] { w->ControlOff(t); }, Qt::QueuedConnection);
    return t;
}
