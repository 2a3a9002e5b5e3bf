#include "FakeLink.h"

QByteArray FakeLinkState::Written() const
{
    QByteArray all;
    for (const QByteArray &w : writes)
        all += w;
    return all;
}

bool FakeLink::Open(const std::string &port, uint32_t baud, std::string &errorText)
{
    m_state->port = QString::fromStdString(port);
    m_state->baud = baud;
    if (m_state->failOpen) {
        errorText = m_state->openError.toStdString();
        return false;
    }
    m_state->open = true;
    ++m_state->opens;
    return true;
}

void FakeLink::Close()
{
    m_state->open = false;
    ++m_state->closes;
}

bool FakeLink::WriteBytes(const char *data, std::ptrdiff_t count)
{
    if (m_state->failWrites)
        return false;
    m_state->writes.append(QByteArray(data, count));
    return true;
}

std::ptrdiff_t FakeLink::ReadBytes(char *buffer, std::ptrdiff_t count)
{
    const qsizetype n = std::min<qsizetype>(count, m_state->rx.size());
    std::copy_n(m_state->rx.constData(), n, buffer);
    m_state->rx.remove(0, n);
    return n;
}

void FakeLink::Deliver(const QByteArray &bytes)
{
    m_state->rx += bytes;
    if (OnDataAvailable)
        OnDataAvailable(static_cast<quint32>(m_state->rx.size()));
}

std::shared_ptr<FakeLinkState> UseFakeLink(TMB &mb)
{
    auto state = std::make_shared<FakeLinkState>();
    mb.SetLinkFactory([state] { return std::make_unique<FakeLink>(state); });
    return state;
}

void Deliver(TMB &mb, const QByteArray &bytes)
{
    if (auto *link = dynamic_cast<FakeLink *>(LinkOf(mb)))
        link->Deliver(bytes);
}
