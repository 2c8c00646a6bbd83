#include "CSymbXMLDDTStructDef.h"

#include "CSymbXMLDDTMember.h"
#include "CVarbank.h"
#include "DerivedTypeListing.h"
#include "MAPOFDDTDEF.h"

CSymbXMLDDTStructDef::~CSymbXMLDDTStructDef() = default;

bool CSymbXMLDDTStructDef::IsStruct() const {
    return true;
}

std::int32_t CSymbXMLDDTStructDef::BuildCollectionFrom(
    const std::string&, const std::string& pattern, VARTYPE varType, const std::string&,
    std::uint32_t, std::uint32_t, std::int32_t branchesOnly, std::int32_t leaves,
    std::int32_t branches, std::uint16_t block, std::uint32_t offset, std::uint32_t,
    std::int32_t columnCount, const std::string& columnCodes, std::vector<std::string>& output,
    std::vector<std::string>*, CVarbank* dico, std::vector<std::uint16_t>& kinds) {
    // Without a dictionary there is neither address text nor catalogue: nothing is listed.
    if (dico == nullptr) {
        return 0;
    }
    return ListMembers(pattern, varType, ListingFlags{branchesOnly, leaves, branches}, block,
                       offset, columnCount, columnCodes, output, *dico, kinds);
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
