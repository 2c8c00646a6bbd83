#pragma once

#include "cli/OutputFormat.h"
#include "core/Program.h"

#include <ostream>
#include <string>
#include <vector>

// varbank resolve: where item names live, one line (or JSON object) per name.
class ResolveCommand {
public:
    // kExitRefused when any name was refused.
    static int Run(const Program& program, const std::vector<std::string>& names,
                   OutputFormat format, std::ostream& out);
    // "Motor1.Speed: block 3, offset 2, ..." or "Nope: refused: unknown variable".
    static std::string Describe(const ResolvedItem& item);
};
