#pragma once

#include <ostream>

// The varbank command: parses the command line with one subcommand per command, opens the
// program(s) through the core and runs the subcommand.
class CommandLine {
public:
    CommandLine(std::ostream& out, std::ostream& err);

    // The exit status (see ExitStatus.h).
    int Run(int argc, const char* const* argv);

private:
    std::ostream& m_Out;
    std::ostream& m_Err;
};
