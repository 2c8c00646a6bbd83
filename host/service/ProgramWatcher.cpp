#include "service/ProgramWatcher.h"

#include <sstream>

ProgramWatcher::ProgramWatcher(ProgramRegistry& registry, std::chrono::milliseconds interval,
                               ServiceLog& log, Step before)
    : m_Registry(registry), m_Interval(interval), m_Log(log), m_Before(std::move(before)),
      m_Thread([this] { Run(); }) {}

ProgramWatcher::~ProgramWatcher() {
    {
        const std::lock_guard<std::mutex> lock(m_Mutex);
        m_Stop = true;
    }
    m_Wake.notify_all();
    m_Thread.join();
}

void ProgramWatcher::Run() {
    std::unique_lock<std::mutex> lock(m_Mutex);
    while (!m_Wake.wait_for(lock, m_Interval, [this] { return m_Stop; })) {
        lock.unlock();
        std::ostringstream messages;
        if (m_Before) {
            m_Before(messages);
        }
        m_Registry.RefreshAll(messages);
        m_Log.Write(messages.str());
        m_PlcStates.Check(m_Registry, m_Log);
        lock.lock();
    }
}
