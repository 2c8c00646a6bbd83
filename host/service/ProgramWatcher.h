#pragma once

#include "service/PlcStateLog.h"
#include "service/ProgramRegistry.h"
#include "service/ServiceLog.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Looks at the served files at a fixed interval and imports again those that changed, on its
// own thread, so that requests never wait for an import. `before`, when given, runs first at
// each look (a plant's configuration followed), on the same thread. At the same interval, it
// logs the PLCs whose state changed.
class ProgramWatcher {
public:
    using Step = std::function<void(std::ostream& log)>;

    ProgramWatcher(ProgramRegistry& registry, std::chrono::milliseconds interval, ServiceLog& log,
                   Step before = {});
    ~ProgramWatcher(); // stops and joins
    ProgramWatcher(const ProgramWatcher&) = delete;
    ProgramWatcher& operator=(const ProgramWatcher&) = delete;

private:
    void Run();

    ProgramRegistry& m_Registry;
    std::chrono::milliseconds m_Interval;
    ServiceLog& m_Log;
    Step m_Before;
    PlcStateLog m_PlcStates; // on the watcher's thread only
    std::mutex m_Mutex;
    std::condition_variable m_Wake;
    bool m_Stop = false;
    std::thread m_Thread;
};
