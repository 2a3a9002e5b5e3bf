#include "Tools.h"

QWidget *MakeLiveTrendWindow(TForm1 &)
{
    return nullptr; // not built yet
}
