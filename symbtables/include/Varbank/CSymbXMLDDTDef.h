#pragma once

#include "PlatformApi.h"
#include "Variant.h"
#include "tagETYPMGRTypeCode.h"

#include <cstdint>
#include <string>
#include <vector>

class CSymbKorvoAnalyser;
class CTextFile;
class CVarbank;
class MAPOFDDTDEF;
struct BrowsePosition;
struct BrowseRequest;
struct ListingPage;
struct tagRATVARPHYSICALIMPLEM;

// Base of every derived type (structures, arrays, function blocks). The catalogue owns the
// objects and deletes them through the virtual destructor.
class VARBANK_API CSymbXMLDDTDef {
public:
    CSymbXMLDDTDef() = default;
    virtual ~CSymbXMLDDTDef();

    virtual bool IsDFB() const;
    virtual bool IsStruct() const;
    virtual bool IsArray() const = 0;
    // Walks a browse path down to the derived type at its end, carrying the position along.
    virtual std::int32_t FindFinalTypeForBrowse(CSymbKorvoAnalyser& analyser, std::int32_t level,
                                                MAPOFDDTDEF& catalogue, CSymbXMLDDTDef*& finalType,
                                                std::uint16_t& block, std::uint32_t& offset,
                                                std::uint32_t& size) = 0;
    // Consumes path element nLevel of an item name and updates the record.
    virtual std::int32_t AnalyseSubPart(MAPOFDDTDEF& catalogue, CSymbKorvoAnalyser& analyser,
                                        std::int32_t nLevel, std::int32_t bOrdinaryArea,
                                        tagRATVARPHYSICALIMPLEM& record, std::string& strTypeName,
                                        std::string& strComment, std::string& strUnitText) = 0;
    // Lists the children of a browse position; always returns 0.
    virtual std::int32_t
    BuildCollectionFrom(const std::string& filter, const std::string& pattern, VARTYPE varType,
                        const std::string& position, std::uint32_t reservedA,
                        std::uint32_t reservedB, std::int32_t branchesOnly, std::int32_t leaves,
                        std::int32_t branches, std::uint16_t block, std::uint32_t offset,
                        std::uint32_t size, std::int32_t columnCount,
                        const std::string& columnCodes, std::vector<std::string>& output,
                        std::vector<std::string>* secondList, CVarbank* dico,
                        std::vector<std::uint16_t>& kinds) = 0;
    // One page of that listing for a browse position, the same entries and kinds. Arrays,
    // structures and function blocks find the page's first child directly; this default lists
    // every child and keeps the page.
    virtual void BuildCollectionPage(const BrowseRequest& request, const BrowsePosition& position,
                                     const ListingPage& page, CVarbank& dico,
                                     std::vector<std::string>& output,
                                     std::vector<std::uint16_t>& kinds);
    virtual void RemoveDFBMember(MAPOFDDTDEF* catalogue) = 0;
    virtual bool IsOfKorvoType(tagETYPMGRTypeCode code, MAPOFDDTDEF& catalogue) = 0;
    virtual void DefineSubType(MAPOFDDTDEF* catalogue);
    virtual bool SaveBinary(CTextFile& file) = 0;
    virtual bool LoadBinary(CTextFile& file) = 0;
    virtual std::string GetDisplayName() const;
    virtual std::uint32_t GetTypeCode() const;
    virtual std::uint16_t GetAuxVarType() const;
    virtual void SetKORVOTypeBase(std::uint32_t code);

    // Classifies an elementary type name, upper-casing it in place. True with its size and
    // code for an elementary type; otherwise code 2 and false (size untouched).
    static bool ClassifyTypeName(std::string& typeName, std::uint32_t& size, std::uint32_t& code);

    std::string m_Name;
    std::uint32_t m_Id = 0;
    std::string m_AltTypeName;

protected:
    CSymbXMLDDTDef(const CSymbXMLDDTDef&) = default;
    CSymbXMLDDTDef& operator=(const CSymbXMLDDTDef&) = default;
};
