#pragma once

#include <atomic>
#include <csignal>
#include <functional>
#include <thread>

// Ends a command that runs until Ctrl-C: SIGINT and SIGTERM are blocked in the thread that
// creates this object (and so in every thread it starts afterwards) and taken by one waiting
// thread, which calls the stop function once. The blocking is undone when the object goes.
class SignalStop {
public:
    SignalStop();
    ~SignalStop();
    SignalStop(const SignalStop&) = delete;
    SignalStop& operator=(const SignalStop&) = delete;

    // Starts the waiting thread; stop is called on the first signal, on that thread.
    void Watch(std::function<void()> stop);

private:
    sigset_t m_Set{};
    sigset_t m_Previous{};
    std::atomic<bool> m_Done{false};
    std::thread m_Thread;
};
