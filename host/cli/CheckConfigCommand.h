#pragma once

#include "cli/OutputFormat.h"

#include <ostream>
#include <string>

// varbank check-config: reads a plant's configuration, imports each of its programs and prints
// what it would serve; every error as "file:line: reason".
class CheckConfigCommand {
public:
    static int Run(const std::string& path, bool strict, OutputFormat format, std::ostream& out,
                   std::ostream& err);
};
