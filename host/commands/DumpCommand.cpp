#include "commands/DumpCommand.h"

#include "commands/ExitStatus.h"

#include <nlohmann/json.hpp>

#include <exception>

DumpCommand::DumpCommand(HostSession& session) : m_Session(session) {}

int DumpCommand::Run(const std::string& directory, bool json, std::ostream& out,
                     std::ostream& err) {
    const std::string file = directory + "/" + m_Session.Name() + ".kvxav";
    bool written = false;
    std::string reason = "the dictionary did not write it";
    try {
        written = m_Session.Dictionary().SaveBinaryForm();
    } catch (const std::exception& error) {
        reason = error.what();
    }
    if (!written) {
        err << file << ": cannot write the dump: " << reason << '\n';
        return kExitRefused;
    }
    if (json) {
        out << nlohmann::json{{"file", file}}.dump(2) << '\n';
    } else {
        out << "wrote " << file << '\n';
    }
    return kExitDone;
}
