// Coming back after a hang-up: the component looks for the same adapter
// under any name and opens it again; the window remembers the adapter across
// runs. Pseudo-terminals published as virtual ports play the adapters; the
// lock file's serial number is their identity.
#include "Main.h"
#include "MB.h"
#include "Pty.h"
#include "TestPeer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <memory>

namespace {

QString Selected(const QListWidget *list)
{
    return list->currentItem() ? list->currentItem()->text() : QString();
}

class Reconnect : public ::testing::Test
{
protected:
    void SetUp() override
    {
        UseScratchVirtualPortDir();
        ASSERT_TRUE(PublishVirtualPort(QStringLiteral("kv508sim0"), first.SlavePath(), QStringLiteral("ADAPTER-A")));
        mb.SetManualTimers(true);
        mb.setMBMode(TMB::modeByte);
        mb.OnMBPortOpenedOrClosed = [this](bool open) { events << QStringLiteral("port:%1").arg(open); };
        mb.OnReconnectingChanged = [this](bool on) { events << QStringLiteral("reconnecting:%1").arg(on); };
        mb.SetReconnectOnHangUp(true);
        mb.setMBLastUsedPort(QStringLiteral("kv508sim0"));
        mb.RefreshPortList();
        mb.MBOpenPort();
        ASSERT_TRUE(mb.MBPortOpen());
        events.clear();
    }

    void LoseThePort()
    {
        first.Hangup();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !mb.MBPortOpen(); }, 10000));
        ReleaseVirtualPortLock(QStringLiteral("kv508sim0"));
    }

    QStringList events;
    TPty first;
    TMB mb;
};

} // namespace

TEST_F(Reconnect, TheSameAdapterUnderANewNameIsOpenedAgainAndAnotherIsNot)
{
    EXPECT_EQ(mb.PortIdentity(), QStringLiteral("virtual kv508-sim serial ADAPTER-A"));
    LoseThePort();
    EXPECT_TRUE(mb.Reconnecting());
    EXPECT_EQ(events, (QStringList{"port:0", "reconnecting:1"}));
    EXPECT_EQ(mb.StatusLine->text(), QStringLiteral("Reconnecting…"));
    EXPECT_TRUE(mb.StatusLine->toolTip().contains(QStringLiteral("ADAPTER-A")));

    // Nothing there yet; then another adapter takes the old name: not taken.
    TMBTestPeer::ReconnectTick(mb);
    TPty other, back;
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("kv508sim0"), other.SlavePath(), QStringLiteral("ADAPTER-B")));
    TMBTestPeer::ReconnectTick(mb);
    EXPECT_FALSE(mb.MBPortOpen());
    EXPECT_TRUE(mb.Reconnecting());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr); // the looks run quietly

    // The adapter returns as kv508sim1: opened, and what it sends arrives.
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("kv508sim1"), back.SlavePath(), QStringLiteral("ADAPTER-A")));
    TMBTestPeer::ReconnectTick(mb);
    ASSERT_TRUE(mb.MBPortOpen());
    EXPECT_EQ(mb.Port(), QStringLiteral("kv508sim1"));
    EXPECT_EQ(mb.MBLastUsedPort(), QStringLiteral("kv508sim1"));
    EXPECT_FALSE(mb.Reconnecting());
    EXPECT_EQ(events, (QStringList{"port:0", "reconnecting:1", "port:1", "reconnecting:0"}));
    EXPECT_NE(mb.StatusLine->text(), QStringLiteral("Reconnecting…"));
    ASSERT_TRUE(back.Write("hello"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return mb.MBNumberOfReceivedBytes() >= 5; }, 10000));
    ReleaseVirtualPortLock(QStringLiteral("kv508sim0"));
    ReleaseVirtualPortLock(QStringLiteral("kv508sim1"));
}

TEST_F(Reconnect, TheUsersOwnCloseAPanelButtonOrTheEndOfTheMinuteStopIt)
{
    // Closed by the user: nothing waits.
    mb.MBClosePort();
    EXPECT_FALSE(mb.Reconnecting());
    mb.MBOpenPort();
    ASSERT_TRUE(mb.MBPortOpen());

    // Any button of the panel ends the wait.
    LoseThePort();
    ASSERT_TRUE(mb.Reconnecting());
    mb.ClearButton->click();
    EXPECT_FALSE(mb.Reconnecting());
    EXPECT_EQ(events.last(), QStringLiteral("reconnecting:0"));

    // A minute without the adapter ends it too; a late return is not taken.
    TPty again;
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("kv508sim0"), again.SlavePath(), QStringLiteral("ADAPTER-A")));
    mb.setMBLastUsedPort(QStringLiteral("kv508sim0"));
    mb.RefreshPortList();
    mb.MBOpenPort();
    ASSERT_TRUE(mb.MBPortOpen());
    again.Hangup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !mb.MBPortOpen(); }, 10000));
    ASSERT_TRUE(mb.Reconnecting());
    TMBTestPeer::EndReconnectWindow(mb);
    TPty late;
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("kv508sim2"), late.SlavePath(), QStringLiteral("ADAPTER-A")));
    TMBTestPeer::ReconnectTick(mb);
    EXPECT_FALSE(mb.Reconnecting());
    EXPECT_FALSE(mb.MBPortOpen());
    ReleaseVirtualPortLock(QStringLiteral("kv508sim0"));
    ReleaseVirtualPortLock(QStringLiteral("kv508sim2"));
}

// The window keeps the adapter it opened, and chooses it at the next start
// even when it came back under another name.
TEST(RememberedPort, TheNextStartSelectsTheSameAdapterUnderItsNewName)
{
    // Only this test's ports: no device tree of the machine.
    const QTemporaryDir noDevices;
    const QByteArray probeRoot = qgetenv("KV508_PROBE_ROOT");
    qputenv("KV508_PROBE_ROOT", QFile::encodeName(noDevices.path()));
    const auto restore = qScopeGuard([&] {
        if (probeRoot.isNull())
            qunsetenv("KV508_PROBE_ROOT");
        else
            qputenv("KV508_PROBE_ROOT", probeRoot);
    });
    UseScratchVirtualPortDir();
    TPty a, b;
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("kv508sim0"), a.SlavePath(), QStringLiteral("RIG-1")));
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("kv508sim1"), b.SlavePath(), QStringLiteral("RIG-2")));
    {
        auto form = std::make_unique<TForm1>();
        form->MB1->SetManualTimers(true);
        form->MB1->RefreshPortList();
        form->MB1->PortList->setCurrentRow(form->MB1->PortList->count() - 1); // kv508sim0: lowest last
        ASSERT_EQ(Selected(form->MB1->PortList), QStringLiteral("kv508sim0"));
        form->Button_OpenOrCloceSerialPortClick();
        ASSERT_TRUE(form->MB1->MBPortOpen());
        form->Button_OpenOrCloceSerialPortClick();
    }
    const QSettings settings = TForm1::PortSettings();
    EXPECT_EQ(settings.value(QStringLiteral("port/name")).toString(), QStringLiteral("kv508sim0"));
    EXPECT_EQ(settings.value(QStringLiteral("port/identity")).toString(), QStringLiteral("virtual kv508-sim serial RIG-1"));

    // Next run: RIG-1 came back as kv508sim3, and another adapter has its old name.
    ReleaseVirtualPortLock(QStringLiteral("kv508sim0"));
    TPty c, d;
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("kv508sim0"), c.SlavePath(), QStringLiteral("RIG-9")));
    ASSERT_TRUE(PublishVirtualPort(QStringLiteral("kv508sim3"), d.SlavePath(), QStringLiteral("RIG-1")));
    TForm1 form;
    form.MB1->SetManualTimers(true);
    form.MB1->RefreshPortList();
    EXPECT_EQ(Selected(form.MB1->PortList), QStringLiteral("kv508sim3"));

    // Lost while open: the window says so plainly until the port is back.
    form.Button_OpenOrCloceSerialPortClick();
    ASSERT_TRUE(form.MB1->MBPortOpen());
    d.Hangup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.MB1->MBPortOpen(); }, 10000));
    const auto *label = form.findChild<QLabel *>(QStringLiteral("Label_Reconnecting"));
    ASSERT_NE(label, nullptr);
    EXPECT_FALSE(label->isHidden());
    form.MB1->RefreshButton->click();
    EXPECT_TRUE(label->isHidden());
    for (const char *name : {"kv508sim0", "kv508sim1", "kv508sim3"})
        ReleaseVirtualPortLock(QString::fromLatin1(name));
}
