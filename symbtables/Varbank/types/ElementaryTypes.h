#pragma once

#include "Varbank/Variant.h"

#include <cstdint>
#include <optional>
#include <string>
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

class MAPOFDDTDEF;

// Type code and VARTYPE of a declared type name: an elementary keyword (compared with case for
// a variable, without for a member), else the first elementary array that the catalogue's type
// answers to, else a derived type (VARTYPE 0x2011 for a variable, 0 for a member).
struct TypeCodes {
    std::uint32_t code;
    VARTYPE varType;
};
TypeCodes DeclaredTypeCodes(const std::string& typeName, MAPOFDDTDEF& catalogue, bool member);
