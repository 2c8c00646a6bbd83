#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The bytes of one read of a batch: in place up to kInline bytes (every elementary type but
// texts), on the heap beyond, so that reading a batch allocates nothing for most reads.
class ReadBytes {
public:
    static constexpr std::size_t kInline = 16;

    ReadBytes() = default;

    // `count` bytes, each `value`.
    void assign(std::size_t count, std::uint8_t value);
    ReadBytes& operator=(const std::vector<std::uint8_t>& bytes);

    std::size_t size() const { return m_Size; }
    bool empty() const { return m_Size == 0; }
    std::uint8_t* data() { return m_Size <= kInline ? m_Inline.data() : m_Heap.data(); }
    const std::uint8_t* data() const { return m_Size <= kInline ? m_Inline.data() : m_Heap.data(); }
    std::uint8_t* begin() { return data(); }
    std::uint8_t* end() { return data() + m_Size; }
    const std::uint8_t* begin() const { return data(); }
    const std::uint8_t* end() const { return data() + m_Size; }

    operator std::span<std::uint8_t>() { return {data(), m_Size}; }
    operator std::span<const std::uint8_t>() const { return {data(), m_Size}; }

private:
    std::array<std::uint8_t, kInline> m_Inline{};
    std::vector<std::uint8_t> m_Heap; // used when the bytes are more than kInline
    std::size_t m_Size = 0;
};
