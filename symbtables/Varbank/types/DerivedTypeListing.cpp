#include "types/DerivedTypeListing.h"

#include "Varbank/CSymbXMLDDTMember.h"
#include "Varbank/MAPOFDDTDEF.h"
#include "platform/TextUtil.h"

#include <algorithm>
#include <thread>

std::optional<bool> SelectsMemberByKind(const CSymbXMLDDTMember& member, bool elementary,
                                        const ListingFlags& flags, VARTYPE varType,
                                        MAPOFDDTDEF& catalogue) {
    if (flags.LeavesOnly()) {
        return elementary && PassesVarTypeFilter(varType, member.m_VarType);
    }
    if (flags.BranchesOnly()) {
        return !elementary && catalogue.HasType(member.m_TypeName);
    }
    return std::nullopt;
}

std::string ListedEntry(const std::string& name, std::int32_t columnCount,
                        const std::string& columnCodes, const std::string& addressColumn,
                        const std::string* comment) {
    std::string entry = name;
    const std::size_t count =
        columnCount <= 0 ? 0 : std::min(static_cast<std::size_t>(columnCount), columnCodes.size());
    for (std::size_t i = 0; i < count; ++i) {
        entry += '|';
        if (columnCodes[i] == 'A') {
            entry += addressColumn;
        } else if (columnCodes[i] == 'C' && comment != nullptr) {
            entry += *comment;
        }
    }
    return entry;
}

std::string AddressColumnText(const std::string& typeName, std::uint16_t block,
                              std::uint32_t offset, const std::string& addressText) {
    return UnitText(typeName, block, offset).append(addressText);
}

void YieldListing() {
    // Once per 64 children: a long listing still gives way, and a short one (a structure's
    // members, a small array) costs no system call per child.
    thread_local unsigned listed = 0;
    if (++listed % 64 == 0) {
        std::this_thread::yield();
    }
}
