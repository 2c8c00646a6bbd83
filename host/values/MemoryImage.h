#pragma once

#include "import/ProjectLayout.h"
#include "values/MemoryBackend.h"

#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <vector>

// The embedded memory: one byte range per block of the host's memory model, sized by the
// layout (the bit area one byte per bit, as the dictionary numbers them), all zero until
// InitialValues fills it. Function-block locals have a second range per block, sized to the
// block plus the largest local area. A range is kept in pages made on their first write, so a
// program whose located variables lie at high addresses costs only the pages it writes. Reads
// share a lock, writes hold it alone.
class MemoryImage : public MemoryBackend {
public:
    explicit MemoryImage(const ProjectLayout& layout);

    MemoryResult Read(std::uint16_t block, std::uint32_t offset,
                      std::span<std::uint8_t> bytes) override;
    MemoryResult Write(std::uint16_t block, std::uint32_t offset,
                       std::span<const std::uint8_t> bytes) override;
    MemoryResult ReadBit(std::uint16_t block, std::uint32_t offset, std::uint8_t bit,
                         bool& value) override;
    MemoryResult WriteBit(std::uint16_t block, std::uint32_t offset, std::uint8_t bit,
                          bool value) override;
    // Every read of the batch under one hold of the lock: the values of a request are taken
    // from one state of the image.
    void ReadBatch(std::vector<MemoryRead>& reads) override;

private:
    static constexpr std::uint64_t kPageSize = 64 * 1024;

    // The bytes of one block: its size, and its pages (null until written: all zero).
    struct Area {
        std::uint64_t size = 0;
        std::vector<std::unique_ptr<std::uint8_t[]>> pages;

        void Resize(std::uint64_t bytes);
        void Copy(std::uint64_t offset, std::span<std::uint8_t> bytes) const;
        void Store(std::uint64_t offset, std::span<const std::uint8_t> bytes);
        std::uint8_t* Byte(std::uint64_t offset); // makes its page
    };

    // The area that holds the range, or null when it lies outside the image.
    Area* AreaOf(std::uint16_t block, std::uint64_t offset, std::uint64_t size);
    Area* Find(std::uint16_t block, std::uint64_t offset, std::uint64_t size, MemoryResult& result);
    static MemoryResult Outside(std::uint16_t block, std::uint64_t offset, std::uint64_t size);
    void ReadOneHeld(MemoryRead& read);
    // Read and ReadBit with the lock held.
    MemoryResult ReadHeld(std::uint16_t block, std::uint32_t offset, std::span<std::uint8_t> bytes);
    MemoryResult ReadBitHeld(std::uint16_t block, std::uint32_t offset, std::uint8_t bit,
                             bool& value);

    std::vector<Area> m_Blocks;    // by block number
    std::vector<Area> m_Secondary; // function-block locals, by block
    mutable std::shared_mutex m_Lock;
};
