#include "json/JsonWriter.h"

#include <nlohmann/json.hpp>

#include <array>
#include <charconv>
#include <cmath>

namespace {

// The length of the well-formed UTF-8 sequence at text[i], or 0 when it is not one (an
// overlong form, a surrogate, past U+10FFFF, cut short).
std::size_t SequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t at) {
        return at < text.size() ? static_cast<unsigned char>(text[at]) : 0U;
    };
    const unsigned lead = byte(i);
    const auto follows = [&](std::size_t at, unsigned low, unsigned high) {
        return byte(at) >= low && byte(at) <= high;
    };
    if (lead >= 0xC2 && lead <= 0xDF) {
        return follows(i + 1, 0x80, 0xBF) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned high = lead == 0xED ? 0x9F : 0xBF;
        return follows(i + 1, low, high) && follows(i + 2, 0x80, 0xBF) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
        return follows(i + 1, low, high) && follows(i + 2, 0x80, 0xBF) && follows(i + 3, 0x80, 0xBF)
                   ? 4
                   : 0;
    }
    return 0;
}

bool WellFormed(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = SequenceLength(text, i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

void AppendEscaped(std::string& out, char c) {
    switch (c) {
    case '"':
        out += "\\\"";
        return;
    case '\\':
        out += "\\\\";
        return;
    case '\b':
        out += "\\b";
        return;
    case '\f':
        out += "\\f";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    default: {
        static constexpr char kHex[] = "0123456789abcdef";
        const auto code = static_cast<unsigned char>(c);
        out += "\\u00";
        out += kHex[code >> 4];
        out += kHex[code & 0x0F];
    }
    }
}

// Bytes copied as they are without a look at their neighbours: printable ASCII but the quote
// and the backslash.
constexpr std::array<bool, 256> kPlain = [] {
    std::array<bool, 256> plain{};
    for (std::size_t c = 0x20; c < 0x80; ++c) {
        plain[c] = c != '"' && c != '\\';
    }
    return plain;
}();

} // namespace

void JsonWriter::AppendString(std::string& out, std::string_view text) {
    if (IsPlain(text)) { // most names and texts
        out += '"';
        out += text;
        out += '"';
        return;
    }
    AppendSpecial(out, text);
}

void JsonWriter::AppendSpecial(std::string& out, std::string_view text) {
    if (!WellFormed(text)) {
        // Replacing bad UTF-8 is left to the library, so that the replacement is its own.
        out += nlohmann::json(std::string(text))
                   .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        return;
    }
    out += '"';
    std::size_t plain = 0; // start of the run not yet copied
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (static_cast<unsigned char>(c) >= 0x20 && c != '"' && c != '\\') {
            continue;
        }
        out.append(text.data() + plain, i - plain);
        AppendEscaped(out, c);
        plain = i + 1;
    }
    out.append(text.data() + plain, text.size() - plain);
    out += '"';
}

bool JsonWriter::IsPlain(std::string_view text) {
    constexpr std::uint64_t kOnes = 0x0101010101010101U;
    constexpr std::uint64_t kHigh = 0x8080808080808080U;
    const char* at = text.data();
    std::size_t left = text.size();
    // Eight bytes at a time: a byte below 0x20, a quote, a backslash (each found as a zero
    // byte of the word XORed with it) or a byte from 0x80 sets a high bit of `special`. Only
    // whether any is set counts, which the borrows between bytes do not change.
    for (; left >= 8; at += 8, left -= 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, at, 8);
        const std::uint64_t quote = word ^ (kOnes * '"');
        const std::uint64_t backslash = word ^ (kOnes * '\\');
        const std::uint64_t special = ((word - kOnes * 0x20) & ~word) | ((quote - kOnes) & ~quote) |
                                      ((backslash - kOnes) & ~backslash) | word;
        if ((special & kHigh) != 0) {
            return false;
        }
    }
    for (; left > 0; ++at, --left) {
        if (!kPlain[static_cast<unsigned char>(*at)]) {
            return false;
        }
    }
    return true;
}

char* JsonWriter::PutDigits(char* at, std::uint64_t value) {
    constexpr std::size_t kDigits = 20;
    return std::to_chars(at, at + kDigits, value).ptr;
}

void JsonWriter::PutString(std::string_view text) {
    const bool plain = IsPlain(text);
    if (plain && text.size() + 2 <= kBufferSize) { // most names and texts
        m_Used =
            static_cast<std::size_t>(PutPlainString(Room(text.size() + 2), text) - m_Buffer.data());
        return;
    }
    if (plain) {
        Put('"');
        Put(text.data(), text.size());
        Put('"');
        return;
    }
    std::string special;
    AppendSpecial(special, text);
    Put(special.data(), special.size());
}

void JsonWriter::Separate() {
    if (!m_First) {
        Put(',');
    }
    m_First = false;
}

JsonWriter& JsonWriter::BeginObject() {
    Separate();
    Put('{');
    m_First = true;
    ++m_Depth;
    return *this;
}

JsonWriter& JsonWriter::EndObject() {
    Put('}');
    m_First = false;
    --m_Depth;
    Done();
    return *this;
}

JsonWriter& JsonWriter::BeginArray() {
    Separate();
    Put('[');
    m_First = true;
    ++m_Depth;
    return *this;
}

JsonWriter& JsonWriter::EndArray() {
    Put(']');
    m_First = false;
    --m_Depth;
    Done();
    return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
    Separate();
    PutString(name);
    Put(':');
    m_First = true; // the value takes no comma
    return *this;
}

JsonWriter& JsonWriter::Null() {
    Separate();
    Put("null", 4);
    Done();
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
    Separate();
    if (value) {
        Put("true", 4);
    } else {
        Put("false", 5);
    }
    Done();
    return *this;
}

JsonWriter& JsonWriter::Signed(std::int64_t value) {
    Separate();
    std::array<char, 24> digits{};
    const char* const end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    Put(digits.data(), static_cast<std::size_t>(end - digits.data()));
    Done();
    return *this;
}

JsonWriter& JsonWriter::Unsigned(std::uint64_t value) {
    constexpr std::size_t kDigits = 20;
    Separate();
    m_Used = static_cast<std::size_t>(PutUnsigned(Room(kDigits), value) - m_Buffer.data());
    Done();
    return *this;
}

JsonWriter& JsonWriter::Real(double value) {
    Separate();
    if (!std::isfinite(value)) {
        Put("null", 4);
        Done();
        return *this;
    }
    // The library's own conversion, so that every digit is the same as its dump's.
    std::array<char, 64> digits{};
    const char* const end =
        nlohmann::detail::to_chars(digits.data(), digits.data() + digits.size(), value);
    Put(digits.data(), static_cast<std::size_t>(end - digits.data()));
    Done();
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
    Separate();
    PutString(text);
    Done();
    return *this;
}

JsonWriter& JsonWriter::Raw(std::string_view json) {
    Separate();
    Put(json.data(), json.size());
    Done();
    return *this;
}
