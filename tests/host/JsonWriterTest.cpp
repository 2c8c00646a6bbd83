// The direct writer of the service's busiest answers gives exactly the text of the document
// the command line prints: every escape, every kind of number, nesting and the members' order.
#include "json/JsonWriter.h"
#include "json/CoreJson.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>

namespace {

std::string Written(const std::function<void(JsonWriter&)>& write) {
    std::string text;
    JsonWriter out(text);
    write(out);
    return text;
}

TEST(JsonWriter, ValuesAreTheDocumentsText) {
    using I = std::int64_t;
    using U = std::uint64_t;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const Value cases[] = {
        Value(),
        true,
        false,
        I{0},
        I{-1},
        I{std::numeric_limits<I>::min()},
        U{std::numeric_limits<U>::max()},
        0.0,
        -0.0,
        1.0,
        100.0,
        0.1,
        -2.25,
        1e15,
        1e16,
        1e-5,
        1.5e-7,
        123456.789,
        1.0 / 3.0,
        5e-324,
        std::numeric_limits<double>::max(),
        std::numeric_limits<double>::lowest(),
        static_cast<double>(std::numeric_limits<float>::max()),
        nan,
        infinity,
        -infinity,
        "",
        "plain",
        "quote \" backslash \\ slash /",
        "\b\f\n\r\t",
        std::string("\x00\x01\x1F\x7F", 4),
        "\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", // two, three and four bytes
        "bad \xFF end",                           // not UTF-8
        "cut \xE2\x82",                           // a sequence cut short
        "overlong \xC0\xAF",                      // an overlong slash
        "surrogate \xED\xA0\x80",                 // UTF-16 surrogates are not UTF-8
        "too high \xF4\x90\x80\x80",              // past U+10FFFF
        "mixed \xFF \"\n\xC3\xA9",                // replaced and escaped
        std::string(5000, 'a'),                   // longer than the writer's buffer
        std::string(3000, '\n'),                  // escaped, twice as long
        Value::List(700, Value("0123456789")),    // many pieces across the buffer's end
        Value::List{},
        Value::List{U{1}, Value::List{U{2}, 2.5}, "x", Value()},
        Value::Members{},
        Value::Members{{"z", U{1}}, {"B", true}, {"a", Value::Members{{"y", 2.5}, {"x", "t"}}}},
        Value::Members{{"a", U{1}}, {"b", U{2}}, {"a", U{3}}}, // the last of a name wins
        Value::Members{{"\xFF", U{1}}, {"\n", Value::List{}}},
    };
    for (const Value& value : cases) {
        const std::string expected = CoreJson::Text(CoreJson::FromValue(value), -1);
        SCOPED_TRACE(expected);
        EXPECT_EQ(Written([&](JsonWriter& out) { CoreJson::WriteValue(out, value); }), expected);
    }
}

TEST(JsonWriter, SeparatesNestedArraysAndObjects) {
    const std::string text = Written([](JsonWriter& out) {
        out.BeginObject().Key("a").BeginArray().BeginArray().EndArray().BeginObject().EndObject();
        out.Null().Signed(-1).EndArray().Key("b").BeginObject().Key("c").Bool(true);
        out.Key("d").Raw("[1]").EndObject().Key("e").Unsigned(7).EndObject();
    });
    EXPECT_EQ(text, R"({"a":[[],{},null,-1],"b":{"c":true,"d":[1]},"e":7})");
}

ResolvedItem Resolved(const char* name, bool withOptionals, std::optional<std::uint8_t> bit) {
    ResolvedItem item;
    item.name = name;
    item.address = "%MW100";
    item.comment = "speed \"set\"\n";
    item.place = {7, 200, 2, bit, 0xABCD0012, 3, 4, 5, 6, 8, 4000000000U, 9};
    if (withOptionals) {
        item.typeName = "INT";
        item.kind = "variable";
        item.info = "\xFF";
    }
    return item;
}

// The item with texts that need no escape, its numbers at the given value.
ResolvedItem Plain(ResolvedItem item, const std::string& comment, std::uint32_t numbers) {
    item.comment = comment;
    if (item.info) {
        item.info = "ARRAY[0..9] OF INT";
    }
    if (numbers != 0) {
        item.place = {65535,   numbers, numbers, item.place.bit, numbers, numbers,
                      numbers, numbers, 65535,   numbers,        numbers, numbers};
    }
    return item;
}

// Whether a text is written as it is: every byte at every place of texts around the eight-byte
// steps of the check.
TEST(JsonWriter, PlainTextsAreThoseWithoutEscapes) {
    for (std::size_t length = 1; length <= 17; ++length) {
        for (std::size_t at = 0; at < length; ++at) {
            for (unsigned byte = 0; byte < 256; ++byte) {
                std::string text(length, 'a');
                text[at] = static_cast<char>(byte);
                const bool plain = byte >= 0x20 && byte < 0x80 && byte != '"' && byte != '\\';
                ASSERT_EQ(JsonWriter::IsPlain(text), plain) << length << " " << at << " " << byte;
            }
        }
    }
    EXPECT_TRUE(JsonWriter::IsPlain(""));
}

TEST(JsonWriter, ResultsAreTheDocumentsText) {
    ResolvedItem unresolved;
    unresolved.name = "Nope\t";
    unresolved.fault = NameFault::UnknownVariable;
    unresolved.reason = "unknown variable";
    struct ResolveCase {
        ResolvedItem item;
        std::optional<std::optional<std::string>> declared;
    };
    const ResolveCase resolves[] = {
        {unresolved, std::nullopt},
        {Resolved("Motor1.Speed", true, std::nullopt), std::nullopt},
        {Resolved("Motor1.On", false, 3), std::nullopt},
        {Resolved("Motor1.On", true, 0), std::optional<std::string>()},
        {Resolved("Motor1.Speed", false, std::nullopt), std::optional<std::string>("MyInt")},
        // Texts without escapes: the item is written in one piece.
        {Plain(Resolved("V00001", true, std::nullopt), "a comment", 0), std::nullopt},
        {Plain(Resolved("Motor1.On", false, 15), "", 0), std::nullopt},
        {Plain(Resolved("Motor1.On", true, 0), "", 0xFFFFFFFFU), std::nullopt},
        {Plain(Resolved("Long", true, std::nullopt), std::string(3000, 'c'), 9), std::nullopt},
        {Plain(Resolved("V1", true, 3), "x", 0), std::optional<std::string>("INT")},
    };
    for (const ResolveCase& c : resolves) {
        nlohmann::json expected = CoreJson::Resolved(c.item);
        if (c.declared) {
            expected["declaredType"] = *c.declared ? nlohmann::json(**c.declared) : nullptr;
        }
        SCOPED_TRACE(CoreJson::Text(expected, -1));
        EXPECT_EQ(
            Written([&](JsonWriter& out) { CoreJson::WriteResolved(out, c.item, c.declared); }),
            CoreJson::Text(expected, -1));
    }

    // Many items in one array, across the ends of the writer's buffer.
    nlohmann::json expected = nlohmann::json::array();
    const std::string text = Written([&](JsonWriter& out) {
        out.BeginArray();
        for (int i = 0; i < 40; ++i) {
            const ResolvedItem item = Plain(Resolved("V1", i % 2 == 0, std::nullopt),
                                            std::string(static_cast<std::size_t>(i) * 7, 'c'),
                                            static_cast<std::uint32_t>(i * 999));
            expected.push_back(CoreJson::Resolved(item));
            CoreJson::WriteResolved(out, item);
        }
        out.EndArray();
    });
    EXPECT_EQ(text, CoreJson::Text(expected, -1));

    ValueResult read;
    read.name = "Line.Timer";
    read.value = Value("T#1s");
    read.type = "TIME";
    read.milliseconds = Value(std::int64_t{1000});
    ValueResult failed = read;
    failed.value.reset();
    failed.type.reset();
    failed.fault = ValueFault::Name;
    failed.faultPath = "Line.Timer.\xFF";
    failed.reason = "no such member";
    for (const ValueResult& result : {read, failed, ValueResult{}}) {
        SCOPED_TRACE(result.name);
        EXPECT_EQ(Written([&](JsonWriter& out) { CoreJson::WriteValueRead(out, result); }),
                  CoreJson::Text(CoreJson::ValueRead(result), -1));
        EXPECT_EQ(Written([&](JsonWriter& out) { CoreJson::WriteValueWritten(out, result); }),
                  CoreJson::Text(CoreJson::ValueWritten(result), -1));
    }
}

TEST(JsonWriter, BrowsedChildrenAreTheDocumentsText) {
    const BrowsedChild child{"Speed", "plant!Motor1.Speed", "Motor1.Speed", true};
    struct Case {
        CoreJson::ChildColumns columns;
    };
    const Case cases[] = {
        {{}},
        {{"%MW4", std::nullopt, std::nullopt}},
        {{std::nullopt, "a \"comment\"", std::nullopt}},
        {{std::nullopt, std::nullopt, std::optional<std::string>()}},
        {{"%MW4", "c", std::optional<std::string>("INT")}},
    };
    for (const Case& c : cases) {
        nlohmann::json expected = CoreJson::Children({child}).at(0);
        if (c.columns.address) {
            expected["address"] = *c.columns.address;
        }
        if (c.columns.comment) {
            expected["comment"] = *c.columns.comment;
        }
        if (c.columns.type) {
            expected["type"] = *c.columns.type ? nlohmann::json(**c.columns.type) : nullptr;
        }
        SCOPED_TRACE(CoreJson::Text(expected, -1));
        EXPECT_EQ(Written([&](JsonWriter& out) { CoreJson::WriteChild(out, child, c.columns); }),
                  CoreJson::Text(expected, -1));
    }
}

} // namespace
