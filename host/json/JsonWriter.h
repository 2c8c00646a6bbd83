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

private:
    static constexpr std::size_t kBufferSize = 2048;

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
