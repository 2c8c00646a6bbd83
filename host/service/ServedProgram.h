#pragma once

#include "core/Program.h"
#include "core/Sampler.h"

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
    ServedProgram(std::string name, std::string path, ProgramOptions options);
    ~ServedProgram();
    ServedProgram(const ServedProgram&) = delete;
    ServedProgram& operator=(const ServedProgram&) = delete;

    // Opens the file when it changed since the last attempt (or was never read). True when a
    // new program went into service. Import messages go to log. One caller at a time.
    bool Refresh(std::ostream& log);

    // The program in service, or null when the file never imported.
    std::shared_ptr<const Program> Current() const;
    // Why the last import failed; empty when it succeeded.
    std::string Error() const;
    // The sampler of this dictionary's memory, started on first use; it samples whatever
    // program is in service, so subscriptions outlive reloads.
    std::shared_ptr<Sampler> Subscriptions();
    const std::string& Name() const { return m_Name; }
    const std::string& Path() const { return m_Path; }
    // The PLC this dictionary's values live in; null on the memory image.
    std::shared_ptr<PlcEndpoint> Plc() const {
        return m_Options.memory.kind == MemoryKind::Modbus ? m_Options.memory.modbus.endpoint
                                                           : nullptr;
    }
    // Imports of the file that went into service (the first included), and those that failed.
    std::uint64_t Reloads() const { return m_Reloads.load(std::memory_order_relaxed); }
    std::uint64_t ReloadFailures() const {
        return m_ReloadFailures.load(std::memory_order_relaxed);
    }

private:
    // What tells that a file changed: its identity, size and modification time.
    struct FileSignature {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t size = -1;
        std::int64_t modified = 0; // nanoseconds
        bool operator==(const FileSignature&) const = default;
    };
    static FileSignature Signature(const std::string& path);
    std::shared_ptr<const Program> Import(std::string& error, std::ostream& log) const;

    std::string m_Name;
    std::string m_Path;
    ProgramOptions m_Options;
    FileSignature m_Seen;
    bool m_Tried = false;
    mutable std::mutex m_Mutex; // guards m_Current and m_Error
    std::shared_ptr<const Program> m_Current;
    std::string m_Error;
    std::shared_ptr<Sampler> m_Sampler; // guarded by m_Mutex
    std::atomic<std::uint64_t> m_Reloads{0};
    std::atomic<std::uint64_t> m_ReloadFailures{0};
};
