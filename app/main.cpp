// Program entry: the application object, the main window, the message loop.
#include "Main.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TForm1 window;
    Form1 = &window;
    window.show();
    const int result = app.exec();
    Form1 = nullptr;
    return result;
}
