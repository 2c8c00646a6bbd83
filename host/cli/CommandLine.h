#pragma once

#include <ostream>
#include <string>
#include <vector>

// The varbank command: parses the command line, imports the file(s) and runs one command.
class CommandLine {
public:
    CommandLine(std::ostream& out, std::ostream& err);

    // The exit status (see ExitStatus.h).
    int Run(int argc, const char* const* argv);

    // What the command line asked for (defined with the parser).
    struct Settings;

private:
    int Dispatch(const Settings& settings);
    int Resolve(const Settings& settings);
    int Browse(const Settings& settings);
    int Stamp(const Settings& settings);
    int Dump(const Settings& settings);
    int Info(const Settings& settings);
    int Serve(const Settings& settings);
    int Read(const Settings& settings);
    int Write(const Settings& settings);

    std::ostream& m_Out;
    std::ostream& m_Err;
};
