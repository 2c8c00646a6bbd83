#include "values/RegisterMap.h"

#include "import/layout/LocatedAddress.h"

#include <algorithm>
#include <cctype>

namespace {

using Area = RegisterMap::Area;
using Bases = std::array<std::optional<std::uint32_t>, RegisterMap::kAreaCount>;

constexpr std::array<const char*, RegisterMap::kAreaCount> kAreaNames = {"IX", "QX", "IW", "QW",
                                                                         "M",  "MW", "MD", "ML"};

std::size_t Index(Area area) {
    return static_cast<std::size_t>(area);
}

const char* TableName(RegisterMap::Table table) {
    switch (table) {
    case RegisterMap::Table::Coils:
        return "coil";
    case RegisterMap::Table::DiscreteInputs:
        return "discrete input";
    case RegisterMap::Table::InputRegisters:
        return "input register";
    case RegisterMap::Table::HoldingRegisters:
        break;
    }
    return "holding register";
}

// Why a block that is neither linear %I, %Q nor %M has no Modbus place.
std::string NoPlace(std::uint16_t block) {
    if (block == LocatedAddress::kInputSlotBlock || block == LocatedAddress::kOutputSlotBlock ||
        block == LocatedAddress::kMemorySlotBlock) {
        return "a location path has no Modbus place";
    }
    return "it is not located, so it has no Modbus place";
}

// The word-area kind of a range by its size and alignment: %MW, %MD or %ML.
std::optional<Area> WordArea(std::uint32_t offset, std::uint32_t size) {
    if (size == 2 && offset % 2 == 0) {
        return Area::MW;
    }
    if (size == 4 && offset % 4 == 0) {
        return Area::MD;
    }
    if (size == 8 && offset % 8 == 0) {
        return Area::ML;
    }
    return std::nullopt;
}

} // namespace

RegisterMap::RegisterMap(std::string name, Bases bases) : m_Name(std::move(name)), m_Bases(bases) {}

RegisterMap RegisterMap::OpenRuntime() {
    return {};
}

RegisterMap RegisterMap::Flat() {
    return {"flat", {std::nullopt, std::nullopt, std::nullopt, std::nullopt, 0U, 0U, 0U, 0U}};
}

std::optional<RegisterMap> RegisterMap::Named(std::string_view name) {
    if (name == "open-runtime") {
        return OpenRuntime();
    }
    if (name == "flat") {
        return Flat();
    }
    return std::nullopt;
}

std::string RegisterMap::KnownNames() {
    return "open-runtime, flat";
}

std::optional<std::uint32_t> RegisterMap::Base(Area area) const {
    return m_Bases[Index(area)];
}

void RegisterMap::SetBase(Area area, std::optional<std::uint32_t> base) {
    m_Bases[Index(area)] = base;
}

bool RegisterMap::Overridden() const {
    const auto named = Named(m_Name);
    return !named || named->m_Bases != m_Bases;
}

std::string RegisterMap::AreaName(Area area) {
    return kAreaNames[Index(area)];
}

std::optional<RegisterMap::Area> RegisterMap::AreaNamed(std::string_view name) {
    std::string upper(name);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    for (std::size_t i = 0; i < kAreaNames.size(); ++i) {
        if (upper == kAreaNames[i]) {
            return static_cast<Area>(i);
        }
    }
    return std::nullopt;
}

RegisterMap::Table RegisterMap::AreaTable(Area area) {
    switch (area) {
    case Area::IX:
        return Table::DiscreteInputs;
    case Area::QX:
    case Area::M:
        return Table::Coils;
    case Area::IW:
        return Table::InputRegisters;
    default:
        return Table::HoldingRegisters;
    }
}

std::optional<RegisterMap::Place> RegisterMap::Find(std::uint16_t block, std::uint32_t offset,
                                                    std::uint32_t size, std::uint8_t bit,
                                                    std::string& error) const {
    return bit == kNoBit ? FindRange(block, offset, size, error)
                         : FindBit(block, offset, bit, error);
}

std::optional<RegisterMap::Place> RegisterMap::At(Area area, std::uint64_t address,
                                                  std::uint32_t count, std::uint8_t registerBit,
                                                  std::string& error) const {
    const auto base = Base(area);
    if (!base) {
        error = "%" + AreaName(area) + " has no Modbus place in the " + m_Name + " register map";
        return std::nullopt;
    }
    const std::uint64_t first = *base + address;
    if (first + count > kAddressCount) {
        error = "it lies beyond the Modbus address range";
        return std::nullopt;
    }
    return Place{AreaTable(area), static_cast<std::uint32_t>(first), count, registerBit};
}

std::optional<RegisterMap::Place> RegisterMap::FindBit(std::uint16_t block, std::uint32_t offset,
                                                       std::uint8_t bit, std::string& error) const {
    if (block == LocatedAddress::kInputBlock || block == LocatedAddress::kOutputBlock) {
        const Area area = block == LocatedAddress::kInputBlock ? Area::IX : Area::QX;
        return At(area, std::uint64_t{offset} * 8 + bit, 1, kNoBit, error);
    }
    if (block == LocatedAddress::kWordBlock) {
        // The bit of the little-endian value at offset: a byte at an odd offset is the high
        // byte of its register.
        const unsigned registerBit = bit + 8U * (offset % 2);
        if (registerBit > 15) {
            error = "bit " + std::to_string(bit) + " lies outside its register";
            return std::nullopt;
        }
        return At(Area::MW, offset / 2, 1, static_cast<std::uint8_t>(registerBit), error);
    }
    if (block == LocatedAddress::kBitBlock) {
        error = "a bit of the bit area (%M) has no Modbus place";
        return std::nullopt;
    }
    error = NoPlace(block);
    return std::nullopt;
}

std::optional<RegisterMap::Place> RegisterMap::FindRange(std::uint16_t block, std::uint32_t offset,
                                                         std::uint32_t size,
                                                         std::string& error) const {
    if (block == LocatedAddress::kInputBlock || block == LocatedAddress::kOutputBlock) {
        const Area area = block == LocatedAddress::kInputBlock ? Area::IW : Area::QW;
        if (Base(area) && (offset % 2 != 0 || size % 2 != 0)) {
            error = "only whole words of %I and %Q have a Modbus place";
            return std::nullopt;
        }
        return At(area, offset / 2, size / 2, kNoBit, error);
    }
    if (block == LocatedAddress::kWordBlock) {
        return FindWords(offset, size, error);
    }
    if (block == LocatedAddress::kBitBlock) {
        // One byte per bit of the area: coil n for %Mn.
        return At(Area::M, offset, size, kNoBit, error);
    }
    error = NoPlace(block);
    return std::nullopt;
}

// A map whose %MW, %MD and %ML share one base numbers the word area register by register, so
// any whole words have a place (a DINT at %MW1 is registers 1 and 2); otherwise a value has its
// place only in the area its size and alignment name.
std::optional<RegisterMap::Place> RegisterMap::FindWords(std::uint32_t offset, std::uint32_t size,
                                                         std::string& error) const {
    const auto area = WordArea(offset, size);
    const bool linear =
        Base(Area::MW) && Base(Area::MW) == Base(Area::MD) && Base(Area::MW) == Base(Area::ML);
    if (linear && offset % 2 == 0 && size % 2 == 0 && size > 0) {
        return At(area.value_or(Area::MW), offset / 2, size / 2, kNoBit, error);
    }
    if (!area) {
        error = linear ? "only whole words of the word area have a Modbus place"
                       : "only %MW, %MD and %ML values of the word area have a Modbus place";
        return std::nullopt;
    }
    return At(*area, offset / 2, size / 2, kNoBit, error);
}

bool RegisterMap::IsBitTable(Table table) {
    return table == Table::Coils || table == Table::DiscreteInputs;
}

std::string RegisterMap::Describe(const Place& place) {
    std::string text = std::string(TableName(place.table)) + " " + std::to_string(place.address);
    if (place.count > 1) {
        text += ".." + std::to_string(place.address + place.count - 1);
    }
    if (place.registerBit != kNoBit) {
        text += " bit " + std::to_string(place.registerBit);
    }
    return text;
}
