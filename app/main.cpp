// Program entry. The main window arrives with the application work; until then
// the component's panel is shown on its own.
#include "MB.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TMB panel;
    panel.show();
    return app.exec();
}
