#include "import/plcopen/SourceLines.h"

#include <algorithm>

SourceLines::SourceLines(std::string_view text) {
    m_LineStarts.push_back(0);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
        }
        if (text[i] == '\n' || text[i] == '\r') {
            m_LineStarts.push_back(i + 1);
        }
    }
}

std::size_t SourceLines::LineOf(std::ptrdiff_t offset) const {
    if (offset < 0 || m_LineStarts.empty()) {
        return 0;
    }
    const auto after = std::upper_bound(m_LineStarts.begin(), m_LineStarts.end(),
                                        static_cast<std::size_t>(offset));
    return static_cast<std::size_t>(after - m_LineStarts.begin());
}
