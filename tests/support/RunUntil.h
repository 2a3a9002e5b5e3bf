// Running the event loop for a while, or until a condition holds, for the tests
// and the benchmarks alike. Unlike QTest::qWait and qWaitFor these never sleep
// between events (those sleep in 10 ms steps), so a chain of transactions runs
// at the speed of the line, and what a benchmark measures carries no wake-ups
// of its own.
#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>

namespace eventwait {

// Runs the event loop until done() holds (checked every 20 ms) or timeoutMs passes.
template <typename Done>
bool RunUntil(Done done, int timeoutMs)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(20);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

// Runs the event loop for ms.
inline void RunFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace eventwait
