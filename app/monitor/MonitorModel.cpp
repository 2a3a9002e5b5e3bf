#include "MonitorModel.h"

#include <QDateTime>
#include <QFontDatabase>

#include <algorithm>

using kv508::TVerdict;
using linemon::TRow;

TMonitorModel::TMonitorModel(const linemon::TRing &ring, QObject *parent)
    : QAbstractTableModel(parent), m_ring(ring), m_scanned(ring.First()),
      m_fixedFont(QFontDatabase::systemFont(QFontDatabase::FixedFont))
{
    m_boldFont.setBold(true);
    SetBase(Qt::white);
}

int TMonitorModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TMonitorModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString TMonitorModel::VerdictLabel(TVerdict verdict)
{
    switch (verdict) {
    case TVerdict::Query: return tr("query");
    case TVerdict::Answer: return tr("answer");
    case TVerdict::UnexpectedAnswer: return tr("late answer, dropped");
    case TVerdict::CrcError: return tr("CRC error");
    case TVerdict::ForeignAddress: return tr("foreign address");
    case TVerdict::Malformed: return tr("malformed");
    case TVerdict::TimeOut: return tr("time-out");
    case TVerdict::ForeignId: return tr("foreign ID");
    }
    return QStringLiteral("?");
}

QString TMonitorModel::VerdictLabel(const TRow &row)
{
    if (row.verdict == TVerdict::Answer && !row.querySeen)
        return SpecialVerdictLabels()[0];
    return row.SlaveError() ? SpecialVerdictLabels()[1] : VerdictLabel(row.verdict);
}

QStringList TMonitorModel::SpecialVerdictLabels()
{
    return {tr("answer (query not seen)"), tr("answer: slave error")};
}

QString TMonitorModel::VerdictExplanation(const TRow &row)
{
    if (row.SlaveError())
        return tr("The instrument refused the request (status %1): the request stays latched and is sent again.")
            .arg(row.status);
    if (!row.querySeen)
        return row.verdict == TVerdict::Answer
                   ? tr("The answer to a request sent before the monitor started; the window took it.")
                   : tr("A request sent before the monitor started got no answer in time: the component sent it "
                        "again or gave up.");
    switch (row.verdict) {
    case TVerdict::Query: return tr("A request this program sent.");
    case TVerdict::Answer: return tr("The answer to the waiting request; the window took it.");
    case TVerdict::UnexpectedAnswer:
        return tr("An answer no request was waiting for: it came after its request had timed out, or answers "
                  "another command. The component dropped it.");
    case TVerdict::CrcError:
        return tr("The check sum does not match the characters: damaged on the line, dropped.");
    case TVerdict::ForeignAddress: return tr("A frame for another address than this instrument's: dropped.");
    case TVerdict::Malformed:
        return tr("Characters that make no frame (noise, a frame cut short, a bad digit): dropped.");
    case TVerdict::TimeOut:
        return tr("The request this row repeats got no answer in time: the component sent it again or gave "
                  "up. The row stands at that moment.");
    case TVerdict::ForeignId:
        return tr("A frame of another device ID: the component takes such an answer as a slave error.");
    }
    return {};
}

QColor TMonitorModel::VerdictColour(const TRow &row, bool dark)
{
    // Pairs of the same hue: deep on a light base, pale on a dark one.
    const auto pick = [dark](const char *light, const char *darkTheme) { return QColor(QLatin1String(dark ? darkTheme : light)); };
    if (row.SlaveError())
        return pick("#8d6e00", "#ffe082");
    switch (row.verdict) {
    case TVerdict::Query: return {};
    case TVerdict::Answer: return pick("#2e7d32", "#81c784");
    case TVerdict::UnexpectedAnswer: return pick("#00838f", "#80deea");
    case TVerdict::CrcError: return pick("#c62828", "#ff8a80");
    case TVerdict::ForeignAddress:
    case TVerdict::ForeignId: return pick("#6a1b9a", "#ce93d8");
    case TVerdict::Malformed: return pick("#ad1457", "#f48fb1");
    case TVerdict::TimeOut: return pick("#e65100", "#ffab40");
    }
    return {};
}

QString TMonitorModel::CommandText(const TRow &row)
{
    if (!row.hasHeader)
        return QStringLiteral("—");
    if (const char *name = kv508::CommandName(row.command))
        return QStringLiteral("%1 %2").arg(row.command).arg(QLatin1String(name));
    return QString::number(row.command);
}

namespace {

// The fields without the command's name, which has its own column.
QString Fields(const TRow &row)
{
    const std::string decoded = linemon::Decoded(row);
    std::string_view fields = decoded;
    if (row.hasHeader && row.verdict != TVerdict::CrcError)
        if (const char *name = kv508::CommandName(row.command)) {
            const std::string_view n = name;
            if (fields.substr(0, n.size()) == n && (fields.size() == n.size() || fields[n.size()] == ' '))
                fields.remove_prefix(std::min(fields.size(), n.size() + 1));
        }
    return QString::fromUtf8(fields.data(), qsizetype(fields.size()));
}

bool Problem(const TRow &row)
{
    return row.SlaveError() || (row.verdict != TVerdict::Query && row.verdict != TVerdict::Answer);
}

int Kind(const TRow &row)
{
    return row.SlaveError() ? kv508::VerdictCount : int(row.verdict);
}

} // namespace

QVariant TMonitorModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    const uint64_t number = m_rows[std::size_t(index.row())];
    if (!m_ring.Has(number))
        return {};
    const TRow &row = m_ring.At(number);
    const int column = index.column();

    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case ColNo: return QString::number(number + 1);
        case ColMs: return QString::number(row.sinceOpenMs);
        case ColTime:
            return QDateTime::fromMSecsSinceEpoch(row.wallMs, Qt::LocalTime).toString(QStringLiteral("HH:mm:ss.zzz"));
        case ColDirection: return row.direction == kv508::TDirection::Tx ? QStringLiteral("TX →") : QStringLiteral("RX ←");
        case ColVerdict: return VerdictLabel(row);
        case ColCommand: return CommandText(row);
        case ColFields: return Fields(row);
        case ColRaw: return QString::fromStdString(kv508::TFrameMonitor::EscapeRaw(row.raw));
        }
        break;
    case Qt::ToolTipRole:
        switch (column) {
        case ColMs: return tr("Milliseconds since the port opened");
        case ColTime:
            return QDateTime::fromMSecsSinceEpoch(row.wallMs, Qt::LocalTime).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        case ColDirection:
            return row.direction == kv508::TDirection::Tx ? tr("Sent by this program") : tr("Received from the line");
        case ColVerdict: return VerdictExplanation(row);
        case ColFields: return Fields(row);
        case ColRaw: return QString::fromStdString(kv508::TFrameMonitor::EscapeRaw(row.raw));
        }
        break;
    case Qt::ForegroundRole:
        if (column == ColVerdict && m_text[Kind(row)].isValid())
            return m_text[Kind(row)];
        break;
    case Qt::BackgroundRole:
        if (m_tint[Kind(row)].isValid())
            return m_tint[Kind(row)];
        break;
    case Qt::FontRole:
        if (column == ColRaw)
            return m_fixedFont;
        if (column == ColVerdict && Problem(row))
            return m_boldFont;
        break;
    case Qt::TextAlignmentRole:
        if (column == ColNo || column == ColMs)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        break;
    default: break;
    }
    return {};
}

QVariant TMonitorModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    static const char *const titles[ColumnCount] = {
        QT_TRANSLATE_NOOP("TMonitorModel", "No."),     QT_TRANSLATE_NOOP("TMonitorModel", "ms"),
        QT_TRANSLATE_NOOP("TMonitorModel", "Time"),    QT_TRANSLATE_NOOP("TMonitorModel", "Dir"),
        QT_TRANSLATE_NOOP("TMonitorModel", "Verdict"), QT_TRANSLATE_NOOP("TMonitorModel", "Command"),
        QT_TRANSLATE_NOOP("TMonitorModel", "Raw frame"), QT_TRANSLATE_NOOP("TMonitorModel", "Fields")};
    static const char *const tips[ColumnCount] = {
        QT_TRANSLATE_NOOP("TMonitorModel", "The frame's number since the monitor started"),
        QT_TRANSLATE_NOOP("TMonitorModel", "Milliseconds since the port opened"),
        QT_TRANSLATE_NOOP("TMonitorModel", "Local time of the frame's last character"),
        QT_TRANSLATE_NOOP("TMonitorModel", "TX: sent by this program; RX: received"),
        QT_TRANSLATE_NOOP("TMonitorModel", "What became of the frame"),
        QT_TRANSLATE_NOOP("TMonitorModel", "The instrument command the frame carries"),
        QT_TRANSLATE_NOOP("TMonitorModel", "The characters as they crossed the line (junk escaped as \\xHH)"),
        QT_TRANSLATE_NOOP("TMonitorModel", "The command's fields, decoded"),
    };
    if (section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return tr(titles[section]);
    if (role == Qt::ToolTipRole)
        return tr(tips[section]);
    return {};
}

TMonitorModel::TSync TMonitorModel::Sync(bool addNew)
{
    TSync result;
    const uint64_t first = m_ring.First();
    const auto kept = std::lower_bound(m_rows.begin(), m_rows.end(), first);
    if (kept != m_rows.begin()) {
        result.removed = int(kept - m_rows.begin());
        beginRemoveRows(QModelIndex(), 0, result.removed - 1);
        m_rows.erase(m_rows.begin(), kept);
        endRemoveRows();
    }
    m_scanned = std::max(m_scanned, first); // unseen rows the ring dropped
    if (!addNew || m_scanned == m_ring.End())
        return result;

    std::vector<uint64_t> fresh;
    const bool all = m_filter.All();
    for (uint64_t n = m_scanned; n < m_ring.End(); ++n)
        if (all || m_filter.Accepts(m_ring.At(n)))
            fresh.push_back(n);
    m_scanned = m_ring.End();
    if (fresh.empty())
        return result;
    result.added = int(fresh.size());
    const int at = int(m_rows.size());
    beginInsertRows(QModelIndex(), at, at + result.added - 1);
    m_rows.insert(m_rows.end(), fresh.begin(), fresh.end());
    endInsertRows();
    return result;
}

uint64_t TMonitorModel::Unseen() const
{
    return m_ring.End() - std::max(m_scanned, m_ring.First());
}

void TMonitorModel::SetFilter(const linemon::TFilter &filter)
{
    beginResetModel();
    m_filter = filter;
    m_rows.clear();
    const bool all = m_filter.All();
    for (uint64_t n = m_ring.First(); n < std::max(m_scanned, m_ring.First()); ++n)
        if (all || m_filter.Accepts(m_ring.At(n)))
            m_rows.push_back(n);
    endResetModel();
}

void TMonitorModel::Reset()
{
    beginResetModel();
    m_rows.clear();
    m_scanned = m_ring.End();
    endResetModel();
}

void TMonitorModel::Retranslate()
{
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, ColumnCount - 1), {Qt::DisplayRole, Qt::ToolTipRole});
}

void TMonitorModel::SetBase(const QColor &base)
{
    m_dark = base.lightness() < 128;
    for (int k = 0; k <= kv508::VerdictCount; ++k) {
        TRow row;
        row.verdict = k < kv508::VerdictCount ? TVerdict(k) : TVerdict::Answer;
        row.status = k < kv508::VerdictCount ? 0 : 255;
        m_text[k] = VerdictColour(row, m_dark);
        // A faint wash of the verdict's colour over the base: problem rows
        // stand out, their text stays readable on either theme.
        m_tint[k] = QColor();
        if (Problem(row)) {
            const QColor &c = m_text[k];
            const float a = m_dark ? 0.16f : 0.10f;
            m_tint[k] = QColor::fromRgbF(base.redF() * (1 - a) + c.redF() * a, base.greenF() * (1 - a) + c.greenF() * a,
                                         base.blueF() * (1 - a) + c.blueF() * a);
        }
    }
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, ColumnCount - 1));
}
