// The plain event loop (TEventLoop) as the Win32 link's host, for programs
// without Qt: hand-overs are posted into the loop.
#pragma once

#include "LinkHost.h"

class TEventLoop;

class TLoopLinkHost final : public TLinkHost
{
public:
    // Hands over in loop, which must outlive the host and every link using it.
    explicit TLoopLinkHost(TEventLoop &loop) : m_loop(loop) {}

    std::unique_ptr<THostQueue> Attach(std::string &error) override;

private:
    TEventLoop &m_loop;
};
