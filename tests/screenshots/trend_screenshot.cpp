// Takes the README's picture of the live trend: the window polls the
// simulator for a couple of minutes while the pressure is moved through its
// console (a slow wave, a step, the instrument silent for a few seconds), with
// the trend open beside it. Run it under a display (xvfb-run -a
// trend_screenshot DIR); it writes DIR/live-trend.png in English, then switches
// the running windows to Hungarian and writes DIR/live-trend-hu.png (numbers
// as the desktop's locale writes them: run it with LANG=hu_HU.UTF-8).
// Optional: SECONDS (default 150) and "dark" for a dark desktop palette.
#include "Language.h"
#include "LiveTrendWindow.h"
#include "Main.h"
#include "Tools.h"
#include "TrendPlot.h"
#include "SimProcess.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QElapsedTimer>
#include <QListWidget>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QToolButton>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

int Fail(const char *what)
{
    std::fprintf(stderr, "trend_screenshot: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 150;
    if (argc > 3 && QByteArray(argv[3]) == "dark")
        UseDarkDesktopPalette();
    Language::Apply(Language::TLanguage::English);

    TSimProcess sim;
    if (!sim.Start({QStringLiteral("--pressure"), QStringLiteral("40")}))
        return Fail("the simulator did not start");

    TForm1 form;
    Form1 = &form;
    TMB *mb = form.MB1;
    form.move(0, 0);
    form.show();
    if (!SelectSimPort(*mb, sim))
        return Fail("the simulator's port did not show up in the list");

    // The trend first, so it sees every poll; then the port, and a log beside it.
    auto *trend = qobject_cast<TLiveTrendWindow *>(form.Tools()->Open(TToolWindows::LiveTrend));
    if (!trend)
        return Fail("no trend window");
    trend->resize(960, form.height());
    trend->move(form.frameGeometry().right() + 8, 0);
    QTemporaryDir logDir;
    trend->StartLog(logDir.filePath(QStringLiteral("kv508-trend.csv")));
    form.Button_OpenOrCloceSerialPort->click();
    if (!mb->MBPortOpen())
        return Fail("the port did not open");

    // The pressure a technician might see while a line is pumped up and vented.
    QElapsedTimer clock;
    clock.start();
    bool stopped = false, resumed = false;
    while (clock.elapsed() < seconds * 1000LL) {
        const double t = clock.elapsed() / 1000.0;
        double p = 40 + 22 * std::sin(t * 2 * M_PI / 55.0) + 6 * std::sin(t * 2 * M_PI / 9.0);
        if (t > 70 && t < 95)
            p += 55 * (1 - std::exp(-(t - 70) / 3.0)); // a step up and its settling
        sim.Command(QStringLiteral("pressure %1").arg(p, 0, 'f', 1));
        // The instrument silent for a few seconds: failed polls.
        if (t > 100 && !stopped) {
            ::kill(static_cast<pid_t>(sim.Pid()), SIGSTOP);
            stopped = true;
        }
        if (t > 112 && stopped && !resumed) {
            ::kill(static_cast<pid_t>(sim.Pid()), SIGCONT);
            resumed = true;
        }
        QTest::qWait(250);
    }
    if (stopped && !resumed)
        ::kill(static_cast<pid_t>(sim.Pid()), SIGCONT);

    // All of it, with the pointer's readout in the middle.
    for (QToolButton *b : trend->findChildren<QToolButton *>())
        if (b->text() == QStringLiteral("All"))
            b->click();
    TTrendPlot *plot = trend->Plot();
    const QRect area = plot->PlotArea();
    const QPointF at(area.left() + area.width() * 0.62, area.center().y());
    QMouseEvent move(QEvent::MouseMove, at, plot->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &move);
    QTest::qWait(600);
    for (const auto &[language, name] : {std::pair{Language::TLanguage::English, "/live-trend.png"},
                                          std::pair{Language::TLanguage::Hungarian, "/live-trend-hu.png"}}) {
        Language::Apply(language);
        QApplication::processEvents();
        QApplication::sendEvent(plot, &move);
        QTest::qWait(300);
        // The log's path as on a technician's desktop, not this run's scratch folder.
        QLabel *logLabel = trend->LogLabel();
        logLabel->setText(logLabel->text().replace(QDir::toNativeSeparators(logDir.path()), QStringLiteral("/home/technician")));

        const QImage left = form.grab().toImage();
        const QImage right = trend->grab().toImage();
        QImage shot(left.width() + 12 + right.width(), std::max(left.height(), right.height()), QImage::Format_RGB32);
        shot.fill(QColor(60, 63, 68));
        {
            QPainter p(&shot);
            p.drawImage(0, 0, left);
            p.drawImage(left.width() + 12, 0, right);
        }
        QDir().mkpath(dir);
        if (!shot.save(dir + QLatin1String(name)))
            return Fail("cannot write the picture");
    }
    std::printf("%s/live-trend.png (%lld polls, %lld rows logged)\n", qPrintable(dir),
                static_cast<long long>(trend->History().Size()), static_cast<long long>(trend->RowsWritten()));
    trend->StopLog();
    form.close();
    sim.Stop();
    return 0;
}
