// kv508ctl's values without an instrument: the entry rules of settings set,
// the choice between commands 7 and 10, the span, backups, the live formats,
// the forced output's words, the settling of a reading and names in messages.
#include "Checks.h"
#include "Values.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

using namespace ctl;
using kv508::TSettings;

namespace {

TSettings Factory()
{
    TSettings s;
    s.iFizFor4mA = 0;
    s.iFizFor20mA = 2491;
    s.SensorCode = 5;
    s.Averaging = 80;
    s.InputCode = 0;
    return s;
}

TSettings Erased()
{
    TSettings s;
    s.iFizFor4mA = -1;
    s.iFizFor20mA = -1;
    s.bErrorCurrentValue = true;
    s.bErrorCurrentMode = true;
    s.SensorCode = 255;
    s.Averaging = 65535;
    s.InputCode = 255;
    return s;
}

TEST(CtlEdits, NumbersFollowTheWindowsRangesAndSayWhenClamped)
{
    struct Row {
        const char *text;
        int32_t value;
        bool noted;
    };
    for (const Row &r : {Row{"4ma=-9999", -9999, false}, Row{"4ma=-10000", -9999, true}, Row{"20ma=99999", 9999, true},
                         Row{"20ma=$10", 16, false}, Row{"averaging=0", 1, true}, Row{"averaging=1600", 1600, false},
                         Row{"averaging=1601", 1600, true}, Row{"AVERAGING=7", 7, false}}) {
        const TEdit e = ParseEdit(r.text);
        EXPECT_EQ(e.value, r.value) << r.text;
        EXPECT_EQ(!e.note.empty(), r.noted) << r.text << ": " << e.note;
    }
    // Text that is no number is refused, not turned into the window's fallback.
    for (const char *bad : {"4ma=", "4ma=12a", "averaging= 5", "averaging=abc", "4ma=99999999999"})
        EXPECT_THROW(ParseEdit(bad), std::invalid_argument) << bad;
}

TEST(CtlEdits, WordsMapToTheStoredCodes)
{
    // The stored flag means "error current disabled"; true of the level means 22 mA.
    EXPECT_EQ(ParseEdit("error-current=on").value, 0);
    EXPECT_EQ(ParseEdit("error-current=off").value, 1);
    EXPECT_EQ(ParseEdit("error-level=3,2").value, 0);
    EXPECT_EQ(ParseEdit("error-level=22mA").value, 1);
    EXPECT_EQ(ParseEdit("input=temperature").value, 1);
    EXPECT_EQ(ParseEdit("input=0").value, 0);
    EXPECT_EQ(ParseEdit("sensor=12").value, 12);
    for (const char *bad : {"sensor=0", "sensor=13", "error-level=20", "error-current=maybe", "input=2", "colour=red",
                            "=5", "sensor"})
        EXPECT_THROW(ParseEdit(bad), std::invalid_argument) << bad;
}

TEST(CtlWritePlan, OnlyTheFirstFourChangedIsCommandTenElseSeven)
{
    const TSettings stored = Factory();
    TWritePlan p = PlanWrite(stored, {ParseEdit("4ma=100"), ParseEdit("error-level=22")});
    EXPECT_EQ(p.command, kv508::Cmd_WriteSettings2);
    EXPECT_TRUE(p.changes);
    EXPECT_EQ(p.settings.iFizFor4mA, 100);
    EXPECT_TRUE(p.settings.bErrorCurrentValue);
    EXPECT_EQ(p.settings.SensorCode, 5);

    p = PlanWrite(stored, {ParseEdit("4ma=100"), ParseEdit("sensor=5")}); // sensor named, even unchanged
    EXPECT_EQ(p.command, kv508::Cmd_WriteSettings);

    p = PlanWrite(stored, {ParseEdit("averaging=80")});
    EXPECT_FALSE(p.changes);
}

TEST(CtlWritePlan, StoredValuesTheWindowCannotShowGetItsDefaultsWithCommandSeven)
{
    TWritePlan p = PlanWrite(Erased(), {ParseEdit("4ma=0"), ParseEdit("20ma=2491")});
    EXPECT_EQ(p.command, kv508::Cmd_WriteSettings);
    EXPECT_EQ(p.settings.SensorCode, kv508::SensorDefault);
    EXPECT_EQ(p.settings.Averaging, kv508::AveragingDefault); // not the clamp of 65535: 16 s to settle
    EXPECT_EQ(p.settings.InputCode, 0);
    EXPECT_EQ(p.notes.size(), 3u);
    // What the edits name wins over a default.
    p = PlanWrite(Erased(), {ParseEdit("sensor=2"), ParseEdit("input=temperature")});
    EXPECT_EQ(p.settings.SensorCode, 2);
    EXPECT_EQ(p.settings.InputCode, 1);
    EXPECT_EQ(p.notes.size(), 1u); // averaging only
}

TEST(CtlBackup, RoundTripsEveryFieldAndRejectsWhatIsNoBackup)
{
    for (const TSettings &s : {Factory(), Erased()}) {
        TIdentity who;
        who.firmware = 20170105;
        who.calibrationDate = 20240501;
        who.decimals = 1;
        who.scaleEnd = 2491;
        const TBackup b = ParseBackup(BackupJson(who, s, "2024-05-01T12:00:00.000+02:00", "1.0"));
        EXPECT_EQ(b.settings, s);
        EXPECT_EQ(b.who.firmware, 20170105u);
        EXPECT_EQ(b.who.calibrationDate, 20240501u);
        EXPECT_EQ(b.time, "2024-05-01T12:00:00.000+02:00");
    }
    const std::string good = BackupJson({}, Factory(), "t", "1.0");
    for (const std::string &bad :
         {std::string("[]"), std::string("{\"format\":\"kv508ctl backup 2\",\"settings\":{}}"), std::string("{"),
          good.substr(0, good.find("\"settings\"")) + "\"x\": 1}",
          std::string(R"({"format":"kv508ctl backup 1","settings":{"4ma":40000,"20ma":0,"error-current":true,)"
                      R"("error-level":3.2,"sensor":5,"averaging":80,"input":"pressure"}})"),
          std::string(R"({"format":"kv508ctl backup 1","settings":{"4ma":0,"20ma":0,"error-current":1,)"
                      R"("error-level":3.2,"sensor":5,"averaging":80,"input":"pressure"}})"),
          std::string(R"({"format":"kv508ctl backup 1","settings":{"4ma":0,"20ma":0,"error-current":true,)"
                      R"("error-level":5,"sensor":5,"averaging":80,"input":"pressure"}})"),
          // 2^64 - 1 read as a signed number is -1, which would pass the range check
          std::string(R"({"format":"kv508ctl backup 1","settings":{"4ma":18446744073709551615,"20ma":0,"error-current":true,)"
                      R"("error-level":3.2,"sensor":5,"averaging":80,"input":"pressure"}})")})
        EXPECT_THROW(ParseBackup(bad), std::invalid_argument) << bad;
}

TEST(CtlSpan, ZeroAndInvertedSpansAreTold)
{
    TSettings s = Factory();
    EXPECT_EQ(SpanFault(s), TSpanFault::None);
    EXPECT_EQ(SpanFaultText(s), "");
    s.iFizFor4mA = 2491;
    s.iFizFor20mA = 0;
    EXPECT_EQ(SpanFault(s), TSpanFault::Inverted);
    EXPECT_NE(SpanFaultText(s).find("4ma 2491 and 20ma 0: the span is inverted"), std::string::npos) << SpanFaultText(s);
    s.iFizFor20mA = 2491;
    EXPECT_EQ(SpanFault(s), TSpanFault::Zero);
    EXPECT_EQ(SpanFault(Erased()), TSpanFault::Zero); // -1 and -1
}

TEST(CtlBackup, AKeyGivenTwiceIsRefused)
{
    const std::string good = BackupJson({}, Factory(), "t", "1.0");
    ASSERT_NO_THROW(ParseBackup(good)); // "decimals"-like keys in two objects are no repetition
    const std::string twiceInSettings = std::string(R"({"format":"kv508ctl backup 1","settings":{"4ma":0,"20ma":2491,)") +
                                        R"("error-current":true,"error-level":3.2,"sensor":9,"sensor":5,"averaging":80,)" +
                                        R"("input":"pressure"}})";
    const std::string twiceAtTop = R"({"format":"kv508ctl backup 1","settings":{"4ma":0,"20ma":2491,"error-current":true,)"
                                   R"("error-level":3.2,"sensor":5,"averaging":80,"input":"pressure"},"settings":{}})";
    for (const std::string &bad : {twiceInSettings, twiceAtTop}) {
        try {
            ParseBackup(bad);
            ADD_FAILURE() << "taken: " << bad;
        } catch (const std::invalid_argument &e) {
            EXPECT_NE(std::string(e.what()).find("appears twice"), std::string::npos) << e.what();
        }
    }
    const std::string sameKeyElsewhere = R"({"format":"kv508ctl backup 1","instrument":{"id":39},"settings":{"4ma":0,)"
                                         R"("20ma":2491,"error-current":true,"error-level":3.2,"sensor":5,"averaging":80,)"
                                         R"("input":"pressure","id":1}})";
    EXPECT_NO_THROW(ParseBackup(sameKeyElsewhere));
}

TEST(CtlSettle, AReadingSettlesWhenItStaysPutForTheAveragingTime)
{
    EXPECT_EQ(SettleWindowMs(80, 100), 800);
    EXPECT_EQ(SettleWindowMs(1600, 100), 16000);
    EXPECT_EQ(SettleWindowMs(1600, 250), 6400);
    EXPECT_EQ(SettleWindowMs(1, 0), 1000); // no SPS reported: one a second

    kv508::TLiveData d;
    d.Decimals = 1;
    d.ScaleEnd = 2491; // tolerance 0.2 %: 4 digits
    EXPECT_EQ(TSettle::Tolerance(d), 4);
    TSettle steady(1000);
    for (int64_t t = 0; t <= 1000; t += 100) {
        EXPECT_FALSE(steady.Settled()) << t; // not yet as long as the averaging
        d.MeasuredValue = static_cast<int16_t>(1000 + (t / 100 % 3) - 1); // noise within the tolerance
        steady.Add(t, d);
    }
    EXPECT_TRUE(steady.Settled());

    // A moving mean after a step: rising for the averaging time, then flat.
    TSettle step(1000);
    for (int64_t t = 0; t < 1000; t += 100) {
        d.MeasuredValue = static_cast<int16_t>(t * 2);
        step.Add(t, d);
        EXPECT_FALSE(step.Settled()) << t;
    }
    int64_t settledAt = -1;
    for (int64_t t = 1000; t < 5000 && settledAt < 0; t += 100) {
        d.MeasuredValue = 2000;
        step.Add(t, d);
        if (step.Settled())
            settledAt = t;
    }
    EXPECT_EQ(settledAt, 2000); // flat for as long as the averaging, and no sooner
    EXPECT_NE(TSettle(1000).MovementText(), "");
}

TEST(CtlNames, ControlCharactersAreShownEscapedAndLongNamesCut)
{
    EXPECT_EQ(ShownName("ttyUSB0"), "ttyUSB0");
    EXPECT_EQ(ShownName("\\\\.\\COM12"), "\\\\.\\COM12"); // Windows' names stay as typed
    EXPECT_EQ(ShownName("Műszer kft."), "Műszer kft.");
    EXPECT_EQ(ShownName("tty\x1b[2Jevil"), "tty\\x1b[2Jevil");
    EXPECT_EQ(ShownName("a\nb\rc"), "a\\x0ab\\x0dc");
    EXPECT_EQ(ShownName(std::string("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(ShownName("\xc2\x9b" "2J"), "\\xc2\\x9b2J");        // C1 CSI
    EXPECT_EQ(ShownName("abc\xe2\x80\xae" "def"), "abc\\xe2\\x80\\xae" "def"); // right-to-left override
    EXPECT_EQ(ShownName("\xff\xfe"), "\\xff\\xfe");                  // no UTF-8
    const std::string cut = ShownName(std::string(500, 'x'));
    EXPECT_LE(cut.size(), 80u + 3u);
    EXPECT_EQ(cut.substr(cut.size() - 3), "…");
    EXPECT_EQ(ShownName(std::string(500, 'x'), std::string::npos), std::string(500, 'x'));
}

TEST(CtlLive, ValuesShowWithTheInstrumentsDecimals)
{
    EXPECT_EQ(FormatScaled(2491, 1), "249.1");
    EXPECT_EQ(FormatScaled(-5, 1), "-0.5");
    EXPECT_EQ(FormatScaled(-1234, 2), "-12.34");
    EXPECT_EQ(FormatScaled(7, 3), "0.007");
    EXPECT_EQ(FormatScaled(-32768, 0), "-32768");
    EXPECT_EQ(FormatMilliAmps(4000), "4.000");
    EXPECT_EQ(FormatMilliAmps(21999), "21.999");

    kv508::TLiveData d;
    d.Decimals = 2;
    d.MeasuredValue = -123;
    d.ErrorBits = 1 | 16;
    d.FirmwareDateCode = 20170105;
    const std::string header = CsvHeader(), row = CsvRow(d, "2024-05-01T12:00:00.000+02:00");
    EXPECT_EQ(std::count(header.begin(), header.end(), ','), std::count(row.begin(), row.end(), ','));
    EXPECT_EQ(row.substr(0, row.find(",0,0,0,1,") + 9), "2024-05-01T12:00:00.000+02:00,-1.23,0.000,1,0,0,0,1,");
    const auto j = LiveJson(d, "t");
    EXPECT_DOUBLE_EQ(j["pressure"].get<double>(), -1.23);
    EXPECT_TRUE(j["errors"]["output-out-of-range"].get<bool>());
    EXPECT_EQ(j["error-labels"].size(), 2u);
    EXPECT_NE(LiveText(d).find("errors: Nincs kalibrálva (not-calibrated), Kimenet tartományon kívül"), std::string::npos);
}

TEST(CtlForce, TheWindowsButtonsAsWords)
{
    EXPECT_EQ(ParseForce("off", 9).on, false);
    EXPECT_EQ(ParseForce("on", 1234).pwm, 1234);
    EXPECT_EQ(ParseForce("F", 0).pwm, 8191);
    EXPECT_EQ(ParseForce("50%", 0).pwm, 4095);
    EXPECT_EQ(ParseForce("0", 0).pwm, 0);
    EXPECT_TRUE(ParseForce("0", 0).on);
    EXPECT_EQ(ParseForce("8191", 0).pwm, 8191);
    for (const char *bad : {"8192", "-1", "49%", "", "full"})
        EXPECT_THROW(ParseForce(bad, 0), std::invalid_argument) << bad;
}

} // namespace
