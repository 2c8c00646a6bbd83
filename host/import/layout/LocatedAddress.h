#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A located (directly represented) address such as %MW10, %MX4.3, %IX0.3.1 or %QB0.0.16.2,
// split into its area letter, size letter and dot-separated numbers.
class LocatedAddress {
public:
    // Memory blocks of the host's memory model.
    static constexpr std::uint16_t kWordBlock = 1;      // %MW, %MD, %MB, %ML, %MXn.b
    static constexpr std::uint16_t kBitBlock = 2;       // %Mn, %MXn
    static constexpr std::uint16_t kUnlocatedBlock = 3; // variables without an address
    static constexpr std::uint16_t kInputBlock = 4;     // %I
    static constexpr std::uint16_t kOutputBlock = 5;    // %Q

    struct Position {
        std::uint16_t block = 0;
        std::uint32_t offset = 0;
        std::uint8_t bit = 255;
    };

    // Reads "%" (optional: "M10" reads as "%M10"), the area I, Q or M, an optional size letter
    // X, B, W, D or L, then numbers separated by dots; "*" stands for a number not yet assigned.
    // On failure returns nothing and says why in error.
    static std::optional<LocatedAddress> Parse(std::string_view text, std::string& error);

    // Where an %M address lies: bit-area forms (%Mn, %MXn) in the bit block at offset n,
    // word-area forms in the word block at their byte offset, with the bit of %MXn.b (0..7)
    // or %MWn.b (0..15). Inputs and outputs have no fixed position (nothing is returned).
    std::optional<Position> MemoryPosition(std::string& error) const;

    char Area() const { return m_Area; }
    char SizeLetter() const { return m_Size; }
    bool HasPercent() const { return m_HasPercent; }
    bool IsIncomplete() const { return m_Incomplete; }
    const std::vector<std::uint64_t>& Parts() const { return m_Parts; }

private:
    char m_Area = 0;
    char m_Size = 0;
    bool m_HasPercent = true;
    bool m_Incomplete = false;
    std::vector<std::uint64_t> m_Parts;
};
