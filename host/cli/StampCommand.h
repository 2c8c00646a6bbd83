#pragma once

#include "cli/OutputFormat.h"
#include "core/Program.h"

#include <ostream>

// varbank stamp: compares two builds of one application, the second standing for the
// application running in the PLC.
class StampCommand {
public:
    // kExitDone for OK and PARTIAL, kExitRefused otherwise.
    static int Run(const Program& built, const Program& running, OutputFormat format,
                   std::ostream& out);
};
