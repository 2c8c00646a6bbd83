#pragma once

#include "service/PlcStateLog.h"
#include "service/ProgramRegistry.h"
#include "service/ServiceLog.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Looks at the served files at a fixed interval and imports again those that changed, on its
// own thread, so that requests never wait for an import. At the same interval, it logs the
// PLCs whose state changed.
class ProgramWatcher {
public:
    ProgramWatcher(ProgramRegistry& registry, std::chrono::milliseconds interval, ServiceLog& log);
    ~ProgramWatcher(); // stops and joins
    ProgramWatcher(const ProgramWatcher&) = delete;
    ProgramWatcher& operator=(const ProgramWatcher&) = delete;

private:
    void Run();

    ProgramRegistry& m_Registry;
    std::chrono::milliseconds m_Interval;
    ServiceLog& m_Log;
    PlcStateLog m_PlcStates; // on the watcher's thread only
    std::mutex m_Mutex;
    std::condition_variable m_Wake;
    bool m_Stop = false;
    std::thread m_Thread;
};
