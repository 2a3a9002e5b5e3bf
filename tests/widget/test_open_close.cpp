// The component's open/close sequence, hang-up handling and port list, over
// the real serial link on pseudo-terminals published as virtual ports.
#include "MB.h"
#include "TestPeer.h"
#include "Pty.h"
#include "QtWaitHost.h"
#include "SerialTermios.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

qint64 CpuMsOverEventLoop(int ms)
{
    const auto cpu = [] {
        rusage ru{};
        ::getrusage(RUSAGE_SELF, &ru);
        return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000;
    };
    const qint64 before = cpu();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return cpu() - before;
}

QStringList Items(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QString Selected(const QListWidget *list)
{
    return list->currentItem() ? list->currentItem()->text() : QString();
}

QByteArray Received(const TMB &mb)
{
    return QByteArray(reinterpret_cast<const char *>(Core(mb).m_RxBuffer.data()), mb.MBNumberOfReceivedBytes());
}

// A component with manual timers and every event it raises written down.
class OpenClose : public ::testing::Test
{
protected:
    void SetUp() override
    {
        UseScratchVirtualPortDir();
        ASSERT_TRUE(pty.Valid());
        ASSERT_TRUE(PublishVirtualPort(QStringLiteral("kv508sim0"), pty.SlavePath()));
        mb.SetManualTimers(true);
        mb.setMBBaud(TMB::baud004800);
        mb.OnMBStatusNowChanged = [this](TMB::TMBStatusNow, const QString &text) { events << "now:" + text; };
        mb.OnMBBusyChanged = [this](bool busy) { events << QStringLiteral("busy:%1").arg(busy); };
        mb.OnMBPortOpenedOrClosed = [this](bool open) { events << QStringLiteral("port:%1").arg(open); };
        mb.OnMBMasterEndOfEvent = [this](TMB::TMBStatus, const QString &text) { events << "end:" + text; };
        mb.OnPortOpened = [this](TMB *) { events << QStringLiteral("PortOpened"); };
        mb.OnPortClosed = [this](TMB *) { events << QStringLiteral("PortClosed"); };
    }

    // Probes, picks the port and opens it as the panel would.
    void OpenPort(const QString &name)
    {
        mb.setMBLastUsedPort(name);
        mb.RefreshPortList();
        ASSERT_EQ(Selected(mb.PortList), name);
        mb.MBOpenPort();
        ASSERT_TRUE(mb.MBPortOpen());
        ASSERT_TRUE(Core(mb).m_LinkOpen);
    }

    QStringList events; // outlives mb, whose destruction still reports
    TPty pty;
    TMB mb;
};

} // namespace

TEST_F(OpenClose, OpenAndCloseConfigureThePortAndRaiseTheirEventsInOrder)
{
    OpenPort(QStringLiteral("kv508sim0"));
    EXPECT_EQ(events, (QStringList{"now:Ready", "busy:0", "PortOpened", "port:1"}));
    EXPECT_EQ(mb.Port(), QStringLiteral("kv508sim0"));
    EXPECT_EQ(mb.PortLabel->text(), QStringLiteral("kv508sim0"));
    EXPECT_TRUE(mb.MBThereWasOpenEvent());
    EXPECT_EQ(mb.OpenButton->text(), QStringLiteral("Close"));
    EXPECT_FALSE(mb.RefreshButton->isEnabled());

    SerialTermios::TLineSettings s;
    ASSERT_TRUE(SerialTermios::Read(pty.Master(), s));
    EXPECT_EQ(s.outputRate, 4800u);
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_FALSE(s.parity || s.twoStopBits || s.hardwareFlow || s.softwareFlowIn || s.softwareFlowOut);
    EXPECT_TRUE(s.raw && s.receiverOn && s.modemLinesIgnored);

    events.clear();
    mb.MBClosePort();
    EXPECT_EQ(events, (QStringList{"busy:1", "now:Port Error", "PortClosed", "port:0"})); // idle: no end event
    EXPECT_FALSE(Core(mb).m_LinkOpen);
    EXPECT_EQ(mb.MBStatusString(), QStringLiteral("Closed Port"));
    EXPECT_EQ(mb.OpenButton->text(), QStringLiteral("Open"));
    EXPECT_TRUE(mb.RefreshButton->isEnabled());
    EXPECT_TRUE(mb.PortList->isEnabled());

    // Closed means closed: another program can take the port now.
    const int other = ::open(pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    ::close(other);
}

TEST_F(OpenClose, AnOpenBeforeTheFirstProbeOpensTheRememberedPortNotTheDefault)
{
    // Start-up has not run yet (manual timers): the list is empty, as on a
    // slow machine when the window's open button is pressed at once.
    mb.setMBLastUsedPort(QStringLiteral("kv508sim0"));
    ASSERT_EQ(mb.PortList->count(), 0);
    mb.MBOpenPort();
    ASSERT_TRUE(mb.MBPortOpen());
    EXPECT_EQ(mb.Port(), QStringLiteral("kv508sim0"));
    EXPECT_EQ(Selected(mb.PortList), QStringLiteral("kv508sim0"));
}

TEST_F(OpenClose, OpeningWhenOpenAndClosingWhenClosedDoNothing)
{
    mb.MBClosePort();
    EXPECT_TRUE(events.isEmpty());
    OpenPort(QStringLiteral("kv508sim0"));
    events.clear();
    mb.MBOpenPort();
    EXPECT_TRUE(events.isEmpty());
    EXPECT_TRUE(mb.MBPortOpen());
}

TEST_F(OpenClose, APortHeldByAnotherProgramFailsToOpenAndLeavesTheComponentClosed)
{
    mb.setMBLastUsedPort(QStringLiteral("kv508sim0"));
    mb.RefreshPortList();
    ASSERT_EQ(Selected(mb.PortList), QStringLiteral("kv508sim0"));
    const int other = ::open(pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);

    events.clear();
    mb.MBOpenPort();
    ::close(other);
    EXPECT_FALSE(mb.MBPortOpen());
    EXPECT_FALSE(Core(mb).m_LinkOpen);
    EXPECT_TRUE(events.filter(QStringLiteral("port:")).isEmpty());
    EXPECT_FALSE(events.contains(QStringLiteral("PortOpened")));
    EXPECT_TRUE(mb.LastOpenError().startsWith(QStringLiteral("TMB : cannot open kv508sim0\r")))
        << mb.LastOpenError().toStdString();
    EXPECT_EQ(mb.MBStatus(), TMB::stClosedPort);
    EXPECT_EQ(mb.MBStatusNow(), TMB::stnPortError);
    EXPECT_FALSE(mb.OpenButton->isChecked());
    EXPECT_EQ(mb.OpenButton->text(), QStringLiteral("Open"));
    EXPECT_TRUE(mb.RefreshButton->isEnabled());
    EXPECT_TRUE(mb.PortList->isEnabled());
    EXPECT_FALSE(Items(mb.PortList).contains(QStringLiteral("kv508sim0"))); // probed again while it was held
}

TEST_F(OpenClose, BytesInSmallChunksReachTheReceiverCompleteAndInOrder)
{
    mb.setMBMode(TMB::modeByte);
    OpenPort(QStringLiteral("kv508sim0"));
    QByteArray sent;
    for (int i = 0; i < 3000; ++i)
        sent.append(static_cast<char>((i * 37 + i / 256) & 0xFF));
    for (qsizetype at = 0, step = 1; at < sent.size(); at += step, step = step % 5 + 1) {
        ASSERT_TRUE(pty.Write(sent.mid(at, step)));
        if (at % 3 == 0)
            QCoreApplication::processEvents();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return mb.MBNumberOfReceivedBytes() >= sent.size(); }, 10000));
    EXPECT_EQ(Received(mb), sent);
}

TEST_F(OpenClose, BytesThatArriveDuringACloseAreNotDelivered)
{
    mb.setMBMode(TMB::modeByte);
    OpenPort(QStringLiteral("kv508sim0"));

    // A close step raises events; a handler that lets the event loop run there
    // must not get bytes to the receiver.
    mb.OnMBBusyChanged = [this](bool busy) {
        if (!busy)
            return;
        EXPECT_TRUE(pty.Write("during"));
        QTest::qWait(200);
    };
    mb.MBClosePort();
    QTest::qWait(100);
    EXPECT_EQ(mb.MBNumberOfReceivedBytes(), 0);

    // Bytes left in the line from before are purged by the next open.
    mb.OnMBBusyChanged = nullptr;
    ASSERT_TRUE(pty.Write("stale"));
    mb.MBOpenPort();
    ASSERT_TRUE(pty.Write("fresh"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return mb.MBNumberOfReceivedBytes() >= 5; }, 10000));
    QTest::qWait(50);
    EXPECT_EQ(Received(mb), QByteArray("fresh"));
}

TEST_F(OpenClose, WritesWhileClosedSendNothing)
{
    OpenPort(QStringLiteral("kv508sim0"));
    EXPECT_TRUE(WriteToPort(mb, "open"));
    EXPECT_EQ(pty.Read(4), QByteArray("open"));
    mb.MBClosePort();
    EXPECT_TRUE(WriteToPort(mb, "closed")); // nothing sent, nothing reported
    EXPECT_TRUE(pty.Read(1, 300).isEmpty());
}

// The line goes away under an open port: the component closes as if asked to,
// sleeps, re-probes, and another port opens fine.
TEST_F(OpenClose, HangUpClosesTheComponentAndAnotherPortOpens)
{
    TPty second;
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("kv508sim1"), second.SlavePath()));
    OpenPort(QStringLiteral("kv508sim0"));
    mb.setMBMasterCommandToSlave(1); // a transaction in flight, waiting for its answer
    mb.MBClearTxData();
    mb.MBMasterStart(0);
    ASSERT_TRUE(Core(mb).m_awaitingAnswer);
    events.clear();

    pty.Hangup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !mb.MBPortOpen(); }, 10000));
    EXPECT_EQ(events, (QStringList{"now:Port Error", "end:Closed Port", "PortClosed", "port:0"}));
    EXPECT_FALSE(Core(mb).m_LinkOpen);
    EXPECT_EQ(mb.MBStatus(), TMB::stClosedPort);
    EXPECT_FALSE(mb.OpenButton->isChecked());
    EXPECT_TRUE(mb.RefreshButton->isEnabled());
    EXPECT_EQ(Items(mb.PortList).filter(QStringLiteral("kv508sim")), QStringList{"kv508sim1"}); // re-probed
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    const qint64 cpu = CpuMsOverEventLoop(1000);
    RecordProperty("cpu_ms_after_hangup", static_cast<int>(cpu));
    EXPECT_LT(cpu, 150);
    EXPECT_EQ(events.filter(QStringLiteral("port:")).size(), 1);

    mb.setMBMode(TMB::modeByte);
    OpenPort(QStringLiteral("kv508sim1"));
    ASSERT_TRUE(second.Write("again"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return mb.MBNumberOfReceivedBytes() >= 5; }, 10000));
    EXPECT_EQ(Received(mb), QByteArray("again"));
}

TEST_F(OpenClose, RefreshListsHighestFirstAndSelectsTheLastUsedPortWhateverItsCase)
{
    TPty p2, p10;
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("kv508sim2"), p2.SlavePath()));
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("kv508sim10"), p10.SlavePath()));

    const struct {
        const char *lastUsed;
        const char *selected;
    } cases[] = {
        {"", "kv508sim10"},          // none: the first (highest) entry
        {"KV508SIM2", "kv508sim2"},  // letter case ignored; the entry's spelling is kept
        {"ttyUSB99", "kv508sim10"},  // gone: the first entry again
        {"kv508sim0", "kv508sim0"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lastUsed);
        mb.setMBLastUsedPort(QString::fromLatin1(c.lastUsed));
        mb.RefreshPortList();
        const QStringList items = Items(mb.PortList);
        EXPECT_EQ(items.mid(0, 3), (QStringList{"kv508sim10", "kv508sim2", "kv508sim0"}));
        EXPECT_EQ(Selected(mb.PortList), QString::fromLatin1(c.selected));
        EXPECT_EQ(mb.MBLastUsedPort(), QString::fromLatin1(c.selected));
        EXPECT_TRUE(mb.OpenButton->isEnabled());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }

    // A refresh takes the bold "stale list" mark off the button.
    QFont bold = mb.RefreshButton->font();
    bold.setBold(true);
    mb.RefreshButton->setFont(bold);
    mb.RefreshPortList();
    EXPECT_FALSE(mb.RefreshButton->font().bold());

    // While open the button is disabled and a refresh changes nothing.
    mb.setMBLastUsedPort(QStringLiteral("kv508sim2"));
    mb.RefreshPortList();
    mb.MBOpenPort();
    ASSERT_TRUE(mb.MBPortOpen());
    const QStringList before = Items(mb.PortList);
    mb.RefreshPortList();
    EXPECT_EQ(Items(mb.PortList), before);
}

// The simulator's arrangement at component level: one TMB on the adopted
// master, one on the serial link opening the published name.
TEST_F(OpenClose, AComponentOnTheDescriptorLinkTalksToOneOnTheSerialLink)
{
    TMB sim;
    sim.SetManualTimers(true);
    sim.setMBMode(TMB::modeByte);
    const int master = ::fcntl(pty.Master(), F_DUPFD_CLOEXEC, 0);
    sim.SetLinkFactory([master] { return MakeFdLink(master); });
    sim.MBOpenPort();
    ASSERT_TRUE(Core(sim).m_LinkOpen) << sim.LastOpenError().toStdString();
    pty.Hangup(); // only the simulator's side holds the master now

    mb.setMBMode(TMB::modeByte);
    for (int session = 0; session < 2; ++session) {
        SCOPED_TRACE(session);
        OpenPort(QStringLiteral("kv508sim0"));
        ASSERT_TRUE(WriteToPort(mb, "M0127FA00F373;"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return sim.MBNumberOfReceivedBytes() >= 14; }, 10000));
        EXPECT_EQ(Received(sim), QByteArray("M0127FA00F373;"));
        ASSERT_TRUE(WriteToPort(sim, "S0127FA00E0070A0B03F9;"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return mb.MBNumberOfReceivedBytes() >= 22; }, 10000));
        EXPECT_EQ(Received(mb), QByteArray("S0127FA00E0070A0B03F9;"));
        mb.MBClosePort();
        Core(sim).ResetReceiver();
        QTest::qWait(50);
        EXPECT_TRUE(sim.MBPortOpen()); // the tool's close is no hang-up for the simulator
    }
}

// A simulator killed without a chance to clean up leaves its link behind; the
// pseudo-terminal may already be someone's terminal window. The list drops the
// name and an open by name fails with the reason, without touching the terminal.
TEST_F(OpenClose, AStaleSimulatorLinkIsNeitherListedNorOpened)
{
    mb.RefreshPortList();
    ASSERT_TRUE(Items(mb.PortList).contains(QStringLiteral("kv508sim0")));
    ReleaseVirtualPortLock(QStringLiteral("kv508sim0"));
    TOpenWatch watch(pty.SlavePath());
    ASSERT_TRUE(watch.Valid());
    mb.RefreshPortList();
    EXPECT_FALSE(Items(mb.PortList).contains(QStringLiteral("kv508sim0")));

    mb.PortList->clear();
    mb.setPort(QStringLiteral("kv508sim0"));
    mb.MBOpenPort();
    EXPECT_FALSE(mb.MBPortOpen());
    EXPECT_TRUE(mb.LastOpenError().startsWith(
        QStringLiteral("TMB : cannot open kv508sim0\rstale simulator link: its simulator is no longer running")))
        << mb.LastOpenError().toStdString();
    EXPECT_FALSE(watch.Opened()) << "the terminal behind a stale link was opened";
}

// With three adapters on the desk, the item under the mouse tells which is
// which; the names stay bare.
TEST_F(OpenClose, EachPortItemShowsWhatSysfsKnowsAboutItsAdapter)
{
    QTemporaryDir root;
    TPty adapter;
    const TFakeUsb ftdi{QStringLiteral("0403"), QStringLiteral("6001"), QStringLiteral("FTDI"),
                        QStringLiteral("FT232R USB UART"), QStringLiteral("AB0LX2QK")};
    ASSERT_TRUE(AddFakeSerialPort(root.path(), QStringLiteral("ttyUSB0"), adapter.SlavePath(),
                                  QStringLiteral("ftdi_sio"), &ftdi));
    qputenv("KV508_PROBE_ROOT", QFile::encodeName(root.path()));
    mb.RefreshPortList();
    qunsetenv("KV508_PROBE_ROOT");

    ASSERT_EQ(Items(mb.PortList), (QStringList{"kv508sim0", "ttyUSB0"}));
    const QString tip = mb.PortList->item(1)->toolTip();
    for (const char *part : {"FTDI", "FT232R USB UART", "AB0LX2QK", "0403:6001", "ftdi_sio"})
        EXPECT_TRUE(tip.contains(QString::fromLatin1(part))) << tip.toStdString();
    EXPECT_TRUE(mb.PortList->item(0)->toolTip().isEmpty()); // nothing known: the list's own hint applies

    // What the mouse shows: the item's text over an adapter, the list's hint elsewhere.
    mb.PortList->setToolTip(QStringLiteral("the hint"));
    mb.show();
    const auto tipAt = [&](int row) {
        QWidget *viewport = mb.PortList->viewport();
        const QPoint at = mb.PortList->visualItemRect(mb.PortList->item(row)).center();
        QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(tipAt(1), tip);
    EXPECT_EQ(tipAt(0), QStringLiteral("the hint"));
}
