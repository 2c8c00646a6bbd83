#pragma once

#include "commands/HostSession.h"
#include "values/LiveValues.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>

// One program the service keeps loaded: its file, the dictionary built from it and the last
// import error. When the file changes, the program is imported again aside and the new
// dictionary replaces the old one in one step; requests that hold the old one finish on it.
class ServedProgram {
public:
    // How programs are imported and where their values are.
    struct Settings {
        bool strict = false;
        LiveValues::Options values;
    };

    // What one import produced; never changed once in service.
    struct Loaded {
        std::unique_ptr<HostSession> session;
        std::unique_ptr<LiveValues> values; // uses the session, so declared after it
        nlohmann::json info;                // what `varbank info` shows
        std::string stamp;
    };

    ServedProgram(std::string name, std::string path, Settings settings);

    // Imports the file when it changed since the last attempt (or was never read). True when a
    // new dictionary went into service. Import messages go to log. One caller at a time.
    bool Refresh(std::ostream& log);

    // The dictionary in service, or null when the file never imported.
    std::shared_ptr<const Loaded> Current() const;
    // Why the last import failed; empty when it succeeded.
    std::string Error() const;
    const std::string& Name() const { return m_Name; }
    const std::string& Path() const { return m_Path; }
    // {"name", "file", "variables", "stamp", "error"}, nulls for what is unknown.
    nlohmann::json Summary() const;

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
    std::shared_ptr<const Loaded> Import(std::string& error, std::ostream& log) const;
    void OpenValues(Loaded& loaded, Diagnostics& diagnostics) const;

    std::string m_Name;
    std::string m_Path;
    Settings m_Settings;
    FileSignature m_Seen;
    bool m_Tried = false;
    mutable std::mutex m_Mutex; // guards m_Current and m_Error
    std::shared_ptr<const Loaded> m_Current;
    std::string m_Error;
};
