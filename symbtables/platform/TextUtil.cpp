#include "platform/TextUtil.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <limits>

std::string StrFormat(const char* format, ...) {
    // Most texts are short: format once into a stack buffer, and a second time only when the
    // text is longer than it.
    char buffer[256];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    std::string out;
    if (length > 0 && static_cast<std::size_t>(length) < sizeof buffer) {
        out.assign(buffer, static_cast<std::size_t>(length));
    } else if (length > 0) {
        out.resize(static_cast<std::size_t>(length));
        std::vsnprintf(out.data(), out.size() + 1, format, args);
    }
    va_end(args);
    return out;
}

namespace {

void AppendDecimal(std::string& out, std::uint32_t value) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

} // namespace

std::string UnitText(std::string_view typeName, std::uint32_t block, std::uint32_t offset) {
    std::string text;
    text.reserve(typeName.size() + 32);
    text.append("U-").append(typeName).append(" (B:");
    AppendDecimal(text, block);
    text.append(" - O:");
    AppendDecimal(text, offset);
    text.append(") ");
    return text;
}

void MakeUpperAscii(std::string& text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
}

bool IsUpperAscii(std::string_view text) {
    for (const char c : text) {
        if (c >= 'a' && c <= 'z') {
            return false;
        }
    }
    return true;
}

std::string ToUpperAscii(std::string_view text) {
    std::string out(text);
    MakeUpperAscii(out);
    return out;
}

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z') {
            x = static_cast<char>(x - 'a' + 'A');
        }
        if (y >= 'a' && y <= 'z') {
            y = static_cast<char>(y - 'a' + 'A');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

std::int32_t AtoiLike(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos] - '0');
        if (value > kLimit) {
            value = kLimit;
        }
        ++pos;
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<std::int32_t>::max()) {
        value = std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}
