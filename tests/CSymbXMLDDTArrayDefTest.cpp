#include "CSymbXMLDDTArrayDef.h"
#include "CSymbXMLDDTMember.h"
#include "CSymbXMLDDTStructDef.h"
#include "CSymbXMLItemDef.h"
#include "CVarbank.h"
#include "VarbankClient.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>
#include <vector>

namespace {

using Bounds = CSymbXMLDDTArrayDef::Bounds;

// Bounds, element type and the array's own code (keywords without case; WSTRING and WORD share
// the code of arrays of UINT, TIME that of UDINT, STRING[n] arrays are derived).
TEST(CSymbXMLDDTArrayDef, ParsesWellFormedAndMalformedTexts) {
    struct Case {
        const char* text;
        std::vector<Bounds> dims;
        const char* element;
        std::uint32_t elementCount;
        std::uint32_t code;
    };
    const Case cases[] = {
        {"ARRAY[1..3, 0..9] OF REAL", {{1, 3}, {0, 9}}, "REAL", 3, 0x05511088},
        {"ARRAY[+1..+3,\t-2..-1] OF Bool", {{1, 3}, {-2, -1}}, "Bool", 3, 0x02291088},
        {"ARRAY[0..1] OF ARRAY[0..2] OF INT", {{0, 1}}, "ARRAY[0..2] OF INT", 2, 2},
        {"ARRAY[0..9] OF word", {{0, 9}}, "word", 10, 0x22591088},
        {"ARRAY[0..9] OF WSTRING", {{0, 9}}, "WSTRING", 10, 0x22591088},
        {"ARRAY[0..9] OF time", {{0, 9}}, "time", 10, 0x12591088},
        {"ARRAY[0..9] OF string[8]", {{0, 9}}, "string[8]", 10, 0x208},
        // Missing or misplaced bounds stop the parse; the pairs read before are kept, and
        // without any the first pair stays 0..0: one element.
        {"ARRAY[] OF INT", {}, "INT", 1, 0x0A591088},
        {"ARRAY[0..] OF INT", {}, "INT", 1, 0x0A591088},
        {"ARRAY[0.13] OF INT", {}, "INT", 1, 0x0A591088},
        {"ARRAY[0 ..5] OF INT", {}, "INT", 1, 0x0A591088},
        {"ARRAY[0..3 ,1..2] OF INT", {{0, 3}}, "INT", 4, 0x0A591088},
        {"ARRAY[0..3,,1..2] OF INT", {{0, 3}}, "INT", 4, 0x0A591088},
        // The 32-bit limits are read; a bound beyond them stops the parse instead of wrapping.
        {"ARRAY[-2147483648..2147483646] OF X", {{INT_MIN, INT_MAX - 1}}, "X", UINT_MAX, 2},
        {"ARRAY[-2147483648..2147483647] OF INT", {{INT_MIN, INT_MAX}}, "INT", 0, 0x0A591088},
        {"ARRAY[0..2147483648] OF INT", {}, "INT", 1, 0x0A591088},
        {"ARRAY[1..2, -99999999999999999999..0] OF INT", {{1, 2}}, "INT", 2, 0x0A591088},
        {"ARRAY[5..1] OF INT", {{5, 1}}, "INT", 0, 0x0A591088},
        // " OF " compares with case; without it the element type is empty.
        {"array[0..3] of int", {{0, 3}}, "", 4, 2},
        {"ARRAYX", {}, "", 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const CSymbXMLDDTArrayDef array(c.text);
        EXPECT_EQ(array.m_ElementTypeName, c.element);
        EXPECT_EQ(array.ElementCount(), c.elementCount);
        EXPECT_EQ(array.GetTypeCode(), c.code);
        EXPECT_EQ(array.IsAnEDT(), c.code != 2);
        ASSERT_EQ(array.m_DimCount, static_cast<std::int32_t>(c.dims.size()));
        for (std::size_t i = 0; i < c.dims.size(); ++i) {
            EXPECT_EQ(array.m_Dims[i].low, c.dims[i].low) << i;
            EXPECT_EQ(array.m_Dims[i].high, c.dims[i].high) << i;
        }
    }
    // Only the first ten dimensions are kept.
    const CSymbXMLDDTArrayDef eleven("ARRAY[0..1,1..2,2..3,3..4,4..5,5..6,6..7,7..8,8..9,9..10,"
                                     "10..11] OF BOOL");
    EXPECT_EQ(eleven.m_DimCount, 10);
    EXPECT_EQ(eleven.m_Dims[9].high, 10);
}

TEST(CSymbXMLDDTArrayDef, ValidateIndexUsesTheFirstDimensionOnly) {
    struct Case {
        const char* text;
        const char* index;
        std::int32_t stored; // -77: refused, index untouched
    };
    for (const Case& c :
         {Case{"ARRAY[-5..5] OF INT", "-5", 0}, Case{"ARRAY[-5..5] OF INT", "5", 10},
          Case{"ARRAY[-5..5] OF INT", "6", -77}, Case{"ARRAY[-5..5] OF INT", " 3x", 8},
          Case{"ARRAY[1..3, 0..9] OF INT", "4", -77},
          Case{"ARRAY[1..3] OF INT", "99999999999", -77}, Case{"ARRAY[5..1] OF INT", "3", -77},
          Case{"ARRAYX", "0", 0}, Case{"ARRAY OF INT", "0", 0}, Case{"ARRAY[] OF INT", "1", -77},
          Case{"ARRAY[-2147483648..2147483647] OF INT", "0", -77},
          Case{"ARRAY[-2147483648..2147483646] OF INT", "0", -77},
          Case{"ARRAY[-2147483648..2147483646] OF INT", "-2147483648", 0}}) {
        std::int32_t index = -77;
        EXPECT_EQ(CSymbXMLDDTArrayDef(c.text).ValidateIndex(c.index, index), c.stored != -77)
            << c.text << " " << c.index;
        EXPECT_EQ(index, c.stored) << c.text << " " << c.index;
    }
}

// An array text without bounds keeps the pair 0..0: one element, reached and listed as in any
// one-element array, whether it is a variable's type or a member's.
TEST(CSymbXMLDDTArrayDef, ArraysWithoutBoundsHaveOneElement) {
    CVarbank dico("APP", "", nullptr);
    auto* holder = new CSymbXMLDDTStructDef;
    holder->m_Name = "HOLDER";
    auto* member = new CSymbXMLDDTMember;
    member->m_Name = "LIST";
    member->m_TypeName = "ARRAY OF INT";
    member->m_Size = 2;
    holder->AddMember(member);
    ASSERT_TRUE(dico.m_Types.AddType(holder));
    for (const auto& [name, type] : {std::pair{"B", "ARRAY[] OF INT"}, std::pair{"H", "HOLDER"}}) {
        auto* item = new CSymbXMLItemDef;
        item->m_Name = name;
        item->SetType(type, dico.m_Types);
        item->m_Block = 3;
        item->m_Size = 2;
        ASSERT_TRUE(dico.AddItem(item));
    }
    dico.FinalyzeListOfType();
    struct Case {
        const char* name;
        bool resolved;
    };
    for (const Case& c : {Case{"B[0]", true}, Case{"B[1]", false}, Case{"B[-1]", false},
                          Case{"H.LIST[0]", true}, Case{"H.LIST[1]", false}}) {
        EXPECT_EQ(varbank::Resolution(dico, c.name).Resolved(), c.resolved) << c.name;
    }
    for (const char* path : {"B", "H.LIST"}) {
        std::vector<std::string> lines;
        ASSERT_EQ(dico.BrowseNames("", "*", 0, path, 0, 0, 0, 1, 1, 0, "", &lines, nullptr), S_OK);
        EXPECT_EQ(
            lines,
            std::vector<std::string>{std::string(path == std::string("B") ? "B" : "LIST") + "[0]"})
            << path;
    }
}

TEST(CSymbXMLDDTArrayDef, IsOfKorvoTypeEndsOnCyclesOfHostTypes) {
    CVarbank dico("APP", "", nullptr);
    EXPECT_TRUE(CSymbXMLDDTArrayDef("ARRAY[0..1] OF ARRAY[0..2] OF bool")
                    .IsOfKorvoType(ETYPMGR_BOOL, dico.m_Types));
    EXPECT_FALSE(CSymbXMLDDTArrayDef("ARRAY[0..1] OF X").IsOfKorvoType(ETYPMGR_INT, dico.m_Types));
    for (const char* name : {"LOOPA", "LOOPB"}) {
        auto* array = new CSymbXMLDDTArrayDef;
        array->m_Name = name;
        array->SetType(name[4] == 'A' ? "LOOPB" : "LOOPA");
        ASSERT_TRUE(dico.m_Types.AddType(array));
    }
    EXPECT_FALSE(dico.m_Types.m_TypesByName.at("LOOPA")->IsOfKorvoType(ETYPMGR_INT, dico.m_Types));
}

TEST(CatalogueArrays, MultiDimensionalTextSplitsInnermostFirst) {
    CVarbank dico("APP", "", nullptr);
    dico.m_TempArrayCounter = 5;
    auto& map = dico.m_Types.m_TypesByName;
    CSymbXMLDDTDef* type = nullptr;
    ASSERT_EQ(dico.m_Types.FindTypeInList("ARRAY[0..1, 2..3] OF Int", type), 1);
    auto* inner = dynamic_cast<CSymbXMLDDTArrayDef*>(map.at("%TEMP_ARRAY5"));
    auto* outer = dynamic_cast<CSymbXMLDDTArrayDef*>(map.at("%TEMP_ARRAY6"));
    auto* copy = dynamic_cast<CSymbXMLDDTArrayDef*>(map.at("ARRAY[0..1, 2..3] OF INT"));
    ASSERT_TRUE(inner && outer && copy);
    EXPECT_EQ(type, outer);
    EXPECT_EQ(inner->GetDisplayName(), "ARRAY[2..3] OF Int");
    EXPECT_EQ(inner->m_TypeCode, 0x0A591088U);
    EXPECT_EQ(outer->GetDisplayName(), "ARRAY[0..1,2..3] OF Int");
    EXPECT_EQ(outer->m_Dims[0].high, 1);
    EXPECT_EQ(outer->m_TypeCode, 2U);
    // The full text keeps a copy of the outer piece, found again without a new split.
    EXPECT_NE(copy, outer);
    EXPECT_EQ(copy->m_Name, "%TEMP_ARRAY6");
    EXPECT_EQ(copy->m_AltTypeName, outer->m_AltTypeName);
    EXPECT_EQ(copy->m_ElementTypeName, "%TEMP_ARRAY5");
    EXPECT_EQ(dico.m_Types.FindTypeInList("array[0..1, 2..3] of int", type), 1);
    EXPECT_EQ(type, copy);
    EXPECT_EQ(map.size(), 3U);
    EXPECT_EQ(dico.m_TempArrayCounter, 7);
}

TEST(CatalogueArrays, EveryObjectIsOwnedOnce) {
    CVarbank dico("APP", "", nullptr);
    auto& map = dico.m_Types.m_TypesByName;
    auto* host = new CSymbXMLDDTArrayDef("ARRAY[0..1] OF BOOL");
    host->m_Name = "%TEMP_ARRAY1"; // a host type holding a temporary name is skipped
    ASSERT_TRUE(dico.m_Types.AddType(host));
    CSymbXMLDDTDef* type = nullptr;
    ASSERT_EQ(dico.m_Types.FindTypeInList("ARRAY[0..1, 0..2, 0..3] OF REAL", type), 1);
    EXPECT_EQ(type->m_Name, "%TEMP_ARRAY3");
    EXPECT_EQ(map.at("%TEMP_ARRAY1"), host);
    ASSERT_EQ(dico.m_Types.FindTypeInList("Array[1..2] OF int", type), 1);
    EXPECT_EQ(type->m_Name, "Array[1..2] OF int");
    EXPECT_EQ(map.at("ARRAY[1..2] OF INT"), type);
    EXPECT_EQ(dico.m_Types.FindTypeInList("int", type), 0);
    EXPECT_EQ(type, nullptr);
    std::set<const CSymbXMLDDTDef*> objects;
    for (const auto& entry : map) {
        objects.insert(entry.second);
    }
    EXPECT_EQ(map.size(), 6U);
    EXPECT_EQ(objects.size(), 6U);
    dico.CleanCMaps(); // the sanitizer build checks that each object is deleted once
    EXPECT_TRUE(map.empty());
    ASSERT_EQ(dico.m_Types.FindTypeInList("ARRAY[1..2, 1..2] OF INT", type), 1);
    EXPECT_EQ(type->m_Name, "%TEMP_ARRAY1");
    MAPOFDDTDEF orphan; // no dictionary to number the pieces: refused, nothing stored
    EXPECT_EQ(orphan.FindTypeInList("ARRAY[0..1, 0..1] OF INT", type), 0);
    EXPECT_TRUE(orphan.m_TypesByName.empty());
}

} // namespace
