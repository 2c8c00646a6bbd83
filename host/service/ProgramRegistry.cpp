#include "service/ProgramRegistry.h"

#include "text/HostText.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unordered_map>

namespace fs = std::filesystem;

namespace {

bool IsProgramFile(const fs::directory_entry& entry) {
    std::error_code error;
    return entry.is_regular_file(error) &&
           ToUpperAscii(entry.path().extension().string()) == ".XML";
}

// The program files of a folder, sorted; empty with the reason when it cannot be listed.
std::vector<std::string> ProgramFiles(const std::string& folder, std::string& reason) {
    std::vector<std::string> files;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        if (IsProgramFile(entry)) {
            files.push_back(entry.path().string());
        }
    }
    if (error) {
        reason = TerminalText(folder) + ": " + error.message();
        return {};
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

ProgramRegistry::ProgramRegistry(ProgramOptions settings, WritePolicy writes)
    : m_Settings(std::move(settings)), m_Writes(std::move(writes)) {
    // One endpoint for the PLC, shared by every dictionary and every reload of one: its
    // connection and its bit-write exchanges outlive any version of a program.
    ModbusMemory::Options& modbus = m_Settings.memory.modbus;
    if (m_Settings.memory.kind == MemoryKind::Modbus && !modbus.endpoint) {
        modbus.endpoint = std::make_shared<PlcEndpoint>(modbus.target, modbus.timeout);
    }
}

bool ProgramRegistry::Add(const std::string& path, std::string& reason) {
    std::error_code error;
    if (!fs::is_directory(path, error)) {
        if (!fs::is_regular_file(path, error)) {
            reason = TerminalText(path) + ": no such file or folder";
            return false;
        }
        return AddFile(path, reason);
    }
    const std::vector<std::string> files = ProgramFiles(path, reason);
    if (files.empty()) {
        if (reason.empty()) {
            reason = TerminalText(path) + ": the folder holds no PLCopen file (*.xml)";
        }
        return false;
    }
    m_Folders.push_back(path);
    return std::all_of(files.begin(), files.end(),
                       [&](const std::string& file) { return AddFile(file, reason); });
}

bool ProgramRegistry::AddFile(const std::string& path, std::string& reason) {
    const std::string name = Program::DictionaryName(path);
    if (const std::shared_ptr<ServedProgram> other = Find(name)) {
        reason = TerminalText(path) + ": its dictionary name '" + TerminalText(name) +
                 "' is already served from " + TerminalText(other->Path());
        return false;
    }
    auto served = std::make_shared<ServedProgram>(name, path, m_Settings, m_Writes);
    const std::lock_guard<std::mutex> lock(m_Mutex);
    m_Programs.push_back(std::move(served));
    return true;
}

std::shared_ptr<ServedProgram> ProgramRegistry::Find(std::string_view name) const {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    for (const auto& program : m_Programs) {
        if (program->Name() == name) {
            return program;
        }
    }
    return nullptr;
}

std::vector<std::shared_ptr<ServedProgram>> ProgramRegistry::Programs() const {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Programs;
}

std::size_t ProgramRegistry::RefreshAll(std::ostream& log) {
    PickUpNewFiles(log);
    std::size_t loaded = 0;
    for (const auto& program : Programs()) {
        loaded += program->Refresh(log) ? 1 : 0;
    }
    return loaded;
}

void ProgramRegistry::PickUpNewFiles(std::ostream& log) {
    if (m_Folders.empty()) {
        return;
    }
    std::set<std::string> served;
    for (const auto& program : Programs()) {
        served.insert(program->Path());
    }
    for (const std::string& folder : m_Folders) {
        std::string reason;
        for (const std::string& file : ProgramFiles(folder, reason)) {
            if (served.count(file) != 0 || m_Refused.count(file) != 0) {
                continue;
            }
            if (AddFile(file, reason)) {
                log << Program::DictionaryName(file) << ": new file " << TerminalText(file)
                    << " in a served folder\n";
            } else {
                log << reason << "; not served\n";
                m_Refused.insert(file);
            }
        }
    }
}

void ProgramRegistry::Replace(const std::vector<Entry>& entries, std::ostream& log) {
    std::unordered_map<std::string, std::shared_ptr<ServedProgram>> current;
    for (const auto& program : Programs()) {
        current.emplace(program->Name(), program);
    }
    std::vector<std::shared_ptr<ServedProgram>> next;
    for (const Entry& entry : entries) {
        const auto found = current.find(entry.name);
        if (found == current.end()) {
            log << entry.name << ": added by the configuration\n";
            next.push_back(std::make_shared<ServedProgram>(entry.name, entry.path, entry.options,
                                                           entry.writes, entry.settings));
            continue;
        }
        if (found->second->Settings() != entry.settings) {
            log << entry.name << ": changed by the configuration; opened again\n";
            found->second->Reconfigure(entry.path, entry.options, entry.writes, entry.settings);
        }
        next.push_back(found->second);
        current.erase(found);
    }
    for (const auto& [name, program] : current) {
        log << name << ": removed by the configuration; no longer served\n";
    }
    const std::lock_guard<std::mutex> lock(m_Mutex);
    m_Programs = std::move(next);
}

void ProgramRegistry::SetConfigError(std::string error) {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    m_ConfigError = std::move(error);
}

std::string ProgramRegistry::ConfigError() const {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    return m_ConfigError;
}
