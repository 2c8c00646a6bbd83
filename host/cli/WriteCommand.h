#pragma once

#include "cli/OutputFormat.h"
#include "core/Program.h"

#include <ostream>
#include <string>
#include <vector>

// varbank write: NAME=VALUE assignments, each value read as a literal of the name's type. Every
// assignment is checked before any is written: one refused writes nothing.
class WriteCommand {
public:
    // One line (or JSON object) per assignment, in order; kExitRefused when any was not
    // written, kExitBadInput when an assignment has no '='.
    static int Run(const Program& program, const std::vector<std::string>& assignments,
                   OutputFormat format, std::ostream& out, std::ostream& err);
};
