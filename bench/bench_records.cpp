// Twenty benches writing calibration records at once: to a shared PostgreSQL
// server (a throwaway cluster, the database set up as a lab does: the owner
// runs init, the benches' role is granted), and to one SQLite file for
// comparison. Each bench is a process of its own, as benches are: it creates
// R records, each taking the year's next certificate number, and stores 11
// points one by one, timing each SavePoint as the window waits for it. Then
// everything is read back with a store and checked: every certificate number
// once, every acknowledged point present once, in its own record, with one
// audit row naming the bench that wrote it. Prints "name: value unit" lines;
// exits non-zero when a number repeats or a point is lost, doubled or in the
// wrong place.
//
//   bench_records [--benches N] [--records R] [--engine server|file|both]
//   bench_records --bench-worker LOCATION INDEX R     (run by the above)
#include "BenchReport.h"
#include "PgCluster.h"
#include "RecordStore.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace calib;
using Clock = std::chrono::steady_clock; // CLOCK_MONOTONIC: the same clock in every process

constexpr int kYear = 2026;
// A refused save is tried again as a technician would press Save again; a
// bench that cannot store a point after this many tries gives up on it.
constexpr int kMaxAttempts = 50;
constexpr int kWorkerTimeoutMs = 180000;

const QString kOwner = QStringLiteral("kv508owner");
const QString kBench = QStringLiteral("bench");
const QString kDatabase = QStringLiteral("kv508");
// The grants the README tells a lab to give after `records init`.
const char *const kGrants = "GRANT SELECT, INSERT, UPDATE ON records TO bench;"
                            " GRANT SELECT, INSERT, UPDATE, DELETE ON points, reference_instruments TO bench;"
                            " GRANT SELECT, INSERT ON audit TO bench; GRANT USAGE ON ALL SEQUENCES IN SCHEMA public TO bench;";

long long NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

QString BenchName(int bench)
{
    return QStringLiteral("bench-%1").arg(bench, 2, 10, QLatin1Char('0'));
}

// 0, 20, ..., 100 and back down: 11 points.
std::vector<TDecimal> Percents()
{
    return Sequence({{0, 0}, {20, 0}, {40, 0}, {60, 0}, {80, 0}, {100, 0}}, true);
}

// What identifies a point as the one this bench wrote for this record.
double Mark(int bench, int record, int index)
{
    return bench * 10000.0 + record * 100.0 + index;
}

TRecord NewRecord(int bench, int record)
{
    TRecord r;
    r.tag = QStringLiteral("PT-%1-%2").arg(bench).arg(record);
    r.serial = QStringLiteral("S-%1-%2").arg(bench).arg(record);
    r.created = QDateTime::currentDateTimeUtc();
    r.technician = BenchName(bench);
    r.references = DefaultReferences();
    r.points = {{0, 0}, {20, 0}, {40, 0}, {60, 0}, {80, 0}, {100, 0}};
    r.hysteresis = true;
    r.span[0] = TSpan{0, 2500, 0};
    return r;
}

TPoint NewPoint(int bench, int record, int index, const TDecimal &percent)
{
    TPoint p;
    p.index = index;
    p.percent = percent;
    p.applied = TDecimal{percent.units * 25, 0};
    p.milliAmps = TDecimal{40000 + percent.units * 1600, 4};
    p.instrumentValue = Mark(bench, record, index);
    p.instrumentMilliAmps = 4 + percent.units * 0.16;
    p.stable = true;
    p.instrumentSpreadMilliAmps = 0.0005;
    p.taken = QDateTime::currentDateTimeUtc();
    return p;
}

// ---- the bench: one process ----

// Lines on standard output, after the run: "record ID R CERTIFICATE NS REFUSED",
// "point ID INDEX NS REFUSED" (acknowledged), "unsaved ID INDEX", "uncreated
// REFUSED" (given up, its points not tried), "end NS". NS: from the first try
// to the acknowledgement; REFUSED: the tries refused before it.
int Worker(const QString &location, int bench, int records)
{
    TRecordStore store(location);
    if (!store.IsOpen()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(BenchName(bench)), qPrintable(store.ErrorMessage()));
        return 2;
    }
    store.SetActor(TActor{QStringLiteral("bench"), BenchName(bench)});
    std::printf("ready\n");
    std::fflush(stdout);
    std::string go;
    if (!std::getline(std::cin, go) || go != "go")
        return 2;

    std::vector<std::string> out;
    QString firstRefusal;
    const auto note = [&](const QString &what) {
        if (firstRefusal.isEmpty())
            firstRefusal = what + QStringLiteral(": ") + store.ErrorMessage();
    };
    const std::vector<TDecimal> percents = Percents();
    for (int r = 0; r < records; ++r) {
        TRecord record = NewRecord(bench, r);
        int refused = 0;
        const long long start = NowNs();
        while (!store.Create(record, kYear) && ++refused < kMaxAttempts)
            note(QStringLiteral("create"));
        const long long created = NowNs();
        if (record.id == 0) {
            out.push_back("uncreated " + std::to_string(refused));
            continue;
        }
        out.push_back("record " + std::to_string(record.id) + ' ' + std::to_string(r) + ' ' + record.certificate.toStdString() + ' ' +
                      std::to_string(created - start) + ' ' + std::to_string(refused));
        for (int i = 0; i < int(percents.size()); ++i) {
            const TPoint point = NewPoint(bench, r, i, percents[size_t(i)]);
            int pointRefused = 0;
            bool saved = false;
            const long long t0 = NowNs();
            while (!(saved = store.SavePoint(record.id, point)) && ++pointRefused < kMaxAttempts)
                note(QStringLiteral("point"));
            const long long t1 = NowNs();
            if (saved)
                out.push_back("point " + std::to_string(record.id) + ' ' + std::to_string(i) + ' ' + std::to_string(t1 - t0) + ' ' +
                              std::to_string(pointRefused));
            else
                out.push_back("unsaved " + std::to_string(record.id) + ' ' + std::to_string(i));
        }
    }
    out.push_back("end " + std::to_string(NowNs()));
    for (const std::string &line : out)
        std::printf("%s\n", line.c_str());
    if (!firstRefusal.isEmpty())
        std::fprintf(stderr, "%s, first refusal: %s\n", qPrintable(BenchName(bench)), qPrintable(firstRefusal));
    return 0;
}

// ---- the run: all benches at once, then the check ----

struct TAcked {
    qint64 id = 0;
    int bench = 0;
    int record = 0;
    QString certificate;
    std::set<int> points; // acknowledged
};

struct TRun {
    std::vector<TAcked> records;
    std::vector<double> commitMs, createMs;
    long long refused = 0, createsRefused = 0;
    int unsaved = 0, uncreated = 0;
    double seconds = 0;
    bool complete = true; // every bench ran to its end
};

bool Parse(const QByteArray &output, int bench, TRun &run)
{
    bool ended = false;
    for (const QByteArray &raw : output.split('\n')) {
        const QList<QByteArray> f = raw.trimmed().split(' ');
        if (f.value(0) == "record" && f.size() == 6) {
            TAcked a;
            a.id = f[1].toLongLong();
            a.bench = bench;
            a.record = f[2].toInt();
            a.certificate = QString::fromUtf8(f[3]);
            run.createMs.push_back(f[4].toLongLong() / 1e6);
            run.createsRefused += f[5].toLongLong();
            run.records.push_back(a);
        } else if (f.value(0) == "uncreated" && f.size() == 2) {
            ++run.uncreated;
            run.createsRefused += f[1].toLongLong();
        } else if (f.value(0) == "point" && f.size() == 5 && !run.records.empty() && run.records.back().id == f[1].toLongLong()) {
            run.records.back().points.insert(f[2].toInt());
            run.commitMs.push_back(f[3].toLongLong() / 1e6);
            run.refused += f[4].toLongLong();
        } else if (f.value(0) == "unsaved") {
            ++run.unsaved;
        } else if (f.value(0) == "end" && f.size() == 2) {
            ended = true;
        }
    }
    return ended;
}

// Starts the benches, lets them go together once all are connected, and
// collects what each acknowledged. Total time: from "go" to the last bench's
// last commit, by the clock all processes share.
TRun RunBenches(const QString &location, int benches, int records)
{
    TRun run;
    std::vector<std::unique_ptr<QProcess>> procs;
    for (int b = 0; b < benches; ++b) {
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--bench-worker"), location, QString::number(b), QString::number(records)});
        procs.push_back(std::move(p));
    }
    for (auto &p : procs) {
        while (!p->canReadLine() && p->waitForReadyRead(kWorkerTimeoutMs)) {
        }
        if (p->readLine().trimmed() != "ready") {
            std::fprintf(stderr, "bench_records: a bench did not connect (%s)\n", qPrintable(p->errorString()));
            run.complete = false;
        }
    }
    const long long go = NowNs();
    // QProcess writes only when waited on: each "go" is pushed out here, or
    // the benches would start one after another as each is waited for.
    for (auto &p : procs) {
        p->write("go\n");
        p->waitForBytesWritten(kWorkerTimeoutMs);
    }
    long long last = go;
    for (int b = 0; b < benches; ++b) {
        QProcess &p = *procs[size_t(b)];
        if (!p.waitForFinished(kWorkerTimeoutMs)) {
            p.kill();
            p.waitForFinished(5000);
        }
        const QByteArray output = p.readAllStandardOutput();
        const bool ended = Parse(output, b, run);
        if (!ended || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            std::fprintf(stderr, "bench_records: %s did not finish (exit %d)\n", qPrintable(BenchName(b)), p.exitCode());
            run.complete = false;
        }
        const qsizetype at = output.lastIndexOf("end ");
        if (ended && at >= 0)
            last = std::max(last, output.mid(at + 4).trimmed().toLongLong());
    }
    run.seconds = (last - go) / 1e9;
    return run;
}

struct TCheck {
    bool numbersUnique = true;
    long long lost = 0, doubled = 0, misplaced = 0, unexpectedRecords = 0;
};

// One acknowledged record read back: its points, each once and the one its
// bench wrote, and one audit row per point naming that bench.
void CheckRecord(TRecordStore &store, const TAcked &a, TCheck &c)
{
    const std::optional<TRecord> r = store.Load(a.id);
    if (!r) {
        c.lost += long(a.points.size());
        std::fprintf(stderr, "bench_records: record %lld not read back: %s\n", a.id, qPrintable(store.ErrorMessage()));
        return;
    }
    if (r->certificate != a.certificate || r->tag != NewRecord(a.bench, a.record).tag)
        ++c.misplaced;
    std::map<int, int> seen;
    for (const TPoint &p : r->entered) {
        ++seen[p.index];
        if (p.phase != TPhase::AsFound || p.instrumentValue != Mark(a.bench, a.record, p.index))
            ++c.misplaced;
    }
    std::map<int, int> audited;
    for (const TAuditRow &row : store.Audit(a.id)) {
        if (row.what != QLatin1String("point"))
            continue;
        const int index = row.field.section(QLatin1Char(' '), -1).toInt() - 1; // "As-Found 1" is index 0
        ++audited[index];
        if (row.bench != BenchName(a.bench))
            ++c.misplaced;
    }
    for (int i : a.points) {
        const int n = seen.count(i) ? seen[i] : 0;
        if (n == 0)
            ++c.lost;
        if (n > 1 || audited[i] > 1)
            c.doubled += std::max(n, audited[i]) - 1;
        if (n == 1 && audited[i] == 0)
            ++c.lost; // the point without who wrote it
    }
    for (const auto &[index, n] : seen)
        if (!a.points.count(index))
            c.doubled += n; // stored though never acknowledged
}

TCheck Check(const QString &location, const TRun &run)
{
    TCheck c;
    TRecordStore store(location);
    if (!store.IsOpen()) {
        std::fprintf(stderr, "bench_records: cannot read back: %s\n", qPrintable(store.ErrorMessage()));
        c.numbersUnique = false;
        c.lost = 1;
        return c;
    }
    std::map<QString, int> numbers;
    std::set<qint64> acked;
    for (const TAcked &a : run.records) {
        acked.insert(a.id);
        CheckRecord(store, a, c);
    }
    for (const TRecordSummary &s : store.History(QString())) {
        ++numbers[s.certificate];
        if (!acked.count(s.id))
            ++c.unexpectedRecords;
    }
    for (const TAcked &a : run.records)
        if (numbers[a.certificate] != 1)
            c.numbersUnique = false;
    for (const auto &[number, n] : numbers)
        if (n != 1 || number.isEmpty())
            c.numbersUnique = false;
    return c;
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t rank = size_t(std::ceil(p * double(v.size())));
    return v[std::min(v.size(), std::max<size_t>(rank, 1)) - 1];
}

// Prints one engine's figures; false when a bench did not run to its end, or
// what was acknowledged is not all there once. A save refused and said so is
// no loss (the window says "NOT saved" and the point is entered again): it is
// counted, not failed.
bool Report(const char *engine, int benches, const TRun &run, const TCheck &c, double &pointsPerSecond)
{
    const std::string n = std::string("records_") + engine + '_';
    const auto yes = [&](const char *name, bool v) { std::printf("%s%s: %s\n", n.c_str(), name, v ? "yes" : "no"); };
    const size_t points = run.commitMs.size();
    pointsPerSecond = run.seconds > 0 ? double(points) / run.seconds : 0;
    LineReporter::Line(n + "benches", benches, "processes");
    LineReporter::Line(n + "records", double(run.records.size()), "records");
    LineReporter::Line(n + "points", double(points), "points");
    LineReporter::Line(n + "total", run.seconds, "s");
    LineReporter::Line(n + "points_per_second", pointsPerSecond, "points/s");
    LineReporter::Line(n + "commit_p50", Percentile(run.commitMs, 0.5), "ms");
    LineReporter::Line(n + "commit_p99", Percentile(run.commitMs, 0.99), "ms");
    LineReporter::Line(n + "commit_max", Percentile(run.commitMs, 1.0), "ms");
    LineReporter::Line(n + "create_p50", Percentile(run.createMs, 0.5), "ms");
    LineReporter::Line(n + "create_max", Percentile(run.createMs, 1.0), "ms");
    LineReporter::Line(n + "creates_refused", double(run.createsRefused), "tries");
    LineReporter::Line(n + "records_not_created", run.uncreated, "records");
    LineReporter::Line(n + "saves_refused", double(run.refused), "tries");
    LineReporter::Line(n + "points_not_saved", run.unsaved, "points");
    yes("numbers_unique", c.numbersUnique);
    LineReporter::Line(n + "points_lost", double(c.lost), "points");
    LineReporter::Line(n + "points_doubled", double(c.doubled), "points");
    LineReporter::Line(n + "points_misplaced", double(c.misplaced), "points");
    LineReporter::Line(n + "records_unexpected", double(c.unexpectedRecords), "records");
    return run.complete && c.numbersUnique && c.lost == 0 && c.doubled == 0 && c.misplaced == 0 &&
           c.unexpectedRecords == 0;
}

// The throwaway server with the database as a lab sets it up; its location
// for the benches' role, empty on failure.
QString ReadyServer(pgtest::TPgCluster &cluster)
{
    QString error;
    if (!cluster.Start(error) ||
        !cluster.Sql(QStringLiteral("postgres"), QStringLiteral("CREATE ROLE %1 LOGIN; CREATE ROLE %2 LOGIN").arg(kOwner, kBench), nullptr, &error) ||
        !cluster.Sql(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE %1 OWNER %2").arg(kDatabase, kOwner), nullptr, &error)) {
        std::fprintf(stderr, "bench_records: the PostgreSQL server cannot start (scripts/bootstrap installs it): %s\n", qPrintable(error));
        return {};
    }
    {
        TRecordStore init(cluster.Uri(kOwner, kDatabase), TOpenMode::Init);
        if (!init.IsOpen()) {
            std::fprintf(stderr, "bench_records: records init failed: %s\n", qPrintable(init.ErrorMessage()));
            return {};
        }
    }
    if (!cluster.SqlAs(kOwner, kDatabase, QString::fromLatin1(kGrants), nullptr, &error)) {
        std::fprintf(stderr, "bench_records: the grants failed: %s\n", qPrintable(error));
        return {};
    }
    return cluster.Uri(kBench, kDatabase);
}

struct TOptions {
    int benches = 20;
    int records = 5;
    bool server = true;
    bool file = true;
};

bool ParseOptions(int argc, char **argv, TOptions &o)
{
    for (int i = 1; i < argc; ++i) {
        const bool more = i + 1 < argc;
        if (!std::strcmp(argv[i], "--benches") && more)
            o.benches = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--records") && more)
            o.records = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--engine") && more) {
            const std::string e = argv[++i];
            o.server = e == "server" || e == "both";
            o.file = e == "file" || e == "both";
            if (!o.server && !o.file)
                return false;
        } else
            return false;
    }
    return o.benches > 0 && o.records > 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 5 && !std::strcmp(argv[1], "--bench-worker"))
        return Worker(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    TOptions o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr, "usage: bench_records [--benches N] [--records R] [--engine server|file|both]\n");
        return 2;
    }
    bool ok = true;
    double serverRate = 0, fileRate = 0;
    if (o.server) {
        pgtest::TPgCluster cluster;
        const QString location = ReadyServer(cluster);
        if (location.isEmpty())
            return 1;
        const TRun run = RunBenches(location, o.benches, o.records);
        ok = Report("server", o.benches, run, Check(location, run), serverRate) && ok;
    }
    if (o.file) {
        QTemporaryDir dir;
        const QString location = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("records.sqlite"));
        {
            // Made and migrated once, before the benches open it.
            TRecordStore init(location);
            if (!init.IsOpen()) {
                std::fprintf(stderr, "bench_records: %s\n", qPrintable(init.ErrorMessage()));
                return 1;
            }
        }
        const TRun run = RunBenches(location, o.benches, o.records);
        ok = Report("file", o.benches, run, Check(location, run), fileRate) && ok;
    }
    if (serverRate > 0 && fileRate > 0)
        LineReporter::Line("records_server_vs_file_points_per_second", serverRate / fileRate, "x");
    if (!ok)
        std::fprintf(stderr, "bench_records: the records are not all there once (see above)\n");
    return ok ? 0 : 1;
}
