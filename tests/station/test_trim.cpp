// The trim's search against simulated loops: a linear drive-to-current line
// of unknown slope and offset, whole drive steps, and a noisy meter from a
// seeded generator, so every run sees the same readings.
#include "Trim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>

using namespace station;

namespace {

constexpr double kSigma = 0.0002; // mA: the meter's noise

struct TLoop {
    double slope;  // mA per drive step
    double offset; // mA at drive 0
    double Exact(int drive) const { return offset + slope * drive; }
};

// Runs the trim to its end; reading gives the meter's value at a drive. The
// search must end by itself within maxSteps readings.
void RunTrim(TTrim &trim, const TTrimOptions &options, const std::function<double(int)> &reading)
{
    for (int i = 0; i < options.maxSteps && trim.State() == TTrimState::Running; ++i) {
        const int drive = trim.Drive();
        ASSERT_GE(drive, options.driveMin);
        ASSERT_LE(drive, options.driveMax);
        trim.Feed(reading(drive));
    }
    EXPECT_NE(trim.State(), TTrimState::Running) << "still searching after maxSteps readings";
    EXPECT_LE(static_cast<int>(trim.Steps().size()), options.maxSteps);
}

TEST(Trim, ConvergesOnEveryLoopOfTheRange)
{
    int cases = 0, outOfRange = 0, mostSteps = 0;
    unsigned seed = 1;
    for (double slopeUa : {2.4, 2.7, 3.0, 3.3, 3.6})
        for (double offsetUa : {-200.0, -90.0, 0.0, 110.0, 200.0})
            for (double target : {4.0, 20.0})
                for (int off : {-60, -23, -1, 0, 2, 37, 60})
                    for (int repeat = 0; repeat < 2; ++repeat) {
                        const TLoop loop{slopeUa / 1000, offsetUa / 1000};
                        TTrimOptions options;
                        options.targetMilliAmps = target;
                        const double ideal = (target - loop.offset) / loop.slope;
                        if (ideal > options.driveMax - 2 && ideal < options.driveMax + 2)
                            continue; // at the very end of the range: either outcome is right
                        const int start = static_cast<int>(std::lround(ideal)) + off;
                        std::mt19937 noise(seed++);
                        std::normal_distribution<double> gauss(0.0, kSigma);
                        TTrim trim(options, start);
                        RunTrim(trim, options, [&](int drive) { return loop.Exact(drive) + gauss(noise); });
                        const std::string what = "slope " + std::to_string(slopeUa) + " uA/step, offset " +
                                                 std::to_string(offsetUa) + " uA, target " + std::to_string(target) +
                                                 " mA, start " + std::to_string(off) + " steps off: " + trim.Text();
                        ++cases;
                        if (ideal > options.driveMax) {
                            ++outOfRange;
                            EXPECT_EQ(trim.State(), TTrimState::Failed) << what;
                            EXPECT_NE(trim.Text().find("outside"), std::string::npos) << what;
                            continue;
                        }
                        mostSteps = std::max(mostSteps, static_cast<int>(trim.Steps().size()));
                        ASSERT_EQ(trim.State(), TTrimState::Converged) << what;
                        const double limit = std::max(options.toleranceMilliAmps, loop.slope / 2 + 3 * kSigma);
                        EXPECT_LE(std::fabs(loop.Exact(trim.Drive()) - target), limit) << what;
                        EXPECT_NE(trim.Text().find(" at drive " + std::to_string(trim.Drive())), std::string::npos)
                            << what;
                    }
    EXPECT_GT(cases, 600);
    EXPECT_GT(outOfRange, 0); // 20 mA lies beyond drive 8191 on the flattest loops
    std::printf("trim: %d loops, %d out of range, at most %d readings to converge\n", cases, outOfRange, mostSteps);
}

// A reading within the tolerance ends the search at once; where one drive step
// is coarser than the tolerance, the neighbours that straddle the target end
// it, with the closer one chosen.
TEST(Trim, StopsWithinToleranceOrAtTheDrivesResolution)
{
    TTrimOptions options; // 4 mA, 1 uA
    TTrim exact(options, 1000);
    exact.Feed(4.0004);
    EXPECT_EQ(exact.State(), TTrimState::Converged);
    EXPECT_EQ(exact.Drive(), 1000);
    EXPECT_EQ(exact.Text(), "4.0004 mA at drive 1000 after 1 step");

    // 3 uA per step, the target 1.2 uA above drive 1333's reading.
    const TLoop loop{0.003, 4.0 - 0.0012 - 1333 * 0.003};
    TTrim coarse(options, 1320);
    RunTrim(coarse, options, [&](int drive) { return loop.Exact(drive); });
    ASSERT_EQ(coarse.State(), TTrimState::Converged) << coarse.Text();
    EXPECT_EQ(coarse.Drive(), 1333);
    EXPECT_NE(coarse.Text().find("coarser than the tolerance"), std::string::npos) << coarse.Text();
}

TEST(Trim, FailsWhenTheTargetLiesOutsideTheRange)
{
    for (const auto &[target, start] : {std::pair{30.0, 8000}, std::pair{30.0, 8191}, std::pair{0.1, 10}, std::pair{0.1, 0}}) {
        TTrimOptions options;
        options.targetMilliAmps = target;
        const TLoop loop{0.003, 0.2};
        TTrim trim(options, start);
        RunTrim(trim, options, [&](int drive) { return loop.Exact(drive); });
        EXPECT_EQ(trim.State(), TTrimState::Failed) << target << " from " << start;
        EXPECT_NE(trim.Text().find("lies outside what the drives 0..8191 give"), std::string::npos) << trim.Text();
        EXPECT_LT(trim.Steps().size(), 6u) << "an end read twice is enough";
    }
}

TEST(Trim, FailsWhenTheMeterDoesNotFollowTheDrive)
{
    std::mt19937 noise(7);
    std::normal_distribution<double> gauss(0.0, kSigma);
    const std::function<double(int)> dead[] = {
        [&](int) { return gauss(noise); },          // meter not in the loop
        [&](int) { return 12.0 + gauss(noise); },   // reads another loop
        [&](int) { return 0.0; },
    };
    for (const auto &reading : dead) {
        TTrimOptions options;
        TTrim trim(options, 1333);
        RunTrim(trim, options, reading);
        EXPECT_EQ(trim.State(), TTrimState::Failed);
        EXPECT_NE(trim.Text().find("the meter's reading does not follow the drive"), std::string::npos) << trim.Text();
        EXPECT_NE(trim.Text().find("is it in the loop?"), std::string::npos) << trim.Text();
        EXPECT_EQ(trim.Steps().size(), 2u);
    }

    // Leads swapped: the reading falls as the drive rises.
    TTrimOptions options;
    TTrim swapped(options, 1300);
    RunTrim(swapped, options, [](int drive) { return -0.003 * drive; });
    EXPECT_EQ(swapped.State(), TTrimState::Failed);
    EXPECT_NE(swapped.Text().find("leads swapped"), std::string::npos) << swapped.Text();
}

TEST(Trim, GivesUpAfterMaxStepsAndRefusesNonsense)
{
    TTrimOptions options;
    options.maxSteps = 2;
    const TLoop loop{0.0036, 0.0};
    TTrim trim(options, 1111 + 60);
    RunTrim(trim, options, [&](int drive) { return loop.Exact(drive); });
    ASSERT_EQ(trim.State(), TTrimState::Failed);
    EXPECT_EQ(trim.Steps().size(), 2u);
    EXPECT_NE(trim.Text().find("in 2 readings"), std::string::npos) << trim.Text();
    const auto closest = std::min_element(trim.Steps().begin(), trim.Steps().end(), [](auto &a, auto &b) {
        return std::fabs(a.milliAmps - 4) < std::fabs(b.milliAmps - 4);
    });
    EXPECT_EQ(trim.Drive(), closest->drive);
    trim.Feed(4.0); // over: nothing changes
    EXPECT_EQ(trim.Steps().size(), 2u);
    EXPECT_EQ(trim.State(), TTrimState::Failed);

    TTrim nan(TTrimOptions{}, 1300);
    nan.Feed(std::nan(""));
    EXPECT_EQ(nan.State(), TTrimState::Failed);
    EXPECT_NE(nan.Text().find("not a number"), std::string::npos);

    // A start outside the range starts at its end.
    TTrim beyond(TTrimOptions{}, 9000);
    EXPECT_EQ(beyond.Drive(), 8191);
}

} // namespace
