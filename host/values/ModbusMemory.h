#pragma once

#include "values/MemoryBackend.h"
#include "values/ModbusMap.h"
#include "values/ModbusTarget.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>

struct _modbus;

// A PLC over Modbus TCP, mapped as ModbusMap says. Registers are big-endian words; a 32- or
// 64-bit value spans two or four registers, the most significant first by default
// (WordOrder::HighFirst) or the least significant first. The connection is made on the first
// request and again on the next request after a failure; libmodbus is not thread-safe, so one
// mutex guards its context. Reads of a batch are grouped: neighbouring registers (or bits) of
// one table in one request of at most 125 registers (2,000 bits).
class ModbusMemory : public MemoryBackend {
public:
    enum class WordOrder { HighFirst, LowFirst };

    struct Options {
        ModbusTarget target;
        WordOrder wordOrder = WordOrder::HighFirst;
        std::chrono::milliseconds timeout{1000}; // for connecting and for each answer
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
    std::uint64_t RequestCount() const { return m_Requests.load(); }

private:
    struct Group;

    // The place of a byte range in the tables; nothing, with the failure, when it has none.
    static std::optional<ModbusMap::Place> RangePlace(std::uint16_t block, std::uint32_t offset,
                                                      std::size_t size, MemoryResult& failure);
    // Raw table access under m_Mutex; values as the PLC holds them (registers, or bits 0/1).
    MemoryResult ReadTable(const ModbusMap::Place& place, std::vector<std::uint16_t>& values);
    MemoryResult WriteTable(const ModbusMap::Place& place,
                            const std::vector<std::uint16_t>& values);
    MemoryResult Connected();
    MemoryResult Failure(const std::string& what, const ModbusMap::Place& place);
    void Disconnect();

    std::vector<std::uint8_t> ToBytes(const std::vector<std::uint16_t>& registers) const;
    std::vector<std::uint16_t> ToRegisters(std::span<const std::uint8_t> bytes) const;
    void ReadGroup(Group& group, std::vector<MemoryRead>& reads);
    void Distribute(const Group& group, const std::vector<std::uint16_t>& values,
                    std::vector<MemoryRead>& reads) const;

    Options m_Options;
    std::mutex m_Mutex;
    _modbus* m_Context = nullptr;
    std::atomic<std::uint64_t> m_Requests{0};
};
