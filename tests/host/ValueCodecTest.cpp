// The value codec against byte images written by hand: every type both ways, and the values
// that must be refused.
#include "values/ValueCodec.h"
#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using I = std::int64_t;
using U = std::uint64_t;

ValueType Type(const std::string& typeName, const std::string& iec, std::uint32_t size) {
    const auto type = ValueCodec::TypeOf(typeName, iec, size);
    EXPECT_TRUE(type.has_value()) << typeName << " / " << iec;
    return type.value_or(ValueType{});
}

struct RoundTrip {
    const char* typeName; // as the dictionary knows it
    const char* iec;      // as the program wrote it
    std::uint32_t size;
    Bytes bytes;
    Value value;        // decoded
    Value milliseconds; // durations only
};

TEST(ValueCodec, DecodesAndEncodesEveryTypeAgainstHandMadeBytes) {
    const std::vector<RoundTrip> cases = {
        {"BOOL", "BOOL", 1, {1}, true, {}},
        {"BYTE", "BYTE", 1, {0xFE}, U{254}, {}},
        {"BYTE", "SINT", 1, {0xFE}, I{-2}, {}},
        {"BYTE", "USINT", 1, {0xFE}, U{254}, {}},
        {"BYTE", "CHAR", 1, {'A'}, "A", {}},
        {"WORD", "WORD", 2, {0x34, 0x12}, U{0x1234}, {}},
        {"INT", "INT", 2, {0x18, 0xFC}, I{-1000}, {}},
        {"UINT", "UINT", 2, {0xFF, 0xFF}, U{65535}, {}},
        {"DWORD", "DWORD", 4, {0x78, 0x56, 0x34, 0x12}, U{0x12345678}, {}},
        {"DINT", "DINT", 4, {0xFF, 0xFF, 0xFF, 0xFF}, I{-1}, {}},
        {"UDINT", "UDINT", 4, {0x00, 0x00, 0x00, 0x80}, U{2147483648U}, {}},
        {"REAL", "REAL", 4, {0x00, 0x00, 0xC0, 0x3F}, 1.5, {}},
        {"TIME", "TIME", 4, {0xDC, 0x05, 0, 0}, "T#1s500ms", I{1500}},
        {"TIME", "TIME", 4, {0x18, 0xFC, 0xFF, 0xFF}, "T#-1s", I{-1000}},
        {"TIME", "TIME", 4, {0x80, 0xEE, 0x36, 0x00}, "T#1h", I{3600000}},
        {"DATE", "DATE", 4, {0x80, 0x75, 0xA4, 0x65}, "D#2024-01-15", {}},
        {"TOD", "TOD", 4, {0xF4, 0x75, 0xB7, 0x01}, "TOD#08:00:00.5", {}},
        {"DT", "DT", 8, {0x00, 0xE6, 0xA4, 0x65, 0, 0, 0, 0}, "DT#2024-01-15-08:00:00", {}},
        {"DT", "LREAL", 8, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}, 1.5, {}},
        {"DT", "LINT", 8, {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, I{-2}, {}},
        {"DT",
         "ULINT",
         8,
         {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         U{18446744073709551615ULL},
         {}},
        {"DT", "LWORD", 8, {1, 0, 0, 0, 0, 0, 0, 0}, U{1}, {}},
        {"DT", "LTIME", 8, {0x40, 0x42, 0x0F, 0, 0, 0, 0, 0}, "LTIME#1ms", I{1}},
        {"DT", "LTIME", 8, {0xE8, 0x03, 0, 0, 0, 0, 0, 0}, "LTIME#1us", 0.001},
        {"STRING[5]", "STRING[5]", 5, {'a', 'b', 0, 0, 0}, "ab", {}},
        {"STRING[3]", "STRING[3]", 3, {'a', 'b', 'c'}, "abc", {}},
        {"STRING", "STRING", 16, Bytes(16, 0), "", {}},
        {"WSTRING", "WSTRING", 2, {0xAC, 0x20}, "\u20AC", {}},
    };
    for (const RoundTrip& c : cases) {
        SCOPED_TRACE(std::string(c.iec) + " " + testing::PrintToString(c.value));
        const ValueType type = Type(c.typeName, c.iec, c.size);
        const DecodedValue decoded = ValueCodec::Decode(type, c.bytes);
        EXPECT_EQ(decoded.value, c.value);
        EXPECT_EQ(decoded.milliseconds, c.milliseconds);
        const EncodedValue encoded = ValueCodec::Encode(type, c.value);
        ASSERT_TRUE(encoded.ok) << encoded.error;
        EXPECT_EQ(encoded.bytes, c.bytes);
    }
}

struct Literal {
    const char* iec;
    std::uint32_t size;
    Value given;
    Bytes bytes;
};

TEST(ValueCodec, ReadsIecLiteralsAndCommandLineText) {
    const std::vector<Literal> cases = {
        {"INT", 2, "16#7FFF", {0xFF, 0x7F}},
        {"INT", 2, "INT#-32768", {0x00, 0x80}},
        {"WORD", 2, "2#1000_0000_0000_0001", {0x01, 0x80}},
        {"UDINT", 4, "4_294_967_295", {0xFF, 0xFF, 0xFF, 0xFF}},
        {"BOOL", 1, "TRUE", {1}},
        {"BOOL", 1, "false", {0}},
        {"BOOL", 1, I{0}, {0}},
        {"REAL", 4, "REAL#-2.5", {0x00, 0x00, 0x20, 0xC0}},
        {"REAL", 4, "1.0E1", {0x00, 0x00, 0x20, 0x41}},
        {"REAL", 4, 3.4028234663852886e38, {0xFF, 0xFF, 0x7F, 0x7F}}, // the largest float
        {"REAL", 4, -3.4028234663852886e38, {0xFF, 0xFF, 0x7F, 0xFF}},
        {"TIME", 4, "TIME#1.5s", {0xDC, 0x05, 0, 0}},
        {"TIME", 4, "t#1m_30s", {0x90, 0x5F, 0x01, 0}},
        {"TIME", 4, I{1500}, {0xDC, 0x05, 0, 0}},
        {"DATE", 4, "DATE#1970-01-02", {0x80, 0x51, 0x01, 0}},
        {"TOD", 4, "TIME_OF_DAY#00:00:01", {0xE8, 0x03, 0, 0}},
        {"TOD", 4, "TOD#23:59:59.999", {0xFF, 0x5B, 0x26, 0x05}}, // the last millisecond
        {"DT", 8, "DATE_AND_TIME#1970-01-01-00:01:00", {60, 0, 0, 0, 0, 0, 0, 0}},
        {"DT", 8, "DT#1970-01-01-23:59:59", {0x7F, 0x51, 0x01, 0, 0, 0, 0, 0}},
    };
    for (const Literal& c : cases) {
        SCOPED_TRACE(std::string(c.iec) + " " + testing::PrintToString(c.given));
        const EncodedValue encoded = ValueCodec::Encode(Type(c.iec, c.iec, c.size), c.given);
        ASSERT_TRUE(encoded.ok) << encoded.error;
        EXPECT_EQ(encoded.bytes, c.bytes);
    }
}

struct Refusal {
    const char* iec;
    std::uint32_t size;
    Value given;
    const char* error;
};

TEST(ValueCodec, RefusesWhatDoesNotFitItsType) {
    const std::vector<Refusal> cases = {
        {"INT", 2, I{40000}, "40000 is out of range for INT (-32768..32767)"},
        {"INT", 2, "40000", "'40000' is out of range for INT (-32768..32767)"},
        {"INT", 2, 1.5, "1.5 is not a INT"},
        {"UINT", 2, I{-1}, "-1 is out of range for UINT (0..65535)"},
        {"SINT", 1, U{128}, "128 is out of range for SINT (-128..127)"},
        {"REAL", 4, "abc", "'abc' is not a REAL"},
        {"REAL", 4, 1e39, "1e+39 is out of range for REAL"},
        {"REAL", 4, -1e39, "-1e+39 is out of range for REAL"},
        {"BOOL", 1, I{2}, "2 is not a BOOL"},
        {"TIME", 4, "T#30d", "'T#30d' is out of range for TIME"},
        {"TIME", 4, "T#1x", "'T#1x' is not a TIME"},
        {"DATE", 4, "D#2024-02-30", "'D#2024-02-30' is not a DATE"},
        {"DATE", 4, "D#1969-12-31", "'D#1969-12-31' is out of range for DATE"},
        {"TOD", 4, "TOD#24:00:00", "'TOD#24:00:00' is not a TOD"},
        {"DT", 8, "DT#2024-01-15-24:00:00", "'DT#2024-01-15-24:00:00' is not a DT"},
        {"STRING[3]", 3, "abcd", "'abcd' is longer than STRING[3] holds (3 bytes)"},
        {"STRING[3]", 3, I{5}, "5 is not a STRING[3]"},
        {"WSTRING", 2, "ab", "'ab' is longer than WSTRING holds (1 character)"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(std::string(c.iec) + " " + testing::PrintToString(c.given));
        const EncodedValue encoded = ValueCodec::Encode(Type(c.iec, c.iec, c.size), c.given);
        EXPECT_FALSE(encoded.ok);
        EXPECT_EQ(encoded.error, c.error);
        EXPECT_TRUE(encoded.bytes.empty());
    }
}

TEST(ValueCodec, TakesTheProgramsTypeOnlyWhenItsSizeAgrees) {
    EXPECT_EQ(Type("DT", "LREAL", 8).kind, ValueKind::LReal);
    EXPECT_EQ(Type("DT", "DT", 8).kind, ValueKind::Dt);
    EXPECT_EQ(Type("INT", "MotorState", 2).kind, ValueKind::Int);
    EXPECT_FALSE(ValueCodec::TypeOf("Motor", "Motor", 22).has_value());
}

} // namespace
