// The Win32 link and the probe on a real COM port with the instrument (or its
// simulator) at the other end, waiting in the plain event loop.
//
//   KV508_TEST_PORT=\\.\COM12   the port (without it every case skips)
//   KV508_TEST_HANGUP=1         also the hang-up case: it prints a line asking
//                               for the other end to go away, then waits
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
