#include "service/ServedProgram.h"

#include "text/HostText.h"

#include <sstream>

ServedProgram::ServedProgram(std::string name, std::string path, ProgramOptions options,
                             WritePolicy writes, std::string settings)
    : m_Name(std::move(name)), m_Path(std::move(path)), m_Options(std::move(options)),
      m_Settings(std::move(settings)), m_Writes(std::move(writes)) {}

ServedProgram::~ServedProgram() {
    if (m_Sampler) {
        m_Sampler->Stop(); // subscriptions that live on see no more samples
    }
}

std::shared_ptr<Sampler> ServedProgram::Subscriptions() {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    if (!m_Sampler) {
        m_Sampler =
            Sampler::Create([this] { return Current(); }, Sampler::For(m_Options.memory.kind));
    }
    return m_Sampler;
}

void ServedProgram::Reconfigure(std::string path, ProgramOptions options, WritePolicy writes,
                                std::string settings) {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    m_Path = std::move(path);
    m_Options = std::move(options);
    m_Writes = std::move(writes);
    m_Settings = std::move(settings);
    m_Tried = false;
}

bool ServedProgram::Refresh(std::ostream& log) {
    const FileSignature signature = FileSignature::Of(m_Path);
    if (m_Tried && signature == m_Seen) {
        return false;
    }
    m_Tried = true;
    m_Seen = signature;
    std::string error;
    std::shared_ptr<const Program> program = Import(error, log);
    const std::lock_guard<std::mutex> lock(m_Mutex);
    m_Error = error;
    (program ? m_Reloads : m_ReloadFailures).fetch_add(1, std::memory_order_relaxed);
    if (!program) {
        log << m_Name << ": " << TerminalText(m_Path) << " does not import; "
            << (m_Current ? "the dictionary loaded before stays in service\n"
                          : "not in service until it does\n");
        return false;
    }
    log << m_Name << ": serving " << TerminalText(m_Path) << " ("
        << program->Info().counts.variables << " variables, stamp " << program->Stamp() << ")\n";
    m_Current = std::move(program);
    return true;
}

std::shared_ptr<const Program> ServedProgram::Import(std::string& error, std::ostream& log) const {
    Diagnostics report(TerminalText(m_Path));
    std::shared_ptr<const Program> program = Program::Open(m_Path, m_Options, report);
    std::ostringstream messages;
    report.Print(messages);
    log << messages.str();
    if (!program) {
        error = messages.str();
        while (!error.empty() && error.back() == '\n') {
            error.pop_back();
        }
        if (error.empty()) {
            error = TerminalText(m_Path) + ": the file does not import";
        }
    }
    return program;
}

std::shared_ptr<const Program> ServedProgram::Current() const {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Current;
}

std::string ServedProgram::Error() const {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Error;
}

WritePolicy ServedProgram::Writes() const {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Writes;
}

std::string ServedProgram::Path() const {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Path;
}

std::shared_ptr<PlcEndpoint> ServedProgram::Plc() const {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Options.memory.kind == MemoryKind::Modbus ? m_Options.memory.modbus.endpoint : nullptr;
}
