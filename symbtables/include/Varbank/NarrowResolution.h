#pragma once

#include "ImplemRecord.h"

#include <string>

// One resolution with its outputs in UTF-8: what SearchAndGetFF hands out, without the
// malloc'ed record copy, the property list and its wide texts. The property texts are those
// the list would give once converted back to UTF-8.
struct NarrowResolution {
    ImplemRecord implem = {};   // the record and the attribute word
    std::string address;        // the address text output
    std::string comment;        // the comment output
    std::string typeName;       // property 5007
    const char* kind = "";      // property 5001, a text the dictionary keeps for good
    std::string info;           // property 5010
    bool addressListed = false; // property 5011 (the address text) is in the list
};
