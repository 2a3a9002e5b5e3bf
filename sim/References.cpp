#include "References.h"

#include "Instrument.h"
#include "Options.h"

#include <QHostAddress>

namespace sim {

namespace {

constexpr int kTickMs = 20; // the pressure the transmitter sees moves this often
const QByteArray kGarbage = "#&!ERR";
constexpr qint64 kMaxUnread = 1 << 20; // bytes of answers waiting for the client

} // namespace

ScpiServer::ScpiServer(QString name, ScpiDevice &device, std::function<qint64()> clock, int lateMs)
    : m_name(std::move(name)), m_device(device), m_clock(std::move(clock)), m_lateMs(lateMs)
{
    m_server.setMaxPendingConnections(4);
    QObject::connect(&m_server, &QTcpServer::newConnection, [this] { Accept(); });
    m_lateTimer.setSingleShot(true);
    m_lateTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_lateTimer, &QTimer::timeout, [this] { SendDue(); });
}

ScpiServer::~ScpiServer()
{
    m_lateTimer.stop();
    if (m_client) {
        QObject::disconnect(m_client, nullptr, nullptr, nullptr);
        m_client->abort();
        delete m_client;
    }
}

void ScpiServer::Log(const QString &text)
{
    if (OnLog)
        OnLog(m_name + QStringLiteral(": ") + text);
}

bool ScpiServer::Listen(quint16 port, QString &error)
{
    if (m_server.listen(QHostAddress::LocalHost, port))
        return true;
    error = QStringLiteral("the %1 cannot listen on 127.0.0.1 port %2: %3; choose another port (0 picks a free one)")
                .arg(m_name)
                .arg(port)
                .arg(m_server.errorString());
    return false;
}

void ScpiServer::SetFault(FaultSetting fault)
{
    m_fault = fault;
    m_queries = 0;
}

void ScpiServer::Accept()
{
    while (QTcpSocket *next = m_server.nextPendingConnection()) {
        if (m_client)
            Drop(QStringLiteral("a new client takes over"));
        m_client = next;
        m_client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QObject::connect(m_client, &QTcpSocket::readyRead, [this] { Read(); });
        QObject::connect(m_client, &QTcpSocket::disconnected, [this] { Drop(QStringLiteral("client disconnected")); });
        Log(QStringLiteral("client connected from port %1").arg(m_client->peerPort()));
    }
}

void ScpiServer::Drop(const QString &why)
{
    if (!m_client)
        return;
    Log(why);
    QTcpSocket *client = m_client;
    m_client = nullptr;
    QObject::disconnect(client, nullptr, nullptr, nullptr);
    client->abort();
    client->deleteLater(); // we may be inside one of its signals
    m_lines.Clear();
    m_late.clear();
    m_lateTimer.stop();
}

void ScpiServer::Read()
{
    if (!m_client)
        return;
    QList<QByteArray> lines;
    if (!m_lines.Append(m_client->readAll(), lines)) {
        Drop(QStringLiteral("a line longer than %1 bytes: client dropped").arg(ScpiLines::kMaxLine));
        return;
    }
    for (const QByteArray &line : lines) {
        if (!m_client)
            return;
        ++m_linesRead;
        const qint64 now = m_clock();
        const bool query = ScpiDevice::IsQuery(line);
        const bool faulty = query && m_fault.mode != ReferenceFault::None && ++m_queries > m_fault.after;
        m_device.overload = faulty && m_fault.mode == ReferenceFault::Overload;
        const std::optional<QByteArray> answer = m_device.Respond(line, now);
        m_device.overload = false;
        if (OnLog)
            Log(QStringLiteral("\"%1\" -> %2")
                    .arg(ShownText(QString::fromLatin1(line), 120),
                         answer ? ShownText(QString::fromLatin1(*answer), 120) : QStringLiteral("no answer")));
        if (!answer)
            continue;
        if (!faulty || m_fault.mode == ReferenceFault::Overload) {
            Answer(*answer);
            continue;
        }
        switch (m_fault.mode) {
        case ReferenceFault::Silent: break;
        case ReferenceFault::Garbage: Answer(kGarbage); break;
        case ReferenceFault::Late:
            m_late.emplace_back(now + m_lateMs, *answer);
            if (!m_lateTimer.isActive())
                m_lateTimer.start(static_cast<int>(std::max<qint64>(m_late.front().first - m_clock(), 0)));
            break;
        case ReferenceFault::None:
        case ReferenceFault::Overload: break;
        }
    }
    if (AfterLines)
        AfterLines();
}

void ScpiServer::Answer(const QByteArray &line)
{
    if (!m_client)
        return;
    // A client that asks and never reads would grow the buffer without end.
    if (m_client->bytesToWrite() > kMaxUnread) {
        Drop(QStringLiteral("the client reads none of its answers: client dropped"));
        return;
    }
    m_client->write(line + '\n');
}

void ScpiServer::SendDue()
{
    const qint64 now = m_clock();
    while (!m_late.empty() && m_late.front().first <= now) {
        Answer(m_late.front().second);
        m_late.pop_front();
    }
    if (!m_late.empty())
        m_lateTimer.start(static_cast<int>(m_late.front().first - now));
}

// ---- both ----------------------------------------------------------------------------------------------

References::References(const ReferenceConfig &config, Instrument &instrument, quint32 seed, std::function<qint64()> clock)
    : m_config(config), m_clock(std::move(clock))
{
    if (m_config.meterPort >= 0) {
        m_meter = std::make_unique<MeterModel>(instrument, seed, m_config.meterOffsetUa, m_config.meterNoiseUa);
        m_meterServer = std::make_unique<ScpiServer>(QStringLiteral("meter"), *m_meter, m_clock, m_config.lateMs);
        m_meterServer->SetFault(m_config.meterFault);
    }
    if (m_config.controllerPort >= 0) {
        m_controller = std::make_unique<ControllerModel>(instrument, m_config.controller);
        m_controllerServer =
            std::make_unique<ScpiServer>(QStringLiteral("controller"), *m_controller, m_clock, m_config.lateMs);
        m_controllerServer->SetFault(m_config.controllerFault);
        m_controllerServer->AfterLines = [this] { Track(); };
        // The pressure moves whether or not anybody asks the controller.
        m_tick.setInterval(kTickMs);
        QObject::connect(&m_tick, &QTimer::timeout, [this] {
            m_controller->PressureAt(m_clock());
            if (!m_controller->ControlOn())
                m_tick.stop();
        });
    }
}

bool References::Start(QString &error)
{
    for (ScpiServer *server : {m_meterServer.get(), m_controllerServer.get()})
        if (server)
            server->OnLog = [this](const QString &text) {
                if (OnLog)
                    OnLog(text);
            };
    if (m_meterServer && !m_meterServer->Listen(static_cast<quint16>(m_config.meterPort), error))
        return false;
    if (m_controllerServer && !m_controllerServer->Listen(static_cast<quint16>(m_config.controllerPort), error))
        return false;
    return true;
}

void References::Track()
{
    if (m_controller && m_controller->ControlOn() && !m_tick.isActive())
        m_tick.start();
}

} // namespace sim
