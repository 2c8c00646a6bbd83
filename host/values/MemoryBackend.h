#pragma once

#include "values/ReadBytes.h"

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

// The outcome of a memory access: failures are results, with their reason.
struct MemoryResult {
    bool ok = true;
    std::string error;

    static MemoryResult Done() { return {}; }
    static MemoryResult Failed(std::string reason) { return {false, std::move(reason)}; }
};

// One place of the host's memory model: a byte range of a block, or one bit of the
// little-endian value that starts at the offset (bit 0 to 15 of a word, 0 to 7 of a byte).
struct MemoryPlace {
    static constexpr std::uint8_t kNoBit = 255;

    std::uint16_t block = 0;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::uint8_t bit = kNoBit;
};

// One read of a batch: the place, and what was read there.
struct MemoryRead {
    MemoryPlace place;
    ReadBytes bytes; // the range read, little-endian (a bit: one byte, 0 or 1)
    MemoryResult result;
};

// Where the values behind the dictionary live: the embedded memory image or a PLC. Safe to
// call from many threads at once.
class MemoryBackend {
public:
    // Function-block locals (area kind 2) are kept apart from the ordinary area of their
    // block: block number plus this.
    static constexpr std::uint16_t kSecondaryBlockBase = 0x100;

    MemoryBackend() = default;
    MemoryBackend(const MemoryBackend&) = delete;
    MemoryBackend& operator=(const MemoryBackend&) = delete;
    virtual ~MemoryBackend() = default;

    virtual MemoryResult Read(std::uint16_t block, std::uint32_t offset,
                              std::span<std::uint8_t> bytes) = 0;
    virtual MemoryResult Write(std::uint16_t block, std::uint32_t offset,
                               std::span<const std::uint8_t> bytes) = 0;
    virtual MemoryResult ReadBit(std::uint16_t block, std::uint32_t offset, std::uint8_t bit,
                                 bool& value) = 0;
    // Changes that bit alone; the others of its word keep what they hold.
    virtual MemoryResult WriteBit(std::uint16_t block, std::uint32_t offset, std::uint8_t bit,
                                  bool value) = 0;

    // Reads every place of the batch; a backend that pays per request groups neighbours.
    virtual void ReadBatch(std::vector<MemoryRead>& reads);
};
