#include "DictionaryGenerator.h"

#include <gtest/gtest.h>

namespace {

TEST(MAPOFDDTDEF, FindsByNameAndIdentifier) {
    CVarbank dico("APP", "", nullptr);
    MAPOFDDTDEF& catalogue = dico.m_Types;
    auto* motor = generated::AddType<CSymbXMLDDTStructDef>(dico, "Motor", {}, 42);
    auto* fb = generated::AddType<CSymbXMLDFBDef>(dico, "FB_PUMP", {}, 43);
    // Refused: an identifier or a name already given, and null; the caller keeps the type.
    CSymbXMLDDTStructDef other;
    other.m_Name = "OTHER";
    other.m_Id = 42;
    EXPECT_FALSE(catalogue.AddType(&other));
    other.m_Name = "motor";
    other.m_Id = 0;
    EXPECT_FALSE(catalogue.AddType(&other));
    EXPECT_FALSE(catalogue.AddType(nullptr));

    CSymbXMLDDTDef* found = nullptr;
    EXPECT_EQ(catalogue.FindTypeInList(std::string("motor"), found), 1);
    EXPECT_EQ(found, motor);
    EXPECT_EQ(catalogue.FindTypeInList(std::uint16_t{43}, found), 1);
    EXPECT_EQ(found, fb);
    EXPECT_EQ(catalogue.FindTypeInList(std::uint16_t{44}, found), 0);
    EXPECT_EQ(found, nullptr);
    found = motor;
    EXPECT_EQ(catalogue.FindTypeInList(std::string("int"), found), 0);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(catalogue.m_TypesByName.size(), 2U); // nothing was created

    EXPECT_TRUE(catalogue.IsDFBType("fb_pump"));
    EXPECT_FALSE(catalogue.IsDFBType("MOTOR"));
    EXPECT_FALSE(catalogue.IsDFBType("NONE"));
    EXPECT_TRUE(catalogue.HasType("Motor"));
    EXPECT_FALSE(catalogue.HasType("INT"));

    // An identifier whose name has left the name map is not found.
    catalogue.m_NamesById[7] = "GONE";
    EXPECT_EQ(catalogue.FindTypeInList(std::uint16_t{7}, found), 0);
}

} // namespace
