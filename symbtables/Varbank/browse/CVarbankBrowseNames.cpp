#include "Varbank/CSymbKorvoAnalyser.h"
#include "Varbank/CSymbXMLDDTDef.h"
#include "Varbank/CSymbXMLItemDef.h"
#include "Varbank/CVarbank.h"
#include "Varbank/MatchNamePattern.h"
#include "Varbank/VarbankCodes.h"
#include "browse/BrowsePosition.h"
#include "browse/BrowseRequest.h"
#include "dictionary/ReadPass.h"
#include "platform/TextUtil.h"
#include "types/ListingPage.h"

namespace {

// Builds the text of the analysed path from its last named element on: MOTOR1.CTRL.TAB[2][3]
// gives TAB[2][3].
std::string PositionText(const CSymbKorvoAnalyser& analyser) {
    std::int32_t first = analyser.m_nLast;
    while (first > 0 && analyser.m_aItems[first].m_strName.empty()) {
        --first;
    }
    std::string text = analyser.m_aItems[first].m_strName;
    for (std::int32_t i = first; i <= analyser.m_nLast; ++i) {
        const CSymbKorvoAnalysedItem& element = analyser.m_aItems[i];
        if (element.m_strName.empty()) {
            text += '[';
            text += element.m_strIndex;
            text += ']';
        }
    }
    return text;
}

} // namespace

bool CVarbank::IsBranch(const CSymbXMLItemDef& item) {
    return !item.IsElementaryType() && m_Types.HasType(item.m_TypeName);
}

std::string CVarbank::VariableAddressText(const CSymbXMLItemDef& item) const {
    if (!item.m_Address.empty()) {
        return item.m_Address;
    }
    std::string text;
    FormatPhysicalAddress(AREA_KIND_ORDINARY, item.m_Block, item.m_Offset, item.m_Bit,
                          static_cast<std::int32_t>(item.m_Size), item.m_TypeCode, text);
    if (text.empty()) {
        text = StrFormat("U-%s (B:%u - O:%u) ", item.m_TypeName.c_str(),
                         static_cast<unsigned>(item.m_Block), item.m_Offset);
    }
    return text;
}

// The name, then one "|" column per column code: 'A' the address, 'C' the comment, any other
// code an empty column. Only the codes present in the text are read.
std::string CVarbank::ListedVariable(const CSymbXMLItemDef& item, std::int32_t columnCount,
                                     const char* columnCodes) const {
    std::string text = item.m_Name;
    for (std::int32_t i = 0; i < columnCount && columnCodes != nullptr && columnCodes[i] != 0;
         ++i) {
        text += '|';
        if (columnCodes[i] == 'A') {
            text += VariableAddressText(item);
        } else if (columnCodes[i] == 'C') {
            text += item.m_Comment;
        }
    }
    return text;
}

HRESULT CVarbank::BrowseNames(const char* filter, const char* pattern, VARTYPE varType,
                              const char* path, std::uint32_t reservedA, std::uint32_t reservedB,
                              std::int32_t branchesOnly, std::int32_t leaves, std::int32_t branches,
                              std::int32_t columnCount, const char* columnCodes,
                              std::vector<std::string>* output,
                              std::vector<std::string>* secondList) {
    if (filter == nullptr || pattern == nullptr || (columnCount > 0 && columnCodes == nullptr) ||
        output == nullptr || path == nullptr) {
        return E_INVALIDARG;
    }
    // A run made again starts from the lists as the host handed them in.
    const std::size_t outputCount = output->size();
    const std::size_t secondCount = secondList != nullptr ? secondList->size() : 0;
    auto undo = [&] {
        output->resize(outputCount);
        if (secondList != nullptr) {
            secondList->resize(secondCount);
        }
    };
    auto attempt = [&] {
        try {
            const BrowseRequest request(filter, pattern, varType, reservedA, reservedB,
                                        branchesOnly, leaves, branches, columnCount, columnCodes);
            if (path[0] == 0) {
                ListRootNames(request, *output);
                return S_OK;
            }
            std::vector<std::uint16_t> kinds;
            HRESULT result = S_OK;
            ListPosition(path, request, *output, secondList, kinds, result);
            return result;
        } catch (...) {
            // An allocation failed while listing: the lists go back to what the host handed in.
            undo();
            return E_OUTOFMEMORY;
        }
    };
    return RunRead(attempt, undo);
}

void CVarbank::ListRootNames(const BrowseRequest& request, std::vector<std::string>& output) {
    for (const auto& entry : m_Items) {
        const CSymbXMLItemDef* item = entry.second;
        if (item == nullptr || (request.varType != 0 && request.varType != item->m_VarType) ||
            (request.UnlocatedOnly() && item->m_Address.find('%') != std::string::npos) ||
            (!request.AllNames() && !MatchNamePattern(item->m_Name, request.pattern))) {
            continue;
        }
        bool append = false;
        if (request.branchesOnly != 0) {
            append = IsBranch(*item);
        } else if ((request.leaves != 0 && request.branches != 0) ||
                   (request.branches != 0 && IsBranch(*item)) ||
                   (request.leaves != 0 && item->IsElementaryType())) {
            append = !m_Types.IsDFBType(item->m_TypeName);
        }
        if (append) {
            output.push_back(
                ListedVariable(*item, request.columnCount, request.columnCodes.c_str()));
        }
    }
}

// Resolves a browse path to the derived type at its end. S_OK with the position;
// E_INVALIDARG when the path leads to no derived type; S_FALSE when the unlocated-only filter
// leaves the located root variable out (nothing to list).
HRESULT CVarbank::ResolveBrowsePosition(const char* path, const BrowseRequest& request,
                                        BrowsePosition& position) {
    CSymbKorvoAnalyser analyser;
    std::string text = path;
    if (analyser.Analyse(text, 0) == 0) {
        return E_INVALIDARG;
    }
    const CSymbXMLItemDef* root = FindItem(analyser.m_aItems[0].m_strName);
    if (root != nullptr) {
        CSymbXMLDDTDef* type = nullptr;
        if (m_Types.FindTypeInList(root->m_TypeName, type) == 0 || type == nullptr) {
            return E_INVALIDARG;
        }
        position.block = root->m_Block;
        position.offset = root->m_Offset;
        position.size = root->m_Size;
        type->FindFinalTypeForBrowse(analyser, 1, m_Types, position.finalType, position.block,
                                     position.offset, position.size);
    }
    if (position.finalType == nullptr) {
        return E_INVALIDARG;
    }
    position.positionText = PositionText(analyser);
    if (request.UnlocatedOnly() && root->m_Address.find('%') != std::string::npos) {
        return S_FALSE;
    }
    return S_OK;
}

bool CVarbank::ListPosition(const char* path, const BrowseRequest& request,
                            std::vector<std::string>& output, std::vector<std::string>* secondList,
                            std::vector<std::uint16_t>& kinds, HRESULT& result,
                            const ListingPage* page) {
    BrowsePosition position;
    const HRESULT hr = ResolveBrowsePosition(path, request, position);
    if (hr != S_OK) {
        result = hr == S_FALSE ? S_OK : hr;
        return false;
    }
    if (page != nullptr) {
        position.finalType->BuildCollectionPage(request, position, *page, *this, output, kinds);
        result = S_OK;
        return true;
    }
    result = position.finalType->BuildCollectionFrom(
        request.filter, request.pattern, request.varType, position.positionText, request.reservedA,
        request.reservedB, request.branchesOnly, request.leaves, request.branches, position.block,
        position.offset, position.size, request.columnCount, request.columnCodes, output,
        secondList, this, kinds);
    return true;
}
