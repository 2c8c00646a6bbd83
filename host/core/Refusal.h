#pragma once

#include <VarbankClient.h>

#include <string>

// Why a name has no position: the dictionary's refusal, or a name the host never hands it.
enum class NameFault {
    None,
    InvalidUtf8,        // the name is not valid UTF-8
    NotAnItemName,      // the name breaks the item-name grammar (see ItemName)
    UnknownVariable,    // the first part names no variable
    NoSuchMember,       // no such member or element, or an index out of bounds
    MalformedName,      // the name cannot be split into its parts
    WholeFunctionBlock, // a function-block instance, read only by its members
    NoMembers,          // a path below a variable whose type has no members
    BitNotAllowed,      // a bit number where no bit can be taken
    NotAvailable,       // this library build has no name resolution
    Other               // any other status; the text gives it
};

// The fault of a refusal the dictionary gave, and the text clients see for a fault.
NameFault FaultOf(varbank::Refusal refusal);
std::string FaultText(NameFault fault, HRESULT status = 0);
