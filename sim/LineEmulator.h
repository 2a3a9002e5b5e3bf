// A link that sits between the component and the real descriptor and behaves
// like a serial line: characters take their time on the wire in both directions
// (ten bits each at the baud rate), an answer follows a short turnaround, and
// faults can be injected into the answers on purpose.
#pragma once

#include "MBLink.h"
#include "QtTimers.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <random>

namespace sim {

// Probabilities (0..1) per answer, drawn from one generator seeded with seed.
struct FaultPlan {
    double drop = 0;    // the answer never leaves
    double corrupt = 0; // one character of the answer is changed
    double late = 0;    // the answer leaves lateMs later than it should
    double split = 0;   // the answer leaves in small chunks with pauses between them
    double noise = 0;   // junk characters go on the line before the answer
    int lateMs = 1500;
    quint32 seed = 1;

    bool Any() const { return drop > 0 || corrupt > 0 || late > 0 || split > 0 || noise > 0; }
};

struct LineConfig {
    quint32 baud = 4800;
    bool lineTime = true;  // pace characters at the baud rate
    int turnaroundMs = 3;  // between a request's last character and the answer
    // Received characters that may wait for their line time, like a UART's FIFO
    // and its driver's buffer; what comes on top is an overrun and is lost.
    // 0: one second of line time (never under 256 characters), so a flood keeps
    // the instrument deaf for about a second after it ends, not for minutes.
    qsizetype inputBacklog = 0;
    qsizetype InputBacklog() const { return inputBacklog > 0 ? inputBacklog : std::max<qsizetype>(256, baud / 10); }
    FaultPlan faults;
};

struct LineStats {
    quint64 frames = 0; // answers handed over by the component
    quint64 dropped = 0;
    quint64 corrupted = 0;
    quint64 late = 0;
    quint64 split = 0;
    quint64 noisy = 0;
    quint64 deafBytes = 0; // received while restarting, thrown away
    quint64 overrun = 0;   // received while the input backlog was full, thrown away
};

class LineEmulator : public TMBLink
{
public:
    LineEmulator(std::unique_ptr<TMBLink> inner, LineConfig config);
    ~LineEmulator() override;

    bool Open(const std::string &port, uint32_t baud, std::string &errorText) override;
    void Close() override;
    bool IsOpen() const override;
    bool WriteBytes(const char *data, std::ptrdiff_t count) override;
    std::ptrdiff_t ReadBytes(char *buffer, std::ptrdiff_t count) override;

    // The next frame the component writes is swallowed (a request the
    // instrument did not understand gets no answer).
    void DropNextFrame() { m_dropNext = true; }
    // The next frame is the last before a restart: once its last character has
    // left, everything received during restartMs is lost; then onRestarted runs.
    void RestartAfterNextFrame(int restartMs, std::function<void()> onRestarted);
    // The same without an answer to wait for: once what is on its way has left.
    void RestartNow(int restartMs, std::function<void()> onRestarted);
    bool Restarting() const { return m_deaf; }

    const LineStats &Stats() const { return m_stats; }
    // Characters still waiting to go out.
    qsizetype PendingOut() const { return static_cast<qsizetype>(m_out.size()); }
    const LineConfig &Config() const { return m_config; }
    // Microseconds one character takes on the wire (0 without line time).
    qint64 CharTimeUs() const { return m_charUs; }

    std::function<void(const QString &)> OnLog;

private:
    struct TimedChar {
        char c;
        qint64 dueUs;
    };

    qint64 NowUs() const { return m_clock.nsecsElapsed() / 1000; }
    bool Chance(double p);
    void InnerDataAvailable(quint32 count);
    void Pump();
    void Schedule();
    void StartRestart();
    void Log(const QString &text);

    std::unique_ptr<TMBLink> m_inner;
    LineConfig m_config;
    qint64 m_charUs;
    QElapsedTimer m_clock;
    TQtPreciseTimer m_timer; // each character on time: Qt's timers wake up to a millisecond late
    std::mt19937 m_rng;

    std::deque<TimedChar> m_out;
    qint64 m_outLineFreeUs = 0;
    std::deque<TimedChar> m_in;
    qint64 m_inLineFreeUs = 0;
    QByteArray m_ready; // received characters released to the component
    qint64 m_requestEndUs = -1; // when the last character handed to the component ended on the line (-1: none since the last answer)

    bool m_dropNext = false;
    bool m_restartAfterFrame = false;
    bool m_restartWhenDrained = false;
    bool m_deaf = false;
    int m_restartMs = 0;
    std::function<void()> m_onRestarted;
    QTimer m_restartTimer;
    LineStats m_stats;
};

} // namespace sim
