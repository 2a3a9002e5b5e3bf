#include "LineEmulator.h"

#include <algorithm>

namespace sim {

namespace {

// Junk that a noisy line produces between frames. No ";" and no "S": those would
// end or open frames and turn noise into something a receiver has to judge.
constexpr char kNoise[] = "\r\n \t?*#~0123456789ABCDEFabcdefxyzM\x00\xFF\x7F";

} // namespace

LineEmulator::LineEmulator(std::unique_ptr<TMBLink> inner, LineConfig config)
    : m_inner(std::move(inner)),
      m_config(config),
      m_charUs(config.lineTime && config.baud > 0 ? 10'000'000LL / config.baud : 0),
      m_timer([this] { Pump(); }),
      m_rng(config.faults.seed)
{
    m_clock.start();
    m_restartTimer.setSingleShot(true);
    m_restartTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_restartTimer, &QTimer::timeout, [this] {
        m_deaf = false;
        Log(QStringLiteral("restarted"));
        if (m_onRestarted)
            m_onRestarted();
    });
    m_inner->OnDataAvailable = [this](quint32 count) { InnerDataAvailable(count); };
    m_inner->OnLineEvent = [this](quint32 mask, quint32 modem) {
        if (OnLineEvent)
            OnLineEvent(mask, modem);
    };
    m_inner->OnHangUp = [this] {
        if (OnHangUp)
            OnHangUp();
    };
}

LineEmulator::~LineEmulator()
{
    m_timer.Stop();
    m_restartTimer.stop();
    m_inner->OnDataAvailable = nullptr;
    m_inner->OnLineEvent = nullptr;
    m_inner->OnHangUp = nullptr;
}

bool LineEmulator::Open(const std::string &port, uint32_t baud, std::string &errorText)
{
    return m_inner->Open(port, baud, errorText);
}

void LineEmulator::Close()
{
    m_timer.Stop();
    m_restartTimer.stop();
    m_out.clear();
    m_in.clear();
    m_ready.clear();
    m_requestEndUs = -1;
    m_deaf = false;
    m_restartWhenDrained = false;
    m_inner->Close();
}

bool LineEmulator::IsOpen() const
{
    return m_inner->IsOpen();
}

bool LineEmulator::Chance(double p)
{
    if (p <= 0)
        return false;
    return std::uniform_real_distribution<double>(0.0, 1.0)(m_rng) < p;
}

void LineEmulator::Log(const QString &text)
{
    if (OnLog)
        OnLog(text);
}

void LineEmulator::RestartAfterNextFrame(int restartMs, std::function<void()> onRestarted)
{
    m_restartAfterFrame = true;
    m_restartMs = std::max(0, restartMs);
    m_onRestarted = std::move(onRestarted);
}

void LineEmulator::RestartNow(int restartMs, std::function<void()> onRestarted)
{
    m_restartMs = std::max(0, restartMs);
    m_onRestarted = std::move(onRestarted);
    m_restartWhenDrained = true;
    Schedule();
}

bool LineEmulator::WriteBytes(const char *data, std::ptrdiff_t count)
{
    QByteArray frame(data, count);
    ++m_stats.frames;
    if (m_restartAfterFrame) {
        m_restartAfterFrame = false;
        m_restartWhenDrained = true;
    }
    const FaultPlan &f = m_config.faults;
    if (m_dropNext) {
        m_dropNext = false;
        Log(QStringLiteral("request not understood: no answer"));
        frame.clear();
    } else if (Chance(f.drop)) {
        ++m_stats.dropped;
        Log(QStringLiteral("fault: answer dropped"));
        frame.clear();
    }

    const qint64 now = NowUs();
    // An answer written within the turnaround of the request's last character
    // leaves a turnaround after that character, not after this program got
    // round to answering (its wake-up and the instrument's work would add to
    // the line time). Any other write waits a turnaround from now, as ever.
    const qint64 turnaround = m_config.lineTime ? m_config.turnaroundMs * 1000LL : 0;
    const bool answering = m_requestEndUs >= 0 && now < m_requestEndUs + turnaround;
    qint64 t = std::max((answering ? m_requestEndUs : now) + turnaround, m_outLineFreeUs);
    m_requestEndUs = -1;
    if (!frame.isEmpty()) {
        if (Chance(f.corrupt)) {
            ++m_stats.corrupted;
            const int at = std::uniform_int_distribution<int>(0, int(frame.size()) - 1)(m_rng);
            const int bit = std::uniform_int_distribution<int>(0, 6)(m_rng);
            frame[at] = char(frame[at] ^ (1 << bit));
            Log(QStringLiteral("fault: character %1 of the answer changed").arg(at));
        }
        if (Chance(f.late)) {
            ++m_stats.late;
            t += f.lateMs * 1000LL;
            Log(QStringLiteral("fault: answer %1 ms late").arg(f.lateMs));
        }
        if (Chance(f.noise)) {
            ++m_stats.noisy;
            const int n = std::uniform_int_distribution<int>(1, 8)(m_rng);
            QByteArray junk;
            for (int i = 0; i < n; ++i)
                junk.append(kNoise[std::uniform_int_distribution<int>(0, int(sizeof kNoise) - 2)(m_rng)]);
            frame.prepend(junk);
            Log(QStringLiteral("fault: %1 noise characters before the answer").arg(n));
        }
        const bool split = Chance(f.split);
        if (split) {
            ++m_stats.split;
            Log(QStringLiteral("fault: answer split into chunks"));
        }
        qsizetype nextCut = split ? std::uniform_int_distribution<int>(1, 6)(m_rng) : -1;
        for (qsizetype i = 0; i < frame.size(); ++i) {
            if (i == nextCut) {
                t += std::uniform_int_distribution<int>(2, 15)(m_rng) * 1000LL;
                nextCut += std::uniform_int_distribution<int>(1, 6)(m_rng);
            }
            t += m_charUs;
            m_out.push_back({frame[i], t});
        }
        m_outLineFreeUs = t;
    }
    Schedule();
    return true;
}

std::ptrdiff_t LineEmulator::ReadBytes(char *buffer, std::ptrdiff_t count)
{
    const qsizetype n = std::min<qsizetype>(count, m_ready.size());
    std::copy_n(m_ready.constData(), n, buffer);
    m_ready.remove(0, n);
    return n;
}

void LineEmulator::InnerDataAvailable(quint32 count)
{
    QByteArray bytes(static_cast<qsizetype>(count), Qt::Uninitialized);
    const qsizetype got = count > 0 ? m_inner->ReadBytes(bytes.data(), bytes.size()) : 0;
    bytes.resize(std::max<qsizetype>(got, 0));
    const qint64 now = NowUs();
    // A flood faster than the line must neither grow without bound nor keep the
    // instrument deaf long after it stopped: the excess is lost, as in a UART.
    const qsizetype room = std::max<qsizetype>(
        0, m_config.InputBacklog() - static_cast<qsizetype>(m_in.size()) - m_ready.size());
    if (bytes.size() > room) {
        m_stats.overrun += static_cast<quint64>(bytes.size() - room);
        bytes.resize(room);
    }
    for (const char c : bytes) {
        // A character is complete at the receiver one character time after it
        // started; characters queue behind each other on the wire.
        const qint64 t = std::max(now, m_inLineFreeUs) + m_charUs;
        m_inLineFreeUs = t;
        m_in.push_back({c, t});
    }
    Schedule();
}

void LineEmulator::StartRestart()
{
    m_deaf = true;
    Log(QStringLiteral("restarting for %1 ms").arg(m_restartMs));
    m_restartTimer.start(m_restartMs);
}

void LineEmulator::Pump()
{
    const qint64 now = NowUs();

    QByteArray slice;
    while (!m_out.empty() && m_out.front().dueUs <= now) {
        slice.append(m_out.front().c);
        m_out.pop_front();
    }
    if (!slice.isEmpty() && !m_inner->WriteBytes(slice.constData(), slice.size()))
        Log(QStringLiteral("the line refused %1 characters").arg(slice.size()));
    if (m_out.empty() && m_restartWhenDrained) {
        m_restartWhenDrained = false;
        StartRestart();
    }

    QByteArray arrived;
    qint64 lastDueUs = -1;
    while (!m_in.empty() && m_in.front().dueUs <= now) {
        arrived.append(m_in.front().c);
        lastDueUs = m_in.front().dueUs;
        m_in.pop_front();
    }
    if (!arrived.isEmpty()) {
        if (m_deaf) {
            m_stats.deafBytes += static_cast<quint64>(arrived.size());
        } else {
            m_requestEndUs = lastDueUs;
            m_ready.append(arrived);
            if (OnDataAvailable)
                OnDataAvailable(static_cast<quint32>(m_ready.size()));
        }
    }
    Schedule();
}

void LineEmulator::Schedule()
{
    if (m_out.empty() && m_in.empty()) {
        if (m_restartWhenDrained)
            m_timer.StartUs(0);
        else
            m_timer.Stop();
        return;
    }
    qint64 next = m_out.empty() ? m_in.front().dueUs : m_out.front().dueUs;
    if (!m_in.empty())
        next = std::min(next, m_in.front().dueUs);
    m_timer.StartUs(std::max<qint64>(0, next - NowUs()));
}

} // namespace sim
