#pragma once

#include "CRareText.h"
#include "PlatformApi.h"
#include "VarbankCodes.h"
#include "Variant.h"
#include "tagETYPMGRTypeCode.h"

#include <cstdint>
#include <string>

class CTextFile;
class MAPOFDDTDEF;

// The record of one top-level variable. The host creates and fills it, calls SetType and
// hands it to the dictionary, which owns it from then on.
class VARBANK_API CSymbXMLItemDef {
public:
    CSymbXMLItemDef() = default;
    virtual ~CSymbXMLItemDef() = default;
    CSymbXMLItemDef(const CSymbXMLItemDef&) = delete;
    CSymbXMLItemDef& operator=(const CSymbXMLItemDef&) = delete;

    // Sets m_TypeName, m_TypeCode and m_VarType from a type name; keywords compare with case.
    void SetType(const std::string& typeName, MAPOFDDTDEF& catalogue);
    bool IsElementaryType() const;
    // Stores the kind text of a type code ("EDT", "ARRAY DDT", ...) as a string variant.
    static void GetVarKind(std::uint32_t typeCode, VARIANT& kind);
    // The kind text itself.
    static const char* VarKindText(std::uint32_t typeCode);

    bool SaveBinary(CTextFile& file);
    bool LoadBinary(CTextFile& file);

    std::string m_Name;
    std::string m_Comment;
    std::string m_InfoText;
    CRareText m_Address; // the direct address as written; empty for most variables
    std::string m_TypeName;
    std::uint32_t m_TypeCode = kTypeCodeUnknown;
    std::uint16_t m_VarType = 0;
    std::uint16_t m_Block = 0;
    std::uint32_t m_Offset = 0;
    std::uint32_t m_Size = 0;
    std::uint16_t m_Attribute = 0;
    std::uint8_t m_Bit = BIT_NONE;
};
