#pragma once

#include "tagRATVARPHYSICALIMPLEM.h"

// The host's copy of a resolution: the 72-byte record followed by the attribute word.
// Allocated with malloc; the host releases it with free().
struct ImplemRecord {
    tagRATVARPHYSICALIMPLEM Record;
    std::uint32_t dwAttribute;
};

static_assert(sizeof(ImplemRecord) == 76);
static_assert(offsetof(ImplemRecord, dwAttribute) == 72);
