#pragma once

#include "BStr.h"
#include "HResult.h"
#include "VarbankCodes.h"

#include <cstdint>

// One browse element record. The texts come from the task allocator and belong to the host.
struct tagBROWSEELEMENT {
    OLECHAR* pszName;
    OLECHAR* pszItemId;
    std::uint32_t dwFlags; // VarbankListingKind: leaf or branch
    std::uint32_t dwReserved;
    HRESULT hrError;
    std::uint32_t dwPropertyCount;
    void* pProperties;
    std::uint32_t dwReserved2;
};
