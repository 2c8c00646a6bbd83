#pragma once

#include "Varbank/PlatformApi.h"

#include <cstdint>
#include <string>
#include <string_view>

// printf-style formatting into a narrow string.
std::string StrFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The unit text of a position: "U-<type> (B:<block> - O:<offset>) ", ending with one blank.
std::string UnitText(std::string_view typeName, std::uint32_t block, std::uint32_t offset);

// Upper-cases ASCII a-z only, so that UTF-8 bytes stay intact.
void MakeUpperAscii(std::string& text);
std::string ToUpperAscii(std::string_view text);
bool IsUpperAscii(std::string_view text);
bool EqualsNoCaseAscii(std::string_view a, std::string_view b);

// The value that atoi gives: leading white space, an optional sign, then decimal digits up to
// the first other character; no digits give 0. Out-of-range values saturate to the 32-bit
// limits instead of being undefined.
std::int32_t AtoiLike(std::string_view text);
