#include "types/ElementaryTypes.h"

#include "Varbank/CSymbXMLDDTDef.h"
#include "Varbank/MAPOFDDTDEF.h"
#include "Varbank/tagETYPMGRTypeCode.h"
#include "platform/TextUtil.h"

#include <array>

namespace {

struct Keyword {
    std::string_view name;
    ElementaryType type;
};

// STRING[ stands between STRING and WSTRING in the order of tests.
constexpr std::size_t kStringPrefixPosition = 4;
constexpr std::string_view kStringPrefix = "STRING[";

constexpr std::array<Keyword, 16> kKeywords = {{
    {"BOOL", {ETYPMGR_BOOL, VT_BOOL, 1}},
    {"EBOOL", {ETYPMGR_EBOOL, VT_BOOL, 1}},
    {"BYTE", {ETYPMGR_BYTE, VT_UI1, 1}},
    {"STRING", {ETYPMGR_STRING, VT_UI1, 16}},
    {"WSTRING", {ETYPMGR_WSTRING, VT_UI2, 2}},
    {"UINT", {ETYPMGR_UINT, VT_UI2, 2}},
    {"UDINT", {ETYPMGR_UDINT, VT_UI4, 4}},
    {"DINT", {ETYPMGR_DINT, VT_I4, 4}},
    {"DWORD", {ETYPMGR_DWORD, VT_UI4, 4}},
    {"TOD", {ETYPMGR_TOD, VT_UI4, 4}},
    {"TIME", {ETYPMGR_TIME, VT_UI4, 4}},
    {"DATE", {ETYPMGR_DATE, VT_UI4, 4}},
    {"INT", {ETYPMGR_INT, VT_I2, 2}},
    {"REAL", {ETYPMGR_REAL, VT_R4, 4}},
    {"DT", {ETYPMGR_DT, VT_R8, 8}},
    {"WORD", {ETYPMGR_WORD, VT_UI2, 2}},
}};

constexpr std::array<ElementaryArrayType, 9> kArrays = {{
    {ETYPMGR_EBOOL, 0x04291088, 0x200B, 0x200B},
    {ETYPMGR_BOOL, 0x02291088, 0x200B, 0x200B},
    {ETYPMGR_WORD, 0x00A91088, 0x2012, 0x2012},
    {ETYPMGR_UINT, 0x22591088, 0x2012, 0x2012},
    {ETYPMGR_INT, 0x0A591088, 0x2002, 0x2012},
    {ETYPMGR_DINT, 0x06591088, 0x2003, 0x2013},
    {ETYPMGR_UDINT, 0x12591088, 0x2013, 0x2013},
    {ETYPMGR_DWORD, 0x00691088, 0x2013, 0x2013},
    {ETYPMGR_REAL, 0x05511088, 0x2004, 0x2013},
}};

bool Same(std::string_view a, std::string_view b, bool ignoreCase) {
    return ignoreCase ? EqualsNoCaseAscii(a, b) : a == b;
}

} // namespace

std::optional<ElementaryType> FindElementaryType(std::string_view name, bool ignoreCase) {
    for (std::size_t i = 0; i < kKeywords.size(); ++i) {
        if (i == kStringPrefixPosition && name.size() >= kStringPrefix.size() &&
            Same(name.substr(0, kStringPrefix.size()), kStringPrefix, ignoreCase)) {
            const auto size =
                static_cast<std::uint32_t>(AtoiLike(name.substr(kStringPrefix.size())));
            return ElementaryType{ETYPMGR_STRING, VT_UI1, size};
        }
        if (Same(name, kKeywords[i].name, ignoreCase)) {
            return kKeywords[i].type;
        }
    }
    return std::nullopt;
}

const ElementaryArrayType* ElementaryArrayTypes(std::size_t& count) {
    count = kArrays.size();
    return kArrays.data();
}

TypeCodes DeclaredTypeCodes(const std::string& typeName, MAPOFDDTDEF& catalogue, bool member) {
    if (const auto type = FindElementaryType(typeName, member)) {
        return {type->code, type->varType};
    }
    const TypeCodes derived{kTypeCodeDerived, static_cast<VARTYPE>(member ? 0 : 0x2011)};
    CSymbXMLDDTDef* type = nullptr;
    if (catalogue.FindTypeInList(typeName, type) == 0 || type == nullptr) {
        return derived;
    }
    for (const ElementaryArrayType& row : kArrays) {
        if (type->IsOfKorvoType(static_cast<tagETYPMGRTypeCode>(row.elementCode), catalogue)) {
            return {row.arrayCode, member ? row.memberVarType : row.variableVarType};
        }
    }
    return derived;
}
