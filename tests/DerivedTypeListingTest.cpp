#include "CSymbXMLDDTArrayDef.h"
#include "DictionaryGenerator.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// A member with the comment "c" and its name.
CSymbXMLDDTMember* Member(const char* name, const char* type, std::uint32_t offset,
                          std::uint16_t area = 1) {
    return generated::Member(name, type, offset, 0, area, ("c" + std::string(name)).c_str());
}

struct Args {
    std::int32_t branchesOnly = 0, leaves = 0, branches = 0;
    VARTYPE varType = 0;
    std::string pattern = "*";
    std::string codes;
    std::int32_t columnCount = 0;
    std::uint32_t size = 0;
};

Args Flags(std::int32_t branchesOnly, std::int32_t leaves, std::int32_t branches,
           VARTYPE varType = 0, const std::string& pattern = "*", const std::string& codes = "",
           std::int32_t columnCount = 0, std::uint32_t size = 0) {
    return Args{branchesOnly, leaves, branches, varType, pattern, codes, columnCount, size};
}

// Lists at position TAB, block 1, offset 100; returns the entries, checking one kind word each
// (2 for the entries named in elementary, 3 for the others).
Strings List(CSymbXMLDDTDef& type, CVarbank& dico, const Args& a, const Strings& elementary) {
    Strings out;
    std::vector<std::uint16_t> kinds;
    EXPECT_EQ(type.BuildCollectionFrom("", a.pattern, a.varType, "TAB", 0, 0, a.branchesOnly,
                                       a.leaves, a.branches, 1, 100, a.size, a.columnCount, a.codes,
                                       out, nullptr, &dico, kinds),
              0);
    EXPECT_EQ(kinds.size(), out.size());
    for (std::size_t i = 0; i < out.size() && i < kinds.size(); ++i) {
        const std::string name = out[i].substr(0, out[i].find('|'));
        const bool leaf = std::find(elementary.begin(), elementary.end(), name) != elementary.end();
        EXPECT_EQ(kinds[i], leaf ? 2 : 3) << name;
    }
    return out;
}

// Block 1 is the word area; MOTOR is a structure type of the catalogue.
struct Dictionary {
    Dictionary() { generated::AddType<CSymbXMLDDTStructDef>(dico, "MOTOR", {}); }
    template <class T> std::unique_ptr<T> Composite() {
        auto type = std::make_unique<T>();
        auto* hidden = Member("HIDDEN", "INT", 8);
        hidden->m_Hidden = 1;
        for (CSymbXMLDDTMember* m :
             {Member("SPEED", "int", 2), Member("FLAG", "BOOL", 4), Member("STATE", "Motor", 6),
              Member("LOST", "NOTYPE", 7), Member("LOCAL", "int", 4, 2), hidden}) {
            EXPECT_TRUE(type->AddMember(m));
        }
        type->DefineSubType(&dico.m_Types);
        return type;
    }
    CAppParameters params = generated::Parameters();
    CVarbank dico{"APP", "", &params};
};

TEST(DerivedTypeListing, KindSelectionOfStructuresAndFunctionBlocks) {
    struct Case {
        const char* what;
        Args args;
        Strings structure;
        Strings dfb;
    };
    const Strings all = {"SPEED", "FLAG", "STATE", "LOST", "LOCAL"};
    const Case cases[] = {
        {"leaves only", Flags(0, 1, 0), {"SPEED", "FLAG", "LOCAL"}, {"SPEED", "FLAG", "LOCAL"}},
        {"leaves only, BOOL", Flags(0, 1, 0, 11), {"FLAG"}, {"FLAG"}},
        {"branches only", Flags(1, 1, 1, 2), {"STATE"}, {"STATE"}},
        {"branches", Flags(0, 0, 1), {"STATE"}, {"STATE"}},
        {"no flag", Flags(0, 0, 0), all, all},
        {"no flag, INT", Flags(0, 0, 0, 2), {"SPEED", "LOCAL"}, all},
        {"leaves and branches, BOOL", Flags(0, 1, 1, 11), {"FLAG"}, all},
        {"pattern", Flags(0, 0, 0, 0, "S*"), {"SPEED", "STATE"}, {"SPEED", "STATE"}},
        {"pattern with case", Flags(0, 0, 0, 0, "s"), {}, {}},
        {"hidden", Flags(0, 0, 0, 0, "HID"), {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Dictionary d;
        const auto structure = d.Composite<CSymbXMLDDTStructDef>();
        const auto dfb = d.Composite<CSymbXMLDFBDef>();
        const Strings leaves = {"SPEED", "FLAG", "LOCAL"};
        EXPECT_EQ(List(*structure, d.dico, c.args, leaves), c.structure);
        EXPECT_EQ(List(*dfb, d.dico, c.args, leaves), c.dfb);
    }
}

TEST(DerivedTypeListing, ColumnsOfStructuresAndFunctionBlocks) {
    Dictionary d;
    const auto structure = d.Composite<CSymbXMLDDTStructDef>();
    const auto dfb = d.Composite<CSymbXMLDFBDef>();
    structure->m_Members[3]->m_Block = 5; // LOST in block 6: outside every area
    dfb->m_Members[3]->m_Block = 5;
    Args args;
    args.pattern = "L";
    args.columnCount = 3;
    args.codes = "ACZ";
    // The type name as it was before the listing classified it, then the address text.
    EXPECT_EQ(
        List(*structure, d.dico, args, {"LOCAL"}),
        (Strings{"LOST|U-NOTYPE (B:6 - O:107) |cLOST|", "LOCAL|U-int (B:1 - O:104) |cLOCAL|"}));
    EXPECT_EQ(structure->m_Members[4]->m_TypeName, "INT");
    args.pattern = "S";
    EXPECT_EQ(List(*structure, d.dico, args, {"SPEED"}),
              (Strings{"SPEED|U-INT (B:1 - O:102) %MW51|cSPEED|",
                       "STATE|U-MOTOR (B:1 - O:106) %MW53|cSTATE|"}));
    // A function block shows a non-empty address text alone.
    EXPECT_EQ(List(*dfb, d.dico, args, {"SPEED"}),
              (Strings{"SPEED|%MW51|cSPEED|", "STATE|%MW53|cSTATE|"}));
    args.pattern = "SP";
    args.columnCount = 9; // never more columns than codes
    args.codes = "C";
    EXPECT_EQ(List(*dfb, d.dico, args, {"SPEED"}), Strings{"SPEED|cSPEED"});
    args.columnCount = -1;
    EXPECT_EQ(List(*dfb, d.dico, args, {"SPEED"}), Strings{"SPEED"});
}

TEST(DerivedTypeListing, ArrayElements) {
    Dictionary d;
    CSymbXMLDDTDef* nested = nullptr;
    ASSERT_EQ(d.dico.m_Types.FindTypeInList("ARRAY[0..1, 5..6] OF INT", nested), 1);
    struct Case {
        const char* text;
        Args args;
        Strings out;
    };
    const Strings none;
    const Case cases[] = {
        {"ARRAY[-1..2] OF INT",
         Flags(0, 1, 0, 0, "*", "A", 1, 8),
         {"TAB[-1]|U-INT (B:1 - O:100) %MW50", "TAB[0]|U-INT (B:1 - O:102) %MW51",
          "TAB[1]|U-INT (B:1 - O:104) %MW52", "TAB[2]|U-INT (B:1 - O:106) %MW53"}},
        {"ARRAY[0..1] OF INT",
         Flags(0, 1, 0, 2, "TAB[1", "CAX", 3, 4),
         {"TAB[1]||U-INT (B:1 - O:102) %MW51|"}},
        {"ARRAY[0..1] OF INT", Flags(0, 1, 0, 3), none},
        {"ARRAY[0..1] OF INT", Flags(1, 0, 0), none},
        {"ARRAY[0..1] OF INT", Flags(1, 1, 0), {"TAB[0]", "TAB[1]"}},
        {"ARRAY[0..1] OF Motor",
         Flags(0, 0, 1, 0, "*", "A", 1, 8),
         {"TAB[0]|U-MOTOR (B:1 - O:100) %MW50", "TAB[1]|U-MOTOR (B:1 - O:104) %MW52"}},
        {"ARRAY[0..1] OF MOTOR", Flags(0, 1, 0), none},
        {"ARRAY[0..1] OF %TEMP_ARRAY0",
         Flags(1, 0, 0, 0, "*", "A", 1, 8),
         {"TAB[0]|U-ARRAY[5..6] OF INT (B:1 - O:100) %MW50",
          "TAB[1]|U-ARRAY[5..6] OF INT (B:1 - O:104) %MW52"}},
        {"ARRAY[0..1] OF Nothing",
         Flags(0, 1, 0, 0, "*", "A", 1, 8),
         {"TAB[0]|U-NOTHING (B:1 - O:100) %MW50", "TAB[1]|U-NOTHING (B:1 - O:104) %MW52"}},
        {"ARRAY[0..1] OF NOTHING", Flags(0, 0, 1), none},
        {"ARRAY[1..0] OF INT", Flags(0, 1, 0, 0, "*", "A", 1, 8), none},
        {"ARRAY[-2147483648..2147483647] OF INT", Flags(0, 1, 0), none},
    };
    for (const Case& c : cases) {
        CSymbXMLDDTArrayDef array(c.text);
        Strings leaves;
        for (const std::string& entry : c.out) {
            leaves.push_back(entry.substr(0, entry.find('|')));
        }
        const bool elementary = array.m_ElemVarType != 0;
        EXPECT_EQ(List(array, d.dico, c.args, elementary ? leaves : Strings{}), c.out) << c.text;
    }
}

} // namespace
