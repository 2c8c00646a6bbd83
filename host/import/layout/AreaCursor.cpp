#include "import/layout/AreaCursor.h"

std::uint64_t AreaCursor::AlignUp(std::uint64_t value, std::uint32_t align) {
    return (value + align - 1) / align * align;
}

std::optional<std::uint32_t> AreaCursor::Place(std::uint32_t size, std::uint32_t align) {
    const std::uint64_t offset = AlignUp(m_End, align);
    if (offset + size > kMax32) {
        return std::nullopt;
    }
    m_End = offset + size;
    return static_cast<std::uint32_t>(offset);
}
