#pragma once

#include <cstdint>
#include <string>

class CSymbXMLDDTDef;

// A browse position below the root: the derived type at the end of the path, its position in
// memory, and the text that its listing puts in front of array elements.
struct BrowsePosition {
    CSymbXMLDDTDef* finalType = nullptr;
    std::uint16_t block = 0;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::string positionText;
};
