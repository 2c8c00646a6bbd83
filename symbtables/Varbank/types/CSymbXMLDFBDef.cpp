#include "Varbank/CSymbXMLDFBDef.h"

#include "Varbank/CSymbXMLDDTMember.h"
#include "Varbank/CVarbank.h"
#include "Varbank/MAPOFDDTDEF.h"
#include "types/DerivedTypeListing.h"

CSymbXMLDFBDef::~CSymbXMLDFBDef() = default;

bool CSymbXMLDFBDef::IsDFB() const {
    return true;
}

std::string CSymbXMLDFBDef::MemberAddressColumn(const CSymbXMLDDTMember& member,
                                                std::uint16_t block, std::uint32_t offset,
                                                const std::string& addressText) const {
    // A function block shows its address text alone when there is one.
    if (!addressText.empty()) {
        return addressText;
    }
    return CSymbXMLDDTCompositeDef::MemberAddressColumn(member, block, offset, addressText);
}

bool CSymbXMLDFBDef::SelectsMember(CSymbXMLDDTMember& member, bool elementary,
                                   const ListingFlags& flags, VARTYPE varType,
                                   MAPOFDDTDEF& catalogue) {
    // Unlike a structure, no variant-type filter when every kind is listed.
    return SelectsMemberByKind(member, elementary, flags, varType, catalogue).value_or(true);
}

void CSymbXMLDFBDef::RemoveDFBMember(MAPOFDDTDEF* catalogue) {
    if (catalogue == nullptr) {
        return;
    }
    // The member at index 0 is never examined.
    for (std::size_t i = m_Members.size(); i-- > 1;) {
        CSymbXMLDDTMember* member = m_Members[i];
        if (member == nullptr) {
            continue;
        }
        std::uint32_t size = 0;
        std::uint32_t code = 0;
        if (ClassifyTypeName(member->m_TypeName, size, code)) {
            continue;
        }
        CSymbXMLDDTDef* type = nullptr;
        if (catalogue->FindTypeInList(member->m_TypeName, type) == 0 || type == nullptr ||
            !type->IsDFB()) {
            continue;
        }
        delete member;
        m_Members.erase(m_Members.begin() + static_cast<std::ptrdiff_t>(i));
        RenumberAfterRemoval(static_cast<std::int32_t>(i));
    }
}

void CSymbXMLDFBDef::RenumberAfterRemoval(std::int32_t removed) {
    for (auto entry = m_MemberIndex.begin(); entry != m_MemberIndex.end();) {
        if (entry->second == removed) {
            entry = m_MemberIndex.erase(entry);
            continue;
        }
        if (entry->second > removed) {
            --entry->second;
        }
        ++entry;
    }
}

bool CSymbXMLDFBDef::SaveBinary(CTextFile& file) {
    return SaveMembers(file, "DFBDef");
}
