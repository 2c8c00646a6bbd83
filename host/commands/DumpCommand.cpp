#include "commands/DumpCommand.h"

#include "commands/ExitStatus.h"
#include "import/NameText.h"

#include <nlohmann/json.hpp>

#include <csignal>

DumpCommand::DumpCommand(HostSession& session) : m_Session(session) {}

int DumpCommand::Run(StagingDirectory& staging, const std::string& directory, bool json,
                     std::ostream& out, std::ostream& err) {
    const std::string name = m_Session.DumpFileName();
    const std::string file = directory + "/" + name;
    // Past a file size limit, a write fails instead of killing the process, so the private
    // folder and its partial file are still removed.
    std::signal(SIGXFSZ, SIG_IGN);
    std::string reason;
    bool written = m_Session.WriteDump(staging.Path(), reason);
    // The report is composed before the file is published: once the dump is in place, the
    // command cannot fail any more.
    const std::string report = json ? nlohmann::json{{"file", file}}.dump(
                                          2, ' ', false, nlohmann::json::error_handler_t::replace)
                                    : "wrote " + TerminalText(file);
    if (written && !staging.Publish(name)) {
        written = false;
        reason = staging.Reason();
    }
    if (!written) {
        err << TerminalText(file) << ": cannot write the dump: " << reason << '\n';
        return kExitRefused;
    }
    out << report << '\n';
    return kExitDone;
}
