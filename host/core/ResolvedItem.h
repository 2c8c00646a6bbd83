#pragma once

#include "core/Refusal.h"

#include <cstdint>
#include <optional>
#include <string>

// Where a name lives: the fields of the dictionary's physical record, unpacked once.
struct PhysicalPlace {
    std::uint16_t block = 0;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::optional<std::uint8_t> bit; // none unless the name is one bit
    std::uint32_t typeCode = 0;
    std::uint32_t accessKind = 0;
    std::uint32_t areaKind = 0;
    std::uint32_t subOffset = 0;
    std::uint16_t subSize = 0;
    std::uint32_t elementIndex = 0;
    std::uint32_t stampSum = 0;
    std::uint32_t attribute = 0;

    // True for a function block's local variables, which lie in its secondary area.
    bool InLocalArea() const;
};

// The resolution of one name: its place, type and comment, or the fault that refused it.
struct ResolvedItem {
    std::string name; // as asked, each bad UTF-8 sequence replaced
    NameFault fault = NameFault::None;
    std::string reason; // the fault's text; empty when resolved
    std::string address;
    std::string comment;
    PhysicalPlace place;
    std::optional<std::string> typeName; // the properties the dictionary gave
    std::optional<std::string> kind;
    std::optional<std::string> info;

    bool Resolved() const { return fault == NameFault::None; }
};
