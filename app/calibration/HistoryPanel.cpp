#include "HistoryPanel.h"

#include "FieldLook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace calib;

THistoryPanel::THistoryPanel(const QString &databasePath, QWidget *parent) : QGroupBox(QStringLiteral("History"), parent)
{
    setMinimumWidth(400);
    auto *layout = new QVBoxLayout(this);
    m_filter = new QComboBox(this);
    m_filter->setToolTip(QStringLiteral("Records of one instrument tag, or of all"));
    m_history = new QTreeWidget(this);
    m_history->setHeaderLabels({QStringLiteral("Date"), QStringLiteral("Certificate"), QStringLiteral("Tag"), QStringLiteral("As-Found"),
                                QStringLiteral("As-Left"), QString(), QStringLiteral("Next due")});
    // The due list: what must be called in before a day.
    m_dueOnly = new QCheckBox(QStringLiteral("Due before"), this);
    m_dueOnly->setToolTip(QStringLiteral("Only the records whose next calibration falls due before this day"));
    m_due = new QDateEdit(QDate::currentDate().addMonths(1), this);
    m_due->setCalendarPopup(true);
    m_due->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_due->setEnabled(false);
    const auto due = [this] {
        m_due->setEnabled(m_dueOnly->isChecked());
        emit DueChosen(m_dueOnly->isChecked() ? m_due->date() : QDate());
    };
    connect(m_dueOnly, &QCheckBox::toggled, this, due);
    connect(m_due, &QDateEdit::dateChanged, this, [this, due] {
        if (m_dueOnly->isChecked())
            due();
    });
    m_history->setRootIsDecorated(false);
    m_history->setToolTip(QStringLiteral("Double-click a record to open it (an unfinished one can be continued)"));
    auto *filters = new QHBoxLayout;
    filters->addWidget(m_filter, 1);
    filters->addWidget(m_dueOnly);
    filters->addWidget(m_due);
    layout->addLayout(filters);
    layout->addWidget(m_history, 1);
    m_location = new QLabel(this);
    m_location->setObjectName(QStringLiteral("RecordsPath"));
    m_location->setWordWrap(true);
    m_location->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont small = m_location->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    m_location->setFont(small);
    auto *change = new QPushButton(QStringLiteral("Change…"), this);
    change->setToolTip(QStringLiteral("Keep the records in another file, or on a records server shared by the lab"));
    connect(change, &QPushButton::clicked, this, &THistoryPanel::LocationAsked);
    auto *row = new QHBoxLayout;
    row->addWidget(m_location, 1);
    row->addWidget(change, 0, Qt::AlignTop);
    layout->addLayout(row);
    SetLocation(databasePath);
    connect(m_filter, &QComboBox::activated, this, [this] { emit TagChosen(m_filter->currentData().toString()); });
    connect(m_history, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) { emit RecordChosen(item->data(0, Qt::UserRole).toLongLong()); });
}

void THistoryPanel::SetLocation(const QString &location)
{
    const TResult<TRecordsLocation> l = TRecordsLocation::Parse(location);
    const QString shown = !l.Ok() ? location : l.Value().IsServer() ? l.Value().Text() : ShownPath(l.Value().path);
    m_location->setText(QStringLiteral("Records: %1").arg(shown));
}

void THistoryPanel::Show(const QStringList &tags, const std::vector<TRecordSummary> &records, const QString &tag, qint64 current)
{
    const QSignalBlocker block(m_filter);
    m_filter->clear();
    m_filter->addItem(QStringLiteral("All instruments"), QString());
    for (const QString &t : tags)
        m_filter->addItem(QStringLiteral("Tag %1").arg(t), t);
    const int at = m_filter->findData(tag);
    m_filter->setCurrentIndex(at < 0 ? 0 : at);
    m_history->clear();
    for (const TRecordSummary &s : records) {
        auto *item = new QTreeWidgetItem(m_history);
        item->setText(0, s.created.toLocalTime().toString(QStringLiteral("yyyy-MM-dd")));
        item->setText(1, s.certificate);
        item->setText(2, s.tag);
        item->setText(3, QString::fromUtf8(VerdictText(s.found)));
        item->setText(4, QString::fromUtf8(VerdictText(s.left)));
        item->setText(5, !s.finished ? QStringLiteral("open") : s.approvedBy.isEmpty() ? QString() : QStringLiteral("approved"));
        item->setText(6, s.nextDue.isValid() ? s.nextDue.toString(Qt::ISODate) : QString());
        if (!s.approvedBy.isEmpty())
            item->setToolTip(5, QStringLiteral("Approved by %1").arg(s.approvedBy));
        item->setForeground(3, QColor(Colour(window(), s.found)));
        item->setForeground(4, QColor(Colour(window(), s.left)));
        item->setData(0, Qt::UserRole, s.id);
        if (s.id == current) {
            QFont bold = item->font(1);
            bold.setBold(true);
            item->setFont(1, bold);
        }
    }
    for (int c = 0; c < m_history->columnCount(); ++c)
        m_history->resizeColumnToContents(c);
}
