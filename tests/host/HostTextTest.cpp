#include "text/HostText.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace {

// ASCII is skipped in runs of eight bytes: a bad or a multi-byte sequence at every offset
// around those runs is still found where it stands.
TEST(HostText, FindsAndReplacesInvalidUtf8AtEveryOffset) {
    struct Case {
        std::string sequence; // placed after `offset` ASCII bytes
        bool valid;
    };
    const Case cases[] = {
        {"\xC3\xA9", true},         // é
        {"\xE2\x82\xAC", true},     // €
        {"\xF0\x9F\x98\x80", true}, // 😀
        {"\xFF", false},            // never in UTF-8
        {"\xC3", false},            // cut short
        {"\xED\xA0\x80", false},    // a surrogate
        {"\xC0\xAF", false},        // overlong
    };
    for (const Case& c : cases) {
        for (std::size_t offset = 0; offset < 20; ++offset) {
            for (const std::size_t tail : {0, 1, 9}) {
                const std::string text =
                    std::string(offset, 'a') + c.sequence + std::string(tail, 'b');
                const std::size_t invalid = FirstInvalidUtf8(text);
                EXPECT_EQ(invalid, c.valid ? std::string::npos : offset)
                    << testing::PrintToString(text);
                const std::string valid = ValidUtf8(text);
                EXPECT_EQ(valid == text, c.valid) << testing::PrintToString(text);
                EXPECT_EQ(FirstInvalidUtf8(valid), std::string::npos);
                EXPECT_EQ(valid.substr(0, offset), std::string(offset, 'a'));
                EXPECT_EQ(valid.substr(valid.size() - tail), std::string(tail, 'b'));
            }
        }
    }
    EXPECT_EQ(FirstInvalidUtf8(""), std::string::npos);
    EXPECT_EQ(ValidUtf8(std::string(17, 'x') + "\x80"), std::string(17, 'x') + "\xEF\xBF\xBD");
}

// Control characters are escaped; plain text comes back as it was.
TEST(HostText, TerminalTextEscapesOnlyControlCharacters) {
    EXPECT_EQ(TerminalText("variable 12"), "variable 12");
    EXPECT_EQ(TerminalText("\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9");
    EXPECT_NE(TerminalText("a\nb"), "a\nb");
    EXPECT_EQ(TerminalText("a\nb").find('\n'), std::string::npos);
    EXPECT_EQ(TerminalText("bad \xFF"), "bad \xEF\xBF\xBD");
}

} // namespace
