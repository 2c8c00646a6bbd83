#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Where the places of the host's memory model lie in a PLC's Modbus tables. A map gives each
// area a base (the first register or bit of that area) or no place at all:
//
//   area   table               open-runtime   flat
//   %IX    discrete inputs     0 (bit 8a+b)   none
//   %QX    coils               0 (bit 8a+b)   none
//   %IW    input registers     0              none
//   %QW    holding registers   0              none
//   %M     coils               none           0 (%Mn, %MXn: coil n)
//   %MW    holding registers   1024           0 (%MWn: register n)
//   %MD    holding registers   2048           0 (%MDn: registers 2n, 2n+1)
//   %ML    holding registers   4096           0 (%MLn: registers 4n..4n+3)
//
// A bit of a word-area byte or word (%MX10.3, %MW10.3) is a bit of its holding register. A map
// may override the base of any area, or give an area a base that its named map lacks.
class RegisterMap {
public:
    enum class Table { Coils, DiscreteInputs, InputRegisters, HoldingRegisters };
    enum class Area { IX, QX, IW, QW, M, MW, MD, ML };
    static constexpr std::size_t kAreaCount = 8;

    // The register bit of a place that is not one bit of a register; the bit argument of Find
    // for a byte range.
    static constexpr std::uint8_t kNoBit = 255;
    // Registers (or bits) of one table: addresses 0 to 65535.
    static constexpr std::uint32_t kAddressCount = 65536;

    struct Place {
        Table table = Table::HoldingRegisters;
        std::uint32_t address = 0;
        std::uint32_t count = 0;           // bits for coils and inputs, else registers
        std::uint8_t registerBit = kNoBit; // a bit of the register, or kNoBit

        bool operator==(const Place&) const = default;
    };

    // The open-runtime map. Made inline, so that the options holding a map are built without
    // a call (GCC's optimiser otherwise reports their other members as uninitialised).
    RegisterMap() = default;

    // The convention of open IEC 61131-3 runtimes (the default).
    static RegisterMap OpenRuntime();
    // Memory exposed as it is numbered; %I and %Q have no place.
    static RegisterMap Flat();
    // "open-runtime" or "flat"; nothing for another name.
    static std::optional<RegisterMap> Named(std::string_view name);
    // The names Named knows, for messages: "open-runtime, flat".
    static std::string KnownNames();

    // The name of the map it was made from.
    const std::string& Name() const { return m_Name; }
    std::optional<std::uint32_t> Base(Area area) const;
    // A base for the area, or nothing to give it no Modbus place.
    void SetBase(Area area, std::optional<std::uint32_t> base);
    // True when some base differs from the named map's.
    bool Overridden() const;

    // The area's name without '%' ("MW"); an area by that name (any case).
    static std::string AreaName(Area area);
    static std::optional<Area> AreaNamed(std::string_view name);
    static Table AreaTable(Area area);

    // bit: kNoBit for the byte range [offset, offset + size), else that bit of the value at
    // offset. Nothing, with the reason, when the place has no Modbus place in this map.
    std::optional<Place> Find(std::uint16_t block, std::uint32_t offset, std::uint32_t size,
                              std::uint8_t bit, std::string& error) const;

    static bool IsBitTable(Table table);
    // "holding register 10..11 bit 3"
    static std::string Describe(const Place& place);

    bool operator==(const RegisterMap&) const = default;

private:
    RegisterMap(std::string name, std::array<std::optional<std::uint32_t>, kAreaCount> bases);

    std::optional<Place> FindBit(std::uint16_t block, std::uint32_t offset, std::uint8_t bit,
                                 std::string& error) const;
    std::optional<Place> FindRange(std::uint16_t block, std::uint32_t offset, std::uint32_t size,
                                   std::string& error) const;
    std::optional<Place> FindWords(std::uint32_t offset, std::uint32_t size,
                                   std::string& error) const;
    // The place at base + address of the area, or nothing with the reason when the area has
    // no base or the place runs past the table's end.
    std::optional<Place> At(Area area, std::uint64_t address, std::uint32_t count,
                            std::uint8_t registerBit, std::string& error) const;

    std::string m_Name = "open-runtime";
    std::array<std::optional<std::uint32_t>, kAreaCount> m_Bases = {
        0U, 0U, 0U, 0U, std::nullopt, 1024U, 2048U, 4096U};
};
