#include "Varbank/CSymbXMLDDTCompositeDef.h"

#include "Varbank/CSymbXMLDDTMember.h"
#include "Varbank/CVarbank.h"
#include "Varbank/MAPOFDDTDEF.h"
#include "Varbank/MatchNamePattern.h"
#include "Varbank/TextFile.h"
#include "Varbank/VarbankCodes.h"
#include "browse/BrowsePosition.h"
#include "browse/BrowseRequest.h"
#include "platform/TextUtil.h"
#include "types/DerivedTypeListing.h"
#include "types/ListingPage.h"

CSymbXMLDDTCompositeDef::~CSymbXMLDDTCompositeDef() {
    for (CSymbXMLDDTMember* member : m_Members) {
        delete member;
    }
    m_Members.clear();
    m_MemberIndex.clear();
}

bool CSymbXMLDDTCompositeDef::IsArray() const {
    return false;
}

bool CSymbXMLDDTCompositeDef::IsOfKorvoType(tagETYPMGRTypeCode, MAPOFDDTDEF&) {
    return false;
}

void CSymbXMLDDTCompositeDef::DefineSubType(MAPOFDDTDEF* catalogue) {
    if (catalogue == nullptr) {
        return;
    }
    for (CSymbXMLDDTMember* member : m_Members) {
        if (member != nullptr) {
            const std::string typeName = member->m_TypeName;
            member->SetMemberType(typeName, *catalogue);
        }
    }
}

bool CSymbXMLDDTCompositeDef::LoadBinary(CTextFile&) {
    return false;
}

bool CSymbXMLDDTCompositeDef::AddMember(CSymbXMLDDTMember* member) {
    if (member == nullptr) {
        return false;
    }
    const auto index = static_cast<std::int32_t>(m_Members.size());
    if (!m_MemberIndex.emplace(ToUpperAscii(member->m_Name), index).second) {
        return false;
    }
    m_Members.push_back(member);
    return true;
}

CSymbXMLDDTMember* CSymbXMLDDTCompositeDef::FindMember(const std::string& name) const {
    const auto found = m_MemberIndex.find(ToUpperAscii(name));
    if (found == m_MemberIndex.end() || found->second < 0 ||
        static_cast<std::size_t>(found->second) >= m_Members.size()) {
        return nullptr;
    }
    return m_Members[static_cast<std::size_t>(found->second)];
}

bool CSymbXMLDDTCompositeDef::SaveMembers(CTextFile& file, const char* keyword) {
    const std::string word = keyword;
    file.WriteString(word + " \n" + word + " " + m_Name + " \n");
    file.WriteString(StrFormat("%X \n", m_Id));
    file.WriteString(StrFormat("NbMember %X \n", static_cast<unsigned>(m_Members.size())));
    bool result = true;
    for (CSymbXMLDDTMember* member : m_Members) {
        if (member == nullptr) {
            continue;
        }
        result = member->SaveBinary(file);
        if (!result) {
            break;
        }
    }
    return result;
}

struct CSymbXMLDDTCompositeDef::MemberListing {
    const std::string& pattern;
    VARTYPE varType;
    ListingFlags flags;
    std::uint16_t block;
    std::uint32_t offset;
    std::int32_t columnCount;
    const std::string& columnCodes;
    CVarbank& dico;
};

std::int32_t CSymbXMLDDTCompositeDef::ListMembers(const std::string& pattern, VARTYPE varType,
                                                  const ListingFlags& flags, std::uint16_t block,
                                                  std::uint32_t offset, std::int32_t columnCount,
                                                  const std::string& columnCodes,
                                                  std::vector<std::string>& output, CVarbank& dico,
                                                  std::vector<std::uint16_t>& kinds) {
    const MemberListing listing{pattern, varType,     flags,       block,
                                offset,  columnCount, columnCodes, dico};
    ListMembersFrom(listing, 0, m_Members.size(), output, kinds);
    return 0;
}

void CSymbXMLDDTCompositeDef::ListMembersFrom(const MemberListing& listing, std::size_t first,
                                              std::size_t limit, std::vector<std::string>& output,
                                              std::vector<std::uint16_t>& kinds) {
    // By index: SelectsMember may look types up, which never changes this type's members.
    std::size_t listed = 0;
    for (std::size_t i = first; i < m_Members.size() && listed < limit; ++i) {
        if (ListMember(listing, i, output, kinds)) {
            ++listed;
        }
    }
}

bool CSymbXMLDDTCompositeDef::ListMember(const MemberListing& listing, std::size_t index,
                                         std::vector<std::string>& output,
                                         std::vector<std::uint16_t>& kinds) {
    YieldListing();
    CSymbXMLDDTMember* member = m_Members[index];
    if (member == nullptr || member->m_Hidden != 0) {
        return false;
    }
    const auto memberBlock = static_cast<std::uint16_t>(listing.block + member->m_Block);
    const std::uint32_t memberOffset = listing.offset + member->m_Offset;
    std::string addressText;
    listing.dico.FormatPhysicalAddress(member->m_AreaKind, memberBlock, memberOffset, BIT_NONE,
                                       static_cast<std::int32_t>(member->m_Size),
                                       member->m_TypeCode, addressText);
    const std::string column = MemberAddressColumn(*member, memberBlock, memberOffset, addressText);
    std::string entry = ListedEntry(member->m_Name, listing.columnCount, listing.columnCodes,
                                    column, &member->m_Comment);
    std::uint32_t size = 0;
    std::uint32_t code = 0;
    const bool elementary = ClassifyTypeName(member->m_TypeName, size, code);
    if (!MatchNamePattern(member->m_Name, listing.pattern) ||
        !SelectsMember(*member, elementary, listing.flags, listing.varType, listing.dico.m_Types)) {
        return false;
    }
    output.push_back(std::move(entry));
    kinds.push_back(ListingKindWord(elementary));
    return true;
}

std::size_t CSymbXMLDDTCompositeDef::ContinuationMember(const MemberListing& listing,
                                                        const std::string& continuation) {
    std::size_t found = m_Members.size();
    for (std::size_t end = continuation.find('|');; end = continuation.find('|', end + 1)) {
        const auto indexed = m_MemberIndex.find(ToUpperAscii(continuation.substr(0, end)));
        if (indexed != m_MemberIndex.end() && indexed->second >= 0 &&
            static_cast<std::size_t>(indexed->second) < found) {
            const auto index = static_cast<std::size_t>(indexed->second);
            std::vector<std::string> entry;
            std::vector<std::uint16_t> kind;
            if (ListMember(listing, index, entry, kind) && entry.front() == continuation) {
                found = index;
            }
        }
        if (end == std::string::npos) {
            return found;
        }
    }
}

void CSymbXMLDDTCompositeDef::BuildCollectionPage(const BrowseRequest& request,
                                                  const BrowsePosition& position,
                                                  const ListingPage& page, CVarbank& dico,
                                                  std::vector<std::string>& output,
                                                  std::vector<std::uint16_t>& kinds) {
    const MemberListing listing{
        request.pattern,
        request.varType,
        ListingFlags{request.branchesOnly, request.leaves, request.branches},
        position.block,
        position.offset,
        request.columnCount,
        request.columnCodes,
        dico};
    const std::size_t first =
        page.continuation.empty() ? 0 : ContinuationMember(listing, page.continuation);
    ListMembersFrom(listing, first, page.limit, output, kinds);
}

std::string CSymbXMLDDTCompositeDef::MemberAddressColumn(const CSymbXMLDDTMember& member,
                                                         std::uint16_t block, std::uint32_t offset,
                                                         const std::string& addressText) const {
    return AddressColumnText(member.m_TypeName, block, offset, addressText);
}

std::int32_t CSymbXMLDDTCompositeDef::BuildCollectionFrom(
    const std::string&, const std::string& pattern, VARTYPE varType, const std::string&,
    std::uint32_t, std::uint32_t, std::int32_t branchesOnly, std::int32_t leaves,
    std::int32_t branches, std::uint16_t block, std::uint32_t offset, std::uint32_t,
    std::int32_t columnCount, const std::string& columnCodes, std::vector<std::string>& output,
    std::vector<std::string>*, CVarbank* dico, std::vector<std::uint16_t>& kinds) {
    // Without a dictionary there is neither address text nor catalogue: nothing is listed.
    if (dico == nullptr) {
        return 0;
    }
    return ListMembers(pattern, varType, ListingFlags{branchesOnly, leaves, branches}, block,
                       offset, columnCount, columnCodes, output, *dico, kinds);
}
