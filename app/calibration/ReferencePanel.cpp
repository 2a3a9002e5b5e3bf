#include "ReferencePanel.h"

#include "Main.h"
#include "ReferenceWorker.h"
#include "ScpiPort.h"

#include <QCheckBox>
#include <QEvent>
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
    return role == TReferenceWorker::Meter ? TReferencePanel::tr("meter") : TReferencePanel::tr("pressure controller");
}

} // namespace

TReferencePanel::TReferencePanel(QWidget *parent) : QGroupBox(parent)
{
    const QSettings settings = TForm1::PortSettings();
    m_meterEdit = new QLineEdit(settings.value(kMeterKey).toString(), this);
    m_controllerEdit = new QLineEdit(settings.value(kControllerKey).toString(), this);
    m_connect = new QPushButton(this);
    m_read = new QPushButton(this);
    m_autoRead = new QCheckBox(this);
    m_state = new QLabel(this);
    m_state->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Long identities never widen the window: cut at its edge, whole in the tip.
    m_state->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    for (QLineEdit *e : {m_meterEdit, m_controllerEdit})
        e->setMinimumWidth(190);

    m_automatic = new QPushButton(this);
    m_pause = new QPushButton(this);
    m_pause->setCheckable(true);
    m_cancel = new QPushButton(this);
    m_fullScale = new QLineEdit(settings.value(kFullScaleKey).toString(), this);
    m_fullScale->setMaximumWidth(80);
    for (QLabel *&l : m_labels)
        l = new QLabel(this);
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
    row->addWidget(m_labels[0]);
    row->addWidget(m_meterEdit, 1);
    row->addWidget(m_labels[1]);
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
    run->addWidget(m_labels[2]);
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
    Retranslate();
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
            emit Problem(tr("The %1's address is not usable: %2.").arg(RoleName(role), QString::fromStdString(error)));
            return false;
        }
    }
    if (!addresses[1].isEmpty() && unit != QStringLiteral("Pa")) {
        emit Problem(tr("The instrument measures %1, not pressure: a pressure controller cannot apply it. Empty the "
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
        emit Problem(tr("The %1 is not connected: %2").arg(RoleName(role), error));
    else if (!identity.isEmpty())
        emit Identified(role, identity);
}

void TReferencePanel::Retranslate()
{
    setTitle(tr("Reference instruments on a line"));
    const QString tip = tr("tcp:HOST:PORT (a bench instrument's LAN socket, port 5025) or serial:PORT[:BAUD]; empty: typed by hand");
    m_meterEdit->setPlaceholderText(tr("by hand"));
    m_meterEdit->setToolTip(tr("The meter reading the loop current: %1").arg(tip));
    m_controllerEdit->setPlaceholderText(tr("by hand"));
    m_controllerEdit->setToolTip(tr("The pressure controller applying the pressure: %1").arg(tip));
    m_connect->setText(tr("Connect"));
    m_connect->setToolTip(tr("Connect the references named (and remember them); their *IDN? answer fills the reference instruments"));
    m_read->setText(tr("Read"));
    m_read->setToolTip(tr("Read the meter (the mean of a few readings) into the selected point; with a controller, "
                          "its reading is the applied value"));
    m_autoRead->setText(tr("Read automatically"));
    m_autoRead->setToolTip(tr("Once an applied value is typed, read the meter as soon as the instrument is stable"));
    m_automatic->setText(tr("Automatic"));
    m_automatic->setToolTip(tr("As-Found, the eleven steps with the output trimmed on the meter, and As-Left, "
                               "by the controller and the meter alone"));
    m_pause->setText(tr("Pause"));
    m_pause->setToolTip(tr("Hold the automatic run after the step under way"));
    m_cancel->setText(tr("Cancel"));
    m_cancel->setToolTip(tr("Stop the automatic run: the output is released, the controller's control turned off, the record left open"));
    m_fullScale->setToolTip(tr("The sensor's full-scale pressure in Pa, from its data sheet: the scale end is set there"));
    m_labels[0]->setText(tr("Meter"));
    m_labels[1]->setText(tr("Pressure controller"));
    m_labels[2]->setText(tr("Sensor full scale"));
    ShowState();
}

void TReferencePanel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        Retranslate();
    QGroupBox::changeEvent(event);
}

void TReferencePanel::ShowState()
{
    QStringList parts;
    for (int role = 0; role < 2; ++role)
        if (!m_identity[role].isEmpty())
            parts << (role == TReferenceWorker::Meter ? tr("meter %1") : tr("controller %1"))
                         .arg(m_identity[role].section(QLatin1Char(','), 0, 1).replace(QLatin1Char(','), QLatin1Char(' ')));
    QStringList whole;
    for (int role = 0; role < 2; ++role)
        if (!m_identity[role].isEmpty())
            whole << QStringLiteral("%1: %2").arg(RoleName(role), m_identity[role]);
    m_state->setToolTip(whole.join(QLatin1Char('\n')));
    m_state->setText(m_connecting > 0 ? tr("connecting…")
                     : parts.isEmpty() ? tr("none connected (typed by hand)")
                                       : tr("Connected: %1").arg(parts.join(QStringLiteral(" · "))));
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
