#pragma once

#include <Varbank.h>

#include <optional>
#include <string>

// The stamp as the dictionary writes it (GetStampText): words 0 to 4 in hexadecimal, joined by
// colons.
class StampText {
public:
    // The record of a stamp text (words 5 and 6 zero), or nothing when the text is malformed.
    static std::optional<PLCDicoStamping> Parse(const std::string& text);

private:
    static bool ParseWord(const std::string& field, std::uint32_t& word);
};
