#include "Varbank/CSymbKorvoAnalyser.h"
#include "Varbank/CSymbXMLDDTArrayDef.h"
#include "Varbank/CSymbXMLDDTMember.h"
#include "Varbank/CSymbXMLDDTStructDef.h"
#include "Varbank/CSymbXMLDFBDef.h"
#include "Varbank/MAPOFDDTDEF.h"
#include "Varbank/VarbankCodes.h"
#include "Varbank/tagRATVARPHYSICALIMPLEM.h"
#include "platform/TextUtil.h"

// Member-path analysis: each derived type consumes one element of an item name (a member name
// or an index), moves the record's position and hands the rest of the path to the next type.

namespace {

// The texts that the level ending the path delivers.
struct PathTexts {
    std::string& typeName;
    std::string& comment;
    std::string& unitText;
};

void FormatUnitText(PathTexts& texts, const tagRATVARPHYSICALIMPLEM& record) {
    texts.unitText = UnitText(texts.typeName, record.wBlock, record.dwOffset);
}

// The member named by element nLevel (upper-cased), or null.
CSymbXMLDDTMember* LookUpMember(const CSymbXMLDDTCompositeDef& type,
                                const CSymbKorvoAnalyser& analyser, std::int32_t nLevel) {
    std::string name;
    analyser.GetItemText(nLevel, name);
    return type.FindMember(name);
}

// A member ending the path: its own type, comment and unit text.
void EndAtMember(const CSymbXMLDDTMember& member, tagRATVARPHYSICALIMPLEM& record,
                 PathTexts& texts) {
    texts.typeName = member.m_TypeName;
    texts.comment = member.m_Comment;
    FormatUnitText(texts, record);
}

// After a deeper level reached through member type sub: when that was an array of an
// elementary type, the size is the whole array's and the code the array's.
void FixArraySize(MAPOFDDTDEF& catalogue, const CSymbXMLDDTDef& sub,
                  const std::string& deeperTypeName, tagRATVARPHYSICALIMPLEM& record) {
    CSymbXMLDDTDef* found = nullptr;
    if (!sub.IsArray() || catalogue.FindTypeInList(deeperTypeName, found) == 0 ||
        found == nullptr || !found->IsArray()) {
        return;
    }
    auto& array = static_cast<CSymbXMLDDTArrayDef&>(*found);
    std::uint32_t elementSize = 0;
    std::uint32_t code = 0;
    if (!CSymbXMLDDTDef::ClassifyTypeName(array.m_ElementTypeName, elementSize, code)) {
        return;
    }
    const CSymbXMLDDTArrayDef::Bounds& first = array.m_Dims[0];
    const std::uint32_t count =
        static_cast<std::uint32_t>(first.high) - static_cast<std::uint32_t>(first.low) + 1U;
    record.dwSize = elementSize * count;
    record.dwTypeCode = array.m_TypeCode;
}

// Hands the rest of the path to the member's derived type; 0 when the type is unknown.
std::int32_t DescendIntoMember(MAPOFDDTDEF& catalogue, CSymbKorvoAnalyser& analyser,
                               std::int32_t nLevel, std::int32_t bOrdinaryArea,
                               const CSymbXMLDDTMember& member, tagRATVARPHYSICALIMPLEM& record,
                               PathTexts& texts) {
    CSymbXMLDDTDef* sub = nullptr;
    if (catalogue.FindTypeInList(member.m_TypeName, sub) == 0 || sub == nullptr) {
        return 0;
    }
    const std::int32_t result =
        sub->AnalyseSubPart(catalogue, analyser, nLevel + 1, bOrdinaryArea, record, texts.typeName,
                            texts.comment, texts.unitText);
    FixArraySize(catalogue, *sub, texts.typeName, record);
    return result;
}

void MoveToMember(const CSymbXMLDDTMember& member, std::int32_t bOrdinaryArea,
                  tagRATVARPHYSICALIMPLEM& record) {
    if (bOrdinaryArea != 0) {
        record.dwOffset += member.m_Offset;
    } else {
        record.dwSubOffset += member.m_Offset;
        record.wSubSize = static_cast<std::uint16_t>(member.m_Size);
    }
    record.dwSize = member.m_Size;
}

void MoveToElement(std::int32_t linear, std::uint32_t elementSize, std::int32_t bOrdinaryArea,
                   tagRATVARPHYSICALIMPLEM& record) {
    const std::uint32_t shift = static_cast<std::uint32_t>(linear) * elementSize;
    if (bOrdinaryArea != 0) {
        record.dwOffset += shift;
    } else {
        record.dwSubOffset += shift;
        record.wSubSize = static_cast<std::uint16_t>(elementSize);
    }
}

// An elementary array element must end the path, or be followed only by a bit number.
bool ElementaryElementEndsPath(const CSymbKorvoAnalyser& analyser, std::int32_t nLevel) {
    const std::int32_t last = analyser.m_nLast;
    const CSymbKorvoAnalysedItem& element = analyser.m_aItems[last];
    if (element.m_bBit != 0 && element.m_strName == element.m_strIndex) {
        return nLevel == last - 1;
    }
    return nLevel == last && element.m_strName.empty();
}

// A function-block member lies in the ordinary area or in the block's secondary area.
void EnterMemberArea(const CSymbXMLDDTMember& member, tagRATVARPHYSICALIMPLEM& record) {
    if (member.m_AreaKind == AREA_KIND_SECONDARY) {
        record.dwAreaKind = AREA_KIND_SECONDARY;
        record.wSubSize = static_cast<std::uint16_t>(member.m_Size);
    } else {
        record.dwAreaKind = AREA_KIND_ORDINARY;
    }
}

// Where structures and function blocks differ once the record stands at a member.
struct MemberRules {
    std::int32_t descendArea; // the area flag handed to the member's derived type
    bool elementarySize;      // an elementary member takes its type's size
    std::int32_t endResult;   // the answer of a member that ends the path
};

// The rest of a level at a member that the record already stands at: an elementary member
// ends the path, a derived one hands the rest of the path to its type or ends it.
// ClassifyTypeName upper-cases the member's type name in place.
std::int32_t AnalyseMember(MAPOFDDTDEF& catalogue, CSymbKorvoAnalyser& analyser,
                           std::int32_t nLevel, std::int32_t bOrdinaryArea,
                           CSymbXMLDDTMember& member, const MemberRules& rules,
                           tagRATVARPHYSICALIMPLEM& record, PathTexts& texts) {
    std::uint32_t size = 0;
    std::uint32_t code = 0;
    if (CSymbXMLDDTDef::ClassifyTypeName(member.m_TypeName, size, code)) {
        if (rules.elementarySize) {
            record.dwSize = size;
            if (bOrdinaryArea == 0) {
                record.wSubSize = static_cast<std::uint16_t>(size);
            }
        }
        record.dwTypeCode = code;
        EndAtMember(member, record, texts);
        return nLevel == analyser.m_nLast ? rules.endResult : 0;
    }
    if (nLevel < analyser.m_nLast) {
        return DescendIntoMember(catalogue, analyser, nLevel, rules.descendArea, member, record,
                                 texts);
    }
    // MoveToMember has set the member's size already, and in the secondary area its sub-size.
    record.dwTypeCode = member.m_TypeCode;
    EndAtMember(member, record, texts);
    return rules.endResult;
}

enum class MemberOwner { kStructure, kFunctionBlock };

// One level of a structure or function block: element nLevel names a member, the record moves
// to it, and AnalyseMember does the rest with the rules of the owner.
std::int32_t AnalyseMemberLevel(const CSymbXMLDDTCompositeDef& type, MemberOwner owner,
                                MAPOFDDTDEF& catalogue, CSymbKorvoAnalyser& analyser,
                                std::int32_t nLevel, std::int32_t bOrdinaryArea,
                                tagRATVARPHYSICALIMPLEM& record, PathTexts& texts) {
    CSymbXMLDDTMember* member = LookUpMember(type, analyser, nLevel);
    if (member == nullptr) {
        return 0;
    }
    MoveToMember(*member, bOrdinaryArea, record);
    MemberRules rules{bOrdinaryArea, true, 1};
    if (owner == MemberOwner::kFunctionBlock) {
        EnterMemberArea(*member, record);
        // The member's own area is the one below it; in the secondary area a function-block
        // level succeeds only through a deeper level, and the member's own size stands.
        rules = {member->m_AreaKind == AREA_KIND_ORDINARY ? 1 : 0, false,
                 bOrdinaryArea != 0 ? 1 : 0};
    }
    return AnalyseMember(catalogue, analyser, nLevel, bOrdinaryArea, *member, rules, record, texts);
}

bool InPath(const CSymbKorvoAnalyser& analyser, std::int32_t nLevel) {
    return nLevel >= 0 && nLevel < CSymbKorvoAnalyser::kMaxItems && nLevel <= analyser.m_nLast;
}

} // namespace

std::int32_t CSymbXMLDDTStructDef::AnalyseSubPart(MAPOFDDTDEF& catalogue,
                                                  CSymbKorvoAnalyser& analyser, std::int32_t nLevel,
                                                  std::int32_t bOrdinaryArea,
                                                  tagRATVARPHYSICALIMPLEM& record,
                                                  std::string& strTypeName, std::string& strComment,
                                                  std::string& strUnitText) {
    PathTexts texts{strTypeName, strComment, strUnitText};
    return AnalyseMemberLevel(*this, MemberOwner::kStructure, catalogue, analyser, nLevel,
                              bOrdinaryArea, record, texts);
}

std::int32_t CSymbXMLDFBDef::AnalyseSubPart(MAPOFDDTDEF& catalogue, CSymbKorvoAnalyser& analyser,
                                            std::int32_t nLevel, std::int32_t bOrdinaryArea,
                                            tagRATVARPHYSICALIMPLEM& record,
                                            std::string& strTypeName, std::string& strComment,
                                            std::string& strUnitText) {
    PathTexts texts{strTypeName, strComment, strUnitText};
    return AnalyseMemberLevel(*this, MemberOwner::kFunctionBlock, catalogue, analyser, nLevel,
                              bOrdinaryArea, record, texts);
}

std::int32_t CSymbXMLDDTArrayDef::AnalyseSubPart(MAPOFDDTDEF& catalogue,
                                                 CSymbKorvoAnalyser& analyser, std::int32_t nLevel,
                                                 std::int32_t bOrdinaryArea,
                                                 tagRATVARPHYSICALIMPLEM& record,
                                                 std::string& strTypeName, std::string& strComment,
                                                 std::string& strUnitText) {
    PathTexts texts{strTypeName, strComment, strUnitText};
    const std::uint32_t count = ElementCount();
    std::int32_t linear = 0;
    // An array without elements (reversed or wrapped bounds) cannot be indexed.
    if (count == 0 || !InPath(analyser, nLevel) ||
        !ValidateIndex(analyser.m_aItems[nLevel].m_strIndex, linear)) {
        return 0;
    }
    const std::uint32_t elementSize = record.dwSize / count;
    record.dwSize = elementSize;
    std::uint32_t size = 0;
    std::uint32_t code = 0;
    if (ClassifyTypeName(m_ElementTypeName, size, code)) {
        if (IsAccessedWhole()) {
            record.dwAccessKind = ACCESS_KIND_ELEMENT;
            record.dwElementIndex = static_cast<std::uint32_t>(linear);
            record.dwSize = size;
            record.wSubSize = static_cast<std::uint16_t>(size);
        } else {
            MoveToElement(linear, elementSize, bOrdinaryArea, record);
        }
        record.dwTypeCode = code;
        texts.typeName = m_ElementTypeName;
        texts.comment.clear();
        FormatUnitText(texts, record);
        return ElementaryElementEndsPath(analyser, nLevel) ? 1 : 0;
    }
    CSymbXMLDDTDef* sub = nullptr;
    const bool known = catalogue.FindTypeInList(m_ElementTypeName, sub) != 0 && sub != nullptr;
    if (nLevel == analyser.m_nLast) {
        // The index ends the path on an element of a derived type: the unit text stays empty,
        // so that the caller computes the element's direct address.
        MoveToElement(linear, elementSize, bOrdinaryArea, record);
        if (!known) {
            return 0;
        }
        texts.comment =
            sub->m_Name.rfind("%TEMP_ARRAY", 0) == 0 ? std::string() : m_ElementTypeName;
        texts.typeName = sub->GetDisplayName();
        record.dwSize = elementSize;
        return 1;
    }
    if (!known) {
        return 0;
    }
    MoveToElement(linear, elementSize, bOrdinaryArea, record);
    record.dwSize = elementSize;
    return sub->AnalyseSubPart(catalogue, analyser, nLevel + 1, bOrdinaryArea, record,
                               texts.typeName, texts.comment, texts.unitText);
}
