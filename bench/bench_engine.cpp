// The frame engine in isolation: CRC-16, decoding of received characters and
// frame building, each against a port that swallows everything.
#include "BenchLinks.h"
#include "BenchReport.h"
#include "Frames.h"
#include "MB.h"
#include "TestPeer.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// The instrument's 20-byte live data, as a poll answer carries it.
QByteArray PollPayload()
{
    QByteArray p;
    auto put = [&p](quint32 v, int width) {
        for (int i = 0; i < width; ++i)
            p.append(char(v >> (8 * i)));
    };
    put(20170105, 4);
    put(20161011, 4);
    put(1, 1);
    put(345, 2);
    put(12000, 2);
    put(0, 1);
    put(1000, 2);
    put(12345, 2);
    put(10, 2);
    return p;
}

// The same answer many times over, so one chunk is long enough to time.
QByteArray Repeated(const QByteArray &one, int times)
{
    QByteArray all;
    all.reserve(one.size() * times);
    for (int i = 0; i < times; ++i)
        all += one;
    return all;
}

const QByteArray &AsciiAnswers()
{
    static const QByteArray s = Repeated(AsciiLine('S', QByteArray::fromHex("01270100") + PollPayload()), 1000);
    return s;
}

const QByteArray &BinaryAnswers()
{
    static const QByteArray s = Repeated(BinaryLine(QByteArray::fromHex("812700") + PollPayload()), 1000);
    return s;
}

std::unique_ptr<TMB> OpenComponent(TMB::TMBMode mode)
{
    auto mb = std::make_unique<TMB>();
    UseNullLink(*mb);
    mb->setMBMode(mode);
    mb->MBOpenPort();
    mb->setMBMasterAddressToSlave(1);
    mb->setMBMasterIDToSlave(39);
    mb->setMBMasterCommandToSlave(1);
    return mb;
}

// ---- CRC ---------------------------------------------------------------------------

constexpr int kFrameBytes = 8187 + 6; // the largest ASCII frame

std::vector<quint8> CrcData(int n)
{
    std::vector<quint8> data(n);
    quint32 x = 12345;
    for (auto &b : data) {
        x = x * 1103515245 + 12345;
        b = static_cast<quint8>(x >> 16);
    }
    return data;
}

// A plain one-table CRC, for scale between the bitwise and the sliced forms.
quint16 ByteTableCrc16(const quint8 *p, qsizetype count)
{
    static const auto table = [] {
        std::array<quint16, 256> t{};
        for (int i = 0; i < 256; ++i) {
            quint16 r = static_cast<quint16>(i);
            for (int k = 0; k < 8; ++k)
                r = (r & 1) ? static_cast<quint16>((r >> 1) ^ 0xA001) : static_cast<quint16>(r >> 1);
            t[i] = r;
        }
        return t;
    }();
    quint16 crc = 0xFFFF;
    while (count-- > 0)
        crc = static_cast<quint16>((crc >> 8) ^ table[(crc ^ *p++) & 0xFF]);
    return crc;
}

template <quint16 (*CrcFn)(const quint8 *, qsizetype)>
void CrcRun(benchmark::State &state, int n)
{
    const std::vector<quint8> data = CrcData(n);
    if (CrcFn(data.data(), n) != BitwiseCrc16(data.data(), n)) {
        state.SkipWithError("CRC differs from the bitwise definition");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(data.data());
        quint16 crc = CrcFn(data.data(), n);
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * n);
}

// ---- decoding ------------------------------------------------------------------------

// Answers decoded and checked but not awaited: every character takes the full
// path through the receiver, every frame its CRC check.
void DecodeWhole(benchmark::State &state, TMB::TMBMode mode, const QByteArray &stream)
{
    auto mb = OpenComponent(mode);
    for (auto _ : state)
        DecodeRx(*mb, stream);
    state.SetItemsProcessed(int64_t(state.iterations()) * stream.size());
}

void DecodeOneByOne(benchmark::State &state, TMB::TMBMode mode, const QByteArray &stream)
{
    auto mb = OpenComponent(mode);
    const char *p = stream.constData();
    const qsizetype n = stream.size();
    for (auto _ : state)
        for (qsizetype i = 0; i < n; ++i)
            DecodeRx(*mb, QByteArray::fromRawData(p + i, 1));
    state.SetItemsProcessed(int64_t(state.iterations()) * n);
}

// A link that hands out a fixed stream, so the whole receive path can be timed:
// HandleRxData reads each character as the link would announce it.
class FeedLink : public NullLink
{
public:
    explicit FeedLink(const QByteArray *stream) : m_stream(stream) {}
    std::ptrdiff_t ReadBytes(char *buffer, std::ptrdiff_t count) override
    {
        const qsizetype n = std::min<qsizetype>(count, m_stream->size() - m_pos);
        std::memcpy(buffer, m_stream->constData() + m_pos, size_t(n));
        m_pos = (m_pos + n) % m_stream->size();
        return n;
    }

private:
    const QByteArray *m_stream;
    qsizetype m_pos = 0;
};

void HandleOneByOne(benchmark::State &state, const QByteArray &stream)
{
    TMB mb;
    mb.SetLinkFactory([&stream] { return std::make_unique<FeedLink>(&stream); });
    mb.setMBMode(TMB::modeASCIIMaster);
    mb.MBOpenPort();
    mb.setMBMasterAddressToSlave(1);
    mb.setMBMasterIDToSlave(39);
    const qsizetype n = stream.size();
    for (auto _ : state)
        for (qsizetype i = 0; i < n; ++i)
            Core(mb).HandleRxData(1);
    state.SetItemsProcessed(int64_t(state.iterations()) * n);
}

// The chain with nothing but the engine: every answer is accepted, and its end
// event starts the next poll at once (the query goes to the null port).
void AcceptChain(benchmark::State &state)
{
    auto mb = OpenComponent(TMB::modeASCIIMaster);
    const QByteArray &stream = AsciiAnswers();
    const int answers = 1000;
    int64_t ends = 0;
    mb->OnMBMasterEndOfEvent = [&](TMB::TMBStatus, const QString &) {
        ++ends;
        mb->setMBMasterCommandToSlave(1);
        mb->MBClearTxData();
        mb->MBPutByte(0);
        mb->MBPutWord(4000);
        mb->MBMasterStart(0);
    };
    mb->MBMasterStart(0);
    for (auto _ : state)
        DecodeRx(*mb, stream);
    if (ends != int64_t(state.iterations()) * answers)
        state.SkipWithError("not every answer was accepted");
    state.SetItemsProcessed(ends);
}

// ---- frame building --------------------------------------------------------------------

void BuildPoll(benchmark::State &state)
{
    auto mb = OpenComponent(TMB::modeASCIIMaster);
    for (auto _ : state) {
        mb->setMBMasterCommandToSlave(1);
        mb->MBClearTxData();
        mb->MBPutByte(0);
        mb->MBPutWord(4000);
        Core(*mb).MBSendFrame();
    }
    state.SetItemsProcessed(state.iterations());
}

void BuildLargest(benchmark::State &state, TMB::TMBMode mode)
{
    auto mb = OpenComponent(mode);
    mb->MBClearTxData();
    for (int i = 0; i < TMB::MaxPayload; ++i)
        mb->MBPutByte(static_cast<quint8>(i * 7));
    mb->setMBDataNumberToSend(TMB::MaxPayload);
    for (auto _ : state)
        Core(*mb).MBSendFrame();
    state.SetItemsProcessed(state.iterations());
}

// What building the largest ASCII frame costs when the characters go straight
// into one buffer sized once (CRC included): the bound for the frame builder,
// which makes a small string per byte.
void DirectEncodeLargest(benchmark::State &state)
{
    std::vector<quint8> frame = CrcData(4 + TMB::MaxPayload + 2);
    static constexpr char hex[] = "0123456789ABCDEF";
    QByteArray line;
    for (auto _ : state) {
        const quint16 crc = TMB::MBCrc16(frame.data(), qsizetype(frame.size() - 2));
        frame[frame.size() - 2] = quint8(crc & 0xFF);
        frame[frame.size() - 1] = quint8(crc >> 8);
        line.resize(qsizetype(2 * frame.size() + 2));
        char *out = line.data();
        *out++ = 'M';
        for (quint8 b : frame) {
            *out++ = hex[b >> 4];
            *out++ = hex[b & 15];
        }
        *out = ';';
        benchmark::DoNotOptimize(line.data());
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    LineReporter out;
    const LineReporter::Figure gbps{"bytes_per_second", 1e9, "GB/s"};
    const LineReporter::Figure mchars{"items_per_second", 1e6, "M chars/s"};
    const LineReporter::Figure frames{"items_per_second", 1, "frames/s"};
    auto add = [&out](const char *name, const char *figure, LineReporter::Figure how, auto fn) {
        benchmark::RegisterBenchmark(name, fn)->Repetitions(3)->ReportAggregatesOnly(true);
        out.Describe(name, figure, std::move(how));
    };

    add("crc_sliced", "crc16_engine", gbps, [](benchmark::State &s) { CrcRun<TMB::MBCrc16>(s, kFrameBytes); });
    add("crc_table", "crc16_one_table", gbps, [](benchmark::State &s) { CrcRun<ByteTableCrc16>(s, kFrameBytes); });
    add("crc_bitwise", "crc16_bitwise", gbps, [](benchmark::State &s) { CrcRun<BitwiseCrc16>(s, kFrameBytes); });
    add("crc_sliced_poll", "crc16_engine_26_bytes", gbps, [](benchmark::State &s) { CrcRun<TMB::MBCrc16>(s, 26); });

    add("ascii_whole", "decode_ascii_whole", mchars,
        [](benchmark::State &s) { DecodeWhole(s, TMB::modeASCIIMaster, AsciiAnswers()); });
    add("ascii_one", "decode_ascii_one_char", mchars,
        [](benchmark::State &s) { DecodeOneByOne(s, TMB::modeASCIIMaster, AsciiAnswers()); });
    add("binary_whole", "decode_binary_whole", mchars,
        [](benchmark::State &s) { DecodeWhole(s, TMB::modeMaster, BinaryAnswers()); });
    add("binary_one", "decode_binary_one_char", mchars,
        [](benchmark::State &s) { DecodeOneByOne(s, TMB::modeMaster, BinaryAnswers()); });
    add("handle_one", "handle_rx_data_one_char", mchars,
        [](benchmark::State &s) { HandleOneByOne(s, AsciiAnswers()); });
    add("accept_chain", "ascii_answers_accepted_chained", LineReporter::Figure{"items_per_second", 1, "answers/s"},
        [](benchmark::State &s) { AcceptChain(s); });

    add("build_poll", "build_ascii_poll_query", frames, [](benchmark::State &s) { BuildPoll(s); });
    add("build_ascii_8187", "build_ascii_8187_payload", frames,
        [](benchmark::State &s) { BuildLargest(s, TMB::modeASCIIMaster); });
    add("build_binary_8187", "build_binary_8187_payload", frames,
        [](benchmark::State &s) { BuildLargest(s, TMB::modeMaster); });
    add("direct_ascii_8187", "reference_ascii_8187_direct_encode", frames,
        [](benchmark::State &s) { DirectEncodeLargest(s); });

    out.Derive([](const std::map<std::string, double> &v) {
        auto ratio = [&v](const char *name, const char *a, const char *b, const char *unit) {
            if (v.count(a) && v.count(b) && v.at(b) > 0)
                LineReporter::Line(name, v.at(a) / v.at(b), unit);
        };
        ratio("crc16_engine_vs_bitwise", "crc16_engine", "crc16_bitwise", "x");
        ratio("decode_ascii_one_char_slowdown", "decode_ascii_whole", "decode_ascii_one_char", "x");
        ratio("decode_binary_one_char_slowdown", "decode_binary_whole", "decode_binary_one_char", "x");
        if (v.count("build_ascii_8187_payload"))
            LineReporter::Line("build_ascii_8187_payload_chars", v.at("build_ascii_8187_payload") * 16388 / 1e6,
                               "M chars/s");
    });

    benchmark::RunSpecifiedBenchmarks(&out);
    benchmark::Shutdown();
    return 0;
}
