#pragma once

#include "PlatformApi.h"
#include "VarbankCodes.h"
#include "tagETYPMGRTypeCode.h"

#include <cstdint>
#include <string>

class CTextFile;
class MAPOFDDTDEF;

// One member of a structure or function block; its parent type owns it.
class VARBANK_API CSymbXMLDDTMember {
public:
    CSymbXMLDDTMember() = default;
    virtual ~CSymbXMLDDTMember() = default;
    CSymbXMLDDTMember(const CSymbXMLDDTMember&) = delete;
    CSymbXMLDDTMember& operator=(const CSymbXMLDDTMember&) = delete;

    // Sets m_TypeName, m_TypeCode and m_VarType from a type name; keywords ignore case.
    void SetMemberType(const std::string& typeName, MAPOFDDTDEF& catalogue);

    bool SaveBinary(CTextFile& file);
    bool LoadBinary(CTextFile& file);

    std::string m_Name;
    std::string m_Comment;
    std::string m_TypeName;
    std::uint32_t m_TypeCode = kTypeCodeUnknown;
    std::uint16_t m_VarType = 0;
    std::uint16_t m_Block = 0;  // relative to the parent; added by listings only
    std::uint32_t m_Offset = 0; // byte offset from the start of the parent
    std::uint32_t m_Size = 0;
    std::uint16_t m_Attribute = 0;
    std::uint16_t m_AreaKind = AREA_KIND_ORDINARY; // VarbankAreaKind
    std::uint32_t m_Hidden = 0;                    // non-zero: left out of every listing
};
