#include "CSymbXMLDDTDef.h"
#include "CSymbXMLDDTMember.h"
#include "CSymbXMLItemDef.h"
#include "CountingTypes.h"
#include "MAPOFDDTDEF.h"
#include "TextConversion.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct KeywordCase {
    const char* name;
    std::uint32_t code;
    VARTYPE varType;
    std::uint32_t size;
};

void PrintTo(const KeywordCase& c, std::ostream* os) {
    *os << c.name;
}

class KeywordTable : public ::testing::TestWithParam<KeywordCase> {};

// Each keyword gives its code and VARTYPE to SetType (with case) and to SetMemberType (without
// case), and its size to ClassifyTypeName.
TEST_P(KeywordTable, EveryClassifierAgrees) {
    const KeywordCase& c = GetParam();
    MAPOFDDTDEF catalogue;
    CSymbXMLItemDef item;
    item.SetType(c.name, catalogue);
    EXPECT_EQ(item.m_TypeCode, c.code) << c.name;
    EXPECT_EQ(item.m_VarType, c.varType) << c.name;
    EXPECT_TRUE(item.IsElementaryType()) << c.name;

    std::string lower = c.name;
    for (char& ch : lower) {
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    CSymbXMLDDTMember member;
    member.SetMemberType(lower, catalogue);
    EXPECT_EQ(member.m_TypeCode, c.code) << lower;
    EXPECT_EQ(member.m_VarType, c.varType) << lower;

    std::uint32_t size = 12345;
    std::uint32_t code = 0;
    EXPECT_TRUE(CSymbXMLDDTDef::ClassifyTypeName(lower, size, code));
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(lower, c.name); // upper-cased in place
}

INSTANTIATE_TEST_SUITE_P(
    Keywords, KeywordTable,
    ::testing::Values(
        KeywordCase{"BOOL", 0x02290148, 11, 1}, KeywordCase{"EBOOL", 0x04290148, 11, 1},
        KeywordCase{"BYTE", 0x01290148, 17, 1}, KeywordCase{"STRING", 0x00120148, 17, 16},
        KeywordCase{"STRING[80]", 0x00120148, 17, 80}, KeywordCase{"STRING[]", 0x00120148, 17, 0},
        KeywordCase{"WSTRING", 0x00220148, 18, 2}, KeywordCase{"UINT", 0x22590148, 18, 2},
        KeywordCase{"UDINT", 0x12590148, 19, 4}, KeywordCase{"DINT", 0x06590148, 3, 4},
        KeywordCase{"DWORD", 0x00690148, 19, 4}, KeywordCase{"TOD", 0x04040148, 19, 4},
        KeywordCase{"TIME", 0x00910148, 19, 4}, KeywordCase{"DATE", 0x02040148, 19, 4},
        KeywordCase{"INT", 0x0A590148, 2, 2}, KeywordCase{"REAL", 0x05510148, 4, 4},
        KeywordCase{"DT", 0x01040148, 5, 8}, KeywordCase{"WORD", 0x00A90148, 18, 2}));

TEST(TypeVocabulary, CaseRulesDifferBetweenVariablesAndMembers) {
    MAPOFDDTDEF catalogue;
    CSymbXMLItemDef item;
    item.SetType("Int", catalogue);
    EXPECT_EQ(item.m_TypeName, "Int");
    EXPECT_EQ(item.m_TypeCode, 0x208U);
    EXPECT_EQ(item.m_VarType, 0x2011);
    EXPECT_FALSE(item.IsElementaryType());

    CSymbXMLDDTMember member;
    member.SetMemberType("Int", catalogue);
    EXPECT_EQ(member.m_TypeCode, 0x0A590148U);
    EXPECT_EQ(member.m_TypeName, "Int"); // SetMemberType keeps the text as given

    // "string[" is an elementary prefix only for the member classifier.
    item.SetType("string[4]", catalogue);
    EXPECT_EQ(item.m_TypeCode, 0x208U);
    member.SetMemberType("string[4]", catalogue);
    EXPECT_EQ(member.m_TypeCode, 0x00120148U);
}

TEST(TypeVocabulary, ClassifyRefusesArraysAndUnknownNames) {
    struct Case {
        std::string name;
        std::string upper;
    };
    for (Case c : {Case{"array[0..3] of int", "ARRAY[0..3] OF INT"}, Case{"motor", "MOTOR"},
                   Case{"", ""}, Case{"INT ", "INT "}, Case{"bööl", "BööL"}}) {
        std::uint32_t size = 77;
        std::uint32_t code = 0;
        EXPECT_FALSE(CSymbXMLDDTDef::ClassifyTypeName(c.name, size, code)) << c.upper;
        EXPECT_EQ(code, 2U);
        EXPECT_EQ(size, 77U);
        EXPECT_EQ(c.name, c.upper);
    }
}

TEST(TypeVocabulary, DerivedTypesAskTheCatalogueInTableOrder) {
    struct Case {
        tagETYPMGRTypeCode element;
        std::uint32_t code;
        VARTYPE variableVt;
        VARTYPE memberVt;
    };
    const Case cases[] = {
        {ETYPMGR_EBOOL, 0x04291088, 0x200B, 0x200B}, {ETYPMGR_BOOL, 0x02291088, 0x200B, 0x200B},
        {ETYPMGR_WORD, 0x00A91088, 0x2012, 0x2012},  {ETYPMGR_UINT, 0x22591088, 0x2012, 0x2012},
        {ETYPMGR_INT, 0x0A591088, 0x2002, 0x2012},   {ETYPMGR_DINT, 0x06591088, 0x2003, 0x2013},
        {ETYPMGR_UDINT, 0x12591088, 0x2013, 0x2013}, {ETYPMGR_DWORD, 0x00691088, 0x2013, 0x2013},
        {ETYPMGR_REAL, 0x05511088, 0x2004, 0x2013},  {ETYPMGR_BYTE, 0x208, 0x2011, 0}};
    for (const Case& c : cases) {
        Lifetimes counts;
        MAPOFDDTDEF catalogue;
        ASSERT_TRUE(catalogue.AddType(new ElementaryArrayStandIn(counts, "Tab", c.element)));
        CSymbXMLItemDef item;
        item.SetType("tab", catalogue);
        EXPECT_EQ(item.m_TypeCode, c.code);
        EXPECT_EQ(item.m_VarType, c.variableVt);
        CSymbXMLDDTMember member;
        member.SetMemberType("TAB", catalogue);
        EXPECT_EQ(member.m_TypeCode, c.code);
        EXPECT_EQ(member.m_VarType, c.memberVt);
    }
    MAPOFDDTDEF empty;
    CSymbXMLDDTMember missing;
    missing.SetMemberType("NOWHERE", empty);
    EXPECT_EQ(missing.m_TypeCode, 0x208U);
    EXPECT_EQ(missing.m_VarType, 0);
}

TEST(TypeVocabulary, KindTextsAndElementaryTest) {
    struct Case {
        std::uint32_t code;
        const char* kind;
        bool elementary;
    };
    const Case cases[] = {{0x0A591088, "ARRAY DDT", false},
                          {0x208, "Unknown", false},
                          {2, "Unknown", false},
                          {0x00120148, "EDT", true},
                          {0x02290148, "EDT", true},
                          {0x02291088, "ARRAY DDT", false},
                          {0x04291088, "ARRAY DDT", false},
                          {0x888, "ANONYMOUS ARRAY", false},
                          {0x248, "STRUCT DDT", true},
                          {0x448, "IODDT", true},
                          {0x10050, "DFB", true},
                          {0x20050, "EFB", true},
                          {0, "Unknown", true}};
    for (const Case& c : cases) {
        VARIANT v;
        VariantInit(&v);
        CSymbXMLItemDef::GetVarKind(c.code, v);
        ASSERT_EQ(v.vt, VT_BSTR);
        EXPECT_EQ(Utf16ToUtf8(v.bstrVal), c.kind) << std::hex << c.code;
        VariantClear(&v);
        CSymbXMLItemDef item;
        item.m_TypeCode = c.code;
        EXPECT_EQ(item.IsElementaryType(), c.elementary) << std::hex << c.code;
    }
}

TEST(TypeVocabulary, NewRecordDefaults) {
    CSymbXMLItemDef item;
    EXPECT_EQ(item.m_TypeCode, 2U);
    EXPECT_EQ(item.m_Bit, 255);
    EXPECT_EQ(item.m_Attribute, 0);
    EXPECT_FALSE(item.IsElementaryType());
    CSymbXMLDDTMember member;
    EXPECT_EQ(member.m_AreaKind, 1);
    EXPECT_EQ(member.m_TypeCode, 2U);
}

} // namespace
