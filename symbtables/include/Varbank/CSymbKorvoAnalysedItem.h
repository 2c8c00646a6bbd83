#pragma once

#include "PlatformApi.h"

#include <cstdint>
#include <string>

// One path element of an analysed item name: a name, an index, a bit number or a bare number.
class VARBANK_API CSymbKorvoAnalysedItem {
public:
    CSymbKorvoAnalysedItem() = default;
    virtual ~CSymbKorvoAnalysedItem() = default;
    CSymbKorvoAnalysedItem(const CSymbKorvoAnalysedItem&) = default;
    CSymbKorvoAnalysedItem& operator=(const CSymbKorvoAnalysedItem&) = default;

    std::string m_strName;     // name text; empty for an index element
    std::string m_strIndex;    // index text between brackets, or the digits of a bit number
    std::int32_t m_bFirst = 0; // 1 for element 0
    std::int32_t m_bBit = 0;   // 1 when the element carries a numeric suffix (a bit number)
};
