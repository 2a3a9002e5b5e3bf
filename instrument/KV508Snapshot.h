// What the window knows of the instrument when a transaction has ended: the
// last poll's answer, the settings as last read, the window's name for the
// sensor and its calendar day. Handed to the tool windows with every ended
// transaction, so none of them reads the window's own state. Plain C++.
#pragma once

#include "KV508Commands.h"

#include <cstdint>
#include <string>

namespace kv508 {

// The instrument's span: its values at 4 mA and 20 mA, scaled by 10^decimals.
struct TScaledSpan {
    int32_t at4mA = 0;
    int32_t at20mA = 0;
    int decimals = 0;
};

struct TInstrumentSnapshot {
    TLiveData live;         // the last answered poll (all zero before the first)
    TSettings settings;     // as last read (all zero before the first read)
    std::string sensorName; // UTF-8: the window's name of settings.SensorCode; empty when the code is none of its sensors
    uint32_t today = 0;     // DateCode of the day the window dates calibrations by

    // The settings' values for 4 mA and 20 mA with the decimals the instrument polls with.
    TScaledSpan Span() const { return {settings.iFizFor4mA, settings.iFizFor20mA, live.Decimals}; }
};

} // namespace kv508
