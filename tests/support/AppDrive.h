// The technician's hands on the calibration page's output drive: the step
// buttons moved by a number of steps, and the drive brought to a loop current
// read on an ammeter. Shared by the end-to-end tests that calibrate.
#pragma once

#include "Main.h"

#include <QPushButton>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>

// Presses the step buttons as a technician would to move the drive value by delta.
inline void StepDrive(TForm1 &form, int delta)
{
    QPushButton *up[] = {form.Button9, form.Button8, form.Button7, form.Button6};
    QPushButton *down[] = {form.Button2, form.Button3, form.Button4, form.Button5};
    const int sizes[] = {1000, 100, 10, 1};
    for (int i = 0; i < 4; ++i)
        for (; std::abs(delta) >= sizes[i]; delta -= delta > 0 ? sizes[i] : -sizes[i])
            (delta > 0 ? up[i] : down[i])->click();
}

// Brings the loop current to target mA with the buttons, reading the ammeter
// after each move; returns the last reading.
inline double DriveOutputTo(TForm1 &form, double target, const std::function<double()> &ammeter)
{
    const int p0 = form.PWMValue;
    const double i0 = ammeter();
    StepDrive(form, p0 < 4000 ? 1000 : -1000);
    const double i1 = ammeter();
    const double perStep = (i1 - i0) / (form.PWMValue - p0);
    EXPECT_GT(perStep, 0.0);
    double now = i1;
    for (int round = 0; round < 6 && std::abs(now - target) > perStep / 2; ++round) {
        StepDrive(form, static_cast<int>(std::lround((target - now) / perStep)));
        now = ammeter();
    }
    return now;
}
