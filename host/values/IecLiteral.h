#pragma once

#include "text/IntegerLiteral.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// IEC 61131-3 literals as text: integers in any base (16#FF, 2#1010_0101), reals, booleans,
// durations (T#1h2m3s4ms), dates (D#2024-01-15), times of day (TOD#08:30:00.5) and dates with
// times (DT#2024-01-15-08:30:00), with or without a type prefix (INT#5, TIME#1s), and strings
// in quotes with $ escapes. Formatting gives the short forms back.
class IecLiteral {
public:
    // An integer with or without a type prefix (INT#5, 16#FF, UDINT#16#FF).
    static std::optional<IntegerLiteral> ParseInteger(std::string_view text);
    static std::optional<double> ParseReal(std::string_view text);
    static std::optional<bool> ParseBool(std::string_view text);
    // Durations in nanoseconds; a plain number counts milliseconds.
    static std::optional<std::int64_t> ParseDuration(std::string_view text);
    // Days since 1970-01-01.
    static std::optional<std::int64_t> ParseDate(std::string_view text);
    // Nanoseconds since midnight.
    static std::optional<std::int64_t> ParseTimeOfDay(std::string_view text);
    // Nanoseconds since 1970-01-01 00:00.
    static std::optional<std::int64_t> ParseDateTime(std::string_view text);
    // A quoted text loses its quotes and $ escapes; an unquoted text stays as it is.
    static std::string Unquote(std::string_view text);

    // T#1s500ms from nanoseconds (prefix T# or LTIME#).
    static std::string FormatDuration(std::int64_t nanoseconds, std::string_view prefix);
    static std::string FormatDate(std::int64_t days, std::string_view prefix);
    static std::string FormatTimeOfDay(std::int64_t nanoseconds, std::string_view prefix);
    static std::string FormatDateTime(std::int64_t nanoseconds, std::string_view prefix);

    // The text after a type prefix (INT#5 -> 5, T#1s -> 1s); the prefixes are those given,
    // separated by '|'; the text itself when none matches.
    static std::string_view StripPrefix(std::string_view text, std::string_view prefixes);
};
