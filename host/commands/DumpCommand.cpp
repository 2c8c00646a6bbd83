#include "commands/DumpCommand.h"

#include "commands/ExitStatus.h"
#include "import/NameText.h"

#include <nlohmann/json.hpp>

#include <csignal>

DumpCommand::DumpCommand(HostSession& session) : m_Session(session) {}

int DumpCommand::Run(StagingDirectory& staging, const std::string& directory, bool json,
                     std::ostream& out, std::ostream& err) {
    const std::string file = directory + "/" + m_Session.DumpFileName();
    // The report is composed before the file is published: once the dump is in place, the
    // command cannot fail any more.
    const std::string report = json ? nlohmann::json{{"file", file}}.dump(
                                          2, ' ', false, nlohmann::json::error_handler_t::replace)
                                    : "wrote " + TerminalText(file);
    std::string reason;
    if (!Write(staging, reason)) {
        err << TerminalText(file) << ": cannot write the dump: " << reason << '\n';
        return kExitRefused;
    }
    out << report << '\n';
    return kExitDone;
}

bool DumpCommand::Write(StagingDirectory& staging, std::string& reason) {
    // Past a file size limit, a write fails instead of killing the process, so the private
    // folder and its partial file are still removed.
    std::signal(SIGXFSZ, SIG_IGN);
    if (!m_Session.WriteDump(staging.Path(), reason)) {
        return false;
    }
    if (!staging.Publish(m_Session.DumpFileName())) {
        reason = staging.Reason();
        return false;
    }
    return true;
}
