#include "Varbank/CSymbKorvoAnalyser.h"
#include "Varbank/CSymbXMLDDTDef.h"
#include "Varbank/CSymbXMLItemDef.h"
#include "Varbank/CVarbank.h"
#include "Varbank/ImplemRecord.h"
#include "Varbank/NarrowResolution.h"
#include "Varbank/PropertyEntry.h"
#include "Varbank/TextConversion.h"
#include "Varbank/VarbankCodes.h"
#include "Varbank/tagETYPMGRTypeCode.h"
#include "dictionary/ReadPass.h"
#include "platform/TextUtil.h"
#include "resolution/ItemResolution.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

constexpr HRESULT kRefused = -1;

void FillFromItem(const CSymbXMLItemDef& item, tagRATVARPHYSICALIMPLEM& record) {
    record = {};
    record.dwAreaKind = AREA_KIND_ORDINARY;
    record.wBlock = item.m_Block;
    record.dwOffset = item.m_Offset;
    record.dwSize = item.m_Size;
    record.dwTypeCode = item.m_TypeCode;
}

void FillFixedFields(tagRATVARPHYSICALIMPLEM& record, std::uint32_t stamp2, std::uint32_t stamp3) {
    record.dwReserved1 = 1;
    record.dwStampSum = stamp2 + stamp3; // wraps
}

// A bit number typed after a name selects one bit of a 2-byte element.
bool BitInRange(const tagRATVARPHYSICALIMPLEM& record, const std::string& bitText,
                std::uint8_t& bit) {
    const std::int32_t b = AtoiLike(bitText);
    if (record.dwSize != 2 || b < 0 || b > 15) {
        return false;
    }
    bit = static_cast<std::uint8_t>(b);
    return true;
}

// The property list: block, offset, size, type name, kind, info text and, when offered, the
// address text.
std::unique_ptr<PropertyEntry[]> MakeProperties(const ItemResolution& result, std::uint32_t count) {
    std::unique_ptr<PropertyEntry[]> list(new PropertyEntry[count]);
    const tagRATVARPHYSICALIMPLEM& record = result.record;
    list[0].dwPropertyId = PROPERTY_ID_BLOCK;
    VariantSetInt32(list[0].vValue, record.wBlock);
    list[1].dwPropertyId = PROPERTY_ID_OFFSET;
    VariantSetInt32(list[1].vValue, static_cast<std::int32_t>(record.dwOffset));
    list[2].dwPropertyId = PROPERTY_ID_SIZE;
    VariantSetInt32(list[2].vValue, static_cast<std::int32_t>(record.dwSize));
    list[3].dwPropertyId = PROPERTY_ID_TYPE_NAME;
    VariantSetText(list[3].vValue, *result.typeNameText);
    list[4].dwPropertyId = PROPERTY_ID_KIND;
    CSymbXMLItemDef::GetVarKind(record.dwTypeCode, list[4].vValue);
    list[5].dwPropertyId = PROPERTY_ID_INFO;
    VariantSetText(list[5].vValue, *result.infoText);
    if (count > 6) {
        list[6].dwPropertyId = PROPERTY_ID_ADDRESS;
        VariantSetText(list[6].vValue, result.address);
    }
    return list;
}

// Where the part that starts at `from` ends: at the first "." or "[" after it, or at the end.
// A plain loop: find_first_of searches the text once per character of the set.
std::size_t PartEnd(std::string_view name, std::size_t from) {
    std::size_t end = from;
    while (end < name.size() && name[end] != '.' && name[end] != '[') {
        ++end;
    }
    return end;
}

// True for a name that the analyser would turn into one name element: no "." or "[" in it, and
// not made of digits and "-" only (that would be a bit number).
bool IsPlainName(const std::string& name) {
    return PartEnd(name, 0) == name.size() && CSymbKorvoAnalyser::IsNumericFrom(name, 0) == 0;
}

// Hands the resolution to the host: every output is written, or none (out of memory).
HRESULT HandOut(ItemResolution& result, std::string& strAddress, std::string& strComment,
                ImplemRecord** ppRecord, std::uint32_t* pnProperties,
                PropertyEntry** ppProperties) {
    const std::uint32_t count = result.offerAddress && !result.address.empty() ? 7 : 6;
    std::unique_ptr<PropertyEntry[]> properties = MakeProperties(result, count);
    auto* copy = static_cast<ImplemRecord*>(std::malloc(sizeof(ImplemRecord)));
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    std::memcpy(&copy->Record, &result.record, sizeof(result.record));
    copy->dwAttribute = result.attribute;
    strAddress = std::move(result.address);
    strComment = std::move(result.comment);
    *pnProperties = count;
    *ppProperties = properties.release();
    *ppRecord = copy;
    return S_OK;
}

// A property text as the host reads it back from its wide copy: cut at its first NUL (the wide
// copy is read as a C string), each invalid UTF-8 sequence replaced. Plain ASCII is unchanged.
std::string AsThroughWide(const std::string& text) {
    const std::string_view kept(text.c_str());
    const bool ascii = std::all_of(kept.begin(), kept.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return ascii ? std::string(kept) : Utf16ToUtf8(Utf8ToUtf16(kept));
}

} // namespace

HRESULT CVarbank::SearchAndGetFF(std::uint32_t nNames, const char* const* ppszNames,
                                 std::string& strAddress, std::string& strComment,
                                 ImplemRecord** ppRecord, std::uint32_t* pnProperties,
                                 PropertyEntry** ppProperties) {
    if (ppszNames == nullptr || ppszNames[0] == nullptr || ppRecord == nullptr ||
        pnProperties == nullptr || ppProperties == nullptr) {
        return E_INVALIDARG;
    }
    if (nNames > 1) {
        return E_INVALIDARG;
    }
    *pnProperties = 0;
    *ppRecord = nullptr;
    *ppProperties = nullptr;
    ItemResolution result;
    const HRESULT hr = ResolveDetached(ppszNames[0], result);
    if (hr != S_OK) {
        return hr;
    }
    // The host's record, property list and wide texts are made from the resolution's own
    // copies, outside the lock: concurrent resolutions wait only for each other's lookups.
    return HandOut(result, strAddress, strComment, ppRecord, pnProperties, ppProperties);
}

HRESULT CVarbank::ResolveNarrow(const std::string& name, NarrowResolution& out) {
    const std::size_t first = std::min(name.find_first_not_of(' '), name.size());
    std::string trimmed = name.substr(first);
    ItemResolution result;
    // As ResolveDetached, but the property texts are converted where they stand, under the
    // lock, rather than copied out first and converted after.
    auto restart = [&] {
        trimmed = name.substr(first);
        result.Clear();
    };
    auto attempt = [&] {
        const HRESULT hr = ResolveItemName(trimmed, result);
        if (hr == S_OK) {
            out.typeName = AsThroughWide(*result.typeNameText);
            out.info = result.infoText != nullptr ? AsThroughWide(*result.infoText) : std::string();
        }
        return hr;
    };
    const HRESULT hr = RunRead(attempt, restart);
    if (hr != S_OK) {
        return hr;
    }
    std::memcpy(&out.implem.Record, &result.record, sizeof(result.record));
    out.implem.dwAttribute = result.attribute;
    out.addressListed = result.offerAddress && !result.address.empty();
    out.kind = CSymbXMLItemDef::VarKindText(result.record.dwTypeCode);
    out.address = std::move(result.address);
    out.comment = std::move(result.comment);
    return S_OK;
}

void CVarbank::PrefetchItems(const std::vector<std::string>& names) {
    struct Pending {
        std::string_view key; // the name's first part, as given (the map hashes it upper-cased)
        std::uint64_t hash;
        const CItemMap::Entry* entry;
    };
    std::vector<Pending> pending;
    pending.reserve(names.size());
    CSharedLock shared(m_Lock);
    for (const std::string& name : names) {
        const std::size_t first = name.find_first_not_of(' ');
        if (first == std::string::npos) {
            continue;
        }
        const std::string_view key =
            std::string_view(name).substr(first, PartEnd(name, first) - first);
        const std::uint64_t hash = CItemMap::KeyHash(key);
        m_Items.FetchSlot(hash);
        pending.push_back({key, hash, nullptr});
    }
    for (Pending& next : pending) {
        next.entry = m_Items.FetchEntry(next.hash);
    }
    for (const Pending& next : pending) {
        if (next.entry == nullptr || !CItemMap::IsUpperOf(next.entry->first, next.key) ||
            next.entry->second == nullptr) {
            continue;
        }
        const auto* item = reinterpret_cast<const char*>(next.entry->second);
        for (std::size_t line = 0; line <= sizeof(CSymbXMLItemDef); line += 64) {
            __builtin_prefetch(item + line);
        }
    }
}

HRESULT CVarbank::ResolveDetached(const char* given, ItemResolution& result) {
    std::string name = given;
    name.erase(0, name.find_first_not_of(' '));
    // A run made again starts from the name as given and an empty answer.
    auto restart = [&] {
        name = given;
        name.erase(0, name.find_first_not_of(' '));
        result.Clear();
    };
    auto attempt = [&] {
        const HRESULT hr = ResolveItemName(name, result);
        if (hr == S_OK) {
            result.Detach();
        }
        return hr;
    };
    return RunRead(attempt, restart);
}

// Analyses a name and resolves it; called with the lock held.
HRESULT CVarbank::ResolveItemName(std::string& name, ItemResolution& result) {
    if (IsPlainName(name)) {
        // A name without "." or "[" that is not all digits analyses to one name element; the
        // analyser, with its sixteen elements, is needed only for anything else.
        CSymbKorvoAnalysedItem element;
        element.m_bFirst = 1;
        element.m_strName = name;
        return ResolvePlainItem(element, name, result);
    }
    CSymbKorvoAnalyser analyser;
    if (analyser.Analyse(name, 0) == 0) {
        if (TraceOn()) {
            WriteTrace(
                StrFormat("KorvoPro Reader <%s>:SearchAndGetFF:Extract bit with bat bit index",
                          m_SourceName.c_str()));
        }
        return kRefused;
    }
    return analyser.m_nLast == 0 ? ResolvePlainItem(analyser.m_aItems[0], name, result)
                                 : ResolveMemberPath(analyser, result);
}

HRESULT CVarbank::ResolvePlainItem(const CSymbKorvoAnalysedItem& element, const std::string& name,
                                   ItemResolution& result) {
    const CSymbXMLItemDef* item = FindItem(element.m_strName);
    if (item == nullptr) {
        if (TraceOn()) {
            WriteTrace(StrFormat("KorvoPro Reader <%s> :SearchAndGetFF: invalid type for %s",
                                 m_SourceName.c_str(), name.c_str()));
        }
        return kRefused;
    }
    if (!item->IsElementaryType() && m_Types.IsDFBType(item->m_TypeName)) {
        if (TraceOn()) {
            WriteTrace(StrFormat("KorvoPro Reader <%s>:SearchAndGetFF:Can't animate FULL DFB",
                                 m_SourceName.c_str()));
        }
        return kRefused;
    }
    tagRATVARPHYSICALIMPLEM& record = result.record;
    FillFromItem(*item, record);
    std::string address = item->m_Address;
    if (element.m_bBit != 0) {
        if (!BitInRange(record, element.m_strIndex, record.byBit)) {
            return kRefused;
        }
        record.dwAccessKind = ACCESS_KIND_BIT;
        record.dwTypeCode = ETYPMGR_BOOL;
        if (!address.empty()) {
            address += "." + element.m_strIndex;
        }
    } else if (item->m_Bit != BIT_NONE) {
        record.dwAccessKind = ACCESS_KIND_BIT;
        record.byBit = item->m_Bit;
        record.dwTypeCode = ETYPMGR_BOOL;
        if ((record.dwOffset & 1U) != 0) {
            // A bit of the odd byte is a bit of the high byte of the word.
            record.dwOffset -= 1;
            record.byBit = static_cast<std::uint8_t>(record.byBit + 8);
        }
        record.dwSize = 2;
    } else {
        record.dwAccessKind = ACCESS_KIND_WHOLE;
        record.byBit = BIT_NONE;
    }
    FillFixedFields(record, m_Stamp[2], m_Stamp[3]);
    if (address.empty()) {
        FormatPhysicalAddress(static_cast<std::int32_t>(record.dwAreaKind), record.wBlock,
                              record.dwOffset, record.byBit,
                              static_cast<std::int32_t>(record.dwSize), record.dwTypeCode, address);
    }
    result.address = std::move(address);
    result.offerAddress = true;
    result.comment = item->m_Comment;
    result.typeNameText = &item->m_TypeName;
    result.infoText = &item->m_InfoText;
    result.attribute = item->m_Attribute;
    return S_OK;
}

HRESULT CVarbank::ResolveMemberPath(CSymbKorvoAnalyser& analyser, ItemResolution& result) {
    const std::string& first = analyser.m_aItems[0].m_strName;
    const CSymbXMLItemDef* item = FindItem(first);
    if (item == nullptr) {
        if (TraceOn()) {
            WriteTrace(StrFormat("KorvoPro Reader <%s>:SearchAndGetFF: unknown variable %s",
                                 m_SourceName.c_str(), first.c_str()));
        }
        return kRefused;
    }
    CSymbXMLDDTDef* type = nullptr;
    if (m_Types.FindTypeInList(item->m_TypeName, type) == 0 || type == nullptr) {
        if (TraceOn()) {
            WriteTrace(StrFormat("KorvoPro Exported Reader:SearchAndGetFF: invalid type %s for %s",
                                 item->m_TypeName.c_str(), first.c_str()));
        }
        return kRefused;
    }
    tagRATVARPHYSICALIMPLEM& record = result.record;
    FillFromItem(*item, record);
    record.dwAccessKind = ACCESS_KIND_WHOLE;
    record.byBit = BIT_NONE;
    std::string unitText;
    if (type->AnalyseSubPart(m_Types, analyser, 1, 1, record, result.typeName, result.comment,
                             unitText) == 0) {
        return E_INVALIDARG;
    }
    const CSymbKorvoAnalysedItem& last = analyser.m_aItems[analyser.m_nLast];
    if ((record.dwAccessKind == ACCESS_KIND_WHOLE || record.dwAccessKind == ACCESS_KIND_ELEMENT) &&
        last.m_bBit != 0) {
        if (!BitInRange(record, last.m_strIndex, record.byBit)) {
            return kRefused;
        }
        if (record.dwAccessKind != ACCESS_KIND_ELEMENT) {
            record.dwAccessKind = ACCESS_KIND_BIT;
        }
        record.dwTypeCode = ETYPMGR_BOOL;
    }
    FillFixedFields(record, m_Stamp[2], m_Stamp[3]);
    result.attribute = static_cast<std::int32_t>(record.dwAreaKind) >= AREA_KIND_SECONDARY
                           ? 1U
                           : std::uint32_t{item->m_Attribute};
    result.infoText = &item->m_InfoText;
    if (unitText.empty()) {
        FormatPhysicalAddress(
            static_cast<std::int32_t>(record.dwAreaKind), record.wBlock, record.dwOffset,
            record.byBit, static_cast<std::int32_t>(record.dwSize), record.dwTypeCode, unitText);
    }
    // Only a direct address reaches the client; a "U-" unit text does not.
    if (!unitText.empty() && unitText[0] == '%') {
        result.address = std::move(unitText);
    }
    return S_OK;
}
