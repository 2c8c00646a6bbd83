#include "service/ServedProgram.h"

#include "commands/InfoCommand.h"
#include "import/Diagnostics.h"
#include "import/NameText.h"

#include <sys/stat.h>

#include <exception>
#include <sstream>

ServedProgram::ServedProgram(std::string name, std::string path, Settings settings)
    : m_Name(std::move(name)), m_Path(std::move(path)), m_Settings(std::move(settings)) {}

ServedProgram::FileSignature ServedProgram::Signature(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return {};
    }
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
            static_cast<std::int64_t>(status.st_size),
            static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

bool ServedProgram::Refresh(std::ostream& log) {
    const FileSignature signature = Signature(m_Path);
    if (m_Tried && signature == m_Seen) {
        return false;
    }
    m_Tried = true;
    m_Seen = signature;
    std::string error;
    std::shared_ptr<const Loaded> loaded = Import(error, log);
    const std::lock_guard<std::mutex> lock(m_Mutex);
    m_Error = error;
    if (!loaded) {
        log << m_Name << ": " << TerminalText(m_Path) << " does not import; "
            << (m_Current ? "the dictionary loaded before stays in service\n"
                          : "not in service until it does\n");
        return false;
    }
    log << m_Name << ": serving " << TerminalText(m_Path) << " ("
        << loaded->info["variables"].get<std::size_t>() << " variables, stamp " << loaded->stamp
        << ")\n";
    m_Current = std::move(loaded);
    return true;
}

std::shared_ptr<const ServedProgram::Loaded> ServedProgram::Import(std::string& error,
                                                                   std::ostream& log) const {
    Diagnostics diagnostics(TerminalText(m_Path));
    HostSession::Options options;
    options.strict = m_Settings.strict;
    auto loaded = std::make_shared<Loaded>();
    try {
        loaded->session = HostSession::Open(m_Path, options, diagnostics);
        if (loaded->session) {
            OpenValues(*loaded, diagnostics);
        }
        if (loaded->session) {
            loaded->info = InfoCommand(*loaded->session).Collect(m_Path);
            loaded->stamp = loaded->info["stamp"].get<std::string>();
        }
    } catch (const std::exception& failure) {
        loaded->session.reset();
        diagnostics.Error(0, failure.what());
    }
    std::ostringstream messages;
    diagnostics.Print(messages);
    log << messages.str();
    if (!loaded->session) {
        error = messages.str();
        while (!error.empty() && error.back() == '\n') {
            error.pop_back();
        }
        if (error.empty()) {
            error = TerminalText(m_Path) + ": the file does not import";
        }
        return nullptr;
    }
    return loaded;
}

// The memory behind the new dictionary; its initial values that do not fit are warnings.
void ServedProgram::OpenValues(Loaded& loaded, Diagnostics& diagnostics) const {
    std::string error;
    loaded.values = LiveValues::Open(*loaded.session, m_Settings.values, error);
    if (!loaded.values) {
        diagnostics.Error(0, "values: " + error);
        loaded.session.reset();
        return;
    }
    std::istringstream warnings(loaded.values->Warnings());
    for (std::string line; std::getline(warnings, line);) {
        diagnostics.Warning(0, "initial value: " + line);
    }
}

std::shared_ptr<const ServedProgram::Loaded> ServedProgram::Current() const {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Current;
}

std::string ServedProgram::Error() const {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Error;
}

nlohmann::json ServedProgram::Summary() const {
    const std::shared_ptr<const Loaded> loaded = Current();
    const std::string error = Error();
    return {{"name", m_Name},
            {"file", m_Path},
            {"variables", loaded ? loaded->info["variables"] : nlohmann::json()},
            {"stamp", loaded ? nlohmann::json(loaded->stamp) : nlohmann::json()},
            {"error", error.empty() ? nlohmann::json() : nlohmann::json(error)}};
}
