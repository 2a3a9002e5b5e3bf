// Traffic counters, the speed display and its strip chart.
#include "MB.h"
#include "NumberFormat.h"

#include <QLabel>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

const QRgb kGrey = qRgb(128, 128, 128);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kGreen = qRgb(0, 128, 0);

// a / n rounded to the nearest integer, halves away from zero (n > 0).
int RoundDiv(int a, int n)
{
    return a >= 0 ? (2 * a + n) / (2 * n) : -((-2 * a + n) / (2 * n));
}

// A one-pixel line from (x0, y0) towards (x1, y1), the end point left out, as
// a pen's line-to draws it; steps along the longer axis.
void LineTo(QImage &image, int x0, int y0, int x1, int y1, QRgb color)
{
    const int dx = x1 - x0;
    const int dy = y1 - y0;
    const int n = std::max(std::abs(dx), std::abs(dy));
    for (int k = 0; k < n; ++k) {
        const int x = x0 + RoundDiv(dx * k, n);
        const int y = y0 + RoundDiv(dy * k, n);
        if (image.valid(x, y))
            image.setPixel(x, y, color);
    }
}

void SetPixel(QImage &image, int x, int y, QRgb color)
{
    if (image.valid(x, y))
        image.setPixel(x, y, color);
}

} // namespace

void TMB::ShowCounters()
{
    // The receiver calls this for every event; format only what changed.
    static const QString pattern = QStringLiteral("# ### ### ##0");
    const QString unit = Q(m_engine->CounterUnit());
    const quint32 tx = m_engine->MBNumberOfTxFrames();
    const quint32 rx = m_engine->MBNumberOfRxFrames();
    const bool unitChanged = m_ShownCounterUnit != unit;
    if (unitChanged)
        m_ShownCounterUnit = unit;
    if (unitChanged || m_ShownTxFrames != tx) {
        m_ShownTxFrames = tx;
        TxFramesLabel->setText(NumberFormat::Format(tx, pattern) + QLatin1Char(' ') + unit);
    }
    if (unitChanged || m_ShownRxFrames != rx) {
        m_ShownRxFrames = rx;
        RxFramesLabel->setText(NumberFormat::Format(rx, pattern) + QLatin1Char(' ') + unit);
    }
}

QString TMB::FormatSpeed(quint32 value) const
{
    if (value < 1000)
        return QString::number(value);
    return NumberFormat::Format(value / 1000.0, QStringLiteral("0.0")) + QLatin1Char('k');
}

void TMB::ShowSpeed()
{
    const quint32 min = m_engine->SpeedMin();
    const quint32 max = m_engine->MBSpeedMax();
    const QString speed = FormatSpeed(m_engine->MBSpeed()) + Q(m_engine->SpeedUnit());
    QString range = FormatSpeed(min);
    if (min != max)
        range += QLatin1Char('-') + FormatSpeed(max);
    SpeedLabel->setText(speed + QStringLiteral(" [") + range + QLatin1Char(']'));
    SpeedLabel->adjustSize(); // the label is as wide as its text
}

void TMB::SampleTaken()
{
    DrawChart();
}

void TMB::ClearSpeedChart()
{
    m_SpeedSamples.fill(-1);
    ClearChart(ChartBufferPixels);
    ClearChart(ChartImagePixels);
}

void TMB::ClearChart(QImage &image)
{
    if (image.isNull())
        return;
    image.fill(FaceColor());
    const int w = image.width();
    const int h = image.height();
    for (int x = 0; x < w; ++x) {
        image.setPixel(x, 0, kGrey);
        image.setPixel(x, h - 1, kGrey);
    }
    for (int y = 0; y < h; ++y) {
        image.setPixel(0, y, kGrey);
        image.setPixel(w - 1, y, kGrey);
    }
    if (&image == &ChartImagePixels && ChartImage)
        ChartImage->setPixmap(QPixmap::fromImage(ChartImagePixels));
}

void TMB::DrawChart()
{
    QImage &buf = ChartBufferPixels;
    const int W = buf.width();
    const int H = buf.height();
    const int N = std::min(W - 3, static_cast<int>(m_SpeedSamples.size()) - 1);
    if (N < 0 || H < 3)
        return;

    std::move(m_SpeedSamples.begin() + 1, m_SpeedSamples.begin() + N + 1, m_SpeedSamples.begin());
    m_SpeedSamples[N] = static_cast<qint32>(m_engine->MBSpeed());

    ClearChart(buf);
    const int top = 1;
    const int bottom = H - 2;
    const quint32 speedMax = m_engine->MBSpeedMax();
    bool first = true;
    int prevY = bottom;
    for (int i = 0; i <= N; ++i) {
        const qint32 s = m_SpeedSamples[i];
        if (s == -1)
            continue; // no sample yet
        const float ratio = speedMax > 0 ? static_cast<float>(s) / static_cast<float>(speedMax) : 0.0f;
        // nearbyint rounds halves to even in the default rounding mode
        int y = bottom - static_cast<int>(std::nearbyint(static_cast<float>(H - 3) * ratio));
        y = std::clamp(y, top, bottom);
        if (first) {
            prevY = y;
            first = false;
        }
        int penY = prevY;
        if (prevY == bottom)
            penY = bottom - 1;
        else if (prevY == top)
            penY = top + 1;
        if (y != prevY)
            LineTo(buf, i, penY, i + 1, y, kBlack);
        SetPixel(buf, i + 1, y, kBlack);
        prevY = y;
        if (y == bottom)
            SetPixel(buf, i + 1, bottom, kRed);
        if (y == top && speedMax > 0)
            SetPixel(buf, i + 1, top, kGreen);
    }

    // One copy onto the visible image: the chart never shows half drawn.
    ChartImagePixels = buf.copy();
    ChartImage->setPixmap(QPixmap::fromImage(ChartImagePixels));
}

