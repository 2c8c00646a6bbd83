#pragma once

#include "Varbank/Variant.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The elementary type vocabulary: one row per keyword, with everything that variables,
// members, the classifier and array types take from it.
struct ElementaryType {
    std::string_view keyword;
    std::uint32_t code; // the type's own code
    VARTYPE varType;    // of a variable or member of the type, and of an array's element
    std::uint32_t size; // in bytes; for STRING[n] the n of the name
    // Code of an array type declared with this element ("ARRAY[0..9] OF <keyword>").
    std::uint32_t declaredArrayCode;
    // The elementary array kind of the type (arrayCode 0 when it has none): the code of an
    // array of it and the VARTYPEs that a variable and a member of such an array get.
    std::uint32_t arrayCode;
    VARTYPE variableArrayVarType;
    VARTYPE memberArrayVarType;
};

// Every row. The nine that have an elementary array kind come first, in the order in which a
// derived type is asked about them.
std::span<const ElementaryType> ElementaryTypeTable();

// The VARTYPE of a variable of derived type that is not an elementary array.
inline constexpr VARTYPE kVarTypeDerived = 0x2011;

// Classifies a type name against the keywords. Whole-text comparisons, except "STRING[" which
// compares the first seven characters and takes the size from the number behind the bracket.
std::optional<ElementaryType> FindElementaryType(std::string_view name, bool ignoreCase);

// The row whose elementary array kind has this element code, or null.
const ElementaryType* FindElementaryArrayKind(std::uint32_t elementCode);

// An array code (bits 0x88 set) gives back its element's code: low 16 bits 0x1088 become 0x0148.
constexpr bool IsArrayTypeCode(std::uint32_t code) {
    return (code & 0x88U) == 0x88U;
}
constexpr std::uint32_t ElementCodeOfArray(std::uint32_t arrayCode) {
    return (arrayCode & ~std::uint32_t{0x1080}) | 0x140U;
}

class MAPOFDDTDEF;

// Type code and VARTYPE of a declared type name: an elementary keyword (compared with case for
// a variable, without for a member), else the first elementary array that the catalogue's type
// answers to, else a derived type (kVarTypeDerived for a variable, 0 for a member).
struct TypeCodes {
    std::uint32_t code;
    VARTYPE varType;
};
TypeCodes DeclaredTypeCodes(const std::string& typeName, MAPOFDDTDEF& catalogue, bool member);
