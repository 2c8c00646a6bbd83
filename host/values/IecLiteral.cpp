#include "values/IecLiteral.h"

#include "text/HostText.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

constexpr std::int64_t kNsPerMs = 1000000;
constexpr std::int64_t kNsPerSecond = 1000000000;
constexpr std::int64_t kSecondsPerDay = 86400;

std::string WithoutUnderscores(std::string_view text) {
    std::string result;
    for (const char c : text) {
        if (c != '_') {
            result += c;
        }
    }
    return result;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

struct Civil {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

Civil CivilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

// Reads "n" (decimal digits) from the front of text.
std::optional<std::int64_t> TakeNumber(std::string_view& text) {
    std::size_t count = 0;
    while (count < text.size() && count < 18 &&
           std::isdigit(static_cast<unsigned char>(text[count]))) {
        ++count;
    }
    if (count == 0) {
        return std::nullopt;
    }
    const auto value = ParseDigits(text.substr(0, count), 10);
    text.remove_prefix(count);
    return static_cast<std::int64_t>(*value);
}

bool TakeChar(std::string_view& text, char c) {
    if (text.empty() || text.front() != c) {
        return false;
    }
    text.remove_prefix(1);
    return true;
}

// YYYY-MM-DD from the front of text, as days since 1970.
std::optional<std::int64_t> TakeDate(std::string_view& text) {
    const auto year = TakeNumber(text);
    if (!year || !TakeChar(text, '-')) {
        return std::nullopt;
    }
    const auto month = TakeNumber(text);
    if (!month || !TakeChar(text, '-')) {
        return std::nullopt;
    }
    const auto day = TakeNumber(text);
    if (!day || *month < 1 || *month > 12 || *day < 1 || *day > 31 || *year > 999999) {
        return std::nullopt;
    }
    const std::int64_t days =
        DaysFromCivil(*year, static_cast<unsigned>(*month), static_cast<unsigned>(*day));
    // 2024-02-30 is not a date: it must come back as written.
    const Civil check = CivilFromDays(days);
    if (check.month != static_cast<unsigned>(*month) || check.day != static_cast<unsigned>(*day)) {
        return std::nullopt;
    }
    return days;
}

// HH:MM[:SS[.fraction]] as nanoseconds.
std::optional<std::int64_t> TakeTimeOfDay(std::string_view& text) {
    const auto hours = TakeNumber(text);
    if (!hours || !TakeChar(text, ':')) {
        return std::nullopt;
    }
    const auto minutes = TakeNumber(text);
    if (!minutes || *hours > 23 || *minutes > 59) {
        return std::nullopt;
    }
    std::int64_t nanoseconds = (*hours * 3600 + *minutes * 60) * kNsPerSecond;
    if (TakeChar(text, ':')) {
        const auto seconds = TakeNumber(text);
        if (!seconds || *seconds > 59) {
            return std::nullopt;
        }
        nanoseconds += *seconds * kNsPerSecond;
        if (TakeChar(text, '.')) {
            std::int64_t scale = kNsPerSecond / 10;
            std::size_t count = 0;
            for (; count < text.size() && std::isdigit(static_cast<unsigned char>(text[count]));
                 ++count) {
                nanoseconds += (text[count] - '0') * scale;
                scale /= 10;
            }
            if (count == 0) {
                return std::nullopt;
            }
            text.remove_prefix(count);
        }
    }
    return nanoseconds;
}

struct Unit {
    std::string_view name;
    std::int64_t nanoseconds;
};

// Longest names first, so that "ms" is not read as "m" followed by "s".
constexpr std::array<Unit, 7> kUnits = {{{"ms", kNsPerMs},
                                         {"us", 1000},
                                         {"ns", 1},
                                         {"d", kSecondsPerDay* kNsPerSecond},
                                         {"h", 3600 * kNsPerSecond},
                                         {"m", 60 * kNsPerSecond},
                                         {"s", kNsPerSecond}}};

std::optional<std::int64_t> TakeUnit(std::string_view& text) {
    for (const Unit& unit : kUnits) {
        if (text.size() >= unit.name.size() &&
            EqualsNoCase(text.substr(0, unit.name.size()), unit.name)) {
            text.remove_prefix(unit.name.size());
            return unit.nanoseconds;
        }
    }
    return std::nullopt;
}

// 1d2h3m4s5ms, each number possibly with a fraction: nanoseconds.
std::optional<std::int64_t> DurationParts(std::string_view text) {
    double total = 0;
    bool any = false;
    while (!text.empty()) {
        std::size_t count = 0;
        while (count < text.size() &&
               (std::isdigit(static_cast<unsigned char>(text[count])) != 0 || text[count] == '.')) {
            ++count;
        }
        const std::string number(text.substr(0, count));
        text.remove_prefix(count);
        const auto unit = TakeUnit(text);
        char* end = nullptr;
        const double value = std::strtod(number.c_str(), &end);
        if (count == 0 || !unit || end != number.c_str() + number.size()) {
            return std::nullopt;
        }
        total += value * static_cast<double>(*unit);
        any = true;
    }
    if (!any || total >= 9.2e18) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(std::llround(total));
}

std::string TwoDigits(std::int64_t value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// ".5", ".25", ".000001": the fraction of a second without trailing zeros.
std::string Fraction(std::int64_t nanoseconds) {
    if (nanoseconds == 0) {
        return {};
    }
    std::string digits = std::to_string(nanoseconds + kNsPerSecond).substr(1);
    while (!digits.empty() && digits.back() == '0') {
        digits.pop_back();
    }
    return "." + digits;
}

std::string Clock(std::int64_t nanoseconds) {
    const std::int64_t seconds = nanoseconds / kNsPerSecond;
    return TwoDigits(seconds / 3600) + ":" + TwoDigits(seconds / 60 % 60) + ":" +
           TwoDigits(seconds % 60) + Fraction(nanoseconds % kNsPerSecond);
}

std::string CivilText(std::int64_t days) {
    const Civil civil = CivilFromDays(days);
    return std::to_string(civil.year) + "-" + TwoDigits(civil.month) + "-" + TwoDigits(civil.day);
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

} // namespace

std::string_view IecLiteral::StripPrefix(std::string_view text, std::string_view prefixes) {
    text = TrimBlanks(text);
    const std::size_t hash = text.find('#');
    if (hash == std::string_view::npos) {
        return text;
    }
    const std::string_view prefix = text.substr(0, hash);
    while (!prefixes.empty()) {
        const std::size_t bar = prefixes.find('|');
        if (EqualsNoCase(prefix, prefixes.substr(0, bar))) {
            return text.substr(hash + 1);
        }
        prefixes = bar == std::string_view::npos ? std::string_view() : prefixes.substr(bar + 1);
    }
    return text;
}

std::optional<IntegerLiteral> IecLiteral::ParseInteger(std::string_view text) {
    text = TrimBlanks(text);
    // A type prefix (INT#, UDINT#) names the type; a number before '#' is the base.
    const std::size_t hash = text.find('#');
    if (hash != std::string_view::npos && hash > 0 &&
        std::isalpha(static_cast<unsigned char>(text.front())) != 0) {
        text.remove_prefix(hash + 1);
    }
    return IntegerLiteral::Parse(text);
}

std::optional<double> IecLiteral::ParseReal(std::string_view text) {
    const std::string clean = WithoutUnderscores(StripPrefix(text, "REAL|LREAL"));
    if (clean.empty() || std::isspace(static_cast<unsigned char>(clean.front())) != 0) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = std::strtod(clean.c_str(), &end);
    if (end != clean.c_str() + clean.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<bool> IecLiteral::ParseBool(std::string_view text) {
    text = StripPrefix(text, "BOOL");
    if (EqualsNoCase(text, "TRUE") || text == "1") {
        return true;
    }
    if (EqualsNoCase(text, "FALSE") || text == "0") {
        return false;
    }
    return std::nullopt;
}

std::optional<std::int64_t> IecLiteral::ParseDuration(std::string_view text) {
    text = TrimBlanks(text);
    const std::string_view body = StripPrefix(text, "T|TIME|LT|LTIME");
    if (body.size() == text.size()) {
        // No prefix: a plain number of milliseconds.
        const auto value = ParseReal(text);
        if (!value || std::fabs(*value) > 9.2e12) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(std::llround(*value * kNsPerMs));
    }
    std::string_view rest = body;
    const bool negative = TakeChar(rest, '-');
    const auto value = DurationParts(WithoutUnderscores(rest));
    if (!value) {
        return std::nullopt;
    }
    return negative ? -*value : *value;
}

std::optional<std::int64_t> IecLiteral::ParseDate(std::string_view text) {
    std::string_view rest = StripPrefix(text, "D|DATE|LD|LDATE");
    const auto days = TakeDate(rest);
    return days && rest.empty() ? days : std::nullopt;
}

std::optional<std::int64_t> IecLiteral::ParseTimeOfDay(std::string_view text) {
    std::string_view rest = StripPrefix(text, "TOD|TIME_OF_DAY|LTOD|LTIME_OF_DAY");
    const auto nanoseconds = TakeTimeOfDay(rest);
    return nanoseconds && rest.empty() ? nanoseconds : std::nullopt;
}

std::optional<std::int64_t> IecLiteral::ParseDateTime(std::string_view text) {
    std::string_view rest = StripPrefix(text, "DT|DATE_AND_TIME|LDT|LDATE_AND_TIME");
    const auto days = TakeDate(rest);
    if (!days || !TakeChar(rest, '-')) {
        return std::nullopt;
    }
    const auto clock = TakeTimeOfDay(rest);
    if (!clock || !rest.empty() || *days > 100000000 || *days < -100000000) {
        return std::nullopt;
    }
    return *days * kSecondsPerDay * kNsPerSecond + *clock;
}

std::string IecLiteral::Unquote(std::string_view text) {
    if (text.size() < 2 || text.front() != text.back() ||
        (text.front() != '\'' && text.front() != '"')) {
        return std::string(text);
    }
    text = text.substr(1, text.size() - 2);
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '$' || i + 1 == text.size()) {
            result += text[i];
            continue;
        }
        const char next = text[++i];
        switch (std::toupper(static_cast<unsigned char>(next))) {
        case 'N':
        case 'L':
            result += '\n';
            break;
        case 'R':
            result += '\r';
            break;
        case 'T':
            result += '\t';
            break;
        case 'P':
            result += '\f';
            break;
        default:
            result += next; // $$, $', $"
        }
    }
    return result;
}

std::string IecLiteral::FormatDuration(std::int64_t nanoseconds, std::string_view prefix) {
    std::string text(prefix);
    if (nanoseconds == 0) {
        return text + "0ms";
    }
    std::uint64_t rest = nanoseconds < 0 ? 0 - static_cast<std::uint64_t>(nanoseconds)
                                         : static_cast<std::uint64_t>(nanoseconds);
    if (nanoseconds < 0) {
        text += '-';
    }
    static constexpr std::array<Unit, 7> kOrder = {{{"d", kSecondsPerDay * kNsPerSecond},
                                                    {"h", 3600 * kNsPerSecond},
                                                    {"m", 60 * kNsPerSecond},
                                                    {"s", kNsPerSecond},
                                                    {"ms", kNsPerMs},
                                                    {"us", 1000},
                                                    {"ns", 1}}};
    for (const Unit& unit : kOrder) {
        const std::uint64_t count = rest / static_cast<std::uint64_t>(unit.nanoseconds);
        if (count > 0) {
            text += std::to_string(count) + std::string(unit.name);
            rest %= static_cast<std::uint64_t>(unit.nanoseconds);
        }
    }
    return text;
}

std::string IecLiteral::FormatDate(std::int64_t days, std::string_view prefix) {
    return std::string(prefix) + CivilText(days);
}

std::string IecLiteral::FormatTimeOfDay(std::int64_t nanoseconds, std::string_view prefix) {
    return std::string(prefix) + Clock(nanoseconds);
}

std::string IecLiteral::FormatDateTime(std::int64_t nanoseconds, std::string_view prefix) {
    const std::int64_t nsPerDay = kSecondsPerDay * kNsPerSecond;
    const std::int64_t days = FloorDiv(nanoseconds, nsPerDay);
    return std::string(prefix) + CivilText(days) + "-" + Clock(nanoseconds - days * nsPerDay);
}
