#include "NameText.h"

#include <limits>

namespace {

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

int DigitValue(char c) {
    const char upper = UpperAscii(c);
    if (upper >= '0' && upper <= '9') {
        return upper - '0';
    }
    if (upper >= 'A' && upper <= 'F') {
        return upper - 'A' + 10;
    }
    return 99;
}

std::optional<std::uint64_t> ParseDigits(std::string_view digits, unsigned base) {
    if (digits.empty() || digits.front() == '_' || digits.back() == '_') {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : digits) {
        if (c == '_') {
            continue;
        }
        const int digit = DigitValue(c);
        if (digit >= static_cast<int>(base) ||
            value >
                (std::numeric_limits<std::uint64_t>::max() - static_cast<unsigned>(digit)) / base) {
            return std::nullopt;
        }
        value = value * base + static_cast<unsigned>(digit);
    }
    return value;
}

} // namespace

std::string ToUpperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        c = UpperAscii(c);
    }
    return upper;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view TrimBlanks(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool IsIdentifier(std::string_view text) {
    if (text.empty() || !IsLetter(text.front())) {
        return false;
    }
    for (char c : text) {
        if (!IsLetter(c) && !(c >= '0' && c <= '9')) {
            return false;
        }
    }
    return true;
}

std::optional<std::int64_t> ParseIntegerLiteral(std::string_view text) {
    text = TrimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    unsigned base = 10;
    const std::size_t hash = text.find('#');
    if (hash != std::string_view::npos) {
        const std::string_view prefix = text.substr(0, hash);
        base = prefix == "2" ? 2 : prefix == "8" ? 8 : prefix == "16" ? 16 : 0;
        if (base == 0) {
            return std::nullopt;
        }
        text.remove_prefix(hash + 1);
    }
    const auto magnitude = ParseDigits(text, base);
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (!magnitude || *magnitude > kMax) {
        return std::nullopt;
    }
    const auto value = static_cast<std::int64_t>(*magnitude);
    return negative ? -value : value;
}
