#pragma once

#include "Varbank/VarbankCodes.h"
#include "Varbank/Variant.h"

#include <cstdint>
#include <optional>
#include <string>

class CSymbXMLDDTMember;
class MAPOFDDTDEF;

// Pieces shared by the listings (BuildCollectionFrom) of structures, function blocks and arrays.

// The kind selection flags of a listing: branches only, leaves, branches.
struct ListingFlags {
    std::int32_t branchesOnly;
    std::int32_t leaves;
    std::int32_t branches;

    bool LeavesOnly() const { return branchesOnly == 0 && leaves != 0 && branches == 0; }
    bool BranchesOnly() const { return branchesOnly != 0 || (branches != 0 && leaves == 0); }
};

// Kind word of a listed child: a leaf for an elementary type, a branch otherwise.
inline std::uint16_t ListingKindWord(bool elementary) {
    return elementary ? LISTING_KIND_LEAF : LISTING_KIND_BRANCH;
}

// The variant-type filter: 0 lets every child pass, any other value only children of that type.
inline bool PassesVarTypeFilter(VARTYPE filter, VARTYPE childType) {
    return filter == 0 || filter == childType;
}

// The selection that structures and function blocks share when the flags ask for one kind:
// leaves are elementary members that pass the variant-type filter, branches members of a
// catalogued derived type. No answer when the flags ask for every kind.
std::optional<bool> SelectsMemberByKind(const CSymbXMLDDTMember& member, bool elementary,
                                        const ListingFlags& flags, VARTYPE varType,
                                        MAPOFDDTDEF& catalogue);

// The listed string: the name, then "|" and a column for each of the first columnCount codes
// (never more than the codes given): the address column for 'A', the comment for 'C' when the
// child has one (comment not null), nothing for any other code.
std::string ListedEntry(const std::string& name, std::int32_t columnCount,
                        const std::string& columnCodes, const std::string& addressColumn,
                        const std::string* comment);

// The address column "U-<type> (B:<block> - O:<offset>) <address text>".
std::string AddressColumnText(const std::string& typeName, std::uint16_t block,
                              std::uint32_t offset, const std::string& addressText);

// Gives up the rest of the time slice now and then; listings call it once per child.
void YieldListing();
