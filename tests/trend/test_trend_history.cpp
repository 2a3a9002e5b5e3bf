// The live trend's history and CSV log without a display: the ring, the
// per-column decimation the chart draws from, the span statistics, and the
// exact rows and file handling of the log.
#include "CsvLog.h"
#include "TrendHistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <set>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using trend::TColumn;
using trend::THistory;
using trend::TKind;
using trend::TSample;

TSample Ok(int64_t t, int16_t value, int16_t microAmps = 4000, uint8_t decimals = 1)
{
    TSample s;
    s.timeMs = t;
    s.value = value;
    s.microAmps = microAmps;
    s.decimals = decimals;
    return s;
}

TSample Mark(int64_t t, TKind kind)
{
    TSample s;
    s.timeMs = t;
    s.kind = kind;
    return s;
}

// ---- the ring ---------------------------------------------------------------------

TEST(TrendHistory, RingKeepsTheNewestAndCountsWhatItDropped)
{
    THistory h(5);
    for (int i = 0; i < 8; ++i)
        h.Add(Ok(1000 * i, static_cast<int16_t>(i)));
    ASSERT_EQ(h.Size(), 5u);
    EXPECT_EQ(h.Dropped(), 3u);
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(h.At(i).value, static_cast<int16_t>(i + 3));
    // Searching works across the wrap.
    EXPECT_EQ(h.LowerBound(0), 0u);
    EXPECT_EQ(h.LowerBound(4500), 2u);
    EXPECT_EQ(h.LowerBound(7000), 4u);
    EXPECT_EQ(h.LowerBound(7001), 5u);
    h.Clear();
    EXPECT_TRUE(h.Empty());
    EXPECT_EQ(h.LastDecimals(), -1);
}

TEST(TrendHistory, ClockSetBackNeverMakesTimeRunBackwards)
{
    THistory h(10);
    h.Add(Ok(10'000, 1));
    h.Add(Ok(4'000, 2)); // the wall clock was stepped back
    h.Add(Ok(10'500, 3));
    EXPECT_EQ(h.At(1).timeMs, 10'000);
    EXPECT_EQ(h.At(2).timeMs, 10'500);
    EXPECT_EQ(h.LowerBound(10'001), 2u);
}

// ---- decimation -------------------------------------------------------------------

class TrendDecimation : public ::testing::Test
{
protected:
    // A day at 250 ms: a slow wave with noise, and single-poll spikes both ways.
    void SetUp() override
    {
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> noise(-30, 30);
        for (int64_t i = 0; i < kCount; ++i) {
            const int64_t t = kStart + i * 250;
            int16_t v = static_cast<int16_t>(2000 + 1500 * std::sin(i / 20000.0) + noise(rng));
            int16_t ma = static_cast<int16_t>(12000 + noise(rng) * 10);
            if (i % 49999 == 1234) {
                v = (i / 49999) % 2 ? int16_t(-9000) : int16_t(9000);
                ma = (i / 49999) % 2 ? int16_t(100) : int16_t(23000);
                m_spikes.push_back(t);
            }
            m_h.Add(Ok(t, v, ma));
        }
    }

    static constexpr int64_t kStart = 1'700'000'000'000;
    static constexpr int64_t kCount = 345'600;
    THistory m_h;
    std::vector<int64_t> m_spikes;
};

TEST_F(TrendDecimation, EachColumnKeepsTheExactExtremesOfItsPolls)
{
    const int64_t from = kStart, to = kStart + (kCount - 1) * 250;
    for (int width : {1, 97, 800, 1920}) {
        const std::vector<TColumn> cols = m_h.Decimate(from, to, width);
        ASSERT_EQ(cols.size(), static_cast<std::size_t>(width)); // bounded by the width, not the polls
        // Reference: each poll by its time's share of the span.
        std::vector<double> lo(width, 1e9), hi(width, -1e9), mlo(width, 1e9), mhi(width, -1e9);
        std::vector<uint32_t> n(width, 0);
        for (std::size_t i = 0; i < m_h.Size(); ++i) {
            const TSample &s = m_h.At(i);
            const double share = static_cast<double>(s.timeMs - from) / static_cast<double>(to - from);
            const int c = std::min(static_cast<int>(share * width), width - 1);
            lo[c] = std::min(lo[c], s.Value());
            hi[c] = std::max(hi[c], s.Value());
            mlo[c] = std::min(mlo[c], s.MilliAmps());
            mhi[c] = std::max(mhi[c], s.MilliAmps());
            ++n[c];
        }
        uint64_t total = 0;
        for (int c = 0; c < width; ++c) {
            ASSERT_EQ(cols[c].count, n[c]) << "width " << width << " column " << c;
            EXPECT_EQ(cols[c].vMin, lo[c]);
            EXPECT_EQ(cols[c].vMax, hi[c]);
            EXPECT_EQ(cols[c].mMin, mlo[c]);
            EXPECT_EQ(cols[c].mMax, mhi[c]);
            EXPECT_LE(cols[c].vMin, std::min(cols[c].vFirst, cols[c].vLast));
            EXPECT_GE(cols[c].vMax, std::max(cols[c].vFirst, cols[c].vLast));
            total += cols[c].count;
        }
        EXPECT_EQ(total, m_h.Size());
    }
}

TEST_F(TrendDecimation, SinglePollSpikesAreNeverLost)
{
    ASSERT_GE(m_spikes.size(), 6u);
    // Any window over the data, any width: every spike shows as an extreme.
    for (auto [fromOffset, toOffset, width] : {std::tuple{0LL, 0LL, 300}, std::tuple{3'600'000LL, -7'200'000LL, 640},
                                               std::tuple{12'345LL, -54'321LL, 1024}}) {
        const int64_t from = kStart + fromOffset, to = kStart + (kCount - 1) * 250 + toOffset;
        const std::vector<TColumn> cols = m_h.Decimate(from, to, width);
        for (int64_t t : m_spikes) {
            if (t < from || t > to)
                continue;
            const std::size_t i = m_h.LowerBound(t);
            const double v = m_h.At(i).Value();
            bool found = false;
            for (const TColumn &c : cols)
                found = found || (v > 0 ? c.vMax == v : c.vMin == v);
            EXPECT_TRUE(found) << "spike at " << t << " lost at width " << width;
        }
    }
}

TEST(TrendHistory, DecimationBoundsAndSparseSpans)
{
    THistory h;
    h.Add(Ok(999, 1));
    h.Add(Ok(1000, 2));
    h.Add(Ok(1500, 3));
    h.Add(Ok(2000, 4)); // the right edge belongs to the last column
    h.Add(Ok(2001, 5));
    std::vector<TColumn> cols = h.Decimate(1000, 2000, 1000); // more columns than polls
    ASSERT_EQ(cols.size(), 1000u);
    EXPECT_EQ(cols[0].count, 1u);
    EXPECT_EQ(cols[0].vMin, 0.2);
    EXPECT_EQ(cols[500].vMin, 0.3);
    EXPECT_EQ(cols[999].vMax, 0.4);
    uint32_t total = 0;
    for (const TColumn &c : cols)
        total += c.count;
    EXPECT_EQ(total, 3u);
    EXPECT_TRUE(h.Decimate(2000, 2000, 10).empty());
    EXPECT_TRUE(h.Decimate(3000, 2000, 10).empty());
    EXPECT_TRUE(h.Decimate(1000, 2000, 0).empty());
    EXPECT_EQ(h.Decimate(5000, 6000, 4).size(), 4u); // nothing there: empty columns
}

TEST(TrendHistory, FailedPollsMarkTheirColumnAndBreakTheLine)
{
    THistory h;
    h.Add(Ok(0, 10));
    h.Add(Ok(250, 11));
    h.Add(Mark(500, TKind::Failed));
    h.Add(Ok(750, 12));
    h.Add(Ok(1000, 13));
    h.Add(Mark(1250, TKind::Closed));
    h.Add(Ok(1500, 14));
    h.Add(Ok(1500 + THistory::JoinGapMs + 1, 15)); // a long silence
    h.Add(Ok(1750 + THistory::JoinGapMs + 1, 16));
    const int64_t end = 2000 + THistory::JoinGapMs;
    const std::vector<TColumn> cols = h.Decimate(0, end, static_cast<int>(end / 250));
    ASSERT_EQ(cols.size(), static_cast<std::size_t>(end / 250));
    EXPECT_FALSE(cols[0].joins); // the first poll
    EXPECT_TRUE(cols[1].joins);
    EXPECT_TRUE(cols[2].failed);
    EXPECT_EQ(cols[2].count, 0u);
    EXPECT_FALSE(cols[3].joins); // after the failure
    EXPECT_TRUE(cols[4].joins);
    EXPECT_TRUE(cols[5].closed);
    EXPECT_FALSE(cols[5].failed);
    EXPECT_FALSE(cols[6].joins);
    const std::size_t afterGap = static_cast<std::size_t>((1500 + THistory::JoinGapMs + 1) / 250);
    EXPECT_EQ(cols[afterGap].count, 1u);
    EXPECT_FALSE(cols[afterGap].joins);
    EXPECT_TRUE(cols[afterGap + 1].joins);

    // Failures are counted in the statistics, closings are not.
    const trend::TStats st = h.Stats(0, end);
    EXPECT_EQ(st.failed, 1u);
    EXPECT_EQ(st.value.count, 7u);
}

// ---- statistics -------------------------------------------------------------------

TEST(TrendHistory, StatisticsOfTheVisibleSpanOnly)
{
    THistory h;
    h.Add(Ok(0, -999, 3200, 2)); // before the span
    h.Add(Ok(1000, -125, 4000, 2));
    h.Add(Ok(2000, 250, 12000, 2));
    h.Add(Ok(3000, 75, 20000, 2));
    h.Add(Mark(3500, TKind::Failed));
    h.Add(Ok(4000, 50, 5000, 3)); // the last in the span: its decimals count
    h.Add(Ok(9000, 9999, 22000, 2)); // after it
    const trend::TStats st = h.Stats(1000, 4000);
    ASSERT_EQ(st.value.count, 4u);
    EXPECT_DOUBLE_EQ(st.value.min, -1.25);
    EXPECT_DOUBLE_EQ(st.value.max, 2.5);
    EXPECT_DOUBLE_EQ(st.value.Mean(), (-1.25 + 2.5 + 0.75 + 0.05) / 4);
    EXPECT_DOUBLE_EQ(st.milliAmps.min, 4.0);
    EXPECT_DOUBLE_EQ(st.milliAmps.max, 20.0);
    EXPECT_DOUBLE_EQ(st.milliAmps.Mean(), 10.25);
    EXPECT_EQ(st.failed, 1u);
    EXPECT_EQ(st.decimals, 3);
    const trend::TStats none = h.Stats(5000, 8000);
    EXPECT_EQ(none.value.count, 0u);
    EXPECT_EQ(none.decimals, -1);
}

// ---- CSV rows ---------------------------------------------------------------------

TEST(TrendCsv, NumbersKeepTheInstrumentsDecimals)
{
    EXPECT_EQ(trend::FormatFixed(345, 1), "34.5");
    EXPECT_EQ(trend::FormatFixed(-5, 1), "-0.5");
    EXPECT_EQ(trend::FormatFixed(-32768, 3), "-32.768");
    EXPECT_EQ(trend::FormatFixed(5, 3), "0.005");
    EXPECT_EQ(trend::FormatFixed(0, 2), "0.00");
    EXPECT_EQ(trend::FormatFixed(-12, 0), "-12");
    EXPECT_EQ(trend::FormatFixed(32767, 0), "32767");
    EXPECT_EQ(trend::FormatFixed(-7, 6), "-0.000007");
}

TEST(TrendCsv, HeaderAndRowsAreExact)
{
    EXPECT_EQ(trend::CsvHeader(),
              "time,pressure,output_ma,not_calibrated,sensor_fault,settings_missing,sensor_overload,output_out_of_range\n");
    trend::TLogRow row;
    row.time = QDateTime(QDate(2024, 5, 1), QTime(12, 0, 0, 125), QTimeZone(2 * 3600));
    row.value = -125;
    row.decimals = 1;
    row.microAmps = 4000;
    row.flags = 2 | 16;
    EXPECT_EQ(trend::CsvRow(row), "2024-05-01T12:00:00.125+02:00,-12.5,4.000,0,1,0,0,1\n");
    row.time = QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59, 7), QTimeZone(-(3 * 3600 + 30 * 60)));
    row.value = 2491;
    row.decimals = 2;
    row.microAmps = -15;
    row.flags = 1 | 4 | 8;
    EXPECT_EQ(trend::CsvRow(row), "2023-12-31T23:59:59.007-03:30,24.91,-0.015,1,0,1,1,0\n");
    row.time = QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5, 600), QTimeZone::utc());
    row.value = 7;
    row.decimals = 0;
    row.microAmps = 20000;
    row.flags = 0;
    EXPECT_EQ(trend::CsvRow(row), "2024-01-02T03:04:05.600+00:00,7,20.000,0,0,0,0,0\n");
}

// ---- the log file -----------------------------------------------------------------

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

trend::TLogRow SomeRow(int16_t value)
{
    trend::TLogRow r;
    r.time = QDateTime(QDate(2024, 5, 1), QTime(12, 0, 0), QTimeZone::utc());
    r.value = value;
    r.decimals = 1;
    r.microAmps = 12000;
    return r;
}

TEST(TrendCsvLog, HeaderOnceAcrossReopeningAndRowsFlushedAsWritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.csv"));
    trend::TCsvLog log;
    ASSERT_EQ(log.Open(path), trend::TCsvError::None);
    EXPECT_FALSE(log.Appended());
    ASSERT_EQ(log.Append(SomeRow(1)), trend::TCsvError::None);
    // On disk before the log is closed.
    EXPECT_EQ(ReadAll(path), trend::CsvHeader() + trend::CsvRow(SomeRow(1)));
    log.Close();
    ASSERT_EQ(log.Open(path), trend::TCsvError::None);
    EXPECT_TRUE(log.Appended());
    ASSERT_EQ(log.Append(SomeRow(2)), trend::TCsvError::None);
    log.Close();
    EXPECT_EQ(ReadAll(path), trend::CsvHeader() + trend::CsvRow(SomeRow(1)) + trend::CsvRow(SomeRow(2)));
    EXPECT_EQ(log.Append(SomeRow(3)), trend::TCsvError::NotOpen);

    // An empty file is a new log.
    WriteAll(dir.filePath(QStringLiteral("empty.csv")), {});
    ASSERT_EQ(log.Open(dir.filePath(QStringLiteral("empty.csv"))), trend::TCsvError::None);
    log.Close();
    EXPECT_EQ(ReadAll(dir.filePath(QStringLiteral("empty.csv"))), trend::CsvHeader());
}

TEST(TrendCsvLog, ARowCutShortIsEndedNotContinued)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("torn.csv"));
    WriteAll(path, trend::CsvHeader() + "2024-05-01T12:00:00.000+00:00,1.");
    trend::TCsvLog log;
    ASSERT_EQ(log.Open(path), trend::TCsvError::None);
    ASSERT_EQ(log.Append(SomeRow(4)), trend::TCsvError::None);
    log.Close();
    EXPECT_EQ(ReadAll(path), trend::CsvHeader() + "2024-05-01T12:00:00.000+00:00,1.\n" + trend::CsvRow(SomeRow(4)));
}

TEST(TrendCsvLog, RefusesFilesItCannotOrMustNotWrite)
{
    QTemporaryDir dir;
    trend::TCsvLog log;
    // Someone else's CSV keeps its contents.
    const QString other = dir.filePath(QStringLiteral("other.csv"));
    const QByteArray otherText = "a,b,c\n1,2,3\n";
    WriteAll(other, otherText);
    EXPECT_EQ(log.Open(other), trend::TCsvError::OtherColumns);
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(ReadAll(other), otherText);

    EXPECT_EQ(log.Open(dir.filePath(QStringLiteral("no/such/folder/log.csv"))), trend::TCsvError::CannotOpen);
    EXPECT_FALSE(log.SystemError().isEmpty());
    EXPECT_EQ(log.Open(dir.path()), trend::TCsvError::NotRegular); // a folder

    // A device is no log, not even one that takes every write.
    if (QFile::exists(QStringLiteral("/dev/full"))) {
        EXPECT_EQ(log.Open(QStringLiteral("/dev/full")), trend::TCsvError::NotRegular);
        EXPECT_FALSE(log.IsOpen());
    }
}

// A FIFO: without a reader its open would wait for good (and the window's
// close with it); with one, the reader leaving would end the program by SIGPIPE.
TEST(TrendCsvLog, RefusesAFifoWithoutWaitingForAReader)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fifo.csv"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    trend::TCsvLog log;
    EXPECT_EQ(log.Open(path), trend::TCsvError::NotRegular);
    EXPECT_FALSE(log.IsOpen());

    const int reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(log.Open(path), trend::TCsvError::NotRegular);
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0); // nothing was written into it
    ::close(reader);
    EXPECT_TRUE(QFileInfo(path).exists() && !QFileInfo(path).isFile()); // left as it was
    EXPECT_TRUE(trend::CsvErrorText(trend::TCsvError::NotRegular).contains(QStringLiteral("not a regular file")));
}

// Another program empties the log between two rows: the header comes first
// again, so the file is still taken as this log's the next time.
TEST(TrendCsvLog, ALogEmptiedByAnotherProgramGetsItsHeaderAgain)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("rotated.csv"));
    trend::TCsvLog log;
    ASSERT_EQ(log.Open(path), trend::TCsvError::None);
    ASSERT_EQ(log.Append(SomeRow(1)), trend::TCsvError::None);
    ASSERT_TRUE(QFile::resize(path, 0));
    ASSERT_EQ(log.Append(SomeRow(2)), trend::TCsvError::None);
    ASSERT_EQ(log.Append(SomeRow(3)), trend::TCsvError::None);
    log.Close();
    EXPECT_EQ(ReadAll(path), trend::CsvHeader() + trend::CsvRow(SomeRow(2)) + trend::CsvRow(SomeRow(3)));
    EXPECT_EQ(log.Open(path), trend::TCsvError::None);
    EXPECT_TRUE(log.Appended());
}

// Lets no file of this process grow past `bytes` while it lives.
class TFileSizeLimit
{
public:
    explicit TFileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~TFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool Ok() const { return m_ok; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

TEST(TrendCsvLog, AFailedRowStopsTheLogAndIsReported)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("full.csv"));
    trend::TCsvLog log;
    ASSERT_EQ(log.Open(path), trend::TCsvError::None);
    ASSERT_EQ(log.Append(SomeRow(1)), trend::TCsvError::None);
    const QByteArray before = ReadAll(path);
    {
        TFileSizeLimit limit(static_cast<rlim_t>(before.size() + 10));
        ASSERT_TRUE(limit.Ok());
        EXPECT_EQ(log.Append(SomeRow(2)), trend::TCsvError::CannotWrite);
    }
    EXPECT_FALSE(log.IsOpen());
    EXPECT_FALSE(log.SystemError().isEmpty());
    EXPECT_EQ(log.Append(SomeRow(3)), trend::TCsvError::NotOpen);
    // What was written before stays; at most the failed row's start follows it.
    EXPECT_TRUE(ReadAll(path).startsWith(before));

    // A full disk: the header itself cannot be written.
    TFileSizeLimit limit(10);
    ASSERT_TRUE(limit.Ok());
    EXPECT_EQ(log.Open(dir.filePath(QStringLiteral("new.csv"))), trend::TCsvError::CannotWrite);
    EXPECT_FALSE(log.IsOpen());
}

} // namespace
