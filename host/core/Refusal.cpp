#include "core/Refusal.h"

#include <cstdint>
#include <cstdio>

NameFault FaultOf(varbank::Refusal refusal) {
    switch (refusal) {
    case varbank::Refusal::None:
        return NameFault::None;
    case varbank::Refusal::UnknownVariable:
        return NameFault::UnknownVariable;
    case varbank::Refusal::NoSuchMember:
        return NameFault::NoSuchMember;
    case varbank::Refusal::MalformedName:
        return NameFault::MalformedName;
    case varbank::Refusal::WholeFunctionBlock:
        return NameFault::WholeFunctionBlock;
    case varbank::Refusal::NoMembers:
        return NameFault::NoMembers;
    case varbank::Refusal::BitNotAllowed:
        return NameFault::BitNotAllowed;
    case varbank::Refusal::NotAvailable:
        return NameFault::NotAvailable;
    case varbank::Refusal::Other:
        break;
    }
    return NameFault::Other;
}

std::string FaultText(NameFault fault, HRESULT status) {
    switch (fault) {
    case NameFault::None:
        return {};
    case NameFault::InvalidUtf8:
        return "the name is not valid UTF-8";
    case NameFault::NotAnItemName:
        return "not a valid item name";
    case NameFault::UnknownVariable:
        return "unknown variable";
    case NameFault::NoSuchMember:
        return "no such member or element, or an index out of bounds";
    case NameFault::MalformedName:
        return "the name cannot be read (bad index or too many parts)";
    case NameFault::WholeFunctionBlock:
        return "a function-block instance cannot be read whole; name one of its members";
    case NameFault::NoMembers:
        return "the variable has no members";
    case NameFault::BitNotAllowed:
        return "a bit number needs a 16-bit element and lies between 0 and 15";
    case NameFault::NotAvailable:
        return "name resolution is not available in this library build";
    case NameFault::Other:
        break;
    }
    char text[48];
    std::snprintf(text, sizeof text, "refused with status 0x%08X",
                  static_cast<std::uint32_t>(status));
    return text;
}
