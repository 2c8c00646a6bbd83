#pragma once

#include "values/ValueAccess.h"

#include <ostream>
#include <string>
#include <vector>

// varbank write: NAME=VALUE assignments, each value read as a literal of the name's type.
class WriteCommand {
public:
    explicit WriteCommand(ValueAccess& access);

    // One line (or JSON object) per assignment, in order; kExitRefused when any was not
    // written, kExitBadInput when an assignment has no '='.
    int Run(const std::vector<std::string>& assignments, bool json, std::ostream& out,
            std::ostream& err);

private:
    ValueAccess& m_Access;
};
