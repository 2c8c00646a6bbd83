#pragma once

#include "HResult.h"
#include "PlatformApi.h"

#include <cstdint>

// The kind of symbol provider this module is.
inline constexpr std::uint32_t kVarbankProviderKind = 10;

// Writes the provider kind (10) and returns 0; a null pointer returns 0x80070057.
extern "C" VARBANK_API HRESULT GetSymbType(std::uint32_t* pKind);
