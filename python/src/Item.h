#pragma once

#include "commands/ResolveCommand.h"

#include <cstdint>
#include <optional>
#include <string>

// One resolved (or refused) item name: the physical record, type and comment the dictionary
// gave, the fields of the resolve command's JSON.
struct Item {
    std::string name;
    bool resolved = false;
    std::string reason; // why the name was refused; empty when resolved
    std::string address;
    std::uint32_t block = 0;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::optional<std::uint32_t> bit; // none when the item is not a bit
    std::string typeName;
    std::uint32_t typeCode = 0;
    std::string kind;
    std::string info;
    std::string comment;
    std::uint32_t accessKind = 0;
    std::uint32_t areaKind = 0;
    std::uint32_t subOffset = 0;
    std::uint32_t subSize = 0;
    std::uint32_t elementIndex = 0;
    std::uint32_t stampSum = 0;
    std::uint32_t attribute = 0;

    static Item From(ResolveCommand::Result result);
};
