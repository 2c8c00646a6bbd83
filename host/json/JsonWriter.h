#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// Writes a JSON document straight into a string, on one line, byte for byte as the JSON
// library's dump prints it (no spaces, invalid UTF-8 replaced, only control characters,
// quotes and backslashes escaped, doubles in its shortest round-trip form, NaN and infinity as
// null). The caller gives an object's members in the library's order: sorted by name.
class JsonWriter {
public:
    explicit JsonWriter(std::string& out) : m_Out(out) {}

    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    // The name of the next member; its value follows.
    JsonWriter& Key(std::string_view name);
    // A name written in the source, printable ASCII without quotes or backslashes: copied as
    // it is.
    template <std::size_t N> JsonWriter& Key(const char (&name)[N]) {
        static_assert(N + 3 <= kBufferSize);
        // ,"name": written in place, the name's length known here
        char* at = Room(N + 3);
        if (!m_First) {
            *at++ = ',';
        }
        *at++ = '"';
        std::memcpy(at, name, N - 1);
        at += N - 1;
        *at++ = '"';
        *at++ = ':';
        m_Used = static_cast<std::size_t>(at - m_Buffer.data());
        m_First = true; // the value takes no comma
        return *this;
    }

    JsonWriter& Null();
    JsonWriter& Bool(bool value);
    JsonWriter& Signed(std::int64_t value);
    JsonWriter& Unsigned(std::uint64_t value);
    JsonWriter& Real(double value);
    JsonWriter& String(std::string_view text);
    // Text already written as JSON, placed as one value.
    JsonWriter& Raw(std::string_view json);

    // The text as a JSON string literal, quotes included.
    static void AppendString(std::string& out, std::string_view text);

    // The most a value written in place (Direct) may take.
    static constexpr std::size_t kMaxDirect = 2048;
    // A value the caller writes straight into the buffer: `write` gets room for `size` bytes
    // (at most kMaxDirect) and returns the end of what it wrote. For the busiest answers, which
    // would otherwise pay the writer's bookkeeping once per member.
    template <class Write> JsonWriter& Direct(std::size_t size, Write write) {
        Separate();
        char* const at = Room(size);
        m_Used = static_cast<std::size_t>(write(at) - m_Buffer.data());
        Done();
        return *this;
    }
    // True when every byte of the text stands for itself inside a JSON string: printable ASCII
    // but the quote and the backslash.
    static bool IsPlain(std::string_view text);
    // Helpers of Direct: each writes at `at` and returns the end.
    template <std::size_t N> static char* PutLiteral(char* at, const char (&text)[N]) {
        std::memcpy(at, text, N - 1);
        return at + N - 1;
    }
    // A plain text (IsPlain) as a string literal.
    static char* PutPlainString(char* at, std::string_view text) {
        *at++ = '"';
        std::memcpy(at, text.data(), text.size());
        at += text.size();
        *at++ = '"';
        return at;
    }
    // At most 20 digits.
    static char* PutUnsigned(char* at, std::uint64_t value) {
        if (value < 10) { // most fields of a record
            *at = static_cast<char>('0' + value);
            return at + 1;
        }
        return PutDigits(at, value);
    }

private:
    static constexpr std::size_t kBufferSize = kMaxDirect;

    // PutUnsigned of a value from 10.
    static char* PutDigits(char* at, std::uint64_t value);
    // A text with escapes or bytes past ASCII.
    static void AppendSpecial(std::string& out, std::string_view text);
    // A comma before every value or member but the first of its array or object.
    void Separate();
    // The text as a JSON string literal, into the buffer.
    void PutString(std::string_view text);
    // A value written: at the outermost level the document is whole.
    void Done() {
        if (m_Depth == 0) {
            Flush();
        }
    }

    // Where `size` more bytes go, with room for them in the buffer (at most kBufferSize).
    char* Room(std::size_t size) {
        if (size > kBufferSize - m_Used) {
            Flush();
        }
        return m_Buffer.data() + m_Used;
    }
    void Put(char c) {
        if (m_Used == kBufferSize) {
            Flush();
        }
        m_Buffer[m_Used++] = c;
    }
    void Put(const char* text, std::size_t size) {
        if (size > kBufferSize - m_Used) {
            Flush();
            if (size > kBufferSize) {
                m_Out.append(text, size);
                return;
            }
        }
        std::memcpy(m_Buffer.data() + m_Used, text, size);
        m_Used += size;
    }
    void Flush() {
        m_Out.append(m_Buffer.data(), m_Used);
        m_Used = 0;
    }

    std::string& m_Out;
    std::array<char, kBufferSize> m_Buffer{};
    std::size_t m_Used = 0;
    std::size_t m_Depth = 0; // objects and arrays open
    bool m_First = true;
};
