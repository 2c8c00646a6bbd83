#include "cli/StampCommand.h"

#include "cli/ExitStatus.h"
#include "text/HostText.h"
#include "json/CoreJson.h"

#include <algorithm>

namespace {

const char* Explanation(StampMatch match) {
    switch (match) {
    case StampMatch::Ok:
        return "the same build";
    case StampMatch::Partial:
        return "the same types and variables; comments or initial values differ";
    case StampMatch::Mismatch:
        return "types or variables differ: the dictionary does not match";
    case StampMatch::NoStamp:
    case StampMatch::None:
        break;
    }
    return "no stamp to compare";
}

} // namespace

int StampCommand::Run(const Program& built, const Program& running, OutputFormat format,
                      std::ostream& out) {
    const StampMatch match = built.CompareStamp(running.StampRecord());
    if (format == OutputFormat::Json) {
        out << CoreJson::Text({{"file", {{"path", built.Path()}, {"stamp", built.Stamp()}}},
                               {"other", {{"path", running.Path()}, {"stamp", running.Stamp()}}},
                               {"result", StampMatchName(match)}})
            << '\n';
    } else {
        const std::string builtPath = TerminalText(built.Path());
        const std::string runningPath = TerminalText(running.Path());
        const std::size_t width = std::max(builtPath.size(), runningPath.size()) + 2;
        out << builtPath << std::string(width - builtPath.size(), ' ') << built.Stamp() << '\n'
            << runningPath << std::string(width - runningPath.size(), ' ') << running.Stamp()
            << '\n'
            << StampMatchName(match) << ": " << Explanation(match) << '\n';
    }
    return match == StampMatch::Ok || match == StampMatch::Partial ? kExitDone : kExitRefused;
}
