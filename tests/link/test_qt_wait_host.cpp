// The serial link waiting in Qt's event loop (socket notifiers), as the tool
// and the simulator run it: Qt Core only, no GUI application. The link itself
// is tested without Qt in test_serial_link.cpp.
#include "PtyTools.h"
#include "QtWaitHost.h"
#include "SerialLink.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using PtyTools::TPtyPair;

namespace {

int64_t ProcessCpuMs()
{
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000;
}

// Runs Qt's event loop for ms as the application would (not in short naps),
// so that a notifier left firing shows in the CPU time.
int64_t CpuMsOverEventLoop(int ms)
{
    const int64_t before = ProcessCpuMs();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return ProcessCpuMs() - before;
}

std::string Drain(TMBLink &link, uint32_t count)
{
    std::string chunk(count, '\0');
    chunk.resize(static_cast<std::size_t>(std::max<std::ptrdiff_t>(link.ReadBytes(chunk.data(), count), 0)));
    return chunk;
}

} // namespace

// The component's factories wait in Qt's loop: bytes both ways, then the
// hang-up once, after which no notifier is left firing.
TEST(QtWaitHost, CarriesBothWaysAndTheHangUp)
{
    for (const bool adopted : {false, true}) {
        SCOPED_TRACE(adopted ? "descriptor link" : "link by name");
        TPtyPair pty;
        ASSERT_TRUE(pty.Valid());
        std::unique_ptr<TMBLink> link;
        int far = -1; // the other end, as the test plays it
        int keep = -1;
        if (adopted) {
            // The link takes the master; the test plays the slave side.
            keep = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            ASSERT_GE(keep, 0);
            far = keep;
            link = MakeFdLink(pty.TakeMaster());
        } else {
            far = pty.Master();
            link = MakeSerialLink();
        }
        std::string received;
        int hangUps = 0;
        link->OnDataAvailable = [&](uint32_t count) { received += Drain(*link, count); };
        link->OnHangUp = [&] { ++hangUps; };
        std::string error;
        ASSERT_TRUE(link->Open(pty.SlavePath(), 9600, error)) << error;

        ASSERT_TRUE(link->WriteBytes("ping\r\n\x03", 7));
        std::string sent;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                char buf[64];
                const ssize_t r = ::read(far, buf, sizeof buf);
                if (r > 0)
                    sent.append(buf, static_cast<std::size_t>(r));
                return sent.size() >= 7;
            },
            10000));
        EXPECT_EQ(sent, std::string("ping\r\n\x03", 7));
        ASSERT_EQ(::write(far, "pong\x11", 5), 5);
        ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() >= 5; }, 10000));
        EXPECT_EQ(received, "pong\x11");

        if (adopted) {
            // The link holds the slave side itself: the test's close is no hang-up.
            ::close(keep);
            QTest::qWait(50);
            EXPECT_EQ(hangUps, 0);
            link->Close();
            continue;
        }
        pty.Hangup();
        ASSERT_TRUE(QTest::qWaitFor([&] { return hangUps > 0; }, 10000));
        const int64_t used = CpuMsOverEventLoop(1000);
        EXPECT_LT(used, 150) << "a notifier spins after the hang-up";
        EXPECT_EQ(hangUps, 1);
        link->Close();
    }
}

// A callback that runs an event loop of its own (a dialog, say) is not called
// again inside it while more bytes come; the watch resumes once it returns.
TEST(QtWaitHost, ACallbackRunningAnEventLoopIsNotEnteredAgain)
{
    TPtyPair pty;
    TSerialLink link(QtWaitHost()); // waits in Qt's loop
    std::string error;
    ASSERT_TRUE(link.Open(pty.SlavePath(), 4800, error)) << error;
    int depth = 0, deepest = 0, calls = 0;
    std::string bytes;
    link.OnDataAvailable = [&](uint32_t count) {
        ++calls;
        deepest = std::max(deepest, ++depth);
        if (calls == 1) {
            EXPECT_TRUE(pty.Write("ghi"));
            QEventLoop loop;
            QTimer::singleShot(100, &loop, &QEventLoop::quit);
            loop.exec();
        }
        bytes += Drain(link, count);
        --depth;
    };
    ASSERT_TRUE(pty.Write("abc"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bytes.size() >= 3; }, 10000));
    ASSERT_TRUE(pty.Write("def"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bytes.size() >= 9; }, 10000));
    EXPECT_EQ(bytes, "abcghidef");
    EXPECT_EQ(deepest, 1);
}

// The link reads ahead of its reader: a reader that takes fewer bytes than it
// was told of is told of the rest at once, not when the next bytes come.
TEST(QtWaitHost, BytesLeftByTheReaderAreOfferedAgain)
{
    TPtyPair pty;
    TSerialLink link(QtWaitHost());
    std::string error;
    ASSERT_TRUE(link.Open(pty.SlavePath(), 4800, error)) << error;
    std::string bytes;
    link.OnDataAvailable = [&](uint32_t) { bytes += Drain(link, 1); };
    ASSERT_TRUE(pty.Write("abcdef"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bytes.size() >= 6; }, 10000));
    EXPECT_EQ(bytes, "abcdef");
}

// Destroying the link from its callback destroys the notifier that is
// delivering: nothing may touch either afterwards.
TEST(QtWaitHost, CallbacksMayDestroyTheLink)
{
    {
        TPtyPair pty;
        auto link = std::make_unique<TSerialLink>(QtWaitHost());
        std::string error;
        ASSERT_TRUE(link->Open(pty.SlavePath(), 4800, error)) << error;
        bool destroyed = false;
        link->OnDataAvailable = [&](uint32_t count) {
            Drain(*link, count);
            link.reset();
            destroyed = true;
        };
        ASSERT_TRUE(pty.Write("first"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return destroyed; }, 10000));
        ASSERT_TRUE(pty.Write("second"));
        QTest::qWait(50);
    }
    {
        TPtyPair pty;
        auto link = std::make_unique<TSerialLink>(QtWaitHost());
        std::string error;
        ASSERT_TRUE(link->Open(pty.SlavePath(), 4800, error)) << error;
        bool destroyed = false;
        link->OnHangUp = [&] {
            link.reset();
            destroyed = true;
        };
        pty.Hangup();
        ASSERT_TRUE(QTest::qWaitFor([&] { return destroyed; }, 10000));
    }
}

// In Qt's loop too, expected characters come in one hand-over once they can
// have come (the timerfd is watched beside the port), and per character after.
TEST(QtWaitHost, ExpectedCharactersComeInOneHandOver)
{
    TPtyPair pty;
    ASSERT_TRUE(pty.Valid());
    auto link = MakeSerialLink();
    std::string error;
    ASSERT_TRUE(link->Open(pty.SlavePath(), 4800, error)) << error;
    std::string bytes;
    int handOvers = 0;
    std::vector<std::chrono::steady_clock::time_point> at;
    link->OnDataAvailable = [&](uint32_t count) {
        bytes += Drain(*link, count);
        at.push_back(std::chrono::steady_clock::now());
        if (++handOvers == 1)
            link->ExpectChars(30);
    };
    const auto sent = std::chrono::steady_clock::now(); // before the read the wait counts from
    ASSERT_TRUE(pty.Write("S"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return handOvers == 1; }, 10000));
    for (int i = 0; i < 30; ++i) // one write a character, as a line-timed peer writes them
        ASSERT_TRUE(pty.Write(std::string(1, static_cast<char>('0' + i % 10))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bytes.size() >= 31; }, 10000));
    EXPECT_EQ(handOvers, 2);
    EXPECT_GE(at[1] - sent, std::chrono::microseconds(30 * 2083)) << "handed over before they could have come";
    ASSERT_TRUE(pty.Write(";"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bytes.size() >= 32; }, 10000));
    EXPECT_EQ(handOvers, 3);
    EXPECT_EQ(bytes, "S012345678901234567890123456789;");
}
