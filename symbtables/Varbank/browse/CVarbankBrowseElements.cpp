#include "Varbank/CSymbXMLDDTDef.h"
#include "Varbank/CSymbXMLItemDef.h"
#include "Varbank/CVarbank.h"
#include "Varbank/MatchNamePattern.h"
#include "Varbank/TaskMem.h"
#include "Varbank/TextConversion.h"
#include "Varbank/VarbankCodes.h"
#include "Varbank/tagBROWSEELEMENT.h"
#include "browse/BrowseRequest.h"
#include "dictionary/ReadPass.h"
#include "platform/TextUtil.h"
#include "types/ListingPage.h"

#include <cstring>
#include <limits>

namespace {

constexpr std::uint32_t kSpareRecords = 1000;

// The listing starts at the child that the continuation point names (compared with case), or
// at the first child when there is no continuation text.
bool StartsHere(const std::string& continuation, const std::string& name) {
    return continuation.empty() || continuation == name;
}

} // namespace

OLECHAR* CVarbank::ToTaskWideString(const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    const std::u16string wide = Utf8ToUtf16(text);
    auto* block = static_cast<OLECHAR*>(CoTaskMemAlloc((wide.size() + 1) * sizeof(OLECHAR)));
    if (block == nullptr) {
        return nullptr;
    }
    std::memcpy(block, wide.data(), wide.size() * sizeof(OLECHAR));
    block[wide.size()] = u'\0';
    return block;
}

std::string CVarbank::WideToNarrow(const OLECHAR* text) {
    return Utf16ToUtf8(text);
}

std::string CVarbank::BuildBrowseItemId(const std::string& path, const std::string& positionPrefix,
                                        const std::string& name) {
    if (path.empty()) {
        return positionPrefix + "!" + name;
    }
    const std::size_t dot = path.rfind('.');
    const std::string last = dot == std::string::npos ? path : path.substr(dot + 1);
    // Array elements are listed as the position text followed by "[i]".
    if (name.compare(0, last.size(), last) == 0) {
        return positionPrefix + name.substr(last.size());
    }
    return positionPrefix + "." + name;
}

HRESULT CVarbank::ReserveBrowseElements(std::uint32_t needed, std::uint32_t maximum,
                                        std::uint32_t* pdwCount, tagBROWSEELEMENT** ppRecords,
                                        std::uint32_t* pdwCapacity, std::uint32_t& firstIndex) {
    firstIndex = *pdwCount;
    if (maximum != 0 || std::uint64_t{*pdwCount} + needed <= *pdwCapacity) {
        return S_OK;
    }
    const std::uint64_t capacity = std::uint64_t{*pdwCount} + needed + kSpareRecords;
    if (capacity > std::numeric_limits<std::uint32_t>::max() / sizeof(tagBROWSEELEMENT)) {
        return E_OUTOFMEMORY;
    }
    void* grown = CoTaskMemRealloc(*ppRecords, capacity * sizeof(tagBROWSEELEMENT));
    if (grown == nullptr) {
        return E_OUTOFMEMORY; // the old block and its records stay as they were
    }
    *ppRecords = static_cast<tagBROWSEELEMENT*>(grown);
    *pdwCapacity = static_cast<std::uint32_t>(capacity);
    return S_OK;
}

bool CVarbank::AppendBrowseElement(const std::string& name, const std::string& path,
                                   const std::string& positionPrefix, std::uint32_t index,
                                   std::uint32_t maximum, OLECHAR** ppContinuation,
                                   std::int32_t* pbMore, std::uint32_t* pdwCount,
                                   tagBROWSEELEMENT* records, std::uint32_t flags) {
    if (maximum != 0 && index >= maximum) {
        *ppContinuation = ToTaskWideString(name.c_str());
        *pbMore = 1;
        *pdwCount = maximum;
        return false;
    }
    ++*pdwCount;
    tagBROWSEELEMENT& record = records[index];
    record.pszName = ToTaskWideString(name.c_str());
    record.pszItemId = ToTaskWideString(BuildBrowseItemId(path, positionPrefix, name).c_str());
    record.dwFlags = flags;
    record.hrError = S_OK;
    record.dwPropertyCount = 0;
    record.pProperties = nullptr;
    record.dwReserved2 = 0;
    return true;
}

void CVarbank::AppendBrowseCollection(const std::vector<std::string>& collection,
                                      const std::string& path, const std::string& positionPrefix,
                                      std::uint32_t firstIndex, std::uint32_t maximum,
                                      OLECHAR** ppContinuation, std::int32_t* pbMore,
                                      std::uint32_t* pdwCount, tagBROWSEELEMENT* records,
                                      const std::vector<std::uint16_t>& kinds) {
    const std::string continuation =
        *ppContinuation == nullptr ? std::string() : WideToNarrow(*ppContinuation);
    bool started = false;
    std::uint32_t index = firstIndex;
    for (std::size_t i = 0; i < collection.size(); ++i) {
        started = started || StartsHere(continuation, collection[i]);
        if (!started) {
            continue;
        }
        const std::uint32_t flags = i < kinds.size() ? kinds[i] : std::uint32_t{LISTING_KIND_LEAF};
        if (!AppendBrowseElement(collection[i], path, positionPrefix, index, maximum,
                                 ppContinuation, pbMore, pdwCount, records, flags)) {
            return;
        }
        ++index;
    }
}

HRESULT CVarbank::BrowseElements(const char* filter, const char* pattern, VARTYPE varType,
                                 const char* path, std::uint32_t reservedA, std::uint32_t reservedB,
                                 std::int32_t branchesOnly, std::int32_t leaves,
                                 std::int32_t branches, std::int32_t columnCount,
                                 const char* columnCodes, const OLECHAR* positionId,
                                 OLECHAR** ppContinuation, std::uint32_t maximum, std::uint32_t,
                                 std::uint32_t, std::uint32_t, std::uint32_t, std::int32_t* pbMore,
                                 std::uint32_t* pdwCount, tagBROWSEELEMENT** ppRecords,
                                 std::uint32_t* pdwCapacity, std::vector<std::string>* secondList) {
    if (ppRecords == nullptr || pbMore == nullptr || pdwCount == nullptr ||
        pdwCapacity == nullptr || (columnCount > 0 && columnCodes == nullptr) || path == nullptr ||
        ppContinuation == nullptr) {
        return E_INVALIDARG;
    }
    // The block must hold what it claims: the records already filled, and with a cap every
    // record up to the cap.
    if (*pdwCount > *pdwCapacity || (maximum != 0 && *pdwCapacity < maximum) ||
        (*ppRecords == nullptr && *pdwCapacity != 0)) {
        return E_INVALIDARG;
    }
    const BrowseRequest request(filter, pattern, varType, reservedA, reservedB, branchesOnly,
                                leaves, branches, columnCount, columnCodes);
    const std::string prefix = WideToNarrow(positionId);
    // Below the root the position's type lists its children into a collection first.
    const bool root = path[0] == 0;
    auto attempt = [&] {
        std::vector<std::string> collection;
        std::vector<std::uint16_t> kinds;
        HRESULT result = S_OK;
        // With a cap the position lists only the page from the continuation point, and one
        // child more, whose name becomes the next continuation point.
        const ListingPage page{*ppContinuation == nullptr ? std::string()
                                                          : WideToNarrow(*ppContinuation),
                               std::size_t{maximum > *pdwCount ? maximum - *pdwCount : 0} + 1};
        if (!root && !ListPosition(path, request, collection, secondList, kinds, result,
                                   maximum != 0 ? &page : nullptr)) {
            return result;
        }
        // The block grows once, for every child that can be written.
        std::uint32_t first = 0;
        const std::size_t needed = root ? m_Items.size() : collection.size();
        const HRESULT reserved = ReserveBrowseElements(static_cast<std::uint32_t>(needed), maximum,
                                                       pdwCount, ppRecords, pdwCapacity, first);
        if (reserved != S_OK) {
            return reserved;
        }
        if (root) {
            ListRootElements(request, prefix, first, ppContinuation, maximum, pbMore, pdwCount,
                             *ppRecords);
        } else {
            AppendBrowseCollection(collection, path, prefix, first, maximum, ppContinuation, pbMore,
                                   pdwCount, *ppRecords, kinds);
        }
        return result;
    };
    // A run made again starts from the outputs as the host handed them in.
    const std::uint32_t count = *pdwCount;
    OLECHAR* const continuation = *ppContinuation;
    const std::int32_t more = *pbMore;
    const std::size_t secondCount = secondList != nullptr ? secondList->size() : 0;
    auto undo = [&] {
        for (std::uint32_t i = count; i < *pdwCount; ++i) {
            CoTaskMemFree((*ppRecords)[i].pszName);
            CoTaskMemFree((*ppRecords)[i].pszItemId);
        }
        *pdwCount = count;
        if (*ppContinuation != continuation) {
            CoTaskMemFree(*ppContinuation);
            *ppContinuation = continuation;
        }
        *pbMore = more;
        if (secondList != nullptr) {
            secondList->resize(secondCount);
        }
    };
    return RunRead(attempt, undo);
}

void CVarbank::ListRootElements(const BrowseRequest& request, const std::string& positionPrefix,
                                std::uint32_t firstIndex, OLECHAR** ppContinuation,
                                std::uint32_t maximum, std::int32_t* pbMore,
                                std::uint32_t* pdwCount, tagBROWSEELEMENT* records) {
    const auto passesFilters = [&](const CSymbXMLItemDef* item) {
        return item != nullptr && (request.varType == 0 || request.varType == item->m_VarType) &&
               (!request.UnlocatedOnly() || item->m_Address.empty()) &&
               (request.AllNames() || MatchNamePattern(item->m_Name, request.pattern));
    };
    // Resume at the continuation point without walking the variables before it: the only
    // variable that can start the listing is the one whose upper-case key matches the text,
    // and only when its name matches with case and the filters keep it.
    auto it = m_Items.begin();
    const std::string continuation =
        *ppContinuation == nullptr ? std::string() : WideToNarrow(*ppContinuation);
    if (!continuation.empty()) {
        it = m_Items.find(ToUpperAscii(continuation));
        if (it == m_Items.end() || !passesFilters(it->second) ||
            it->second->m_Name != continuation) {
            return;
        }
    }
    std::uint32_t index = firstIndex;
    for (; it != m_Items.end(); ++it) {
        const CSymbXMLItemDef* item = it->second;
        if (!passesFilters(item)) {
            continue;
        }
        const bool branch = IsBranch(*item);
        const bool write = request.branchesOnly != 0
                               ? branch
                               : (request.leaves != 0 && request.branches != 0) ||
                                     (request.branches != 0 && branch) ||
                                     (request.leaves != 0 && item->IsElementaryType());
        if (!write) {
            continue;
        }
        const std::uint32_t flags = branch ? LISTING_KIND_BRANCH : LISTING_KIND_LEAF;
        if (!AppendBrowseElement(item->m_Name, std::string(), positionPrefix, index, maximum,
                                 ppContinuation, pbMore, pdwCount, records, flags)) {
            break;
        }
        ++index;
    }
}
