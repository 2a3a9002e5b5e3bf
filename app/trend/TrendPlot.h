// The trend's chart: pressure (left axis) and output current (right axis)
// against time, drawn from the history decimated to one min/max bar per pixel
// column, so a day of polls costs no more to draw than a minute. Dark like an
// instrument's display whatever the desktop's theme. The wheel zooms, a drag
// pans (and freezes the view), a double click goes back to live.
#pragma once

#include "TrendHistory.h"

#include <QPainter>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

class TTrendPlot : public QWidget
{
    Q_OBJECT

public:
    static constexpr int64_t MinSpanMs = 10'000;
    static constexpr int64_t MaxSpanMs = 31LL * 24 * 3600 * 1000;

    explicit TTrendPlot(const trend::THistory &history, QWidget *parent = nullptr);

    // The wall clock in ms since the epoch (tests set their own).
    std::function<int64_t()> Now;

    // A span, or 0 for all of the history. A span chosen here is shown whole
    // only once the data fills it: until then the view is the data's, growing.
    void SetSpan(int64_t spanMs);
    bool AllSpan() const { return m_all; }
    // The span chosen (by SetSpan, or by zooming), whatever the data fills of it.
    int64_t SpanSetting() const { return m_spanMs; }
    // Live: the right edge follows the clock. Frozen: the view stays where it is.
    void SetLive(bool live);
    bool Live() const { return m_live; }
    // The instrument measures temperature (°C) rather than pressure (Pa).
    void SetTemperature(bool temperature);
    // The current axis fitted to the visible values, or (by default) the
    // loop's 4..20 mA widened to what is visible: the current follows the
    // pressure, so both fitted would draw one curve over the other.
    void SetFitOutput(bool fit);
    bool FitOutput() const { return m_fitOutput; }

    // The visible time range.
    int64_t ViewEnd() const;
    int64_t ViewSpan() const;
    int64_t ViewStart() const { return ViewEnd() - ViewSpan(); }
    QRect PlotArea() const;

    QSize sizeHint() const override { return {860, 420}; }
    QSize minimumSizeHint() const override { return {360, 200}; }

signals:
    // The span or the live state changed (by the mouse or the setters).
    void ViewChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    int64_t LiveEnd() const;
    QString Unit() const;
    void Freeze(int64_t endMs);
    void DrawLegend(QPainter &p, const QRect &area) const;
    void DrawHover(QPainter &p, const QRect &area, int64_t start, int64_t span);

    const trend::THistory &m_history;
    int64_t m_spanMs = 10 * 60 * 1000;
    bool m_all = false;
    bool m_growing = true; // the span shrinks to the data until the data fills it
    bool m_live = true;
    bool m_fitOutput = false;
    int64_t m_endMs = 0; // the right edge while frozen
    bool m_temperature = false;
    // Dragging: where it began.
    bool m_dragging = false;
    int m_dragX = 0;
    int64_t m_dragEnd = 0;
    int m_hoverX = -1;
};
