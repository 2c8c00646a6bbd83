#include "CSymbXMLDDTMember.h"

#include "CSymbXMLDDTDef.h"
#include "ElementaryTypes.h"
#include "MAPOFDDTDEF.h"
#include "TextFile.h"
#include "TextUtil.h"

void CSymbXMLDDTMember::SetMemberType(const std::string& typeName, MAPOFDDTDEF& catalogue) {
    m_TypeName = typeName;
    if (const auto type = FindElementaryType(m_TypeName, true)) {
        m_TypeCode = type->code;
        m_VarType = type->varType;
        return;
    }
    m_TypeCode = kTypeCodeDerived;
    m_VarType = 0;
    CSymbXMLDDTDef* type = nullptr;
    if (catalogue.FindTypeInList(m_TypeName, type) == 0 || type == nullptr) {
        return;
    }
    std::size_t count = 0;
    const ElementaryArrayType* rows = ElementaryArrayTypes(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (type->IsOfKorvoType(static_cast<tagETYPMGRTypeCode>(rows[i].elementCode), catalogue)) {
            m_TypeCode = rows[i].arrayCode;
            m_VarType = rows[i].memberVarType;
            return;
        }
    }
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
