#include "service/ProgramRegistry.h"

#include "text/HostText.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool IsProgramFile(const fs::directory_entry& entry) {
    std::error_code error;
    return entry.is_regular_file(error) &&
           ToUpperAscii(entry.path().extension().string()) == ".XML";
}

} // namespace

ProgramRegistry::ProgramRegistry(ProgramOptions settings) : m_Settings(std::move(settings)) {
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
    std::vector<std::string> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(path, error)) {
        if (IsProgramFile(entry)) {
            files.push_back(entry.path().string());
        }
    }
    if (error) {
        reason = TerminalText(path) + ": " + error.message();
        return false;
    }
    if (files.empty()) {
        reason = TerminalText(path) + ": the folder holds no PLCopen file (*.xml)";
        return false;
    }
    std::sort(files.begin(), files.end());
    return std::all_of(files.begin(), files.end(),
                       [&](const std::string& file) { return AddFile(file, reason); });
}

bool ProgramRegistry::AddFile(const std::string& path, std::string& reason) {
    const std::string name = Program::DictionaryName(path);
    if (const ServedProgram* other = Find(name)) {
        reason = TerminalText(path) + ": its dictionary name '" + TerminalText(name) +
                 "' is already served from " + TerminalText(other->Path());
        return false;
    }
    m_Programs.push_back(std::make_unique<ServedProgram>(name, path, m_Settings));
    return true;
}

ServedProgram* ProgramRegistry::Find(std::string_view name) const {
    for (const auto& program : m_Programs) {
        if (program->Name() == name) {
            return program.get();
        }
    }
    return nullptr;
}

std::size_t ProgramRegistry::RefreshAll(std::ostream& log) {
    std::size_t loaded = 0;
    for (const auto& program : m_Programs) {
        loaded += program->Refresh(log) ? 1 : 0;
    }
    return loaded;
}
