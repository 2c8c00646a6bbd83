#include "values/ModbusMap.h"

#include "import/layout/LocatedAddress.h"

#include <algorithm>

namespace {

constexpr std::uint32_t kAddressCount = 65536;
constexpr std::uint16_t kInputBlock = 4;
constexpr std::uint16_t kOutputBlock = 5;

const char* TableName(ModbusMap::Table table) {
    switch (table) {
    case ModbusMap::Table::Coils:
        return "coil";
    case ModbusMap::Table::DiscreteInputs:
        return "discrete input";
    case ModbusMap::Table::InputRegisters:
        return "input register";
    case ModbusMap::Table::HoldingRegisters:
        break;
    }
    return "holding register";
}

// The first register of a word-area range by its size: %MW, %MD or %ML.
std::optional<std::uint32_t> WordAreaBase(std::uint32_t offset, std::uint32_t size) {
    if (size == 2 && offset % 2 == 0) {
        return ModbusMap::kWordBase;
    }
    if (size == 4 && offset % 4 == 0) {
        return ModbusMap::kDoubleBase;
    }
    if (size == 8 && offset % 8 == 0) {
        return ModbusMap::kLongBase;
    }
    return std::nullopt;
}

// Why a block other than the word area, %I and %Q has no Modbus place.
std::string NoPlace(std::uint16_t block) {
    if (block == LocatedAddress::kBitBlock) {
        return "the bit area (%M, %MX) has no Modbus place";
    }
    if (block == LocatedAddress::kInputSlotBlock || block == LocatedAddress::kOutputSlotBlock ||
        block == LocatedAddress::kMemorySlotBlock) {
        return "a location path has no Modbus place";
    }
    return "it is not located, so it has no Modbus place";
}

} // namespace

std::optional<ModbusMap::Place> ModbusMap::Find(std::uint16_t block, std::uint32_t offset,
                                                std::uint32_t size, std::uint8_t bit,
                                                std::string& error) {
    if (bit == ModbusMap::kNoBit) {
        return FindRegisters(block, offset, size, error);
    }
    std::optional<Place> place;
    if (block == kInputBlock || block == kOutputBlock) {
        const Table table = block == kInputBlock ? Table::DiscreteInputs : Table::Coils;
        const std::uint64_t address = std::uint64_t{offset} * 8 + bit;
        place = Place{table,
                      static_cast<std::uint32_t>(std::min<std::uint64_t>(address, kAddressCount)),
                      1, ModbusMap::kNoBit};
    } else if (block == LocatedAddress::kWordBlock) {
        place = Place{Table::HoldingRegisters, kWordBase + offset / 2, 1, bit};
    } else {
        error = NoPlace(block);
        return std::nullopt;
    }
    if (place->address >= kAddressCount) {
        error = "it lies beyond the Modbus address range";
        return std::nullopt;
    }
    return place;
}

std::optional<ModbusMap::Place> ModbusMap::FindRegisters(std::uint16_t block, std::uint32_t offset,
                                                         std::uint32_t size, std::string& error) {
    std::optional<Place> place;
    if (block == kInputBlock || block == kOutputBlock) {
        if (offset % 2 != 0 || size % 2 != 0) {
            error = "only whole words of %I and %Q have a Modbus place";
            return std::nullopt;
        }
        place = Place{block == kInputBlock ? Table::InputRegisters : Table::HoldingRegisters,
                      offset / 2, size / 2, ModbusMap::kNoBit};
    } else if (block == LocatedAddress::kWordBlock) {
        const auto base = WordAreaBase(offset, size);
        if (!base) {
            error = "only %MW, %MD and %ML values of the word area have a Modbus place";
            return std::nullopt;
        }
        place = Place{Table::HoldingRegisters, *base + offset / 2, size / 2, ModbusMap::kNoBit};
    } else {
        error = NoPlace(block);
        return std::nullopt;
    }
    if (std::uint64_t{place->address} + place->count > kAddressCount) {
        error = "it lies beyond the Modbus address range";
        return std::nullopt;
    }
    return place;
}

bool ModbusMap::IsBitTable(Table table) {
    return table == Table::Coils || table == Table::DiscreteInputs;
}

std::string ModbusMap::Describe(const Place& place) {
    std::string text = std::string(TableName(place.table)) + " " + std::to_string(place.address);
    if (place.count > 1) {
        text += ".." + std::to_string(place.address + place.count - 1);
    }
    if (place.registerBit != ModbusMap::kNoBit) {
        text += " bit " + std::to_string(place.registerBit);
    }
    return text;
}
