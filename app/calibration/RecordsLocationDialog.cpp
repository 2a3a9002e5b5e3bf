#include "RecordsLocationDialog.h"

#include "RecordStore.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QVBoxLayout>

using namespace calib;

TRecordsLocationDialog::TRecordsLocationDialog(const QString &location, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("Calibration records location"));
    const TResult<TRecordsLocation> now = TRecordsLocation::Parse(location);
    const bool server = now.Ok() && now.Value().IsServer();

    m_file = new QRadioButton(tr("This computer's file"), this);
    m_path = new QLineEdit(server || !now.Ok() ? TRecordStore::DefaultPath() : now.Value().Text(), this);
    auto *browse = new QPushButton(tr("Browse…"), this);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, tr("Records file"), m_path->text(), tr("Records (*.sqlite)"),
                                                          nullptr, QFileDialog::DontConfirmOverwrite);
        if (!path.isEmpty())
            m_path->setText(QDir::toNativeSeparators(path));
    });
    m_server = new QRadioButton(tr("A records server (PostgreSQL)"), this);
    m_uri = new QLineEdit(server ? now.Value().Text() : QString(), this);
    m_uri->setPlaceholderText(tr("postgresql://bench@lab-db:5432/kv508"));
    m_uri->setToolTip(tr("The password is read from ~/.pgpass or PGPASSWORD, never kept here."));
    (server ? m_server : m_file)->setChecked(true);

    m_test = new QPushButton(tr("Test connection"), this);
    m_verdict = new QLabel(this);
    m_verdict->setWordWrap(true);
    m_verdict->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_verdict->setMinimumWidth(460);
    connect(m_test, &QPushButton::clicked, this, &TRecordsLocationDialog::Test);

    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(m_path, 1);
    fileRow->addWidget(browse);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_file);
    layout->addLayout(fileRow);
    layout->addWidget(m_server);
    layout->addWidget(m_uri);
    auto *testRow = new QHBoxLayout;
    testRow->addWidget(m_test);
    testRow->addStretch(1);
    layout->addLayout(testRow);
    layout->addWidget(m_verdict);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &TRecordsLocationDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    const auto enable = [this, browse] {
        m_path->setEnabled(m_file->isChecked());
        browse->setEnabled(m_file->isChecked());
        m_uri->setEnabled(m_server->isChecked());
    };
    connect(m_file, &QRadioButton::toggled, this, enable);
    enable();
}

TRecordsLocationDialog::~TRecordsLocationDialog()
{
    // A test still waiting for its server finishes on its own; its answer goes nowhere.
    if (m_testing)
        m_testing->setParent(nullptr);
}

QString TRecordsLocationDialog::Location() const
{
    if (m_file->isChecked())
        return QStringLiteral("sqlite:") + QDir::fromNativeSeparators(m_path->text().trimmed());
    return m_uri->text().trimmed();
}

QString TRecordsLocationDialog::Verdict() const
{
    return m_verdict->text();
}

QString TRecordsLocationDialog::TestLocation(const QString &location, bool &ok)
{
    TRecordStore store(location);
    ok = store.IsOpen();
    if (!ok)
        return store.ErrorMessage();
    if (store.ReadOnly()) {
        ok = false;
        return store.Notice();
    }
    return tr("Connected: %1, schema version %2, %3 records.")
        .arg(store.Location().Text())
        .arg(store.Version())
        .arg(store.History(QString()).size());
}

void TRecordsLocationDialog::Test()
{
    const QString location = Location();
    const TResult<TRecordsLocation> parsed = TRecordsLocation::Parse(location);
    if (!parsed.Ok()) {
        Show(false, parsed.ErrorMessage());
        return;
    }
    m_test->setEnabled(false);
    m_verdict->setText(tr("Connecting to %1…").arg(parsed.Value().Text()));
    QApplication::setOverrideCursor(Qt::BusyCursor);
    QPointer<TRecordsLocationDialog> self(this);
    m_testing = QThread::create([self, location] {
        bool ok = false;
        const QString text = TestLocation(location, ok);
        QMetaObject::invokeMethod(qApp, [self, ok, text] {
            QApplication::restoreOverrideCursor();
            if (self)
                self->Show(ok, text);
        });
    });
    m_testing->setParent(this);
    connect(m_testing, &QThread::finished, m_testing, &QObject::deleteLater);
    connect(m_testing, &QThread::finished, this, [this] { m_testing = nullptr; });
    m_testing->start();
}

void TRecordsLocationDialog::Show(bool ok, const QString &text)
{
    m_test->setEnabled(true);
    m_verdict->setText(text);
    m_verdict->setStyleSheet(ok ? QString() : QStringLiteral("color: #a00000"));
    emit Tested(ok, text);
}

void TRecordsLocationDialog::accept()
{
    const TResult<TRecordsLocation> parsed = TRecordsLocation::Parse(Location());
    if (!parsed.Ok()) {
        Show(false, parsed.ErrorMessage());
        return;
    }
    QDialog::accept();
}
