#include "CSymbXMLDDTArrayDef.h"
#include "CSymbXMLDDTMember.h"
#include "CSymbXMLItemDef.h"
#include "CountingTypes.h"
#include "MAPOFDDTDEF.h"
#include "platform/TextUtil.h"
#include "types/ElementaryTypes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Every keyword: the variable, member and name classifiers and the array's element mapping
// agree, and an array of the keyword is an elementary array (the element's high 16 bits with
// low bits 0x1088, VT_ARRAY with the element's VARTYPE) or, without such a kind, derived.
TEST(TypeClassifiers, EveryKeywordAgreesAcrossClassifiers) {
    MAPOFDDTDEF catalogue;
    for (const ElementaryType& row : ElementaryTypeTable()) {
        const std::string name(row.keyword);
        SCOPED_TRACE(name);
        CSymbXMLItemDef item;
        item.SetType(name, catalogue);
        EXPECT_TRUE(item.IsElementaryType());
        EXPECT_STREQ(CSymbXMLItemDef::VarKindText(item.m_TypeCode), "EDT");
        std::string mixed = name;
        mixed[1] = static_cast<char>(std::tolower(static_cast<unsigned char>(mixed[1])));
        CSymbXMLDDTMember member;
        member.SetMemberType(mixed, catalogue);
        EXPECT_EQ(member.m_TypeCode, item.m_TypeCode);
        EXPECT_EQ(member.m_VarType, item.m_VarType);
        std::uint32_t size = 0;
        std::uint32_t code = 0;
        EXPECT_TRUE(CSymbXMLDDTDef::ClassifyTypeName(mixed, size, code));
        EXPECT_EQ(mixed, name); // upper-cased in place
        EXPECT_EQ(code, item.m_TypeCode);

        EXPECT_EQ(CSymbXMLDDTArrayDef("ARRAY[0..3] OF " + mixed).m_ElemVarType, item.m_VarType);
        CSymbXMLItemDef array;
        array.SetType("ARRAY[0..3] OF " + name, catalogue);
        EXPECT_FALSE(array.IsElementaryType());
        const bool kind = row.arrayCode != 0;
        EXPECT_EQ(array.m_TypeCode, kind ? (item.m_TypeCode & 0xFFFF0000U) | 0x1088U : 0x208U);
        EXPECT_EQ(array.m_VarType, kind ? VT_ARRAY | item.m_VarType : 0x2011);
        EXPECT_STREQ(CSymbXMLItemDef::VarKindText(array.m_TypeCode),
                     kind ? "ARRAY DDT" : "Unknown");
        // From the element's code or the array's own, the array takes the variable's codes.
        for (const std::uint32_t given : {item.m_TypeCode, array.m_TypeCode}) {
            CSymbXMLDDTArrayDef korvo;
            korvo.SetKORVOTypeBase(given);
            EXPECT_EQ(korvo.m_TypeCode, array.m_TypeCode);
            EXPECT_EQ(korvo.m_ElemVarType, array.m_VarType);
        }
    }
}

// Variables compare keywords with case, members and the name classifier without; the
// classifier upper-cases ASCII letters only and leaves the size alone when it refuses.
TEST(TypeClassifiers, RepresentativeAndUnknownNames) {
    struct Case {
        const char* name;
        std::uint32_t variableCode;
        VARTYPE variableVt;
        std::uint32_t memberCode;
        VARTYPE memberVt;
        std::uint32_t size; // 77: refused by the classifier
    };
    MAPOFDDTDEF catalogue;
    for (const Case& c :
         {Case{"EBOOL", 0x04290148, VT_BOOL, 0x04290148, VT_BOOL, 1},
          Case{"STRING", 0x00120148, VT_UI1, 0x00120148, VT_UI1, 16},
          Case{"STRING[80]", 0x00120148, VT_UI1, 0x00120148, VT_UI1, 80},
          Case{"STRING[]", 0x00120148, VT_UI1, 0x00120148, VT_UI1, 0},
          Case{"Int", 0x208, 0x2011, 0x0A590148, VT_I2, 2},
          Case{"string[4]", 0x208, 0x2011, 0x00120148, VT_UI1, 4},
          // Members of arrays of INT, DINT and REAL differ from variables.
          Case{"ARRAY[0..9] OF INT", 0x0A591088, 0x2002, 0x0A591088, 0x2012, 77},
          Case{"array[0..3] of byte", 0x208, 0x2011, 0x208, 0, 77},
          Case{"motor", 0x208, 0x2011, 0x208, 0, 77}, Case{"", 0x208, 0x2011, 0x208, 0, 77},
          Case{"INT ", 0x208, 0x2011, 0x208, 0, 77}, Case{"bööl", 0x208, 0x2011, 0x208, 0, 77}}) {
        SCOPED_TRACE(c.name);
        CSymbXMLItemDef item;
        item.SetType(c.name, catalogue);
        CSymbXMLDDTMember member;
        member.SetMemberType(c.name, catalogue);
        EXPECT_EQ(item.m_TypeName, c.name);
        EXPECT_EQ(member.m_TypeName, c.name);
        EXPECT_EQ(item.m_TypeCode, c.variableCode);
        EXPECT_EQ(item.m_VarType, c.variableVt);
        EXPECT_EQ(member.m_TypeCode, c.memberCode);
        EXPECT_EQ(member.m_VarType, c.memberVt);
        std::string name = c.name;
        std::uint32_t size = 77;
        std::uint32_t code = 0;
        EXPECT_EQ(CSymbXMLDDTDef::ClassifyTypeName(name, size, code), c.size != 77);
        EXPECT_EQ(code, c.size != 77 ? c.memberCode : 2U);
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(name, ToUpperAscii(c.name));
    }
}

// A host type may answer to several elementary arrays: the first in the asking order wins.
TEST(TypeClassifiers, DerivedTypesAskTheArrayKindsInOrder) {
    struct AnswersThree : CountingType {
        explicit AnswersThree(Lifetimes& counts) : CountingType(counts, "TAB") {}
        bool IsOfKorvoType(tagETYPMGRTypeCode code, MAPOFDDTDEF&) override {
            return code == ETYPMGR_REAL || code == ETYPMGR_BOOL || code == ETYPMGR_EBOOL;
        }
    };
    Lifetimes counts;
    MAPOFDDTDEF catalogue;
    ASSERT_TRUE(catalogue.AddType(new AnswersThree(counts)));
    CSymbXMLItemDef item;
    item.SetType("tab", catalogue);
    EXPECT_EQ(item.m_TypeCode, 0x04291088U);
}

TEST(TypeClassifiers, KindTextsAndElementaryTest) {
    struct Case {
        std::uint32_t code;
        const char* kind;
        bool elementary;
    };
    for (const Case& c : {Case{2, "Unknown", false}, Case{0x888, "ANONYMOUS ARRAY", false},
                          Case{0x248, "STRUCT DDT", true}, Case{0x448, "IODDT", true},
                          Case{0x10050, "DFB", true}, Case{0x20050, "EFB", true}}) {
        EXPECT_STREQ(CSymbXMLItemDef::VarKindText(c.code), c.kind);
        CSymbXMLItemDef item;
        item.m_TypeCode = c.code;
        EXPECT_EQ(item.IsElementaryType(), c.elementary) << std::hex << c.code;
    }
    const CSymbXMLItemDef fresh;
    EXPECT_EQ(fresh.m_Bit, 255);
    EXPECT_FALSE(fresh.IsElementaryType());
    EXPECT_EQ(CSymbXMLDDTMember().m_AreaKind, 1);
}

} // namespace
