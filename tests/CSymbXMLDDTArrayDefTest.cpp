#include "CSymbXMLDDTArrayDef.h"
#include "CAppParameters.h"
#include "CSymbXMLDDTStructDef.h"
#include "CVarbank.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>
#include <vector>

namespace {

using Bounds = CSymbXMLDDTArrayDef::Bounds;

struct ParseCase {
    const char* text;
    std::vector<Bounds> dims;
    const char* element;
    std::uint16_t elemVarType;
    std::uint32_t typeCode;
    std::uint32_t elementCount;
};

TEST(CSymbXMLDDTArrayDef, ParsesWellFormedAndMalformedTexts) {
    const std::vector<ParseCase> cases = {
        {"ARRAY[0..9] OF INT", {{0, 9}}, "INT", 2, 0x0A591088, 10},
        {"ARRAY[1..3, 0..9] OF REAL", {{1, 3}, {0, 9}}, "REAL", 4, 0x05511088, 3},
        {"ARRAY[-5..5] OF Int", {{-5, 5}}, "Int", 2, 0x0A591088, 11},
        {"ARRAY[+1..+3] OF BOOL", {{1, 3}}, "BOOL", 11, 0x02291088, 3},
        {"ARRAY[ 1.. 3,\t2..4] OF DINT", {{1, 3}, {2, 4}}, "DINT", 3, 0x06591088, 3},
        {"ARRAY[0..1] OF ARRAY[0..2] OF INT", {{0, 1}}, "ARRAY[0..2] OF INT", 0, 2, 2},
        {"ARRAY[0..3] OF STRING[20]", {{0, 3}}, "STRING[20]", 17, 0x208, 4},
        {"ARRAY[0..9] OF MYSTRUCT", {{0, 9}}, "MYSTRUCT", 0, 2, 10},
        // Missing or misplaced bounds stop the parse; the pairs read before are kept.
        {"ARRAY[] OF INT", {}, "INT", 2, 0x0A591088, 0},
        {"ARRAY[0..] OF INT", {}, "INT", 2, 0x0A591088, 0},
        {"ARRAY[..5] OF INT", {}, "INT", 2, 0x0A591088, 0},
        {"ARRAY[0 ..5] OF INT", {}, "INT", 2, 0x0A591088, 0},
        {"ARRAY[0..3 ,1..2] OF INT", {{0, 3}}, "INT", 2, 0x0A591088, 4},
        {"ARRAY[0..3,,1..2] OF INT", {{0, 3}}, "INT", 2, 0x0A591088, 4},
        {"ARRAY[0..3", {{0, 3}}, "", 0, 2, 4},
        // 32-bit limits are read; one beyond them stops the parse instead of wrapping.
        {"ARRAY[-2147483648..2147483647] OF INT", {{INT_MIN, INT_MAX}}, "INT", 2, 0x0A591088, 0},
        {"ARRAY[-2147483648..2147483646] OF INT",
         {{INT_MIN, INT_MAX - 1}},
         "INT",
         2,
         0x0A591088,
         UINT_MAX},
        {"ARRAY[0..2147483648] OF INT", {}, "INT", 2, 0x0A591088, 0},
        {"ARRAY[-2147483649..0] OF INT", {}, "INT", 2, 0x0A591088, 0},
        {"ARRAY[1..2, 0..99999999999999999999] OF INT", {{1, 2}}, "INT", 2, 0x0A591088, 2},
        // Reversed bounds are kept, but give no element.
        {"ARRAY[5..1] OF INT", {{5, 1}}, "INT", 2, 0x0A591088, 0},
        // Only the first ten dimensions are kept.
        {"ARRAY[0..1,1..2,2..3,3..4,4..5,5..6,6..7,7..8,8..9,9..10,10..11] OF BOOL",
         {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}, {7, 8}, {8, 9}, {9, 10}},
         "BOOL",
         11,
         0x02291088,
         2},
        // No " OF " (compared with case): empty element type; no "[": no dimension.
        {"array[0..3] of int", {{0, 3}}, "", 0, 2, 4},
        {"ARRAYX", {}, "", 0, 2, 0},
        {"", {}, "", 0, 2, 0},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.text);
        const CSymbXMLDDTArrayDef array(c.text);
        EXPECT_EQ(array.m_Name, c.text);
        EXPECT_EQ(array.m_ElementTypeName, c.element);
        EXPECT_EQ(array.m_ElemVarType, c.elemVarType);
        EXPECT_EQ(array.m_TypeCode, c.typeCode);
        EXPECT_EQ(array.m_AuxVarType, 0);
        EXPECT_EQ(array.ElementCount(), c.elementCount);
        ASSERT_EQ(array.m_DimCount, static_cast<std::int32_t>(c.dims.size()));
        for (std::size_t i = 0; i < c.dims.size(); ++i) {
            EXPECT_EQ(array.m_Dims[i].low, c.dims[i].low) << "dimension " << i;
            EXPECT_EQ(array.m_Dims[i].high, c.dims[i].high) << "dimension " << i;
        }
    }
}

TEST(CSymbXMLDDTArrayDef, SetTypeTableIgnoresCase) {
    struct Case {
        const char* element;
        std::uint16_t varType;
        std::uint32_t code;
    };
    for (const Case& c : {Case{"bool", 11, 0x02291088},
                          Case{"EBOOL", 11, 0x04291088},
                          Case{"Byte", 17, 0x208},
                          Case{"STRING", 17, 0x208},
                          Case{"string[8]", 17, 0x208},
                          Case{"WSTRING", 18, 0x22591088},
                          Case{"UINT", 18, 0x22591088},
                          Case{"udint", 19, 0x12591088},
                          Case{"DINT", 3, 0x06591088},
                          Case{"DWORD", 19, 0x12591088},
                          Case{"TOD", 19, 0x12591088},
                          Case{"Time", 19, 0x12591088},
                          Case{"DATE", 19, 0x12591088},
                          Case{"INT", 2, 0x0A591088},
                          Case{"REAL", 4, 0x05511088},
                          Case{"dt", 5, 0x208},
                          Case{"WORD", 18, 0x22591088},
                          Case{"STRINGS", 0, 2},
                          Case{"WSTRING[4]", 0, 2},
                          Case{"LREAL", 0, 2},
                          Case{"", 0, 2}}) {
        SCOPED_TRACE(c.element);
        CSymbXMLDDTArrayDef array;
        array.SetType(c.element);
        EXPECT_EQ(array.m_ElementTypeName, c.element);
        EXPECT_EQ(array.m_ElemVarType, c.varType);
        EXPECT_EQ(array.GetTypeCode(), c.code);
        EXPECT_EQ(array.IsAnEDT(), c.varType != 0);
    }
}

TEST(CSymbXMLDDTArrayDef, SetKorvoTypeBaseMapsElementaryAndArrayCodes) {
    struct Case {
        std::uint32_t given;
        std::uint32_t code;
        std::uint16_t varType;
    };
    for (const Case& c :
         {Case{0x02290148, 0x02291088, 0x200B}, Case{0x04290148, 0x04291088, 0x200B},
          Case{0x00A90148, 0x00A91088, 0x2012}, Case{0x22590148, 0x22591088, 0x2012},
          Case{0x0A590148, 0x0A591088, 0x2002}, Case{0x06590148, 0x06591088, 0x2003},
          Case{0x12590148, 0x12591088, 0x2013}, Case{0x00690148, 0x00691088, 0x2013},
          Case{0x05510148, 0x05511088, 0x2004},
          // Array codes go back to their element's code first.
          Case{0x02291088, 0x02291088, 0x200B}, Case{0x05511088, 0x05511088, 0x2004},
          Case{0x12345688, 0x208, 0x2011}, Case{0x01290148, 0x208, 0x2011},
          Case{0x208, 0x208, 0x2011}, Case{0, 0x208, 0x2011}}) {
        SCOPED_TRACE(c.given);
        CSymbXMLDDTArrayDef array("ARRAY[0..1] OF INT");
        array.SetKORVOTypeBase(c.given);
        EXPECT_EQ(array.m_TypeCode, c.code);
        EXPECT_EQ(array.m_ElemVarType, c.varType);
    }
}

TEST(CSymbXMLDDTArrayDef, ValidateIndexUsesTheFirstDimensionOnly) {
    struct Case {
        const char* text;
        const char* index;
        bool valid;
        std::int32_t stored;
    };
    constexpr std::int32_t kUntouched = -77;
    for (const Case& c :
         {Case{"ARRAY[-5..5] OF INT", "-5", true, 0}, Case{"ARRAY[-5..5] OF INT", "5", true, 10},
          Case{"ARRAY[-5..5] OF INT", "6", false, kUntouched},
          Case{"ARRAY[-5..5] OF INT", "-6", false, kUntouched},
          Case{"ARRAY[-5..5] OF INT", " 3x", true, 8}, Case{"ARRAY[-5..5] OF INT", "abc", true, 5},
          Case{"ARRAY[1..3, 0..9] OF INT", "4", false, kUntouched},
          Case{"ARRAY[1..3] OF INT", "99999999999", false, kUntouched},
          Case{"ARRAY[5..1] OF INT", "3", false, kUntouched},
          Case{"ARRAYX", "0", false, kUntouched},
          Case{"ARRAY[-2147483648..2147483647] OF INT", "0", false, kUntouched},
          Case{"ARRAY[-2147483648..2147483646] OF INT", "-2147483648", true, 0},
          Case{"ARRAY[-2147483648..2147483646] OF INT", "0", false, kUntouched}}) {
        SCOPED_TRACE(std::string(c.text) + " [" + c.index + "]");
        const CSymbXMLDDTArrayDef array(c.text);
        std::int32_t index = kUntouched;
        EXPECT_EQ(array.ValidateIndex(c.index, index), c.valid);
        EXPECT_EQ(index, c.stored);
    }
}

TEST(CSymbXMLDDTArrayDef, AlternateTextDisplayNameAndCopy) {
    const CSymbXMLDDTArrayDef source("ARRAY[1..3, -2..4, 0..9] OF REAL");
    struct Case {
        std::int32_t level;
        const char* text;
    };
    for (const Case& c :
         {Case{0, "ARRAY[0..9] OF REAL"}, Case{1, "ARRAY[-2..4,0..9] OF REAL"},
          Case{2, "ARRAY[1..3,-2..4,0..9] OF REAL"}, Case{7, "ARRAY[1..3,-2..4,0..9] OF REAL"}}) {
        CSymbXMLDDTArrayDef piece("ARRAY[0..9] OF REAL");
        piece.setAlternateType(&source, c.level);
        EXPECT_EQ(piece.m_AltTypeName, c.text) << "level " << c.level;
        EXPECT_EQ(piece.GetDisplayName(), "ARRAY[0..9] OF REAL");
        piece.m_Name = "%TEMP_ARRAY3";
        EXPECT_EQ(piece.GetDisplayName(), c.text);
    }

    CSymbXMLDDTArrayDef empty;
    empty.m_AltTypeName = "kept";
    empty.setAlternateType(&empty, 1);
    empty.setAlternateType(nullptr, 0);
    EXPECT_EQ(empty.m_AltTypeName, "kept");

    CSymbXMLDDTArrayDef original("ARRAY[1..3, 0..9] OF REAL");
    original.m_Id = 12;
    original.m_AltTypeName = "alt";
    original.m_AuxVarType = 5;
    const CSymbXMLDDTArrayDef copy(original);
    EXPECT_EQ(copy.m_Name, original.m_Name);
    EXPECT_EQ(copy.m_Id, 12U);
    EXPECT_EQ(copy.m_AltTypeName, "alt");
    EXPECT_EQ(copy.m_ElementTypeName, "REAL");
    EXPECT_EQ(copy.m_DimCount, 2);
    EXPECT_EQ(copy.m_Dims[1].high, 9);
    EXPECT_EQ(copy.m_TypeCode, original.m_TypeCode);
    EXPECT_EQ(copy.m_ElemVarType, original.m_ElemVarType);
    EXPECT_EQ(copy.GetAuxVarType(), 5);
}

TEST(CSymbXMLDDTArrayDef, IsOfKorvoTypeFollowsTheElementType) {
    CVarbank dico("APP", "", nullptr);
    MAPOFDDTDEF& catalogue = dico.m_Types;
    CSymbXMLDDTArrayDef ofInt("ARRAY[0..1] OF int");
    EXPECT_TRUE(ofInt.IsOfKorvoType(ETYPMGR_INT, catalogue));
    EXPECT_FALSE(ofInt.IsOfKorvoType(ETYPMGR_DINT, catalogue));
    EXPECT_EQ(ofInt.m_ElementTypeName, "INT"); // classified in place

    CSymbXMLDDTArrayDef nested("ARRAY[0..1] OF ARRAY[0..2] OF BOOL");
    EXPECT_TRUE(nested.IsOfKorvoType(ETYPMGR_BOOL, catalogue));
    EXPECT_TRUE(catalogue.HasType("ARRAY[0..2] OF BOOL")); // built by the lookup

    CSymbXMLDDTArrayDef unknown("ARRAY[0..1] OF NOSUCHTYPE");
    EXPECT_FALSE(unknown.IsOfKorvoType(ETYPMGR_INT, catalogue));
    CSymbXMLDDTArrayDef ofStruct("ARRAY[0..1] OF POINT");
    auto* point = new CSymbXMLDDTStructDef;
    point->m_Name = "POINT";
    ASSERT_TRUE(catalogue.AddType(point));
    EXPECT_FALSE(ofStruct.IsOfKorvoType(ETYPMGR_INT, catalogue));

    // Host types naming each other as elements answer false instead of recursing forever.
    auto* a = new CSymbXMLDDTArrayDef;
    a->m_Name = "LOOPA";
    a->SetType("LOOPB");
    auto* b = new CSymbXMLDDTArrayDef;
    b->m_Name = "LOOPB";
    b->SetType("LOOPA");
    ASSERT_TRUE(catalogue.AddType(a));
    ASSERT_TRUE(catalogue.AddType(b));
    EXPECT_FALSE(a->IsOfKorvoType(ETYPMGR_INT, catalogue));
    EXPECT_FALSE(b->IsOfKorvoType(ETYPMGR_INT, catalogue));
}

// --- Listing -------------------------------------------------------------------------------

struct Listing {
    std::vector<std::string> output;
    std::vector<std::uint16_t> kinds;
};

struct ListArgs {
    std::string pattern = "*";
    VARTYPE varType = 0;
    std::string position = "TAB";
    std::int32_t branchesOnly = 0;
    std::int32_t leaves = 1;
    std::int32_t branches = 0;
    std::uint16_t block = 1;
    std::uint32_t offset = 100;
    std::uint32_t size = 8;
    std::int32_t columnCount = 1;
    std::string codes = "A";
};

Listing List(CSymbXMLDDTDef& type, CVarbank& dico, const ListArgs& a) {
    Listing l;
    EXPECT_EQ(type.BuildCollectionFrom("", a.pattern, a.varType, a.position, 0, 0, a.branchesOnly,
                                       a.leaves, a.branches, a.block, a.offset, a.size,
                                       a.columnCount, a.codes, l.output, nullptr, &dico, l.kinds),
              0);
    EXPECT_EQ(l.output.size(), l.kinds.size());
    return l;
}

TEST(CSymbXMLDDTArrayDef, ListsElementsWithAddressColumns) {
    CVarbank dico("APP", "", nullptr);
    CSymbXMLDDTArrayDef ofInt("ARRAY[0..3] OF INT");
    const Listing all = List(ofInt, dico, ListArgs{});
    EXPECT_EQ(all.output, (std::vector<std::string>{
                              "TAB[0]|U-INT (B:1 - O:100) ", "TAB[1]|U-INT (B:1 - O:102) ",
                              "TAB[2]|U-INT (B:1 - O:104) ", "TAB[3]|U-INT (B:1 - O:106) "}));
    EXPECT_EQ(all.kinds, (std::vector<std::uint16_t>{2, 2, 2, 2}));

    CAppParameters params;
    params.m_Kind = 2;
    params.m_AreasValid = 1;
    params.m_WordArea = {100, 0, 1, 0};
    CVarbank mapped("APP", "", &params);
    ListArgs codes;
    codes.columnCount = 3;
    codes.codes = "CAX";
    codes.pattern = "TAB[3";
    CSymbXMLDDTArrayDef negative("ARRAY[-1..3] OF INT");
    codes.size = 10;
    EXPECT_EQ(List(negative, mapped, codes).output,
              std::vector<std::string>{"TAB[3]||U-INT (B:1 - O:108) %MW54|"});
    codes.columnCount = 5; // more than the codes given: the codes end the columns
    codes.codes = "A";
    EXPECT_EQ(List(negative, mapped, codes).output,
              std::vector<std::string>{"TAB[3]|U-INT (B:1 - O:108) %MW54"});
    codes.columnCount = -1;
    EXPECT_EQ(List(negative, mapped, codes).output, std::vector<std::string>{"TAB[3]"});
}

TEST(CSymbXMLDDTArrayDef, ListingSelectionByElementKind) {
    CVarbank dico("APP", "", nullptr);
    auto* point = new CSymbXMLDDTStructDef;
    point->m_Name = "POINT";
    ASSERT_TRUE(dico.m_Types.AddType(point));
    CSymbXMLDDTDef* nested = nullptr;
    ASSERT_EQ(dico.m_Types.FindTypeInList("ARRAY[0..1, 5..6] OF INT", nested), 1);

    struct Case {
        const char* what;
        const char* text;
        std::int32_t branchesOnly, leaves, branches;
        VARTYPE varType;
        std::vector<std::string> output;
        std::uint16_t kind;
    };
    const std::vector<std::string> ints = {"T[0]|U-INT (B:1 - O:100) ",
                                           "T[1]|U-INT (B:1 - O:104) "};
    const std::vector<std::string> points = {"T[0]|U-POINT (B:1 - O:100) ",
                                             "T[1]|U-POINT (B:1 - O:104) "};
    const std::vector<std::string> none;
    const std::vector<Case> cases = {
        {"leaves, elementary", "ARRAY[0..1] OF INT", 0, 1, 0, 0, ints, 2},
        {"leaves, filter passes", "ARRAY[0..1] OF INT", 0, 1, 0, 2, ints, 2},
        {"leaves, filter refuses", "ARRAY[0..1] OF INT", 0, 1, 0, 3, none, 2},
        {"branches only, elementary", "ARRAY[0..1] OF INT", 1, 0, 0, 0, none, 2},
        {"branches only and leaves, elementary", "ARRAY[0..1] OF INT", 1, 1, 0, 0, ints, 2},
        {"no flag", "ARRAY[0..1] OF INT", 0, 0, 0, 0, none, 2},
        {"branches, structure", "ARRAY[0..1] OF Point", 0, 0, 1, 0, points, 3},
        {"branches only, structure", "ARRAY[0..1] OF POINT", 1, 0, 0, 0, points, 3},
        {"leaves, structure", "ARRAY[0..1] OF POINT", 0, 1, 0, 0, none, 3},
        {"leaves, unknown element",
         "ARRAY[0..1] OF Nothing",
         0,
         1,
         0,
         0,
         {"T[0]|U-NOTHING (B:1 - O:100) ", "T[1]|U-NOTHING (B:1 - O:104) "},
         3},
        {"branches, unknown element", "ARRAY[0..1] OF NOTHING", 0, 0, 1, 0, none, 3},
        {"branches, temporary array element",
         "ARRAY[0..1] OF %TEMP_ARRAY0",
         0,
         0,
         1,
         0,
         {"T[0]|U-ARRAY[5..6] OF INT (B:1 - O:100) ", "T[1]|U-ARRAY[5..6] OF INT (B:1 - O:104) "},
         3},
        {"reversed bounds", "ARRAY[1..0] OF INT", 0, 1, 0, 0, none, 2},
        {"no dimension", "ARRAY OF INT", 0, 1, 0, 0, none, 2},
        {"full 32-bit range", "ARRAY[-2147483648..2147483647] OF INT", 0, 1, 0, 0, none, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CSymbXMLDDTArrayDef array(c.text);
        ListArgs args;
        args.position = "T";
        args.branchesOnly = c.branchesOnly;
        args.leaves = c.leaves;
        args.branches = c.branches;
        args.varType = c.varType;
        const Listing l = List(array, dico, args);
        EXPECT_EQ(l.output, c.output);
        EXPECT_EQ(l.kinds, std::vector<std::uint16_t>(c.output.size(), c.kind));
    }
}

// --- Catalogue building ---------------------------------------------------------------------

TEST(CatalogueArrays, OneDimensionalTextIsStoredUnderItsUpperCaseText) {
    CVarbank dico("APP", "", nullptr);
    CSymbXMLDDTDef* type = nullptr;
    ASSERT_EQ(dico.m_Types.FindTypeInList("Array[0..3] OF int", type), 1);
    ASSERT_NE(type, nullptr);
    EXPECT_TRUE(type->IsArray());
    EXPECT_EQ(type->m_Name, "Array[0..3] OF int");
    EXPECT_EQ(dico.m_TempArrayCounter, 0);
    ASSERT_EQ(dico.m_Types.m_TypesByName.size(), 1U);
    EXPECT_EQ(dico.m_Types.m_TypesByName.at("ARRAY[0..3] OF INT"), type);

    CSymbXMLDDTDef* again = nullptr;
    EXPECT_EQ(dico.m_Types.FindTypeInList("ARRAY[0..3] OF INT", again), 1);
    EXPECT_EQ(again, type);

    CSymbXMLDDTDef* noBounds = nullptr;
    ASSERT_EQ(dico.m_Types.FindTypeInList("ARRAYX", noBounds), 1);
    EXPECT_EQ(static_cast<CSymbXMLDDTArrayDef*>(noBounds)->m_DimCount, 0);

    CSymbXMLDDTDef* notArray = type;
    EXPECT_EQ(dico.m_Types.FindTypeInList("int", notArray), 0);
    EXPECT_EQ(notArray, nullptr);
    EXPECT_EQ(dico.m_Types.m_TypesByName.size(), 2U);
}

TEST(CatalogueArrays, MultiDimensionalTextSplitsInnermostFirst) {
    CVarbank dico("APP", "", nullptr);
    dico.m_TempArrayCounter = 5;
    CSymbXMLDDTDef* type = nullptr;
    ASSERT_EQ(dico.m_Types.FindTypeInList("ARRAY[0..1, 2..3] OF Int", type), 1);
    EXPECT_EQ(dico.m_TempArrayCounter, 7);
    auto& map = dico.m_Types.m_TypesByName;
    ASSERT_EQ(map.size(), 3U);
    auto* inner = dynamic_cast<CSymbXMLDDTArrayDef*>(map.at("%TEMP_ARRAY5"));
    auto* outer = dynamic_cast<CSymbXMLDDTArrayDef*>(map.at("%TEMP_ARRAY6"));
    auto* copy = dynamic_cast<CSymbXMLDDTArrayDef*>(map.at("ARRAY[0..1, 2..3] OF INT"));
    ASSERT_TRUE(inner && outer && copy);
    EXPECT_EQ(type, outer);
    EXPECT_NE(copy, outer);

    EXPECT_EQ(inner->m_Name, "%TEMP_ARRAY5");
    EXPECT_EQ(inner->m_AltTypeName, "ARRAY[2..3] OF Int");
    EXPECT_EQ(inner->m_ElementTypeName, "Int");
    EXPECT_EQ(inner->m_TypeCode, 0x0A591088U);
    EXPECT_EQ(inner->m_Dims[0].low, 2);

    EXPECT_EQ(outer->m_AltTypeName, "ARRAY[0..1,2..3] OF Int");
    EXPECT_EQ(outer->GetDisplayName(), "ARRAY[0..1,2..3] OF Int");
    EXPECT_EQ(outer->m_ElementTypeName, "%TEMP_ARRAY5");
    EXPECT_EQ(outer->m_TypeCode, 2U);
    EXPECT_EQ(outer->m_ElemVarType, 0);
    EXPECT_EQ(outer->m_DimCount, 1);
    EXPECT_EQ(outer->m_Dims[0].high, 1);

    EXPECT_EQ(copy->m_Name, outer->m_Name);
    EXPECT_EQ(copy->m_AltTypeName, outer->m_AltTypeName);
    EXPECT_EQ(copy->m_ElementTypeName, outer->m_ElementTypeName);
    EXPECT_EQ(copy->m_TypeCode, 2U);

    // The copy answers a second lookup; nothing new is built.
    CSymbXMLDDTDef* again = nullptr;
    EXPECT_EQ(dico.m_Types.FindTypeInList("array[0..1, 2..3] of int", again), 1);
    EXPECT_EQ(again, copy);
    EXPECT_EQ(map.size(), 3U);
    EXPECT_EQ(dico.m_TempArrayCounter, 7);
}

TEST(CatalogueArrays, NamesAreNumberedOnceAndEveryObjectIsOwnedOnce) {
    CVarbank dico("APP", "", nullptr);
    // A host type already holding a temporary name is skipped, not replaced.
    auto* host = new CSymbXMLDDTArrayDef("ARRAY[0..1] OF BOOL");
    host->m_Name = "%TEMP_ARRAY1";
    ASSERT_TRUE(dico.m_Types.AddType(host));

    CSymbXMLDDTDef* type = nullptr;
    ASSERT_EQ(dico.m_Types.FindTypeInList("ARRAY[0..1, 0..2, 0..3] OF REAL", type), 1);
    EXPECT_EQ(dico.m_TempArrayCounter, 4);
    EXPECT_EQ(type->m_Name, "%TEMP_ARRAY3");
    EXPECT_EQ(dico.m_Types.m_TypesByName.at("%TEMP_ARRAY1"), host);
    EXPECT_EQ(dynamic_cast<CSymbXMLDDTArrayDef*>(type)->m_ElementTypeName, "%TEMP_ARRAY2");
    ASSERT_EQ(dico.m_Types.FindTypeInList("ARRAY[1..2, 1..2] OF INT", type), 1);
    ASSERT_EQ(dico.m_Types.FindTypeInList("ARRAY[1..2] OF INT", type), 1);
    EXPECT_EQ(dico.m_TempArrayCounter, 6);

    // 1 host type, 3 + 1 pieces and copy, 2 + 1, 1: each a distinct object.
    std::set<const CSymbXMLDDTDef*> objects;
    for (const auto& entry : dico.m_Types.m_TypesByName) {
        objects.insert(entry.second);
    }
    EXPECT_EQ(dico.m_Types.m_TypesByName.size(), 9U);
    EXPECT_EQ(objects.size(), 9U);

    dico.CleanCMaps(); // the sanitizer build checks that each is deleted once
    EXPECT_TRUE(dico.m_Types.m_TypesByName.empty());
    EXPECT_EQ(dico.m_TempArrayCounter, 0);
    ASSERT_EQ(dico.m_Types.FindTypeInList("ARRAY[1..2, 1..2] OF INT", type), 1);
    EXPECT_EQ(type->m_Name, "%TEMP_ARRAY1");
}

TEST(CatalogueArrays, CatalogueWithoutDictionaryRefusesMultiDimensionalTexts) {
    MAPOFDDTDEF catalogue;
    CSymbXMLDDTDef* type = nullptr;
    EXPECT_EQ(catalogue.FindTypeInList("ARRAY[0..1, 0..1] OF INT", type), 0);
    EXPECT_EQ(type, nullptr);
    EXPECT_TRUE(catalogue.m_TypesByName.empty());
    EXPECT_EQ(catalogue.FindTypeInList("ARRAY[0..1] OF INT", type), 1);
}

} // namespace
