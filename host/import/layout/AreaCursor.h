#pragma once

#include <cstdint>
#include <limits>
#include <optional>

// The alignment rules of the host's memory model, shared by variables and by the members of
// structures and function blocks: each piece goes at the next free offset of its area, aligned
// to its type, and no piece ends beyond 32 bits.
class AreaCursor {
public:
    static constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();

    static std::uint64_t AlignUp(std::uint64_t value, std::uint32_t align);

    // Where `size` bytes aligned to `align` go; the cursor moves past them. Nothing, and the
    // cursor stays, when they would end beyond 32 bits.
    std::optional<std::uint32_t> Place(std::uint32_t size, std::uint32_t align);

    // The end of the last piece placed.
    std::uint64_t End() const { return m_End; }

private:
    std::uint64_t m_End = 0;
};
