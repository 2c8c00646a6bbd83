#include "CSymbXMLDDTArrayDef.h"

#include "CVarbank.h"
#include "TextUtil.h"

std::string& CSymbXMLDDTArrayDef::getNextTempArrayName(std::string& name, CVarbank* dico) {
    name = StrFormat("%%TEMP_ARRAY%i", dico->m_TempArrayCounter);
    ++dico->m_TempArrayCounter;
    return name;
}
