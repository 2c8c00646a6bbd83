#pragma once

#include "core/Program.h"
#include "core/Sampler.h"
#include "service/FileSignature.h"
#include "service/WritePolicy.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>

// One program the service keeps open: its file, the program opened from it and the last import
// error. When the file changes, the program is opened again aside and replaces the old one in
// one step; requests that hold the old one finish on it.
class ServedProgram {
public:
    // `settings`: a text of what the program was configured with; a new one opens it again.
    ServedProgram(std::string name, std::string path, ProgramOptions options,
                  WritePolicy writes = {}, std::string settings = {});
    ~ServedProgram();
    ServedProgram(const ServedProgram&) = delete;
    ServedProgram& operator=(const ServedProgram&) = delete;

    // Opens the file when it changed since the last attempt (or was never read). True when a
    // new program went into service. Import messages go to log. One caller at a time.
    bool Refresh(std::ostream& log);
    // Serves another file, or the same on other terms: the next Refresh opens it again, and
    // the program in service stays until then. Writes follow the new policy at once. One
    // caller at a time, the same as Refresh's.
    void Reconfigure(std::string path, ProgramOptions options, WritePolicy writes,
                     std::string settings);

    // The program in service, or null when the file never imported.
    std::shared_ptr<const Program> Current() const;
    // Why the last import failed; empty when it succeeded.
    std::string Error() const;
    // The sampler of this dictionary's memory, started on first use; it samples whatever
    // program is in service, so subscriptions outlive reloads.
    std::shared_ptr<Sampler> Subscriptions();
    WritePolicy Writes() const;
    const std::string& Name() const { return m_Name; }
    std::string Path() const;
    // What Reconfigure was last given (the registry's caller only).
    const std::string& Settings() const { return m_Settings; }
    // The PLC this dictionary's values live in; null on the memory image.
    std::shared_ptr<PlcEndpoint> Plc() const;
    // Imports of the file that went into service (the first included), and those that failed.
    std::uint64_t Reloads() const { return m_Reloads.load(std::memory_order_relaxed); }
    std::uint64_t ReloadFailures() const {
        return m_ReloadFailures.load(std::memory_order_relaxed);
    }

private:
    std::shared_ptr<const Program> Import(std::string& error, std::ostream& log) const;

    const std::string m_Name;
    std::string m_Path;       // written under m_Mutex, by the one caller of Refresh
    ProgramOptions m_Options; // the same
    std::string m_Settings;
    FileSignature m_Seen;
    bool m_Tried = false;
    mutable std::mutex m_Mutex; // guards what other threads read: below, path and options
    std::shared_ptr<const Program> m_Current;
    std::string m_Error;
    WritePolicy m_Writes;
    std::shared_ptr<Sampler> m_Sampler;
    std::atomic<std::uint64_t> m_Reloads{0};
    std::atomic<std::uint64_t> m_ReloadFailures{0};
};
