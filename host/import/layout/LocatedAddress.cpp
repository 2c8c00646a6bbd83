#include "import/layout/LocatedAddress.h"

#include <limits>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// One decimal number from pos; false when there is none or it exceeds 32 bits.
bool ReadNumber(std::string_view text, std::size_t& pos, std::uint64_t& value) {
    const std::size_t start = pos;
    value = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        value = value * 10 + static_cast<std::uint64_t>(text[pos] - '0');
        if (value > std::numeric_limits<std::uint32_t>::max()) {
            return false;
        }
        ++pos;
    }
    return pos > start;
}

std::optional<std::uint32_t> Scaled(std::uint64_t number, std::uint64_t unit, std::string& error) {
    const std::uint64_t offset = number * unit;
    if (offset > std::numeric_limits<std::uint32_t>::max()) {
        error = "its byte offset does not fit 32 bits";
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(offset);
}

} // namespace

std::optional<LocatedAddress> LocatedAddress::Parse(std::string_view text, std::string& error) {
    LocatedAddress address;
    std::size_t pos = 0;
    address.m_HasPercent = !text.empty() && text[0] == '%';
    if (address.m_HasPercent) {
        ++pos;
    }
    const char area = pos < text.size() ? Upper(text[pos]) : '\0';
    if (area != 'I' && area != 'Q' && area != 'M') {
        error = "the area must be I, Q or M";
        return std::nullopt;
    }
    address.m_Area = area;
    ++pos;
    const char size = pos < text.size() ? Upper(text[pos]) : '\0';
    if (size == 'X' || size == 'B' || size == 'W' || size == 'D' || size == 'L') {
        address.m_Size = size;
        ++pos;
    }
    while (true) {
        std::uint64_t number = 0;
        if (pos < text.size() && text[pos] == '*') {
            address.m_Incomplete = true;
            ++pos;
        } else if (ReadNumber(text, pos, number)) {
            address.m_Parts.push_back(number);
        } else {
            error = "expected a number of at most 32 bits";
            return std::nullopt;
        }
        if (pos == text.size()) {
            break;
        }
        if (text[pos] != '.') {
            error = "unexpected character '" + std::string(1, text[pos]) + "'";
            return std::nullopt;
        }
        ++pos;
    }
    return address;
}

std::uint16_t LocatedAddress::AreaBlock() const {
    return m_Area == 'I' ? kInputBlock : m_Area == 'Q' ? kOutputBlock : kWordBlock;
}

std::uint16_t LocatedAddress::SlotBlock() const {
    return m_Area == 'I' ? kInputSlotBlock : m_Area == 'Q' ? kOutputSlotBlock : kMemorySlotBlock;
}

unsigned LocatedAddress::BitFormLimit() const {
    if (m_Parts.size() != 2) {
        return 0;
    }
    if (m_Size == 'X' || (m_Size == 0 && m_Area != 'M')) {
        return 7;
    }
    return m_Size == 'W' ? 15 : 0;
}

bool LocatedAddress::IsLocationPath() const {
    if (m_Incomplete || m_Parts.size() < 2) {
        return false;
    }
    const unsigned limit = BitFormLimit();
    return limit == 0 || m_Parts[1] > limit;
}

std::string LocatedAddress::LocationPathNote() const {
    const unsigned limit = BitFormLimit();
    if (m_Incomplete || limit == 0 || m_Parts[1] <= limit) {
        return {};
    }
    return std::string("bit ") + std::to_string(m_Parts[1]) + " lies beyond a " +
           (limit == 7 ? "byte (0 to 7)" : "word (0 to 15)");
}

std::optional<LocatedAddress::Position> LocatedAddress::LinearPosition(std::string& error) const {
    if (m_Incomplete || IsLocationPath()) {
        return std::nullopt;
    }
    const std::uint64_t n = m_Parts.front();
    const bool io = m_Area != 'M';
    // Without a size letter an address names a bit, as with X.
    const bool bitForm = m_Size == 0 || m_Size == 'X';
    if (m_Parts.size() == 1 && bitForm) {
        if (!io) {
            return Position{kBitBlock, static_cast<std::uint32_t>(n), 255};
        }
        return Position{AreaBlock(), static_cast<std::uint32_t>(n / 8),
                        static_cast<std::uint8_t>(n % 8)};
    }
    const std::uint64_t unit = m_Size == 'W' ? 2 : m_Size == 'D' ? 4 : m_Size == 'L' ? 8 : 1;
    const auto offset = Scaled(n, unit, error);
    if (!offset) {
        return std::nullopt;
    }
    const auto bit =
        m_Parts.size() == 2 ? static_cast<std::uint8_t>(m_Parts[1]) : std::uint8_t{255};
    return Position{AreaBlock(), *offset, bit};
}
