#include "CSymbKorvoAnalyser.h"
#include "FixtureDictionary.h"
#include "VarbankClient.h"

#include <gtest/gtest.h>

namespace {

// Texts far beyond every limit, control and invalid bytes, huge numbers: as an item name, a
// browse path, pattern and filter they give a result code, never a crash, and change nothing.
TEST(HostileText, RefusedOrListedWithoutChangingTheDictionary) {
    FixtureDictionary fixture;
    const std::size_t items = fixture->m_Items.size();
    const std::size_t types = fixture->m_Types.m_TypesByName.size();
    std::vector<std::string> texts;
    texts.insert(texts.end(),
                 {std::string(1 << 20, 'A'), std::string(100000, '['), std::string(100000, '.'),
                  std::string(5000, 'A') + std::string(5000, ']'), "M1." + std::string(5000, 'A'),
                  std::string(100, '[') + "1", "W" + std::string(70000, '9'),
                  std::string("X\0B.C", 5),
                  "A[1][2][3][4][5][6][7][8][9][10][11][12][13][14][15][16]"});
    texts.insert(texts.end(), {"\xff\xfe[1]\x01.\x7f", "W\x01\x02\x7f", "W\tX", "M1.\x01",
                               "W.1.2.3", "W[1]", "[1]", ".", ".."});
    texts.insert(texts.end(),
                 {" ", "", "%MW10", "W.9999999999", "W.-2147483648", "M1.TAB[2147483647]",
                  "M1.TAB[-2147483648]", "GRID[99999999999999]"});
    for (const std::string& text : texts) {
        SCOPED_TRACE(text.substr(0, 40));
        CSymbKorvoAnalyser analyser;
        std::string copy = text;
        const std::int32_t analysed = analyser.Analyse(copy, 0);
        EXPECT_TRUE(analysed == 0 || analysed == 1);
        EXPECT_GE(analyser.m_nLast, 0);
        EXPECT_LT(analyser.m_nLast, CSymbKorvoAnalyser::kMaxItems);
        EXPECT_FALSE(varbank::Resolution(*fixture, text).Resolved());
        std::vector<std::string> output;
        const HRESULT hr = fixture->BrowseNames(text.c_str(), text.c_str(), 0, text.c_str(), 0, 0,
                                                0, 1, 1, 2, "AC", &output, nullptr);
        EXPECT_TRUE(hr == S_OK || hr == E_INVALIDARG);
        const varbank::BrowsePage page(*fixture, {text, text, 0, text, 0, 1, 1, u"P", 3});
        EXPECT_TRUE(page.Status() == S_OK || page.Status() == E_INVALIDARG);
    }
    EXPECT_EQ(fixture->m_Items.size(), items);
    EXPECT_EQ(fixture->m_Types.m_TypesByName.size(), types);
}

} // namespace
