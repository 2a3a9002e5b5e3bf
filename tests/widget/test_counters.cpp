// Traffic counters, the speed display and the strip chart.
#include "PanelTestPeer.h"

#include <QLocale>
#include <QPixmap>
#include <QPushButton>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(Counters, PatternWithLeadingBlanksAndTheModesUnit)
{
    TStartedPanel p;
    TMB &mb = p.mb;
    const std::pair<quint32, const char *> rows[] = {
        {0, "   0  F"},
        {12, "   12  F"},
        {999, "   999  F"},
        {1000, "  1 000  F"},
        {123456, "  123 456  F"},
        {1234567, " 1 234 567  F"},
        {999999999, " 999 999 999  F"},
        {4294967295u, "4 294 967 295  F"},
    };
    for (const auto &[value, text] : rows) {
        TPanelTestPeer::SetFrames(mb, value, value);
        TMBTestPeer::View(mb).ShowCounters();
        EXPECT_EQ(mb.TxFramesLabel->text(), QString::fromUtf8(text));
        EXPECT_EQ(mb.RxFramesLabel->text(), QString::fromUtf8(text));
    }
    TPanelTestPeer::SetFrames(mb, 12, 1000);
    TMBTestPeer::View(mb).ShowCounters();
    EXPECT_EQ(mb.TxFramesLabel->text(), QStringLiteral("   12  F"));
    EXPECT_EQ(mb.RxFramesLabel->text(), QStringLiteral("  1 000  F"));

    // A mode change clears the counters and brings its own unit.
    const std::pair<TMB::TMBMode, const char *> units[] = {
        {TMB::modeByte, "   0  B"}, {TMB::modeString, "   0  S"}, {TMB::modeSlave, "   0  F"}};
    for (const auto &[mode, text] : units) {
        mb.setMBMode(mode);
        EXPECT_EQ(mb.TxFramesLabel->text(), QString::fromUtf8(text));
        EXPECT_EQ(mb.RxFramesLabel->text(), QString::fromUtf8(text));
    }
}

TEST(Speed, KiloFormRangeFormAndClosedSeconds)
{
    TStartedPanel p;
    TMB &mb = p.mb;
    p.Open();
    p.Second(999);
    EXPECT_EQ(mb.MBSpeed(), 999u);
    EXPECT_EQ(mb.SpeedLabel->text(), QStringLiteral("999 frames / sec [0-999]"));
    p.Second(1000);
    EXPECT_EQ(mb.SpeedLabel->text(), QStringLiteral("1.0k frames / sec [0-1.0k]"));
    EXPECT_EQ(mb.MBSpeedMax(), 1000u);
    EXPECT_EQ(TMBTestPeer::Engine(mb).SpeedMin(), 0u);

    // The range restarts from the current speed: one value, then the range form.
    p.Second(5);
    mb.ClearAllCounters();
    EXPECT_EQ(mb.SpeedLabel->text(), QStringLiteral("5 frames / sec [5]"));
    p.Second(7);
    EXPECT_EQ(mb.SpeedLabel->text(), QStringLiteral("7 frames / sec [5-7]"));
    p.Second(3);
    EXPECT_EQ(mb.SpeedLabel->text(), QStringLiteral("3 frames / sec [3-7]"));

    // Closed seconds read 0 and move neither end of the range, nor the chart.
    const auto samples = TMBTestPeer::SpeedSamples(mb);
    p.Close();
    p.Second(4);
    EXPECT_EQ(mb.MBSpeed(), 0u);
    EXPECT_EQ(mb.SpeedLabel->text(), QStringLiteral("0 frames / sec [3-7]"));
    EXPECT_EQ(TMBTestPeer::SpeedSamples(mb), samples);
    EXPECT_EQ(TMBTestPeer::Engine(mb).SpeedMin(), 3u);
    EXPECT_EQ(mb.MBSpeedMax(), 7u);
}

TEST(Speed, KiloFormUsesTheLocalesDecimalSeparator)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Hungarian, QLocale::Hungary));
    TStartedPanel p;
    p.Open();
    p.Second(1500);
    QLocale::setDefault(saved);
    EXPECT_EQ(p.mb.SpeedLabel->text(), QStringLiteral("1,5k frames / sec [0-1,5k]"));
    EXPECT_EQ(TMBTestPeer::FormatSpeed(p.mb, 999), QStringLiteral("999"));
    EXPECT_EQ(TMBTestPeer::FormatSpeed(p.mb, 1000), QStringLiteral("1.0k"));
    EXPECT_EQ(TMBTestPeer::FormatSpeed(p.mb, 65535), QStringLiteral("65.5k"));
}

TEST(Speed, WindowRestartsAndTheCountIsSixteenBits)
{
    TStartedPanel p;
    TMB &mb = p.mb;
    // Events counted before the open do not leak into its first second.
    for (int i = 0; i < 4; ++i)
        Core(mb).CountSpeedEvent();
    p.Open();
    EXPECT_EQ(TPanelTestPeer::SpeedCount(mb), 0);
    EXPECT_TRUE(Core(mb).SpeedTimer.Enabled());
    p.Second(0);
    EXPECT_EQ(mb.MBSpeed(), 0u);

    for (int i = 0; i < 4; ++i)
        Core(mb).CountSpeedEvent();
    Core(mb).RestartSpeedWindow();
    p.Second(2);
    EXPECT_EQ(mb.MBSpeed(), 2u);

    p.Second(65537); // past 65535 in one second the count starts again
    EXPECT_EQ(mb.MBSpeed(), 1u);
}

// ---- the strip chart ---------------------------------------------------------------------

// One character per pixel: '#' grey, '.' face, 'k' black, 'r' red, 'g' green.
std::vector<std::string> Picture(const QImage &image, int x0, int x1)
{
    std::vector<std::string> rows;
    const QRgb face = TMB::FaceColor().rgb() & 0xFFFFFF;
    for (int y = 0; y < image.height(); ++y) {
        std::string row;
        for (int x = x0; x <= x1; ++x) {
            const QRgb c = image.pixel(x, y) & 0xFFFFFF;
            if (c == (qRgb(128, 128, 128) & 0xFFFFFF))
                row += '#';
            else if (c == face)
                row += '.';
            else if (c == (qRgb(0, 0, 0) & 0xFFFFFF))
                row += 'k';
            else if (c == (qRgb(255, 0, 0) & 0xFFFFFF))
                row += 'r';
            else if (c == (qRgb(0, 128, 0) & 0xFFFFFF))
                row += 'g';
            else
                row += '?';
        }
        rows.push_back(row);
    }
    return rows;
}

// The empty chart between columns x0 and x1: grey border, face inside.
std::vector<std::string> Empty(int x0, int x1, int width = 86, int height = 19)
{
    std::vector<std::string> rows;
    for (int y = 0; y < height; ++y) {
        std::string row;
        for (int x = x0; x <= x1; ++x)
            row += (y == 0 || y == height - 1 || x == 0 || x == width - 1) ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

void ExpectShownAsDrawn(TMB &mb)
{
    EXPECT_EQ(mb.ChartImagePixels, mb.ChartBufferPixels);
    EXPECT_EQ(mb.ChartImage->pixmap().toImage().convertToFormat(QImage::Format_RGB32), mb.ChartImagePixels);
}

TEST(Chart, ClearedChartIsABorderOnly)
{
    TStartedPanel p;
    TMB &mb = p.mb;
    ASSERT_EQ(mb.ChartBufferPixels.size(), QSize(86, 19));
    ASSERT_EQ(mb.ChartImagePixels.size(), QSize(86, 19));
    EXPECT_EQ(Picture(mb.ChartBufferPixels, 0, 85), Empty(0, 85));
    EXPECT_EQ(Picture(mb.ChartImagePixels, 0, 85), Empty(0, 85));
    ExpectShownAsDrawn(mb);
}

TEST(Chart, AllZeroHistoryIsRedDotsOnTheBottomRow)
{
    TStartedPanel p;
    TMB &mb = p.mb;
    p.Open();
    // The first sample appears at the right edge.
    p.Second(0);
    std::vector<std::string> expected = Empty(0, 85);
    expected[17][84] = 'r';
    EXPECT_EQ(Picture(mb.ChartImagePixels, 0, 85), expected);

    for (int i = 0; i < 90; ++i)
        p.Second(0);
    expected = Empty(0, 85);
    for (int x = 1; x <= 84; ++x)
        expected[17][x] = 'r';
    EXPECT_EQ(Picture(mb.ChartImagePixels, 0, 85), expected);
    ExpectShownAsDrawn(mb);

    // Clearing leaves the border only until the next sample.
    mb.ClearAllCounters();
    EXPECT_EQ(Picture(mb.ChartImagePixels, 0, 85), Empty(0, 85));
    EXPECT_EQ(Picture(mb.ChartBufferPixels, 0, 85), Empty(0, 85));
}

TEST(Chart, RampReachesTheTopRowWithAGreenDot)
{
    TStartedPanel p;
    TMB &mb = p.mb;
    p.Open();
    for (int n : {0, 4, 8, 12, 16})
        p.Second(n);
    // Columns 79 to 85; samples 0, 4, 8, 12, 16 sit in columns 80 to 84.
    const std::vector<std::string> right = {
        "#######", // 0
        ".....g#", // 1  16: the top row
        ".....k#", //
        ".....k#", //
        "....k.#", //
        "....k.#", // 5  12
        "....k.#", //
        "....k.#", //
        "...k..#", //
        "...k..#", // 9  8
        "...k..#", //
        "...k..#", //
        "..k...#", //
        "..k...#", // 13 4
        "..k...#", //
        ".k....#", //
        ".k....#", //
        ".r....#", // 17 0: the bottom row
        "#######", // 18
    };
    EXPECT_EQ(Picture(mb.ChartImagePixels, 79, 85), right);
    EXPECT_EQ(Picture(mb.ChartImagePixels, 0, 78), Empty(0, 78));
    ExpectShownAsDrawn(mb);
}

TEST(Chart, RowsRoundHalvesToEven)
{
    TStartedPanel p;
    TMB &mb = p.mb;
    p.Open();
    // With a top of 32: 1 -> 0.5 rows, 3 -> 1.5, 5 -> 2.5.
    for (int n : {32, 1, 3, 5, 8})
        p.Second(n);
    const QImage &img = mb.ChartImagePixels;
    const auto at = [&](int x, int y) { return img.pixel(x, y) & 0xFFFFFF; };
    EXPECT_EQ(at(80, 1), qRgb(0, 128, 0) & 0xFFFFFF);   // 32: top, green
    EXPECT_EQ(at(81, 17), qRgb(255, 0, 0) & 0xFFFFFF);  // 1: rounds down to the bottom row
    EXPECT_EQ(at(82, 15), qRgb(0, 0, 0) & 0xFFFFFF);    // 3: two rows up
    EXPECT_EQ(at(83, 15), qRgb(0, 0, 0) & 0xFFFFFF);    // 5: two rows up, not three
    EXPECT_EQ(at(83, 14), TMB::FaceColor().rgb() & 0xFFFFFF);
    EXPECT_EQ(at(84, 13), qRgb(0, 0, 0) & 0xFFFFFF);    // 8: four rows up
}

TEST(Chart, ClosedPeriodLeavesNoGap)
{
    TStartedPanel p;
    TMB &mb = p.mb;
    p.Open();
    p.Second(2);
    p.Second(4);
    p.Close();
    const QImage before = mb.ChartImagePixels;
    p.Second(0);
    p.Second(0);
    EXPECT_EQ(mb.ChartImagePixels, before);
    p.Open();
    p.Second(4);
    // The three samples sit side by side at the right edge, max 4 at the top.
    EXPECT_EQ(TMBTestPeer::SpeedSamples(mb)[81], 2);
    EXPECT_EQ(TMBTestPeer::SpeedSamples(mb)[82], 4);
    EXPECT_EQ(TMBTestPeer::SpeedSamples(mb)[83], 4);
    EXPECT_EQ(TMBTestPeer::SpeedSamples(mb)[80], -1);
    EXPECT_EQ(mb.ChartImagePixels.pixel(83, 1) & 0xFFFFFF, qRgb(0, 128, 0) & 0xFFFFFF);
    EXPECT_EQ(mb.ChartImagePixels.pixel(84, 1) & 0xFFFFFF, qRgb(0, 128, 0) & 0xFFFFFF);
    EXPECT_EQ(mb.ChartImagePixels.pixel(82, 9) & 0xFFFFFF, qRgb(0, 0, 0) & 0xFFFFFF);
}

TEST(ClearAll, ResetsWhatTheCountersShowAndNothingElse)
{
    TStartedPanel p;
    TMB &mb = p.mb;
    p.Open();
    mb.setMBMasterCommandToSlave(3);
    Core(mb).ShowTraffic(1, 4);
    Core(mb).ShowTraffic(1, 5);
    Core(mb).ShowTry(3);
    TMBTestPeer::View(mb).ShowRxId("039");
    TPanelTestPeer::SetFrames(mb, 100, 200);
    TMBTestPeer::View(mb).ShowCounters();
    p.Second(6);
    SetMBStatus(mb, TMB::stTimeOut);
    Core(mb).CountSpeedEvent();

    mb.ClearAllCounters();
    EXPECT_EQ(mb.MBNumberOfTxFrames(), 0u);
    EXPECT_EQ(mb.MBNumberOfRxFrames(), 0u);
    EXPECT_EQ(mb.TxFramesLabel->text(), QStringLiteral("   0  F"));
    EXPECT_EQ(mb.TryLabel->text(), QStringLiteral("0/0"));
    EXPECT_EQ(Background(mb.StatusLine), TMB::FaceColor());
    EXPECT_EQ(mb.StatusLine->text(), QStringLiteral("Last status: Time Out"));
    EXPECT_TRUE(mb.HistoryLabel->text().isEmpty());
    EXPECT_TRUE(mb.TrafficLabel->text().isEmpty());
    EXPECT_EQ(TPanelTestPeer::SpeedCount(mb), 0);
    EXPECT_TRUE(Core(mb).SpeedTimer.Enabled());
    for (qint32 s : TMBTestPeer::SpeedSamples(mb))
        EXPECT_EQ(s, -1);
    // Left alone: the speed itself, the ID label, the open frame of an open port.
    EXPECT_EQ(mb.MBSpeed(), 6u);
    EXPECT_EQ(mb.SpeedLabel->text(), QStringLiteral("6 frames / sec [6]"));
    EXPECT_EQ(mb.RxIdLabel->text(), QStringLiteral("039"));
    EXPECT_EQ(Background(mb.OpenFrame), QColor(0, 128, 0));
    // The history starts from the pair in use now.
    Core(mb).ShowTraffic(1, 3);
    EXPECT_EQ(mb.TrafficLabel->text(), QStringLiteral("1.3"));
    EXPECT_TRUE(mb.HistoryLabel->text().isEmpty());
}

TEST(ClearAll, TheClearButtonRunsIt)
{
    TStartedPanel p;
    TPanelTestPeer::SetFrames(p.mb, 5, 5);
    p.mb.ClearButton->click();
    EXPECT_EQ(p.mb.MBNumberOfTxFrames(), 0u);
}

} // namespace
