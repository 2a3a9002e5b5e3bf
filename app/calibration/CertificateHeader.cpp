#include "CertificateHeader.h"

#include "FieldLook.h"
#include "Main.h"

#include <QComboBox>
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

// The roles a record starts with, shown in the window's language.
const char *const kRoles[] = {
    QT_TRANSLATE_NOOP("TCertificateHeader", "Pressure standard"),
    QT_TRANSLATE_NOOP("TCertificateHeader", "Ammeter (loop current)"),
    QT_TRANSLATE_NOOP("TCertificateHeader", "Thermohygrometer"),
};

QString RoleText(const QString &role)
{
    for (const char *known : kRoles)
        if (role == QLatin1String(known))
            return TCertificateHeader::tr(known);
    return role;
}

} // namespace

// The role of a row as the record keeps it (the cell shows it translated).
QString TCertificateHeader::RoleAt(int row) const
{
    const QTableWidgetItem *item = m_references->item(row, kColRole);
    if (!item)
        return QString();
    const QVariant stored = item->data(Qt::UserRole);
    return stored.isValid() ? stored.toString() : item->text();
}

TCertificateHeader::TCertificateHeader(QWidget *parent) : QGroupBox(parent)
{
    m_certificate = Edit(40);
    m_tag = Edit(40);
    m_serial = Edit(40);
    m_technician = Edit();
    m_temperature = Edit(10);
    m_humidity = Edit(10);
    m_firmware = new QLabel(QStringLiteral("—"), this);
    m_calDate = new QLabel(QStringLiteral("—"), this);
    m_sensor = new QLabel(QStringLiteral("—"), this);
    m_sensor->setWordWrap(true);
    m_nextDue = new QDateEdit(this);
    m_nextDue->setCalendarPopup(true);
    m_nextDue->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    connect(m_nextDue, &QDateEdit::editingFinished, this, &TCertificateHeader::Edited);
    m_remarks = new QPlainTextEdit(this);
    m_remarks->setMaximumHeight(46);
    m_remarks->setTabChangesFocus(true);
    m_remarks->installEventFilter(this);
    connect(m_remarks, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_filling)
            m_remarks->setProperty("dirty", true);
    });
    m_language = new QComboBox(this);
    m_language->setObjectName(QStringLiteral("CertificateLanguage"));
    m_language->setSizeAdjustPolicy(QComboBox::AdjustToContents); // its items change with the window's language
    for (const TCertificateLanguage l : {TCertificateLanguage::Hungarian, TCertificateLanguage::English, TCertificateLanguage::Bilingual})
        m_language->addItem(QString(), int(l));
    connect(m_language, &QComboBox::activated, this, [this] {
        if (!m_filling)
            emit Edited();
    });
    Lay();
    Retranslate();
}

TCertificateHeader::~TCertificateHeader()
{
    // Closing the window takes the focus from an edit, whose "editing finished"
    // would then reach this half-destroyed header: nothing more reaches it.
    m_remarks->removeEventFilter(this);
    for (QObject *child : findChildren<QObject *>())
        child->disconnect(this);
}

QLineEdit *TCertificateHeader::Edit(int maxLength)
{
    auto *e = new QLineEdit(this);
    e->setMaxLength(maxLength);
    connect(e, &QLineEdit::editingFinished, this, &TCertificateHeader::Edited);
    return e;
}

void TCertificateHeader::Lay()
{
    auto *grid = new QGridLayout(this);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(4);
    for (QLabel *&l : m_labels)
        l = new QLabel(this);
    grid->addWidget(m_labels[0], 0, 0);
    grid->addWidget(m_certificate, 0, 1);
    grid->addWidget(m_labels[1], 0, 2);
    grid->addWidget(m_tag, 0, 3);
    grid->addWidget(m_labels[2], 0, 4);
    grid->addWidget(m_serial, 0, 5);
    grid->addWidget(m_labels[3], 1, 0);
    grid->addWidget(m_firmware, 1, 1);
    grid->addWidget(m_labels[4], 1, 2);
    grid->addWidget(m_calDate, 1, 3);
    grid->addWidget(m_labels[5], 1, 4);
    grid->addWidget(m_sensor, 1, 5);
    grid->addWidget(m_labels[6], 2, 0);
    grid->addWidget(m_technician, 2, 1);
    auto *ambient = new QHBoxLayout;
    ambient->addWidget(m_temperature);
    ambient->addWidget(new QLabel(QStringLiteral("°C"), this));
    ambient->addSpacing(8);
    ambient->addWidget(m_humidity);
    ambient->addWidget(m_labels[7]);
    grid->addWidget(m_labels[8], 2, 2);
    grid->addLayout(ambient, 2, 3);
    grid->addWidget(m_labels[9], 2, 4);
    grid->addWidget(m_nextDue, 2, 5);
    m_issuer = new QLineEdit(this);
    m_issuer->setMaxLength(80);
    m_issuer->setText(TForm1::PortSettings().value(QStringLiteral("Calibration/issuer")).toString()); // untranslated: a settings key
    m_issuer->setCursorPosition(0); // a long name shows from its start
    connect(m_issuer, &QLineEdit::editingFinished, this, [this] {
        QSettings settings = TForm1::PortSettings();
        settings.setValue(QStringLiteral("Calibration/issuer"), m_issuer->text().trimmed());
    });
    grid->addWidget(m_labels[10], 3, 0, Qt::AlignTop);
    grid->addWidget(m_issuer, 3, 1, Qt::AlignTop);
    grid->addWidget(m_labels[11], 3, 2, Qt::AlignTop);
    grid->addWidget(m_remarks, 3, 3, 1, 3);
    // The certificate's language under its issuer: both are what the customer reads.
    grid->addWidget(m_labels[12], 4, 0);
    grid->addWidget(m_language, 4, 1, Qt::AlignLeft);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(3, 2);
    grid->setColumnStretch(5, 3);

    m_references = new QTableWidget(3, kRefColumns, this);
    m_references->verticalHeader()->hide();
    m_references->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_references->setFixedHeight(m_references->horizontalHeader()->sizeHint().height() + 3 * 26 + 4);
    for (int r = 0; r < 3; ++r)
        m_references->setRowHeight(r, 26);
    connect(m_references, &QTableWidget::itemChanged, this, [this] {
        if (!m_filling)
            emit Edited();
    });
    grid->addWidget(m_references, 5, 0, 1, 6);
}

void TCertificateHeader::Retranslate()
{
    setTitle(tr("Certificate"));
    m_certificate->setToolTip(tr("Generated for each new record; may be changed"));
    m_tag->setToolTip(tr("The instrument's tag at the plant (its history is kept under it)"));
    m_serial->setToolTip(tr("Serial number from the instrument's nameplate"));
    m_technician->setToolTip(tr("Who did the check (printed under the signature line)"));
    if (!m_temperature->property("tip").isValid())
        m_temperature->setToolTip(tr("Ambient temperature in °C"));
    if (!m_humidity->property("tip").isValid())
        m_humidity->setToolTip(tr("Relative humidity in %"));
    m_nextDue->setToolTip(tr("When the instrument is next due for calibration"));
    m_issuer->setToolTip(tr("Your company or laboratory, printed at the top of the certificate (remembered)"));
    const QString captions[] = {tr("Certificate no."), tr("Instrument tag"), tr("Serial no."), tr("Firmware"), tr("Calibrated (as found)"),
                                tr("Sensor"), tr("Technician"), tr("% RH"), tr("Ambient"), tr("Next due"), tr("Issued by"), tr("Remarks"),
                                tr("Certificate language")};
    for (size_t i = 0; i < std::size(captions); ++i)
        m_labels[i]->setText(captions[i]);
    m_language->setItemText(0, tr("Hungarian"));
    m_language->setItemText(1, tr("English"));
    m_language->setItemText(2, tr("Hungarian and English"));
    m_language->setToolTip(tr("The language the certificate of this record is printed in (kept with the record)"));
    m_references->setHorizontalHeaderLabels({tr("Reference instrument"), tr("Name / model"), tr("Serial no."), tr("Certificate no."),
                                             tr("Due (yyyy-mm-dd)"), tr("Uncertainty (k = 2)")});
    m_references->horizontalHeaderItem(kColUncertainty)
        ->setToolTip(tr("The expanded uncertainty (k = 2) from the reference's certificate: the pressure standard's in the "
                        "instrument's unit, the ammeter's in mA (each point's U is reckoned from these two)"));
    m_references->setToolTip(tr("Remembered for the next record"));
    const QSignalBlocker block(m_references);
    for (int row = 0; row < m_references->rowCount(); ++row)
        if (QTableWidgetItem *role = m_references->item(row, kColRole))
            role->setText(RoleText(role->data(Qt::UserRole).toString()));
    MarkEntries(); // its tips are the window's language too
}

void TCertificateHeader::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        Retranslate();
    QGroupBox::changeEvent(event);
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
    m_language->setCurrentIndex(std::max(0, m_language->findData(int(r.certificateLanguage))));
    const std::vector<TReference> refs = r.references.empty() ? RememberedReferences() : r.references;
    m_references->setRowCount(int(refs.size()));
    for (int row = 0; row < int(refs.size()); ++row) {
        const TReference &ref = refs[size_t(row)];
        const QStringList cells{ref.role, ref.name, ref.serial, ref.certificate, ref.due.isValid() ? ref.due.toString(Qt::ISODate) : QString(),
                                ref.uncertainty};
        for (int c = 0; c < kRefColumns; ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (c == 0) {
                item->setFlags(Qt::ItemIsEnabled);
                item->setData(Qt::UserRole, ref.role); // the record keeps the role as stored
                item->setText(RoleText(ref.role));
            }
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
    f.certificateLanguage = TCertificateLanguage(m_language->currentData().toInt());
    f.references.resize(size_t(m_references->rowCount()));
    for (int row = 0; row < m_references->rowCount(); ++row) {
        TReference &ref = f.references[size_t(row)];
        const auto text = [&](int c) { return m_references->item(row, c) ? m_references->item(row, c)->text().trimmed() : QString(); };
        ref.role = RoleAt(row);
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
    m_language->setEnabled(open); // a finished record keeps the language it was signed in
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
        e->setToolTip(bad ? tr("Not a number (e.g. 23.5)") : e == m_temperature ? tr("Ambient temperature in °C") : tr("Relative humidity in %"));
    }
    const QSignalBlocker block(m_references);
    const auto mark = [this](QTableWidgetItem *cell, bool bad, const QString &why) {
        cell->setForeground(bad ? QColor(Colour(window(), TVerdict::Fail)) : window()->palette().color(QPalette::Text));
        cell->setToolTip(bad ? why : QString());
    };
    for (int row = 0; row < m_references->rowCount(); ++row) {
        if (QTableWidgetItem *due = m_references->item(row, kColDue))
            mark(due, !due->text().trimmed().isEmpty() && !QDate::fromString(due->text().trimmed(), Qt::ISODate).isValid(),
                 tr("Not a date: type it as yyyy-mm-dd"));
        // The two U the points are reckoned from must be numbers in their unit.
        QTableWidgetItem *u = m_references->item(row, kColUncertainty);
        const QString unit = UncertaintyUnit(m_unit, RoleAt(row));
        if (u && !unit.isEmpty())
            mark(u, !u->text().trimmed().isEmpty() && !ParseUncertainty(u->text().toStdString(), unit.toStdString()),
                 tr("Not a U in %1: type the number from the certificate (e.g. 0.05)").arg(unit));
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
        if (RoleAt(r) != role)
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
