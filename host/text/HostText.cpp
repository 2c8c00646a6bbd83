#include "text/HostText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
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

std::string Quoted(std::string_view text) {
    // Names from the file may hold control characters: they are shown as escapes.
    std::string quoted(1, '\'');
    quoted.append(TerminalText(text)).append(1, '\'');
    return quoted;
}

namespace {

// The client's text as quoted (cut when long), and what follows the closing quote.
std::pair<std::string, std::string> ClientQuote(std::string_view text) {
    if (text.size() <= kClientQuoteLimit) {
        return {ValidUtf8(text), {}};
    }
    std::size_t cut = kClientQuoteLimit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut; // not inside a UTF-8 sequence
    }
    return {ValidUtf8(text.substr(0, cut)) + "\u2026", // ellipsis
            " (" + std::to_string(text.size()) + " bytes)"};
}

} // namespace

std::string ShortClientText(std::string_view text) {
    auto [quoted, length] = ClientQuote(text);
    return quoted + length;
}

std::string QuotedClientText(std::string_view text) {
    auto [quoted, length] = ClientQuote(text);
    return "'" + quoted + "'" + length;
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

namespace {

// Length of the well-formed UTF-8 sequence at pos, or 0 (overlong forms, surrogates and code
// points above U+10FFFF are not well formed).
std::size_t Utf8SequenceAt(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (pos + length > text.size() || byte(pos + 1) < low || byte(pos + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

} // namespace

namespace {

// How many bytes from `pos` on are ASCII, looked at eight at a time: documents and names are
// mostly ASCII, and a megabyte-long document is checked whole.
std::size_t AsciiRun(std::string_view text, std::size_t pos) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    std::size_t end = pos;
    while (end + sizeof(std::uint64_t) <= text.size()) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + end, sizeof word);
        if ((word & kHighBits) != 0) {
            break;
        }
        end += sizeof word;
    }
    while (end < text.size() && static_cast<unsigned char>(text[end]) < 0x80) {
        ++end;
    }
    return end - pos;
}

} // namespace

std::size_t FirstInvalidUtf8(std::string_view text) {
    for (std::size_t pos = AsciiRun(text, 0); pos < text.size(); pos += AsciiRun(text, pos)) {
        const std::size_t length = Utf8SequenceAt(text, pos);
        if (length == 0) {
            return pos;
        }
        pos += length;
    }
    return std::string_view::npos;
}

std::string ValidUtf8(std::string_view text) {
    if (AsciiRun(text, 0) == text.size()) {
        return std::string(text);
    }
    std::string valid;
    valid.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = Utf8SequenceAt(text, pos);
        if (length == 0) {
            valid += "\xEF\xBF\xBD";
            ++pos;
            continue;
        }
        valid.append(text.substr(pos, length));
        pos += length;
    }
    return valid;
}

namespace {

bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

std::string ControlEscape(char c) {
    switch (c) {
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    default: {
        static const char kDigits[] = "0123456789ABCDEF";
        const auto byte = static_cast<unsigned char>(c);
        return std::string("\\x") + kDigits[byte >> 4] + kDigits[byte & 0xF];
    }
    }
}

} // namespace

std::string TerminalText(std::string_view text) {
    std::string valid = ValidUtf8(text);
    if (std::none_of(valid.begin(), valid.end(), IsControl)) {
        return valid;
    }
    std::string shown;
    for (char c : valid) {
        if (IsControl(c)) {
            shown += ControlEscape(c);
        } else {
            shown += c;
        }
    }
    return shown;
}
