#include "import/plcopen/SourceLines.h"
#include "import/ProjectModel.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace {

// The line of an offset counted byte by byte: LF, CRLF and a lone CR each end a line.
std::size_t CountedLine(const std::string& text, std::size_t offset) {
    std::size_t line = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        const bool crlf = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
        if (text[i] == '\n' || (text[i] == '\r' && !crlf)) {
            ++line;
        }
    }
    return line;
}

// Every offset is asked forwards, backwards and in jumps: the answer never depends on the
// question asked before it.
TEST(SourceLines, NumbersEveryOffsetAsCountedInAnyOrder) {
    const std::string texts[] = {
        "",
        "one line",
        "a\nb\nc\n",
        "a\r\nb\r\nc",
        "a\rb\r\r\nc\n\nd",
        "\n\n\n\n\n\n\n\n\n\n\n\nlast",
        std::string(40, '\n') + "x" + std::string(3, '\r'),
    };
    for (const std::string& text : texts) {
        const SourceLines lines(text);
        std::vector<std::size_t> order;
        for (std::size_t i = 0; i <= text.size(); ++i) {
            order.push_back(i);
        }
        for (std::size_t i = text.size() + 1; i-- > 0;) {
            order.push_back(i);
        }
        for (std::size_t i = 0; i <= text.size(); i += 7) {
            order.push_back(text.size() - i);
            order.push_back(i / 2);
        }
        for (const std::size_t offset : order) {
            EXPECT_EQ(lines.LineOf(static_cast<std::ptrdiff_t>(offset)), CountedLine(text, offset))
                << "offset " << offset << " of " << testing::PrintToString(text);
        }
        EXPECT_EQ(lines.LineOf(-1), 0u);
    }
}

// A type's rarely used parts live apart from it: a copy has its own, a move takes them along.
TEST(TypeRef, CopiesOwnTheirDetailsAndPlainTypesHaveEmptyOnes) {
    TypeRef plain;
    EXPECT_TRUE(std::as_const(plain).Details().dims.empty());
    EXPECT_TRUE(std::as_const(plain).Details().length.empty());

    TypeRef array;
    array.kind = TypeRef::Kind::Array;
    array.Details().dims.emplace_back("0", "9");
    array.Details().members.emplace_back();
    array.Details().members.back().name = "M";
    array.Details().members.back().type.Details().length = "10";

    TypeRef copy = array;
    copy.Details().dims.front().second = "19";
    copy.Details().members.back().type.Details().length = "20";
    EXPECT_EQ(array.Details().dims.front().second, "9");
    EXPECT_EQ(array.Details().members.back().type.Details().length, "10");
    EXPECT_EQ(copy.Details().members.back().name, "M");

    plain = copy;
    EXPECT_EQ(std::as_const(plain).Details().dims.front().second, "19");
    const TypeRef moved = std::move(copy);
    EXPECT_EQ(moved.Details().members.back().type.Details().length, "20");
}

} // namespace
