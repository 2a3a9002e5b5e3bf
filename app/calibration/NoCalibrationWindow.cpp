// A build without Qt SQL (the static Windows Qt) has no calibration record:
// the Tools menu then tells the user this build does not include it.
#include "Tools.h"

QWidget *MakeCalibrationWindow(TForm1 &)
{
    return nullptr;
}
