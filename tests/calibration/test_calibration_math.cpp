// The As-Found / As-Left arithmetic: expected current, error in % of span,
// and the verdict exactly at the tolerance's edge, where a floating-point
// computation decides wrongly (the cases marked so below).
#include "CalibrationMath.h"
#include "CalibrationRecord.h"

#include <gtest/gtest.h>

namespace {

using namespace calib;

TDecimal D(const char *text)
{
    const std::optional<TDecimal> d = ParseDecimal(text, 9);
    EXPECT_TRUE(d.has_value()) << text;
    return d.value_or(TDecimal{});
}

struct TCase {
    TSpan span;
    const char *applied;
    const char *milliAmps;
    const char *tolerance;
    double expected;
    double error;
    bool pass;
    const char *why;
};

TEST(CalibrationMath, ExpectedCurrentErrorAndVerdictAtTheToleranceEdges)
{
    const TCase cases[] = {
        {{0, 2500, 1}, "125.0", "12.04", "0.25", 12.0, 0.25, true, "on the edge, above"},
        {{0, 2500, 1}, "125.0", "12.0401", "0.25", 12.0, 0.250625, false, "one ammeter digit beyond"},
        {{0, 2500, 1}, "125.0", "11.96", "0.25", 12.0, -0.25, true, "on the edge, below"},
        {{0, 2500, 1}, "125.0", "11.9599", "0.25", 12.0, -0.250625, false, "one digit beyond, below"},
        // Floating point puts these a hair outside the tolerance.
        {{0, 1245, 1}, "31.125", "7.96", "0.25", 8.0, -0.25, true, "float: -0.2500000000000002"},
        {{0, 1245, 1}, "31.125", "8.016", "0.1", 8.0, 0.1, true, "float: 0.10000000000000009"},
        {{-125, 375, 1}, "0.0", "8.016", "0.1", 8.0, 0.1, true, "negative lower, float edge"},
        {{0, 2500, 1}, "125.0", "12.016", "0.1", 12.0, 0.1, true, "float edge at mid span"},
        // Negative lower values and spans with decimals.
        {{-2500, 2500, 1}, "-125.0", "8.0", "0.25", 8.0, 0.0, true, "-250.0 .. 250.0"},
        {{-2500, 2500, 1}, "-250.0", "3.9", "0.25", 4.0, -0.625, false, "the lower end"},
        {{0, 2500, 2}, "6.25", "8", "0.25", 8.0, 0.0, true, "0.00 .. 25.00"},
        {{-5000, -1000, 0}, "-3000", "12.02", "0.25", 12.0, 0.125, true, "both ends negative"},
        {{0, 1245, 1}, "31.1", "8", "0.25", 4 + 16 * 31.1 / 124.5, (4 - 16 * 31.1 / 124.5) / 16 * 100, true, "applied off the nominal"},
        {{0, 2500, 1}, "260.0", "20.64", "0.25", 20.64, 0.0, true, "beyond the span"},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.why);
        const std::optional<TPointResult> r = Evaluate(c.span, D(c.applied), D(c.milliAmps), D(c.tolerance));
        ASSERT_TRUE(r.has_value());
        EXPECT_NEAR(r->expectedMilliAmps, c.expected, 1e-9);
        EXPECT_NEAR(r->errorPercent, c.error, 1e-9);
        EXPECT_EQ(r->pass, c.pass);
        EXPECT_EQ(ExpectedMilliAmps(c.span, D(c.applied)).value_or(-1), r->expectedMilliAmps);
    }
}

TEST(CalibrationMath, ZeroInvertedAndOddSpansAreRefused)
{
    EXPECT_EQ(CheckSpan({0, 2500, 1}), TSpanError::None);
    EXPECT_EQ(CheckSpan({100, 100, 1}), TSpanError::Zero);
    EXPECT_EQ(CheckSpan({2500, 0, 1}), TSpanError::Inverted);
    EXPECT_EQ(CheckSpan({0, 2500, 9}), TSpanError::Decimals);
    for (const TSpan &s : {TSpan{100, 100, 1}, TSpan{2500, 0, 1}, TSpan{0, 2500, 9}}) {
        EXPECT_FALSE(Evaluate(s, D("1"), D("4"), D("0.25")));
        EXPECT_FALSE(ExpectedMilliAmps(s, D("1")));
    }
    // More decimals than the check takes are refused, never rounded into a verdict.
    EXPECT_FALSE(Evaluate({0, 2500, 1}, D("1.00001"), D("4"), D("0.25")));
    EXPECT_FALSE(Evaluate({0, 2500, 1}, D("1"), D("4.00001"), D("0.25")));
    EXPECT_FALSE(Evaluate({0, 2500, 1}, D("1"), D("4"), D("0.2501")));
    EXPECT_NE(std::string(SpanErrorText(TSpanError::Inverted)).find("below"), std::string::npos);
}

TEST(CalibrationMath, ErrorTextNeverContradictsTheVerdict)
{
    // 0.250417 % fails against 0.25 but shows as 0.250 with three decimals.
    const std::optional<TPointResult> r = Evaluate({0, 3, 0}, D("0.001"), D("4.0454"), D("0.25"));
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->pass);
    EXPECT_EQ(FormatError(r->errorPercent, r->pass, D("0.25")), "0.2504");
    EXPECT_EQ(FormatError(0.25, true, D("0.25")), "0.250");
    EXPECT_EQ(FormatError(-0.1234, true, D("0.25")), "-0.123");
    EXPECT_EQ(FormatError(-0.00001, true, D("0.25")), "0.000"); // no "-0.000"
    // 0.250000047 % on a wide span: seven decimals would still show 0.2500000.
    const std::optional<TPointResult> wide = Evaluate({-4000, 9333, 0}, D("-667"), D("8.0397"), D("0.25"));
    ASSERT_TRUE(wide);
    EXPECT_FALSE(wide->pass);
    const std::string text = FormatError(wide->errorPercent, false, D("0.25"));
    EXPECT_GT(std::stod(text), 0.25) << text;
}

TEST(CalibrationMath, TypedNumbersPointsAndNominalValues)
{
    EXPECT_EQ(ParseDecimal("12,5", 3), (TDecimal{125, 1}));
    EXPECT_EQ(ParseDecimal(" -0.50 ", 3), (TDecimal{-50, 2}));
    EXPECT_EQ(ParseDecimal("+4", 3), (TDecimal{4, 0}));
    for (const char *bad : {"", "-", "1e3", "1.2.3", "1.2345", "12 3", "0x10", "1234567890123"})
        EXPECT_FALSE(ParseDecimal(bad, 3)) << bad;
    EXPECT_EQ(TDecimal({-5, 3}).Text(), "-0.005");
    EXPECT_EQ(TDecimal({1200, 2}).Text(), "12.00");

    const auto points = ParsePoints("0, 25;50 75% 100");
    ASSERT_TRUE(points);
    EXPECT_EQ(PointsText(*points), "0, 25, 50, 75, 100");
    EXPECT_EQ(PointsText(Sequence(*points, true)), "0, 25, 50, 75, 100, 75, 50, 25, 0");
    EXPECT_EQ(PointsText(Sequence(*points, false)), "0, 25, 50, 75, 100");
    for (const char *bad : {"", "abc", "0, 120", "-20", "0, 12.345"})
        EXPECT_FALSE(ParsePoints(bad)) << bad;

    // Nominal values at the instrument's decimals, halves away from zero.
    const TSpan s{0, 1245, 1};
    EXPECT_EQ(s.At(D("25")), (TDecimal{311, 1}));  // 31.125
    EXPECT_EQ(s.At(D("75")), (TDecimal{934, 1}));  // 93.375
    EXPECT_EQ(TSpan({-2500, 2500, 1}).At(D("25")), (TDecimal{-1250, 1}));
    EXPECT_EQ(TSpan({-2500, 2500, 1}).At(D("12.5")), (TDecimal{-1875, 1}));
    EXPECT_EQ(TSpan({-2500, 2500, 1}).At(D("0.01")), (TDecimal{-2500, 1}));
}

TEST(CalibrationMath, ReadingsSettleOnlyWhenTheLastPollsAgree)
{
    const TSpan span{0, 2500, 1}; // a quarter of 0.25 % is 0.6 digits: one digit is allowed
    TReadings r;
    for (int i = 0; i < TReadings::kPolls - 1; ++i)
        r.Add(1250, 1, 12000);
    EXPECT_FALSE(r.Stable(span, D("0.25"))) << "too few polls";
    r.Add(1251, 1, 12001);
    EXPECT_TRUE(r.Stable(span, D("0.25")));
    EXPECT_NEAR(r.MeanValue(), 125.02, 1e-9);
    EXPECT_NEAR(r.MeanMilliAmps(), 12.0002, 1e-9);
    r.Add(1270, 1, 12000); // the pressure still moving
    EXPECT_FALSE(r.Stable(span, D("0.25")));
    for (int i = 0; i < TReadings::kPolls; ++i)
        r.Add(1270, 1, 12000 + 20 * (i % 2)); // the current jumping 20 uA (0.125 %)
    EXPECT_FALSE(r.Stable(span, D("0.25")));
    EXPECT_TRUE(r.Stable(span, D("1")));
    r.Add(1270, 2, 12000); // other decimals: the old polls no longer count
    EXPECT_EQ(r.Count(), 1);
}

struct TUncertaintyCase {
    TSpan span;
    const char *applied;
    const char *milliAmps;
    const char *standardU; // Pa (the instrument's unit)
    const char *ammeterU;  // mA
    double spread;         // mA
    int polls;
    double expandedPercent; // worked by hand, in the comment of each
    const char *shown;
    const char *why;
};

// Each contribution in mA, squared and summed, U = 2 sqrt(sum) / 16 mA x 100.
TEST(CalibrationMath, UncertaintyOfAPointWorkedByHand)
{
    const TUncertaintyCase cases[] = {
        // 0.0 .. 250.0 Pa: 0.064 mA per Pa. Standard 0.25 Pa / 2 = 0.125 Pa = 0.008 mA;
        // ammeter 0.006 / 2 = 0.003 mA; applied digit 0.1 Pa / 2 sqrt 3 = 0.0288675 Pa
        // = 0.00184752 mA; ammeter digit 0.001 / 2 sqrt 3 = 0.000288675 mA;
        // repeatability 0.002 mA (one ammeter reading of the moving output). Squares:
        // 64e-6 + 9e-6 + 3.41333e-6 + 0.0833333e-6 + 4e-6 = 80.4967e-6; sqrt = 0.00897199 mA;
        // U = 0.0179440 mA = 0.112150 % of span, stated as 0.113.
        {{0, 2500, 1}, "125.0", "12.004", "0.25", "0.006", 0.002, 5, 0.1121499, "0.113", "every contribution"},
        // 0 .. 1000 Pa, perfect references, no spread: the digits alone. Applied
        // 1 Pa / 2 sqrt 3 x 0.016 = 0.00461880 mA; ammeter 0.0001 / 2 sqrt 3 =
        // 0.0000288675 mA; sqrt(21.33333e-6 + 0.000833e-6) = 0.00461889 mA;
        // U = 12.5 x 0.00461889 = 0.0577362 %, stated as 0.058.
        {{0, 1000, 0}, "100", "5.6000", "0", "0", 0, 5, 0.0577362, "0.058", "resolution only"},
        // -250.0 .. 250.0 Pa: 0.032 mA per Pa. Standard 0.5 Pa / 2 = 0.008 mA;
        // applied digit 0.01 Pa: 0.000092376 mA; ammeter digit 0.0001 mA: 0.0000288675;
        // ammeter U 0; spread 0.004 mA. Squares: 64e-6 + 0.00853333e-6 +
        // 0.000833333e-6 + 16e-6 = 80.0093667e-6; sqrt = 0.00894480 mA;
        // U = 0.111810 %, stated as 0.112 (rounded up).
        {{-2500, 2500, 1}, "-125.00", "8.0000", "0.5", "0", 0.004, 4, 0.1118099, "0.112", "a negative lower end"},
        // A coarse ammeter reading typed as "12": 1 mA / 2 sqrt 3 = 0.288675 mA
        // swamps the standard (0.008 mA) and the applied digit (0.00184752 mA):
        // sqrt(0.0833333 + 64e-6 + 3.41333e-6) = 0.288792 mA; U = 3.60990 %, stated as 3.610.
        {{0, 2500, 1}, "125.0", "12", "0.25", "0", 0, 5, 3.609898, "3.610", "the ammeter read to whole mA"},
    };
    for (const TUncertaintyCase &c : cases) {
        SCOPED_TRACE(c.why);
        const std::optional<TUncertainty> u =
            PointUncertainty(c.span, D(c.applied), D(c.milliAmps), {D(c.standardU), D(c.ammeterU), c.spread, c.polls});
        ASSERT_TRUE(u.has_value());
        EXPECT_NEAR(u->expandedPercent, c.expandedPercent, 2e-6);
        EXPECT_NEAR(u->combinedMilliAmps, u->expandedPercent * 16 / 200, 1e-12);
        EXPECT_EQ(FormatUncertainty(u->expandedPercent), c.shown);
    }
    const TUncertaintyInputs fine{D("0.25"), D("0.006"), 0.002, 5};
    EXPECT_FALSE(PointUncertainty({0, 0, 1}, D("0"), D("4"), fine)) << "a zero span";
    EXPECT_FALSE(PointUncertainty({0, 2500, 1}, D("0"), D("4"), {D("0.25"), D("0.006"), 0.002, 1})) << "one poll has no spread";
    EXPECT_FALSE(PointUncertainty({0, 2500, 1}, D("0"), D("4"), {D("0.25"), D("0.006"), -0.002, 5}));
    EXPECT_FALSE(PointUncertainty({0, 2500, 1}, D("0"), D("4"), {D("-0.25"), D("0.006"), 0.002, 5}));
    EXPECT_EQ(FormatUncertainty(0.25), "0.250") << "on a thousandth stays on it";
    EXPECT_EQ(FormatUncertainty(0.2500001), "0.251") << "never stated below the computed value";

    // A reference's U as typed in its certificate's way.
    EXPECT_EQ(ParseUncertainty("0.25", "Pa"), D("0.25"));
    EXPECT_EQ(ParseUncertainty(" \xc2\xb1 0,25 Pa ", "Pa"), D("0.25"));
    EXPECT_EQ(ParseUncertainty("+/-0.003mA", "mA"), D("0.003"));
    EXPECT_FALSE(ParseUncertainty("", "Pa"));
    EXPECT_FALSE(ParseUncertainty("-0.25", "Pa"));
    EXPECT_FALSE(ParseUncertainty("-0", "Pa"));
    EXPECT_FALSE(ParseUncertainty("0.25 kPa", "Pa")) << "another unit is not this one";
    EXPECT_FALSE(ParseUncertainty("0.1 %", "Pa"));

    // The spread of the polls: 4000, 4002, 4001, 3999, 4003 uA around 4001:
    // squares 1 + 1 + 0 + 4 + 4 = 10, / 4, sqrt = 1.58114 uA.
    TReadings r;
    r.Add(0, 1, 4000);
    EXPECT_FALSE(r.SpreadMilliAmps()) << "one poll has no spread";
    for (int uA : {4002, 4001, 3999, 4003})
        r.Add(0, 1, uA);
    EXPECT_NEAR(r.SpreadMilliAmps().value_or(-1), 0.00158114, 1e-8);
}

TEST(CalibrationMath, CertificateNumbersCountUpWithinTheYear)
{
    EXPECT_EQ(NextCertificateNumber("", 2026), "KV-2026-0001");
    EXPECT_EQ(NextCertificateNumber("KV-2026-0041", 2026), "KV-2026-0042");
    EXPECT_EQ(NextCertificateNumber("KV-2026-9999", 2026), "KV-2026-10000");
    EXPECT_EQ(NextCertificateNumber("KV-2025-0041", 2026), "KV-2026-0001");
    EXPECT_EQ(NextCertificateNumber("KV-2026-12a", 2026), "KV-2026-0001");
    // Typed with more digits: still the number it is, never 0001 again.
    EXPECT_EQ(NextCertificateNumber("KV-2026-0000003", 2026), "KV-2026-0004");
    EXPECT_EQ(NextCertificateNumber("KV-2026-1234567", 2026), "KV-2026-1234568");
    EXPECT_EQ(NextCertificateNumber("KV-2026-99999999999999999999", 2026), "KV-2026-100000000000000000000");
    EXPECT_EQ(CertificateSerial("KV-2026-000120", 2026), "120");
    EXPECT_EQ(CertificateSerial("KV-2026-0000", 2026), "0");
    EXPECT_EQ(CertificateSerial("KV-2026-", 2026), "");
    EXPECT_EQ(CertificateSerial("KV-2025-0001", 2026), "");
}

TEST(CalibrationRecord, VerdictsOfThePhasesAndTheWhole)
{
    TRecord r;
    r.span[0] = TSpan{0, 2500, 1};
    const auto point = [](TPhase phase, int index, const char *applied, const char *mA) {
        TPoint p;
        p.phase = phase;
        p.index = index;
        p.applied = D(applied);
        p.milliAmps = D(mA);
        return p;
    };
    EXPECT_EQ(r.Verdict(TPhase::AsFound), TVerdict::NotDone);
    r.Put(point(TPhase::AsFound, 0, "0", "4.001"));
    EXPECT_EQ(r.Verdict(TPhase::AsFound), TVerdict::Incomplete);
    r.Put(point(TPhase::AsFound, 2, "125", "12.2")); // 1.25 % out
    EXPECT_EQ(r.Verdict(TPhase::AsFound), TVerdict::Fail) << "one point out fails the phase at once";
    r.Put(point(TPhase::AsFound, 2, "125", "12.0")); // entered again: replaces
    EXPECT_EQ(r.entered.size(), 2u);
    const char *applied[] = {"0", "62.5", "125", "187.5", "250"};
    const char *mA[] = {"4", "8", "12", "16", "20"};
    for (int i : {1, 3, 4})
        r.Put(point(TPhase::AsFound, i, applied[i], mA[i]));
    EXPECT_EQ(r.Verdict(TPhase::AsFound), TVerdict::Pass);
    EXPECT_EQ(r.Overall(), TVerdict::Pass);

    // As-Left decides the whole once it has points; without its span no verdict passes.
    r.Put(point(TPhase::AsLeft, 0, "0", "4"));
    EXPECT_EQ(r.Verdict(TPhase::AsLeft), TVerdict::Fail);
    r.span[1] = TSpan{0, 2500, 1};
    EXPECT_EQ(r.Overall(), TVerdict::Incomplete);

    // With hysteresis the way down counts too.
    r.hysteresis = true;
    EXPECT_EQ(r.Verdict(TPhase::AsFound), TVerdict::Incomplete);
}

// A point's U from the references as typed in the header (the first worked
// case above): none while either reference's U is missing or no number, the
// thermohygrometer's has no part in it, and the phase's own span is used; the
// CSV carries the references' U and the approval.
TEST(CalibrationRecord, APointsUncertaintyComesFromTheReferencesAsTyped)
{
    TRecord r;
    r.references = DefaultReferences();
    r.span[0] = TSpan{0, 2500, 1};
    TPoint p;
    p.applied = D("125.0");
    p.milliAmps = D("12.004");
    p.instrumentSpreadMilliAmps = 0.002;
    EXPECT_FALSE(r.Uncertainty(p)) << "no U stated";
    r.references[0].uncertainty = QStringLiteral("0.25 Pa");
    r.references[1].uncertainty = QStringLiteral("0.006");
    r.references[2].uncertainty = QStringLiteral("0.3 °C / 2 % RH");
    ASSERT_TRUE(r.Uncertainty(p));
    EXPECT_NEAR(r.Uncertainty(p)->expandedPercent, 0.1121499, 2e-6);
    EXPECT_EQ(UncertaintyUnit(r.unit, r.references[0].role), QStringLiteral("Pa"));
    EXPECT_EQ(UncertaintyUnit(r.unit, r.references[1].role), QStringLiteral("mA"));
    EXPECT_EQ(UncertaintyUnit(r.unit, r.references[2].role), QString());

    // The CSV carries the references' U and the approval.
    r.approvedBy = QStringLiteral("Nagy Anna");
    r.approvedAt = QDateTime(QDate(2026, 12, 10), QTime(13, 5), Qt::UTC);
    const QString csv = ToCsv(r);
    EXPECT_TRUE(csv.contains(QStringLiteral("reference,Pressure standard,,,,,0.25 Pa\r\n"))) << csv.toStdString();
    EXPECT_TRUE(csv.contains(QStringLiteral("approved_by,Nagy Anna\r\napproved_utc,2026-12-10T13:05:00Z\r\n"))) << csv.toStdString();

    r.references[1].uncertainty = QStringLiteral("0.006 Pa");
    EXPECT_FALSE(r.Uncertainty(p)) << "the ammeter's U is in mA";
    r.references[1].uncertainty = QStringLiteral("0.006 mA");
    p.instrumentSpreadMilliAmps.reset();
    EXPECT_FALSE(r.Uncertainty(p)) << "no repeatability known (fewer polls, an older record)";
    p.instrumentSpreadMilliAmps = 0.002;
    p.phase = TPhase::AsLeft;
    EXPECT_FALSE(r.Uncertainty(p)) << "As-Left has no span of its own yet";
}

// After an adjustment As-Found says nothing about the instrument as left: the
// whole is pending until every As-Left point is in, even when one already fails.
TEST(CalibrationRecord, AnAdjustedRecordIsPendingUntilAsLeftIsComplete)
{
    TRecord r;
    r.span[0] = r.span[1] = TSpan{0, 2500, 1};
    const char *applied[] = {"0", "62.5", "125", "187.5", "250"};
    const char *mA[] = {"4", "8", "12", "16", "20"};
    const auto put = [&](TPhase phase, int i, const char *current) {
        TPoint p;
        p.phase = phase;
        p.index = i;
        p.applied = D(applied[i]);
        p.milliAmps = D(current);
        r.Put(p);
    };
    for (int i = 0; i < 5; ++i)
        put(TPhase::AsFound, i, mA[i]);
    EXPECT_EQ(r.Overall(), TVerdict::Pass);
    r.calibrated = true;
    EXPECT_EQ(r.Overall(), TVerdict::Pending);
    EXPECT_STREQ(VerdictText(r.Overall()), "pending");
    put(TPhase::AsLeft, 0, "4.2"); // out, but it can be adjusted and entered again
    EXPECT_EQ(r.Verdict(TPhase::AsLeft), TVerdict::Fail);
    EXPECT_EQ(r.Overall(), TVerdict::Pending);
    for (int i = 0; i < 5; ++i)
        put(TPhase::AsLeft, i, mA[i]);
    EXPECT_EQ(r.Overall(), TVerdict::Pass);
    put(TPhase::AsLeft, 4, "20.2");
    EXPECT_EQ(r.Overall(), TVerdict::Fail);
    EXPECT_TRUE(ToCsv(r).contains(QStringLiteral("verdict_overall,FAIL\r\n")));
    r.Remove(TPhase::AsLeft, 4);
    EXPECT_TRUE(ToCsv(r).contains(QStringLiteral("verdict_overall,pending\r\n")));

    // Not adjusted: As-Left, when checked anyway, decides as before.
    r.calibrated = false;
    EXPECT_EQ(r.Overall(), TVerdict::Incomplete);
}

} // namespace
