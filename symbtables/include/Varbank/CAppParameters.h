#pragma once

#include "PLCMemoryArea.h"
#include "PlatformApi.h"
#include "VarbankCodes.h"

#include <cstdint>

// Host object with the application's parameters: its kind (only APP_PARAMETERS_KIND is used),
// the stamp words and the two memory areas. A host may derive from it.
class VARBANK_API CAppParameters {
public:
    virtual ~CAppParameters() = default;
    virtual std::int32_t GetKind() const; // the host's kind query; returns m_Kind

    std::int32_t m_Kind = 0;
    std::uint8_t m_AreasValid = 0;      // the areas are copied only when non-zero
    std::uint32_t m_StampWords[5] = {}; // [0],[1],[3],[4] are stamp words 0..3; [2] unread
    PLCMemoryArea m_BitArea = {};
    PLCMemoryArea m_WordArea = {};
};
