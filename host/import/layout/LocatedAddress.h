#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A located (directly represented) address such as %MW10, %MX4.3, %ID3.1 or %QB0.0.16.2,
// split into its area letter, size letter and dot-separated numbers.
class LocatedAddress {
public:
    // Memory blocks of the host's memory model.
    static constexpr std::uint16_t kWordBlock = 1;       // %MW, %MD, %MB, %ML, %MXn.b
    static constexpr std::uint16_t kBitBlock = 2;        // %Mn, %MXn
    static constexpr std::uint16_t kUnlocatedBlock = 3;  // variables without an address
    static constexpr std::uint16_t kInputBlock = 4;      // %I, by address
    static constexpr std::uint16_t kOutputBlock = 5;     // %Q, by address
    static constexpr std::uint16_t kInputSlotBlock = 6;  // %I location paths, one slot each
    static constexpr std::uint16_t kOutputSlotBlock = 7; // %Q location paths, one slot each
    static constexpr std::uint16_t kMemorySlotBlock = 8; // %M location paths, one slot each
    static constexpr std::uint16_t kBlockCount = 9;      // blocks are numbered below this

    struct Position {
        std::uint16_t block = 0;
        std::uint32_t offset = 0;
        std::uint8_t bit = 255;
    };

    // Reads "%" (optional: "M10" reads as "%M10"), the area I, Q or M, an optional size letter
    // X, B, W, D or L, then numbers separated by dots; "*" stands for a number not yet assigned.
    // On failure returns nothing and says why in error.
    static std::optional<LocatedAddress> Parse(std::string_view text, std::string& error);

    // True for a text that names one place: located, and without "*".
    static bool NamesAPlace(std::string_view text) {
        return !text.empty() && text.find('*') == std::string_view::npos;
    }

    // An address of more than one number that is not a bit of a byte or a word (%xXn.b,
    // %In.b, %Qn.b with b 0 to 7, %xWn.b with b 0 to 15): a location path such as %ID3.1,
    // %MD0.2.0 or %IX0.3.1, naming a place of a device or an extension, not a byte of a linear
    // area.
    bool IsLocationPath() const;
    // For a location path written like a bit whose number is too large for it (%MX1.9,
    // %IW0.16): why it is not read as a bit. Empty otherwise.
    std::string LocationPathNote() const;
    // The block that holds the location paths of this address's area, one slot each.
    std::uint16_t SlotBlock() const;

    // Where a linear address lies. %M: the bit-area forms (%Mn, %MXn) in the bit block at
    // offset n, the others in the word block. %I and %Q: in their own block, %In and %IXn as
    // bit n of the area (byte n/8, bit n%8). In a byte-addressed area %xBn is byte n, %xWn byte
    // 2n, %xDn byte 4n, %xLn byte 8n; %xXn.b is bit b (0..7) of byte n and %xWn.b bit b (0..15)
    // of word n, the bit going to the variable's bit field. Nothing for an incomplete address
    // or a location path (error stays empty), nor for an offset beyond 32 bits (error says
    // why).
    std::optional<Position> LinearPosition(std::string& error) const;

    char Area() const { return m_Area; }
    char SizeLetter() const { return m_Size; }
    bool HasPercent() const { return m_HasPercent; }
    bool IsIncomplete() const { return m_Incomplete; }
    const std::vector<std::uint64_t>& Parts() const { return m_Parts; }

private:
    std::uint16_t AreaBlock() const;
    // Two numbers read as a byte or word and a bit; the largest bit that form allows (0 when
    // the address is not of that form).
    unsigned BitFormLimit() const;

    char m_Area = 0;
    char m_Size = 0;
    bool m_HasPercent = true;
    bool m_Incomplete = false;
    std::vector<std::uint64_t> m_Parts;
};
