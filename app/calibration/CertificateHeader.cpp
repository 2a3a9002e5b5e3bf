#include "CertificateHeader.h"

#include "FieldLook.h"
#include "Main.h"

#include <QDateEdit>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTableWidget>

using namespace calib;

namespace {

const char *kRefKeys[] = {"name", "serial", "certificate", "due", "uncertainty"};
enum { kColRole, kColName, kColSerial, kColCertificate, kColDue, kColUncertainty, kRefColumns };

} // namespace

TCertificateHeader::TCertificateHeader(QWidget *parent) : QGroupBox(QStringLiteral("Certificate"), parent)
{
    m_certificate = Edit(QStringLiteral("Generated for each new record; may be changed"), 40);
    m_tag = Edit(QStringLiteral("The instrument's tag at the plant (its history is kept under it)"), 40);
    m_serial = Edit(QStringLiteral("Serial number from the instrument's nameplate"), 40);
    m_technician = Edit(QStringLiteral("Who did the check (printed under the signature line)"));
    m_temperature = Edit(QStringLiteral("Ambient temperature in °C"), 10);
    m_humidity = Edit(QStringLiteral("Relative humidity in %"), 10);
    m_firmware = new QLabel(QStringLiteral("—"), this);
    m_calDate = new QLabel(QStringLiteral("—"), this);
    m_sensor = new QLabel(QStringLiteral("—"), this);
    m_sensor->setWordWrap(true);
    m_nextDue = new QDateEdit(this);
    m_nextDue->setCalendarPopup(true);
    m_nextDue->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_nextDue->setToolTip(QStringLiteral("When the instrument is next due for calibration"));
    connect(m_nextDue, &QDateEdit::editingFinished, this, &TCertificateHeader::Edited);
    m_remarks = new QPlainTextEdit(this);
    m_remarks->setMaximumHeight(46);
    m_remarks->setTabChangesFocus(true);
    m_remarks->installEventFilter(this);
    connect(m_remarks, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_filling)
            m_remarks->setProperty("dirty", true);
    });
    Lay();
}

TCertificateHeader::~TCertificateHeader()
{
    // Closing the window takes the focus from an edit, whose "editing finished"
    // would then reach this half-destroyed header: nothing more reaches it.
    m_remarks->removeEventFilter(this);
    for (QObject *child : findChildren<QObject *>())
        child->disconnect(this);
}

QLineEdit *TCertificateHeader::Edit(const QString &tip, int maxLength)
{
    auto *e = new QLineEdit(this);
    e->setToolTip(tip);
    e->setMaxLength(maxLength);
    connect(e, &QLineEdit::editingFinished, this, &TCertificateHeader::Edited);
    return e;
}

void TCertificateHeader::Lay()
{
    auto *grid = new QGridLayout(this);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(4);
    const auto label = [this](const QString &text) { return new QLabel(text, this); };
    grid->addWidget(label(QStringLiteral("Certificate no.")), 0, 0);
    grid->addWidget(m_certificate, 0, 1);
    grid->addWidget(label(QStringLiteral("Instrument tag")), 0, 2);
    grid->addWidget(m_tag, 0, 3);
    grid->addWidget(label(QStringLiteral("Serial no.")), 0, 4);
    grid->addWidget(m_serial, 0, 5);
    grid->addWidget(label(QStringLiteral("Firmware")), 1, 0);
    grid->addWidget(m_firmware, 1, 1);
    grid->addWidget(label(QStringLiteral("Calibrated (as found)")), 1, 2);
    grid->addWidget(m_calDate, 1, 3);
    grid->addWidget(label(QStringLiteral("Sensor")), 1, 4);
    grid->addWidget(m_sensor, 1, 5);
    grid->addWidget(label(QStringLiteral("Technician")), 2, 0);
    grid->addWidget(m_technician, 2, 1);
    auto *ambient = new QHBoxLayout;
    ambient->addWidget(m_temperature);
    ambient->addWidget(label(QStringLiteral("°C")));
    ambient->addSpacing(8);
    ambient->addWidget(m_humidity);
    ambient->addWidget(label(QStringLiteral("% RH")));
    grid->addWidget(label(QStringLiteral("Ambient")), 2, 2);
    grid->addLayout(ambient, 2, 3);
    grid->addWidget(label(QStringLiteral("Next due")), 2, 4);
    grid->addWidget(m_nextDue, 2, 5);
    m_issuer = new QLineEdit(this);
    m_issuer->setMaxLength(80);
    m_issuer->setToolTip(QStringLiteral("Your company or laboratory, printed at the top of the certificate (remembered)"));
    m_issuer->setText(TForm1::PortSettings().value(QStringLiteral("Calibration/issuer")).toString());
    m_issuer->setCursorPosition(0); // a long name shows from its start
    connect(m_issuer, &QLineEdit::editingFinished, this, [this] {
        QSettings settings = TForm1::PortSettings();
        settings.setValue(QStringLiteral("Calibration/issuer"), m_issuer->text().trimmed());
    });
    grid->addWidget(label(QStringLiteral("Issued by")), 3, 0, Qt::AlignTop);
    grid->addWidget(m_issuer, 3, 1, Qt::AlignTop);
    grid->addWidget(label(QStringLiteral("Remarks")), 3, 2, Qt::AlignTop);
    grid->addWidget(m_remarks, 3, 3, 1, 3);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(3, 2);
    grid->setColumnStretch(5, 3);

    m_references = new QTableWidget(3, kRefColumns, this);
    m_references->setHorizontalHeaderLabels(
        {QStringLiteral("Reference instrument"), QStringLiteral("Name / model"), QStringLiteral("Serial no."), QStringLiteral("Certificate no."),
         QStringLiteral("Due (yyyy-mm-dd)"), QStringLiteral("Uncertainty (k = 2)")});
    m_references->horizontalHeaderItem(kColUncertainty)
        ->setToolTip(QStringLiteral("The expanded uncertainty (k = 2) from the reference's certificate: the pressure standard's in the "
                                    "instrument's unit, the ammeter's in mA (each point's U is reckoned from these two)"));
    m_references->verticalHeader()->hide();
    m_references->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_references->setToolTip(QStringLiteral("Remembered for the next record"));
    m_references->setFixedHeight(m_references->horizontalHeader()->sizeHint().height() + 3 * 26 + 4);
    for (int r = 0; r < 3; ++r)
        m_references->setRowHeight(r, 26);
    connect(m_references, &QTableWidget::itemChanged, this, [this] {
        if (!m_filling)
            emit Edited();
    });
    grid->addWidget(m_references, 4, 0, 1, 6);
}

bool TCertificateHeader::eventFilter(QObject *watched, QEvent *event)
{
    // The remarks have no "editing finished" of their own: leaving them is it.
    if (watched == m_remarks && event->type() == QEvent::FocusOut && m_remarks->property("dirty").toBool()) {
        m_remarks->setProperty("dirty", false);
        emit Edited();
    }
    return QGroupBox::eventFilter(watched, event);
}

void TCertificateHeader::Show(const TRecord &r, const QDate &nextDue)
{
    m_filling = true;
    m_certificate->setText(r.certificate);
    m_tag->setText(r.tag);
    m_serial->setText(r.serial);
    m_technician->setText(r.technician);
    m_temperature->setText(r.ambientTemperature);
    m_humidity->setText(r.humidity);
    if (m_remarks->toPlainText() != r.remarks)
        m_remarks->setPlainText(r.remarks);
    m_nextDue->setDate(r.nextDue.isValid() ? r.nextDue : nextDue);
    m_firmware->setText(r.firmware ? DateCodeText(r.firmware) : QStringLiteral("—"));
    m_calDate->setText(r.foundCalibrationDate ? DateCodeText(r.foundCalibrationDate) : QStringLiteral("—"));
    m_sensor->setText(r.sensor.isEmpty() ? QStringLiteral("—") : r.sensor);
    m_unit = r.unit;
    const std::vector<TReference> refs = r.references.empty() ? RememberedReferences() : r.references;
    m_references->setRowCount(int(refs.size()));
    for (int row = 0; row < int(refs.size()); ++row) {
        const TReference &ref = refs[size_t(row)];
        const QStringList cells{ref.role, ref.name, ref.serial, ref.certificate, ref.due.isValid() ? ref.due.toString(Qt::ISODate) : QString(),
                                ref.uncertainty};
        for (int c = 0; c < kRefColumns; ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (c == 0)
                item->setFlags(Qt::ItemIsEnabled);
            m_references->setItem(row, c, item);
        }
    }
    m_filling = false;
}

THeaderFields TCertificateHeader::Fields() const
{
    THeaderFields f;
    f.certificate = m_certificate->text().trimmed();
    f.tag = m_tag->text().trimmed();
    f.serial = m_serial->text().trimmed();
    f.technician = m_technician->text().trimmed();
    f.ambientTemperature = m_temperature->text().trimmed();
    f.humidity = m_humidity->text().trimmed();
    f.remarks = m_remarks->toPlainText();
    f.nextDue = m_nextDue->date();
    f.references.resize(size_t(m_references->rowCount()));
    for (int row = 0; row < m_references->rowCount(); ++row) {
        TReference &ref = f.references[size_t(row)];
        const auto text = [&](int c) { return m_references->item(row, c) ? m_references->item(row, c)->text().trimmed() : QString(); };
        ref.role = text(kColRole);
        ref.name = text(kColName);
        ref.serial = text(kColSerial);
        ref.certificate = text(kColCertificate);
        ref.due = QDate::fromString(text(kColDue), Qt::ISODate);
        ref.uncertainty = text(kColUncertainty);
    }
    return f;
}

void TCertificateHeader::SetOpen(bool open)
{
    for (QLineEdit *e : {m_certificate, m_tag, m_serial, m_technician, m_temperature, m_humidity})
        e->setReadOnly(!open);
    m_remarks->setReadOnly(!open);
    m_nextDue->setReadOnly(!open);
    m_references->setEditTriggers(open ? QAbstractItemView::AllEditTriggers : QAbstractItemView::NoEditTriggers);
    for (QWidget *w : std::initializer_list<QWidget *>{m_certificate, m_tag, m_serial, m_technician, m_temperature, m_humidity, m_remarks,
                                                       m_nextDue, m_references})
        LookReadOnly(w, !open);
}

void TCertificateHeader::MarkEntries()
{
    // A typed number that is no number is shown, not silently kept.
    for (QLineEdit *e : {m_temperature, m_humidity}) {
        const bool bad = !e->text().trimmed().isEmpty() && !ParseDecimal(e->text().toStdString(), 2);
        e->setStyleSheet(bad ? QStringLiteral("color: %1").arg(Colour(window(), TVerdict::Fail)) : QString());
        if (!e->property("tip").isValid())
            e->setProperty("tip", e->toolTip());
        e->setToolTip(bad ? QStringLiteral("Not a number (e.g. 23.5)") : e->property("tip").toString());
    }
    const QSignalBlocker block(m_references);
    const auto mark = [this](QTableWidgetItem *cell, bool bad, const QString &why) {
        cell->setForeground(bad ? QColor(Colour(window(), TVerdict::Fail)) : window()->palette().color(QPalette::Text));
        cell->setToolTip(bad ? why : QString());
    };
    for (int row = 0; row < m_references->rowCount(); ++row) {
        if (QTableWidgetItem *due = m_references->item(row, kColDue))
            mark(due, !due->text().trimmed().isEmpty() && !QDate::fromString(due->text().trimmed(), Qt::ISODate).isValid(),
                 QStringLiteral("Not a date: type it as yyyy-mm-dd"));
        // The two U the points are reckoned from must be numbers in their unit.
        QTableWidgetItem *u = m_references->item(row, kColUncertainty);
        const QString role = m_references->item(row, kColRole) ? m_references->item(row, kColRole)->text() : QString();
        const QString unit = UncertaintyUnit(m_unit, role);
        if (u && !unit.isEmpty())
            mark(u, !u->text().trimmed().isEmpty() && !ParseUncertainty(u->text().toStdString(), unit.toStdString()),
                 QStringLiteral("Not a U in %1: type the number from the certificate (e.g. 0.05)").arg(unit));
    }
}

void TCertificateHeader::KeepCertificate(const QString &certificate)
{
    const QSignalBlocker block(m_certificate);
    m_certificate->setText(certificate);
}

std::vector<TReference> TCertificateHeader::RememberedReferences()
{
    std::vector<TReference> refs = DefaultReferences();
    QSettings settings = TForm1::PortSettings();
    settings.beginGroup(QStringLiteral("CalibrationReferences"));
    for (size_t i = 0; i < refs.size(); ++i) {
        settings.beginGroup(QString::number(i));
        refs[i].name = settings.value(QLatin1String(kRefKeys[0])).toString();
        refs[i].serial = settings.value(QLatin1String(kRefKeys[1])).toString();
        refs[i].certificate = settings.value(QLatin1String(kRefKeys[2])).toString();
        refs[i].due = QDate::fromString(settings.value(QLatin1String(kRefKeys[3])).toString(), Qt::ISODate);
        refs[i].uncertainty = settings.value(QLatin1String(kRefKeys[4])).toString();
        settings.endGroup();
    }
    return refs;
}

void TCertificateHeader::RememberReferences(const std::vector<TReference> &references) const
{
    QSettings settings = TForm1::PortSettings();
    settings.beginGroup(QStringLiteral("CalibrationReferences"));
    for (size_t i = 0; i < references.size() && i < 3; ++i) {
        const TReference &r = references[i];
        settings.beginGroup(QString::number(i));
        settings.setValue(QLatin1String(kRefKeys[0]), r.name);
        settings.setValue(QLatin1String(kRefKeys[1]), r.serial);
        settings.setValue(QLatin1String(kRefKeys[2]), r.certificate);
        settings.setValue(QLatin1String(kRefKeys[3]), r.due.isValid() ? r.due.toString(Qt::ISODate) : QString());
        settings.setValue(QLatin1String(kRefKeys[4]), r.uncertainty);
        settings.endGroup();
    }
}

void TCertificateHeader::SetReferenceIdentity(int row, const QString &identity)
{
    const QString role = DefaultReferences().at(size_t(row)).role;
    for (int r = 0; r < m_references->rowCount(); ++r) {
        if (!m_references->item(r, kColRole) || m_references->item(r, kColRole)->text() != role)
            continue;
        const QStringList fields = identity.split(QLatin1Char(','));
        const QString name = fields.size() >= 2 ? fields.at(0).trimmed() + QLatin1Char(' ') + fields.at(1).trimmed() : identity.trimmed();
        const QString serial = fields.size() >= 3 ? fields.at(2).trimmed() : QString();
        {
            const QSignalBlocker block(m_references);
            for (auto [column, text] : {std::pair{int(kColName), name}, std::pair{int(kColSerial), serial}}) {
                if (!m_references->item(r, column))
                    m_references->setItem(r, column, new QTableWidgetItem);
                m_references->item(r, column)->setText(text);
            }
        }
        RememberReferences(Fields().references);
        emit Edited();
        return;
    }
}

QString TCertificateHeader::Issuer() const
{
    return m_issuer->text().trimmed();
}

void TCertificateHeader::FocusTag()
{
    m_tag->setFocus();
}
