// The live trend window on the fake link: when it starts recording, what it
// records for answered and failed polls, what its statistics show, and its CSV
// log across the port closing and opening again and when the disk fails.
#include "Language.h"
#include "LiveTrendWindow.h"
#include "TextFit.h"
#include "Tools.h"
#include "TrendPlot.h"
#include "AppTest.h"

#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

class LiveTrendTest : public AppTest
{
protected:
    TLiveTrendWindow *OpenTrend()
    {
        return qobject_cast<TLiveTrendWindow *>(form->Tools()->Open(TToolWindows::LiveTrend));
    }

    // Serves transactions until n polls have been answered.
    void ServePolls(int n)
    {
        for (int served = 0; served < n;) {
            const int command = Serve();
            ASSERT_GE(command, 0) << "nothing was sent";
            if (command == TForm1::Cmd_Poll)
                ++served;
        }
    }

    static QList<QByteArray> Lines(const QString &path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QList<QByteArray> lines = f.readAll().split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    // The row without its time, which the test cannot know.
    static QByteArray Fields(const QByteArray &row)
    {
        return row.mid(row.indexOf(',') + 1);
    }

    static bool WaitRows(TLiveTrendWindow *w, qint64 rows)
    {
        return QTest::qWaitFor([&] { return w->RowsWritten() >= rows; }, 10000);
    }
};

TEST_F(LiveTrendTest, RecordsFromTheFirstOpeningAndWhileHidden)
{
    Open();
    ServePolls(2); // before the window exists: not recorded
    TLiveTrendWindow *w = OpenTrend();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isWindow());
    EXPECT_EQ(w->parentWidget(), form.get());
    EXPECT_TRUE(w->History().Empty());

    ServePolls(3);
    EXPECT_EQ(w->History().Size(), 3u);
    w->close(); // hidden, not gone
    ServePolls(2);
    EXPECT_EQ(w->History().Size(), 5u);
    EXPECT_EQ(OpenTrend(), w);
    EXPECT_EQ(w->History().Size(), 5u);
    EXPECT_TRUE(w->isVisible());

    // Only polls count; the settings read in between is not a sample.
    const trend::TSample &s = w->History().Last();
    EXPECT_EQ(s.kind, trend::TKind::Ok);
    EXPECT_EQ(s.value, live.MeasuredValue);
    EXPECT_EQ(s.decimals, live.Decimals);
    EXPECT_EQ(s.microAmps, live.OutputValue);
}

TEST_F(LiveTrendTest, FailedPollsLeaveMarks)
{
    TLiveTrendWindow *w = OpenTrend();
    Open();
    ServePolls(1);
    // A poll no answer comes to.
    for (;;) {
        const TQuery q = Send();
        ASSERT_GE(q.command, 0);
        if (q.command == TForm1::Cmd_Poll) {
            TimeOut();
            break;
        }
        Answer(q.command == TForm1::Cmd_ReadSettings ? SettingsPayload(stored) : QByteArray());
    }
    ServePolls(1);
    ASSERT_EQ(w->History().Size(), 3u);
    EXPECT_EQ(w->History().At(0).kind, trend::TKind::Ok);
    EXPECT_EQ(w->History().At(1).kind, trend::TKind::Failed);
    EXPECT_EQ(w->History().At(2).kind, trend::TKind::Ok);
    const trend::TStats st = w->History().Stats(w->History().At(0).timeMs, w->History().Last().timeMs);
    EXPECT_EQ(st.failed, 1u);
    EXPECT_TRUE(w->StatsLabel()->text().contains(QStringLiteral("1 failed")));
}

// Switched between the languages with polls recorded and a failed log on
// show: the history, the file chosen and the failure stay, and are said anew
// from what happened (not by translating the shown text); nothing clips.
TEST_F(LiveTrendTest, SwitchesLanguageKeepingHistoryAndTheLogsState)
{
    const auto speak = [](Language::TLanguage language) {
        Language::Apply(language);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
        QCoreApplication::processEvents(); // the layouts the new words ask for
    };
    TLiveTrendWindow *w = OpenTrend();
    w->show();
    QSignalSpy failed(w, &TLiveTrendWindow::LogFailed);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/trend.csv"));
    w->StartLog(path);
    Open();
    ServePolls(3);
    ASSERT_TRUE(failed.wait(10000) || failed.count() == 1);
    ASSERT_EQ(w->History().Size(), 3u);

    speak(Language::TLanguage::Hungarian);
    EXPECT_EQ(w->History().Size(), 3u);
    EXPECT_EQ(w->LogPath(), path);
    EXPECT_FALSE(w->Logging());
    EXPECT_TRUE(w->LogLabel()->text().startsWith(QStringLiteral("A naplózás nem indult el"))) << w->LogLabel()->text().toStdString();
    EXPECT_TRUE(w->LogLabel()->text().contains(QStringLiteral("missing"))) << w->LogLabel()->text().toStdString();
    EXPECT_TRUE(w->StatsLabel()->text().contains(QStringLiteral("átlag"))) << w->StatsLabel()->text().toStdString();
    QStringList clipped = ClippedTexts(w);
    EXPECT_TRUE(clipped.isEmpty()) << clipped.join(QLatin1Char('\n')).toStdString();

    speak(Language::TLanguage::English);
    EXPECT_EQ(w->History().Size(), 3u);
    EXPECT_TRUE(w->LogLabel()->text().startsWith(QStringLiteral("Logging did not start"))) << w->LogLabel()->text().toStdString();
    EXPECT_TRUE(w->StatsLabel()->text().contains(QStringLiteral("3 polls"))) << w->StatsLabel()->text().toStdString();
    clipped = ClippedTexts(w);
    EXPECT_TRUE(clipped.isEmpty()) << clipped.join(QLatin1Char('\n')).toStdString();
}

TEST_F(LiveTrendTest, StatisticsShowTheWindowsNumbers)
{
    TLiveTrendWindow *w = OpenTrend();
    Open();
    live.Decimals = 1;
    for (int16_t v : {345, -120, 15}) {
        live.MeasuredValue = v;
        live.OutputValue = static_cast<int16_t>(4000 + v * 10);
        ServePolls(1);
    }
    // Hungarian number format, as the window shows it.
    const QString text = w->StatsLabel()->text();
    EXPECT_TRUE(text.contains(QStringLiteral("min <b>-12,0</b>"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("max <b>34,5</b>"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("mean <b>8,00</b>"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("min <b>2,800</b>"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("max <b>7,450</b>"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("3 polls"))) << text.toStdString();
}

TEST_F(LiveTrendTest, ViewControlsPauseFollowAndSpan)
{
    TLiveTrendWindow *w = OpenTrend();
    TTrendPlot *plot = w->Plot();
    int64_t now = 1'700'000'000'000;
    plot->Now = [&] { return now; };
    EXPECT_TRUE(plot->Live());
    EXPECT_EQ(plot->ViewSpan(), 600'000); // 10 minutes by default
    auto button = [&](const QString &text) {
        for (QToolButton *b : w->findChildren<QToolButton *>())
            if (b->text() == text)
                return b;
        return static_cast<QToolButton *>(nullptr);
    };
    ASSERT_NE(button(QStringLiteral("1 min")), nullptr);
    button(QStringLiteral("1 min"))->click();
    EXPECT_EQ(plot->ViewSpan(), 60'000);
    button(QStringLiteral("Pause"))->click();
    EXPECT_FALSE(plot->Live());
    now += 30'000; // data keeps coming, the view stays
    EXPECT_EQ(plot->ViewEnd(), 1'700'000'000'000);
    button(QStringLiteral("Follow"))->click();
    EXPECT_TRUE(plot->Live());
    EXPECT_EQ(plot->ViewEnd(), now);
    EXPECT_FALSE(button(QStringLiteral("Pause"))->isChecked());

    // A drag pans into the past and freezes the view.
    w->show();
    const QRect area = plot->PlotArea();
    QTest::mousePress(plot, Qt::LeftButton, {}, area.center());
    QTest::mouseMove(plot, area.center() + QPoint(area.width() / 2, 0));
    QTest::mouseRelease(plot, Qt::LeftButton, {}, area.center() + QPoint(area.width() / 2, 0));
    EXPECT_FALSE(plot->Live());
    EXPECT_TRUE(button(QStringLiteral("Pause"))->isChecked());
    EXPECT_NEAR(static_cast<double>(plot->ViewEnd()), static_cast<double>(now - 30'000), 1000.0);
}

// A minute of polls fills the chart instead of a tenth of it; the span grows
// with the data up to the chosen one, whose button stays checked.
TEST_F(LiveTrendTest, TheDefaultSpanGrowsWithTheDataUpToTenMinutes)
{
    TLiveTrendWindow *w = OpenTrend();
    Open();
    ServePolls(2);
    TTrendPlot *plot = w->Plot();
    const int64_t first = w->History().At(0).timeMs;
    int64_t now = first + 60'000;
    plot->Now = [&] { return now; };
    w->show();
    EXPECT_EQ(plot->ViewSpan(), 61'200);
    EXPECT_EQ(plot->ViewStart(), first - 1'200);
    QToolButton *tenMinutes = nullptr;
    for (QToolButton *b : w->findChildren<QToolButton *>())
        if (b->text() == QStringLiteral("10 min"))
            tenMinutes = b;
    ASSERT_NE(tenMinutes, nullptr);
    now = first + 300'000;
    ServePolls(1); // the view and its buttons follow the poll
    EXPECT_EQ(plot->ViewSpan(), 306'000);
    EXPECT_TRUE(tenMinutes->isChecked());
    now = first + 20 * 60'000;
    EXPECT_EQ(plot->ViewSpan(), 600'000);
    EXPECT_EQ(plot->ViewEnd(), now);
}

TEST_F(LiveTrendTest, LogGoesOnAcrossClosingAndReopeningThePort)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("trend.csv"));
    TLiveTrendWindow *w = OpenTrend();
    w->StartLog(path);
    EXPECT_TRUE(w->LogButton()->isChecked());
    Open();
    live.Decimals = 1;
    live.MeasuredValue = 345;
    live.OutputValue = 9607;
    ServePolls(1);
    live.MeasuredValue = -5;
    live.OutputValue = 3985;
    live.ErrorBits = 2 | 8;
    ServePolls(1);
    ASSERT_TRUE(WaitRows(w, 2));

    form->Button_OpenOrCloceSerialPort->click(); // port closed
    ASSERT_FALSE(mb->MBPortOpen());
    w->close();                                  // and the window hidden
    EXPECT_TRUE(w->Logging());
    Open();
    live.Decimals = 2;
    live.MeasuredValue = -32768;
    live.OutputValue = 20000;
    live.ErrorBits = 1 | 4 | 16;
    ServePolls(1);
    ASSERT_TRUE(WaitRows(w, 3));
    EXPECT_TRUE(w->LogLabel()->text().contains(QStringLiteral("trend.csv"))) << w->LogLabel()->text().toStdString();

    const QList<QByteArray> lines = Lines(path);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0] + '\n', trend::CsvHeader());
    EXPECT_EQ(Fields(lines[1]), "34.5,9.607,0,0,0,0,0");
    EXPECT_EQ(Fields(lines[2]), "-0.5,3.985,0,1,0,1,0");
    EXPECT_EQ(Fields(lines[3]), "-327.68,20.000,1,0,1,0,1");
    // ISO-8601 local time with milliseconds and the offset.
    const QRegularExpression time(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d,"));
    for (int i = 1; i < 4; ++i)
        EXPECT_TRUE(time.match(QString::fromLatin1(lines[i])).hasMatch()) << lines[i].toStdString();

    // Stopping and starting again appends without a second header.
    w->StopLog();
    EXPECT_FALSE(w->LogButton()->isChecked());
    ServePolls(1); // not logged
    w->StartLog(path);
    ServePolls(1);
    ASSERT_TRUE(WaitRows(w, 1));
    EXPECT_EQ(Lines(path).size(), 5);
    EXPECT_EQ(Lines(path).count(lines[0]), 1);
}

TEST_F(LiveTrendTest, ALogThatCannotStartSaysWhyAndStops)
{
    TLiveTrendWindow *w = OpenTrend();
    QSignalSpy failed(w, &TLiveTrendWindow::LogFailed);
    QTemporaryDir dir;
    w->StartLog(dir.filePath(QStringLiteral("missing/trend.csv")));
    Open();
    ServePolls(1);
    ASSERT_TRUE(failed.wait(10000) || failed.count() == 1);
    EXPECT_FALSE(w->Logging());
    EXPECT_FALSE(w->LogButton()->isChecked());
    const QString text = w->LogLabel()->text();
    EXPECT_TRUE(text.contains(QStringLiteral("did not start"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("missing"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("not written: 1"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("folder you may write to"))) << text.toStdString();
}

// A FIFO as the log: refused at once with the reason, and nothing waits for a
// reader, so the window still goes when it is closed.
TEST_F(LiveTrendTest, AFifoIsRefusedAndNothingWaitsForItsReader)
{
    TLiveTrendWindow *w = OpenTrend();
    QSignalSpy failed(w, &TLiveTrendWindow::LogFailed);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fifo.csv"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    w->StartLog(path);
    ASSERT_TRUE(failed.wait(10000) || failed.count() == 1);
    EXPECT_FALSE(w->Logging());
    const QString text = w->LogLabel()->text();
    EXPECT_TRUE(text.contains(QStringLiteral("not a regular file"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("plain file"))) << text.toStdString();
    form.reset(); // the writer's thread ends: no open waits in it
}

// Stopped before the writer answered: its failure is still told.
TEST_F(LiveTrendTest, AFailureThatComesAfterStopIsStillReported)
{
    TLiveTrendWindow *w = OpenTrend();
    QSignalSpy failed(w, &TLiveTrendWindow::LogFailed);
    QTemporaryDir dir;
    w->StartLog(dir.filePath(QStringLiteral("missing/trend.csv")));
    w->StopLog();
    ASSERT_TRUE(failed.wait(10000) || failed.count() == 1);
    EXPECT_TRUE(w->LogLabel()->text().contains(QStringLiteral("missing"))) << w->LogLabel()->text().toStdString();
}

TEST_F(LiveTrendTest, ADiskThatFillsStopsTheLogWithoutLosingRowsSilently)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("trend.csv"));
    TLiveTrendWindow *w = OpenTrend();
    QSignalSpy failed(w, &TLiveTrendWindow::LogFailed);
    w->StartLog(path);
    Open();
    ServePolls(2);
    ASSERT_TRUE(WaitRows(w, 2));
    const qint64 size = QFile(path).size();

    // No file of this process may grow any more: the next row fails (EFBIG).
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = static_cast<rlim_t>(size);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    ServePolls(1);
    const bool reported = failed.wait(10000) || failed.count() == 1;
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(reported);

    EXPECT_FALSE(w->Logging());
    const QString text = w->LogLabel()->text();
    EXPECT_TRUE(text.contains(QStringLiteral("Logging stopped"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Rows in the file: 2"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("not written: 1"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("disk space"))) << text.toStdString();
    ServePolls(1); // no more rows are tried
    EXPECT_EQ(QFile(path).size(), size);
    EXPECT_EQ(w->History().Size(), 4u); // the trend has them all
}

} // namespace
