#include "HistoryPanel.h"

#include "FieldLook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace calib;

THistoryPanel::THistoryPanel(const QString &databasePath, QWidget *parent) : QGroupBox(parent)
{
    setMinimumWidth(400);
    auto *layout = new QVBoxLayout(this);
    m_filter = new QComboBox(this);
    m_history = new QTreeWidget(this);

    // The due list: what must be called in before a day.
    m_dueOnly = new QCheckBox(this);
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
    auto *change = m_change = new QPushButton(this);
    connect(change, &QPushButton::clicked, this, &THistoryPanel::LocationAsked);
    auto *row = new QHBoxLayout;
    row->addWidget(m_location, 1);
    row->addWidget(change, 0, Qt::AlignTop);
    layout->addLayout(row);
    SetLocation(databasePath);
    Retranslate();
    connect(m_filter, &QComboBox::activated, this, [this] { emit TagChosen(m_filter->currentData().toString()); });
    connect(m_history, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) { emit RecordChosen(item->data(0, Qt::UserRole).toLongLong()); });
}

void THistoryPanel::SetLocation(const QString &location)
{
    const TResult<TRecordsLocation> l = TRecordsLocation::Parse(location);
    m_shownLocation = !l.Ok() ? location : l.Value().IsServer() ? l.Value().Text() : ShownPath(l.Value().path);
    m_location->setText(tr("Records: %1").arg(m_shownLocation));
}

void THistoryPanel::Retranslate()
{
    setTitle(tr("History"));
    m_filter->setToolTip(tr("Records of one instrument tag, or of all"));
    if (m_filter->count() > 0)
        m_filter->setItemText(0, tr("All instruments"));
    for (int i = 1; i < m_filter->count(); ++i)
        m_filter->setItemText(i, tr("Tag %1").arg(m_filter->itemData(i).toString()));
    m_history->setHeaderLabels({tr("Date"), tr("Certificate"), tr("Tag"), tr("As-Found"), tr("As-Left"), QString(), tr("Next due")});
    m_dueOnly->setText(tr("Due before"));
    m_dueOnly->setToolTip(tr("Only the records whose next calibration falls due before this day"));
    m_history->setToolTip(tr("Double-click a record to open it (an unfinished one can be continued)"));
    m_change->setText(tr("Change…"));
    m_change->setToolTip(tr("Keep the records in another file, or on a records server shared by the lab"));
    m_location->setText(tr("Records: %1").arg(m_shownLocation));
    for (int i = 0; i < m_history->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = m_history->topLevelItem(i);
        item->setText(3, VerdictWord(TVerdict(item->data(3, Qt::UserRole).toInt())));
        item->setText(4, VerdictWord(TVerdict(item->data(4, Qt::UserRole).toInt())));
        const int state = item->data(5, Qt::UserRole).toInt();
        item->setText(5, state == 1 ? tr("open") : state == 2 ? tr("approved") : QString());
    }
}

void THistoryPanel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        Retranslate();
    QGroupBox::changeEvent(event);
}

void THistoryPanel::Show(const QStringList &tags, const std::vector<TRecordSummary> &records, const QString &tag, qint64 current)
{
    const QSignalBlocker block(m_filter);
    m_filter->clear();
    m_filter->addItem(tr("All instruments"), QString());
    for (const QString &t : tags)
        m_filter->addItem(tr("Tag %1").arg(t), t);
    const int at = m_filter->findData(tag);
    m_filter->setCurrentIndex(at < 0 ? 0 : at);
    m_history->clear();
    for (const TRecordSummary &s : records) {
        auto *item = new QTreeWidgetItem(m_history);
        item->setText(0, s.created.toLocalTime().toString(QStringLiteral("yyyy-MM-dd"))); // untranslated: a date format
        item->setText(1, s.certificate);
        item->setText(2, s.tag);
        item->setText(3, VerdictWord(s.found));
        item->setText(4, VerdictWord(s.left));
        item->setText(5, !s.finished ? tr("open") : s.approvedBy.isEmpty() ? QString() : tr("approved"));
        item->setText(6, s.nextDue.isValid() ? s.nextDue.toString(Qt::ISODate) : QString());
        if (!s.approvedBy.isEmpty())
            item->setToolTip(5, tr("Approved by %1").arg(s.approvedBy));
        item->setForeground(3, QColor(Colour(window(), s.found)));
        item->setForeground(4, QColor(Colour(window(), s.left)));
        item->setData(0, Qt::UserRole, s.id);
        // What the texts say, for a change of language.
        item->setData(3, Qt::UserRole, int(s.found));
        item->setData(4, Qt::UserRole, int(s.left));
        item->setData(5, Qt::UserRole, !s.finished ? 1 : s.approvedBy.isEmpty() ? 0 : 2);
        if (s.id == current) {
            QFont bold = item->font(1);
            bold.setBold(true);
            item->setFont(1, bold);
        }
    }
    for (int c = 0; c < m_history->columnCount(); ++c)
        m_history->resizeColumnToContents(c);
}
