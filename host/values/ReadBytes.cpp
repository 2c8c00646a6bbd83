#include "values/ReadBytes.h"

#include <algorithm>

void ReadBytes::assign(std::size_t count, std::uint8_t value) {
    m_Size = count;
    if (count > kInline) {
        m_Heap.assign(count, value);
        return;
    }
    std::fill_n(m_Inline.begin(), count, value);
}

ReadBytes& ReadBytes::operator=(const std::vector<std::uint8_t>& bytes) {
    assign(bytes.size(), 0);
    std::copy(bytes.begin(), bytes.end(), data());
    return *this;
}
