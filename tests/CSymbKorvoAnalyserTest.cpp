#include "CSymbKorvoAnalyser.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

// Renders the analysed elements as "name/index/b" joined by "; ", then "[m_nLast]".
std::string Describe(const CSymbKorvoAnalyser& a) {
    std::ostringstream out;
    for (int i = 0; i <= a.m_nLast; ++i) {
        const CSymbKorvoAnalysedItem& item = a.m_aItems[i];
        out << (i > 0 ? "; " : "") << item.m_strName << "/" << item.m_strIndex
            << (item.m_bBit != 0 ? "/b" : "");
    }
    out << " [" << a.m_nLast << "]";
    return out.str();
}

struct AnalyseCase {
    std::string input;
    int result;
    std::string elements; // Describe() after the analysis
};

TEST(CSymbKorvoAnalyser, SplitsNamesIntoElements) {
    const AnalyseCase cases[] = {
        {"MOTOR1", 1, "MOTOR1/ [0]"},
        {"MOTOR1.SPEED", 1, "MOTOR1/; SPEED/ [1]"},
        {"STATUS.3", 1, "STATUS/3/b [0]"},
        {"TAB[4]", 1, "TAB/; /4 [1]"},
        {"TAB[4].X", 1, "TAB/; /4; X/ [2]"},
        {"TAB[4].5", 1, "TAB/; /4; 5/5/b [2]"},
        {"M[1][2]", 1, "M/; /1; /2 [2]"},
        {"TAB[1,2]", 1, "TAB/; /1,2 [1]"},
        {"S.T.U.7", 1, "S/; T/; U/7/b [2]"},
        {"A.3.B", 1, "A/; 3/; B/ [2]"},
        {"A..B", 1, "A/; B/ [1]"},
        {"[3]", 1, "/3 [0]"},
        {"", 1, "/ [0]"},
        {"A.", 1, "A//b [0]"},
        {"A.-1", 1, "A/-1/b [0]"},
        {"TAB[ 1]", 0, "/ [0]"},
        {"TAB[X]", 0, "/ [0]"},
        {"TAB[]", 1, "TAB/; / [1]"},
        {"TAB[3", 1, "TAB/; /3 [1]"},
        {"TAB[3]X", 1, "TAB/; /3; X/ [2]"},
        {"TAB[1.5]", 1, "TAB/; /1; 5]/ [2]"},
        {".A", 1, "A/ [0]"},
        {"MixedCase.Name", 1, "MixedCase/; Name/ [1]"},
        {"12", 1, "12/12/b [0]"},
        {"A B.C", 1, "A B/; C/ [1]"},
        {"T[1]]", 1, "T/; /1; ]/ [2]"},
        {"X[2].Y[3].7", 1, "X/; /2; Y/; /3; 7/7/b [4]"},
    };
    for (const AnalyseCase& c : cases) {
        CSymbKorvoAnalyser a;
        std::string text = c.input;
        EXPECT_EQ(a.Analyse(text, 0), c.result) << c.input;
        EXPECT_EQ(Describe(a), c.elements) << c.input;
        EXPECT_EQ(a.m_bValid, c.result == 1 && !c.input.empty() ? 1 : 0) << c.input;
    }
}

std::string Dotted(int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) {
        text += (i > 1 ? "." : "") + std::string("A") + std::to_string(i);
    }
    return text;
}

TEST(CSymbKorvoAnalyser, SixteenElementsIsTheLimit) {
    CSymbKorvoAnalyser sixteen;
    std::string text = Dotted(16);
    EXPECT_EQ(sixteen.Analyse(text, 0), 1);
    EXPECT_EQ(sixteen.m_nLast, 15);
    EXPECT_EQ(sixteen.m_aItems[15].m_strName, "A16");

    CSymbKorvoAnalyser seventeen;
    text = Dotted(17);
    EXPECT_EQ(seventeen.Analyse(text, 0), 0);
    EXPECT_EQ(seventeen.m_nLast, 0);
    EXPECT_EQ(seventeen.m_bValid, 0);

    // The closing call after a final index comes before the depth test.
    CSymbKorvoAnalyser lastIndex;
    text = Dotted(15) + "[3]";
    EXPECT_EQ(lastIndex.Analyse(text, 0), 1);
    EXPECT_EQ(lastIndex.m_nLast, 15);
    EXPECT_EQ(lastIndex.m_aItems[15].m_strIndex, "3");
}

TEST(CSymbKorvoAnalyser, GetItemTextGivesANameByNumber) {
    CSymbKorvoAnalyser a;
    std::string text = "MOTOR1.SPEED";
    ASSERT_EQ(a.Analyse(text, 0), 1);
    std::string out = "x";
    EXPECT_EQ(a.GetItemText(1, out), 1);
    EXPECT_EQ(out, "SPEED");
    EXPECT_EQ(a.GetItemText(2, out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(a.GetItemText(-1, out), 0);
}

} // namespace
