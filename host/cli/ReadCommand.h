#pragma once

#include "cli/OutputFormat.h"
#include "core/Program.h"

#include <ostream>
#include <string>
#include <vector>

// varbank read: the values of item names, from the memory image or a PLC.
class ReadCommand {
public:
    // One line (or JSON object) per name, in order; kExitRefused when any name has no value.
    static int Run(const Program& program, const std::vector<std::string>& names,
                   OutputFormat format, std::ostream& out);
};
