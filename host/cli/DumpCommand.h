#pragma once

#include "cli/OutputFormat.h"
#include "core/Program.h"

#include <ostream>
#include <string>

// varbank dump: writes the quick-save dump into a directory; a failed dump leaves the previous
// one whole.
class DumpCommand {
public:
    static int Run(const Program& program, const std::string& directory, OutputFormat format,
                   std::ostream& out, std::ostream& err);
};
