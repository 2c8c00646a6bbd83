#include "cli/ResolveCommand.h"

#include "cli/ExitStatus.h"
#include "text/HostText.h"
#include "json/CoreJson.h"

#include <cstdio>

int ResolveCommand::Run(const Program& program, const std::vector<std::string>& names,
                        OutputFormat format, std::ostream& out) {
    nlohmann::json results = nlohmann::json::array();
    bool allResolved = true;
    for (const std::string& name : names) {
        const ResolvedItem item = program.Resolve(name);
        allResolved = allResolved && item.Resolved();
        if (format == OutputFormat::Json) {
            results.push_back(CoreJson::Resolved(item));
        } else {
            out << Describe(item) << '\n';
        }
    }
    if (format == OutputFormat::Json) {
        out << CoreJson::Text({{"results", results}}) << '\n';
    }
    return allResolved ? kExitDone : kExitRefused;
}

std::string ResolveCommand::Describe(const ResolvedItem& item) {
    std::string text = TerminalText(item.name) + ": ";
    if (!item.Resolved()) {
        return text + "refused: " + item.reason;
    }
    const PhysicalPlace& place = item.place;
    if (!item.address.empty()) {
        text += "address " + item.address + ", ";
    }
    text += "block " + std::to_string(place.block) + ", offset " + std::to_string(place.offset) +
            ", size " + std::to_string(place.size);
    if (place.bit) {
        text += ", bit " + std::to_string(*place.bit);
    }
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", place.typeCode);
    text += ", type " + item.typeName.value_or("") + " (" + item.kind.value_or("") + ", code " +
            code + ")";
    if (place.InLocalArea()) {
        text += ", in the function block's local area";
    }
    if (!item.comment.empty()) {
        text += ", comment \"" + TerminalText(item.comment) + "\"";
    }
    return text;
}
