#include "values/MemoryImage.h"

#include "import/layout/LocatedAddress.h"

#include <algorithm>
#include <mutex>

namespace {

// The largest local area of any function block: where its locals may reach past the block.
std::uint64_t LargestLocalArea(const ProjectLayout& layout) {
    std::uint64_t largest = 0;
    for (const CompositeLayout& composite : layout.composites) {
        for (const MemberLayout& member : composite.members) {
            if (member.areaKind == 2) {
                largest =
                    std::max<std::uint64_t>(largest, std::uint64_t{member.offset} + member.size);
            }
        }
    }
    return largest;
}

std::string Range(std::uint16_t block, std::uint64_t offset, std::uint64_t size) {
    return "block " + std::to_string(block) + ", bytes " + std::to_string(offset) + ".." +
           std::to_string(offset + size - 1);
}

} // namespace

MemoryImage::MemoryImage(const ProjectLayout& layout)
    : m_Blocks(LocatedAddress::kBlockCount), m_Secondary(LocatedAddress::kBlockCount) {
    const std::uint64_t locals = LargestLocalArea(layout);
    for (std::size_t block = 1; block < m_Blocks.size(); ++block) {
        std::uint64_t size = layout.blockEnds[block];
        if (block == LocatedAddress::kWordBlock) {
            size = std::max<std::uint64_t>(size, std::uint64_t{layout.wordCount} * 2);
        } else if (block == LocatedAddress::kBitBlock) {
            size = std::max<std::uint64_t>(size, layout.bitCount);
        }
        m_Blocks[block].assign(size, 0);
        if (locals > 0 && block == LocatedAddress::kUnlocatedBlock) {
            m_Secondary[block].assign(size + locals, 0);
        }
    }
}

std::size_t MemoryImage::BlockSize(std::uint16_t block) const {
    const std::shared_lock lock(m_Lock);
    const bool secondary = block >= kSecondaryBlockBase;
    const auto& blocks = secondary ? m_Secondary : m_Blocks;
    const std::size_t index = secondary ? block - kSecondaryBlockBase : block;
    return index < blocks.size() ? blocks[index].size() : 0;
}

std::vector<std::uint8_t>* MemoryImage::Find(std::uint16_t block, std::uint64_t offset,
                                             std::uint64_t size, MemoryResult& result) {
    const bool secondary = block >= kSecondaryBlockBase;
    auto& blocks = secondary ? m_Secondary : m_Blocks;
    const std::size_t index = secondary ? block - kSecondaryBlockBase : block;
    if (index >= blocks.size() || offset + size > blocks[index].size()) {
        result = MemoryResult::Failed(Range(block, offset, size) + " lie outside the memory image");
        return nullptr;
    }
    result = MemoryResult::Done();
    return &blocks[index];
}

MemoryResult MemoryImage::Read(std::uint16_t block, std::uint32_t offset,
                               std::span<std::uint8_t> bytes) {
    const std::shared_lock lock(m_Lock);
    MemoryResult result;
    if (const auto* data = Find(block, offset, bytes.size(), result)) {
        std::copy_n(data->begin() + offset, bytes.size(), bytes.begin());
    }
    return result;
}

MemoryResult MemoryImage::Write(std::uint16_t block, std::uint32_t offset,
                                std::span<const std::uint8_t> bytes) {
    const std::unique_lock lock(m_Lock);
    MemoryResult result;
    if (auto* data = Find(block, offset, bytes.size(), result)) {
        std::copy(bytes.begin(), bytes.end(), data->begin() + offset);
    }
    return result;
}

MemoryResult MemoryImage::ReadBit(std::uint16_t block, std::uint32_t offset, std::uint8_t bit,
                                  bool& value) {
    const std::shared_lock lock(m_Lock);
    const std::uint64_t byte = std::uint64_t{offset} + bit / 8;
    MemoryResult result;
    if (const auto* data = Find(block, byte, 1, result)) {
        value = (((*data)[byte] >> (bit % 8)) & 1U) != 0;
    }
    return result;
}

MemoryResult MemoryImage::WriteBit(std::uint16_t block, std::uint32_t offset, std::uint8_t bit,
                                   bool value) {
    const std::unique_lock lock(m_Lock);
    const std::uint64_t byte = std::uint64_t{offset} + bit / 8;
    MemoryResult result;
    if (auto* data = Find(block, byte, 1, result)) {
        const auto mask = static_cast<std::uint8_t>(1U << (bit % 8));
        (*data)[byte] =
            static_cast<std::uint8_t>(value ? ((*data)[byte] | mask) : ((*data)[byte] & ~mask));
    }
    return result;
}
