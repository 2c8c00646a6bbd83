#pragma once

#include <VarbankClient.h>

#include <cstdint>
#include <string>

// What a program's dictionary holds, counted once when it opens.
struct DictionaryInfo {
    std::string dictionary;
    std::string project;
    varbank::Contents counts; // variables, types, members, memory areas
    std::uint64_t inputBytes = 0;
    std::uint64_t outputBytes = 0;
    std::uint64_t inputSlotBytes = 0;
    std::uint64_t outputSlotBytes = 0;
    std::uint64_t memorySlotBytes = 0;
    std::string stamp;
};
