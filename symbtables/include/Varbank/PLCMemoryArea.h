#pragma once

#include <cstdint>

// One memory area of the PLC (the %MW words or the %M bits).
struct PLCMemoryArea {
    std::uint32_t Count;       // number of objects (words or bits) in the area
    std::uint16_t FirstIndex;  // number of the area's first object (the n of %MWn or %Mn)
    std::uint16_t Segment;     // memory block that the area occupies
    std::uint32_t StartOffset; // offset of the first object within the block
};
