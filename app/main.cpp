// Program entry: the application object, the main window, the message loop.
#include "Language.h"
#include "Main.h"
#include "Tools.h"

#include <kv508/Version.h>

#include <QApplication>
#include <QIcon>
#include <QLocale>

#include <csignal>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// A window program on Windows has no console: print into the one it was
// started from, unless the output goes to a file or pipe already.
void UseParentConsole()
{
#ifdef _WIN32
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if ((out == nullptr || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS))
        (void)std::freopen("CONOUT$", "w", stdout);
#endif
}

// --help and --version are answered before the application object exists,
// so they need no display. Anything else is Qt's (-platform, -style, ...).
bool AnswerInfoOption(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            UseParentConsole();
            std::printf("kv508 %s\n", KV508_VERSION);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            UseParentConsole();
            std::printf("Usage: kv508 [Qt options]\n"
                        "\n"
                        "Configures and calibrates the KV508 I transmitter over a serial line.\n"
                        "\n"
                        "  --help, -h   this text\n"
                        "  --version    the version\n"
                        "\n"
                        "Qt's own options (-platform NAME, -style NAME, ...) are taken as well.\n"
                        "Tools, including About, open from the Tools button, the right-click menu and F1.\n"
                        "More in the manual: man kv508\n");
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (AnswerInfoOption(argc, argv))
        return 0;
#ifndef _WIN32
    // A write whose reader has gone must fail with EPIPE where it was made (a
    // log, a save) and be reported there, not end the window and its polling.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(KV508_VERSION));
    // The desktop entry's name: Wayland shells find the icon and the menu entry by it.
    QGuiApplication::setDesktopFileName(QStringLiteral(KV508_APP_ID));
    const QIcon icon = QIcon::fromTheme(QStringLiteral(KV508_APP_ID)); // installed with the package
    if (!icon.isNull())
        QApplication::setWindowIcon(icon);
    // The language chosen last (the INI's), else the desktop's: set before the
    // window is built, so it shows no other first.
    Language::Apply(TToolWindows::StartLanguage(Language::DesktopLocale()));
    TForm1 window;
    Form1 = &window;
    window.show();
    const int result = app.exec();
    Form1 = nullptr;
    return result;
}
