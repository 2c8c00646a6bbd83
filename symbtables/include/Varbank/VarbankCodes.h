#pragma once

#include <cstdint>

// The values that the dictionary writes into the records and lists it hands to the host.

// How a resolved item is reached (tagRATVARPHYSICALIMPLEM::dwAccessKind).
enum VarbankAccessKind : std::uint32_t {
    ACCESS_KIND_WHOLE = 1,   // the whole element at the offset
    ACCESS_KIND_BIT = 2,     // one bit (byBit) of the 16-bit word at the offset
    ACCESS_KIND_ELEMENT = 4, // an element of an array accessed whole, by its number
};

// The memory area of a position (tagRATVARPHYSICALIMPLEM::dwAreaKind,
// CSymbXMLDDTMember::m_AreaKind, the area of FormatPhysicalAddress).
enum VarbankAreaKind : std::uint16_t {
    AREA_KIND_ORDINARY = 1,  // the PLC memory: a direct address text may name it
    AREA_KIND_SECONDARY = 2, // the internal area of a function block: no address text
};

// The kind of a listed child: the kind word that BuildCollectionFrom appends for it, and the
// flags of its browse element record (tagBROWSEELEMENT::dwFlags).
enum VarbankListingKind : std::uint16_t {
    LISTING_KIND_LEAF = 2,   // an item without children
    LISTING_KIND_BRANCH = 3, // an item with children
};

// The kind (CAppParameters::GetKind) of the only parameters object that the dictionary reads;
// an object of any other kind is ignored.
inline constexpr std::int32_t APP_PARAMETERS_KIND = 2;

// The bit of a position that is not a bit (tagRATVARPHYSICALIMPLEM::byBit,
// CSymbXMLItemDef::m_Bit).
inline constexpr std::uint8_t BIT_NONE = 255;

// Identifiers of the item properties that a resolution lists (PropertyEntry::dwPropertyId).
enum VarbankPropertyId : std::uint32_t {
    PROPERTY_ID_KIND = 5001,      // kind text of the type code
    PROPERTY_ID_BLOCK = 5003,     // memory block
    PROPERTY_ID_OFFSET = 5004,    // byte offset
    PROPERTY_ID_SIZE = 5005,      // size in bytes
    PROPERTY_ID_TYPE_NAME = 5007, // type name
    PROPERTY_ID_INFO = 5010,      // the variable's information text
    PROPERTY_ID_ADDRESS = 5011,   // direct address text, listed when there is one
};
