#include "Varbank/TextConversion.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Length of the sequence a lead byte announces, 0 for a byte that cannot start one.
int SequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

// Allowed range of the second byte, which also rules out overlong forms, surrogates and
// code points above U+10FFFF.
bool SecondByteValid(unsigned char lead, unsigned char second) {
    switch (lead) {
    case 0xE0:
        return second >= 0xA0 && second <= 0xBF;
    case 0xED:
        return second >= 0x80 && second <= 0x9F;
    case 0xF0:
        return second >= 0x90 && second <= 0xBF;
    case 0xF4:
        return second >= 0x80 && second <= 0x8F;
    default:
        return second >= 0x80 && second <= 0xBF;
    }
}

// Decodes one code point at pos and advances pos past it (or past its longest valid prefix).
char32_t DecodeOne(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    const int length = SequenceLength(lead);
    ++pos;
    if (length == 1) {
        return lead;
    }
    if (length == 0) {
        return kReplacement;
    }
    char32_t code = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if (pos >= text.size()) {
            return kReplacement;
        }
        const auto next = static_cast<unsigned char>(text[pos]);
        const bool valid = i == 1 ? SecondByteValid(lead, next) : (next & 0xC0) == 0x80;
        if (!valid) {
            return kReplacement;
        }
        code = (code << 6) | (next & 0x3F);
        ++pos;
    }
    return code;
}

void AppendUtf8(std::string& out, char32_t code) {
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

} // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t code = DecodeOne(text, pos);
        if (code >= 0x10000) {
            const char32_t v = code - 0x10000;
            out += static_cast<char16_t>(0xD800 + (v >> 10));
            out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = kReplacement;
        }
        AppendUtf8(out, code);
    }
    return out;
}

std::string Utf16ToUtf8(const OLECHAR* text) {
    if (text == nullptr) {
        return {};
    }
    return Utf16ToUtf8(std::u16string_view(text));
}

std::int32_t NarrowToWide(const char* text, BSTR* result) {
    *result = nullptr;
    if (text == nullptr) {
        return 0;
    }
    const std::u16string wide = Utf8ToUtf16(text);
    if (wide.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return 0;
    }
    *result = SysAllocStringLen(wide.data(), static_cast<std::uint32_t>(wide.size()));
    if (*result == nullptr) {
        return 0;
    }
    return static_cast<std::int32_t>(wide.size()) + 1;
}

BSTR NarrowToBstr(const std::string& text) {
    // Plain ASCII widens in place, without an intermediate wide string.
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii && text.size() <= std::numeric_limits<std::uint32_t>::max() / 2) {
        BSTR wide = SysAllocStringLen(nullptr, static_cast<std::uint32_t>(text.size()));
        if (wide != nullptr) {
            std::copy(text.begin(), text.end(), wide);
        }
        return wide;
    }
    const std::u16string wide = Utf8ToUtf16(text);
    if (wide.size() > std::numeric_limits<std::uint32_t>::max()) {
        return nullptr;
    }
    return SysAllocStringLen(wide.data(), static_cast<std::uint32_t>(wide.size()));
}
