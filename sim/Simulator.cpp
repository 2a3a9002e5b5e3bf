#include "Simulator.h"

#include "QtTimers.h"
#include "StateFile.h"

namespace sim {

Simulator::Simulator(SimConfig config, TInnerFactory innerFactory)
    : m_config(std::move(config)), m_innerFactory(std::move(innerFactory))
{
    m_clock.start();
    m_mb.SetTimerFactory(QtTimerFactory());
    m_mb.setMBRefreshListOnStartup(false); // no port list to probe: the port is ours
    m_mb.setMBMode(mbcore::modeASCIISlave);
    m_mb.setMBSlaveOwnAddress(kv508::Address);
    m_mb.setMBSlaveID(kv508::Id);
    m_mb.setMBSlaveName("KV508 I");
    m_mb.setMBASCIISlaveTimeOut(0); // an instrument waits for its master as long as it takes
    mbcore::TMBBaud baud = mbcore::baud004800;
    if (mbcore::BaudOf(m_config.line.baud, baud))
        m_mb.setMBBaud(baud);
    m_mb.setPort("kv508sim");
    m_mb.SetLinkFactory([this]() -> std::unique_ptr<TMBLink> {
        std::unique_ptr<TMBLink> inner = m_innerFactory ? m_innerFactory() : nullptr;
        if (!inner)
            return nullptr;
        auto line = std::make_unique<LineEmulator>(std::move(inner), m_config.line);
        line->OnLog = [this](const QString &text) { Log(text); };
        m_line = line.get();
        return line;
    });
    m_mb.OnPortClosed = [this] { m_line = nullptr; };
    m_mb.OnMBSlaveReceivedCommand = [this](uint8_t command, bool, uint16_t count) { Received(command, count); };

    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(200); // a burst of writes costs one save
    QObject::connect(&m_saveTimer, &QTimer::timeout, [this] { SaveNow(); });
}

Simulator::~Simulator()
{
    m_saveTimer.stop();
    m_references.reset();
    m_mb.OnMBSlaveReceivedCommand = nullptr;
    m_mb.MBClosePort();
}

void Simulator::Log(const QString &text)
{
    if (OnLog)
        OnLog(text);
}

bool Simulator::Start(QString &error)
{
    Memory memory = m_config.blank ? Memory::Erased() : Memory::Factory();
    if (!m_config.stateFile.isEmpty()) {
        switch (LoadMemory(m_config.stateFile, memory, error)) {
        case LoadResult::Loaded: Log(QStringLiteral("memory loaded from %1").arg(m_config.stateFile)); break;
        case LoadResult::Missing: m_dirty = true; break; // written on the way out
        case LoadResult::Invalid: return false;
        }
    }
    m_instrument = std::make_unique<Instrument>(m_config.seed, memory);
    m_instrument->SetPressure(m_config.pressurePa);
    m_instrument->SetTemperature(m_config.temperatureC);
    m_instrument->SetSensorFault(m_config.sensorFault);
    m_instrument->SetOutputStage(m_config.dacGainScale, m_config.dacOffsetUa);
    m_instrument->Boot(NowMs());
    if (m_config.references.Any()) {
        m_references = std::make_unique<References>(m_config.references, *m_instrument, m_config.seed,
                                                    [this] { return NowMs(); });
        m_references->OnLog = [this](const QString &text) { Log(text); };
        if (!m_references->Start(error)) {
            m_references.reset();
            return false;
        }
    }

    m_mb.MBOpenPort();
    if (!m_mb.MBPortOpen()) {
        error = QString::fromStdString(m_mb.LastOpenError());
        return false;
    }
    return true;
}

void Simulator::Stop()
{
    m_saveTimer.stop();
    if (m_dirty && m_instrument && !m_config.stateFile.isEmpty())
        SaveNow();
    m_mb.MBClosePort();
}

bool Simulator::SaveState(QString &error)
{
    if (m_config.stateFile.isEmpty() || !m_instrument)
        return true;
    m_lastSaveFailed = !SaveMemory(m_config.stateFile, m_instrument->memory(), error);
    if (m_lastSaveFailed)
        return false;
    m_dirty = false;
    return true;
}

void Simulator::SaveNow()
{
    QString error;
    if (SaveState(error))
        return;
    if (OnSaveFailed)
        OnSaveFailed(error);
    else
        Log(error);
}

void Simulator::Received(quint8 command, quint16 count)
{
    QByteArray request;
    request.reserve(count);
    for (int i = 0; i < count; ++i)
        request.append(static_cast<char>(m_mb.MBGetByte()));

    const Reply reply = m_instrument->Handle(command, request, NowMs());
    m_mb.setMBSlaveErrorCode(reply.status);
    for (const char b : reply.payload)
        m_mb.MBPutByte(static_cast<quint8>(b));

    // Address nibble 0 (broadcast) is executed but never answered.
    const bool answered = (m_mb.RXDataBuffer()[0] & 0x0F) != 0;
    if (!reply.answer && answered && m_line)
        m_line->DropNextFrame();
    if (reply.restart && m_line) {
        auto boot = [this] { m_instrument->Boot(NowMs()); };
        if (answered)
            m_line->RestartAfterNextFrame(m_config.restartMs, boot);
        else
            m_line->RestartNow(m_config.restartMs, boot);
    }
    if (reply.memoryChanged) {
        m_dirty = true;
        if (!m_config.stateFile.isEmpty())
            m_saveTimer.start();
    }
    if (OnLog) // no text to format for nobody, once per request
        Log(QStringLiteral("command %1, %2 bytes in, status %3, %4 bytes out%5")
                .arg(command)
                .arg(count)
                .arg(reply.status)
                .arg(reply.payload.size())
                .arg(reply.answer ? QString() : QStringLiteral(" (not understood, no answer)")));
}

} // namespace sim
