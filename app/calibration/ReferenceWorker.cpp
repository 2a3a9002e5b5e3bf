#include "ReferenceWorker.h"

#include "EventLoop.h"
#include "References.h"

#include <algorithm>

namespace {

QString Text(const std::string &s)
{
    return QString::fromStdString(s);
}

} // namespace

TReferenceWorker::TReferenceWorker()
    : m_loop(std::make_unique<TEventLoop>()), m_meter(std::make_unique<station::TMeter>(*m_loop)),
      m_controller(std::make_unique<station::TPressureController>(*m_loop))
{
}

TReferenceWorker::~TReferenceWorker()
{
    // The instruments' ports before the loop they run on.
    m_meter.reset();
    m_controller.reset();
}

void TReferenceWorker::Interrupt()
{
    m_closing = true;
    m_loop->Stop();
}

void TReferenceWorker::Open(int role, const QString &address, const QString &unit)
{
    if (m_closing)
        return;
    if (role == Meter)
        m_meter->Close();
    else
        m_controller->Close();
    m_open[role] = false;
    if (address.trimmed().isEmpty()) {
        emit Opened(role, true, QString(), QString());
        return;
    }
    std::string error;
    const std::optional<station::TScpiAddress> parsed = station::ParseScpiAddress(address.trimmed().toStdString(), error);
    if (!parsed) {
        emit Opened(role, false, QString(), Text(error));
        return;
    }
    if (role == Meter) {
        if (!m_meter->Open(*parsed, error)) {
            emit Opened(role, false, QString(), Text(error));
            return;
        }
        m_open[role] = true;
        emit Opened(role, true, Text(m_meter->Identity().text), QString());
        return;
    }
    if (!m_controller->Open(*parsed, error) || (!unit.isEmpty() && !m_controller->UseUnit(unit.toStdString(), error))) {
        m_controller->Close();
        emit Opened(role, false, QString(), Text(error));
        return;
    }
    m_open[role] = true;
    emit Opened(role, true, Text(m_controller->Identity().text), QString());
}

void TReferenceWorker::ReadMeter(quint64 ticket, int count)
{
    if (m_closing)
        return;
    if (!m_open[Meter]) {
        emit MeterRead(ticket, false, 0, QStringLiteral("no meter connected: type its address (tcp:HOST:PORT or serial:PORT) and press Connect"));
        return;
    }
    double sum = 0;
    for (int i = 0; i < count && !m_closing; ++i) {
        std::string error;
        const std::optional<double> mA = m_meter->ReadMilliAmps(error);
        if (!mA) {
            emit MeterRead(ticket, false, 0, Text(error));
            return;
        }
        sum += *mA;
    }
    if (m_closing)
        return;
    emit MeterRead(ticket, true, sum / std::max(1, count), QString());
}

void TReferenceWorker::ReadController(quint64 ticket)
{
    if (m_closing)
        return;
    if (!m_open[Controller]) {
        emit ControllerRead(ticket, false, 0, false, QStringLiteral("no pressure controller connected: type its address and press Connect"));
        return;
    }
    std::string error;
    const std::optional<station::TPressureReading> r = m_controller->Read(error);
    if (!r) {
        emit ControllerRead(ticket, false, 0, false, Text(error));
        return;
    }
    emit ControllerRead(ticket, true, r->value, r->inLimits, QString());
}

void TReferenceWorker::ApplyPressure(quint64 ticket, double value)
{
    if (m_closing)
        return;
    std::string error;
    if (!m_open[Controller]) {
        emit Done(ticket, false, QStringLiteral("no pressure controller connected: type its address and press Connect"));
        return;
    }
    const bool ok = m_controller->SetPoint(value, error) && m_controller->ControlOn(error);
    emit Done(ticket, ok, Text(error));
}

void TReferenceWorker::ControlOff(quint64 ticket)
{
    if (m_closing)
        return;
    std::string error;
    const bool ok = !m_open[Controller] || m_controller->ControlOff(error);
    emit Done(ticket, ok, Text(error));
}

void TReferenceWorker::Shutdown()
{
    m_loop->RunReady(); // takes up a stop that found no call to end
    m_controller->Close(); // turns control off first
    m_meter->Close();
    m_open[Meter] = m_open[Controller] = false;
}
