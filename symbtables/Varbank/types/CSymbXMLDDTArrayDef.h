#pragma once

#include "PlatformApi.h"

#include <string>

class CVarbank;

// The array type of the type model.
class VARBANK_API CSymbXMLDDTArrayDef {
public:
    // Formats the next temporary array name ("%TEMP_ARRAY" and the dictionary's counter) into
    // name and advances the counter; returns name.
    static std::string& getNextTempArrayName(std::string& name, CVarbank* dico);
};
