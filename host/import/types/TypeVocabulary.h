#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// How the host maps IEC 61131-3 elementary types onto the dictionary's elementary keywords,
// with the size and alignment each one takes in the host's memory model. Types the keyword
// list lacks take the keyword of their size: SINT, USINT and CHAR are BYTE, WCHAR is WORD,
// and every 64-bit type (LINT, ULINT, LWORD, LREAL, LTIME, ...) is DT, the 8-byte keyword.
// STRING takes 16 bytes and WSTRING 2, as the dictionary sizes them.
class TypeVocabulary {
public:
    struct Elementary {
        std::string_view keyword; // the dictionary's keyword
        std::uint32_t size;
        std::uint32_t align;
    };

    // True for the element names PLCopen uses for elementary types (<INT/>, <LREAL/>, ...).
    static bool IsElementaryElement(std::string_view elementName);
    // An elementary type by its IEC name in any case, long forms (TIME_OF_DAY) included.
    static std::optional<Elementary> Find(std::string_view iecName);
};
