// The fake link's behaviour, once for both kinds of state: the plain one
// (std::string) and the Qt one (QByteArray, QString). It records every write
// and hands bytes over as the serial link does: through OnDataAvailable with
// the queued count. A State provides Bytes, its port and error text types and
// FromStd/ToStd conversions between those and std::string.
#pragma once

#include "MBLink.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>

template <class State>
class TFakeLinkOf : public TMBLink
{
public:
    using Bytes = typename State::Bytes;

    explicit TFakeLinkOf(std::shared_ptr<State> state) : m_state(std::move(state)) {}

    bool Open(const std::string &port, uint32_t baud, std::string &errorText) override
    {
        m_state->port = State::FromStd(port);
        m_state->baud = baud;
        if (m_state->failOpen) {
            errorText = State::ToStd(m_state->openError);
            return false;
        }
        m_state->open = true;
        ++m_state->opens;
        return true;
    }
    void Close() override
    {
        m_state->open = false;
        ++m_state->closes;
    }
    bool IsOpen() const override { return m_state->open; }
    bool WriteBytes(const char *data, std::ptrdiff_t count) override
    {
        if (m_state->failWrites)
            return false;
        m_state->writes.push_back(Bytes(data, count));
        return true;
    }
    std::ptrdiff_t ReadBytes(char *buffer, std::ptrdiff_t count) override
    {
        const auto n = std::min<std::ptrdiff_t>(count, std::ptrdiff_t(m_state->rx.size()));
        std::copy_n(m_state->rx.data(), n, buffer);
        m_state->rx.erase(m_state->rx.begin(), m_state->rx.begin() + n);
        return n;
    }

    void ExpectChars(uint32_t count) override { m_state->hints.push_back(count); }

    // Queues bytes and hands them over as one event.
    void Deliver(const Bytes &bytes)
    {
        m_state->rx += bytes;
        if (OnDataAvailable)
            OnDataAvailable(static_cast<uint32_t>(m_state->rx.size()));
    }

private:
    std::shared_ptr<State> m_state;
};

// All writes, in order, as one byte string.
template <class Writes>
auto JoinWrites(const Writes &writes)
{
    typename Writes::value_type all;
    for (const auto &w : writes)
        all += w;
    return all;
}
