#pragma once

#include "CSymbXMLDDTDef.h"
#include "PlatformApi.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class CSymbXMLDDTMember;

// What structures and function blocks share: their members in declaration order, owned by the
// type, and the index from upper-case member name to position.
class VARBANK_API CSymbXMLDDTCompositeDef : public CSymbXMLDDTDef {
public:
    CSymbXMLDDTCompositeDef() = default;
    ~CSymbXMLDDTCompositeDef() override;
    CSymbXMLDDTCompositeDef(const CSymbXMLDDTCompositeDef&) = delete;
    CSymbXMLDDTCompositeDef& operator=(const CSymbXMLDDTCompositeDef&) = delete;

    bool IsArray() const override;
    bool IsOfKorvoType(tagETYPMGRTypeCode code, MAPOFDDTDEF& catalogue) override;
    // SetMemberType on every member with its own type name.
    void DefineSubType(MAPOFDDTDEF* catalogue) override;
    bool LoadBinary(CTextFile& file) override;

    // Host insertion: appends the member and indexes it under its upper-cased m_Name. On true
    // the type owns it; on false (null, or the name is already a member) it stays with the
    // caller.
    bool AddMember(CSymbXMLDDTMember* member);
    // The member of that name (upper-cased first), or null.
    CSymbXMLDDTMember* FindMember(const std::string& name) const;

    std::vector<CSymbXMLDDTMember*> m_Members;
    std::unordered_map<std::string, std::int32_t> m_MemberIndex;

protected:
    // Writes the block header (first format given) and every member block.
    bool SaveMembers(CTextFile& file, const char* headerFormat);
};
