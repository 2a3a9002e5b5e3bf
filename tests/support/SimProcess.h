// The simulator as a child process: started on a fresh pseudo-terminal, told
// what pressure to apply through its console, asked for its status (the
// technician's ammeter in the loop), and stopped.
#pragma once

#include "MB.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPalette>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTest>

#include <optional>

class TSimProcess
{
public:
    TSimProcess() = default;
    TSimProcess(const TSimProcess &) = delete;
    TSimProcess &operator=(const TSimProcess &) = delete;
    ~TSimProcess() { Stop(); }

    // Starts kv508-sim with args; true once it has printed its terminal's path.
    bool Start(const QStringList &args = {})
    {
        m_process.setProgram(QStringLiteral(KV508_SIM_PATH));
        m_process.setArguments(args);
        m_process.start();
        if (!m_process.waitForStarted(10000))
            return false;
        (void)QTest::qWaitFor([this] { return m_process.canReadLine() || m_process.state() == QProcess::NotRunning; }, 20000);
        if (!m_process.canReadLine())
            return false;
        m_path = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        // The second report line names the published port.
        const QRegularExpression name(QStringLiteral("port name (kv508sim\\d+)"));
        (void)QTest::qWaitFor([&] { return name.match(Stderr()).hasMatch() || m_process.state() == QProcess::NotRunning; }, 20000);
        m_portName = name.match(Stderr()).captured(1);
        return m_path.startsWith(QLatin1Char('/'));
    }

    QString Path() const { return m_path; }
    QString PortName() const { return m_portName; }
    qint64 Pid() const { return m_process.processId(); }

    // A console command (pressure 250, fault on, ...).
    void Command(const QString &line) { m_process.write((line + QLatin1Char('\n')).toLocal8Bit()); }

    // The simulator's status report (empty if none came).
    QString Status()
    {
        const qsizetype seen = Stderr().size();
        Command(QStringLiteral("status"));
        QString line;
        (void)QTest::qWaitFor(
            [&] {
                // The report is the line that names the errors (a command's echo does not).
                const QStringList lines = Stderr().mid(seen).split(QLatin1Char('\n'));
                for (qsizetype i = 0; i + 1 < lines.size(); ++i)
                    if (lines.at(i).contains(QStringLiteral("; errors: ")))
                        line = lines.at(i);
                return !line.isEmpty();
            },
            10000);
        return line;
    }

    // The loop current an ammeter would read, in mA.
    std::optional<double> LoopCurrent()
    {
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("loop (-?[0-9.]+) mA")).match(Status());
        if (!m.hasMatch())
            return std::nullopt;
        return m.captured(1).toDouble();
    }

    // Everything written on standard error so far.
    QString Stderr()
    {
        m_stderr += QString::fromLocal8Bit(m_process.readAllStandardError());
        return m_stderr;
    }

    // As a pulled adapter or a crash: no goodbye, the terminal just goes.
    void Kill()
    {
        m_process.kill();
        m_process.waitForFinished(10000);
    }

    void Stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(10000);
    }

private:
    QProcess m_process;
    QString m_path;
    QString m_portName;
    QString m_stderr;
};

// Waits until the panel's list shows the simulator's port, then selects it, as
// a newcomer would before pressing the window's port button.
inline bool SelectSimPort(TMB &mb, const TSimProcess &sim, int timeoutMs = 30000)
{
    auto items = [&] { return mb.PortList->findItems(sim.PortName(), Qt::MatchExactly); };
    if (!QTest::qWaitFor([&] { return !items().isEmpty(); }, timeoutMs))
        return false;
    mb.PortList->setCurrentItem(items().first());
    return true;
}

// A dark desktop theme, to look at the tool windows' colours on it.
inline void UseDarkDesktopPalette()
{
    QPalette p;
    p.setColor(QPalette::Window, QColor(45, 47, 51));
    p.setColor(QPalette::WindowText, QColor(220, 222, 226));
    p.setColor(QPalette::Base, QColor(30, 32, 35));
    p.setColor(QPalette::AlternateBase, QColor(38, 40, 44));
    p.setColor(QPalette::Text, QColor(220, 222, 226));
    p.setColor(QPalette::Button, QColor(58, 61, 66));
    p.setColor(QPalette::ButtonText, QColor(220, 222, 226));
    p.setColor(QPalette::Highlight, QColor(42, 98, 160));
    p.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
    QApplication::setPalette(p);
}
