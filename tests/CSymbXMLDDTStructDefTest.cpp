#include "CSymbXMLDDTStructDef.h"
#include "CAppParameters.h"
#include "CSymbXMLDDTArrayDef.h"
#include "CSymbXMLDFBDef.h"
#include "CSymbXMLItemDef.h"
#include "CVarbank.h"
#include "CountingMember.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CSymbXMLDDTMember* Member(const std::string& name, const std::string& typeName,
                          std::uint32_t offset = 0, const std::string& comment = "") {
    auto* member = new CSymbXMLDDTMember;
    member->m_Name = name;
    member->m_TypeName = typeName;
    member->m_Offset = offset;
    member->m_Comment = comment;
    return member;
}

template <class T> T* Composite(const std::string& name, std::vector<CSymbXMLDDTMember*> members) {
    auto* type = new T;
    type->m_Name = name;
    for (CSymbXMLDDTMember* member : members) {
        EXPECT_TRUE(type->AddMember(member));
    }
    return type;
}

TEST(CSymbXMLDDTCompositeDef, AddMemberIndexesUpperCaseNames) {
    Lifetimes counts;
    {
        CSymbXMLDDTStructDef type;
        EXPECT_TRUE(type.AddMember(new CountingMember(counts, "Speed", "INT")));
        EXPECT_TRUE(type.AddMember(new CountingMember(counts, "State", "BOOL")));
        CountingMember duplicate(counts, "SPEED", "INT");
        EXPECT_FALSE(type.AddMember(&duplicate));
        EXPECT_FALSE(type.AddMember(nullptr));
        EXPECT_EQ(type.m_Members.size(), 2U);
        EXPECT_EQ(type.m_MemberIndex.at("SPEED"), 0);
        EXPECT_EQ(type.m_MemberIndex.at("STATE"), 1);
        EXPECT_EQ(type.FindMember("speed"), type.m_Members[0]);
        EXPECT_EQ(type.FindMember("nothing"), nullptr);
        type.m_MemberIndex["BROKEN"] = 7; // an index past the end is not followed
        EXPECT_EQ(type.FindMember("BROKEN"), nullptr);
        type.m_Members.push_back(nullptr); // null entries are skipped by the destructor
        EXPECT_TRUE(type.IsStruct());
        EXPECT_FALSE(type.IsDFB());
        EXPECT_FALSE(type.IsArray());
    }
    EXPECT_EQ(counts.created, 3);
    EXPECT_EQ(counts.destroyed, 3);
}

struct Listing {
    std::vector<std::string> output;
    std::vector<std::uint16_t> kinds;
};

struct ListArgs {
    std::string pattern = "*";
    VARTYPE varType = 0;
    std::int32_t branchesOnly = 0;
    std::int32_t leaves = 0;
    std::int32_t branches = 0;
    std::uint16_t block = 1;
    std::uint32_t offset = 100;
    std::int32_t columnCount = 0;
    std::string codes;
};

Listing List(CSymbXMLDDTDef& type, CVarbank& dico, const ListArgs& a) {
    Listing l;
    EXPECT_EQ(type.BuildCollectionFrom("", a.pattern, a.varType, "POS", 0, 0, a.branchesOnly,
                                       a.leaves, a.branches, a.block, a.offset, 0, a.columnCount,
                                       a.codes, l.output, nullptr, &dico, l.kinds),
              0);
    EXPECT_EQ(l.output.size(), l.kinds.size());
    return l;
}

// A dictionary whose block 1 is the word area, with a structure type MOTOR.
struct Fixture {
    Fixture() : dico("APP", "", Params()) {
        motor = Composite<CSymbXMLDDTStructDef>("MOTOR", {});
        EXPECT_TRUE(dico.m_Types.AddType(motor));
    }
    static CAppParameters* Params() {
        static CAppParameters params;
        params.m_Kind = 2;
        params.m_AreasValid = 1;
        params.m_WordArea = {1000, 0, 1, 0};
        return &params;
    }
    CVarbank dico;
    CSymbXMLDDTStructDef* motor = nullptr;
};

// Members of the listed types: an INT, a BOOL, a structure, an unknown type, a hidden INT.
std::vector<CSymbXMLDDTMember*> ListedMembers() {
    auto* hidden = Member("HIDDEN", "INT", 8);
    hidden->m_Hidden = 1;
    return {Member("SPEED", "int", 2, "motor speed"), Member("FLAG", "BOOL", 4),
            Member("STATE", "Motor", 6), Member("LOST", "NOSUCHTYPE", 7), hidden};
}

struct SelectionCase {
    const char* what;
    std::int32_t branchesOnly, leaves, branches;
    VARTYPE varType;
    std::string pattern;
    std::vector<std::string> structNames;
    std::vector<std::string> dfbNames;
};

std::vector<std::string> Names(const Listing& l) {
    std::vector<std::string> names;
    for (const std::string& entry : l.output) {
        names.push_back(entry.substr(0, entry.find('|')));
    }
    return names;
}

TEST(CompositeListing, KindSelectionOfStructuresAndFunctionBlocks) {
    using V = std::vector<std::string>;
    const std::vector<SelectionCase> cases = {
        {"leaves only", 0, 1, 0, 0, "*", V{"SPEED", "FLAG"}, V{"SPEED", "FLAG"}},
        {"leaves only, INT filter", 0, 1, 0, 2, "*", V{"SPEED"}, V{"SPEED"}},
        {"branches only", 1, 0, 0, 0, "*", V{"STATE"}, V{"STATE"}},
        {"branches only with leaves", 1, 1, 1, 2, "*", V{"STATE"}, V{"STATE"}},
        {"branches", 0, 0, 1, 0, "*", V{"STATE"}, V{"STATE"}},
        {"no flag", 0, 0, 0, 0, "*", V{"SPEED", "FLAG", "STATE", "LOST"},
         V{"SPEED", "FLAG", "STATE", "LOST"}},
        {"no flag, INT filter", 0, 0, 0, 2, "*", V{"SPEED"}, V{"SPEED", "FLAG", "STATE", "LOST"}},
        {"leaves and branches, BOOL filter", 0, 1, 1, 11, "*", V{"FLAG"},
         V{"SPEED", "FLAG", "STATE", "LOST"}},
        {"pattern", 0, 0, 0, 0, "S*", V{"SPEED", "STATE"}, V{"SPEED", "STATE"}},
        {"pattern compared with case", 0, 0, 0, 0, "s", V{}, V{}},
        {"pattern naming a hidden member", 0, 0, 0, 0, "HID", V{}, V{}},
    };
    for (const SelectionCase& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        auto* structure = Composite<CSymbXMLDDTStructDef>("S", ListedMembers());
        auto* dfb = Composite<CSymbXMLDFBDef>("F", ListedMembers());
        ASSERT_TRUE(f.dico.m_Types.AddType(structure));
        ASSERT_TRUE(f.dico.m_Types.AddType(dfb));
        dfb->DefineSubType(&f.dico.m_Types); // a function block's listing does not do it
        ListArgs args;
        args.branchesOnly = c.branchesOnly;
        args.leaves = c.leaves;
        args.branches = c.branches;
        args.varType = c.varType;
        args.pattern = c.pattern;
        const Listing s = List(*structure, f.dico, args);
        const Listing d = List(*dfb, f.dico, args);
        EXPECT_EQ(Names(s), c.structNames) << "structure";
        EXPECT_EQ(Names(d), c.dfbNames) << "function block";
        for (const Listing* l : {&s, &d}) {
            for (std::size_t i = 0; i < l->output.size(); ++i) {
                const bool elementary = l->output[i] == "SPEED" || l->output[i] == "FLAG";
                EXPECT_EQ(l->kinds[i], elementary ? 2 : 3) << l->output[i];
            }
        }
    }
}

TEST(CompositeListing, ColumnsOfStructuresAndFunctionBlocks) {
    Fixture f;
    auto* speed = Member("SPEED", "INT", 2, "motor speed");
    auto* local = Member("LOCAL", "int", 4, "internal");
    local->m_AreaKind = 2;
    auto* far = Member("FAR", "INT", 4);
    far->m_Block = 5; // block 1 + 5: outside every area
    CSymbXMLDDTStructDef structure;
    CSymbXMLDFBDef dfb;
    for (CSymbXMLDDTMember* m : {speed, local, far}) {
        CSymbXMLDDTMember* twin = Member(m->m_Name, m->m_TypeName, m->m_Offset, m->m_Comment);
        twin->m_AreaKind = m->m_AreaKind;
        twin->m_Block = m->m_Block;
        ASSERT_TRUE(structure.AddMember(m));
        ASSERT_TRUE(dfb.AddMember(twin));
    }
    structure.DefineSubType(&f.dico.m_Types);
    dfb.DefineSubType(&f.dico.m_Types);
    // The address column shows the type name as it was before the listing classified it.
    ListArgs args;
    args.columnCount = 3;
    args.codes = "ACZ";
    EXPECT_EQ(List(structure, f.dico, args).output,
              (std::vector<std::string>{"SPEED|U-INT (B:1 - O:102) %MW51|motor speed|",
                                        "LOCAL|U-int (B:1 - O:104) |internal|",
                                        "FAR|U-INT (B:6 - O:104) ||"}));
    EXPECT_EQ(List(dfb, f.dico, args).output,
              (std::vector<std::string>{"SPEED|%MW51|motor speed|",
                                        "LOCAL|U-int (B:1 - O:104) |internal|",
                                        "FAR|U-INT (B:6 - O:104) ||"}));
    args.columnCount = 9; // never more columns than codes
    args.codes = "C";
    EXPECT_EQ(List(dfb, f.dico, args).output[0], "SPEED|motor speed");
    args.columnCount = -3;
    EXPECT_EQ(List(structure, f.dico, args).output[0], "SPEED");
}

TEST(CompositeListing, StructureListingRefreshesMemberTypes) {
    Fixture f;
    auto* speed = Member("SPEED", "int", 2);
    speed->m_TypeCode = 0x1234;
    auto* other = Member("OTHER", "real", 4);
    other->m_TypeCode = 0x1234;
    auto* hidden = Member("HIDDEN", "dint", 8);
    hidden->m_Hidden = 1;
    CSymbXMLDDTStructDef structure;
    for (CSymbXMLDDTMember* m : {speed, other, hidden}) {
        ASSERT_TRUE(structure.AddMember(m));
    }
    ListArgs args;
    args.pattern = "SP";
    args.leaves = 1;
    ASSERT_EQ(List(structure, f.dico, args).output.size(), 1U);
    EXPECT_EQ(speed->m_TypeName, "INT");
    EXPECT_EQ(speed->m_TypeCode, ETYPMGR_INT);
    EXPECT_EQ(speed->m_VarType, 2);
    EXPECT_EQ(other->m_TypeName, "REAL"); // classified, but refused by the pattern
    EXPECT_EQ(other->m_TypeCode, 0x1234U);
    EXPECT_EQ(hidden->m_TypeName, "dint");

    Listing none;
    EXPECT_EQ(structure.BuildCollectionFrom("", "*", 0, "", 0, 0, 0, 0, 0, 0, 0, 0, 0, "",
                                            none.output, nullptr, nullptr, none.kinds),
              0);
    EXPECT_TRUE(none.output.empty());
}

TEST(CSymbXMLDFBDef, RemoveDFBMemberKeepsTheIndexInStep) {
    Fixture f;
    Lifetimes counts;
    auto* timer = Composite<CSymbXMLDFBDef>("TON", {});
    ASSERT_TRUE(f.dico.m_Types.AddType(timer));
    auto* dfb = Composite<CSymbXMLDFBDef>(
        "CTRL",
        {new CountingMember(counts, "T0", "TON"), new CountingMember(counts, "A", "INT"),
         new CountingMember(counts, "T2", "Ton"), new CountingMember(counts, "B", "MOTOR"),
         new CountingMember(counts, "C", "NOSUCHTYPE"), new CountingMember(counts, "T5", "TON")});
    ASSERT_TRUE(f.dico.m_Types.AddType(dfb));
    dfb->RemoveDFBMember(&f.dico.m_Types);
    std::vector<std::string> names;
    for (const CSymbXMLDDTMember* m : dfb->m_Members) {
        names.push_back(m->m_Name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"T0", "A", "B", "C"}));
    EXPECT_EQ(counts.destroyed, 2);
    EXPECT_EQ(dfb->m_MemberIndex.size(), 4U);
    for (std::size_t i = 0; i < dfb->m_Members.size(); ++i) {
        EXPECT_EQ(dfb->m_MemberIndex.at(dfb->m_Members[i]->m_Name), static_cast<std::int32_t>(i));
    }
    EXPECT_EQ(dfb->FindMember("T2"), nullptr);

    dfb->RemoveDFBMember(nullptr);
    f.motor->RemoveDFBMember(&f.dico.m_Types); // a structure keeps its members
    f.dico.CleanCMaps();
    EXPECT_EQ(counts.destroyed, counts.created);
}

TEST(CVarbankFinalyze, CompletesAFilledDictionary) {
    Fixture f;
    Lifetimes counts;
    auto* timer = Composite<CSymbXMLDFBDef>("TON", {new CountingMember(counts, "ET", "time")});
    auto* ctrl = Composite<CSymbXMLDFBDef>(
        "CTRL", {new CountingMember(counts, "IN", "bool"), new CountingMember(counts, "T", "TON"),
                 new CountingMember(counts, "TAB", "ARRAY[0..3] OF INT")});
    auto* point = Composite<CSymbXMLDDTStructDef>(
        "POINT", {new CountingMember(counts, "X", "real"),
                  new CountingMember(counts, "GRID", "ARRAY[0..1, 0..2] OF BOOL"),
                  new CountingMember(counts, "M", "MOTOR")});
    for (CSymbXMLDDTDef* t : std::vector<CSymbXMLDDTDef*>{timer, ctrl, point}) {
        ASSERT_TRUE(f.dico.m_Types.AddType(t));
    }
    f.dico.FinalyzeListOfType();

    ASSERT_EQ(ctrl->m_Members.size(), 2U);
    EXPECT_EQ(ctrl->m_MemberIndex.at("TAB"), 1);
    EXPECT_EQ(ctrl->m_Members[0]->m_TypeCode, ETYPMGR_BOOL);
    EXPECT_EQ(ctrl->m_Members[1]->m_TypeCode, 0x0A591088U);
    EXPECT_EQ(timer->m_Members[0]->m_TypeCode, ETYPMGR_TIME);
    EXPECT_EQ(point->m_Members[0]->m_TypeCode, ETYPMGR_REAL);
    EXPECT_EQ(point->m_Members[0]->m_VarType, 4);
    EXPECT_EQ(point->m_Members[1]->m_TypeCode, 0x02291088U); // through the temporary arrays
    EXPECT_EQ(point->m_Members[2]->m_TypeCode, 0x208U);
    EXPECT_EQ(f.dico.m_TempArrayCounter, 2);
    // 4 named types, ARRAY[0..3] OF INT, two pieces and the copy of the two-dimensional text.
    EXPECT_EQ(f.dico.m_Types.m_TypesByName.size(), 8U);
    EXPECT_EQ(counts.destroyed, 1);
    f.dico.CleanCMaps();
    EXPECT_EQ(counts.destroyed, counts.created);
}

} // namespace
