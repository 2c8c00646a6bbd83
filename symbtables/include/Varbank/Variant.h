#pragma once

#include "BStr.h"
#include "PlatformApi.h"

#include <cstdint>
#include <string>

using VARTYPE = std::uint16_t;

inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_R4 = 4;
inline constexpr VARTYPE VT_R8 = 5;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_BOOL = 11;
inline constexpr VARTYPE VT_UI1 = 17;
inline constexpr VARTYPE VT_UI2 = 18;
inline constexpr VARTYPE VT_UI4 = 19;
inline constexpr VARTYPE VT_ARRAY = 0x2000;

// A tagged value of the component model. Only the members this library sets are present.
struct VARIANT {
    VARTYPE vt;
    std::uint16_t wReserved1;
    std::uint16_t wReserved2;
    std::uint16_t wReserved3;
    union {
        std::int32_t lVal;
        std::int16_t iVal;
        std::int16_t boolVal;
        float fltVal;
        double dblVal;
        BSTR bstrVal;
    };
};

extern "C" {
VARBANK_API void VariantInit(VARIANT* value);
// Frees a string the variant holds and leaves it empty; always succeeds here.
VARBANK_API std::int32_t VariantClear(VARIANT* value);
}

// Clears the variant, then makes it hold a 32-bit integer.
void VariantSetInt32(VARIANT& value, std::int32_t number);
// Clears the variant, then makes it hold the narrow text as a counted wide string (read as
// UTF-8). Throws std::bad_alloc when the string cannot be allocated.
void VariantSetText(VARIANT& value, const std::string& text);
