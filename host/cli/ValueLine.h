#pragma once

#include "core/ValueAccess.h"

#include <string>

// How the command line shows a value that was read.
class ValueLine {
public:
    // "Motor1.Speed = 0 (INT)", a duration with its milliseconds ("(TIME, 1500 ms)"); the
    // result must hold a value. Control characters are escaped for the terminal.
    static std::string Describe(const ValueResult& result);
};
