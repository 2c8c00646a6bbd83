#include "types/ElementaryTypes.h"

#include "Varbank/CSymbXMLDDTDef.h"
#include "Varbank/MAPOFDDTDEF.h"
#include "Varbank/tagETYPMGRTypeCode.h"
#include "platform/TextUtil.h"

#include <array>

namespace {

constexpr std::string_view kStringPrefix = "STRING[";
constexpr std::size_t kArrayKindCount = 9;

// Arrays of WSTRING and WORD are declared with the code of arrays of UINT, arrays of DWORD, TOD,
// TIME and DATE with that of arrays of UDINT; BYTE, STRING and DT arrays are plain derived types.
constexpr std::uint32_t kUintArray = 0x22591088;
constexpr std::uint32_t kUdintArray = 0x12591088;

// The keyword tests are whole-text comparisons and no keyword begins with "STRING[", so a name
// matches one row at most and the order of the rows serves the array kinds alone.
constexpr std::array<ElementaryType, 16> kTypes = {{
    // keyword, code, VARTYPE, size, declared array code, array code, variable and member VARTYPE
    {"EBOOL", ETYPMGR_EBOOL, VT_BOOL, 1, 0x04291088, 0x04291088, 0x200B, 0x200B},
    {"BOOL", ETYPMGR_BOOL, VT_BOOL, 1, 0x02291088, 0x02291088, 0x200B, 0x200B},
    {"WORD", ETYPMGR_WORD, VT_UI2, 2, kUintArray, 0x00A91088, 0x2012, 0x2012},
    {"UINT", ETYPMGR_UINT, VT_UI2, 2, kUintArray, kUintArray, 0x2012, 0x2012},
    {"INT", ETYPMGR_INT, VT_I2, 2, 0x0A591088, 0x0A591088, 0x2002, 0x2012},
    {"DINT", ETYPMGR_DINT, VT_I4, 4, 0x06591088, 0x06591088, 0x2003, 0x2013},
    {"UDINT", ETYPMGR_UDINT, VT_UI4, 4, kUdintArray, kUdintArray, 0x2013, 0x2013},
    {"DWORD", ETYPMGR_DWORD, VT_UI4, 4, kUdintArray, 0x00691088, 0x2013, 0x2013},
    {"REAL", ETYPMGR_REAL, VT_R4, 4, 0x05511088, 0x05511088, 0x2004, 0x2013},
    {"BYTE", ETYPMGR_BYTE, VT_UI1, 1, kTypeCodeDerived, 0, 0, 0},
    {"STRING", ETYPMGR_STRING, VT_UI1, 16, kTypeCodeDerived, 0, 0, 0},
    {"WSTRING", ETYPMGR_WSTRING, VT_UI2, 2, kUintArray, 0, 0, 0},
    {"TOD", ETYPMGR_TOD, VT_UI4, 4, kUdintArray, 0, 0, 0},
    {"TIME", ETYPMGR_TIME, VT_UI4, 4, kUdintArray, 0, 0, 0},
    {"DATE", ETYPMGR_DATE, VT_UI4, 4, kUdintArray, 0, 0, 0},
    {"DT", ETYPMGR_DT, VT_R8, 8, kTypeCodeDerived, 0, 0, 0},
}};

constexpr std::span<const ElementaryType> kArrayKinds(kTypes.data(), kArrayKindCount);
constexpr std::size_t kStringRow = 10;
static_assert(kTypes[kStringRow].code == ETYPMGR_STRING);

bool Same(std::string_view a, std::string_view b, bool ignoreCase) {
    return ignoreCase ? EqualsNoCaseAscii(a, b) : a == b;
}

} // namespace

std::span<const ElementaryType> ElementaryTypeTable() {
    return kTypes;
}

std::optional<ElementaryType> FindElementaryType(std::string_view name, bool ignoreCase) {
    if (name.size() >= kStringPrefix.size() &&
        Same(name.substr(0, kStringPrefix.size()), kStringPrefix, ignoreCase)) {
        ElementaryType sized = kTypes[kStringRow];
        sized.size = static_cast<std::uint32_t>(AtoiLike(name.substr(kStringPrefix.size())));
        return sized;
    }
    for (const ElementaryType& type : kTypes) {
        if (Same(name, type.keyword, ignoreCase)) {
            return type;
        }
    }
    return std::nullopt;
}

const ElementaryType* FindElementaryArrayKind(std::uint32_t elementCode) {
    for (const ElementaryType& type : kArrayKinds) {
        if (type.code == elementCode) {
            return &type;
        }
    }
    return nullptr;
}

TypeCodes DeclaredTypeCodes(const std::string& typeName, MAPOFDDTDEF& catalogue, bool member) {
    if (const auto type = FindElementaryType(typeName, member)) {
        return {type->code, type->varType};
    }
    const TypeCodes derived{kTypeCodeDerived, member ? VARTYPE{0} : kVarTypeDerived};
    CSymbXMLDDTDef* type = nullptr;
    if (catalogue.FindTypeInList(typeName, type) == 0 || type == nullptr) {
        return derived;
    }
    for (const ElementaryType& row : kArrayKinds) {
        if (type->IsOfKorvoType(static_cast<tagETYPMGRTypeCode>(row.code), catalogue)) {
            return {row.arrayCode, member ? row.memberArrayVarType : row.variableArrayVarType};
        }
    }
    return derived;
}
