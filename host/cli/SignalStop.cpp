#include "cli/SignalStop.h"

#include <ctime>
#include <utility>

SignalStop::SignalStop() {
    sigemptyset(&m_Set);
    sigaddset(&m_Set, SIGINT);
    sigaddset(&m_Set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &m_Set, &m_Previous);
}

SignalStop::~SignalStop() {
    m_Done = true;
    if (m_Thread.joinable()) {
        m_Thread.join();
    }
    // A signal that came after the stop is dropped rather than ending the process now.
    const timespec none{0, 0};
    while (sigtimedwait(&m_Set, nullptr, &none) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &m_Previous, nullptr);
}

void SignalStop::Watch(std::function<void()> stop) {
    m_Thread = std::thread([this, stop = std::move(stop)] {
        const timespec pause{0, 100000000L}; // 100 ms, to notice m_Done
        while (!m_Done) {
            if (sigtimedwait(&m_Set, nullptr, &pause) > 0) {
                stop();
                return;
            }
        }
    });
}
