#pragma once

#include "Variant.h"

#include <cstdint>
#include <optional>
#include <string_view>

// The elementary type vocabulary shared by variables, members and arrays.
struct ElementaryType {
    std::uint32_t code;
    VARTYPE varType;
    std::uint32_t size;
};

// Classifies a type name against the elementary keywords in their fixed order. Whole-text
// comparisons, except "STRING[" which compares the first seven characters and takes the size
// from the number behind the bracket.
std::optional<ElementaryType> FindElementaryType(std::string_view name, bool ignoreCase);

// One row of the elementary arrays that variables and members recognise.
struct ElementaryArrayType {
    std::uint32_t elementCode;
    std::uint32_t arrayCode;
    VARTYPE variableVarType;
    VARTYPE memberVarType;
};

// The nine rows in the order in which a derived type is asked about them.
const ElementaryArrayType* ElementaryArrayTypes(std::size_t& count);
