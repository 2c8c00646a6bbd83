#pragma once

#include "import/ProjectModel.h"

#include <string_view>

// The function blocks that programs use without declaring them: the IEC 61131-3 standard
// blocks (TON, TOF, TP, R_TRIG, F_TRIG, RS, SR, CTU, CTD, CTUD, RTC) and the Python blocks of
// the Beremiz runtime (python_eval, python_poll, python_gear), with their standard interfaces.
class StandardFunctionBlocks {
public:
    // The block of that name in any case, or null. A block the file declares itself wins.
    static const PouDecl* Find(std::string_view name);
};
