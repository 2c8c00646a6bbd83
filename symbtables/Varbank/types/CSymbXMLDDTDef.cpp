#include "Varbank/CSymbXMLDDTDef.h"

#include "Varbank/VarbankCodes.h"
#include "browse/BrowsePosition.h"
#include "browse/BrowseRequest.h"
#include "dictionary/ReadPass.h"
#include "platform/TextUtil.h"
#include "types/ElementaryTypes.h"
#include "types/ListingPage.h"

#include <algorithm>

CSymbXMLDDTDef::~CSymbXMLDDTDef() = default;

bool CSymbXMLDDTDef::IsDFB() const {
    return false;
}

bool CSymbXMLDDTDef::IsStruct() const {
    return false;
}

void CSymbXMLDDTDef::DefineSubType(MAPOFDDTDEF*) {}

std::string CSymbXMLDDTDef::GetDisplayName() const {
    return m_Name;
}

std::uint32_t CSymbXMLDDTDef::GetTypeCode() const {
    return kTypeCodeDerived;
}

std::uint16_t CSymbXMLDDTDef::GetAuxVarType() const {
    return 0;
}

void CSymbXMLDDTDef::SetKORVOTypeBase(std::uint32_t) {}

namespace {

// Classifies a type name already in upper case.
bool ClassifyUpperName(const std::string& typeName, std::uint32_t& size, std::uint32_t& code) {
    if (typeName.compare(0, 6, "ARRAY[") == 0) {
        code = kTypeCodeUnknown;
        return false;
    }
    const auto type = FindElementaryType(typeName, false);
    if (!type) {
        code = kTypeCodeUnknown;
        return false;
    }
    code = type->code;
    size = type->size;
    return true;
}

} // namespace

bool CSymbXMLDDTDef::ClassifyTypeName(std::string& typeName, std::uint32_t& size,
                                      std::uint32_t& code) {
    if (!IsUpperAscii(typeName)) {
        // A read pass must not write: it classifies a copy and has itself run again under
        // the exclusive lock, where the stored name is upper-cased.
        if (CReadPass::Active()) {
            CReadPass::RequireExclusive();
            return ClassifyUpperName(ToUpperAscii(typeName), size, code);
        }
        MakeUpperAscii(typeName);
    }
    return ClassifyUpperName(typeName, size, code);
}

void CSymbXMLDDTDef::BuildCollectionPage(const BrowseRequest& request,
                                         const BrowsePosition& position, const ListingPage& page,
                                         CVarbank& dico, std::vector<std::string>& output,
                                         std::vector<std::uint16_t>& kinds) {
    std::vector<std::string> every;
    std::vector<std::uint16_t> everyKind;
    BuildCollectionFrom(request.filter, request.pattern, request.varType, position.positionText,
                        request.reservedA, request.reservedB, request.branchesOnly, request.leaves,
                        request.branches, position.block, position.offset, position.size,
                        request.columnCount, request.columnCodes, every, nullptr, &dico, everyKind);
    std::size_t first = 0;
    if (!page.continuation.empty()) {
        first = static_cast<std::size_t>(std::find(every.begin(), every.end(), page.continuation) -
                                         every.begin());
    }
    for (std::size_t i = first; i < every.size() && i - first < page.limit; ++i) {
        output.push_back(std::move(every[i]));
        kinds.push_back(i < everyKind.size() ? everyKind[i] : std::uint16_t{LISTING_KIND_LEAF});
    }
}
