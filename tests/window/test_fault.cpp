// Faults of the line and of the user: hang-ups in every state, many open/close
// cycles, a port held by someone else, and random text in the entry edits.
#include "Main.h"
#include "MB.h"
#include "TestPeer.h"
#include "Pty.h"
#include "SerialLink.h"
#include "SoakSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

// A master on a real pseudo-terminal, with every event it raises recorded.
class LineFault : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mb.setMBRefreshListOnStartup(false);
        mb.setMBMode(TMB::modeASCIIMaster);
        mb.setMBBaud(TMB::baud115200);
        mb.OnMBMasterEndOfEvent = [this](TMB::TMBStatus s, const QString &) { ends.push_back(s); };
        mb.OnMBPortOpenedOrClosed = [this](bool open) { portEvents.push_back(open); };
    }

    // Opens mb on the given line; the port list (filled again by every probe
    // after a hang-up) must not choose another port.
    bool OpenOn(const TPty &pty)
    {
        mb.PortList->clear();
        mb.setPort(pty.SlavePath());
        mb.MBOpenPort();
        return mb.MBPortOpen();
    }

    void Query(int payload)
    {
        mb.setMBMasterCommandToSlave(1);
        mb.MBClearTxData();
        for (int i = 0; i < payload; ++i)
            mb.MBPutByte(quint8(i));
        mb.setMBDataNumberToSend(quint16(payload));
        mb.MBMasterStart(0);
    }

    TMB mb;
    std::vector<TMB::TMBStatus> ends;
    std::vector<bool> portEvents;
};

enum class State { Idle, Waiting, Writing };

// The line vanishes under an open port (a USB adapter pulled out): the
// component closes itself as if asked to, ends a transaction in flight once,
// and leaves nothing running behind.
TEST_F(LineFault, HangUpInEveryStateClosesCleanlyAndLeavesNothingRunning)
{
    int descriptors = -1, threads = -1;
    for (int cycle = 0; cycle < 100; ++cycle) {
        const State state = static_cast<State>(cycle % 3);
        TPty pty;
        ASSERT_TRUE(pty.Valid());
        ASSERT_TRUE(OpenOn(pty)) << cycle;
        ends.clear();
        portEvents.clear();

        if (state == State::Waiting) {
            Query(3);
            ASSERT_TRUE(Core(mb).m_awaitingAnswer);
        } else if (state == State::Writing) {
            // Largest frames until the driver takes no more: the link holds the rest.
            auto *link = dynamic_cast<TSerialLink *>(LinkOf(mb));
            ASSERT_NE(link, nullptr);
            for (int i = 0; i < 64 && link->QueuedOutput() == 0; ++i)
                Query(TMB::MaxPayload);
            ASSERT_GT(link->QueuedOutput(), 0) << "the line took everything; nothing is being written";
        }

        pty.Hangup();
        ASSERT_TRUE(QTest::qWaitFor([this] { return !mb.MBPortOpen(); }, 10000)) << "cycle " << cycle;
        EXPECT_EQ(portEvents, std::vector<bool>{false}) << cycle;
        if (state == State::Idle)
            EXPECT_TRUE(ends.empty()) << cycle;
        else
            EXPECT_EQ(ends, std::vector<TMB::TMBStatus>{TMB::stClosedPort}) << cycle;
        EXPECT_EQ(LinkOf(mb), nullptr);
        EXPECT_FALSE(Core(mb).m_awaitingAnswer);
        EXPECT_FALSE(mb.OpenButton->isChecked()) << "the panel still shows the open view";

        if (cycle == 2) { // one of each state behind us: lazily made resources exist now
            descriptors = robust::OpenDescriptors();
            threads = robust::Threads();
        }
    }
    EXPECT_EQ(robust::OpenDescriptors(), descriptors);
    EXPECT_EQ(robust::Threads(), threads);

    // Nothing spins after the last hang-up.
    const double before = robust::CpuMs();
    robust::RunFor(1000);
    EXPECT_LT(robust::CpuMs() - before, 50.0) << "CPU ms used in the second after the hang-ups";
}

// Many opens and closes, some with a transaction waiting or bytes arriving:
// every close is quick, and nothing accumulates.
TEST_F(LineFault, ThousandOpenCloseCyclesLeakNothingAndCloseQuickly)
{
    TPty pty;
    ASSERT_TRUE(pty.Valid());
    int descriptors = -1, threads = -1;
    long resident = -1;
    qint64 slowest = 0;
    for (int cycle = 0; cycle < 1000; ++cycle) {
        ASSERT_TRUE(OpenOn(pty)) << cycle << ": " << mb.LastOpenError().toStdString();
        if (cycle % 3 == 1)
            Query(3);
        if (cycle % 5 == 2) {
            ASSERT_TRUE(pty.Write("S0127"));
        }
        QTest::qWait(0);
        QElapsedTimer clock;
        clock.start();
        mb.MBClosePort();
        slowest = std::max(slowest, clock.elapsed());
        ASSERT_FALSE(mb.MBPortOpen());
        pty.ReadAvailable(); // what the queries wrote
        if (cycle == 20) {
            descriptors = robust::OpenDescriptors();
            threads = robust::Threads();
            resident = robust::ResidentKb();
        }
    }
    EXPECT_LT(slowest, 100) << "slowest close in ms";
    EXPECT_EQ(robust::OpenDescriptors(), descriptors);
    EXPECT_EQ(robust::Threads(), threads);
    if (!robust::Sanitized()) {
        EXPECT_LT(robust::ResidentKb() - resident, 1024) << "resident memory growth in kB";
    }
}

// Only one program may hold a port, whoever runs it (root included: TIOCEXCL
// does not stop root, the lock does), and the user is told why.
TEST_F(LineFault, SecondOpenOfAHeldPortFailsWithAClearMessage)
{
    TPty pty;
    ASSERT_TRUE(pty.Valid());
    ASSERT_TRUE(OpenOn(pty));

    TMB second;
    second.setMBRefreshListOnStartup(false);
    std::vector<bool> secondEvents;
    second.OnMBPortOpenedOrClosed = [&](bool open) { secondEvents.push_back(open); };
    second.PortList->clear();
    second.setPort(pty.SlavePath());
    second.MBOpenPort();
    EXPECT_FALSE(second.MBPortOpen());
    EXPECT_TRUE(secondEvents.empty());
    const QString prefix = QStringLiteral("TMB : cannot open ") + pty.SlavePath();
    EXPECT_TRUE(second.LastOpenError().startsWith(prefix)) << second.LastOpenError().toStdString();
    EXPECT_GT(second.LastOpenError().size(), prefix.size() + 1) << "the system's reason is missing";
    EXPECT_TRUE(mb.MBPortOpen()) << "the holder lost its port";

    // Another program's lock counts the same.
    mb.MBClosePort();
    const int other = ::open(pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    second.PortList->clear();
    second.MBOpenPort();
    EXPECT_FALSE(second.MBPortOpen());
    EXPECT_TRUE(second.LastOpenError().startsWith(prefix));
    ::close(other);

    // Once free, it opens.
    second.PortList->clear();
    second.MBOpenPort();
    EXPECT_TRUE(second.MBPortOpen()) << second.LastOpenError().toStdString();
    second.MBClosePort();
    if (::geteuid() == 0)
        RecordProperty("ran_as_root", "yes");
}

// Text a user can type (or paste) into the settings edits: never an error, always
// a normalised number in range written back.
TEST(EntryEdits, RandomTextAlwaysNormalisesIntoRange)
{
    TForm1 form;
    struct TEditRange {
        TEdit *edit;
        qint32 low, high;
    };
    const std::vector<TEditRange> edits = {{form.Edit_iFizFor4mA, -9999, 9999},
                                           {form.Edit_iFizFor20mA, -9999, 9999},
                                           {form.Edit_Averaging, 1, 1600}};
    const QStringList pieces = {QStringLiteral("0"),   QStringLiteral("7"),     QStringLiteral("12345"),
                                QStringLiteral("-"),   QStringLiteral("+"),     QStringLiteral(" "),
                                QStringLiteral("$"),   QStringLiteral("x"),     QStringLiteral("0x"),
                                QStringLiteral("FF"),  QStringLiteral("abc"),   QStringLiteral("."),
                                QStringLiteral(","),   QStringLiteral("e5"),    QStringLiteral("ő"),
                                QStringLiteral("٣"),   QStringLiteral("\t"),    QStringLiteral("99999999999"),
                                QStringLiteral("-0"),  QStringLiteral("2147483648"), QStringLiteral("\u00A0"),
                                QStringLiteral("1e3"), QStringLiteral("$7FFFFFFF"),  QStringLiteral("0x-1")};
    QRandomGenerator random(508);
    const int rounds = robust::FullSize() ? 100000 : 3000;
    for (int round = 0; round < rounds; ++round) {
        const TEditRange &target = edits[random.bounded(int(edits.size()))];
        QString text;
        const int parts = random.bounded(5);
        for (int i = 0; i < parts; ++i)
            text += random.bounded(4) == 0 ? QString(QChar(char16_t(random.bounded(0x20, 0x250))))
                                           : pieces[random.bounded(int(pieces.size()))];
        target.edit->setText(text);
        emit target.edit->Exit(); // what leaving the edit does

        for (const TEditRange &e : edits) {
            bool ok = false;
            const int value = e.edit->text().toInt(&ok);
            ASSERT_TRUE(ok) << "\"" << text.toStdString() << "\" left \"" << e.edit->text().toStdString() << "\"";
            EXPECT_EQ(e.edit->text(), QString::number(value)) << "not written back normalised";
            EXPECT_GE(value, e.low);
            EXPECT_LE(value, e.high);
        }
        EXPECT_EQ(form.SettingsToWrite.iFizFor4mA, form.Edit_iFizFor4mA->text().toInt());
        EXPECT_EQ(form.SettingsToWrite.iFizFor20mA, form.Edit_iFizFor20mA->text().toInt());
        EXPECT_EQ(form.SettingsToWrite.Averaging, form.Edit_Averaging->text().toInt());
        ASSERT_EQ(QApplication::activeModalWidget(), nullptr) << "a dialog opened for \"" << text.toStdString() << "\"";
        if (HasFailure())
            break;
    }
    for (QWidget *w : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<QMessageBox *>(w) && w->isVisible()) << "an error was shown";
}

} // namespace
