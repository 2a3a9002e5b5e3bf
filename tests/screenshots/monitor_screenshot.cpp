// Takes the README's picture of the line monitor: the window polls a simulator
// that drops, damages, delays and garbles some answers (at 4800 baud with line
// time), with the monitor open beside it. Run it under a display (xvfb-run -a
// monitor_screenshot DIR); it writes DIR/line-monitor.png and prints how many
// frames of each verdict it saw. Optional: SECONDS (default 45) and "dark" for
// a dark desktop palette.
#include "Language.h"
#include "LineMonitorWindow.h"
#include "Main.h"
#include "MonitorModel.h"
#include "Tools.h"
#include "SimProcess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QLocale>
#include <QHeaderView>
#include <QPainter>
#include <QSet>
#include <QTableView>

#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

int Fail(const char *what)
{
    std::fprintf(stderr, "monitor_screenshot: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 45;
    const bool dark = argc > 3 && QByteArray(argv[3]) == "dark";
    if (dark)
        UseDarkDesktopPalette();
    Language::Apply(Language::TLanguage::English);

    TSimProcess sim;
    if (!sim.Start({QStringLiteral("--pressure"), QStringLiteral("87.3"), QStringLiteral("--seed"), QStringLiteral("7"),
                    QStringLiteral("--drop"), QStringLiteral("10%"), QStringLiteral("--corrupt"), QStringLiteral("5%"),
                    QStringLiteral("--late"), QStringLiteral("4%"), QStringLiteral("--late-ms"), QStringLiteral("1100"),
                    QStringLiteral("--noise"), QStringLiteral("4%")}))
        return Fail("the simulator did not start");

    TForm1 form;
    Form1 = &form;
    TMB *mb = form.MB1;
    form.move(0, 0);
    form.show();
    if (!SelectSimPort(*mb, sim))
        return Fail("the simulator's port did not show up in the list");

    auto *monitor = qobject_cast<TLineMonitorWindow *>(form.Tools()->Open(TToolWindows::LineMonitor));
    if (!monitor)
        return Fail("no monitor window");
    monitor->resize(1320, form.height());
    monitor->move(form.frameGeometry().right() + 8, 0);
    form.Button_OpenOrCloceSerialPort->click();
    if (!mb->MBPortOpen())
        return Fail("the port did not open");

    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000LL)
        QTest::qWait(200);
    monitor->SyncNow();

    // The latest stretch that shows the most kinds of verdict (scrolled up
    // there, the list stops following).
    TMonitorModel *model = monitor->Model();
    QTableView *view = monitor->View();
    std::map<QString, int> counts;
    QStringList verdicts;
    for (int r = 0; r < model->rowCount(); ++r) {
        verdicts << model->index(r, TMonitorModel::ColVerdict).data().toString();
        ++counts[verdicts.last()];
    }
    const int visible = std::max(1, view->viewport()->height() / view->verticalHeader()->defaultSectionSize());
    int bestEnd = model->rowCount() - 1, bestKinds = 0;
    for (int end = visible - 1; end < model->rowCount(); ++end) {
        const QStringList span = verdicts.mid(end - visible + 1, visible);
        const int kinds = int(QSet<QString>(span.begin(), span.end()).size());
        if (kinds >= bestKinds) {
            bestKinds = kinds;
            bestEnd = end;
        }
    }
    if (bestEnd >= 0)
        view->scrollTo(model->index(bestEnd, 0), QAbstractItemView::PositionAtBottom);
    QTest::qWait(300);

    // In English under the README's name, then the running windows switched to Hungarian ("-hu").
    const QString base = dark ? QStringLiteral("/line-monitor-dark") : QStringLiteral("/line-monitor");
    const QString name = base + QStringLiteral(".png");
    for (const auto &[language, suffix] : {std::pair{Language::TLanguage::English, ".png"},
                                           std::pair{Language::TLanguage::Hungarian, "-hu.png"}}) {
        Language::Apply(language);
        QApplication::processEvents();
        QTest::qWait(300);
        const QImage left = form.grab().toImage();
        const QImage right = monitor->grab().toImage();
        QImage shot(left.width() + 12 + right.width(), std::max(left.height(), right.height()), QImage::Format_RGB32);
        shot.fill(QColor(60, 63, 68));
        {
            QPainter p(&shot);
            p.drawImage(0, 0, left);
            p.drawImage(left.width() + 12, 0, right);
        }
        QDir().mkpath(dir);
        if (!shot.save(dir + base + QLatin1String(suffix)))
            return Fail("cannot write the picture");
    }
    std::printf("%s%s: %d frames\n", qPrintable(dir), qPrintable(name), model->rowCount());
    for (const auto &[verdict, n] : counts)
        std::printf("  %s: %d\n", qPrintable(verdict), n);
    form.close();
    sim.Stop();
    return 0;
}
