#include "commands/HostSession.h"

#include "commands/DictionaryBuilder.h"
#include "import/ProjectImporter.h"

#include <filesystem>

std::unique_ptr<HostSession> HostSession::Open(const std::string& path, const Options& options,
                                               Diagnostics& diagnostics) {
    auto layout = ProjectImporter(diagnostics, {options.strict}).ImportFile(path);
    if (!layout) {
        return nullptr;
    }
    std::unique_ptr<HostSession> session(new HostSession());
    session->m_Name = DictionaryName(path);
    session->m_Layout = std::move(*layout);
    session->m_Trace = std::make_unique<TraceRecorder>(options.traceEcho);
    session->m_Dictionary =
        DictionaryBuilder::Build(session->m_Layout, session->m_Name, options.dumpDirectory);
    // Traces always reach the recorder, which keeps the last one as a refusal's reason.
    session->m_Dictionary->Initialize(0, session->m_Trace.get(), 1, options.dumpDirectory, 0);
    return session;
}

std::string HostSession::DictionaryName(const std::string& path) {
    const std::string stem = std::filesystem::path(path).stem().string();
    return stem.empty() ? "PLC" : stem;
}
