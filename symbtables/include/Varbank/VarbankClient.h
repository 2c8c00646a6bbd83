#pragma once

// Header-only helpers for hosts: owners for what one resolution and one browse page hand out,
// and a pager that follows the continuation point. They call the dictionary's interface only.

#include "BStr.h"
#include "CSymb.h"
#include "CSymbKorvoAnalyser.h"
#include "CSymbXMLDDTCompositeDef.h"
#include "CSymbXMLItemDef.h"
#include "CVarbank.h"
#include "HResult.h"
#include "ImplemRecord.h"
#include "PropertyEntry.h"
#include "TaskMem.h"
#include "TextConversion.h"
#include "VarbankCodes.h"
#include "Variant.h"
#include "tagBROWSEELEMENT.h"

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace varbank {

// Property identifiers of a resolution's property list (all of them in VarbankCodes.h).
using PropertyId = VarbankPropertyId;
inline constexpr PropertyId kPropertyKind = PROPERTY_ID_KIND;          // "EDT", "DDT", ...
inline constexpr PropertyId kPropertyTypeName = PROPERTY_ID_TYPE_NAME; // the type name
inline constexpr PropertyId kPropertyInfo = PROPERTY_ID_INFO;          // the information text

// Why the dictionary refused a name. The dictionary answers most refusals with the same
// status; the reason is found again from the name and the dictionary's contents, the way the
// resolution itself walks them.
enum class Refusal {
    None,
    UnknownVariable,    // the first part names no variable
    NoSuchMember,       // a member or element that does not exist, or an index out of bounds
    MalformedName,      // the name cannot be split into parts (bad index, too many parts)
    WholeFunctionBlock, // a function-block instance, which is only read by its members
    NoMembers,          // a path below a variable whose type has no members
    BitNotAllowed,      // a bit number on an element that is not 16 bits, or beyond 15
    NotAvailable,       // the library build has no name resolution
    Other               // any other status
};

// The status SearchAndGetFF gives most refusals.
inline constexpr HRESULT kStatusRefused = -1;
// The bit field of a record that is not a bit.
inline constexpr std::uint8_t kNoBit = 255;

namespace detail {

inline std::string UpperAscii(std::string text) {
    for (char& c : text) {
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return text;
}

} // namespace detail

// The reason of a refusal: from the status, then from the name's parts and the variable its
// first part names.
inline Refusal ExplainRefusal(CVarbank& dictionary, const std::string& name, HRESULT status) {
    if (status == S_OK) {
        return Refusal::None;
    }
    if (status == E_INVALIDARG) {
        return Refusal::NoSuchMember;
    }
    if (status == E_NOTIMPL) {
        return Refusal::NotAvailable;
    }
    if (status != kStatusRefused) {
        return Refusal::Other;
    }
    std::string text = name;
    text.erase(0, text.find_first_not_of(' '));
    std::string first = text;
    bool path = false;
    if (text.find_first_of(".[") != std::string::npos ||
        CSymbKorvoAnalyser::IsNumericFrom(text, 0) != 0) {
        CSymbKorvoAnalyser analyser;
        if (analyser.Analyse(text, 0) == 0) {
            return Refusal::MalformedName;
        }
        first = analyser.m_aItems[0].m_strName;
        path = analyser.m_nLast != 0;
    }
    const CSharedLock lock(dictionary.m_Lock);
    const auto found = dictionary.m_Items.find(detail::UpperAscii(first));
    if (found == dictionary.m_Items.end() || found->second == nullptr) {
        return Refusal::UnknownVariable;
    }
    const CSymbXMLItemDef& item = *found->second;
    if (!path) {
        return !item.IsElementaryType() && dictionary.m_Types.IsDFBType(item.m_TypeName)
                   ? Refusal::WholeFunctionBlock
                   : Refusal::BitNotAllowed;
    }
    CSymbXMLDDTDef* type = nullptr;
    if (dictionary.m_Types.FindTypeInList(item.m_TypeName, type) == 0 || type == nullptr) {
        return Refusal::NoMembers;
    }
    return Refusal::BitNotAllowed;
}

// What a dictionary holds, counted under its lock.
struct Contents {
    std::size_t variables = 0;
    std::size_t structures = 0;
    std::size_t functionBlocks = 0;
    std::size_t arrays = 0;
    std::size_t members = 0;
    std::uint32_t words = 0;
    std::uint32_t bits = 0;
};

inline Contents CountContents(CVarbank& dictionary) {
    const CSharedLock lock(dictionary.m_Lock);
    Contents counts;
    counts.variables = dictionary.m_Items.size();
    counts.words = dictionary.m_WordArea.Count;
    counts.bits = dictionary.m_BitArea.Count;
    for (const auto& [typeName, type] : dictionary.m_Types.m_TypesByName) {
        if (type == nullptr) {
            continue;
        }
        counts.arrays += type->IsArray() ? 1 : 0;
        counts.structures += type->IsStruct() ? 1 : 0;
        counts.functionBlocks += type->IsDFB() ? 1 : 0;
        if (type->IsStruct() || type->IsDFB()) {
            counts.members += static_cast<const CSymbXMLDDTCompositeDef&>(*type).m_Members.size();
        }
    }
    return counts;
}

// The stamp words of a dictionary, as a running PLC reports them for CheckDicoStamp.
inline PLCDicoStamping StampRecord(CVarbank& dictionary) {
    PLCDicoStamping record{};
    for (int i = 0; i < 7; ++i) {
        record.m_Words[i] = dictionary.m_Stamp[i];
    }
    return record;
}

// Writes the quick-save dump into `directory` instead of the dictionary's own folder; false
// with the reason when it was not written. The folder is swapped under the exclusive lock
// (recursive for its holder), so concurrent dumps never cross.
inline bool SaveDumpInto(CVarbank& dictionary, const std::string& directory, std::string& reason) {
    const CScopedLock lock(dictionary.m_Lock);
    const std::string previous = dictionary.m_DumpDirectory;
    dictionary.m_DumpDirectory = directory;
    bool written = false;
    reason = "the dictionary did not write it";
    try {
        written = dictionary.SaveBinaryForm();
    } catch (const std::exception& error) {
        reason = error.what();
    }
    dictionary.m_DumpDirectory = previous;
    return written;
}

// One call of SearchAndGetFF and everything it handed out.
class Resolution {
public:
    Resolution() = default;

    // Resolves `count` names forming one item (most hosts pass one).
    Resolution(CSymb& dictionary, std::uint32_t count, const char* const* names) {
        Run(dictionary, count, names);
    }

    Resolution(CSymb& dictionary, const std::string& name) {
        const char* names[] = {name.c_str()};
        Run(dictionary, 1, names);
    }

    HRESULT Status() const { return m_Status; }
    bool Resolved() const { return m_Status == S_OK && m_Record != nullptr; }
    // The host's copy of the record, or null when the name was refused.
    const ImplemRecord* Record() const { return m_Record.get(); }
    const std::string& Address() const { return m_Address; }
    const std::string& Comment() const { return m_Comment; }
    std::uint32_t PropertyCount() const { return m_PropertyCount; }
    const PropertyEntry* Properties() const { return m_Properties.get(); }

    // The UTF-8 text of a string property, or "" when the list does not hold it.
    std::string PropertyText(std::uint32_t id) const {
        for (std::uint32_t i = 0; i < m_PropertyCount; ++i) {
            const PropertyEntry& entry = m_Properties[i];
            if (entry.dwPropertyId == id && entry.vValue.vt == VT_BSTR) {
                return Utf16ToUtf8(entry.vValue.bstrVal);
            }
        }
        return {};
    }

private:
    struct FreeRecord {
        void operator()(ImplemRecord* record) const { std::free(record); }
    };

    void Run(CSymb& dictionary, std::uint32_t count, const char* const* names) {
        ImplemRecord* record = nullptr;
        PropertyEntry* properties = nullptr;
        m_Status = dictionary.SearchAndGetFF(count, names, m_Address, m_Comment, &record,
                                             &m_PropertyCount, &properties);
        m_Record.reset(record);
        m_Properties.reset(properties);
        if (properties == nullptr) {
            m_PropertyCount = 0;
        }
    }

    HRESULT m_Status = S_FALSE;
    std::string m_Address;
    std::string m_Comment;
    std::unique_ptr<ImplemRecord, FreeRecord> m_Record;
    std::uint32_t m_PropertyCount = 0;
    std::unique_ptr<PropertyEntry[]> m_Properties;
};

// What a browse asks for; the defaults list every child of the root.
struct BrowseRequest {
    std::string filter;
    std::string pattern = "*";
    VARTYPE varType = 0;
    std::string path;
    std::int32_t branchesOnly = 0;
    std::int32_t leaves = 1;
    std::int32_t branches = 1;
    std::u16string position;   // the position identifier (dictionary name, "!", path)
    std::uint32_t maximum = 0; // records per page; 0 lists everything at once
};

// One child of a browse page, in UTF-8.
struct BrowseChild {
    std::string name;
    std::string itemId;
    bool hasChildren = false;
};

// One call of BrowseElements: the records and their texts, released when the page goes.
class BrowsePage {
public:
    BrowsePage() = default;

    // Fetches the page that starts at `continuation` (empty: the first page).
    BrowsePage(CSymb& dictionary, const BrowseRequest& request,
               const std::u16string& continuation = {}) {
        if (request.maximum > 0) {
            // With a cap the host hands in a block of that many records.
            m_Records = static_cast<tagBROWSEELEMENT*>(
                CoTaskMemAlloc(std::size_t{request.maximum} * sizeof(tagBROWSEELEMENT)));
            if (m_Records == nullptr) {
                m_Status = E_OUTOFMEMORY;
                return;
            }
            m_Capacity = request.maximum;
        }
        std::u16string start = continuation;
        OLECHAR* point = continuation.empty() ? nullptr : start.data();
        std::int32_t more = 0;
        m_Status = dictionary.BrowseElements(
            request.filter.c_str(), request.pattern.c_str(), request.varType, request.path.c_str(),
            0, 0, request.branchesOnly, request.leaves, request.branches, 0, "",
            request.position.c_str(), &point, request.maximum, 0, 0, 0, 0, &more, &m_Count,
            &m_Records, &m_Capacity, nullptr);
        // The dictionary stores a new continuation text and leaves the one handed in to us.
        if (point != nullptr && point != start.data()) {
            m_Continuation = point;
            CoTaskMemFree(point);
        }
        m_More = more != 0;
        if (m_Records == nullptr) {
            m_Count = 0;
        }
    }

    BrowsePage(BrowsePage&& other) noexcept { *this = std::move(other); }
    BrowsePage& operator=(BrowsePage&& other) noexcept {
        if (this != &other) {
            Release();
            m_Status = other.m_Status;
            m_More = other.m_More;
            m_Continuation = std::move(other.m_Continuation);
            m_Records = std::exchange(other.m_Records, nullptr);
            m_Count = std::exchange(other.m_Count, 0);
            m_Capacity = std::exchange(other.m_Capacity, 0);
        }
        return *this;
    }
    BrowsePage(const BrowsePage&) = delete;
    BrowsePage& operator=(const BrowsePage&) = delete;
    ~BrowsePage() { Release(); }

    HRESULT Status() const { return m_Status; }
    // True when the dictionary has more children after this page.
    bool More() const { return m_More; }
    // The continuation text the dictionary returned (the next page's starting point).
    const std::u16string& Continuation() const { return m_Continuation; }
    std::uint32_t Count() const { return m_Count; }
    const tagBROWSEELEMENT* begin() const { return m_Records; }
    const tagBROWSEELEMENT* end() const { return m_Records + m_Count; }
    const tagBROWSEELEMENT& operator[](std::uint32_t i) const { return m_Records[i]; }

    BrowseChild Child(std::uint32_t i) const {
        const tagBROWSEELEMENT& record = m_Records[i];
        return {Utf16ToUtf8(record.pszName), Utf16ToUtf8(record.pszItemId),
                record.dwFlags == LISTING_KIND_BRANCH};
    }
    std::vector<BrowseChild> Children() const {
        std::vector<BrowseChild> children;
        children.reserve(m_Count);
        for (std::uint32_t i = 0; i < m_Count; ++i) {
            children.push_back(Child(i));
        }
        return children;
    }

private:
    void Release() {
        for (std::uint32_t i = 0; i < m_Count; ++i) {
            CoTaskMemFree(m_Records[i].pszName);
            CoTaskMemFree(m_Records[i].pszItemId);
        }
        CoTaskMemFree(m_Records);
        m_Records = nullptr;
        m_Count = 0;
        m_Capacity = 0;
    }

    HRESULT m_Status = S_FALSE;
    bool m_More = false;
    std::u16string m_Continuation;
    tagBROWSEELEMENT* m_Records = nullptr;
    std::uint32_t m_Count = 0;
    std::uint32_t m_Capacity = 0;
};

// Walks a browse page by page, following the continuation point:
//     BrowsePager pager(dictionary, request);
//     for (BrowsePage page; pager.Next(page);) { ... }
//     if (FAILED(pager.Status())) { ... }
class BrowsePager {
public:
    BrowsePager(CSymb& dictionary, BrowseRequest request)
        : m_Dictionary(dictionary), m_Request(std::move(request)) {}

    // Fetches the next page into `page`; false once the walk is over or a page failed.
    bool Next(BrowsePage& page) {
        if (m_Done) {
            return false;
        }
        page = BrowsePage(m_Dictionary, m_Request, m_Continuation);
        m_Status = page.Status();
        if (FAILED(m_Status)) {
            m_Done = true;
            return false;
        }
        // A page that returned nothing cannot move the continuation point on.
        m_Done = !page.More() || page.Count() == 0 || page.Continuation().empty();
        m_Continuation = page.Continuation();
        return true;
    }

    // The status of the last page fetched (S_FALSE before the first).
    HRESULT Status() const { return m_Status; }

private:
    CSymb& m_Dictionary;
    BrowseRequest m_Request;
    std::u16string m_Continuation;
    HRESULT m_Status = S_FALSE;
    bool m_Done = false;
};

} // namespace varbank
