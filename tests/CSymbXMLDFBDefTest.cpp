#include "CSymbXMLDFBDef.h"
#include "CSymbXMLDDTStructDef.h"
#include "CVarbank.h"
#include "CountingMember.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

template <class T>
T* AddComposite(CVarbank& dico, const std::string& name, std::vector<CSymbXMLDDTMember*> members) {
    auto* type = new T;
    type->m_Name = name;
    for (CSymbXMLDDTMember* member : members) {
        EXPECT_TRUE(type->AddMember(member));
    }
    EXPECT_TRUE(dico.m_Types.AddType(type));
    return type;
}

TEST(CSymbXMLDFBDef, RemoveDFBMemberKeepsTheIndexInStep) {
    CVarbank dico("APP", "", nullptr);
    Lifetimes counts;
    auto member = [&](const char* name, const char* type) {
        return new CountingMember(counts, name, type);
    };
    AddComposite<CSymbXMLDFBDef>(dico, "TON", {});
    AddComposite<CSymbXMLDDTStructDef>(dico, "MOTOR", {});
    auto* dfb = AddComposite<CSymbXMLDFBDef>(dico, "CTRL",
                                             {member("T0", "TON"), member("A", "INT"),
                                              member("T2", "Ton"), member("B", "MOTOR"),
                                              member("C", "NOTYPE"), member("T5", "TON")});
    dfb->RemoveDFBMember(&dico.m_Types);
    std::vector<std::string> names;
    for (std::size_t i = 0; i < dfb->m_Members.size(); ++i) {
        names.push_back(dfb->m_Members[i]->m_Name);
        EXPECT_EQ(dfb->m_MemberIndex.at(names.back()), static_cast<std::int32_t>(i));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"T0", "A", "B", "C"}));
    EXPECT_EQ(dfb->m_MemberIndex.size(), 4U);
    EXPECT_EQ(counts.destroyed, 2);
    dico.CleanCMaps();
    EXPECT_EQ(counts.destroyed, counts.created);
}

TEST(CVarbankFinalyze, CompletesAFilledDictionary) {
    CVarbank dico("APP", "", nullptr);
    Lifetimes counts;
    auto member = [&](const char* name, const char* type) {
        return new CountingMember(counts, name, type);
    };
    AddComposite<CSymbXMLDDTStructDef>(dico, "MOTOR", {});
    AddComposite<CSymbXMLDFBDef>(dico, "TON", {member("ET", "time")});
    auto* ctrl = AddComposite<CSymbXMLDFBDef>(
        dico, "CTRL",
        {member("IN", "bool"), member("T", "TON"), member("TAB", "ARRAY[0..3] OF INT")});
    auto* point = AddComposite<CSymbXMLDDTStructDef>(
        dico, "POINT",
        {member("X", "real"), member("GRID", "ARRAY[0..1, 0..2] OF BOOL"), member("M", "MOTOR")});
    dico.FinalyzeListOfType();

    ASSERT_EQ(ctrl->m_Members.size(), 2U);
    EXPECT_EQ(ctrl->m_MemberIndex.at("TAB"), 1);
    EXPECT_EQ(ctrl->m_Members[0]->m_TypeCode, ETYPMGR_BOOL);
    EXPECT_EQ(ctrl->m_Members[1]->m_TypeCode, 0x0A591088U);
    EXPECT_EQ(point->m_Members[0]->m_VarType, 4);
    EXPECT_EQ(point->m_Members[1]->m_TypeCode, 0x02291088U); // through the temporary arrays
    EXPECT_EQ(point->m_Members[2]->m_TypeCode, 0x208U);
    // 4 named types, ARRAY[0..3] OF INT, and the two pieces and the copy of the grid.
    EXPECT_EQ(dico.m_Types.m_TypesByName.size(), 8U);
    dico.CleanCMaps();
    EXPECT_EQ(counts.destroyed, counts.created);
}

} // namespace
