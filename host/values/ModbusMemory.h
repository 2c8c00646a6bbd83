#pragma once

#include "values/MemoryBackend.h"
#include "values/ModbusTarget.h"
#include "values/PlcEndpoint.h"
#include "values/RegisterMap.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

// A PLC over Modbus TCP, mapped as its RegisterMap says. Registers are big-endian words; a 32- or
// 64-bit value spans two or four registers, the most significant first by default
// (WordOrder::HighFirst) or the least significant first. The connection, its lock and its
// time limits belong to the PLC's endpoint, which other memories of the same PLC share; a
// batch of reads is one exchange, and so is a write (a bit of a register: read, change, write
// back). Reads of a batch are grouped: neighbouring registers (or bits) of one table in one
// request of at most 125 registers (2,000 bits), or fewer for a device that takes fewer.
class ModbusMemory : public MemoryBackend {
public:
    enum class WordOrder { HighFirst, LowFirst };

    struct Options {
        ModbusTarget target;
        WordOrder wordOrder = WordOrder::HighFirst;
        std::chrono::milliseconds timeout{1000}; // for one exchange, connecting included
        // The PLC's endpoint, shared with other memories of it; made from target and timeout
        // when none is given.
        std::shared_ptr<PlcEndpoint> endpoint;
        RegisterMap map;                  // open-runtime
        std::uint32_t maxRegisters = 125; // registers read in one request, 1 to 125
        std::uint32_t maxBits = 2000;     // coils or inputs read in one request, 1 to 2000
    };

    explicit ModbusMemory(Options options);
    ModbusMemory(const ModbusMemory&) = delete;
    ModbusMemory& operator=(const ModbusMemory&) = delete;
    ~ModbusMemory() override;

    MemoryResult Read(std::uint16_t block, std::uint32_t offset,
                      std::span<std::uint8_t> bytes) override;
    MemoryResult Write(std::uint16_t block, std::uint32_t offset,
                       std::span<const std::uint8_t> bytes) override;
    MemoryResult ReadBit(std::uint16_t block, std::uint32_t offset, std::uint8_t bit,
                         bool& value) override;
    MemoryResult WriteBit(std::uint16_t block, std::uint32_t offset, std::uint8_t bit,
                          bool value) override;
    void ReadBatch(std::vector<MemoryRead>& reads) override;

    // Requests sent so far (each read or write of one group counts one).
    std::uint64_t RequestCount() const { return m_Endpoint->RequestCount(); }
    const std::shared_ptr<PlcEndpoint>& Endpoint() const { return m_Endpoint; }

private:
    struct Group;

    // The place of a byte range in the tables; nothing, with the failure, when it has none.
    std::optional<RegisterMap::Place> RangePlace(std::uint16_t block, std::uint32_t offset,
                                                 std::size_t size, MemoryResult& failure) const;
    // Raw table access within an exchange; values as the PLC holds them (registers, or bits).
    static MemoryResult ReadTable(PlcEndpoint::Exchange& exchange, const RegisterMap::Place& place,
                                  std::vector<std::uint16_t>& values);
    static MemoryResult WriteTable(PlcEndpoint::Exchange& exchange, const RegisterMap::Place& place,
                                   const std::vector<std::uint16_t>& values);

    std::vector<std::uint8_t> ToBytes(const std::vector<std::uint16_t>& registers) const;
    std::vector<std::uint16_t> ToRegisters(std::span<const std::uint8_t> bytes) const;
    // The values of a place read (registers, or one per bit) as the bytes of the host's memory.
    std::vector<std::uint8_t> ToHostBytes(const RegisterMap::Place& place,
                                          const std::vector<std::uint16_t>& values) const;
    std::vector<std::uint16_t> ToValues(const RegisterMap::Place& place,
                                        std::span<const std::uint8_t> bytes) const;
    std::uint32_t Limit(RegisterMap::Table table) const;
    void ReadGroup(PlcEndpoint::Exchange& exchange, Group& group, std::vector<MemoryRead>& reads);
    void Distribute(const Group& group, const std::vector<std::uint16_t>& values,
                    std::vector<MemoryRead>& reads) const;

    Options m_Options;
    std::shared_ptr<PlcEndpoint> m_Endpoint;
};
