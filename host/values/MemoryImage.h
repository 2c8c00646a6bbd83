#pragma once

#include "import/ProjectLayout.h"
#include "values/MemoryBackend.h"

#include <shared_mutex>
#include <vector>

// The embedded memory: one byte array per block of the host's memory model, sized by the
// layout (the bit area one byte per bit, as the dictionary numbers them), all zero until
// InitialValues fills it. Function-block locals have a second array per block, sized to the
// block plus the largest local area. Reads share a lock, writes hold it alone.
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

    // The size of a block's array (0 for a block the model does not have).
    std::size_t BlockSize(std::uint16_t block) const;

private:
    std::vector<std::uint8_t>* Find(std::uint16_t block, std::uint64_t offset, std::uint64_t size,
                                    MemoryResult& result);

    std::vector<std::vector<std::uint8_t>> m_Blocks;    // by block number
    std::vector<std::vector<std::uint8_t>> m_Secondary; // function-block locals, by block
    mutable std::shared_mutex m_Lock;
};
