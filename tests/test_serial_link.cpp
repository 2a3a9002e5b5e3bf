// The serial link on real pseudo-terminals: configuration, the byte stream both
// ways, the write queue, hang-up, exclusivity and the descriptor link.
#include "Pty.h"
#include "SerialLink.h"
#include "SerialTermios.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstring>

#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {

// CPU time (user + system) of the whole process so far, in milliseconds.
qint64 CpuMs()
{
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000;
}

// Runs the event loop for ms as the application would (not in 10 ms naps), so
// that anything spinning through the hand-over shows in the CPU time.
qint64 CpuMsOverEventLoop(int ms)
{
    const qint64 before = CpuMs();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return CpuMs() - before;
}

QByteArray Pattern(qsizetype n, int seed)
{
    QByteArray b(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        b[i] = static_cast<char>((i * 31 + seed * 7 + i / 251) & 0xFF);
    return b;
}

// Collects what the link hands over, as the component does: exactly the count.
struct TReceiver {
    explicit TReceiver(TMBLink &link) : m_link(link)
    {
        link.OnDataAvailable = [this](quint32 count) {
            QByteArray chunk(static_cast<qsizetype>(count), Qt::Uninitialized);
            const qsizetype got = m_link.ReadBytes(chunk.data(), chunk.size());
            chunk.resize(got);
            bytes += chunk;
            ++handOvers;
            if (got != static_cast<qsizetype>(count))
                ++shortReads;
        };
        link.OnHangUp = [this] { ++hangUps; };
        link.OnLineEvent = [this](quint32, quint32) { ++lineEvents; };
    }
    bool WaitFor(qsizetype n, int timeoutMs = 10000)
    {
        return QTest::qWaitFor([&] { return bytes.size() >= n; }, timeoutMs);
    }

    TMBLink &m_link;
    QByteArray bytes;
    int handOvers = 0;
    int shortReads = 0;
    int hangUps = 0;
    int lineEvents = 0;
};

std::unique_ptr<TSerialLink> OpenOn(const TPty &pty, quint32 baud = 4800)
{
    auto link = std::make_unique<TSerialLink>();
    QString error;
    if (!link->Open(pty.SlavePath(), baud, error)) {
        ADD_FAILURE() << "open failed: " << error.toStdString();
        return nullptr;
    }
    return link;
}

} // namespace

class SerialLinkRate : public ::testing::TestWithParam<quint32>
{
};

// A fresh pseudo-terminal is cooked; the open must leave it raw 8-N-1 without
// flow control at exactly the rate asked, whether the rate is a classic one or not.
TEST_P(SerialLinkRate, OpenConfiguresRawEightNoneOneAtTheRate)
{
    TPty pty;
    ASSERT_TRUE(pty.Valid());
    auto link = OpenOn(pty, GetParam());
    ASSERT_TRUE(link);

    SerialTermios::TLineSettings s;
    ASSERT_TRUE(SerialTermios::Read(pty.Master(), s)); // the master reads the slave's settings
    EXPECT_EQ(s.outputRate, GetParam());
    EXPECT_EQ(s.inputRate, GetParam());
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_FALSE(s.parity);
    EXPECT_FALSE(s.twoStopBits);
    EXPECT_FALSE(s.hardwareFlow);
    EXPECT_FALSE(s.softwareFlowOut);
    EXPECT_FALSE(s.softwareFlowIn);
    EXPECT_TRUE(s.receiverOn);
    EXPECT_TRUE(s.modemLinesIgnored);
    EXPECT_TRUE(s.raw);
    link->Close();
    EXPECT_FALSE(link->IsOpen());
}

INSTANTIATE_TEST_SUITE_P(AllRates, SerialLinkRate,
                         ::testing::Values(75, 110, 134, 150, 300, 600, 1200, 1800, 2400, 4800, 7200, 9600, 14400,
                                           19200, 38400, 57600, 115200, 128000, 230400, 460800, 921600));

TEST(SerialLink, EveryByteValuePassesUnchangedBothWays)
{
    TPty pty;
    auto link = OpenOn(pty);
    ASSERT_TRUE(link);
    TReceiver rx(*link);
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(static_cast<char>(i));
    all += all; // 0x03, 0x0D, 0x11, 0x13, 0x7F ... would be eaten or mapped on a cooked line

    ASSERT_TRUE(link->WriteBytes(all.constData(), all.size()));
    EXPECT_EQ(pty.Read(all.size()), all);

    ASSERT_TRUE(pty.Write(all));
    ASSERT_TRUE(rx.WaitFor(all.size()));
    EXPECT_EQ(rx.bytes, all);
    EXPECT_EQ(rx.lineEvents, 0); // a pseudo-terminal has no line state to report
}

TEST(SerialLink, BytesInManySmallChunksArriveCompleteAndInOrder)
{
    TPty pty;
    auto link = OpenOn(pty);
    ASSERT_TRUE(link);
    TReceiver rx(*link);
    const QByteArray sent = Pattern(6000, 1);
    for (qsizetype at = 0, step = 1; at < sent.size(); at += step, step = step % 7 + 1) {
        ASSERT_TRUE(pty.Write(sent.mid(at, step)));
        if (at % 5 == 0)
            QCoreApplication::processEvents(); // let hand-overs interleave with the writing
    }
    ASSERT_TRUE(rx.WaitFor(sent.size()));
    EXPECT_EQ(rx.bytes, sent);
    EXPECT_GT(rx.handOvers, 1);
    EXPECT_EQ(rx.shortReads, 0); // each hand-over's count was there to be read
}

// Frames go out as a run of short writes; what the driver cannot take waits in
// order and follows as the other end reads.
TEST(SerialLink, WritesBeyondWhatTheDriverTakesGoOutWholeAndInOrder)
{
    TPty pty;
    auto link = OpenOn(pty, 4800);
    ASSERT_TRUE(link);
    TReceiver rx(*link);

    QByteArray sent;
    qsizetype mostQueued = 0;
    for (int frame = 0; frame < 6; ++frame) {
        const QByteArray big = Pattern(8192, frame);
        ASSERT_TRUE(link->WriteBytes(big.constData(), big.size()));
        sent += big;
        for (int i = 0; i < 40; ++i) {
            const QByteArray small = Pattern(3, frame * 100 + i);
            ASSERT_TRUE(link->WriteBytes(small.constData(), small.size()));
            sent += small;
        }
        mostQueued = std::max(mostQueued, link->QueuedOutput());
    }
    EXPECT_GT(mostQueued, 0) << "the pseudo-terminal took everything at once; the queue was not exercised";

    // A slow reader: a little at a time, with the event loop running between.
    QByteArray got;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            char buf[700];
            const ssize_t r = ::read(pty.Master(), buf, sizeof buf);
            if (r > 0)
                got.append(buf, r);
            return got.size() >= sent.size();
        },
        30000));
    EXPECT_EQ(got.size(), sent.size());
    EXPECT_TRUE(got == sent);
    EXPECT_EQ(link->QueuedOutput(), 0);
}

TEST(SerialLink, HangUpIsHandedOverOnceAndTheWorkerThenSleeps)
{
    struct TCase {
        const char *name;
        bool writing; // bytes queued for writing when the line goes
    };
    for (const TCase c : {TCase{"idle", false}, TCase{"writing", true}}) {
        SCOPED_TRACE(c.name);
        TPty pty;
        auto link = OpenOn(pty);
        ASSERT_TRUE(link);
        TReceiver rx(*link);
        if (c.writing) {
            const QByteArray big = Pattern(64 * 1024, 3);
            ASSERT_TRUE(link->WriteBytes(big.constData(), big.size()));
            ASSERT_GT(link->QueuedOutput(), 0);
        }
        pty.Hangup();
        ASSERT_TRUE(QTest::qWaitFor([&] { return rx.hangUps > 0; }, 10000));

        const qint64 used = CpuMsOverEventLoop(1000);
        RecordProperty("cpu_ms_after_hangup", static_cast<int>(used));
        EXPECT_LT(used, 150) << "something spins after the hang-up";
        EXPECT_EQ(rx.hangUps, 1);
        EXPECT_TRUE(link->HungUp());
        EXPECT_FALSE(link->WriteBytes("x", 1));
        EXPECT_EQ(link->QueuedOutput(), 0);
        link->Close(); // must not block
        EXPECT_FALSE(link->IsOpen());
    }
}

TEST(SerialLink, StopRightAfterOpenIsNeverLost)
{
    TPty pty;
    ASSERT_TRUE(pty.Valid());
    for (int i = 0; i < 300; ++i) {
        TSerialLink link;
        QString error;
        ASSERT_TRUE(link.Open(pty.SlavePath(), 9600, error)) << error.toStdString();
        if (i % 2)
            link.WriteBytes("ab", 2);
        link.Close(); // joins: a lost stop would hang here
    }
    // Nothing of all that must linger: stale hand-overs do nothing.
    QCoreApplication::processEvents();
}

// A callback may close the link or even destroy it; the hand-over that called
// it must not touch it afterwards.
TEST(SerialLink, CallbacksMayDestroyTheLink)
{
    {
        TPty pty;
        std::unique_ptr<TSerialLink> link = OpenOn(pty);
        ASSERT_TRUE(link);
        bool destroyed = false;
        link->OnDataAvailable = [&](quint32 count) {
            QByteArray sink(static_cast<qsizetype>(count), Qt::Uninitialized);
            link->ReadBytes(sink.data(), sink.size());
            link.reset();
            destroyed = true;
        };
        ASSERT_TRUE(pty.Write("first"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return destroyed; }, 10000));
        ASSERT_TRUE(pty.Write("second"));
        QTest::qWait(50);
    }
    {
        TPty pty;
        std::unique_ptr<TSerialLink> link = OpenOn(pty);
        ASSERT_TRUE(link);
        bool destroyed = false;
        link->OnHangUp = [&] {
            link.reset();
            destroyed = true;
        };
        pty.Hangup();
        ASSERT_TRUE(QTest::qWaitFor([&] { return destroyed; }, 10000));
    }
}

TEST(SerialLink, OnlySerialTerminalsAreOpened)
{
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/plain");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    struct TCase {
        QString port;
        int error;
    };
    for (const TCase &c : {TCase{file, ENOTTY}, TCase{QStringLiteral("/dev/null"), ENOTTY},
                           TCase{QStringLiteral("/dev/ptmx"), ENOTTY}, TCase{dir.path(), ENOTTY},
                           TCase{dir.path() + QStringLiteral("/missing"), ENOENT}}) {
        TSerialLink link;
        QString error;
        EXPECT_FALSE(link.Open(c.port, 9600, error)) << c.port.toStdString();
        EXPECT_EQ(error, QString::fromLocal8Bit(std::strerror(c.error))) << c.port.toStdString();
    }
}

// A port that was somebody's terminal is left as it was: rate, framing, line
// discipline and control characters all come back at close.
TEST(SerialLink, CloseRestoresTheTerminalSettingsFoundAtOpen)
{
    TPty pty;
    const int keep = ::open(pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(keep, 0);
    termios before{};
    ASSERT_EQ(::tcgetattr(keep, &before), 0);
    before.c_cflag = (before.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB;
    before.c_lflag |= ICANON | ECHO | ISIG;
    before.c_iflag |= ICRNL | IXON;
    before.c_cc[VMIN] = 5;
    before.c_cc[VINTR] = 0x07;
    ::cfsetispeed(&before, B1200);
    ::cfsetospeed(&before, B1200);
    ASSERT_EQ(::tcsetattr(keep, TCSANOW, &before), 0);
    ASSERT_EQ(::tcgetattr(keep, &before), 0);

    auto link = OpenOn(pty, 4800);
    ASSERT_TRUE(link);
    termios during{};
    ASSERT_EQ(::tcgetattr(keep, &during), 0);
    EXPECT_NE(during.c_lflag, before.c_lflag); // the link did make it raw
    link->Close();

    termios after{};
    ASSERT_EQ(::tcgetattr(keep, &after), 0);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(::cfgetospeed(&after), static_cast<speed_t>(B1200));
    EXPECT_EQ(std::memcmp(after.c_cc, before.c_cc, sizeof before.c_cc), 0);
    ::close(keep);
}
