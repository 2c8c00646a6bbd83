#pragma once

#include "CSymbXMLDDTDef.h"
#include "PlatformApi.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CVarbank;
struct ListingFlags;

// The array type. The catalogue builds it from an array text such as ARRAY[0..9] OF INT and
// splits multi-dimensional texts into chains of one-dimensional arrays with temporary names.
class VARBANK_API CSymbXMLDDTArrayDef : public CSymbXMLDDTDef {
public:
    static constexpr std::int32_t kMaxDims = 10;

    struct Bounds {
        std::int32_t low;
        std::int32_t high;
    };

    CSymbXMLDDTArrayDef() = default;
    // Parses an array text: element type behind the first " OF ", bounds behind the first "[".
    explicit CSymbXMLDDTArrayDef(const std::string& arrayText);
    CSymbXMLDDTArrayDef(const CSymbXMLDDTArrayDef& other);
    CSymbXMLDDTArrayDef& operator=(const CSymbXMLDDTArrayDef&) = delete;
    ~CSymbXMLDDTArrayDef() override;

    bool IsArray() const override;
    std::int32_t FindFinalTypeForBrowse(CSymbKorvoAnalyser& analyser, std::int32_t level,
                                        MAPOFDDTDEF& catalogue, CSymbXMLDDTDef*& finalType,
                                        std::uint16_t& block, std::uint32_t& offset,
                                        std::uint32_t& size) override;
    std::int32_t AnalyseSubPart(MAPOFDDTDEF& catalogue, CSymbKorvoAnalyser& analyser,
                                std::int32_t nLevel, std::int32_t bOrdinaryArea,
                                tagRATVARPHYSICALIMPLEM& record, std::string& strTypeName,
                                std::string& strComment, std::string& strUnitText) override;
    std::int32_t BuildCollectionFrom(const std::string& filter, const std::string& pattern,
                                     VARTYPE varType, const std::string& position,
                                     std::uint32_t reservedA, std::uint32_t reservedB,
                                     std::int32_t branchesOnly, std::int32_t leaves,
                                     std::int32_t branches, std::uint16_t block,
                                     std::uint32_t offset, std::uint32_t size,
                                     std::int32_t columnCount, const std::string& columnCodes,
                                     std::vector<std::string>& output,
                                     std::vector<std::string>* secondList, CVarbank* dico,
                                     std::vector<std::uint16_t>& kinds) override;
    // Starts at the element that the continuation entry names, read from its index.
    void BuildCollectionPage(const BrowseRequest& request, const BrowsePosition& position,
                             const ListingPage& page, CVarbank& dico,
                             std::vector<std::string>& output,
                             std::vector<std::uint16_t>& kinds) override;
    void RemoveDFBMember(MAPOFDDTDEF* catalogue) override;
    bool IsOfKorvoType(tagETYPMGRTypeCode code, MAPOFDDTDEF& catalogue) override;
    void DefineSubType(MAPOFDDTDEF* catalogue) override;
    bool SaveBinary(CTextFile& file) override;
    bool LoadBinary(CTextFile& file) override;
    std::string GetDisplayName() const override;
    std::uint32_t GetTypeCode() const override;
    std::uint16_t GetAuxVarType() const override;
    void SetKORVOTypeBase(std::uint32_t code) override;

    // Operations of arrays only, in this order.
    // The decimal value of the index text (as atoi reads it) within the first dimension's
    // bounds: stores value - low in index and returns true; otherwise false, index untouched.
    // An array without elements (see ElementCount) accepts no index, nor one whose zero-based
    // value does not fit 32 bits.
    virtual bool ValidateIndex(const std::string& indexText, std::int32_t& index) const;
    // Element type name -> m_ElementTypeName, m_ElemVarType, m_TypeCode (keywords ignore case).
    virtual void SetType(const std::string& elementTypeName);
    virtual bool IsAnEDT() const;
    virtual bool IsAccessedWhole() const;

    // Readable text of the last level + 1 dimensions of a multi-dimensional source array.
    void setAlternateType(const CSymbXMLDDTArrayDef* source, std::int32_t level);
    // Element count of the first bound pair (high - low + 1; 1 for an array text without bounds,
    // whose pair stays 0..0); 0 when the bounds are reversed or the count does not fit 32 bits,
    // so that callers never divide by it.
    std::uint32_t ElementCount() const;

    // Formats the next temporary array name ("%TEMP_ARRAY" and the dictionary's counter) into
    // name and advances the counter; returns name. Without a dictionary name is left as it is.
    static std::string& getNextTempArrayName(std::string& name, CVarbank* dico);

    std::string m_ElementTypeName;
    std::int32_t m_DimCount = 0;
    Bounds m_Dims[kMaxDims] = {};
    std::uint32_t m_TypeCode = kTypeCodeUnknown;
    std::uint16_t m_ElemVarType = 0;
    std::uint16_t m_AuxVarType = 0;

private:
    // What the listing needs to write each element's entry.
    struct ElementListing {
        const std::string& position;
        const std::string& pattern;
        std::uint16_t block;
        std::uint32_t offset;
        std::uint32_t elementSize;
        std::int32_t columnCount;
        const std::string& columnCodes;
        std::string displayType;
        std::uint32_t elementCode;
        std::uint16_t kindWord;
    };

    // Reads the "low..high" pairs of the text behind the first "[" into m_Dims.
    void ParseBounds(std::string_view bounds);
    // The listing of the elements at a position, or none when nothing is listed: no dictionary,
    // no element, or a kind selection that leaves the elements out.
    std::optional<ElementListing> ElementListingFor(const std::string& pattern, VARTYPE varType,
                                                    const std::string& position,
                                                    const ListingFlags& flags, std::uint16_t block,
                                                    std::uint32_t offset, std::uint32_t size,
                                                    std::int32_t columnCount,
                                                    const std::string& columnCodes, CVarbank* dico);
    // Lists at most `limit` elements that pass the name pattern, from index `first` on.
    void ListElements(const ElementListing& listing, const CVarbank& dico, std::int64_t first,
                      std::size_t limit, std::vector<std::string>& output,
                      std::vector<std::uint16_t>& kinds) const;
    // The listed entry of element `index`, whose name is given.
    std::string ElementEntry(const ElementListing& listing, const CVarbank& dico,
                             std::int64_t index, const std::string& name) const;
    // The index of the element whose entry is the continuation text, when it is listed.
    std::optional<std::int64_t> ContinuationIndex(const ElementListing& listing,
                                                  const CVarbank& dico,
                                                  const std::string& continuation) const;
    // The last index that the listing reaches.
    std::int64_t LastListedIndex() const;

    // Set while IsOfKorvoType asks the element type, so that a cycle of host types ends.
    bool m_AskingKorvoType = false;
};
