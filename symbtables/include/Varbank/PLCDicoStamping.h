#pragma once

#include <cstdint>

// The running PLC's stamp record; the dictionary reads words 0 to 3.
struct PLCDicoStamping {
    std::uint32_t m_Words[7];
};
