#pragma once

#include "service/ServiceLog.h"

#include <atomic>
#include <csignal>
#include <functional>
#include <thread>

// SIGINT and SIGTERM, blocked in the thread that creates this object (and so in every thread
// it starts afterwards) and taken by one waiting thread, which calls a stop function. The
// blocking is undone when the object goes; a second signal during the stop is taken too
// rather than ending the process.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Starts the waiting thread; stop is called once, on the first signal.
    void Watch(std::function<void()> stop, ServiceLog& log);
    // Ends the waiting thread, and waits for a stop call in progress to return: what it stops
    // may be destroyed only after this.
    void Join();

private:
    sigset_t m_Set{};
    sigset_t m_Previous{};
    std::atomic<bool> m_Done{false};
    std::thread m_Thread;
};
