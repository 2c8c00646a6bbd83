#include "core/ItemName.h"

#include "text/HostText.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>

namespace {

// Where a name breaks the grammar, and what is there.
struct Fault {
    std::size_t position;
    std::string what;
};
using MaybeFault = std::optional<Fault>;

// The name being read, and its normalised text so far.
struct Cursor {
    std::string_view text;
    std::size_t pos = 0;
    std::string out;

    bool AtEnd() const { return pos >= text.size(); }
    char Here() const { return AtEnd() ? '\0' : text[pos]; }
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

// What a byte is, for a message about a byte that does not belong where it stands.
std::string ByteText(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == 0) {
        return "a NUL character";
    }
    if (byte < 0x20 || byte == 0x7F) {
        char text[40];
        std::snprintf(text, sizeof text, "a control character (0x%02X)", byte);
        return text;
    }
    if (byte == ' ') {
        return "a blank";
    }
    if (byte >= 0x80) {
        return "a character outside ASCII";
    }
    return std::string("an unexpected '") + c + "'";
}

// The fault of a part that cannot start at the cursor: nothing there, or a stray byte.
Fault NoPartHere(const Cursor& cursor) {
    const char c = cursor.Here();
    if (cursor.AtEnd() || c == '.' || c == '[') {
        return {cursor.pos, "an empty part"};
    }
    return {cursor.pos, ByteText(c)};
}

// The value of at most 18 decimal digits.
std::int64_t DigitsValue(std::string_view digits) {
    std::int64_t value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
}

std::string_view ReadDigits(Cursor& cursor) {
    const std::size_t start = cursor.pos;
    while (IsDigit(cursor.Here())) {
        ++cursor.pos;
    }
    return cursor.text.substr(start, cursor.pos - start);
}

MaybeFault ReadIdentifier(Cursor& cursor) {
    if (!IsLetter(cursor.Here())) {
        return NoPartHere(cursor);
    }
    const std::size_t start = cursor.pos;
    while (IsLetter(cursor.Here()) || IsDigit(cursor.Here())) {
        ++cursor.pos;
    }
    cursor.out.append(cursor.text.substr(start, cursor.pos - start));
    return std::nullopt;
}

// A bit number after a dot: the last part of the name.
MaybeFault ReadBit(Cursor& cursor) {
    const std::size_t start = cursor.pos;
    const std::string_view digits = ReadDigits(cursor);
    if (IsLetter(cursor.Here())) {
        return Fault{start, "an identifier that starts with a digit"};
    }
    if (digits.size() > 1 && digits.front() == '0') {
        return Fault{start, "a leading zero"};
    }
    if (digits.size() > 2 || DigitsValue(digits) > ItemName::kMaxBit) {
        return Fault{start, "a bit number above " + std::to_string(ItemName::kMaxBit)};
    }
    if (!cursor.AtEnd()) {
        return Fault{start, "a bit number that is not the last part"};
    }
    cursor.out.append(1, '.').append(digits);
    return std::nullopt;
}

// One index of a bracket, written as a bracket of its own.
MaybeFault ReadIndex(Cursor& cursor) {
    const std::size_t start = cursor.pos;
    const bool negative = cursor.Here() == '-';
    cursor.pos += negative ? 1 : 0;
    const std::size_t first = cursor.pos;
    const std::string_view digits = ReadDigits(cursor);
    if (digits.empty()) {
        const char c = cursor.Here();
        if (cursor.AtEnd() || c == ',' || c == ']') {
            return Fault{start, negative ? "a minus sign without digits" : "an empty index"};
        }
        return Fault{cursor.pos, c == '+' ? "a plus sign" : ByteText(c)};
    }
    if (digits.size() > 1 && digits.front() == '0') {
        return Fault{first, "a leading zero"};
    }
    if (negative && digits == "0") {
        return Fault{start, "minus zero"};
    }
    const std::int64_t magnitude = digits.size() > 10 ? -1 : DigitsValue(digits);
    const std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    if (magnitude < 0 || magnitude > limit || (!negative && magnitude == limit)) {
        return Fault{start, "an index outside -2147483648 .. 2147483647"};
    }
    cursor.out.append(1, '[').append(cursor.text.substr(start, cursor.pos - start)).append(1, ']');
    return std::nullopt;
}

// "[i]", "[i,j,...]": each index becomes a bracket of its own.
MaybeFault ReadBracket(Cursor& cursor) {
    ++cursor.pos; // the '['
    for (;;) {
        if (MaybeFault fault = ReadIndex(cursor)) {
            return fault;
        }
        const char c = cursor.Here();
        if (cursor.AtEnd()) {
            return Fault{cursor.pos, "a '[' without its ']'"};
        }
        ++cursor.pos;
        if (c == ']') {
            return std::nullopt;
        }
        if (c != ',') {
            return Fault{cursor.pos - 1, ByteText(c)};
        }
    }
}

// A part after a dot: an identifier, or the bit number that ends the name.
MaybeFault ReadDotted(Cursor& cursor) {
    ++cursor.pos; // the '.'
    if (IsDigit(cursor.Here())) {
        return ReadBit(cursor);
    }
    cursor.out.append(1, '.');
    return ReadIdentifier(cursor);
}

MaybeFault ReadName(Cursor& cursor) {
    if (cursor.text.empty()) {
        return Fault{0, "an empty name"};
    }
    if (cursor.text.size() > ItemName::kMaxLength) {
        return Fault{ItemName::kMaxLength,
                     "longer than the limit of " + std::to_string(ItemName::kMaxLength) + " bytes"};
    }
    if (IsDigit(cursor.Here())) {
        return Fault{0, "a name that starts with a digit"};
    }
    MaybeFault fault = ReadIdentifier(cursor);
    while (!fault && !cursor.AtEnd()) {
        const char c = cursor.Here();
        fault = c == '.'   ? ReadDotted(cursor)
                : c == '[' ? ReadBracket(cursor)
                           : MaybeFault(Fault{cursor.pos, ByteText(c)});
    }
    return fault;
}

std::string AtPosition(const std::string& what, std::size_t position) {
    return what + " at position " + std::to_string(position);
}

} // namespace

ItemName ItemName::Check(std::string_view name) {
    ItemName checked;
    const std::size_t invalid = FirstInvalidUtf8(name);
    if (invalid != std::string_view::npos) {
        checked.m_Fault = NameFault::InvalidUtf8;
        checked.m_Position = invalid;
        checked.m_Reason = FaultText(checked.m_Fault);
        return checked;
    }
    Cursor cursor{name, 0, {}};
    cursor.out.reserve(name.size());
    if (const MaybeFault fault = ReadName(cursor)) {
        checked.m_Fault = NameFault::NotAnItemName;
        checked.m_Position = fault->position;
        checked.m_Reason =
            FaultText(checked.m_Fault) + ": " + AtPosition(fault->what, fault->position);
        return checked;
    }
    checked.m_Text = std::move(cursor.out);
    return checked;
}

bool ItemName::IsIdentifier(std::string_view name) {
    if (name.empty() || name.size() > kMaxLength || !IsLetter(name.front())) {
        return false;
    }
    for (const char c : name) {
        if (!IsLetter(c) && !IsDigit(c)) {
            return false;
        }
    }
    return true;
}

ItemName ItemName::CheckPath(std::string_view path) {
    return path.empty() ? ItemName() : Check(path);
}

std::string ItemName::ContinuationFault(std::string_view token) {
    const std::string prefix = "not a valid continuation: ";
    if (token.size() > kMaxContinuation) {
        return prefix + "longer than the limit of " + std::to_string(kMaxContinuation) + " bytes";
    }
    for (std::size_t i = 0; i < token.size(); ++i) {
        const auto byte = static_cast<unsigned char>(token[i]);
        if (byte < 0x20 || byte == 0x7F) {
            return prefix + AtPosition(ByteText(token[i]), i);
        }
    }
    const std::size_t invalid = FirstInvalidUtf8(token);
    if (invalid != std::string_view::npos) {
        return prefix + AtPosition("ill-formed UTF-8", invalid);
    }
    return {};
}
