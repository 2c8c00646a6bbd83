#pragma once

#include "cli/OutputFormat.h"
#include "core/Program.h"

#include <ostream>
#include <string>

// varbank info: what the dictionary holds.
class InfoCommand {
public:
    static int Run(const Program& program, OutputFormat format, std::ostream& out);
};
