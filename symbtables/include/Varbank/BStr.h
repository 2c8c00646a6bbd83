#pragma once

#include "PlatformApi.h"

#include <cstdint>

// Counted wide strings: UTF-16 characters preceded by a 32-bit byte length and followed by a
// NUL. A BSTR points at the first character, so it reads as a plain NUL-terminated text too.
using OLECHAR = char16_t;
using BSTR = OLECHAR*;

extern "C" {
VARBANK_API BSTR SysAllocStringLen(const OLECHAR* text, std::uint32_t length);
VARBANK_API BSTR SysAllocString(const OLECHAR* text);
VARBANK_API void SysFreeString(BSTR text);
VARBANK_API std::uint32_t SysStringLen(BSTR text);
}
