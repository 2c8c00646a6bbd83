#include "Varbank/CSymbXMLDDTStructDef.h"

#include "Varbank/CSymbXMLDDTMember.h"
#include "Varbank/CVarbank.h"
#include "Varbank/MAPOFDDTDEF.h"
#include "types/DerivedTypeListing.h"

CSymbXMLDDTStructDef::~CSymbXMLDDTStructDef() = default;

bool CSymbXMLDDTStructDef::IsStruct() const {
    return true;
}

bool CSymbXMLDDTStructDef::SelectsMember(CSymbXMLDDTMember& member, bool elementary,
                                         const ListingFlags& flags, VARTYPE varType,
                                         MAPOFDDTDEF& catalogue) {
    // Every listing refreshes the member's code and VARTYPE before selecting it.
    const std::string typeName = member.m_TypeName;
    member.SetMemberType(typeName, catalogue);
    return SelectsMemberByKind(member, elementary, flags, varType, catalogue)
        .value_or(PassesVarTypeFilter(varType, member.m_VarType));
}

void CSymbXMLDDTStructDef::RemoveDFBMember(MAPOFDDTDEF*) {}

bool CSymbXMLDDTStructDef::SaveBinary(CTextFile& file) {
    return SaveMembers(file, "DDTStruct");
}
