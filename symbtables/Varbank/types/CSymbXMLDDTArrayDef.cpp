#include "Varbank/CSymbXMLDDTArrayDef.h"

#include "Varbank/CVarbank.h"
#include "Varbank/MAPOFDDTDEF.h"
#include "Varbank/MatchNamePattern.h"
#include "Varbank/TextFile.h"
#include "Varbank/VarbankCodes.h"
#include "browse/BrowsePosition.h"
#include "browse/BrowseRequest.h"
#include "platform/TextUtil.h"
#include "types/DerivedTypeListing.h"
#include "types/ElementaryTypes.h"
#include "types/ListingPage.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>
#include <string_view>

namespace {

bool IsScanSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Reads one signed decimal number as the scan directive %d does: blanks skipped, an optional
// sign, at least one digit. A value outside the 32-bit range is not read at all (no number),
// so that an out-of-range bound stops the parse instead of wrapping into a wrong bound.
std::optional<std::int32_t> ScanInt(std::string_view text, std::size_t& pos) {
    std::size_t at = pos;
    while (at < text.size() && IsScanSpace(text[at])) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    const std::size_t digitsStart = at;
    constexpr std::int64_t kMagnitudeLimit = std::int64_t{1} << 31;
    std::int64_t magnitude = 0;
    bool tooLarge = false;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        magnitude = std::min(magnitude * 10 + (text[at] - '0'), kMagnitudeLimit + 1);
        tooLarge = tooLarge || magnitude > kMagnitudeLimit;
        ++at;
    }
    if (at == digitsStart) {
        return std::nullopt;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (tooLarge || value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    pos = at;
    return static_cast<std::int32_t>(value);
}

// One "%d..%d" pair from pos: the dots must follow the low bound directly. On success pos moves
// behind the high bound.
std::optional<CSymbXMLDDTArrayDef::Bounds> ScanBounds(std::string_view text, std::size_t& pos) {
    std::size_t at = pos;
    const auto low = ScanInt(text, at);
    if (!low || text.substr(at, 2) != "..") {
        return std::nullopt;
    }
    at += 2;
    const auto high = ScanInt(text, at);
    if (!high) {
        return std::nullopt;
    }
    pos = at;
    return CSymbXMLDDTArrayDef::Bounds{*low, *high};
}

// The name of element `index` below a position: the position text and "[index]".
std::string ElementName(const std::string& position, std::int64_t index) {
    return position + StrFormat("[%d]", static_cast<int>(index));
}

} // namespace

CSymbXMLDDTArrayDef::CSymbXMLDDTArrayDef(const std::string& arrayText) {
    m_Name = arrayText;
    // Without " OF " the element type name stays empty: neither elementary nor a known type.
    const std::size_t of = arrayText.find(" OF ");
    SetType(of == std::string::npos ? std::string() : arrayText.substr(of + 4));
    const std::size_t bracket = arrayText.find('[');
    if (bracket != std::string::npos) {
        ParseBounds(std::string_view(arrayText).substr(bracket + 1));
    }
    m_AuxVarType = 0;
}

CSymbXMLDDTArrayDef::CSymbXMLDDTArrayDef(const CSymbXMLDDTArrayDef& other)
    : CSymbXMLDDTDef(other), m_ElementTypeName(other.m_ElementTypeName),
      m_DimCount(other.m_DimCount), m_TypeCode(other.m_TypeCode),
      m_ElemVarType(other.m_ElemVarType), m_AuxVarType(other.m_AuxVarType) {
    std::copy(std::begin(other.m_Dims), std::end(other.m_Dims), std::begin(m_Dims));
}

CSymbXMLDDTArrayDef::~CSymbXMLDDTArrayDef() = default;

void CSymbXMLDDTArrayDef::ParseBounds(std::string_view bounds) {
    // Pairs "low..high" separated by ","; the parse stops at "]", at anything that is not a
    // pair, and at a bound outside the 32-bit range (the pairs read before it are kept). Only
    // the first kMaxDims pairs are kept; the rest of the text is ignored.
    m_DimCount = 0;
    std::size_t pos = 0;
    while (m_DimCount < kMaxDims) {
        if (pos < bounds.size() && bounds[pos] == ']') {
            break;
        }
        if (pos < bounds.size() && bounds[pos] == ',') {
            ++pos;
        }
        const auto pair = ScanBounds(bounds, pos);
        if (!pair) {
            break;
        }
        m_Dims[m_DimCount] = *pair;
        ++m_DimCount;
    }
}

bool CSymbXMLDDTArrayDef::IsArray() const {
    return true;
}

void CSymbXMLDDTArrayDef::RemoveDFBMember(MAPOFDDTDEF*) {}

bool CSymbXMLDDTArrayDef::LoadBinary(CTextFile&) {
    return false;
}

std::string CSymbXMLDDTArrayDef::GetDisplayName() const {
    if (m_Name.compare(0, 11, "%TEMP_ARRAY") == 0) {
        return m_AltTypeName;
    }
    return m_Name;
}

std::uint32_t CSymbXMLDDTArrayDef::GetTypeCode() const {
    return m_TypeCode;
}

std::uint16_t CSymbXMLDDTArrayDef::GetAuxVarType() const {
    return m_AuxVarType;
}

void CSymbXMLDDTArrayDef::SetType(const std::string& elementTypeName) {
    m_ElementTypeName = elementTypeName;
    if (const auto element = FindElementaryType(m_ElementTypeName, true)) {
        m_ElemVarType = element->varType;
        m_TypeCode = element->declaredArrayCode;
        return;
    }
    m_ElemVarType = 0;
    m_TypeCode = kTypeCodeUnknown;
}

void CSymbXMLDDTArrayDef::SetKORVOTypeBase(std::uint32_t code) {
    if (const ElementaryType* element = FindElementaryArrayKind(code)) {
        m_TypeCode = element->arrayCode;
        m_ElemVarType = element->variableArrayVarType;
        return;
    }
    if (IsArrayTypeCode(code)) {
        // Taken back to its element's code, bit 0x80 is clear: one level of recursion.
        SetKORVOTypeBase(ElementCodeOfArray(code));
        return;
    }
    m_TypeCode = kTypeCodeDerived;
    m_ElemVarType = kVarTypeDerived;
}

// The first pair of m_Dims decides, whatever m_DimCount says: an array text without bounds keeps
// the initial pair 0..0 and so has one element.
std::uint32_t CSymbXMLDDTArrayDef::ElementCount() const {
    if (m_Dims[0].high < m_Dims[0].low) {
        return 0;
    }
    const std::int64_t count = std::int64_t{m_Dims[0].high} - m_Dims[0].low + 1;
    // The full 32-bit range has 2^32 elements, which a 32-bit count cannot hold.
    if (count > std::int64_t{std::numeric_limits<std::uint32_t>::max()}) {
        return 0;
    }
    return static_cast<std::uint32_t>(count);
}

bool CSymbXMLDDTArrayDef::ValidateIndex(const std::string& indexText, std::int32_t& index) const {
    // An array without elements accepts no index, and a zero-based index must fit the result.
    if (ElementCount() == 0) {
        return false;
    }
    const std::int32_t value = AtoiLike(indexText);
    if (value < m_Dims[0].low || value > m_Dims[0].high) {
        return false;
    }
    const std::int64_t zeroBased = std::int64_t{value} - m_Dims[0].low;
    if (zeroBased > std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    index = static_cast<std::int32_t>(zeroBased);
    return true;
}

bool CSymbXMLDDTArrayDef::IsAnEDT() const {
    return m_ElemVarType != 0;
}

bool CSymbXMLDDTArrayDef::IsAccessedWhole() const {
    return false;
}

bool CSymbXMLDDTArrayDef::IsOfKorvoType(tagETYPMGRTypeCode code, MAPOFDDTDEF& catalogue) {
    std::uint32_t size = 0;
    std::uint32_t elementCode = 0;
    if (ClassifyTypeName(m_ElementTypeName, size, elementCode)) {
        return elementCode == code;
    }
    // A host type may name itself as its element, directly or through other arrays: a type
    // that is already being asked answers false instead of recursing without end.
    if (m_AskingKorvoType) {
        return false;
    }
    CSymbXMLDDTDef* element = nullptr;
    if (catalogue.FindTypeInList(m_ElementTypeName, element) == 0 || element == nullptr) {
        return false;
    }
    m_AskingKorvoType = true;
    const bool result = element->IsOfKorvoType(code, catalogue);
    m_AskingKorvoType = false;
    return result;
}

void CSymbXMLDDTArrayDef::DefineSubType(MAPOFDDTDEF*) {
    const std::string elementTypeName = m_ElementTypeName;
    SetType(elementTypeName);
}

void CSymbXMLDDTArrayDef::setAlternateType(const CSymbXMLDDTArrayDef* source, std::int32_t level) {
    // A source without dimensions has no readable text: the alternate name is left as it is.
    if (source == nullptr || source->m_DimCount < 1) {
        return;
    }
    const std::int32_t dimCount = std::min(source->m_DimCount, kMaxDims);
    const Bounds& last = source->m_Dims[dimCount - 1];
    // Dimensions dimCount-1-k .. dimCount-2 in order, then the last one and the element type.
    std::string text = "ARRAY[";
    const std::int32_t firstMiddle = dimCount - 1 - std::max(0, std::min(level, dimCount - 1));
    for (std::int32_t i = firstMiddle; i < dimCount - 1; ++i) {
        text += StrFormat("%i..%i,", source->m_Dims[i].low, source->m_Dims[i].high);
    }
    text += StrFormat("%i..%i] OF ", last.low, last.high);
    text += source->m_ElementTypeName;
    m_AltTypeName = std::move(text);
}

std::int32_t CSymbXMLDDTArrayDef::BuildCollectionFrom(
    const std::string&, const std::string& pattern, VARTYPE varType, const std::string& position,
    std::uint32_t, std::uint32_t, std::int32_t branchesOnly, std::int32_t leaves,
    std::int32_t branches, std::uint16_t block, std::uint32_t offset, std::uint32_t size,
    std::int32_t columnCount, const std::string& columnCodes, std::vector<std::string>& output,
    std::vector<std::string>*, CVarbank* dico, std::vector<std::uint16_t>& kinds) {
    const auto listing =
        ElementListingFor(pattern, varType, position, ListingFlags{branchesOnly, leaves, branches},
                          block, offset, size, columnCount, columnCodes, dico);
    if (listing) {
        ListElements(*listing, *dico, m_Dims[0].low, std::numeric_limits<std::size_t>::max(),
                     output, kinds);
    }
    return 0;
}

void CSymbXMLDDTArrayDef::BuildCollectionPage(const BrowseRequest& request,
                                              const BrowsePosition& position,
                                              const ListingPage& page, CVarbank& dico,
                                              std::vector<std::string>& output,
                                              std::vector<std::uint16_t>& kinds) {
    const auto listing = ElementListingFor(
        request.pattern, request.varType, position.positionText,
        ListingFlags{request.branchesOnly, request.leaves, request.branches}, position.block,
        position.offset, position.size, request.columnCount, request.columnCodes, &dico);
    if (!listing) {
        return;
    }
    std::int64_t first = m_Dims[0].low;
    if (!page.continuation.empty()) {
        const auto index = ContinuationIndex(*listing, dico, page.continuation);
        if (!index) {
            return;
        }
        first = *index;
    }
    ListElements(*listing, dico, first, page.limit, output, kinds);
}

std::optional<CSymbXMLDDTArrayDef::ElementListing> CSymbXMLDDTArrayDef::ElementListingFor(
    const std::string& pattern, VARTYPE varType, const std::string& position,
    const ListingFlags& flags, std::uint16_t block, std::uint32_t offset, std::uint32_t size,
    std::int32_t columnCount, const std::string& columnCodes, CVarbank* dico) {
    // Without a dictionary there is neither catalogue nor address text: nothing is listed.
    if (dico == nullptr) {
        return std::nullopt;
    }
    std::uint32_t elementarySize = 0;
    std::uint32_t elementCode = 0;
    const bool elementary = ClassifyTypeName(m_ElementTypeName, elementarySize, elementCode);
    CSymbXMLDDTDef* element = nullptr;
    dico->m_Types.FindTypeInList(m_ElementTypeName, element);
    // No element (no dimension, reversed or wrapped bounds): nothing listed, nothing divided.
    const std::uint32_t count = ElementCount();
    const bool derived = !elementary && element != nullptr;
    const bool listed =
        (flags.branchesOnly != 0 && derived) || (flags.branches != 0 && derived) ||
        (flags.leaves != 0 && !derived && PassesVarTypeFilter(varType, m_ElemVarType));
    if (count == 0 || !listed) {
        return std::nullopt;
    }
    // An element type that is neither elementary nor in the catalogue shows its name as written.
    std::string displayType = derived ? element->GetDisplayName() : m_ElementTypeName;
    return ElementListing{position,
                          pattern,
                          block,
                          offset,
                          size / count,
                          columnCount,
                          columnCodes,
                          std::move(displayType),
                          elementary ? elementCode : kTypeCodeUnknown,
                          ListingKindWord(elementary)};
}

std::int64_t CSymbXMLDDTArrayDef::LastListedIndex() const {
    return IsAccessedWhole() ? std::int64_t{m_Dims[0].low} : std::int64_t{m_Dims[0].high};
}

void CSymbXMLDDTArrayDef::ListElements(const ElementListing& listing, const CVarbank& dico,
                                       std::int64_t first, std::size_t limit,
                                       std::vector<std::string>& output,
                                       std::vector<std::uint16_t>& kinds) const {
    const std::int64_t last = LastListedIndex();
    std::size_t listed = 0;
    // 64-bit index, so that a high bound at the top of the 32-bit range ends the loop.
    for (std::int64_t i = first; i <= last && listed < limit; ++i) {
        YieldListing();
        const std::string name = ElementName(listing.position, i);
        if (!MatchNamePattern(name, listing.pattern)) {
            continue;
        }
        output.push_back(ElementEntry(listing, dico, i, name));
        kinds.push_back(listing.kindWord);
        ++listed;
    }
}

std::string CSymbXMLDDTArrayDef::ElementEntry(const ElementListing& listing, const CVarbank& dico,
                                              std::int64_t index, const std::string& name) const {
    // 32-bit arithmetic, as every other offset of the module.
    const std::uint32_t elementOffset =
        static_cast<std::uint32_t>(index - m_Dims[0].low) * listing.elementSize + listing.offset;
    std::string addressText;
    dico.FormatPhysicalAddress(AREA_KIND_ORDINARY, listing.block, elementOffset, BIT_NONE,
                               static_cast<std::int32_t>(listing.elementSize), listing.elementCode,
                               addressText);
    const std::string column =
        AddressColumnText(listing.displayType, listing.block, elementOffset, addressText);
    return ListedEntry(name, listing.columnCount, listing.columnCodes, column, nullptr);
}

std::optional<std::int64_t>
CSymbXMLDDTArrayDef::ContinuationIndex(const ElementListing& listing, const CVarbank& dico,
                                       const std::string& continuation) const {
    // The entry starts with the position text and "[index]": the index is read back from it,
    // and the element counts only when its own entry is the whole text.
    const std::size_t open = listing.position.size();
    if (continuation.size() <= open || continuation.compare(0, open, listing.position) != 0 ||
        continuation[open] != '[') {
        return std::nullopt;
    }
    std::int64_t index = 0;
    const char* const digits = continuation.data() + open + 1;
    const auto read = std::from_chars(digits, continuation.data() + continuation.size(), index);
    if (read.ec != std::errc() || index < m_Dims[0].low || index > LastListedIndex()) {
        return std::nullopt;
    }
    const std::string name = ElementName(listing.position, index);
    if (!MatchNamePattern(name, listing.pattern) ||
        ElementEntry(listing, dico, index, name) != continuation) {
        return std::nullopt;
    }
    return index;
}

bool CSymbXMLDDTArrayDef::SaveBinary(CTextFile& file) {
    file.WriteString("DDTArray \nDDTArray " + m_Name + " \n");
    file.WriteString(StrFormat("%X \n", m_Id));
    file.WriteString(" " + m_ElementTypeName + " \n");
    file.WriteString(StrFormat(" %X \n", static_cast<unsigned>(m_ElemVarType)));
    file.WriteString(StrFormat(" %d \n", m_DimCount));
    const std::int32_t dimCount = std::min(m_DimCount, kMaxDims);
    for (std::int32_t i = 0; i < dimCount; ++i) {
        file.WriteString(StrFormat(" %X %X \n", static_cast<std::uint32_t>(m_Dims[i].low),
                                   static_cast<std::uint32_t>(m_Dims[i].high)));
    }
    return true;
}

std::string& CSymbXMLDDTArrayDef::getNextTempArrayName(std::string& name, CVarbank* dico) {
    if (dico == nullptr) {
        return name;
    }
    name = StrFormat("%%TEMP_ARRAY%i", dico->m_TempArrayCounter);
    ++dico->m_TempArrayCounter;
    return name;
}
