#pragma once

#include "VarbankCodes.h"

#include <cstddef>
#include <cstdint>

// Physical implementation of a resolved item, exchanged with the host: 72 bytes, fixed layout.
struct tagRATVARPHYSICALIMPLEM {
    std::uint32_t dwTypeCode;   // type code; the BOOL code after a bit extraction
    std::uint32_t dwAccessKind; // VarbankAccessKind
    std::uint32_t dwAreaKind;   // VarbankAreaKind
    std::uint16_t wBlock;       // memory block
    std::uint16_t wPad1;
    std::uint32_t dwOffset; // byte offset in the block
    std::uint32_t dwSize;   // size in bytes
    std::uint8_t byBit;     // bit in the 16-bit word at dwOffset, or BIT_NONE
    std::uint8_t byPad2[3];
    std::uint32_t dwSubOffset;    // byte offset in the secondary area
    std::uint32_t dwElementIndex; // element number when dwAccessKind is ACCESS_KIND_ELEMENT
    std::uint16_t wSubSize;       // element size in the secondary area
    std::uint16_t wPad3;
    std::uint32_t dwReserved1; // always 1
    std::uint8_t byReserved2;
    std::uint8_t byPad4[3];
    std::uint32_t dwReserved3;
    std::uint32_t dwReserved4;
    std::uint16_t wReserved5;
    std::uint16_t wPad5;
    std::uint32_t dwReserved6;
    std::uint32_t dwStampSum; // stamp word 2 + stamp word 3, wrapping
    std::uint32_t dwReserved7;
};

static_assert(sizeof(tagRATVARPHYSICALIMPLEM) == 72);
static_assert(offsetof(tagRATVARPHYSICALIMPLEM, dwTypeCode) == 0);
static_assert(offsetof(tagRATVARPHYSICALIMPLEM, dwAccessKind) == 4);
static_assert(offsetof(tagRATVARPHYSICALIMPLEM, dwAreaKind) == 8);
static_assert(offsetof(tagRATVARPHYSICALIMPLEM, wBlock) == 12);
static_assert(offsetof(tagRATVARPHYSICALIMPLEM, dwOffset) == 16);
static_assert(offsetof(tagRATVARPHYSICALIMPLEM, dwSize) == 20);
static_assert(offsetof(tagRATVARPHYSICALIMPLEM, byBit) == 24);
static_assert(offsetof(tagRATVARPHYSICALIMPLEM, dwSubOffset) == 28);
static_assert(offsetof(tagRATVARPHYSICALIMPLEM, dwElementIndex) == 32);
static_assert(offsetof(tagRATVARPHYSICALIMPLEM, wSubSize) == 36);
static_assert(offsetof(tagRATVARPHYSICALIMPLEM, dwReserved1) == 40);
static_assert(offsetof(tagRATVARPHYSICALIMPLEM, byReserved2) == 44);
static_assert(offsetof(tagRATVARPHYSICALIMPLEM, dwReserved3) == 48);
static_assert(offsetof(tagRATVARPHYSICALIMPLEM, dwReserved4) == 52);
static_assert(offsetof(tagRATVARPHYSICALIMPLEM, wReserved5) == 56);
static_assert(offsetof(tagRATVARPHYSICALIMPLEM, dwReserved6) == 60);
static_assert(offsetof(tagRATVARPHYSICALIMPLEM, dwStampSum) == 64);
static_assert(offsetof(tagRATVARPHYSICALIMPLEM, dwReserved7) == 68);
