// The line monitor window on the fake link: the tap only once it exists,
// every verdict from the window's own traffic, recording while paused or
// hidden, the ring's bound under a model tester, the filters, and the text,
// CSV and file output byte for byte.
#include "Language.h"
#include "LineMonitorWindow.h"
#include "MonitorModel.h"
#include "TextFit.h"
#include "Pty.h"
#include "Tools.h"
#include "SimProcess.h"
#include "AppTest.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <ctime>
#include <set>

using kv508::TVerdict;
using linemon::TRow;

namespace {

class LineMonitorTest : public AppTest
{
protected:
    TLineMonitorWindow *OpenMonitor()
    {
        return qobject_cast<TLineMonitorWindow *>(form->Tools()->Open(TToolWindows::LineMonitor));
    }

    // The list's verdict column, top to bottom.
    static QStringList Verdicts(const TMonitorModel &m, int from = 0)
    {
        QStringList v;
        for (int r = from; r < m.rowCount(); ++r)
            v << m.index(r, TMonitorModel::ColVerdict).data().toString();
        return v;
    }

    // An answer frame of the query in flight, with address and ID of choice.
    QByteArray AnswerFrame(const QByteArray &payload, quint8 address = 1, quint8 id = 39, quint8 status = 0)
    {
        QByteArray f;
        f.append(char(address));
        f.append(char(id));
        f.append(char(mb->MBMasterCommandToSlave()));
        f.append(char(status));
        f += payload;
        const quint16 crc = TMB::MBCrc16(reinterpret_cast<const quint8 *>(f.constData()), f.size());
        f.append(char(crc & 0xFF));
        f.append(char(crc >> 8));
        return "S" + f.toHex().toUpper() + ";";
    }
};

TEST_F(LineMonitorTest, TapsOnlyOnceMadeAndShowsEachVerdict)
{
    Open();
    Serve();
    // Nothing listens to the line before the monitor is first opened.
    EXPECT_FALSE(mb->OnLineTap);
    TLineMonitorWindow *w = OpenMonitor();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isWindow());
    EXPECT_TRUE(mb->OnLineTap);

    // An answer, then one damaged on the line before the good one.
    ASSERT_EQ(Send().command, TForm1::Cmd_ReadSettings);
    Answer(SettingsPayload(stored));
    ASSERT_EQ(Send().command, TForm1::Cmd_Poll);
    QByteArray bad = AnswerFrame(LivePayload(live));
    bad[bad.size() - 2] = bad[bad.size() - 2] == '0' ? '1' : '0';
    Deliver(*mb, bad);
    Answer(LivePayload(live));
    // Junk before an answer the instrument refuses.
    ASSERT_EQ(Send().command, TForm1::Cmd_Poll);
    Deliver(*mb, "\r\n#");
    Answer({}, 255);
    // Another address, then another ID (which the component takes as a slave error).
    ASSERT_EQ(Send().command, TForm1::Cmd_Poll);
    Deliver(*mb, AnswerFrame(LivePayload(live), 2));
    Deliver(*mb, AnswerFrame(LivePayload(live), 1, 40));
    EXPECT_EQ(mb->MBStatus(), TMB::stSlaveError);
    // Five tries unanswered, and the answer that comes after all.
    ASSERT_EQ(Send().command, TForm1::Cmd_Poll);
    TimeOut();
    EXPECT_EQ(mb->MBStatus(), TMB::stTimeOut);
    Deliver(*mb, AnswerFrame(LivePayload(live)));

    w->SyncNow();
    const TMonitorModel &m = *w->Model();
    const QString q = QStringLiteral("query"), to = QStringLiteral("time-out");
    EXPECT_EQ(Verdicts(m), (QStringList{q, QStringLiteral("answer"), q, QStringLiteral("CRC error"), QStringLiteral("answer"), q,
                                        QStringLiteral("malformed"), QStringLiteral("answer: slave error"), q,
                                        QStringLiteral("foreign address"), QStringLiteral("foreign ID"), q, to, q, to, q, to, q,
                                        to, q, to, QStringLiteral("late answer, dropped")}));

    // Each row's columns, and a colour for every verdict but the query.
    EXPECT_EQ(m.index(0, TMonitorModel::ColCommand).data().toString(), QStringLiteral("8 read-settings"));
    EXPECT_EQ(m.index(0, TMonitorModel::ColDirection).data().toString(), QStringLiteral("TX →"));
    EXPECT_EQ(m.index(1, TMonitorModel::ColDirection).data().toString(), QStringLiteral("RX ←"));
    EXPECT_TRUE(m.index(4, TMonitorModel::ColFields).data().toString().startsWith(QStringLiteral("p=34.5 out=4.000mA")));
    EXPECT_EQ(m.index(6, TMonitorModel::ColRaw).data().toString(), QStringLiteral("\\r\\n#"));
    EXPECT_EQ(m.index(6, TMonitorModel::ColCommand).data().toString(), QStringLiteral("—"));
    qint64 lastMs = 0;
    for (int r = 0; r < m.rowCount(); ++r) {
        const qint64 ms = m.index(r, TMonitorModel::ColMs).data().toLongLong();
        EXPECT_GE(ms, lastMs) << r;
        lastMs = ms;
        const bool plain = Verdicts(m)[r] == q;
        EXPECT_EQ(m.index(r, TMonitorModel::ColVerdict).data(Qt::ForegroundRole).isValid(), !plain) << r;
    }
}

// Switched between the languages with frames recorded and a filter chosen:
// the frames and the filter stay, the headings and the rows' verdicts are
// said anew (the cells laid out before are not shown stale), nothing clips.
TEST_F(LineMonitorTest, SwitchesLanguageKeepingFramesAndFilter)
{
    const auto speak = [](Language::TLanguage language) {
        Language::Apply(language);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
        QCoreApplication::processEvents(); // the layouts the new words ask for
    };
    Open();
    TLineMonitorWindow *w = OpenMonitor();
    w->show();
    for (int i = 0; i < 4; ++i)
        Serve();
    auto *commands = w->findChild<QComboBox *>();
    ASSERT_NE(commands, nullptr);
    commands->setCurrentIndex(commands->findData(int(TForm1::Cmd_Poll)));
    w->SyncNow();
    TMonitorModel *m = w->Model();
    const int rows = m->rowCount();
    ASSERT_GT(rows, 0);
    const QString raw = m->index(0, TMonitorModel::ColRaw).data().toString();
    QSignalSpy headings(m, &QAbstractItemModel::headerDataChanged);

    speak(Language::TLanguage::Hungarian);
    EXPECT_GE(headings.count(), 1);
    EXPECT_EQ(m->rowCount(), rows);
    EXPECT_EQ(m->Filter().command, int(TForm1::Cmd_Poll));
    EXPECT_EQ(commands->currentData().toInt(), int(TForm1::Cmd_Poll));
    EXPECT_EQ(m->index(0, TMonitorModel::ColRaw).data().toString(), raw);
    EXPECT_EQ(m->headerData(TMonitorModel::ColVerdict, Qt::Horizontal).toString(), QStringLiteral("Minősítés"));
    EXPECT_TRUE(Verdicts(*m).contains(QStringLiteral("kérés"))) << Verdicts(*m).join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(w->windowTitle().contains(QStringLiteral("Vonalfigyelő")));
    QStringList clipped = ClippedTexts(w);
    EXPECT_TRUE(clipped.isEmpty()) << clipped.join(QLatin1Char('\n')).toStdString();

    speak(Language::TLanguage::English);
    EXPECT_EQ(m->rowCount(), rows);
    EXPECT_EQ(m->headerData(TMonitorModel::ColVerdict, Qt::Horizontal).toString(), QStringLiteral("Verdict"));
    EXPECT_TRUE(Verdicts(*m).contains(QStringLiteral("query")));
    clipped = ClippedTexts(w);
    EXPECT_TRUE(clipped.isEmpty()) << clipped.join(QLatin1Char('\n')).toStdString();
}

TEST_F(LineMonitorTest, RecordsWhilePausedOrHiddenAndCopiesRows)
{
    TLineMonitorWindow *w = OpenMonitor();
    Open();
    Serve();
    w->SyncNow();
    ASSERT_EQ(w->Model()->rowCount(), 2);

    w->SetPaused(true);
    Serve();
    w->SyncNow();
    EXPECT_EQ(w->Model()->rowCount(), 2); // the list stands still
    EXPECT_EQ(w->Ring().Size(), 4u);      // the line does not
    EXPECT_EQ(w->Model()->Unseen(), 2u);
    w->SetPaused(false);
    EXPECT_EQ(w->Model()->rowCount(), 4);

    w->close();
    Serve();
    EXPECT_EQ(w->Ring().Size(), 6u);
    EXPECT_EQ(w->Model()->rowCount(), 4); // hidden: nothing is shown
    EXPECT_EQ(OpenMonitor(), w);
    EXPECT_EQ(w->Model()->rowCount(), 6);

    // Copy gives the saved text's lines of the selected rows, in order.
    w->View()->selectRow(5);
    w->View()->selectionModel()->select(w->Model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QString copied = w->SelectedText();
    EXPECT_EQ(copied, QString::fromUtf8(linemon::TextLine(2, w->Ring().At(1)) + '\n' + linemon::TextLine(6, w->Ring().At(5)) + '\n'));

    // Clear forgets the rows; numbering goes on.
    w->Clear();
    EXPECT_EQ(w->Model()->rowCount(), 0);
    Serve();
    w->SyncNow();
    ASSERT_EQ(w->Model()->rowCount(), 2);
    EXPECT_EQ(w->Model()->index(0, TMonitorModel::ColNo).data().toString(), QStringLiteral("7"));
}

TEST_F(LineMonitorTest, CopyAndSaveAfterTheRingMovedOn)
{
    TLineMonitorWindow w(*form, 3);
    w.show();
    Open();
    Serve();
    w.SyncNow();
    w.View()->selectAll();
    Serve(); // the selected rows leave the ring before the list's next batch
    Serve();
    EXPECT_EQ(w.SelectedText(), QString());
    w.CopySelection();
    EXPECT_EQ(w.Model()->rowCount(), 3);
    EXPECT_EQ(w.Model()->NumberAt(0), 3u);
}

// Opened while the window polls: the answer to a query sent before is one
// the window took, and the rest of an answer under way is no noise row.
TEST_F(LineMonitorTest, OpenedInTheMiddleOfATransaction)
{
    Open();
    Serve();
    Serve();
    {
        ASSERT_EQ(Send().command, TForm1::Cmd_Poll);
        TLineMonitorWindow w(*form);
        Answer(LivePayload(live));
        EXPECT_EQ(mb->MBStatus(), TMB::stOK);
        Serve();
        w.SyncNow();
        EXPECT_EQ(Verdicts(*w.Model()),
                  (QStringList{QStringLiteral("answer (query not seen)"), QStringLiteral("query"), QStringLiteral("answer")}));
        EXPECT_TRUE(w.Model()->index(0, TMonitorModel::ColFields).data().toString().startsWith(QStringLiteral("p=34.5")));
    }
    {
        ASSERT_EQ(Send().command, TForm1::Cmd_Poll);
        const QByteArray frame = AnswerFrame(LivePayload(live));
        Deliver(*mb, frame.left(20));
        TLineMonitorWindow w(*form);
        Deliver(*mb, frame.mid(20));
        EXPECT_EQ(mb->MBStatus(), TMB::stOK);
        Serve();
        w.SyncNow();
        EXPECT_EQ(Verdicts(*w.Model()), (QStringList{QStringLiteral("query"), QStringLiteral("answer")}));
    }
}

TEST_F(LineMonitorTest, TheFormClosingWithTheMonitorOpen)
{
    // The component goes before the window does: the window must not touch it.
    OpenMonitor();
    Open();
    Serve();
    form.reset();
    SUCCEED();
}

TEST_F(LineMonitorTest, SavesTheListOffTheWindowsThread)
{
    TLineMonitorWindow *w = OpenMonitor();
    Open();
    Serve();
    Serve();
    linemon::TFilter answers;
    answers.verdicts = 1u << int(TVerdict::Answer);
    w->SetFilter(answers);
    ASSERT_EQ(w->Model()->rowCount(), 2);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("frames.csv"));
    QSignalSpy saved(w, &TLineMonitorWindow::Saved);
    ASSERT_TRUE(w->SaveTo(path));
    EXPECT_FALSE(w->SaveTo(path)); // one at a time
    ASSERT_TRUE(saved.wait(10000));
    EXPECT_EQ(saved.at(0).at(1).toLongLong(), 2);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), linemon::CsvHeader() + linemon::CsvLine(2, w->Ring().At(1)) + linemon::CsvLine(4, w->Ring().At(3)));

    QSignalSpy failed(w, &TLineMonitorWindow::SaveFailed);
    ASSERT_TRUE(w->SaveTo(dir.filePath(QStringLiteral("no/such/folder/frames.txt"))));
    ASSERT_TRUE(failed.wait(10000));
    const QString message = failed.at(0).at(0).toString();
    EXPECT_TRUE(message.contains(QStringLiteral("no/such/folder"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("Choose a folder"))) << message.toStdString();
}

// End to end: the window on the real link, a simulator that loses, damages,
// delays and garbles answers.
TEST(LineMonitorSim, AFaultySimulatorShowsEachVerdict)
{
    UseScratchVirtualPortDir();
    TSimProcess sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--no-line-time"), QStringLiteral("--no-stdin"), QStringLiteral("--seed"),
                           QStringLiteral("3"), QStringLiteral("--drop"), QStringLiteral("15%"), QStringLiteral("--corrupt"),
                           QStringLiteral("15%"), QStringLiteral("--late"), QStringLiteral("10%"), QStringLiteral("--noise"),
                           QStringLiteral("15%")}))
        << sim.Stderr().toStdString();
    TForm1 form;
    form.MB1->setMBRefreshListOnStartup(false);
    auto *w = qobject_cast<TLineMonitorWindow *>(form.Tools()->Open(TToolWindows::LineMonitor));
    ASSERT_NE(w, nullptr);
    form.MB1->setPort(sim.Path());
    form.Button_OpenOrCloceSerialPort->click();
    ASSERT_TRUE(form.MB1->MBPortOpen()) << form.MB1->LastOpenError().toStdString();

    const std::vector<TVerdict> wanted{TVerdict::Query,    TVerdict::Answer,    TVerdict::TimeOut,
                                       TVerdict::CrcError, TVerdict::Malformed, TVerdict::UnexpectedAnswer};
    std::set<TVerdict> seen;
    uint64_t looked = 0;
    QElapsedTimer clock;
    clock.start();
    const bool all = QTest::qWaitFor(
        [&] {
            for (; looked < w->Ring().End(); ++looked)
                if (seen.insert(w->Ring().At(looked).verdict).second)
                    std::printf("%lld ms: first %s\n", static_cast<long long>(clock.elapsed()),
                                kv508::VerdictText(w->Ring().At(looked).verdict));
            return std::all_of(wanted.begin(), wanted.end(), [&](TVerdict v) { return seen.count(v) > 0; });
        },
        60000);
    form.Button_OpenOrCloceSerialPort->click();
    std::string missing;
    for (TVerdict v : wanted)
        if (!seen.count(v))
            missing += std::string(" ") + kv508::VerdictText(v);
    EXPECT_TRUE(all) << "never seen:" << missing;
    // The simulator answers only ID 39 at address 1.
    EXPECT_FALSE(seen.count(TVerdict::ForeignAddress) || seen.count(TVerdict::ForeignId));
}

// ---- the ring and the model on their own ----

TRow Row(TVerdict verdict, int command, const std::string &raw = "M01;")
{
    TRow r;
    r.raw = raw;
    r.verdict = verdict;
    r.hasHeader = command >= 0;
    r.command = uint8_t(std::max(command, 0));
    r.note = command < 0 ? "noise" : "";
    return r;
}

TEST(LineMonitorModel, RingBoundAndFilters)
{
    linemon::TRing ring(5);
    TMonitorModel model(ring);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const auto add = [&ring](int n) {
        for (int i = 0; i < n; ++i) {
            const uint64_t k = ring.End();
            ring.Add(Row(k % 3 == 0 ? TVerdict::Query : k % 3 == 1 ? TVerdict::Answer : TVerdict::CrcError,
                         k % 4 == 0 ? 8 : k % 4 == 1 ? 1 : k % 4 == 2 ? 77 : -1));
        }
    };
    const auto numbers = [&model] {
        std::vector<uint64_t> n;
        for (int r = 0; r < model.rowCount(); ++r)
            n.push_back(model.NumberAt(r));
        return n;
    };

    add(3);
    EXPECT_EQ(model.Sync(true).added, 3);
    add(4); // two of the shown rows go
    const TMonitorModel::TSync s = model.Sync(true);
    EXPECT_EQ(s.removed, 2);
    EXPECT_EQ(s.added, 4);
    EXPECT_EQ(numbers(), (std::vector<uint64_t>{2, 3, 4, 5, 6}));
    add(12); // more than the ring holds between two batches
    model.Sync(true);
    EXPECT_EQ(ring.Size(), 5u);
    EXPECT_EQ(numbers(), (std::vector<uint64_t>{14, 15, 16, 17, 18}));

    // Filters apply to what is kept and to what comes.
    linemon::TFilter f;
    f.command = 1;
    model.SetFilter(f);
    EXPECT_EQ(numbers(), (std::vector<uint64_t>{17}));
    f.command = linemon::TFilter::NoFrame;
    model.SetFilter(f);
    EXPECT_EQ(numbers(), (std::vector<uint64_t>{15}));
    f.command = linemon::TFilter::OtherCommands;
    model.SetFilter(f);
    EXPECT_EQ(numbers(), (std::vector<uint64_t>{14, 18}));
    f.command = linemon::TFilter::AnyCommand;
    f.verdicts = 1u << int(TVerdict::CrcError);
    model.SetFilter(f);
    EXPECT_EQ(numbers(), (std::vector<uint64_t>{14, 17}));
    add(3);
    model.Sync(true);
    EXPECT_EQ(numbers(), (std::vector<uint64_t>{17, 20}));
    add(2); // 17 leaves the ring
    model.Sync(true);
    EXPECT_EQ(numbers(), (std::vector<uint64_t>{20, 23}));

    // Noise keeps its start only: a ring of it must not grow to gigabytes.
    kv508::TFrameRecord noise;
    noise.raw.assign(16000, '#');
    noise.decoded = "noise";
    const TRow cut = linemon::RowOf(noise, 0, 0);
    EXPECT_EQ(cut.raw.size(), linemon::MaxNoiseChars);
    EXPECT_EQ(cut.note, "noise; 16000 characters, the first 512 kept");

    // A refused request is a problem, not a plain answer.
    TRow refused = Row(TVerdict::Answer, 1);
    refused.status = 255;
    linemon::TFilter problems;
    problems.verdicts = linemon::TFilter::AllVerdicts & ~(1u << int(TVerdict::Query)) & ~(1u << int(TVerdict::Answer));
    EXPECT_TRUE(problems.Accepts(refused));
    EXPECT_FALSE(problems.Accepts(Row(TVerdict::Answer, 1)));

    ring.Clear();
    model.Reset();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(ring.Add(Row(TVerdict::Query, 1)), 24u);
}

// ---- text and CSV ----

// Local time pinned to a zone, whatever the machine's.
class ZoneGuard
{
public:
    explicit ZoneGuard(const char *zone) : m_had(qEnvironmentVariableIsSet("TZ")), m_old(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~ZoneGuard()
    {
        if (m_had)
            qputenv("TZ", m_old);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    bool m_had;
    QByteArray m_old;
};

TEST(LineMonitorExport, TextAndCsvExact)
{
    const ZoneGuard zone("Europe/Budapest");
    const std::string poll = "M0127010000000030D7;";
    TRow query = Row(TVerdict::Query, 1, poll);
    query.address = 1;
    query.id = 39;
    query.direction = kv508::TDirection::Tx;
    query.sinceOpenMs = 1234;
    query.wallMs = 1796873401234; // 2026-12-10 03:30:01.234 UTC
    TRow junk = Row(TVerdict::Malformed, -1, "=1+2,\"x\r\xC3");
    junk.sinceOpenMs = 1300;
    junk.wallMs = 1782000000005; // summer: 2026-06-21 00:00:00.005 UTC

    EXPECT_EQ(linemon::TextLine(17, query), "17 1234 2026-12-10T04:30:01.234 > M0127010000000030D7; query poll force=0 pwm=0");
    EXPECT_EQ(linemon::TextLine(18, junk), "18 1300 2026-06-21T02:00:00.005 < =1+2,\"x\\r\\xC3 malformed noise");
    EXPECT_EQ(linemon::CsvHeader(), "frame,ms_since_open,time,direction,verdict,address,id,command,status,decoded,raw\n");
    EXPECT_EQ(linemon::CsvLine(17, query),
              "17,1234,2026-12-10T04:30:01.234+01:00,tx,query,1,39,1,0,poll force=0 pwm=0,M0127010000000030D7;\n");
    // No header: empty numbers; a formula's first character escaped; quoted.
    EXPECT_EQ(linemon::CsvLine(18, junk),
              "18,1300,2026-06-21T02:00:00.005+02:00,rx,malformed,,,,,noise,\"\\x3D1+2,\"\"x\\r\\xC3\"\n");

    // The file: all or nothing.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.txt"));
    const linemon::TNumberedRows rows{{17, query}, {18, junk}};
    std::atomic<bool> cancel{false};
    linemon::TSaveResult r = linemon::Save(path, linemon::TFormat::Text, rows, cancel);
    ASSERT_EQ(r.error, linemon::TSaveError::None);
    EXPECT_EQ(r.rows, 2);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), linemon::TextLine(17, query) + '\n' + linemon::TextLine(18, junk) + '\n');
    f.close();
    cancel = true;
    r = linemon::Save(path, linemon::TFormat::Csv, rows, cancel);
    EXPECT_EQ(r.error, linemon::TSaveError::Cancelled);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith("17 1234 ")); // the old file stays
    EXPECT_EQ(linemon::FormatOf(QStringLiteral("a.CSV")), linemon::TFormat::Csv);
    EXPECT_EQ(linemon::FormatOf(QStringLiteral("a.log")), linemon::TFormat::Text);
}

} // namespace
