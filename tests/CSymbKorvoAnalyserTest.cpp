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

// "A1", "A2", ... "An" joined by the separator.
std::string Dotted(int count, const std::string& separator) {
    std::string text;
    for (int i = 1; i <= count; ++i) {
        text += (i > 1 ? separator : "") + "A" + std::to_string(i);
    }
    return text;
}

struct AnalyseCase {
    std::string input;
    int result;
    std::string elements; // Describe() after the analysis
};

void PrintTo(const AnalyseCase& c, std::ostream* os) {
    *os << '"' << c.input << '"';
}

class AnalyseTable : public ::testing::TestWithParam<AnalyseCase> {};

TEST_P(AnalyseTable, SplitsNameIntoElements) {
    const AnalyseCase& c = GetParam();
    CSymbKorvoAnalyser a;
    std::string text = c.input;
    EXPECT_EQ(a.Analyse(text, 0), c.result) << c.input;
    EXPECT_EQ(Describe(a), c.elements) << c.input;
    EXPECT_EQ(a.m_bValid, c.result == 1 && !c.input.empty() ? 1 : 0) << c.input;
}

INSTANTIATE_TEST_SUITE_P(
    WorkedAndEdgeCases, AnalyseTable,
    ::testing::Values(
        AnalyseCase{"MOTOR1", 1, "MOTOR1/ [0]"},
        AnalyseCase{"MOTOR1.SPEED", 1, "MOTOR1/; SPEED/ [1]"},
        AnalyseCase{"STATUS.3", 1, "STATUS/3/b [0]"}, AnalyseCase{"TAB[4]", 1, "TAB/; /4 [1]"},
        AnalyseCase{"TAB[4].X", 1, "TAB/; /4; X/ [2]"},
        AnalyseCase{"TAB[4].5", 1, "TAB/; /4; 5/5/b [2]"},
        AnalyseCase{"M[1][2]", 1, "M/; /1; /2 [2]"}, AnalyseCase{"TAB[1,2]", 1, "TAB/; /1,2 [1]"},
        AnalyseCase{"S.T.U.7", 1, "S/; T/; U/7/b [2]"}, AnalyseCase{"A.3.B", 1, "A/; 3/; B/ [2]"},
        AnalyseCase{"A..B", 1, "A/; B/ [1]"}, AnalyseCase{"[3]", 1, "/3 [0]"},
        AnalyseCase{"", 1, "/ [0]"}, AnalyseCase{"A.", 1, "A//b [0]"},
        AnalyseCase{"A.-1", 1, "A/-1/b [0]"}, AnalyseCase{"TAB[ 1]", 0, "/ [0]"},
        AnalyseCase{"TAB[X]", 0, "/ [0]"}, AnalyseCase{"TAB[]", 1, "TAB/; / [1]"},
        AnalyseCase{"TAB[3", 1, "TAB/; /3 [1]"}, AnalyseCase{"TAB[3]X", 1, "TAB/; /3; X/ [2]"},
        AnalyseCase{"TAB[1.5]", 1, "TAB/; /1; 5]/ [2]"}, AnalyseCase{".A", 1, "A/ [0]"},
        AnalyseCase{"MixedCase.Name", 1, "MixedCase/; Name/ [1]"},
        AnalyseCase{"12", 1, "12/12/b [0]"}, AnalyseCase{"A B.C", 1, "A B/; C/ [1]"},
        AnalyseCase{"T[1]]", 1, "T/; /1; ]/ [2]"},
        AnalyseCase{"X[2].Y[3].7", 1, "X/; /2; Y/; /3; 7/7/b [4]"},
        // Sixteen elements is the limit; the closing call after a final index comes before the
        // depth test.
        AnalyseCase{Dotted(16, "."), 1, Dotted(16, "/; ") + "/ [15]"},
        AnalyseCase{Dotted(17, "."), 0, "A1/ [0]"}, // the elements stay as they were
        AnalyseCase{Dotted(15, ".") + "[3]", 1, Dotted(15, "/; ") + "/; /3 [15]"}));

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
