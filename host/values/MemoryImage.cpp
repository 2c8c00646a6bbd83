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

void MemoryImage::Area::Resize(std::uint64_t bytes) {
    size = bytes;
    pages.resize((bytes + kPageSize - 1) / kPageSize);
}

void MemoryImage::Area::Copy(std::uint64_t offset, std::span<std::uint8_t> bytes) const {
    for (std::size_t done = 0; done < bytes.size();) {
        const std::uint64_t at = offset + done;
        const std::uint64_t within = at % kPageSize;
        const std::size_t count = static_cast<std::size_t>(
            std::min<std::uint64_t>(bytes.size() - done, kPageSize - within));
        const std::uint8_t* page = pages[at / kPageSize].get();
        if (page == nullptr) {
            std::fill_n(bytes.begin() + done, count, std::uint8_t{0});
        } else {
            std::copy_n(page + within, count, bytes.begin() + done);
        }
        done += count;
    }
}

void MemoryImage::Area::Store(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const std::uint64_t at = offset + done;
        const std::uint64_t within = at % kPageSize;
        const std::size_t count = static_cast<std::size_t>(
            std::min<std::uint64_t>(bytes.size() - done, kPageSize - within));
        std::copy_n(bytes.begin() + done, count, Byte(at));
        done += count;
    }
}

std::uint8_t* MemoryImage::Area::Byte(std::uint64_t offset) {
    std::unique_ptr<std::uint8_t[]>& page = pages[offset / kPageSize];
    if (!page) {
        page = std::make_unique<std::uint8_t[]>(kPageSize); // zeroed
    }
    return page.get() + offset % kPageSize;
}

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
        m_Blocks[block].Resize(size);
        if (locals > 0 && block == LocatedAddress::kUnlocatedBlock) {
            m_Secondary[block].Resize(size + locals);
        }
    }
}

MemoryImage::Area* MemoryImage::AreaOf(std::uint16_t block, std::uint64_t offset,
                                       std::uint64_t size) {
    const bool secondary = block >= kSecondaryBlockBase;
    auto& blocks = secondary ? m_Secondary : m_Blocks;
    const std::size_t index = secondary ? block - kSecondaryBlockBase : block;
    return index >= blocks.size() || offset + size > blocks[index].size ? nullptr : &blocks[index];
}

MemoryImage::Area* MemoryImage::Find(std::uint16_t block, std::uint64_t offset, std::uint64_t size,
                                     MemoryResult& result) {
    Area* area = AreaOf(block, offset, size);
    result = area == nullptr ? Outside(block, offset, size) : MemoryResult::Done();
    return area;
}

MemoryResult MemoryImage::Outside(std::uint16_t block, std::uint64_t offset, std::uint64_t size) {
    return MemoryResult::Failed(Range(block, offset, size) + " lie outside the memory image");
}

MemoryResult MemoryImage::Read(std::uint16_t block, std::uint32_t offset,
                               std::span<std::uint8_t> bytes) {
    const std::shared_lock lock(m_Lock);
    return ReadHeld(block, offset, bytes);
}

MemoryResult MemoryImage::ReadHeld(std::uint16_t block, std::uint32_t offset,
                                   std::span<std::uint8_t> bytes) {
    MemoryResult result;
    if (const Area* area = Find(block, offset, bytes.size(), result)) {
        area->Copy(offset, bytes);
    }
    return result;
}

MemoryResult MemoryImage::Write(std::uint16_t block, std::uint32_t offset,
                                std::span<const std::uint8_t> bytes) {
    const std::unique_lock lock(m_Lock);
    MemoryResult result;
    if (Area* area = Find(block, offset, bytes.size(), result)) {
        area->Store(offset, bytes);
    }
    return result;
}

MemoryResult MemoryImage::ReadBit(std::uint16_t block, std::uint32_t offset, std::uint8_t bit,
                                  bool& value) {
    const std::shared_lock lock(m_Lock);
    return ReadBitHeld(block, offset, bit, value);
}

MemoryResult MemoryImage::ReadBitHeld(std::uint16_t block, std::uint32_t offset, std::uint8_t bit,
                                      bool& value) {
    const std::uint64_t byte = std::uint64_t{offset} + bit / 8;
    MemoryResult result;
    if (const Area* area = Find(block, byte, 1, result)) {
        std::uint8_t held = 0;
        area->Copy(byte, {&held, 1});
        value = ((held >> (bit % 8)) & 1U) != 0;
    }
    return result;
}

MemoryResult MemoryImage::WriteBit(std::uint16_t block, std::uint32_t offset, std::uint8_t bit,
                                   bool value) {
    const std::unique_lock lock(m_Lock);
    const std::uint64_t byte = std::uint64_t{offset} + bit / 8;
    MemoryResult result;
    if (Area* area = Find(block, byte, 1, result)) {
        std::uint8_t& held = *area->Byte(byte);
        const auto mask = static_cast<std::uint8_t>(1U << (bit % 8));
        held = static_cast<std::uint8_t>(value ? (held | mask) : (held & ~mask));
    }
    return result;
}

void MemoryImage::ReadBatch(std::vector<MemoryRead>& reads) {
    const std::shared_lock lock(m_Lock);
    for (MemoryRead& read : reads) {
        ReadOneHeld(read);
    }
}

// One read of a batch with the lock held; a read in range builds no result text.
void MemoryImage::ReadOneHeld(MemoryRead& read) {
    const MemoryPlace& place = read.place;
    const bool bit = place.bit != MemoryPlace::kNoBit;
    const std::uint64_t offset = std::uint64_t{place.offset} + (bit ? place.bit / 8 : 0);
    const std::uint64_t size = bit ? 1 : place.size;
    const Area* area = AreaOf(place.block, offset, size);
    read.bytes.assign(size, 0);
    if (area == nullptr) {
        read.result = Outside(place.block, offset, size);
        return;
    }
    area->Copy(offset, read.bytes);
    if (bit) {
        read.bytes.assign(
            1, static_cast<std::uint8_t>((read.bytes.data()[0] >> (place.bit % 8)) & 1U));
    }
    read.result.ok = true;
    read.result.error.clear();
}
