// A link that records every write and lets a test deliver bytes as the
// serial link does: through OnDataAvailable with the queued count.
#pragma once

#include "MB.h"
#include "MBLink.h"
#include "TestPeer.h"

#include <QByteArray>
#include <QList>

#include <memory>

struct FakeLinkState {
    bool open = false;
    bool failOpen = false;
    QString openError = QStringLiteral("Device or resource busy");
    bool failWrites = false;
    QString port;
    quint32 baud = 0;
    QList<QByteArray> writes; // one entry per WriteBytes call
    QByteArray rx;            // bytes queued for reading
    int opens = 0;
    int closes = 0;

    QByteArray Written() const;
};

class FakeLink : public TMBLink
{
public:
    explicit FakeLink(std::shared_ptr<FakeLinkState> state) : m_state(std::move(state)) {}
    bool Open(const std::string &port, uint32_t baud, std::string &errorText) override;
    void Close() override;
    bool IsOpen() const override { return m_state->open; }
    bool WriteBytes(const char *data, std::ptrdiff_t count) override;
    std::ptrdiff_t ReadBytes(char *buffer, std::ptrdiff_t count) override;

    // Queues bytes and hands them over as one event.
    void Deliver(const QByteArray &bytes);

private:
    std::shared_ptr<FakeLinkState> m_state;
};

// Installs a fake-link factory on mb; returns the state shared with every link it makes.
std::shared_ptr<FakeLinkState> UseFakeLink(TMB &mb);
// Delivers bytes to the component's current fake link.
void Deliver(TMB &mb, const QByteArray &bytes);
