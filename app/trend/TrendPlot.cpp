#include "TrendPlot.h"

#include "NumberFormat.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QList>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

const QColor kBackground(22, 25, 29);
const QColor kPlotBackground(28, 32, 38);
const QColor kFrame(70, 78, 88);
const QColor kGrid(48, 54, 62);
const QColor kText(200, 206, 214);
const QColor kDimText(130, 138, 148);
const QColor kValueColor(79, 195, 247);  // pressure
const QColor kOutputColor(255, 183, 77); // current
const QColor kFailColor(239, 83, 80);
const QColor kClosedColor(120, 128, 138);
const QColor kLiveColor(102, 187, 106);

constexpr int kTopMargin = 26;
constexpr int kBottomMargin = 24;
constexpr int kMarkLane = 12; // failure ticks along the time axis

// A round step (1, 2 or 5 x 10^k) giving about `ticks` intervals over range.
double NiceStep(double range, int ticks)
{
    const double raw = range / std::max(ticks, 1);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / magnitude;
    return (f < 1.5 ? 1.0 : f < 3.0 ? 2.0 : f < 7.0 ? 5.0 : 10.0) * magnitude;
}

int DigitsOf(double step)
{
    return std::clamp(static_cast<int>(-std::floor(std::log10(step) + 1e-9)), 0, 6);
}

QString Number(double v, int digits)
{
    QString pattern = QStringLiteral("0");
    if (digits > 0)
        pattern += QLatin1Char('.') + QString(digits, QLatin1Char('0'));
    return NumberFormat::Format(v, pattern);
}

// The value range shown: the data's with some air, never empty.
struct TAxis {
    double low = 0, high = 1;
    double step = 0.2;
    int digits = 1;
    void Fit(double min, double max, double minimumRange)
    {
        double range = std::max(max - min, minimumRange);
        const double mid = (min + max) / 2;
        low = mid - range * 0.55;
        high = mid + range * 0.55;
        step = NiceStep(high - low, 5);
        digits = DigitsOf(step);
    }
    double Y(double v, const QRect &r) const
    {
        return r.bottom() - (v - low) / (high - low) * (r.height() - 1);
    }
};

// Time grid steps: the first that leaves labels at least ~100 px apart.
int64_t TimeStep(int64_t span, int width)
{
    static const int64_t steps[] = {1000,       2000,       5000,        10000,       15000,       30000,      60000,
                                    120000,     300000,     600000,      900000,      1800000,     3600000,    7200000,
                                    10800000,   21600000,   43200000,    86400000,    172800000,   604800000};
    for (int64_t s : steps)
        if (span / s <= std::max(width / 100, 1))
            return s;
    return steps[std::size(steps) - 1];
}

// Axes fitted to what is visible; false when no answered poll is in sight.
bool FitAxes(const std::vector<trend::TColumn> &columns, int decimals, bool fitOutput, TAxis &left, TAxis &right)
{
    bool any = false;
    double vMin = 0, vMax = 0, mMin = 0, mMax = 0;
    for (const trend::TColumn &c : columns) {
        if (!c.count)
            continue;
        vMin = any ? std::min(vMin, c.vMin) : c.vMin;
        vMax = any ? std::max(vMax, c.vMax) : c.vMax;
        mMin = any ? std::min(mMin, c.mMin) : c.mMin;
        mMax = any ? std::max(mMax, c.mMax) : c.mMax;
        any = true;
    }
    if (any) {
        left.Fit(vMin, vMax, 10 * std::pow(10.0, -decimals));
        if (fitOutput)
            right.Fit(mMin, mMax, 0.1);
        else
            right.Fit(std::min(mMin, 4.0), std::max(mMax, 20.0), 16.0);
    } else {
        left.Fit(0, 100, 1);
        right.Fit(4, 20, 1);
    }
    return any;
}

// Grid and value labels: the value's on the left, the current's ticks on the right.
void DrawValueGrid(QPainter &p, const QRect &area, const QFontMetrics &fm, const TAxis &left, const TAxis &right, int width)
{
    for (double v = std::ceil(left.low / left.step) * left.step; v <= left.high; v += left.step) {
        const int y = qRound(left.Y(v, area));
        p.setPen(kGrid);
        p.drawLine(area.left(), y, area.right(), y);
        p.setPen(kValueColor);
        p.drawText(QRect(0, y - fm.height() / 2, area.left() - 6, fm.height()), Qt::AlignRight | Qt::AlignVCenter,
                   Number(std::abs(v) < left.step / 2 ? 0.0 : v, left.digits));
    }
    for (double v = std::ceil(right.low / right.step) * right.step; v <= right.high; v += right.step) {
        const int y = qRound(right.Y(v, area));
        p.setPen(kFrame);
        p.drawLine(area.right() - 4, y, area.right(), y);
        p.setPen(kOutputColor);
        p.drawText(QRect(area.right() + 6, y - fm.height() / 2, width - area.right() - 6, fm.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, Number(std::abs(v) < right.step / 2 ? 0.0 : v, right.digits));
    }
}

// Time grid, on round local times.
void DrawTimeGrid(QPainter &p, const QRect &area, const QFontMetrics &fm, int64_t start, int64_t end, int width)
{
    const int64_t span = end - start;
    const int64_t step = TimeStep(span, area.width());
    const int64_t offset = QDateTime::fromMSecsSinceEpoch(end).offsetFromUtc() * 1000LL;
    const QString format = span > 36LL * 3600 * 1000 ? QStringLiteral("MM-dd HH:mm")
                           : step < 60000             ? QStringLiteral("HH:mm:ss")
                                                      : QStringLiteral("HH:mm");
    for (int64_t t = ((start + offset) / step + 1) * step - offset; t <= end; t += step) {
        const int x = area.left() + static_cast<int>((t - start) * area.width() / span);
        p.setPen(kGrid);
        p.drawLine(x, area.top(), x, area.bottom());
        p.setPen(kDimText);
        const QString text = QDateTime::fromMSecsSinceEpoch(t).toString(format);
        const int w = fm.horizontalAdvance(text);
        if (x - w / 2 >= 0 && x + w / 2 <= width)
            p.drawText(x - w / 2, area.bottom() + 4 + fm.ascent(), text);
    }
}

// For each column, whether the line goes on after the next column with polls:
// a poll that neither joins nor is joined is drawn as a dot.
std::vector<char> NextJoins(const std::vector<trend::TColumn> &columns)
{
    std::vector<char> nextJoins(columns.size(), 0);
    for (std::size_t i = columns.size(), following = 0; i-- > 0;) {
        nextJoins[i] = static_cast<char>(following);
        if (columns[i].count)
            following = columns[i].joins;
    }
    return nextJoins;
}

// One curve: a bar from min to max in each column, a line from each column's
// last value to the next one's first.
void DrawSeries(QPainter &p, const QRect &area, const std::vector<trend::TColumn> &columns,
                const std::vector<char> &nextJoins, const TAxis &axis, const QColor &color, bool value)
{
    QPainterPath path;
    QList<QPointF> dots;
    bool open = false;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const trend::TColumn &c = columns[i];
        if (!c.count)
            continue;
        const double x = area.left() + static_cast<double>(i) + 0.5;
        const double first = axis.Y(value ? c.vFirst : c.mFirst, area);
        const double lo = axis.Y(value ? c.vMin : c.mMin, area);
        const double hi = axis.Y(value ? c.vMax : c.mMax, area);
        const double last = axis.Y(value ? c.vLast : c.mLast, area);
        if (open && c.joins)
            path.lineTo(x, first);
        else
            path.moveTo(x, first);
        const bool bar = hi < lo - 0.5;
        if (bar) {
            path.moveTo(x, lo);
            path.lineTo(x, hi);
            path.moveTo(x, last);
        } else if (!c.joins && !nextJoins[i]) {
            dots.append(QPointF(x, last));
        }
        open = true;
    }
    // The current wider and beneath: where both curves meet, both still show.
    p.setPen(QPen(color, value ? 1.6 : 3.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setPen(QPen(color, value ? 3.0 : 4.5, Qt::SolidLine, Qt::RoundCap));
    p.drawPoints(dots.constData(), static_cast<int>(dots.size()));
}

// Failed polls: red ticks on the time axis; closings in grey.
void DrawMarks(QPainter &p, const QRect &area, const std::vector<trend::TColumn> &columns)
{
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (!columns[i].failed && !columns[i].closed)
            continue;
        const int x = area.left() + static_cast<int>(i);
        p.setPen(QPen(columns[i].failed ? kFailColor : kClosedColor, 2));
        p.drawLine(x, area.bottom() - kMarkLane, x, area.bottom());
    }
}

} // namespace

TTrendPlot::TTrendPlot(const trend::THistory &history, QWidget *parent) : QWidget(parent), m_history(history)
{
    Now = [] { return QDateTime::currentMSecsSinceEpoch(); };
    setMouseTracking(true);
    setCursor(Qt::OpenHandCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setToolTip(tr("Wheel: zoom; drag: pan (pauses); double click: back to live"));
}

void TTrendPlot::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        setToolTip(tr("Wheel: zoom; drag: pan (pauses); double click: back to live"));
        update(); // the legend and notes are painted in the new words
    }
    QWidget::changeEvent(event);
}

void TTrendPlot::SetSpan(int64_t spanMs)
{
    m_all = spanMs <= 0;
    m_growing = true;
    if (!m_all)
        m_spanMs = std::clamp(spanMs, MinSpanMs, MaxSpanMs);
    update();
    emit ViewChanged();
}

void TTrendPlot::SetLive(bool live)
{
    if (live == m_live)
        return;
    if (!live)
        m_endMs = LiveEnd();
    m_live = live;
    update();
    emit ViewChanged();
}

void TTrendPlot::SetFitOutput(bool fit)
{
    m_fitOutput = fit;
    update();
}

void TTrendPlot::SetTemperature(bool temperature)
{
    if (temperature == m_temperature)
        return;
    m_temperature = temperature;
    update();
}

QString TTrendPlot::Unit() const
{
    return m_temperature ? QStringLiteral("°C") : QStringLiteral("Pa");
}

int64_t TTrendPlot::LiveEnd() const
{
    const int64_t now = Now();
    return m_history.Empty() ? now : std::max(now, m_history.Last().timeMs);
}

int64_t TTrendPlot::ViewEnd() const
{
    if (m_all && !m_history.Empty())
        return m_live ? LiveEnd() : std::min(m_endMs, LiveEnd());
    return m_live ? LiveEnd() : m_endMs;
}

int64_t TTrendPlot::ViewSpan() const
{
    if (!m_all) {
        if (!m_growing || m_history.Empty())
            return m_spanMs;
        // A minute of data squeezed against the right edge of ten shows little:
        // the data's span (with a little room before it) until it fills the chosen one.
        const int64_t data = std::max<int64_t>(ViewEnd() - m_history.At(0).timeMs, 0);
        return std::clamp<int64_t>(data + data / 50, MinSpanMs, m_spanMs);
    }
    if (m_history.Empty())
        return 60'000;
    // A little room before the first sample.
    const int64_t data = LiveEnd() - m_history.At(0).timeMs;
    return std::clamp<int64_t>(data + data / 50, 60'000, MaxSpanMs);
}

void TTrendPlot::Freeze(int64_t endMs)
{
    const bool wasLive = m_live;
    m_live = false;
    m_endMs = std::min(endMs, LiveEnd());
    if (!m_history.Empty())
        m_endMs = std::max(m_endMs, m_history.At(0).timeMs + MinSpanMs / 2); // keep some data in sight
    update();
    if (wasLive)
        emit ViewChanged();
}

QRect TTrendPlot::PlotArea() const
{
    const QFontMetrics fm(font());
    const int left = fm.horizontalAdvance(QStringLiteral("-00000.00")) + 14;
    const int right = fm.horizontalAdvance(QStringLiteral("00.000")) + 14;
    return QRect(left, kTopMargin, std::max(width() - left - right, 10), std::max(height() - kTopMargin - kBottomMargin, 10));
}

void TTrendPlot::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), kBackground);
    const QRect area = PlotArea();
    p.fillRect(area, kPlotBackground);
    const QFontMetrics fm(font());

    const int64_t end = ViewEnd();
    const int64_t span = ViewSpan();
    const int64_t start = end - span;
    const std::vector<trend::TColumn> columns = m_history.Decimate(start, end, area.width());

    TAxis left, right;
    const bool any = FitAxes(columns, m_history.LastDecimals() < 0 ? 1 : m_history.LastDecimals(), m_fitOutput, left, right);
    p.setFont(font());
    DrawValueGrid(p, area, fm, left, right, width());
    DrawTimeGrid(p, area, fm, start, end, width());

    p.setClipRect(area);
    p.setRenderHint(QPainter::Antialiasing, true);
    const std::vector<char> nextJoins = NextJoins(columns);
    DrawSeries(p, area, columns, nextJoins, right, kOutputColor, false);
    DrawSeries(p, area, columns, nextJoins, left, kValueColor, true);
    p.setRenderHint(QPainter::Antialiasing, false);
    DrawMarks(p, area, columns);
    p.setClipping(false);
    p.setPen(kFrame);
    p.drawRect(area.adjusted(0, 0, -1, -1));

    DrawLegend(p, area);
    if (m_history.Empty() || !any) {
        p.setPen(kDimText);
        p.drawText(area, Qt::AlignCenter,
                   m_history.Empty() ? tr("Waiting for polls: open the port on the main window")
                                     : tr("No answered polls in this span"));
    }
    if (m_hoverX >= area.left() && m_hoverX <= area.right() && !m_dragging)
        DrawHover(p, area, start, span);
}

// Legend and state above the plot.
void TTrendPlot::DrawLegend(QPainter &p, const QRect &area) const
{
    const QFontMetrics fm(font());
    const int baseline = (kTopMargin - fm.height()) / 2 + fm.ascent();
    auto swatch = [&](int x, const QColor &color) { p.fillRect(x, baseline - fm.ascent() / 2 - 1, 14, 3, color); };
    swatch(area.left(), kValueColor);
    p.setPen(kText);
    const QString valueTitle = (m_temperature ? tr("Temperature [%1]") : tr("Pressure [%1]")).arg(Unit());
    p.drawText(area.left() + 19, baseline, valueTitle);
    const QString outputTitle = tr("Output [mA]");
    const int ow = fm.horizontalAdvance(outputTitle);
    p.drawText(area.right() - ow, baseline, outputTitle);
    swatch(area.right() - ow - 19, kOutputColor);
    int x = area.left() + 19 + fm.horizontalAdvance(valueTitle) + 22;
    p.setPen(QPen(kFailColor, 2));
    p.drawLine(x, baseline - fm.ascent() + 2, x, baseline);
    p.setPen(kDimText);
    p.drawText(x + 6, baseline, tr("failed poll"));
    const QString state = m_live ? tr("● LIVE") : tr("❚❚ PAUSED");
    p.setPen(m_live ? kLiveColor : kOutputColor);
    p.drawText(area.left() + (area.width() - fm.horizontalAdvance(state)) / 2, baseline, state);
}

void TTrendPlot::DrawHover(QPainter &p, const QRect &area, int64_t start, int64_t span)
{
    // The answered poll nearest the pointer, within a few pixels.
    const int64_t t = start + static_cast<int64_t>(m_hoverX - area.left()) * span / area.width();
    const int64_t reach = std::max<int64_t>(span * 6 / area.width(), 1000);
    const std::size_t i = m_history.LowerBound(t - reach);
    const trend::TSample *best = nullptr;
    for (std::size_t j = i; j < m_history.Size() && m_history.At(j).timeMs <= t + reach; ++j) {
        const trend::TSample &s = m_history.At(j);
        if (s.kind == trend::TKind::Ok && (!best || std::llabs(s.timeMs - t) < std::llabs(best->timeMs - t)))
            best = &s;
    }
    p.setPen(QPen(kDimText, 1, Qt::DashLine));
    p.drawLine(m_hoverX, area.top(), m_hoverX, area.bottom());
    if (!best)
        return;
    const QString lines[] = {
        QDateTime::fromMSecsSinceEpoch(best->timeMs).toString(QStringLiteral("HH:mm:ss.zzz")),
        Number(best->Value(), best->decimals) + QLatin1Char(' ') + Unit(),
        Number(best->MilliAmps(), 3) + QStringLiteral(" mA"),
    };
    const QFontMetrics fm(font());
    int w = 0;
    for (const QString &l : lines)
        w = std::max(w, fm.horizontalAdvance(l));
    QRect box(m_hoverX + 8, area.top() + 8, w + 12, fm.height() * 3 + 8);
    if (box.right() > area.right())
        box.moveRight(m_hoverX - 8);
    p.fillRect(box, QColor(14, 16, 19, 230));
    p.setPen(kFrame);
    p.drawRect(box.adjusted(0, 0, -1, -1));
    const QColor colors[] = {kText, kValueColor, kOutputColor};
    for (int k = 0; k < 3; ++k) {
        p.setPen(colors[k]);
        p.drawText(box.left() + 6, box.top() + 4 + fm.ascent() + k * fm.height(), lines[k]);
    }
}

void TTrendPlot::wheelEvent(QWheelEvent *event)
{
    const int delta = event->angleDelta().y();
    if (delta == 0)
        return;
    const QRect area = PlotArea();
    const int64_t end = ViewEnd(), span = ViewSpan();
    const int64_t newSpan = std::clamp(static_cast<int64_t>(static_cast<double>(span) * std::pow(0.8, delta / 120.0)), MinSpanMs,
                                       MaxSpanMs);
    m_all = m_growing = false;
    m_spanMs = newSpan;
    if (!m_live) {
        // Around the time under the pointer.
        const double f = std::clamp((event->position().x() - area.left()) / area.width(), 0.0, 1.0);
        const double anchor = static_cast<double>(end - span) + f * static_cast<double>(span);
        m_endMs = static_cast<int64_t>(anchor + (1.0 - f) * static_cast<double>(newSpan));
        m_endMs = std::min(m_endMs, LiveEnd());
    }
    update();
    emit ViewChanged();
    event->accept();
}

void TTrendPlot::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_dragging = true;
    m_dragX = qRound(event->position().x());
    m_dragEnd = ViewEnd();
    setCursor(Qt::ClosedHandCursor);
    update();
}

void TTrendPlot::mouseMoveEvent(QMouseEvent *event)
{
    m_hoverX = qRound(event->position().x());
    if (m_dragging) {
        const int dx = m_hoverX - m_dragX;
        if (dx != 0 || !m_live) {
            if (m_all || m_growing) {
                m_spanMs = ViewSpan();
                m_all = m_growing = false;
            }
            Freeze(m_dragEnd - static_cast<int64_t>(dx) * ViewSpan() / PlotArea().width());
        }
    }
    update();
}

void TTrendPlot::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_dragging) {
        m_dragging = false;
        setCursor(Qt::OpenHandCursor);
        update();
        emit ViewChanged();
    }
}

void TTrendPlot::mouseDoubleClickEvent(QMouseEvent *)
{
    SetLive(true);
}

void TTrendPlot::leaveEvent(QEvent *)
{
    m_hoverX = -1;
    update();
}
