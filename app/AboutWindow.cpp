#include "Tools.h"

QWidget *MakeAboutWindow(TForm1 &)
{
    return nullptr; // not built yet
}
