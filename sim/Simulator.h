// The simulated transmitter on a link: the engine in ASCII slave mode (address 1,
// ID 39) whose application handler answers with the instrument model, behind a
// line emulator. The caller supplies the link the emulator sits on.
#pragma once

#include "Instrument.h"
#include "LineEmulator.h"
#include "References.h"
#include "MBEngine.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

namespace sim {

struct SimConfig {
    LineConfig line;
    double pressurePa = 0.0;
    double temperatureC = 23.5;
    bool sensorFault = false;
    int restartMs = 300;
    quint32 seed = 1;
    bool blank = false;  // start erased rather than factory calibrated (without a state file)
    QString stateFile;   // empty: no memory across runs
    // The transmitter's output stage: a multiple of the usual slope, and its offset (µA).
    double dacGainScale = 1.0;
    double dacOffsetUa = -35.0;
    ReferenceConfig references; // the meter and the pressure controller, if asked for
};

class Simulator
{
public:
    using TInnerFactory = std::function<std::unique_ptr<TMBLink>()>;

    Simulator(SimConfig config, TInnerFactory innerFactory);
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    // Loads the state file (if any) and opens the port. False with a reason on failure.
    bool Start(QString &error);
    // Closes the port and writes the memory if it changed.
    void Stop();

    mbcore::TMBEngine &Component() { return m_mb; }
    Instrument &Model() { return *m_instrument; }
    LineEmulator *Line() const { return m_line; }
    // The reference instruments; null when none was asked for.
    References *Refs() const { return m_references.get(); }
    qint64 NowMs() const { return m_clock.elapsed(); }
    // Writes the memory to the state file now; false with a reason on failure.
    bool SaveState(QString &error);
    // The last save failed (the state file does not hold the memory).
    bool LastSaveFailed() const { return m_lastSaveFailed; }

    std::function<void(const QString &)> OnLog;
    // Failed saves: always worth telling, not only when verbose.
    std::function<void(const QString &)> OnSaveFailed;

private:
    void Received(quint8 command, quint16 count);
    void Log(const QString &text);
    void SaveNow();

    SimConfig m_config;
    TInnerFactory m_innerFactory;
    mbcore::TMBEngine m_mb;
    std::unique_ptr<Instrument> m_instrument;
    std::unique_ptr<References> m_references; // uses the instrument: goes first
    LineEmulator *m_line = nullptr; // owned by the component while the port is open
    QElapsedTimer m_clock;
    QTimer m_saveTimer;
    bool m_dirty = false;
    bool m_lastSaveFailed = false;
};

} // namespace sim
