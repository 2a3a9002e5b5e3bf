// The loop's inside, for the loop's own I/O objects (EventLoop.cpp, LoopTcp.cpp):
// Asio stays out of EventLoop.h.
#pragma once

#include "EventLoop.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

struct TEventLoop::TImpl
{
    // One thread runs the loop; others only post, which Asio still locks for.
    asio::io_context io{1};
    // Keeps Run() going while there is nothing to do.
    asio::executor_work_guard<asio::io_context::executor_type> work = asio::make_work_guard(io);

    // A run ended by Stop() leaves the context stopped; clear that for the next run.
    void AfterRun()
    {
        if (io.stopped())
            io.restart();
    }
};
