#include "Varbank/CSymbXMLDDTDef.h"

#include "dictionary/ReadPass.h"
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

namespace {

// Classifies a type name already in upper case.
bool ClassifyUpperName(const std::string& typeName, std::uint32_t& size, std::uint32_t& code) {
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

} // namespace

bool CSymbXMLDDTDef::ClassifyTypeName(std::string& typeName, std::uint32_t& size,
                                      std::uint32_t& code) {
    if (!IsUpperAscii(typeName)) {
        // A read pass must not write: it classifies a copy and has itself run again under
        // the exclusive lock, where the stored name is upper-cased.
        if (CReadPass::Active()) {
            CReadPass::RequireExclusive();
            return ClassifyUpperName(ToUpperAscii(typeName), size, code);
        }
        MakeUpperAscii(typeName);
    }
    return ClassifyUpperName(typeName, size, code);
}
