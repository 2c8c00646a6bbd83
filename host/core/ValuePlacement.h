#pragma once

#include "core/Refusal.h"
#include "core/ResolvedItem.h"

#include <string>
#include <string_view>

// Where the value of a name lies, as reads and writes need it: the place, the dictionary's
// type name and kind, or the fault that refused the name. Unlike a ResolvedItem it carries no
// address, comment or info text, which values never show.
struct ValuePlacement {
    NameFault fault = NameFault::None;
    std::string reason; // the fault's text; empty when placed
    PhysicalPlace place;
    std::string typeName;
    std::string_view kind; // a text the dictionary keeps for good

    bool Placed() const { return fault == NameFault::None; }
};
