#pragma once

#include "CSymbXMLDDTDef.h"
#include "PlatformApi.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class CSymbXMLDDTMember;
struct ListingFlags;

// What structures and function blocks share: their members in declaration order, owned by the
// type, and the index from upper-case member name to position.
class VARBANK_API CSymbXMLDDTCompositeDef : public CSymbXMLDDTDef {
public:
    CSymbXMLDDTCompositeDef() = default;
    ~CSymbXMLDDTCompositeDef() override;
    CSymbXMLDDTCompositeDef(const CSymbXMLDDTCompositeDef&) = delete;
    CSymbXMLDDTCompositeDef& operator=(const CSymbXMLDDTCompositeDef&) = delete;

    bool IsArray() const override;
    // Lists the members; the address column and the kind selection are each class's own.
    std::int32_t BuildCollectionFrom(const std::string& filter, const std::string& pattern,
                                     VARTYPE varType, const std::string& position,
                                     std::uint32_t reservedA, std::uint32_t reservedB,
                                     std::int32_t branchesOnly, std::int32_t leaves,
                                     std::int32_t branches, std::uint16_t block,
                                     std::uint32_t offset, std::uint32_t size,
                                     std::int32_t columnCount, const std::string& columnCodes,
                                     std::vector<std::string>& output,
                                     std::vector<std::string>* secondList, CVarbank* dico,
                                     std::vector<std::uint16_t>& kinds) override;
    // Starts at the member that the continuation entry names, found through the member index.
    void BuildCollectionPage(const BrowseRequest& request, const BrowsePosition& position,
                             const ListingPage& page, CVarbank& dico,
                             std::vector<std::string>& output,
                             std::vector<std::uint16_t>& kinds) override;

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
    // Writes the block header ("<keyword> ", then "<keyword> <name> ", the identifier and the
    // member count) and every member block while they report true.
    bool SaveMembers(CTextFile& file, const char* keyword);

    // The listing loop that structures and function blocks share: yields once per member,
    // skips hidden members and those refused by the name pattern, and appends the entry and
    // kind word of every member that SelectsMember accepts.
    std::int32_t ListMembers(const std::string& pattern, VARTYPE varType, const ListingFlags& flags,
                             std::uint16_t block, std::uint32_t offset, std::int32_t columnCount,
                             const std::string& columnCodes, std::vector<std::string>& output,
                             CVarbank& dico, std::vector<std::uint16_t>& kinds);
    // What the listing of each member needs.
    struct MemberListing;
    // Lists at most `limit` members from index `first` on.
    void ListMembersFrom(const MemberListing& listing, std::size_t first, std::size_t limit,
                         std::vector<std::string>& output, std::vector<std::uint16_t>& kinds);
    // Appends the entry and kind word of member `index` when the listing keeps it.
    bool ListMember(const MemberListing& listing, std::size_t index,
                    std::vector<std::string>& output, std::vector<std::uint16_t>& kinds);
    // The index of the first member whose entry is the continuation text (the member count when
    // none): the name is the text before one of its "|" or the whole text.
    std::size_t ContinuationMember(const MemberListing& listing, const std::string& continuation);
    // The address column of a member at its position (block and offset already added): the
    // unit text of the member's type followed by the address text.
    virtual std::string MemberAddressColumn(const CSymbXMLDDTMember& member, std::uint16_t block,
                                            std::uint32_t offset,
                                            const std::string& addressText) const;
    // The kind selection of the class, for a member that passed the name pattern.
    virtual bool SelectsMember(CSymbXMLDDTMember& member, bool elementary,
                               const ListingFlags& flags, VARTYPE varType,
                               MAPOFDDTDEF& catalogue) = 0;
};
