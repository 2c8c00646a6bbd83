// What a client sends: JSON documents read with their depth and names checked, and client text
// quoted short in error messages.
#include "core/ValueAccess.h"
#include "text/HostText.h"
#include "json/ClientJsonReader.h"
#include "json/CoreJson.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Nested(std::size_t depth, const std::string& open, const std::string& close) {
    std::string text;
    for (std::size_t i = 0; i < depth; ++i) {
        text += open;
    }
    text += "1";
    for (std::size_t i = 0; i < depth; ++i) {
        text += close;
    }
    return text;
}

TEST(ClientJsonReader, RefusesDeepDocumentsAndRepeatedNamesWhileReading) {
    struct Case {
        std::string text;
        std::string reason; // empty when read
    };
    const std::string tooDeep = "the body nests arrays and objects deeper than 64 levels";
    const std::string longName(5000, 'n');
    const std::vector<Case> cases = {
        {Nested(64, "[", "]"), ""},
        {Nested(65, "[", "]"), tooDeep},
        {Nested(64, "{\"a\":", "}"), ""},
        {Nested(65, "{\"a\":", "}"), tooDeep},
        {"{\"values\":" + Nested(30000, "[", "]") + "}", tooDeep},
        {"{\"values\":" + Nested(30000, "[", "") + "}", tooDeep}, // never closed
        {R"({"a":1,"b":{"a":2,"c":3},"d":[{"a":4},{"a":5}]})", ""},
        {R"({"a":1,"b":2,"a":3})", "the body gives the name 'a' twice in one object"},
        {R"({"b":{"c":1,"c":1}})", "the body gives the name 'c' twice in one object"},
        {"{\"" + longName + "\":1,\"" + longName + "\":2}",
         "the body gives the name '" + std::string(200, 'n') +
             "\u2026' (5000 bytes) twice in one object"},
        {"{\"a\":\"" + std::string(100000, 'x'), "the body is not JSON (a syntax error at byte "
                                                 "100007)"},
        {"", "the body is not JSON (a syntax error at byte 1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 60));
        std::string reason;
        const auto document = ClientJsonReader::Read(c.text, reason);
        if (c.reason.empty()) {
            ASSERT_TRUE(document) << reason;
            EXPECT_EQ(document->dump(), nlohmann::ordered_json::parse(c.text).dump());
        } else {
            EXPECT_FALSE(document);
            EXPECT_EQ(reason, c.reason);
        }
    }
}

TEST(ClientJsonReader, KeepsMembersInTheOrderSent) {
    std::string reason;
    const auto document = ClientJsonReader::Read(
        R"({"values":{"z":1,"B":[true,null],"a":{"y":2.5,"x":"t"}}})", reason);
    ASSERT_TRUE(document) << reason;
    EXPECT_EQ(document->dump(), R"({"values":{"z":1,"B":[true,null],"a":{"y":2.5,"x":"t"}}})");
    const Value value = CoreJson::ToValue((*document)["values"]);
    ASSERT_TRUE(value.IsMembers());
    std::string names;
    for (const auto& [name, member] : value.AsMembers()) {
        names += name;
    }
    EXPECT_EQ(names, "zBa");
}

TEST(ClientText, QuotesAtMostTheLimitAndSaysTheWholeLength) {
    struct Case {
        std::string text;
        std::string quoted;
    };
    const std::string euro = "\xE2\x82\xAC"; // three bytes
    const std::vector<Case> cases = {
        {"", "''"},
        {std::string(200, 'a'), "'" + std::string(200, 'a') + "'"},
        {std::string(201, 'a'), "'" + std::string(200, 'a') + "\u2026' (201 bytes)"},
        // Cut before a character that would straddle the limit.
        {std::string(199, 'a') + euro, "'" + std::string(199, 'a') + "\u2026' (202 bytes)"},
        {"bad\xFF", "'bad\xEF\xBF\xBD'"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(QuotedClientText(c.text), c.quoted);
    }
    EXPECT_EQ(ShortClientText(std::string(300, 'b')), std::string(200, 'b') + "\u2026 (300 bytes)");
}

// A result keeps the name whole; its error quotes the name short.
TEST(ClientText, AnErrorQuotesALongNameShort) {
    ValueResult result;
    result.name = std::string(100000, 'N');
    result.fault = ValueFault::Name;
    result.faultPath = result.name;
    result.reason = "unknown variable";
    EXPECT_EQ(CoreJson::Error(result),
              std::string(200, 'N') + "\u2026 (100000 bytes): unknown variable");
    EXPECT_EQ(CoreJson::ValueWritten(result)["name"], result.name);
}

} // namespace
