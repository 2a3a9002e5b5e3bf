// Takes the README's pictures of both pages while the window is connected to
// the simulator. Run it under a display (xvfb-run -a app_screenshots DIR [hu|en]);
// it writes DIR/user-page.png and DIR/calibration-page.png in Hungarian (the
// design's), DIR/user-page-en.png and DIR/calibration-page-en.png in English.
#include "Language.h"
#include "Main.h"
#include "SimProcess.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QLocale>

#include <cstdio>

namespace {

int Fail(const char *what)
{
    std::fprintf(stderr, "app_screenshots: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
    const auto language = Language::FromCode(QString::fromLocal8Bit(argc > 2 ? argv[2] : "hu"));
    if (!language || !Language::Apply(*language))
        return Fail("the language is hu or en, and its translations must be built in");
    const bool english = *language == Language::TLanguage::English;
    if (!english)
        QLocale::setDefault(QLocale(QLocale::Hungarian, QLocale::Hungary)); // the technician's number format
    const QString suffix = english ? QStringLiteral("-en.png") : QStringLiteral(".png");

    TSimProcess sim;
    if (!sim.Start({QStringLiteral("--pressure"), QStringLiteral("34.5")}))
        return Fail("the simulator did not start");

    TForm1 form;
    Form1 = &form;
    int polls = 0;
    TMB *mb = form.MB1;
    mb->OnMBMasterEndOfEvent = [&](TMBStatus status, const QString &text) {
        if (status == TMB::stOK && mb->MBMasterCommandToSlave() == TForm1::Cmd_Poll)
            ++polls;
        form.MB1MBMasterEndOfEvent(status, text);
    };
    auto waitPolls = [&](int n) {
        const int target = polls + n;
        return QTest::qWaitFor([&] { return polls >= target; }, 30000);
    };

    form.show();
    form.activateWindow();
    // The newcomer's way in: the simulator's port in the list, then the window's button.
    if (!SelectSimPort(*mb, sim))
        return Fail("the simulator's port did not show up in the list");
    form.Button_OpenOrCloceSerialPort->click();
    if (!mb->MBPortOpen())
        return Fail("the port did not open");
    if (!waitPolls(4))
        return Fail("no live values");

    QDir().mkpath(dir);
    if (!form.grab().save(dir + QStringLiteral("/user-page") + suffix))
        return Fail("cannot write the user page's picture");

    // The calibration page during output calibration: the output forced to 50 %.
    form.SwitchPage();
    form.SpeedButton_PWMForce->click();
    form.Button_Out50Percents->click();
    if (!waitPolls(4))
        return Fail("no live values on the calibration page");
    if (!form.grab().save(dir + QStringLiteral("/calibration-page") + suffix))
        return Fail("cannot write the calibration page's picture");

    form.SpeedButton_PWMForce->click();
    form.close();
    sim.Stop();
    std::printf("%s/user-page%s\n%s/calibration-page%s\n", qPrintable(dir), qPrintable(suffix), qPrintable(dir),
                qPrintable(suffix));
    return 0;
}
