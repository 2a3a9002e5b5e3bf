#include "Trim.h"

#include "Number.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <utility>

namespace station {

namespace {

std::string MilliAmps(double mA)
{
    return FixedText(mA, 4) + " mA";
}

std::string MicroAmps(double mA)
{
    return FixedText(mA * 1000.0, 1) + " \u00b5A";
}

std::string Point(const TTrimStep &s)
{
    return MilliAmps(s.milliAmps) + " at drive " + std::to_string(s.drive);
}

} // namespace

TTrim::TTrim(TTrimOptions options, int startDrive) : m_options(std::move(options))
{
    if (m_options.driveMax < m_options.driveMin)
        std::swap(m_options.driveMin, m_options.driveMax);
    m_options.maxSteps = std::max(1, m_options.maxSteps);
    m_drive = std::clamp(startDrive, m_options.driveMin, m_options.driveMax);
}

int TTrim::Drive() const
{
    return m_drive;
}

std::string TTrim::Text() const
{
    return m_text;
}

void TTrim::Finish(TTrimState state, std::string text)
{
    m_state = state;
    m_text = std::move(text);
}

bool TTrim::WasRead(int drive) const
{
    return std::any_of(m_steps.begin(), m_steps.end(), [drive](const TTrimStep &s) { return s.drive == drive; });
}

const TTrimStep &TTrim::Closest() const
{
    const double target = m_options.targetMilliAmps;
    return *std::min_element(m_steps.begin(), m_steps.end(), [target](const TTrimStep &a, const TTrimStep &b) {
        return std::fabs(a.milliAmps - target) < std::fabs(b.milliAmps - target);
    });
}

std::string TTrim::ConvergedText(const TTrimStep &best, bool byResolution) const
{
    std::string text = Point(best) + " after " + std::to_string(m_steps.size()) +
                       (m_steps.size() == 1 ? " step" : " steps");
    if (byResolution)
        text += ": the closest the drive comes, one drive step being coarser than the tolerance (" +
                MicroAmps(m_options.toleranceMilliAmps) + ")";
    return text;
}

// Two neighbouring drives read on either side of the target: no drive comes
// closer than the better of them, whatever the tolerance asks.
bool TTrim::Bracketed()
{
    std::map<int, double> byDrive; // the latest reading of each drive
    for (const TTrimStep &s : m_steps)
        byDrive[s.drive] = s.milliAmps;
    const double target = m_options.targetMilliAmps;
    for (auto it = byDrive.begin(); it != byDrive.end(); ++it) {
        const auto next = std::next(it);
        if (next == byDrive.end() || next->first != it->first + 1)
            continue;
        if ((it->second - target) * (next->second - target) > 0)
            continue;
        const bool lowerIsCloser = std::fabs(it->second - target) <= std::fabs(next->second - target);
        const TTrimStep best{lowerIsCloser ? it->first : next->first, lowerIsCloser ? it->second : next->second};
        m_drive = best.drive;
        Finish(TTrimState::Converged, ConvergedText(best, true));
        return true;
    }
    return false;
}

bool TTrim::CheckSlope(double slope)
{
    if (slope >= m_options.minSlopeMilliAmpsPerStep)
        return true;
    const TTrimStep &last = m_steps.back();
    const TTrimStep &first = m_steps.front();
    const std::string seen = " (" + Point(first) + ", " + Point(last) + ")";
    m_drive = Closest().drive;
    if (slope <= -m_options.minSlopeMilliAmpsPerStep)
        Finish(TTrimState::Failed, "the meter's reading falls as the drive rises" + seen +
                                       ": are the meter's leads swapped? Connect its current input to the loop's "
                                       "positive side and trim again");
    else
        Finish(TTrimState::Failed, "the meter's reading does not follow the drive" + seen +
                                       ": is it in the loop? Put the meter in series with the output, on its DC "
                                       "current range, and trim again");
    return false;
}

// The secant's drive from the last reading; one step at least, clamped to the
// range, and never a drive read before (those are stepped over towards the
// target). outOfRange: the range's end towards the target has been read.
int TTrim::NextDrive(double slope, bool &outOfRange) const
{
    const TTrimStep &last = m_steps.back();
    const double error = m_options.targetMilliAmps - last.milliAmps;
    const int dir = error > 0 ? 1 : -1;
    const double wanted = error / slope;
    // Far outside the range means "the end": no overflow on the way there.
    const double span = static_cast<double>(m_options.driveMax) - m_options.driveMin + 1;
    long step = std::lround(std::clamp(wanted, -span, span));
    if (step == 0)
        step = dir;
    long drive = std::clamp<long>(last.drive + step, m_options.driveMin, m_options.driveMax);
    if (m_steps.size() == 1 && drive == last.drive) {
        // Started at the end towards the target: the second point lies inwards.
        drive = std::clamp<long>(last.drive - 4L * dir, m_options.driveMin, m_options.driveMax);
        outOfRange = drive == last.drive;
        return static_cast<int>(drive);
    }
    while (WasRead(static_cast<int>(drive))) {
        drive += dir;
        if (drive < m_options.driveMin || drive > m_options.driveMax) {
            outOfRange = true;
            return last.drive;
        }
    }
    outOfRange = false;
    return static_cast<int>(drive);
}

void TTrim::Feed(double milliAmps)
{
    if (m_state != TTrimState::Running)
        return;
    if (!std::isfinite(milliAmps)) {
        Finish(TTrimState::Failed, "the meter's reading at drive " + std::to_string(m_drive) +
                                       " is not a number: set the meter to DC current on a range above 24 mA");
        return;
    }
    m_steps.push_back({m_drive, milliAmps});
    const TTrimOptions &o = m_options;
    if (std::fabs(o.targetMilliAmps - milliAmps) <= o.toleranceMilliAmps) {
        Finish(TTrimState::Converged, ConvergedText(m_steps.back(), false));
        return;
    }
    if (Bracketed())
        return;
    if (static_cast<int>(m_steps.size()) >= o.maxSteps) {
        const TTrimStep &best = Closest();
        m_drive = best.drive;
        Finish(TTrimState::Failed, "no drive gave " + MilliAmps(o.targetMilliAmps) + " within " +
                                       MicroAmps(o.toleranceMilliAmps) + " in " + std::to_string(o.maxSteps) +
                                       " readings (closest: " + Point(best) +
                                       "): a noisy or drifting reading; let the loop settle, average more "
                                       "readings per step, and trim again");
        return;
    }

    double slope = o.nominalSlopeMilliAmpsPerStep;
    const TTrimStep &last = m_steps.back();
    // The secant through the last two drives read; the nominal slope aims the second.
    for (auto it = m_steps.rbegin() + 1; it != m_steps.rend(); ++it) {
        if (it->drive != last.drive) {
            slope = (last.milliAmps - it->milliAmps) / (last.drive - it->drive);
            if (!CheckSlope(slope))
                return;
            break;
        }
    }
    bool outOfRange = false;
    const int next = NextDrive(slope, outOfRange);
    if (outOfRange) {
        const TTrimStep &best = Closest();
        m_drive = best.drive;
        Finish(TTrimState::Failed, MilliAmps(o.targetMilliAmps) + " lies outside what the drives " +
                                       std::to_string(o.driveMin) + ".." + std::to_string(o.driveMax) +
                                       " give (closest: " + Point(best) + "): check the loop's supply and load resistance, then trim again");
        return;
    }
    m_drive = next;
}

} // namespace station
