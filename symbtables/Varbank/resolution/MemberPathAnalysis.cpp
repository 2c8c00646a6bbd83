#include "CSymbKorvoAnalyser.h"
#include "CSymbXMLDDTArrayDef.h"
#include "CSymbXMLDDTStructDef.h"
#include "CSymbXMLDFBDef.h"
#include "MAPOFDDTDEF.h"
#include "tagRATVARPHYSICALIMPLEM.h"

// Member-path analysis of the derived types: not written yet, every path is refused.

std::int32_t CSymbXMLDDTStructDef::AnalyseSubPart(MAPOFDDTDEF&, CSymbKorvoAnalyser&, std::int32_t,
                                                  std::int32_t, tagRATVARPHYSICALIMPLEM&,
                                                  std::string&, std::string&, std::string&) {
    return 0;
}

std::int32_t CSymbXMLDFBDef::AnalyseSubPart(MAPOFDDTDEF&, CSymbKorvoAnalyser&, std::int32_t,
                                            std::int32_t, tagRATVARPHYSICALIMPLEM&, std::string&,
                                            std::string&, std::string&) {
    return 0;
}

std::int32_t CSymbXMLDDTArrayDef::AnalyseSubPart(MAPOFDDTDEF&, CSymbKorvoAnalyser&, std::int32_t,
                                                 std::int32_t, tagRATVARPHYSICALIMPLEM&,
                                                 std::string&, std::string&, std::string&) {
    return 0;
}
