#include "text/IntegerLiteral.h"

#include "text/HostText.h"

#include <limits>

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return 99;
}

} // namespace

std::optional<std::uint64_t> ParseDigits(std::string_view digits, unsigned base) {
    if (digits.empty() || digits.front() == '_' || digits.back() == '_') {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : digits) {
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

std::optional<IntegerLiteral> IntegerLiteral::Parse(std::string_view text) {
    IntegerLiteral literal;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        literal.negative = text.front() == '-';
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
    if (!magnitude) {
        return std::nullopt;
    }
    literal.magnitude = *magnitude;
    return literal;
}

std::optional<std::int64_t> ParseIntegerLiteral(std::string_view text) {
    const auto literal = IntegerLiteral::Parse(TrimBlanks(text));
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (!literal || literal->magnitude > kMax) {
        return std::nullopt;
    }
    const auto value = static_cast<std::int64_t>(literal->magnitude);
    return literal->negative ? -value : value;
}
