#include "Varbank/CSymbXMLDDTMember.h"

#include "Varbank/CSymbXMLDDTDef.h"
#include "Varbank/MAPOFDDTDEF.h"
#include "Varbank/TextFile.h"
#include "dictionary/ReadPass.h"
#include "platform/TextUtil.h"
#include "types/ElementaryTypes.h"

void CSymbXMLDDTMember::SetMemberType(const std::string& typeName, MAPOFDDTDEF& catalogue) {
    const TypeCodes codes = DeclaredTypeCodes(typeName, catalogue, true);
    // Listings refresh every member this way: a member that already holds these values is not
    // written, so that readers sharing the dictionary leave it untouched.
    if (m_TypeName == typeName && m_TypeCode == codes.code && m_VarType == codes.varType) {
        return;
    }
    if (CReadPass::Active()) {
        CReadPass::RequireExclusive();
        return;
    }
    m_TypeName = typeName;
    m_TypeCode = codes.code;
    m_VarType = codes.varType;
}

bool CSymbXMLDDTMember::SaveBinary(CTextFile& file) {
    file.WriteString("DDT/DFB-Member " + m_Name + " \n");
    file.WriteString(" " + m_Comment + " \n");
    file.WriteString(" " + m_TypeName + " \n");
    file.WriteString(StrFormat(" %X %X (%X,%X)-%X : %X %X %X \n", static_cast<unsigned>(m_VarType),
                               m_TypeCode, static_cast<unsigned>(m_Block), m_Offset, m_Size,
                               static_cast<unsigned>(m_Attribute),
                               static_cast<unsigned>(m_AreaKind), m_Hidden));
    return true;
}

bool CSymbXMLDDTMember::LoadBinary(CTextFile&) {
    return false;
}
