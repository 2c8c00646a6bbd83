#pragma once

#include "BStr.h"
#include "PlatformApi.h"

#include <cstdint>
#include <string>
#include <string_view>

// UTF-8 <-> UTF-16 conversions. Narrow texts are UTF-8 bytes; each invalid UTF-8 sequence
// (or unpaired surrogate on the wide side) becomes U+FFFD, so no input is cut or rejected.
VARBANK_API std::u16string Utf8ToUtf16(std::string_view text);
VARBANK_API std::string Utf16ToUtf8(std::u16string_view text);

// A NUL-terminated wide text as UTF-8; null gives the empty text.
VARBANK_API std::string Utf16ToUtf8(const OLECHAR* text);

// Narrow text to a new counted wide string owned by the caller (free with SysFreeString).
// Null text: *result = null, returns 0. Empty text: an empty string, returns 1. Otherwise
// returns the number of wide characters including the terminator. On allocation failure
// *result is null and 0 is returned.
VARBANK_API std::int32_t NarrowToWide(const char* text, BSTR* result);

// The same conversion for a narrow string; null only when allocation fails.
VARBANK_API BSTR NarrowToBstr(const std::string& text);
