// Coming back after a hang-up: the component looks for the same adapter
// under any name and opens it again; the window remembers the adapter across
// runs. Pseudo-terminals published as virtual ports play the adapters; the
// lock file's serial number is their identity.
#include "Main.h"
#include "MB.h"
#include "Pty.h"
#include "TestPeer.h"
#include "SimProcess.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

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

namespace {

// What a reference ammeter in the simulator's loop says about the drive.
QString AmmeterLine(TSimProcess &sim)
{
    const qsizetype seen = sim.Stderr().size();
    sim.Command(QStringLiteral("ammeter"));
    QString line;
    (void)QTest::qWaitFor(
        [&] {
            for (const QString &l : sim.Stderr().mid(seen).split(QLatin1Char('\n')))
                if (l.contains(QStringLiteral("ammeter loop_ma=")))
                    line = l;
            return !line.isEmpty();
        },
        10000);
    return line;
}

QAbstractButton *ButtonOf(QMessageBox *box, const QString &text)
{
    for (QAbstractButton *b : box->buttons())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace

// Two simulators playing the same adapter (the same --serial), as two USB
// adapters with one serial number would: the window takes the port back from
// either, but writes nothing to another instrument until it is told to.
TEST(ReconnectIdentity, AnotherInstrumentBehindTheSameAdapterIsOnlyReadUntilAccepted)
{
    constexpr int kWait = 30000;
    UseScratchVirtualPortDir();
    QTemporaryDir dir;
    const QStringList rigA{QStringLiteral("--serial"), QStringLiteral("RIG-7"), QStringLiteral("--no-line-time"),
                           QStringLiteral("--state"), dir.filePath(QStringLiteral("a.json"))};
    const QStringList rigB{QStringLiteral("--serial"), QStringLiteral("RIG-7"), QStringLiteral("--no-line-time"),
                           QStringLiteral("--blank")};
    std::vector<int> sent; // the commands of every transaction that ended well
    TForm1 form;
    TMB *mb = form.MB1;
    mb->OnMBMasterEndOfEvent = [&](TMBStatus status, const QString &text) {
        if (status == TMB::stOK)
            sent.push_back(mb->MBMasterCommandToSlave());
        form.MB1MBMasterEndOfEvent(status, text);
    };
    const auto pollsAfter = [&](std::size_t from, int n) {
        return QTest::qWaitFor([&] { return std::count(sent.begin() + std::ptrdiff_t(from), sent.end(), int(TForm1::Cmd_Poll)) >= n; }, kWait);
    };
    const auto sentSince = [&](std::size_t from, int command) {
        return std::count(sent.begin() + std::ptrdiff_t(from), sent.end(), command) > 0;
    };

    auto sim = std::make_unique<TSimProcess>();
    ASSERT_TRUE(sim->Start(rigA)) << sim->Stderr().toStdString();
    mb->RefreshPortList();
    ASSERT_TRUE(SelectSimPort(*mb, *sim));
    form.Button_OpenOrCloceSerialPort->click();
    ASSERT_TRUE(mb->MBPortOpen());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.SpeedButton_ReadSettings->isChecked(); }, kWait));
    form.SpeedButton_PWMForce->click(); // the output forced, as in calibration step 5
    ASSERT_TRUE(pollsAfter(sent.size(), 2));

    // The same instrument returns: polling and the latched write go on unasked.
    sim->Kill();
    ASSERT_TRUE(QTest::qWaitFor([&] { return mb->Reconnecting(); }, kWait));
    form.SpeedButton_WriteSettings2->click();
    sim = std::make_unique<TSimProcess>();
    ASSERT_TRUE(sim->Start(rigA)) << sim->Stderr().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.SpeedButton_WriteSettings2->isChecked(); }, kWait));
    EXPECT_EQ(form.IdentityQuestion(), nullptr);
    EXPECT_FALSE(form.WritesHeld());

    // Another instrument (erased) behind the same adapter: asked about, and
    // meanwhile only read, the output not forced, the latched write kept.
    sim->Kill();
    ASSERT_TRUE(QTest::qWaitFor([&] { return mb->Reconnecting(); }, kWait));
    form.SpeedButton_WriteSettings2->click();
    auto other = std::make_unique<TSimProcess>();
    ASSERT_TRUE(other->Start(rigB)) << other->Stderr().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return mb->MBPortOpen(); }, kWait));
    const std::size_t reopened = sent.size();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.IdentityQuestion() != nullptr; }, kWait));
    QMessageBox *box = form.IdentityQuestion();
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isModal());
    const QString text = box->text();
    EXPECT_TRUE(text.contains(QStringLiteral("The instrument on %1 is not the one that was connected").arg(mb->Port())))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("calibration date"))) << text.toStdString();
    ASSERT_TRUE(pollsAfter(reopened, 3));
    EXPECT_TRUE(form.WritesHeld());
    EXPECT_TRUE(form.SpeedButton_WriteSettings2->isChecked());
    EXPECT_FALSE(sentSince(reopened, TForm1::Cmd_WriteSettings2));
    EXPECT_TRUE(AmmeterLine(*other).contains(QStringLiteral("forced=0"))) << AmmeterLine(*other).toStdString();

    // Accepted: the write goes out and the output is forced again.
    QAbstractButton *keep = ButtonOf(box, QStringLiteral("Continue with this instrument"));
    ASSERT_NE(keep, nullptr);
    keep->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.SpeedButton_WriteSettings2->isChecked(); }, kWait));
    EXPECT_FALSE(form.WritesHeld());
    ASSERT_TRUE(pollsAfter(sent.size(), 2));
    EXPECT_TRUE(AmmeterLine(*other).contains(QStringLiteral("forced=1")));

    // The first instrument in place of the one accepted: asked again; "Close the port" closes it.
    other->Kill();
    ASSERT_TRUE(QTest::qWaitFor([&] { return mb->Reconnecting(); }, kWait));
    sim = std::make_unique<TSimProcess>();
    ASSERT_TRUE(sim->Start(rigA)) << sim->Stderr().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.IdentityQuestion() != nullptr; }, kWait));
    QAbstractButton *close = ButtonOf(form.IdentityQuestion(), QStringLiteral("Close the port"));
    ASSERT_NE(close, nullptr);
    close->click();
    EXPECT_FALSE(mb->MBPortOpen());
    EXPECT_FALSE(mb->Reconnecting());
    EXPECT_FALSE(form.WritesHeld());
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.IdentityQuestion() == nullptr; }, kWait));
}
