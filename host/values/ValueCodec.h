#pragma once

#include "values/Value.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The elementary types a value can have in the host's memory, by what they hold.
enum class ValueKind {
    Bool,
    Byte,
    SInt,
    USInt,
    Char,
    Word,
    Int,
    UInt,
    WChar,
    DWord,
    DInt,
    UDInt,
    Real,
    Time,
    Date,
    Tod,
    Dt,
    LWord,
    LInt,
    ULInt,
    LReal,
    LTime,
    LDate,
    LTod,
    LDt,
    String,
    WString
};

struct ValueType {
    ValueKind kind = ValueKind::Int;
    std::uint32_t size = 0; // bytes in memory
    std::string name;       // the IEC name shown to clients
};

// What Decode gives: the value, and for a duration its milliseconds beside the IEC text.
struct DecodedValue {
    Value value;
    Value milliseconds; // null unless the type is a duration
};

// What Encode gives: the bytes to write, or why the value does not fit the type.
struct EncodedValue {
    bool ok = false;
    std::vector<std::uint8_t> bytes;
    std::string error;
};

// Turns the bytes of an elementary place into values and back, little-endian. Integers, reals,
// booleans and texts come and go as numbers, booleans and texts; durations, dates and
// times of day as IEC texts (T#1s500ms, D#2024-01-15, TOD#08:00:00, DT#2024-01-15-08:00:00).
// Memory formats: TIME signed milliseconds (32 bits), LTIME signed nanoseconds (64 bits),
// DATE seconds since 1970-01-01 (32 bits), TOD milliseconds since midnight (32 bits), DT
// seconds since 1970 (64 bits), LDATE, LTOD and LDT nanoseconds (64 bits), STRING[n] n bytes
// ending at the first zero byte, WSTRING one UTF-16 unit (the dictionary gives it 2 bytes).
class ValueCodec {
public:
    // The type of an elementary place: by the IEC name as the program wrote it when the host
    // maps it (LREAL, SINT, ...), else by the dictionary's type name; nothing when neither is
    // elementary.
    static std::optional<ValueType> TypeOf(std::string_view typeName, std::string_view iecName,
                                           std::uint32_t size);
    static ValueType BoolType();

    static DecodedValue Decode(const ValueType& type, std::span<const std::uint8_t> bytes);
    // A number, boolean or text; a text is read as an IEC literal of the type.
    static EncodedValue Encode(const ValueType& type, const Value& value);
    // A value as a message quotes it: a text in quotes (cut when long), the rest as JSON
    // writes it.
    static std::string Shown(const Value& value);
};
