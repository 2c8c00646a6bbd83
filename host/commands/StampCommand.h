#pragma once

#include "commands/HostSession.h"

#include <ostream>
#include <string>

// varbank stamp: compares two builds of one application through CheckDicoStamp, the second
// build standing for the application running in the PLC.
class StampCommand {
public:
    StampCommand(HostSession& built, HostSession& running);

    // kExitDone for OK and PARTIAL, kExitRefused for MISMATCH.
    int Run(const std::string& builtPath, const std::string& runningPath, bool json,
            std::ostream& out);
    CSymb::Consistence Compare();

    // "OK", "PARTIAL", "MISMATCH", "NO STAMP" or "NONE".
    static const char* ResultName(CSymb::Consistence result);
    // A stamp as GetStampText writes it ("%X:%X:%X:%X:%X") back into its words; false when
    // the text is not one.
    static bool ParseStampText(const std::string& text, PLCDicoStamping& record);

private:
    HostSession& m_Built;
    HostSession& m_Running;
};
