#include "Varbank/CSymbXMLDDTStructDef.h"

#include "Varbank/CSymbXMLDDTMember.h"
#include "Varbank/CVarbank.h"
#include "Varbank/MAPOFDDTDEF.h"
#include "types/DerivedTypeListing.h"

CSymbXMLDDTStructDef::~CSymbXMLDDTStructDef() = default;

bool CSymbXMLDDTStructDef::IsStruct() const {
    return true;
}

std::string CSymbXMLDDTStructDef::MemberAddressColumn(const CSymbXMLDDTMember& member,
                                                      std::uint16_t block, std::uint32_t offset,
                                                      const std::string& addressText) const {
    return AddressColumnText(member.m_TypeName, block, offset, addressText);
}

bool CSymbXMLDDTStructDef::SelectsMember(CSymbXMLDDTMember& member, bool elementary,
                                         const ListingFlags& flags, VARTYPE varType,
                                         MAPOFDDTDEF& catalogue) {
    // Every listing refreshes the member's code and VARTYPE before selecting it.
    const std::string typeName = member.m_TypeName;
    member.SetMemberType(typeName, catalogue);
    if (flags.LeavesOnly()) {
        return elementary && PassesVarTypeFilter(varType, member.m_VarType);
    }
    if (flags.BranchesOnly()) {
        return !elementary && catalogue.HasType(member.m_TypeName);
    }
    return PassesVarTypeFilter(varType, member.m_VarType);
}

void CSymbXMLDDTStructDef::RemoveDFBMember(MAPOFDDTDEF*) {}

bool CSymbXMLDDTStructDef::SaveBinary(CTextFile& file) {
    return SaveMembers(file, "DDTStruct");
}
