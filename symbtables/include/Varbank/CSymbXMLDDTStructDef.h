#pragma once

#include "CSymbXMLDDTCompositeDef.h"
#include "PlatformApi.h"

// A structure type: a list of members, each at its offset from the start of the structure.
class VARBANK_API CSymbXMLDDTStructDef : public CSymbXMLDDTCompositeDef {
public:
    CSymbXMLDDTStructDef() = default;
    ~CSymbXMLDDTStructDef() override;

    bool IsStruct() const override;
    std::int32_t FindFinalTypeForBrowse(CSymbKorvoAnalyser& analyser, std::int32_t level,
                                        MAPOFDDTDEF& catalogue, CSymbXMLDDTDef*& finalType,
                                        std::uint16_t& block, std::uint32_t& offset,
                                        std::uint32_t& size) override;
    std::int32_t AnalyseSubPart(MAPOFDDTDEF& catalogue, CSymbKorvoAnalyser& analyser,
                                std::int32_t nLevel, std::int32_t bOrdinaryArea,
                                tagRATVARPHYSICALIMPLEM& record, std::string& strTypeName,
                                std::string& strComment, std::string& strUnitText) override;
    void RemoveDFBMember(MAPOFDDTDEF* catalogue) override;
    bool SaveBinary(CTextFile& file) override;

protected:
    bool SelectsMember(CSymbXMLDDTMember& member, bool elementary, const ListingFlags& flags,
                       VARTYPE varType, MAPOFDDTDEF& catalogue) override;
};
