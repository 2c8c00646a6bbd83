#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Where a place of the host's memory model lies in a PLC's Modbus tables, by the convention
// of open IEC 61131-3 runtimes: %IX bit 8a+b a discrete input, %QX a coil, %IW n input
// register n, %QW n holding register n, %MW n holding register 1024+n, %MD n holding
// registers 2048+2n (two), %ML n holding registers 4096+4n (four). A bit of a register word
// (%MW10.3) is a bit of that register. Anything else has no Modbus place.
class ModbusMap {
public:
    enum class Table { Coils, DiscreteInputs, InputRegisters, HoldingRegisters };

    // The register bit of a place that is not one bit of a register; the bit argument of Find
    // for a byte range.
    static constexpr std::uint8_t kNoBit = 255;

    struct Place {
        Table table = Table::HoldingRegisters;
        std::uint32_t address = 0;
        std::uint32_t count = 0;           // bits for coils and inputs, else registers
        std::uint8_t registerBit = kNoBit; // a bit of the register, or kNoBit
    };

    static constexpr std::uint32_t kWordBase = 1024;
    static constexpr std::uint32_t kDoubleBase = 2048;
    static constexpr std::uint32_t kLongBase = 4096;

    // bit: kNoBit for the byte range [offset, offset + size). Nothing with the reason when the
    // place has no Modbus place.
    static std::optional<Place> Find(std::uint16_t block, std::uint32_t offset, std::uint32_t size,
                                     std::uint8_t bit, std::string& error);
    static bool IsBitTable(Table table);
    static std::string Describe(const Place& place);

private:
    static std::optional<Place> FindRegisters(std::uint16_t block, std::uint32_t offset,
                                              std::uint32_t size, std::string& error);
};
