// The line monitor: verdicts over split and interleaved input, the decoded
// texts, time-outs, bounded memory, the two formats and the spy link.
#include "FrameMonitor.h"

#include "EngineTestPeer.h"
#include "PlainFakeLink.h"
#include "PlainFrames.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <random>
#include <string>
#include <vector>

using namespace kv508;
using frames::AsciiLine;

namespace {

std::string LE(uint32_t v, int bytes)
{
    std::string s;
    for (int k = 0; k < bytes; ++k)
        s += static_cast<char>((v >> (8 * k)) & 0xFF);
    return s;
}

std::string Frame(char start, uint8_t command, const std::string &payload = {}, uint8_t status = 0,
                  uint8_t address = 1, uint8_t id = Id)
{
    return AsciiLine(start, std::string{char(address), char(id), char(command), char(status)} + payload);
}
std::string Q(uint8_t command, const std::string &payload = {}, uint8_t address = 1)
{
    return Frame('M', command, payload, 0, address);
}
std::string A(uint8_t command, const std::string &payload = {}, uint8_t status = 0, uint8_t address = 1)
{
    return Frame('S', command, payload, status, address);
}

std::string Live(uint8_t decimals, int16_t value, int16_t out, uint8_t bits, int16_t end = 1000)
{
    return LE(20170105, 4) + LE(20170112, 4) + LE(decimals, 1) + LE(uint16_t(value), 2) + LE(uint16_t(out), 2) +
           LE(bits, 1) + LE(uint16_t(end), 2) + LE(1234, 2) + LE(15, 2);
}
const std::string Poll = Q(Cmd_Poll, LE(0, 3));
const std::string PollAnswer = A(Cmd_Poll, Live(1, 345, 6216, 1));

struct Recorder {
    explicit Recorder(int timeoutMs = 1000) : mon(Address, timeoutMs)
    {
        mon.OnFrame = [this](const TFrameRecord &r) { got.push_back(r); };
    }
    std::vector<std::string> Summary() const
    {
        std::vector<std::string> s;
        for (const TFrameRecord &r : got)
            s.push_back(std::string(VerdictText(r.verdict)) + ' ' + r.raw);
        return s;
    }
    TFrameMonitor mon;
    std::vector<TFrameRecord> got;
};

// ---- verdicts ----

struct Step {
    TDirection dir;
    std::string chars; // empty: a Tick
    int64_t t;
};
constexpr TDirection Tx = TDirection::Tx, Rx = TDirection::Rx;

struct VerdictCase {
    const char *name;
    std::vector<Step> steps;
    std::vector<std::string> expected; // verdict and raw
};

std::string S(const char *verdict, const std::string &raw)
{
    return std::string(verdict) + ' ' + raw;
}

const std::string BadCrc = Poll.substr(0, Poll.size() - 2) + (Poll[Poll.size() - 2] == '0' ? "1;" : "0;");

const std::vector<VerdictCase> VerdictCases = {
    {"poll and its answer", {{Tx, Poll, 0}, {Rx, PollAnswer, 120}}, {S("query", Poll), S("answer", PollAnswer)}},
    {"a slave error answers too", {{Tx, Poll, 0}, {Rx, A(1, "", 255), 50}}, {S("query", Poll), S("answer", A(1, "", 255))}},
    {"crc error waits for nothing",
     {{Tx, BadCrc, 0}, {Rx, PollAnswer, 100}},
     {S("crc-error", BadCrc), S("unexpected-answer", PollAnswer)}},
    {"another address", {{Tx, Q(1, LE(0, 3), 2), 0}, {Rx, A(1, "", 0, 2), 50}},
     {S("foreign-address", Q(1, LE(0, 3), 2)), S("foreign-address", A(1, "", 0, 2))}},
    {"answer of another command leaves the query waiting",
     {{Tx, Poll, 0}, {Rx, A(2), 50}, {Rx, PollAnswer, 100}},
     {S("query", Poll), S("unexpected-answer", A(2)), S("answer", PollAnswer)}},
    {"one query, one answer", {{Tx, Poll, 0}, {Rx, PollAnswer, 100}, {Rx, PollAnswer, 200}},
     {S("query", Poll), S("answer", PollAnswer), S("unexpected-answer", PollAnswer)}},
    {"the next query gives up the last", {{Tx, Poll, 0}, {Tx, Q(2), 300}, {Rx, A(2), 350}},
     {S("query", Poll), S("time-out", Poll), S("query", Q(2)), S("answer", A(2))}},
    {"a late answer, without a Tick between", {{Tx, Poll, 0}, {Rx, PollAnswer, 1500}},
     {S("query", Poll), S("time-out", Poll), S("unexpected-answer", PollAnswer)}},
    {"a bad frame after the deadline comes after the time-out", {{Tx, Poll, 0}, {Tx, BadCrc, 1200}},
     {S("query", Poll), S("time-out", Poll), S("crc-error", BadCrc)}},
    {"Tick reports a time-out once", {{Tx, Poll, 0}, {Tx, "", 1000}, {Tx, "", 1001}, {Tx, "", 9000}},
     {S("query", Poll), S("time-out", Poll)}},
    {"lower-case digits", {{Tx, "M0127010000000030d7;", 0}}, {S("malformed", "M0127010000000030d7;")}},
    {"a lone digit before ';' is dropped, as the engine's receiver drops it",
     {{Tx, Poll, 0}, {Rx, PollAnswer.substr(0, PollAnswer.size() - 1) + "7;", 100}},
     {S("query", Poll), S("answer", PollAnswer.substr(0, PollAnswer.size() - 1) + "7;")}},
    {"odd digit count", {{Tx, "M0127010000000030D;", 0}}, {S("crc-error", "M0127010000000030D;")}},
    {"our query heard back leaves it waiting", {{Tx, Poll, 0}, {Rx, Poll, 5}, {Rx, PollAnswer, 100}},
     {S("query", Poll), S("query", Poll), S("answer", PollAnswer)}},
    {"five bytes", {{Rx, "S01270800B6;", 0}}, {S("malformed", "S01270800B6;")}},
    {"cut by a new start", {{Tx, "M012701" + Poll, 0}}, {S("malformed", "M012701"), S("query", Poll)}},
    {"noise before a frame", {{Tx, "\r\n;x" + Poll, 0}}, {S("malformed", "\r\n;x"), S("query", Poll)}},
    {"noise at the end waits for a quiet gap",
     {{Tx, Poll, 0}, {Rx, "zz", 10}, {Rx, "", 500}, {Rx, "", 1010}},
     {S("query", Poll), S("malformed", "zz"), S("time-out", Poll)}},
    {"directions do not mix",
     {{Tx, Poll.substr(0, 7), 0}, {Rx, "##", 1}, {Tx, Poll.substr(7), 2}, {Rx, PollAnswer, 90}},
     {S("query", Poll), S("malformed", "##"), S("answer", PollAnswer)}},
    {"an answer that goes out (slave side)", {{Rx, Poll, 0}, {Tx, PollAnswer, 90}},
     {S("query", Poll), S("answer", PollAnswer)}},
};

void PrintTo(const VerdictCase &c, std::ostream *os)
{
    *os << c.name;
}

class Verdicts : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(Verdicts, WholeAndOneCharacterAtATime)
{
    const VerdictCase &c = GetParam();
    for (bool split : {false, true}) {
        Recorder rec;
        for (const Step &s : c.steps) {
            if (s.chars.empty())
                rec.mon.Tick(s.t);
            else if (!split)
                rec.mon.Feed(s.dir, s.chars, s.t);
            else
                for (char ch : s.chars)
                    rec.mon.Feed(s.dir, std::string_view(&ch, 1), s.t);
        }
        EXPECT_EQ(rec.Summary(), c.expected) << c.name << (split ? " (split)" : "");
    }
}

INSTANTIATE_TEST_SUITE_P(Line, Verdicts, ::testing::ValuesIn(VerdictCases), [](const auto &info) {
    std::string n;
    for (char ch : std::string(info.param.name))
        n += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return n;
});

TEST(FrameMonitor, FlushReportsWhatWaits)
{
    Recorder rec;
    rec.mon.Feed(Tx, Poll, 0);
    rec.mon.Feed(Rx, "S0127", 40);
    rec.mon.Flush(50);
    EXPECT_EQ(rec.Summary(), (std::vector<std::string>{S("query", Poll), S("malformed", "S0127"), S("time-out", Poll)}));
    EXPECT_EQ(rec.got[1].decoded, "cut frame");
    EXPECT_EQ(rec.got[2].timeMs, 50);
}

// ---- decoded texts ----

struct DecodeCase {
    std::string line;
    const char *decoded;
};

std::string Settings(int16_t at4, int16_t at20, bool level22, bool off, uint8_t sensor, uint16_t avg, uint8_t input)
{
    return LE(uint16_t(at4), 2) + LE(uint16_t(at20), 2) + LE(level22, 1) + LE(off, 1) + LE(sensor, 1) + LE(avg, 2) +
           LE(input, 1);
}

const std::vector<DecodeCase> DecodeCases = {
    {Poll, "poll force=0 pwm=0"},
    {Q(1, LE(1, 1) + LE(4000, 2)), "poll force=1 pwm=4000"},
    {PollAnswer, "poll p=34.5 out=6.216mA flags=Nincs kalibrálva firmware=2017.01.05. calibrated=2017.01.12. "
                 "end=100.0 adc=1234 sps=15"},
    {A(1, Live(2, -5, 22000, 0x23, -7)), "poll p=-0.05 out=22.000mA flags=Nincs kalibrálva,Hibás szenzor,0x20 "
                                         "firmware=2017.01.05. calibrated=2017.01.12. end=-0.07 adc=1234 sps=15"},
    {A(1, Live(0, 7, -40, 0)), "poll p=7 out=-0.040mA flags=- firmware=2017.01.05. calibrated=2017.01.12. end=1000 "
                               "adc=1234 sps=15"},
    {A(1, "", 254), "poll slave-error=254"},
    {A(1, LE(0, 3)), "poll (3 bytes), expected 20"},
    {Q(2), "zero"},
    {A(2), "zero ok"},
    {Q(3, LE(20170112, 4)), "set-as-0 date=2017.01.12."},
    {Q(4, LE(20161011, 4)), "set-as-4mA date=2016.10.11."},
    {Q(5, LE(20170112, 4)), "set-as-20mA date=2017.01.12."},
    {Q(9, LE(20170112, 4)), "set-as-scale-end date=2017.01.12."},
    {Q(6), "erase-eeprom"},
    {Q(7, Settings(0, 2491, false, false, 5, 80, 0)),
     "write-settings 4mA=0 20mA=2491 error-current=on level=3.2mA sensor=5 averaging=80 input=pressure"},
    {A(7), "write-settings ok"},
    {Q(10, Settings(-100, 9999, true, true, 0, 0, 0).substr(0, 6)),
     "write-settings-2 4mA=-100 20mA=9999 error-current=off level=22mA"},
    {Q(8), "read-settings"},
    {A(8, Settings(-9999, 120, false, true, 12, 1600, 1)),
     "read-settings 4mA=-9999 20mA=120 error-current=off level=3.2mA sensor=12 averaging=1600 input=temperature"},
    {A(8, Settings(0, 0, false, false, 1, 1, 7)),
     "read-settings 4mA=0 20mA=0 error-current=on level=3.2mA sensor=1 averaging=1 input=7"},
    {Q(251), "reset"},
    {A(251), "reset ok"},
    {Q(77, "abc"), "command 77 (3 bytes)"},
    {Frame('M', 1, LE(0, 3), 0, 1, 40), "id 40 command 1 (3 bytes)"},
};

TEST(FrameMonitor, DecodesEveryCommand)
{
    EXPECT_EQ(Poll, "M0127010000000030D7;"); // the team's worked line
    for (const DecodeCase &c : DecodeCases) {
        Recorder rec;
        rec.mon.Feed(c.line[0] == 'M' ? Tx : Rx, c.line, 0);
        ASSERT_EQ(rec.got.size(), 1u) << c.line;
        EXPECT_EQ(rec.got[0].decoded, c.decoded) << c.line;
        EXPECT_TRUE(rec.got[0].hasHeader);
        EXPECT_EQ(rec.got[0].payloadHex, c.line.substr(9, c.line.size() - 14)) << c.line;
        // a record kept without its text gets the same one back
        EXPECT_EQ(TFrameMonitor::DecodeRaw(c.line), c.decoded) << c.line;
    }
    EXPECT_EQ(TFrameMonitor::DecodeRaw(BadCrc), "");
    EXPECT_EQ(TFrameMonitor::DecodeRaw("S0127;"), "");
}

// What a master in the same program knows: the ID it expects, the moment it
// gave up, the port closing.
TEST(FrameMonitor, IdGiveUpAndClose)
{
    TFrameMonitor mon(Address, 5000, Id);
    std::vector<std::string> got;
    mon.OnFrame = [&got](const TFrameRecord &r) { got.push_back(std::string(VerdictText(r.verdict)) + ' ' + r.raw); };
    const std::string otherId = Frame('S', 1, Live(1, 345, 6216, 1), 0, 1, 40);
    // Another ID answers the waiting query (the master takes it as a slave
    // error), so the right answer after it waits for nothing.
    mon.Feed(Tx, Poll, 0);
    mon.Feed(Rx, otherId, 100);
    mon.Feed(Rx, PollAnswer, 150);
    // Given up long before the monitor's own deadline: the answer after is late.
    mon.Feed(Tx, Poll, 200);
    mon.GiveUp(400);
    mon.Feed(Rx, PollAnswer, 450);
    // Closing reports a cut frame, and forgets the query it ended.
    mon.Feed(Tx, Poll, 500);
    mon.Feed(Rx, "S0127", 520);
    mon.Closed(530);
    mon.Flush(9000);
    EXPECT_EQ(got, (std::vector<std::string>{S("query", Poll), S("foreign-id", otherId), S("unexpected-answer", PollAnswer),
                                             S("query", Poll), S("time-out", Poll), S("unexpected-answer", PollAnswer),
                                             S("query", Poll), S("malformed", "S0127")}));
}


// Joined on a busy line: the rest of a frame already under way is no noise,
// and the answer to a query sent before is no late answer.
TEST(FrameMonitor, JoinedMidLine)
{
    const std::string head = PollAnswer.substr(0, 20), tail = PollAnswer.substr(20);
    const auto feed = [](Recorder &rec, TDirection d, const std::string &chars, int64_t t, bool split) {
        if (!split)
            return rec.mon.Feed(d, chars, t);
        for (char ch : chars)
            rec.mon.Feed(d, std::string_view(&ch, 1), t);
    };
    for (bool split : {false, true}) {
        // Mid-answer: its tail is skipped, the first row is the next query.
        Recorder mid;
        mid.mon.JoinMidLine(0, Cmd_Poll);
        feed(mid, Rx, tail, 10, split);
        mid.mon.Tick(300);
        feed(mid, Tx, Poll, 400, split);
        feed(mid, Rx, PollAnswer, 500, split);
        mid.mon.Tick(5000);
        EXPECT_EQ(mid.Summary(), (std::vector<std::string>{S("query", Poll), S("answer", PollAnswer)})) << split;
        ASSERT_FALSE(mid.got.empty());
        EXPECT_EQ(mid.got[0].timeMs, 400);

        // Between the query and its answer: an answer, its query not seen.
        Recorder waiting;
        waiting.mon.JoinMidLine(0, Cmd_Poll);
        feed(waiting, Rx, PollAnswer, 80, split);
        feed(waiting, Tx, Poll, 300, split);
        EXPECT_EQ(waiting.Summary(), (std::vector<std::string>{S("answer", PollAnswer), S("query", Poll)})) << split;
        ASSERT_EQ(waiting.got.size(), 2u);
        EXPECT_FALSE(waiting.got[0].querySeen);
        EXPECT_NE(TFrameMonitor::FormatText(waiting.got[0]).find(" answer (query not seen) poll "), std::string::npos)
            << TFrameMonitor::FormatText(waiting.got[0]);
        EXPECT_TRUE(waiting.got[1].querySeen);

        // Junk that ends in no frame before the first start is skipped too.
        Recorder junk;
        junk.mon.JoinMidLine(0);
        feed(junk, Rx, head.substr(5), 0, split);
        feed(junk, Tx, Poll, 100, split);
        feed(junk, Rx, PollAnswer, 200, split);
        EXPECT_EQ(junk.Summary(), (std::vector<std::string>{S("query", Poll), S("answer", PollAnswer)})) << split;
    }

    // The query not seen, given up: a time-out row that says so; and after a
    // close, the next opening is read from its first character again.
    Recorder rec;
    rec.mon.JoinMidLine(0, Cmd_ReadSettings);
    rec.mon.GiveUp(700);
    rec.mon.Closed(800);
    rec.mon.Feed(Rx, "zz;", 900);
    rec.mon.Flush(2000);
    ASSERT_EQ(rec.Summary(), (std::vector<std::string>{S("time-out", ""), S("malformed", "zz;")}));
    EXPECT_FALSE(rec.got[0].querySeen);
    EXPECT_EQ(rec.got[0].command, Cmd_ReadSettings);
    EXPECT_EQ(rec.got[0].decoded, "query sent before the monitor started");
    EXPECT_EQ(rec.got[0].timeMs, 700);
}
// ---- bounded memory, nothing lost ----

TEST(FrameMonitor, EndlessInputStaysBounded)
{
    for (bool split : {false, true}) {
        Recorder rec;
        const std::string junk(3 * MaxFrameChars + 17, 'x');
        const std::string overlong = "M" + std::string(MaxFrameChars + 100, '0');
        for (const std::string &s : {junk, overlong, Poll}) {
            if (split)
                for (char ch : s)
                    rec.mon.Feed(Tx, std::string_view(&ch, 1), 0);
            else
                rec.mon.Feed(Tx, s, 0);
        }
        std::size_t total = 0;
        for (const TFrameRecord &r : rec.got) {
            EXPECT_LE(r.raw.size(), MaxFrameChars);
            total += r.raw.size();
        }
        EXPECT_EQ(total, junk.size() + overlong.size() + Poll.size());
        ASSERT_FALSE(rec.got.empty());
        EXPECT_EQ(rec.got.back().verdict, TVerdict::Query);
        EXPECT_EQ(rec.got.back().raw, Poll);
        EXPECT_EQ(rec.got[4].decoded, "too long");
    }
}

TEST(FrameMonitor, RandomNoiseBetweenFramesLosesNoFrame)
{
    std::mt19937 rng(20170112);
    const std::vector<std::string> lines = {Poll, PollAnswer, A(2), Q(8), A(1, "", 255), BadCrc, Q(1, LE(0, 3), 9)};
    for (int round = 0; round < 40; ++round) {
        std::string stream[2], framesOf[2];
        std::vector<std::string> expected[2];
        for (int d = 0; d < 2; ++d)
            for (int k = 0; k < 30; ++k) {
                const std::size_t noise = rng() % 6;
                for (std::size_t i = 0; i < noise; ++i)
                    stream[d] += static_cast<char>(rng() % 256);
                const std::string &line = lines[rng() % lines.size()];
                stream[d] += line;
                expected[d].push_back(line);
            }
        Recorder rec;
        std::size_t at[2] = {0, 0};
        while (at[0] < stream[0].size() || at[1] < stream[1].size()) {
            const int d = at[0] == stream[0].size() ? 1 : at[1] == stream[1].size() ? 0 : int(rng() % 2);
            const std::size_t n = std::min<std::size_t>(1 + rng() % 9, stream[d].size() - at[d]);
            rec.mon.Feed(TDirection(d), std::string_view(stream[d]).substr(at[d], n), 0);
            at[d] += n;
        }
        rec.mon.Flush(0);
        std::vector<std::string> seen[2];
        std::size_t chars = 0;
        for (const TFrameRecord &r : rec.got) {
            if (r.verdict == TVerdict::TimeOut)
                continue;
            chars += r.raw.size();
            if (r.verdict != TVerdict::Malformed)
                seen[int(r.direction)].push_back(r.raw);
        }
        EXPECT_EQ(seen[0], expected[0]) << "round " << round;
        EXPECT_EQ(seen[1], expected[1]) << "round " << round;
        EXPECT_EQ(chars, stream[0].size() + stream[1].size()) << "round " << round;
    }
}

// ---- formats ----

TEST(FrameMonitor, TextAndJsonLines)
{
    Recorder rec;
    rec.mon.Feed(Tx, Poll, 10000);
    rec.mon.Feed(Rx, A(2), 10120);
    rec.mon.Feed(Tx, "\"\\\x01\xE9 " + BadCrc, 10200);
    rec.mon.Tick(11200);
    ASSERT_EQ(rec.got.size(), 5u);
    const std::vector<std::string> text = {
        "0.000 > M0127010000000030D7; query poll force=0 pwm=0",
        "0.120 < " + A(2) + " unexpected-answer zero ok",
        "0.200 > \"\\\\\\x01\\xE9\\x20 malformed noise",
        "0.200 > M0127010000000030D0; crc-error crc D030, computed D730",
        "1.000 > M0127010000000030D7; time-out poll force=0 pwm=0",
    };
    const std::vector<std::string> json = {
        R"({"time":"0.000","direction":"tx","raw":"M0127010000000030D7;","verdict":"query","address":1,"id":39,)"
        R"("command":1,"status":0,"payload":"000000","decoded":"poll force=0 pwm=0"})",
        R"({"time":"0.200","direction":"tx","raw":"\"\\\u0001\u00e9 ","verdict":"malformed","address":null,)"
        R"("id":null,"command":null,"status":null,"payload":null,"decoded":"noise"})",
        R"({"time":"0.200","direction":"tx","raw":"M0127010000000030D0;","verdict":"crc-error","address":1,)"
        R"("id":39,"command":1,"status":0,"payload":"000000","decoded":"crc D030, computed D730"})",
    };
    for (std::size_t i = 0; i < rec.got.size(); ++i)
        EXPECT_EQ(TFrameMonitor::FormatText(rec.got[i]), text[i]);
    const std::size_t jsonOf[] = {0, 2, 3}; // query, noise, crc error
    for (std::size_t i = 0; i < json.size(); ++i)
        EXPECT_EQ(TFrameMonitor::FormatJson(rec.got[jsonOf[i]]), json[i]);
}

TEST(FrameMonitor, WallClockAndTextEscapes)
{
    Recorder rec;
    // 2026-12-09T03:30:01.234 at steady 5000
    rec.mon.SetWallClockBase(5000, 1796787001234);
    rec.mon.Feed(Rx, PollAnswer, 5000);
    rec.mon.Feed(Tx, Poll, 3766 + 86400000);
    ASSERT_EQ(rec.got.size(), 2u);
    EXPECT_EQ(TFrameMonitor::FormatText(rec.got[1]).substr(0, 26), "2026-12-10T03:30:00.000 > ");
    const std::string json = TFrameMonitor::FormatJson(rec.got[0]);
    EXPECT_EQ(json.substr(0, 34), R"({"time":"2026-12-09T03:30:01.234",)");
    EXPECT_NE(json.find("flags=Nincs kalibrálva"), std::string::npos); // UTF-8 passes

    TFrameRecord r;
    r.raw = "\r\n\t\x7F";
    r.decoded = "a\"b\\c\n\x1F\xC3\xA9\xFF\xE2\x82";
    EXPECT_EQ(TFrameMonitor::FormatText(r), "0.000 < \\r\\n\\t\\x7F malformed a\"b\\c\\x0A\\x1F\xC3\xA9\xFF\xE2\x82");
    EXPECT_NE(TFrameMonitor::FormatJson(r).find(R"("decoded":"a\"b\\c\n\u001fé\ufffd\ufffd\ufffd")"),
              std::string::npos);
}

// ---- the spy link ----

TEST(SpyLink, ForwardsAndShowsBothDirections)
{
    auto state = std::make_shared<PlainLinkState>();
    auto fake = std::make_unique<PlainFakeLink>(state);
    PlainFakeLink *inner = fake.get();
    Recorder rec;
    int64_t now = 100;
    std::unique_ptr<TMBLink> spy = MakeSpyLink(std::move(fake), rec.mon, [&now] { return now; });
    std::string err;
    ASSERT_TRUE(spy->Open("/dev/ttyX", 4800, err));
    EXPECT_TRUE(spy->IsOpen());
    EXPECT_EQ(state->baud, 4800u);

    // assigned after Open, as the engine does, and reassigned later
    std::vector<std::string> calls;
    spy->OnDataAvailable = [&](uint32_t n) { calls.push_back("a" + std::to_string(n)); };
    inner->Deliver("S01");
    spy->OnDataAvailable = [&](uint32_t n) {
        calls.push_back("b" + std::to_string(n));
        char buffer[64];
        spy->ReadBytes(buffer, n);
    };
    spy->OnLineEvent = [&](uint32_t mask, uint32_t modem) {
        calls.push_back("line" + std::to_string(mask) + "/" + std::to_string(modem));
    };
    spy->OnHangUp = [&] { calls.push_back("hangup"); };
    now = 150;
    inner->Deliver(A(2).substr(3));
    inner->OnLineEvent(MBLineEvent::CTS, MBModemStatus::CTS_ON);
    inner->OnHangUp();
    EXPECT_EQ(calls, (std::vector<std::string>{"a3", "b" + std::to_string(A(2).size()), "line8/16", "hangup"}));
    spy->ExpectChars(45); // a spy in between must not cost the engine its batched reads
    EXPECT_EQ(state->hints, std::vector<uint32_t>{45});

    state->failWrites = true;
    EXPECT_FALSE(spy->WriteBytes(Poll.data(), std::ptrdiff_t(Poll.size())));
    state->failWrites = false;
    now = 200;
    EXPECT_TRUE(spy->WriteBytes(Poll.data(), std::ptrdiff_t(Poll.size())));
    EXPECT_EQ(state->Written(), Poll);
    EXPECT_EQ(rec.Summary(), (std::vector<std::string>{S("unexpected-answer", A(2)), S("query", Poll)}));
    EXPECT_EQ(rec.got[0].timeMs, 150);
    EXPECT_EQ(rec.got[1].timeMs, 200);
    spy->Close();
    EXPECT_FALSE(spy->IsOpen());
}

class SpyOnEngine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        state = std::make_shared<PlainLinkState>();
        mb.SetManualTimers(true);
        mb.SetLinkFactory([this] {
            auto fake = std::make_unique<PlainFakeLink>(state);
            inner = fake.get();
            return MakeSpyLink(std::move(fake), rec.mon, [this] { return now; });
        });
        mb.OnMBMasterEndOfEvent = [this](mbcore::TMBStatus s, const std::string &) { ends.push_back(s); };
        mb.setMBMode(mbcore::modeASCIIMaster);
        mb.setMBBaud(mbcore::baud004800);
        mb.MBOpenPort();
        ASSERT_TRUE(mb.MBPortOpen());
        mb.setMBMasterAddressToSlave(Address);
        mb.setMBMasterIDToSlave(Id);
        PutPoll(mb, 0, 0);
    }
    Recorder rec;
    mbcore::TMBEngine mb;
    std::shared_ptr<PlainLinkState> state;
    PlainFakeLink *inner = nullptr;
    int64_t now = 0;
    std::vector<mbcore::TMBStatus> ends;
};

TEST_F(SpyOnEngine, TransactionAndRetries)
{
    mb.MBMasterStart(0);
    now = 60;
    for (char ch : PollAnswer)
        inner->Deliver(std::string(1, ch));
    ASSERT_EQ(ends, std::vector<mbcore::TMBStatus>{mbcore::stOK});
    EXPECT_EQ(rec.Summary(), (std::vector<std::string>{S("query", Poll), S("answer", PollAnswer)}));

    // a silent slave: every try goes out and times out in the monitor
    rec.got.clear();
    mb.MBMasterStart(0);
    while (Core(mb).AnswerTimer.Enabled()) {
        now += 1034;
        rec.mon.Tick(now);
        Core(mb).AnswerTimer.Fire();
    }
    ASSERT_EQ(ends.back(), mbcore::stTimeOut);
    ASSERT_EQ(rec.got.size(), 2 * state->writes.size() - 2);
    for (std::size_t i = 0; i < rec.got.size(); ++i) {
        EXPECT_EQ(rec.got[i].verdict, i % 2 == 0 ? TVerdict::Query : TVerdict::TimeOut) << i;
        EXPECT_EQ(rec.got[i].raw, Poll);
    }
}

TEST_F(SpyOnEngine, HangUpAndLineEventsReachTheEngine)
{
    std::vector<bool> cts;
    mb.OnCTSChange = [&cts](bool on) { cts.push_back(on); };
    inner->OnLineEvent(MBLineEvent::CTS, 0);
    EXPECT_EQ(cts, std::vector<bool>{true});
    inner->OnHangUp(); // the engine closes and drops the spy inside this call
    EXPECT_FALSE(mb.MBPortOpen());
}

} // namespace
