// The Win32 link and the probe on a real COM port with the instrument (or its
// simulator) at the other end, waiting in the plain event loop.
//
//   KV508_TEST_PORT=\\.\COM12   the port (without it every case skips)
//   KV508_TEST_HANGUP=1         also the hang-up case: it prints a line asking
//                               for the other end to go away, then waits
//   KV508_TEST_PACED=1          the other end answers at the line's pace: the
//                               cases of the reader's hint (ExpectChars) run
#include "EventLoop.h"
#include "LoopLinkHost.h"
#include "PlainFrames.h"
#include "PortProbe.h"
#include "SerialLink.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

namespace {

constexpr uint32_t kBaud = 4800;
constexpr int kAnswerMs = 3000;

std::string TestPort()
{
    const char *p = std::getenv("KV508_TEST_PORT");
    return p ? p : "";
}

#define NEED_PORT()                                                                                                    \
    if (TestPort().empty())                                                                                            \
    GTEST_SKIP() << "KV508_TEST_PORT is not set"

// The instrument's settings query (command 8, address 1, ID 39).
const std::string kQuery = frames::AsciiLine('M', frames::FromHex("01270800"));

// A whole answer line to kQuery, with a good CRC and the query's header.
bool IsAnswerToQuery(const std::string &line)
{
    if (line.size() < 14 || line.front() != 'S' || line.back() != ';')
        return false;
    const std::string bytes = frames::FromHex(std::string_view(line).substr(1, line.size() - 2));
    if (bytes.size() * 2 + 2 != line.size() || bytes.size() < 6)
        return false;
    const std::string body = bytes.substr(0, bytes.size() - 2);
    return frames::WithCrc(body) == bytes && body.substr(0, 3) == frames::FromHex("012708");
}

struct TBench {
    TEventLoop loop;
    TLoopLinkHost host{loop};
    std::unique_ptr<TSerialLink> link = std::make_unique<TSerialLink>(host);
    std::string received;
    int dataCalls = 0;
    int hangUps = 0;

    TBench()
    {
        link->OnDataAvailable = [this](uint32_t count) {
            ++dataCalls;
            std::string chunk(count, '\0');
            const std::ptrdiff_t got = link->ReadBytes(chunk.data(), count);
            received.append(chunk.data(), static_cast<std::size_t>(std::max<std::ptrdiff_t>(got, 0)));
        };
        link->OnHangUp = [this] { ++hangUps; };
    }

    bool Open(const std::string &port, std::string &error) { return link->Open(port, kBaud, error); }

    // Sends kQuery a few bytes per write and waits for the whole answer.
    std::string Ask(std::size_t piece)
    {
        received.clear();
        for (std::size_t i = 0; i < kQuery.size(); i += piece)
            EXPECT_TRUE(link->WriteBytes(kQuery.data() + i, static_cast<std::ptrdiff_t>(std::min(piece, kQuery.size() - i))));
        loop.RunUntil([&] { return received.find(';') != std::string::npos; }, kAnswerMs);
        return received;
    }
};

// Wine lets a COM port be opened twice; Windows' serial drivers do not.
bool UnderWine()
{
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

bool Listed(const std::string &port)
{
    const PortProbe::TProbeResult probe = PortProbe::Probe();
    return std::find(probe.ports.begin(), probe.ports.end(), port) != probe.ports.end();
}

} // namespace

TEST(Win32Link, ExchangesFramesWrittenPieceByPieceInOrder)
{
    NEED_PORT();
    TBench b;
    std::string error;
    ASSERT_TRUE(b.Open(TestPort(), error)) << error;
    for (const std::size_t piece : {kQuery.size(), std::size_t{3}, std::size_t{1}}) {
        const std::string answer = b.Ask(piece);
        EXPECT_TRUE(IsAnswerToQuery(answer)) << "piece " << piece << ": \"" << answer << '"';
    }
    EXPECT_GE(b.dataCalls, 3);
    EXPECT_EQ(b.hangUps, 0);
    EXPECT_EQ(b.link->QueuedOutput(), 0); // every write has completed by the time the answer came
    b.link->Close();
    EXPECT_FALSE(b.link->IsOpen());
    EXPECT_FALSE(b.link->WriteBytes("x", 1)); // closed: nothing goes out
}

TEST(Win32Link, BareNameAndDevicePathOpenTheSamePort)
{
    NEED_PORT();
    const std::string path = PortProbe::ResolvePortPath(TestPort());
    ASSERT_EQ(path.rfind("\\\\.\\COM", 0), 0u) << path;
    const std::string bare = path.substr(4);
    EXPECT_EQ(PortProbe::ResolvePortPath(bare), path);
    for (const std::string &name : {bare, path}) {
        TBench b;
        std::string error;
        ASSERT_TRUE(b.Open(name, error)) << name << ": " << error;
        EXPECT_TRUE(IsAnswerToQuery(b.Ask(kQuery.size()))) << name;
    }
}

// The probe's names are those the design shows: COM1..COM9, \\.\COM10 upward,
// ascending; a port shows only while nobody holds it.
TEST(Win32Link, HeldPortRefusesASecondOpenAndLeavesTheList)
{
    NEED_PORT();
    const std::string path = PortProbe::ResolvePortPath(TestPort());
    const int number = std::atoi(path.c_str() + 7);
    const std::string listed = number <= 9 ? path.substr(4) : path;
    const PortProbe::TProbeResult probe = PortProbe::Probe();
    EXPECT_TRUE(std::is_sorted(probe.ports.begin(), probe.ports.end(), PortProbe::NaturalLess));
    for (const std::string &p : probe.ports) {
        const int n = std::atoi(p.c_str() + p.rfind('M') + 1);
        EXPECT_EQ(p, (n <= 9 ? "COM" : "\\\\.\\COM") + std::to_string(n));
    }
    EXPECT_TRUE(Listed(listed)) << listed;

    if (UnderWine())
        GTEST_SKIP() << "Wine does not hold a COM port exclusively";
    TBench first;
    std::string error;
    ASSERT_TRUE(first.Open(TestPort(), error)) << error;
    EXPECT_FALSE(Listed(listed));
    TBench second;
    EXPECT_FALSE(second.Open(TestPort(), error));
    EXPECT_FALSE(error.empty());
    first.link->Close();
    EXPECT_TRUE(Listed(listed));
    EXPECT_TRUE(second.Open(TestPort(), error)) << error;
}

TEST(Win32Link, MissingPortFailsWithTheSystemsText)
{
    NEED_PORT();
    TBench b;
    std::string error;
    EXPECT_FALSE(b.Open("\\\\.\\COM250", error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(b.link->IsOpen());
    EXPECT_FALSE(Listed("\\\\.\\COM250"));
}

// The component closes (and destroys) its link from inside its callbacks.
TEST(Win32Link, CloseOrDestroyFromInsideACallbackEndsEveryCallback)
{
    NEED_PORT();
    for (const bool destroy : {false, true}) {
        TBench b;
        std::string error;
        ASSERT_TRUE(b.Open(TestPort(), error)) << error;
        int after = 0;
        bool ended = false;
        b.link->OnDataAvailable = [&](uint32_t) {
            if (ended) {
                ++after;
                return;
            }
            ended = true;
            if (destroy)
                b.link.reset();
            else
                b.link->Close();
        };
        ASSERT_TRUE(b.link->WriteBytes(kQuery.data(), static_cast<std::ptrdiff_t>(kQuery.size())));
        ASSERT_TRUE(b.loop.RunUntil([&] { return ended; }, kAnswerMs));
        b.loop.RunFor(200); // the rest of the answer, were anyone still listening
        EXPECT_EQ(after, 0);
        if (!destroy) {
            EXPECT_FALSE(b.link->IsOpen());
            ASSERT_TRUE(b.Open(TestPort(), error)) << error; // and the port is free again
        }
    }
}

TEST(Win32LinkHangUp, OtherEndGoneEndsInOneHangUpAndTheWorkerStops)
{
    NEED_PORT();
    if (!std::getenv("KV508_TEST_HANGUP"))
        GTEST_SKIP() << "KV508_TEST_HANGUP is not set";
    TBench b;
    std::string error;
    ASSERT_TRUE(b.Open(TestPort(), error)) << error;
    ASSERT_TRUE(IsAnswerToQuery(b.Ask(kQuery.size())));
    std::printf("hang-up: stop the other end now\n");
    std::fflush(stdout);
    // Polling on, as the component does: the hang-up shows at the latest when
    // a write finds the line gone.
    TLoopTimer poll(b.loop);
    poll.SetOnTimer([&] {
        b.link->WriteBytes(kQuery.data(), static_cast<std::ptrdiff_t>(kQuery.size()));
        poll.Start(50);
    });
    poll.Start(50);
    ASSERT_TRUE(b.loop.RunUntil([&] { return b.hangUps > 0; }, 15000));
    poll.Stop();
    b.loop.RunFor(300);
    EXPECT_EQ(b.hangUps, 1);
    EXPECT_TRUE(b.link->HungUp());
    EXPECT_FALSE(b.link->WriteBytes(kQuery.data(), 4));
    b.link->Close(); // the worker has ended or ends now: this returns
    EXPECT_FALSE(b.link->IsOpen());
}

namespace {

#define NEED_PACED_PORT()                                                                                              \
    NEED_PORT();                                                                                                       \
    if (!std::getenv("KV508_TEST_PACED"))                                                                              \
    GTEST_SKIP() << "KV508_TEST_PACED is not set (the other end must answer at the line's pace)"

// An answer to kQuery taken as the engine takes it: at its first announcement
// the reader hints how many characters are still to come (rest), then counts
// the announcements that follow.
struct THinted {
    TBench &b;
    std::function<void(uint32_t)> plain = b.link->OnDataAvailable;
    int afterHint = 0;
    bool hinted = false;
    std::size_t atHint = 0; // characters received by then

    THinted(TBench &bench, uint32_t rest) : b(bench)
    {
        b.received.clear();
        b.link->OnDataAvailable = [this, rest](uint32_t count) {
            if (hinted)
                ++afterHint;
            std::string chunk(count, '\0');
            const std::ptrdiff_t got = b.link->ReadBytes(chunk.data(), count);
            b.received.append(chunk.data(), static_cast<std::size_t>(std::max<std::ptrdiff_t>(got, 0)));
            if (!hinted) {
                hinted = true;
                atHint = b.received.size();
                b.link->ExpectChars(rest - static_cast<uint32_t>(atHint - 1));
            }
        };
        EXPECT_TRUE(b.link->WriteBytes(kQuery.data(), static_cast<std::ptrdiff_t>(kQuery.size())));
    }
    ~THinted() { b.link->OnDataAvailable = plain; }

    // The engine's read at its answer time-out: whatever the hinted read holds.
    void Cut()
    {
        char buffer[512];
        const std::ptrdiff_t got = b.link->ReadBytes(buffer, sizeof buffer);
        b.received.append(buffer, static_cast<std::size_t>(std::max<std::ptrdiff_t>(got, 0)));
    }
};

// A hinted exchange whose first announcement came while the answer was still
// arriving, the hint asking for extra characters more than the answer has. A
// busy machine can deliver a whole answer at once: such an exchange is
// finished (a read ends its hint) and asked again; null when five did so.
std::unique_ptr<THinted> PacedStart(TBench &b, const std::string &answer, uint32_t extra)
{
    const auto rest = static_cast<uint32_t>(answer.size() - 1);
    for (int attempt = 0; attempt < 5; ++attempt) {
        auto h = std::make_unique<THinted>(b, rest + extra);
        EXPECT_TRUE(b.loop.RunUntil([&] { return h->hinted; }, kAnswerMs)) << "no answer";
        if (h->hinted && h->atHint <= answer.size() / 2)
            return h;
        b.loop.RunUntil([&] { return b.received.size() >= answer.size(); }, kAnswerMs);
        h->Cut();
    }
    return nullptr;
}

#define NEED_PACED_START(h)                                                                                            \
    if (!(h))                                                                                                          \
    GTEST_SKIP() << "five answers in a row came at once: the machine is too busy to deliver them at the line's pace"

// Plain answers, each character announced as it comes: the answer and the
// most announcements one of them took. A busy machine may let a few
// characters gather between two hand-overs, even a whole answer now and then.
std::string PlainAnswer(TBench &b, int &announcements)
{
    std::string answer;
    announcements = 0;
    for (int i = 0; i < 3; ++i) {
        const int before = b.dataCalls;
        const std::string got = b.Ask(kQuery.size());
        announcements = std::max(announcements, b.dataCalls - before);
        EXPECT_TRUE(IsAnswerToQuery(got)) << '"' << got << '"';
        EXPECT_TRUE(answer.empty() || got == answer) << '"' << got << "\" after \"" << answer << '"';
        answer = got;
    }
    return answer;
}

} // namespace

// The rest of a frame, hinted, comes in one read that the driver completes
// with its last character: at most two announcements instead of one per
// character, and the same bytes.
TEST(Win32LinkPaced, HintedFrameComesInAtMostTwoAnnouncements)
{
    NEED_PACED_PORT();
    TBench b;
    std::string error;
    ASSERT_TRUE(b.Open(TestPort(), error)) << error;
    int plain = 0;
    const std::string answer = PlainAnswer(b, plain);
    int most = 0;
    for (int i = 0; i < 3; ++i) {
        const std::unique_ptr<THinted> h = PacedStart(b, answer, 0);
        NEED_PACED_START(h);
        ASSERT_TRUE(b.loop.RunUntil([&] { return b.received.size() >= answer.size(); }, kAnswerMs));
        EXPECT_EQ(b.received, answer);
        EXPECT_LE(h->afterHint, 2);
        most = std::max(most, h->afterHint + 1);
    }
    std::printf("paced answer of %zu characters: up to %d announcements without the hint, at most %d with it\n",
                answer.size(), plain, most);
}

// The engine's read at its answer time-out cuts a hinted read: during the
// frame, and after the whole frame has come but before the read's time-out.
// Nothing is lost, doubled or reordered, and the read there takes all that came.
TEST(Win32LinkPaced, ReadDuringAHintedReadTakesWhatItHeldInOrder)
{
    NEED_PACED_PORT();
    TBench b;
    std::string error;
    ASSERT_TRUE(b.Open(TestPort(), error)) << error;
    int plain = 0;
    const std::string answer = PlainAnswer(b, plain);
    for (const int cutMs : {40, 300}) {
        const std::unique_ptr<THinted> hinted = PacedStart(b, answer, 200); // only the cut ends it early
        NEED_PACED_START(hinted);
        THinted &h = *hinted;
        const std::size_t atHint = h.atHint;
        b.loop.RunFor(cutMs);
        EXPECT_EQ(h.afterHint, 0) << "cut at " << cutMs << " ms: announced while the hinted read ran";
        h.Cut();
        if (cutMs == 300)
            EXPECT_EQ(b.received, answer) << "after the whole frame: the cut took all of it";
        else
            EXPECT_GT(b.received.size(), atHint) << "the cut took what the read held";
        ASSERT_TRUE(b.loop.RunUntil([&] { return b.received.size() >= answer.size(); }, kAnswerMs));
        b.loop.RunFor(50); // a doubled byte would come now
        EXPECT_EQ(b.received, answer) << "cut at " << cutMs << " ms";
    }
}

// Fewer characters than hinted: what came is announced at the read's
// time-out, once, and the next frame is announced character by character.
// None at all: the read ends quietly (its time-out is no hang-up).
TEST(Win32LinkPaced, ShortFrameComesAtTheTimeOutThenEachCharacterAgain)
{
    NEED_PACED_PORT();
    TBench b;
    std::string error;
    ASSERT_TRUE(b.Open(TestPort(), error)) << error;
    int plain = 0;
    const std::string answer = PlainAnswer(b, plain);
    {
        const std::unique_ptr<THinted> h = PacedStart(b, answer, 60); // 125 ms more than the frame needs
        NEED_PACED_START(h);
        const int64_t started = TEventLoop::NowMs();
        ASSERT_TRUE(b.loop.RunUntil([&] { return b.received.size() >= answer.size(); }, kAnswerMs));
        EXPECT_LT(TEventLoop::NowMs() - started, 800) << "not at the hinted read's time-out";
        EXPECT_EQ(h->afterHint, 1);
        EXPECT_EQ(b.received, answer);
    }
    int again = 0;
    EXPECT_EQ(PlainAnswer(b, again), answer);
    EXPECT_GT(again, 2) << "the hint outlived its read";

    const std::function<void(uint32_t)> plainCallback = b.link->OnDataAvailable;
    bool hinted = false;
    b.link->OnDataAvailable = [&](uint32_t count) {
        plainCallback(count);
        if (!b.received.empty() && b.received.back() == ';' && !hinted) {
            hinted = true;
            b.link->ExpectChars(20); // 44 ms, and nothing comes
        }
    };
    EXPECT_EQ(b.Ask(kQuery.size()), answer);
    b.loop.RunFor(150);
    b.link->OnDataAvailable = plainCallback;
    EXPECT_TRUE(hinted);
    EXPECT_EQ(b.hangUps, 0);
    EXPECT_EQ(PlainAnswer(b, again), answer);
}

// The other end goes while a hinted read waits for characters that will not
// come: the read's failure is the hang-up, reported once, long before the
// read's time-out (4 s) would have ended it.
TEST(Win32LinkHangUpHinted, OtherEndGoneDuringAHintedReadEndsInOneHangUp)
{
    NEED_PORT();
    if (!std::getenv("KV508_TEST_HANGUP"))
        GTEST_SKIP() << "KV508_TEST_HANGUP is not set";
    TBench b;
    std::string error;
    ASSERT_TRUE(b.Open(TestPort(), error)) << error;
    const std::function<void(uint32_t)> plainCallback = b.link->OnDataAvailable;
    bool hinted = false;
    b.link->OnDataAvailable = [&](uint32_t count) {
        plainCallback(count);
        if (!b.received.empty() && b.received.back() == ';' && !hinted) {
            hinted = true;
            b.link->ExpectChars(2000);
        }
    };
    ASSERT_TRUE(IsAnswerToQuery(b.Ask(kQuery.size())));
    ASSERT_TRUE(hinted);
    std::printf("hang-up: stop the other end now\n");
    std::fflush(stdout);
    const int64_t asked = TEventLoop::NowMs();
    ASSERT_TRUE(b.loop.RunUntil([&] { return b.hangUps > 0; }, 15000));
    const int64_t tookMs = TEventLoop::NowMs() - asked;
    b.loop.RunFor(300);
    EXPECT_EQ(b.hangUps, 1);
    EXPECT_LT(tookMs, 3000) << "found only after the hinted read's time-out";
    EXPECT_FALSE(b.link->WriteBytes(kQuery.data(), 4));
    b.link->Close();
    EXPECT_FALSE(b.link->IsOpen());
}
