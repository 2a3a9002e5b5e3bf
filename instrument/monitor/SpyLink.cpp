// The spy between the engine and its link.
#include "FrameMonitor.h"

#include <utility>

namespace kv508 {

namespace {

class TSpyLink : public TMBLink
{
public:
    TSpyLink(std::unique_ptr<TMBLink> inner, TFrameMonitor &monitor, std::function<int64_t()> nowMs)
        : m_inner(std::move(inner)), m_monitor(monitor), m_now(std::move(nowMs))
    {
        Hook();
    }

    bool Open(const std::string &port, uint32_t baud, std::string &errorText) override
    {
        Hook(); // the inner link may have been handed on with other callbacks
        return m_inner->Open(port, baud, errorText);
    }
    void Close() override { m_inner->Close(); }
    bool IsOpen() const override { return m_inner->IsOpen(); }
    bool WriteBytes(const char *data, std::ptrdiff_t count) override
    {
        if (!m_inner->WriteBytes(data, count))
            return false; // nothing was taken, so nothing crossed
        if (count > 0)
            m_monitor.Feed(TDirection::Tx, std::string_view(data, std::size_t(count)), Now());
        return true;
    }
    std::ptrdiff_t ReadBytes(char *buffer, std::ptrdiff_t count) override
    {
        const std::ptrdiff_t got = m_inner->ReadBytes(buffer, count);
        if (got > 0)
            m_monitor.Feed(TDirection::Rx, std::string_view(buffer, std::size_t(got)), Now());
        return got;
    }
    void ExpectChars(uint32_t count) override { m_inner->ExpectChars(count); }

private:
    // The inner link calls whatever the engine has assigned on the spy at the
    // moment of the call. A copy runs, since the handler may reassign the spy's
    // callback or close and destroy the link (and this forwarder) under it.
    void Hook()
    {
        m_inner->OnDataAvailable = [this](uint32_t count) {
            if (auto f = OnDataAvailable)
                f(count);
        };
        m_inner->OnLineEvent = [this](uint32_t mask, uint32_t modem) {
            if (auto f = OnLineEvent)
                f(mask, modem);
        };
        m_inner->OnHangUp = [this] {
            if (auto f = OnHangUp)
                f();
        };
    }
    int64_t Now() const { return m_now ? m_now() : 0; }

    std::unique_ptr<TMBLink> m_inner;
    TFrameMonitor &m_monitor;
    std::function<int64_t()> m_now;
};

} // namespace

std::unique_ptr<TMBLink> MakeSpyLink(std::unique_ptr<TMBLink> inner, TFrameMonitor &monitor,
                                     std::function<int64_t()> nowMs)
{
    return std::make_unique<TSpyLink>(std::move(inner), monitor, std::move(nowMs));
}

} // namespace kv508
