// The plain event loop (TEventLoop) as a wait host, for programs without Qt.
#pragma once

#include "LinkWait.h"

class TEventLoop;

class TLoopWaitHost final : public TWaitHost
{
public:
    // Watches in loop, which must outlive the host and every watch it starts.
    explicit TLoopWaitHost(TEventLoop &loop) : m_loop(loop) {}

    std::unique_ptr<TWaitWatch> Watch(int fd, bool read, bool write, TReady onReady, std::string &error) override;

private:
    TEventLoop &m_loop;
};
