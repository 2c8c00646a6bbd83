#include "Varbank/CSymbKorvoAnalyser.h"
#include "Varbank/CSymbXMLDDTArrayDef.h"
#include "Varbank/CSymbXMLDDTMember.h"
#include "Varbank/CSymbXMLDDTStructDef.h"
#include "Varbank/CSymbXMLDFBDef.h"
#include "Varbank/MAPOFDDTDEF.h"

// The walk of a browse path down to the derived type at its end, carrying the position's
// block, offset and size from the variable to the addressed member or element.

namespace {

// Structures and function blocks consume a member name and continue in the member's type.
std::int32_t FollowMember(CSymbXMLDDTCompositeDef& type, CSymbKorvoAnalyser& analyser,
                          std::int32_t level, MAPOFDDTDEF& catalogue, CSymbXMLDDTDef*& finalType,
                          std::uint16_t& block, std::uint32_t& offset, std::uint32_t& size) {
    if (level > analyser.m_nLast) {
        finalType = &type;
        return 1;
    }
    std::string name;
    analyser.GetItemText(level, name);
    CSymbXMLDDTMember* member = type.FindMember(name);
    if (member == nullptr) {
        return 0;
    }
    std::uint32_t elementarySize = 0;
    std::uint32_t code = 0;
    if (CSymbXMLDDTDef::ClassifyTypeName(member->m_TypeName, elementarySize, code)) {
        return 0; // an elementary member has no children
    }
    CSymbXMLDDTDef* sub = nullptr;
    if (catalogue.FindTypeInList(member->m_TypeName, sub) == 0 || sub == nullptr) {
        return 0;
    }
    block = static_cast<std::uint16_t>(block + member->m_Block);
    offset += member->m_Offset;
    size = member->m_Size;
    return sub->FindFinalTypeForBrowse(analyser, level + 1, catalogue, finalType, block, offset,
                                       size);
}

} // namespace

std::int32_t CSymbXMLDDTStructDef::FindFinalTypeForBrowse(
    CSymbKorvoAnalyser& analyser, std::int32_t level, MAPOFDDTDEF& catalogue,
    CSymbXMLDDTDef*& finalType, std::uint16_t& block, std::uint32_t& offset, std::uint32_t& size) {
    return FollowMember(*this, analyser, level, catalogue, finalType, block, offset, size);
}

std::int32_t CSymbXMLDFBDef::FindFinalTypeForBrowse(CSymbKorvoAnalyser& analyser,
                                                    std::int32_t level, MAPOFDDTDEF& catalogue,
                                                    CSymbXMLDDTDef*& finalType,
                                                    std::uint16_t& block, std::uint32_t& offset,
                                                    std::uint32_t& size) {
    return FollowMember(*this, analyser, level, catalogue, finalType, block, offset, size);
}

std::int32_t CSymbXMLDDTArrayDef::FindFinalTypeForBrowse(
    CSymbKorvoAnalyser& analyser, std::int32_t level, MAPOFDDTDEF& catalogue,
    CSymbXMLDDTDef*& finalType, std::uint16_t& block, std::uint32_t& offset, std::uint32_t& size) {
    if (level > analyser.m_nLast) {
        finalType = this;
        return 1;
    }
    std::int32_t index = 0;
    if (level < 0 || !ValidateIndex(analyser.m_aItems[level].m_strIndex, index)) {
        return 0;
    }
    std::uint32_t elementarySize = 0;
    std::uint32_t code = 0;
    if (ClassifyTypeName(m_ElementTypeName, elementarySize, code)) {
        return 0;
    }
    CSymbXMLDDTDef* sub = nullptr;
    const std::uint32_t count = ElementCount();
    if (catalogue.FindTypeInList(m_ElementTypeName, sub) == 0 || sub == nullptr || count == 0) {
        return 0;
    }
    size /= count;
    offset += static_cast<std::uint32_t>(index) * size;
    if (level < analyser.m_nLast) {
        // Arrays leave the block as it is.
        return sub->FindFinalTypeForBrowse(analyser, level + 1, catalogue, finalType, block, offset,
                                           size);
    }
    finalType = sub;
    return 1;
}
