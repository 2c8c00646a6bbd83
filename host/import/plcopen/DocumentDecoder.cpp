#include "import/plcopen/DocumentDecoder.h"

#include "import/plcopen/SourceLines.h"
#include "text/HostText.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <utility>

namespace {

enum class Form { Bytes, Utf16Le, Utf16Be, Utf32Le, Utf32Be };

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The form of the code units, from the byte order mark or the bytes of "<?" (or of "<" for
// UTF-32); the mark's length goes to bomLength.
Form DetectForm(std::string_view raw, std::size_t& bomLength) {
    using namespace std::string_view_literals;
    static const std::array<std::pair<std::string_view, Form>, 8> kStarts = {{
        {"\x00\x00\xFE\xFF"sv, Form::Utf32Be},
        {"\xFF\xFE\x00\x00"sv, Form::Utf32Le},
        {"\xFE\xFF"sv, Form::Utf16Be},
        {"\xFF\xFE"sv, Form::Utf16Le},
        {"\x00\x00\x00\x3C"sv, Form::Utf32Be},
        {"\x3C\x00\x00\x00"sv, Form::Utf32Le},
        {"\x00\x3C\x00\x3F"sv, Form::Utf16Be},
        {"\x3C\x00\x3F\x00"sv, Form::Utf16Le},
    }};
    for (std::size_t i = 0; i < kStarts.size(); ++i) {
        if (StartsWith(raw, kStarts[i].first)) {
            bomLength = i < 4 ? kStarts[i].first.size() : 0;
            return kStarts[i].second;
        }
    }
    bomLength = 0;
    return Form::Bytes;
}

void AppendUtf8(std::uint32_t code, std::string& out) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The line on which the text decoded so far ends, for a refusal at that point.
DocumentDecoder::Failure FailAtEnd(const std::string& decoded, std::string message) {
    return {SourceLines(decoded).LineOf(static_cast<std::ptrdiff_t>(decoded.size())),
            std::move(message)};
}

std::uint32_t UnitAt(std::string_view raw, std::size_t at, std::size_t width, bool bigEndian) {
    std::uint32_t unit = 0;
    for (std::size_t k = 0; k < width; ++k) {
        const std::size_t byte = bigEndian ? at + k : at + width - 1 - k;
        unit = (unit << 8) | static_cast<unsigned char>(raw[byte]);
    }
    return unit;
}

bool DecodeUtf16(std::string_view raw, bool bigEndian, std::string& out,
                 DocumentDecoder::Failure& failure) {
    for (std::size_t at = 0; at < raw.size(); at += 2) {
        if (at + 2 > raw.size()) {
            failure = FailAtEnd(out, "invalid UTF-16: the file ends inside a character");
            return false;
        }
        std::uint32_t code = UnitAt(raw, at, 2, bigEndian);
        if (code >= 0xD800 && code < 0xDC00 && at + 4 <= raw.size()) {
            const std::uint32_t low = UnitAt(raw, at + 2, 2, bigEndian);
            if (low >= 0xDC00 && low < 0xE000) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                at += 2;
            }
        }
        if (code >= 0xD800 && code < 0xE000) {
            failure = FailAtEnd(out, "invalid UTF-16: a surrogate stands alone");
            return false;
        }
        AppendUtf8(code, out);
    }
    return true;
}

bool DecodeUtf32(std::string_view raw, bool bigEndian, std::string& out,
                 DocumentDecoder::Failure& failure) {
    for (std::size_t at = 0; at < raw.size(); at += 4) {
        if (at + 4 > raw.size()) {
            failure = FailAtEnd(out, "invalid UTF-32: the file ends inside a character");
            return false;
        }
        const std::uint32_t code = UnitAt(raw, at, 4, bigEndian);
        if (code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
            failure = FailAtEnd(out, "invalid UTF-32: a unit is not a character");
            return false;
        }
        AppendUtf8(code, out);
    }
    return true;
}

// windows-1252 differs from ISO-8859-1 in 0x80-0x9F only; 0 marks its five unassigned bytes.
constexpr std::array<std::uint16_t, 32> kWindows1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool DecodeLatin(std::string_view raw, bool windows, std::string& out,
                 DocumentDecoder::Failure& failure) {
    for (const char c : raw) {
        std::uint32_t code = static_cast<unsigned char>(c);
        if (windows && code >= 0x80 && code < 0xA0) {
            code = kWindows1252High[code - 0x80];
            if (code == 0) {
                char byte[8];
                std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(c));
                failure = FailAtEnd(out, std::string("byte ") + byte +
                                             " is not a windows-1252 character");
                return false;
            }
        }
        AppendUtf8(code, out);
    }
    return true;
}

// The encoding named in the XML declaration at the start of the text, or empty. Bytes outside
// printable ASCII show as '?', since the name is quoted in messages.
std::string DeclaredEncoding(std::string_view text) {
    if (StartsWith(text, "\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    if (!StartsWith(text, "<?xml")) {
        return {};
    }
    const std::string_view declaration = text.substr(0, text.find("?>"));
    std::size_t at = declaration.find("encoding");
    if (at == std::string_view::npos) {
        return {};
    }
    at = declaration.find_first_of("\"'", at);
    if (at == std::string_view::npos) {
        return {};
    }
    const std::size_t end = declaration.find(declaration[at], at + 1);
    std::string name(declaration.substr(at + 1, end == std::string_view::npos ? 0 : end - at - 1));
    for (char& c : name) {
        c = c > ' ' && c < 0x7F ? c : '?';
    }
    return name;
}

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    for (const std::string_view candidate : names) {
        if (EqualsNoCase(name, candidate)) {
            return true;
        }
    }
    return false;
}

// A text of bytes: UTF-8 unless its declaration names one of the single-byte encodings read.
bool DecodeBytes(std::string_view raw, std::string& out, DocumentDecoder::Failure& failure) {
    const std::string name = DeclaredEncoding(raw);
    if (name.empty() || IsOneOf(name, {"UTF-8", "UTF8"})) {
        const std::size_t invalid = FirstInvalidUtf8(raw);
        if (invalid == std::string_view::npos) {
            out.assign(raw);
            return true;
        }
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(raw[invalid]));
        failure = {SourceLines(raw).LineOf(static_cast<std::ptrdiff_t>(invalid)),
                   std::string("invalid UTF-8: byte ") + byte +
                       " does not start or continue a character"};
        return false;
    }
    const bool latin1 = IsOneOf(name, {"ISO-8859-1", "ISO_8859-1", "ISO8859-1", "LATIN1"});
    if (latin1 || IsOneOf(name, {"windows-1252", "CP1252"})) {
        return DecodeLatin(raw, !latin1, out, failure);
    }
    if (IsOneOf(name, {"UTF-16", "UTF-16LE", "UTF-16BE", "UTF-32", "UTF-32LE", "UTF-32BE"})) {
        failure = {1, "the encoding '" + name + "' is declared but the file is written in bytes"};
        return false;
    }
    failure = {1, "the encoding '" + name +
                      "' is not supported (UTF-8, UTF-16, UTF-32, ISO-8859-1 and windows-1252 "
                      "are)"};
    return false;
}

} // namespace

bool DocumentDecoder::ToUtf8(std::string_view raw, std::string& utf8, Failure& failure) {
    std::size_t bomLength = 0;
    const Form form = DetectForm(raw, bomLength);
    raw.remove_prefix(bomLength);
    utf8.clear();
    switch (form) {
    case Form::Utf16Le:
    case Form::Utf16Be:
        utf8.reserve(raw.size() + raw.size() / 2);
        return DecodeUtf16(raw, form == Form::Utf16Be, utf8, failure);
    case Form::Utf32Le:
    case Form::Utf32Be:
        utf8.reserve(raw.size());
        return DecodeUtf32(raw, form == Form::Utf32Be, utf8, failure);
    case Form::Bytes:
        break;
    }
    return DecodeBytes(raw, utf8, failure);
}

bool DocumentDecoder::ToUtf8InPlace(std::string& text, Failure& failure) {
    std::size_t bomLength = 0;
    const Form form = DetectForm(text, bomLength);
    if (form == Form::Bytes) {
        const std::string name = DeclaredEncoding(text);
        if (name.empty() || IsOneOf(name, {"UTF-8", "UTF8"})) {
            const std::size_t invalid = FirstInvalidUtf8(text);
            if (invalid == std::string_view::npos) {
                return true;
            }
        }
    }
    std::string utf8;
    if (!ToUtf8(text, utf8, failure)) {
        return false;
    }
    text = std::move(utf8);
    return true;
}
