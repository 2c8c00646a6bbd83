#include "service/StopSignals.h"

#include <ctime>
#include <string>

StopSignals::StopSignals() {
    sigemptyset(&m_Set);
    sigaddset(&m_Set, SIGINT);
    sigaddset(&m_Set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &m_Set, &m_Previous);
}

StopSignals::~StopSignals() {
    Join();
    const timespec none{0, 0};
    while (sigtimedwait(&m_Set, nullptr, &none) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &m_Previous, nullptr);
}

void StopSignals::Join() {
    m_Done = true;
    if (m_Thread.joinable()) {
        m_Thread.join();
    }
}

void StopSignals::Watch(std::function<void()> stop, ServiceLog& log) {
    m_Thread = std::thread([this, stop = std::move(stop), &log] {
        const timespec pause{0, 100000000L}; // 100 ms, to notice m_Done
        while (!m_Done) {
            const int signal = sigtimedwait(&m_Set, nullptr, &pause);
            if (signal > 0) {
                log.Write(std::string("stopping on ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") +
                          "; requests in progress finish");
                stop();
                return;
            }
        }
    });
}
