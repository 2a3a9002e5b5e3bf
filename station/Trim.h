// The closed-loop trim of the output: with the output forced, the drive
// (0..8191) is moved until the meter in the loop reads the target (4.000 or
// 20.000 mA) within the tolerance. No I/O here: the caller forces a drive,
// reads the meter and hands the reading back, so the search is tested on its
// own against any drive-to-current slope and offset.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace station {

struct TTrimOptions {
    double targetMilliAmps = 4.0;
    double toleranceMilliAmps = 0.001;
    int maxSteps = 12;      // readings at most; never more
    int driveMin = 0;
    int driveMax = 8191;
    int readingsPerStep = 1; // the caller averages this many meter readings per step
    // What a drive step roughly gives (about 24 mA over the range): aims the
    // second point. Below minSlope the readings do not follow the drive.
    double nominalSlopeMilliAmpsPerStep = 0.003;
    double minSlopeMilliAmpsPerStep = 0.0005;
};

struct TTrimStep {
    int drive = 0;
    double milliAmps = 0;
};

enum class TTrimState {
    Running,    // Next() gives the drive to force and read
    Converged,  // within the tolerance, or the best drive when one drive step is coarser than it
    Failed      // no convergence within maxSteps, the target outside the drive's range, or readings that make no sense
};

class TTrim
{
public:
    // startDrive: the instrument's own point (its stored 4 or 20 mA drive), or a guess.
    TTrim(TTrimOptions options, int startDrive);

    TTrimState State() const { return m_state; }
    // The drive to force next (Running), or the chosen drive (Converged).
    int Drive() const;
    // The meter's reading at Drive(); advances the search.
    void Feed(double milliAmps);
    // Failed: why, in a sentence naming the fix. Converged: how close ("4.0004 mA at drive 1362 after 3 steps").
    std::string Text() const;
    const std::vector<TTrimStep> &Steps() const { return m_steps; }

private:
    void Finish(TTrimState state, std::string text);
    bool Bracketed();
    bool CheckSlope(double slope);
    int NextDrive(double slope, bool &outOfRange) const;
    bool WasRead(int drive) const;
    const TTrimStep &Closest() const;
    std::string ConvergedText(const TTrimStep &best, bool byResolution) const;

    TTrimOptions m_options;
    TTrimState m_state = TTrimState::Running;
    int m_drive;
    std::vector<TTrimStep> m_steps;
    std::string m_text;
};

} // namespace station
