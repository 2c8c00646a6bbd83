#pragma once

#include "import/layout/LocatedAddress.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The imported project laid out in the host's memory model: what the dictionary is filled
// with. Type names are those the dictionary knows (elementary keywords, declared type names,
// array texts); the IEC names are kept beside them for the client.

// A type resolved to the dictionary's vocabulary.
struct ResolvedType {
    std::string libName; // elementary keyword, declared type name or array text
    std::string iecName; // the type as the program writes it
    std::uint32_t size = 0;
    std::uint32_t align = 1;
};

struct MemberLayout {
    std::string name;
    std::string comment;
    std::string typeName; // as the dictionary knows it
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::uint16_t areaKind = 1; // 1 ordinary area, 2 secondary area (function-block locals)
    std::string iecType;        // as the program writes it
    std::string initialValue;   // canonical initial value text, empty when none
};

// A structure, a function block, or the structure of a program's variables.
struct CompositeLayout {
    std::string name;
    bool functionBlock = false;
    std::vector<MemberLayout> members;
    std::uint32_t size = 0;
};

// A variable's type in both spellings, shared by every variable of that type: a million
// variables have few types.
struct VariableType {
    std::string libName; // as the dictionary knows it
    std::string iecName; // as the program writes it
};

struct VariableLayout {
    std::string name;
    std::string comment;
    std::shared_ptr<const VariableType> type;
    std::string address; // located address as written, empty when unlocated
    std::uint16_t block = 0;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::uint8_t bit = 255;
    std::string initialValue{}; // canonical initial value text, empty when none

    const std::string& TypeName() const { return type->libName; } // as the dictionary knows it
    const std::string& IecType() const { return type->iecName; }  // as the program writes it
};

// A declared data type that is not a structure (an alias, enumeration, subrange or array type):
// what a variable of it starts with when it gives no initial value of its own. Structures keep
// their members' initial values; their type-level value is kept here too. A subrange or
// enumeration written in place, in a variable's, member's or element's type, is kept here too,
// named by its text (INT (0..100), (Off, On)), so that it bounds writes as a declared one does.
struct NamedTypeLayout {
    std::string name;
    std::string baseType;     // the base type as the program writes it; empty for a structure
    std::string initialValue; // canonical text, empty when none
    // An enumeration's values by name, in declaration order.
    std::vector<std::pair<std::string, std::int64_t>> enumValues;
    // A subrange's bounds (low, high): a write outside them is refused.
    std::optional<std::pair<std::int64_t, std::int64_t>> range{};
    bool inPlace = false; // written in place: its name is its text
};

struct ProjectLayout {
    std::string projectName;
    std::vector<CompositeLayout> composites; // every type before the types that use it
    std::vector<VariableLayout> variables;   // in declaration order
    std::vector<NamedTypeLayout> namedTypes; // data types, declared or in place
    std::uint32_t wordCount = 0;             // words of the word area (block 1)
    std::uint32_t bitCount = 0;              // bits of the bit area (block 2)
    // How far each block is used, by block number: the end of its last variable in bytes (in
    // bits for the bit area). The input and output blocks are sized by it.
    std::array<std::uint64_t, LocatedAddress::kBlockCount> blockEnds{};
    std::array<std::uint32_t, 5> stamp{};
};
