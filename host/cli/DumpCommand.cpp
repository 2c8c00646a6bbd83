#include "cli/DumpCommand.h"

#include "cli/ExitStatus.h"
#include "text/HostText.h"
#include "json/CoreJson.h"

int DumpCommand::Run(const Program& program, const std::string& directory, OutputFormat format,
                     std::ostream& out, std::ostream& err) {
    const std::string file = directory + "/" + program.DumpFileName();
    // The report is composed before the file is published: once the dump is in place, the
    // command cannot fail any more.
    const std::string report = format == OutputFormat::Json ? CoreJson::Text({{"file", file}})
                                                            : "wrote " + TerminalText(file);
    std::string reason;
    if (!program.WriteDump(directory, reason)) {
        err << TerminalText(file) << ": " << reason << '\n';
        return kExitRefused;
    }
    out << report << '\n';
    return kExitDone;
}
