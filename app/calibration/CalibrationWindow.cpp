#include "Tools.h"

QWidget *MakeCalibrationWindow(TForm1 &)
{
    return nullptr; // not built yet
}
