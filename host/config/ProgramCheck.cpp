#include "config/ProgramCheck.h"

#include "import/ProjectImporter.h"
#include "text/HostText.h"

ProgramCheck::Outcome ProgramCheck::Import(const PlantConfig::Program& program, bool strict) {
    Diagnostics report(TerminalText(program.file.string()));
    const auto layout = ProjectImporter(report, {strict}).ImportFile(program.file.string());
    Outcome outcome;
    if (layout) {
        outcome.imported = true;
        outcome.variables = layout->variables.size();
        return outcome;
    }
    for (const Diagnostics::Entry& entry : report.InLineOrder()) {
        if (entry.IsError()) {
            outcome.errors.push_back(report.Format(entry));
        }
    }
    return outcome;
}
