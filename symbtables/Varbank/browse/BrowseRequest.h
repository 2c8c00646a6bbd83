#pragma once

#include "Varbank/Variant.h"

#include <cstdint>
#include <string>

// What a browse operation lists: the filters, the kind selection and the columns that it hands
// on to the listing of a position. Null texts of the host read as empty.
struct BrowseRequest {
    BrowseRequest(const char* filterText, const char* patternText, VARTYPE type,
                  std::uint32_t reservedFirst, std::uint32_t reservedSecond,
                  std::int32_t branchesOnlyFlag, std::int32_t leavesFlag, std::int32_t branchesFlag,
                  std::int32_t columns, const char* codes)
        : filter(Text(filterText)), pattern(Text(patternText)), varType(type),
          reservedA(reservedFirst), reservedB(reservedSecond), branchesOnly(branchesOnlyFlag),
          leaves(leavesFlag), branches(branchesFlag), columnCount(columns),
          columnCodes(Text(codes)) {}

    // The filter's marker "%UL" asks for unlocated variables only.
    bool UnlocatedOnly() const { return filter.find("%UL") != std::string::npos; }
    // The pattern "*" lets every name pass without a pattern test.
    bool AllNames() const { return pattern == "*"; }

    std::string filter;
    std::string pattern;
    VARTYPE varType;
    std::uint32_t reservedA;
    std::uint32_t reservedB;
    std::int32_t branchesOnly;
    std::int32_t leaves;
    std::int32_t branches;
    std::int32_t columnCount;
    std::string columnCodes;

private:
    static std::string Text(const char* text) { return text == nullptr ? std::string() : text; }
};
