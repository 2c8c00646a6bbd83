#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// IEC integer literals, the one parser the import (bounds, lengths, enumeration values) and the
// values (written integers) share: an optional sign, then decimal digits or 2#, 8#, 16# digits,
// with "_" allowed between digits.
struct IntegerLiteral {
    bool negative = false;
    std::uint64_t magnitude = 0;

    // Nothing when the text (no blanks around it) is not one or its magnitude does not fit
    // 64 bits.
    static std::optional<IntegerLiteral> Parse(std::string_view text);
};

// The value of digits in a base (2 to 16), "_" allowed between them; nothing when a character
// is not a digit of the base or the value does not fit 64 bits.
std::optional<std::uint64_t> ParseDigits(std::string_view digits, unsigned base);

// The literal, blanks around it allowed, as a signed 64-bit value; nothing when it is not one or
// does not fit.
std::optional<std::int64_t> ParseIntegerLiteral(std::string_view text);
