#pragma once

#include "CSymbXMLDDTCompositeDef.h"
#include "PlatformApi.h"

// A function-block type: members like a structure; after loading, members that are themselves
// function-block instances are removed (all but one at index 0).
class VARBANK_API CSymbXMLDFBDef : public CSymbXMLDDTCompositeDef {
public:
    CSymbXMLDFBDef() = default;
    ~CSymbXMLDFBDef() override;

    bool IsDFB() const override;
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
    std::string MemberAddressColumn(const CSymbXMLDDTMember& member, std::uint16_t block,
                                    std::uint32_t offset,
                                    const std::string& addressText) const override;
    bool SelectsMember(CSymbXMLDDTMember& member, bool elementary, const ListingFlags& flags,
                       VARTYPE varType, MAPOFDDTDEF& catalogue) override;

private:
    // Forgets the index entry of a removed position and moves the later ones down by one.
    void RenumberAfterRemoval(std::int32_t removed);
};
