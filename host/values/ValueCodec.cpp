#include "values/ValueCodec.h"

#include "text/HostText.h"
#include "values/IecLiteral.h"

#include <TextConversion.h>

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

namespace {

constexpr std::int64_t kNsPerMs = 1000000;
constexpr std::int64_t kNsPerSecond = 1000000000;
constexpr std::int64_t kNsPerDay = 86400 * kNsPerSecond;

enum class Family { Bool, Integer, Real, Duration, Date, TimeOfDay, DateTime, Text };

struct Row {
    std::string_view name;
    ValueKind kind;
    std::uint32_t size;
    Family family;
    bool isSigned;
    std::int64_t nsPerUnit; // durations, dates and times: nanoseconds per stored unit
};

// Every elementary type by its IEC name; the dictionary's keywords are among them.
constexpr std::array<Row, 31> kRows = {{
    {"BOOL", ValueKind::Bool, 1, Family::Bool, false, 0},
    {"EBOOL", ValueKind::Bool, 1, Family::Bool, false, 0},
    {"BYTE", ValueKind::Byte, 1, Family::Integer, false, 0},
    {"SINT", ValueKind::SInt, 1, Family::Integer, true, 0},
    {"USINT", ValueKind::USInt, 1, Family::Integer, false, 0},
    {"CHAR", ValueKind::Char, 1, Family::Text, false, 0},
    {"WORD", ValueKind::Word, 2, Family::Integer, false, 0},
    {"INT", ValueKind::Int, 2, Family::Integer, true, 0},
    {"UINT", ValueKind::UInt, 2, Family::Integer, false, 0},
    {"WCHAR", ValueKind::WChar, 2, Family::Text, false, 0},
    {"DWORD", ValueKind::DWord, 4, Family::Integer, false, 0},
    {"DINT", ValueKind::DInt, 4, Family::Integer, true, 0},
    {"UDINT", ValueKind::UDInt, 4, Family::Integer, false, 0},
    {"POINTER", ValueKind::UDInt, 4, Family::Integer, false, 0},
    {"REAL", ValueKind::Real, 4, Family::Real, true, 0},
    {"TIME", ValueKind::Time, 4, Family::Duration, true, kNsPerMs},
    {"DATE", ValueKind::Date, 4, Family::Date, false, kNsPerSecond},
    {"TOD", ValueKind::Tod, 4, Family::TimeOfDay, false, kNsPerMs},
    {"TIME_OF_DAY", ValueKind::Tod, 4, Family::TimeOfDay, false, kNsPerMs},
    {"DT", ValueKind::Dt, 8, Family::DateTime, true, kNsPerSecond},
    {"DATE_AND_TIME", ValueKind::Dt, 8, Family::DateTime, true, kNsPerSecond},
    {"LWORD", ValueKind::LWord, 8, Family::Integer, false, 0},
    {"LINT", ValueKind::LInt, 8, Family::Integer, true, 0},
    {"ULINT", ValueKind::ULInt, 8, Family::Integer, false, 0},
    {"LREAL", ValueKind::LReal, 8, Family::Real, true, 0},
    {"LTIME", ValueKind::LTime, 8, Family::Duration, true, 1},
    {"LDATE", ValueKind::LDate, 8, Family::Date, false, 1},
    {"LTOD", ValueKind::LTod, 8, Family::TimeOfDay, false, 1},
    {"LDT", ValueKind::LDt, 8, Family::DateTime, true, 1},
    {"STRING", ValueKind::String, 16, Family::Text, false, 0},
    {"WSTRING", ValueKind::WString, 2, Family::Text, false, 0},
}};

const Row* FindRow(std::string_view name) {
    for (const Row& row : kRows) {
        if (EqualsNoCase(name, row.name)) {
            return &row;
        }
    }
    return nullptr;
}

const Row& RowOf(ValueKind kind) {
    for (const Row& row : kRows) {
        if (row.kind == kind) {
            return row;
        }
    }
    return kRows[0];
}

// The short IEC prefix a value of the family is shown with.
std::string_view Prefix(const Row& row) {
    const bool wide = row.nsPerUnit == 1;
    switch (row.family) {
    case Family::Duration:
        return wide ? "LTIME#" : "T#";
    case Family::Date:
        return wide ? "LDATE#" : "D#";
    case Family::TimeOfDay:
        return wide ? "LTOD#" : "TOD#";
    case Family::DateTime:
        return wide ? "LDT#" : "DT#";
    default:
        return "";
    }
}

std::uint64_t LoadLittle(std::span<const std::uint8_t> bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

std::vector<std::uint8_t> StoreLittle(std::uint64_t value, std::uint32_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::uint32_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    return bytes;
}

std::int64_t SignExtend(std::uint64_t value, std::uint32_t size) {
    if (size >= 8) {
        return static_cast<std::int64_t>(value);
    }
    const std::uint64_t sign = std::uint64_t{1} << (8 * size - 1);
    return static_cast<std::int64_t>((value ^ sign) - sign);
}

Value DecodeInteger(const Row& row, std::uint64_t raw) {
    if (row.isSigned) {
        return SignExtend(raw, row.size);
    }
    return raw;
}

Value DecodeReal(const Row& row, std::uint64_t raw) {
    if (row.size == 4) {
        return static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(raw)));
    }
    return std::bit_cast<double>(raw);
}

std::string DecodeText(const ValueType& type, std::span<const std::uint8_t> bytes) {
    if (type.kind == ValueKind::WString || type.kind == ValueKind::WChar) {
        const auto unit = static_cast<char16_t>(LoadLittle(bytes.subspan(0, 2)));
        return unit == 0 ? std::string() : Utf16ToUtf8(std::u16string(1, unit));
    }
    std::string text;
    for (const std::uint8_t byte : bytes) {
        if (byte == 0) {
            break;
        }
        text += static_cast<char>(byte);
    }
    return ValidUtf8(text);
}

DecodedValue DecodeTimed(const Row& row, std::uint64_t raw) {
    const std::int64_t stored =
        row.isSigned ? SignExtend(raw, row.size) : static_cast<std::int64_t>(raw);
    // Unsigned 64-bit counts beyond the signed range are shown as they wrap.
    const std::int64_t ns = row.nsPerUnit == 1 ? stored : stored * row.nsPerUnit;
    switch (row.family) {
    case Family::Duration: {
        const double ms = static_cast<double>(ns) / kNsPerMs;
        return {IecLiteral::FormatDuration(ns, Prefix(row)),
                ns % kNsPerMs == 0 ? Value(ns / kNsPerMs) : Value(ms)};
    }
    case Family::Date:
        return {IecLiteral::FormatDate(ns / kNsPerDay, Prefix(row)), {}};
    case Family::TimeOfDay:
        return {IecLiteral::FormatTimeOfDay(ns % kNsPerDay, Prefix(row)), {}};
    default:
        return {IecLiteral::FormatDateTime(ns, Prefix(row)), {}};
    }
}

EncodedValue Fail(std::string error) {
    return {false, {}, std::move(error)};
}

EncodedValue Bytes(std::vector<std::uint8_t> bytes) {
    return {true, std::move(bytes), {}};
}

std::string NumberText(double number) {
    char text[32];
    const auto [end, error] = std::to_chars(std::begin(text), std::end(text), number);
    std::string shown(text, error == std::errc() ? end : text);
    if (std::isfinite(number) && shown.find_first_of(".e") == std::string::npos) {
        shown += ".0";
    }
    return shown;
}

EncodedValue NotA(const ValueType& type, const Value& value) {
    return Fail(ValueCodec::Shown(value) + " is not a " + type.name);
}

// The integer a JSON value holds, read as an IEC literal when a string.
std::optional<IntegerLiteral> IntegerOf(const Value& value) {
    if (value.IsUnsigned()) {
        return IntegerLiteral{false, value.AsUnsigned()};
    }
    if (value.IsSigned()) {
        const auto number = value.AsSigned();
        return IntegerLiteral{number < 0, number < 0 ? 0 - static_cast<std::uint64_t>(number)
                                                     : static_cast<std::uint64_t>(number)};
    }
    if (value.IsText()) {
        return IecLiteral::ParseInteger(value.AsText());
    }
    return std::nullopt;
}

EncodedValue EncodeInteger(const Row& row, const ValueType& type, const Value& value) {
    const auto number = IntegerOf(value);
    if (!number) {
        return NotA(type, value);
    }
    const unsigned bits = 8 * row.size;
    const std::uint64_t high = row.isSigned ? (std::uint64_t{1} << (bits - 1)) - 1
                               : bits == 64 ? std::numeric_limits<std::uint64_t>::max()
                                            : (std::uint64_t{1} << bits) - 1;
    const std::uint64_t low = row.isSigned ? high + 1 : 0; // magnitude of the lowest value
    const bool fits = number->negative ? number->magnitude <= low : number->magnitude <= high;
    if (!fits) {
        const std::string lowest = row.isSigned ? "-" + std::to_string(low) : "0";
        return Fail(ValueCodec::Shown(value) + " is out of range for " + type.name + " (" + lowest +
                    ".." + std::to_string(high) + ")");
    }
    const std::uint64_t raw = number->negative ? 0 - number->magnitude : number->magnitude;
    return Bytes(StoreLittle(raw, row.size));
}

EncodedValue EncodeBool(const ValueType& type, const Value& value) {
    std::optional<bool> flag;
    if (value.IsBool()) {
        flag = value.AsBool();
    } else if ((value.IsSigned() || value.IsUnsigned()) && value.AsDouble() >= 0 &&
               value.AsDouble() <= 1) {
        flag = value.AsDouble() == 1;
    } else if (value.IsText()) {
        flag = IecLiteral::ParseBool(value.AsText());
    }
    if (!flag) {
        return NotA(type, value);
    }
    return Bytes({static_cast<std::uint8_t>(*flag ? 1 : 0)});
}

EncodedValue EncodeReal(const Row& row, const ValueType& type, const Value& value) {
    std::optional<double> number;
    if (value.IsNumber()) {
        number = value.AsDouble();
    } else if (value.IsText()) {
        number = IecLiteral::ParseReal(value.AsText());
    }
    if (!number) {
        return NotA(type, value);
    }
    if (row.size == 4) {
        if (std::fabs(*number) > std::numeric_limits<float>::max()) {
            return Fail(ValueCodec::Shown(value) + " is out of range for " + type.name);
        }
        return Bytes(StoreLittle(std::bit_cast<std::uint32_t>(static_cast<float>(*number)), 4));
    }
    return Bytes(StoreLittle(std::bit_cast<std::uint64_t>(*number), 8));
}

std::optional<std::int64_t> ParseTimed(const Row& row, const std::string& text) {
    switch (row.family) {
    case Family::Duration:
        return IecLiteral::ParseDuration(text);
    case Family::Date: {
        const auto days = IecLiteral::ParseDate(text);
        return days && *days >= -106751 && *days <= 106751 ? std::optional(*days * kNsPerDay)
                                                           : std::nullopt;
    }
    case Family::TimeOfDay:
        return IecLiteral::ParseTimeOfDay(text);
    default:
        return IecLiteral::ParseDateTime(text);
    }
}

EncodedValue EncodeTimed(const Row& row, const ValueType& type, const Value& value) {
    std::optional<std::int64_t> ns;
    if (value.IsText()) {
        ns = ParseTimed(row, value.AsText());
    } else if (value.IsNumber() && row.family == Family::Duration) {
        ns = IecLiteral::ParseDuration(ValueCodec::Shown(value)); // a number counts milliseconds
    }
    if (!ns) {
        return NotA(type, value);
    }
    if (*ns % row.nsPerUnit != 0 && row.family != Family::Duration) {
        return Fail(ValueCodec::Shown(value) + " is finer than " + type.name + " keeps");
    }
    const std::int64_t stored = *ns / row.nsPerUnit;
    const bool fits =
        row.size == 8 || (row.isSigned ? stored >= std::numeric_limits<std::int32_t>::min() &&
                                             stored <= std::numeric_limits<std::int32_t>::max()
                                       : stored >= 0 && stored <= 0xFFFFFFFFLL);
    if (!fits || (!row.isSigned && stored < 0)) {
        return Fail(ValueCodec::Shown(value) + " is out of range for " + type.name);
    }
    return Bytes(StoreLittle(static_cast<std::uint64_t>(stored), row.size));
}

EncodedValue EncodeWide(const ValueType& type, const std::string& text) {
    const std::u16string units = Utf8ToUtf16(text);
    if (units.size() > 1) {
        return Fail(QuotedClientText(text) + " is longer than " + type.name +
                    " holds (1 character)");
    }
    return Bytes(StoreLittle(units.empty() ? 0 : units.front(), 2));
}

EncodedValue EncodeText(const ValueType& type, const Value& value) {
    if (!value.IsText()) {
        return NotA(type, value);
    }
    const std::string& text = value.AsText();
    const bool terminated = type.kind == ValueKind::String || type.kind == ValueKind::WString;
    if (const std::size_t nul = text.find('\0'); terminated && nul != std::string::npos) {
        // The memory ends a text at its first zero: the rest would be lost.
        return Fail("a " + type.name + " cannot hold a NUL character (the text has one at byte " +
                    std::to_string(nul) + ")");
    }
    if (type.kind == ValueKind::WString || type.kind == ValueKind::WChar) {
        return EncodeWide(type, text);
    }
    if (text.size() > type.size) {
        return Fail(QuotedClientText(text) + " is longer than " + type.name + " holds (" +
                    std::to_string(type.size) + " bytes)");
    }
    std::vector<std::uint8_t> bytes(type.size, 0);
    std::copy(text.begin(), text.end(), bytes.begin());
    return Bytes(std::move(bytes));
}

} // namespace

std::optional<ValueType> ValueCodec::TypeOf(std::string_view typeName, std::string_view iecName,
                                            std::uint32_t size) {
    // The IEC name is the finer one (LREAL where the dictionary says DT) when its size agrees.
    const Row* row = FindRow(iecName);
    if (row == nullptr || row->size != size) {
        row = FindRow(typeName);
    }
    constexpr std::string_view kString = "STRING[";
    if (row == nullptr && EqualsNoCase(typeName.substr(0, kString.size()), kString)) {
        return ValueType{ValueKind::String, size, ToUpperAscii(typeName)};
    }
    if (row == nullptr) {
        return std::nullopt;
    }
    const bool sized = row->kind == ValueKind::String || row->size == size;
    return sized ? std::optional(ValueType{row->kind, size, std::string(row->name)}) : std::nullopt;
}

ValueType ValueCodec::BoolType() {
    return {ValueKind::Bool, 1, "BOOL"};
}

DecodedValue ValueCodec::Decode(const ValueType& type, std::span<const std::uint8_t> bytes) {
    const Row& row = RowOf(type.kind);
    const std::uint64_t raw = LoadLittle(bytes.subspan(0, std::min<std::size_t>(bytes.size(), 8)));
    switch (row.family) {
    case Family::Bool:
        return {raw != 0, {}};
    case Family::Integer:
        return {DecodeInteger(row, raw), {}};
    case Family::Real:
        return {DecodeReal(row, raw), {}};
    case Family::Text:
        return {DecodeText(type, bytes), {}};
    default:
        return DecodeTimed(row, raw);
    }
}

EncodedValue ValueCodec::Encode(const ValueType& type, const Value& value) {
    const Row& row = RowOf(type.kind);
    switch (row.family) {
    case Family::Bool:
        return EncodeBool(type, value);
    case Family::Integer:
        return EncodeInteger(row, type, value);
    case Family::Real:
        return EncodeReal(row, type, value);
    case Family::Text:
        return type.kind == ValueKind::Char ? EncodeText({ValueKind::String, 1, type.name}, value)
                                            : EncodeText(type, value);
    default:
        return EncodeTimed(row, type, value);
    }
}

std::string ValueCodec::Shown(const Value& value) {
    if (value.IsText()) {
        return QuotedClientText(value.AsText());
    }
    if (value.IsBool()) {
        return value.AsBool() ? "true" : "false";
    }
    if (value.IsSigned()) {
        return std::to_string(value.AsSigned());
    }
    if (value.IsUnsigned()) {
        return std::to_string(value.AsUnsigned());
    }
    if (value.IsReal()) {
        return NumberText(value.AsReal());
    }
    if (value.IsList()) {
        return "a list";
    }
    return value.IsMembers() ? "an object" : "null";
}
