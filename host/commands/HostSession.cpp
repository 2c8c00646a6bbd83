#include "commands/HostSession.h"

#include "commands/DictionaryBuilder.h"
#include "import/ProjectImporter.h"

#include <exception>
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

bool HostSession::WriteDump(const std::string& directory, std::string& reason) {
    CVarbank& dictionary = *m_Dictionary;
    // The dump folder is the dictionary's setting; it is swapped for this call under the
    // exclusive lock (recursive for its holder), so concurrent dumps never cross.
    const CScopedLock lock(dictionary.m_Lock);
    const std::string previous = dictionary.m_DumpDirectory;
    dictionary.m_DumpDirectory = directory;
    bool written = false;
    reason = "the dictionary did not write it";
    try {
        written = dictionary.SaveBinaryForm();
    } catch (const std::exception& error) {
        reason = error.what();
    }
    dictionary.m_DumpDirectory = previous;
    return written;
}
