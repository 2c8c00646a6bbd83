#include "CSymbKorvoAnalyser.h"
#include "CSymbXMLDDTArrayDef.h"
#include "CSymbXMLDDTStructDef.h"
#include "CSymbXMLDFBDef.h"
#include "MAPOFDDTDEF.h"

// Final-type walk of browse paths: not written yet, every path stops at once.

std::int32_t CSymbXMLDDTStructDef::FindFinalTypeForBrowse(CSymbKorvoAnalyser&, std::int32_t,
                                                          MAPOFDDTDEF&, CSymbXMLDDTDef*&,
                                                          std::uint16_t&, std::uint32_t&,
                                                          std::uint32_t&) {
    return 0;
}

std::int32_t CSymbXMLDFBDef::FindFinalTypeForBrowse(CSymbKorvoAnalyser&, std::int32_t, MAPOFDDTDEF&,
                                                    CSymbXMLDDTDef*&, std::uint16_t&,
                                                    std::uint32_t&, std::uint32_t&) {
    return 0;
}

std::int32_t CSymbXMLDDTArrayDef::FindFinalTypeForBrowse(CSymbKorvoAnalyser&, std::int32_t,
                                                         MAPOFDDTDEF&, CSymbXMLDDTDef*&,
                                                         std::uint16_t&, std::uint32_t&,
                                                         std::uint32_t&) {
    return 0;
}
