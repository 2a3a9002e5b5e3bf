#include "Tools.h"

QWidget *MakeLineMonitorWindow(TForm1 &)
{
    return nullptr; // not built yet
}
