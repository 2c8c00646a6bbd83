#pragma once

#include <cstddef>
#include <cstdint>
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
        if (!m_First) {
            m_Out += ',';
        }
        m_Out += '"';
        m_Out.append(name, N - 1);
        m_Out.append("\":", 2);
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
    // A text with escapes or bytes past ASCII.
    static void AppendSpecial(std::string& out, std::string_view text);
    // A comma before every value or member but the first of its array or object.
    void Separate();

    std::string& m_Out;
    bool m_First = true;
};
