#include "Varbank/CSymbXMLDDTDef.h"

#include "platform/TextUtil.h"
#include "types/ElementaryTypes.h"

CSymbXMLDDTDef::~CSymbXMLDDTDef() = default;

bool CSymbXMLDDTDef::IsDFB() const {
    return false;
}

bool CSymbXMLDDTDef::IsStruct() const {
    return false;
}

void CSymbXMLDDTDef::DefineSubType(MAPOFDDTDEF*) {}

std::string CSymbXMLDDTDef::GetDisplayName() const {
    return m_Name;
}

std::uint32_t CSymbXMLDDTDef::GetTypeCode() const {
    return kTypeCodeDerived;
}

std::uint16_t CSymbXMLDDTDef::GetAuxVarType() const {
    return 0;
}

void CSymbXMLDDTDef::SetKORVOTypeBase(std::uint32_t) {}

bool CSymbXMLDDTDef::ClassifyTypeName(std::string& typeName, std::uint32_t& size,
                                      std::uint32_t& code) {
    MakeUpperAscii(typeName);
    if (typeName.compare(0, 6, "ARRAY[") == 0) {
        code = kTypeCodeUnknown;
        return false;
    }
    const auto type = FindElementaryType(typeName, false);
    if (!type) {
        code = kTypeCodeUnknown;
        return false;
    }
    code = type->code;
    size = type->size;
    return true;
}
