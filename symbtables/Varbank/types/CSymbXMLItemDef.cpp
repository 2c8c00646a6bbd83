#include "Varbank/CSymbXMLItemDef.h"

#include "Varbank/CSymbXMLDDTDef.h"
#include "Varbank/MAPOFDDTDEF.h"
#include "Varbank/TextFile.h"
#include "Varbank/tagETYPMGRTypeCode.h"
#include "platform/TextUtil.h"
#include "types/ElementaryTypes.h"

#include <array>

void CSymbXMLItemDef::SetType(const std::string& typeName, MAPOFDDTDEF& catalogue) {
    m_TypeName = typeName;
    const TypeCodes codes = DeclaredTypeCodes(m_TypeName, catalogue, false);
    m_TypeCode = codes.code;
    m_VarType = codes.varType;
}

bool CSymbXMLItemDef::IsElementaryType() const {
    return m_TypeCode != kTypeCodeUnknown && m_TypeCode != kTypeCodeDerived &&
           m_TypeCode != 0x04291088 && (m_TypeCode & 0x80) == 0;
}

const char* CSymbXMLItemDef::VarKindText(std::uint32_t typeCode) {
    struct KindMask {
        std::uint32_t mask;
        const char* text;
    };
    static constexpr std::array<KindMask, 7> kMasks = {{
        {0x888, "ANONYMOUS ARRAY"},
        {0x88, "ARRAY DDT"},
        {0x248, "STRUCT DDT"},
        {0x148, "EDT"},
        {0x448, "IODDT"},
        {0x10050, "DFB"},
        {0x20050, "EFB"},
    }};
    for (const KindMask& row : kMasks) {
        if ((typeCode & row.mask) == row.mask) {
            return row.text;
        }
    }
    return "Unknown";
}

void CSymbXMLItemDef::GetVarKind(std::uint32_t typeCode, VARIANT& kind) {
    VariantSetText(kind, VarKindText(typeCode));
}

bool CSymbXMLItemDef::SaveBinary(CTextFile& file) {
    file.WriteString("XMLItem " + m_Name + "\n");
    file.WriteString(m_Comment + "\n");
    file.WriteString(m_Address.str() + "\n");
    file.WriteString(m_TypeName + "\n");
    file.WriteString(StrFormat("%X %X (%X,%X)-%X : %X %X\n", m_TypeCode,
                               static_cast<unsigned>(m_VarType), static_cast<unsigned>(m_Block),
                               m_Offset, m_Size, static_cast<unsigned>(m_Bit),
                               static_cast<unsigned>(m_Attribute)));
    return true;
}

bool CSymbXMLItemDef::LoadBinary(CTextFile&) {
    return false;
}
