#include "import/plcopen/SourceLines.h"

#include <algorithm>
#include <cstring>

namespace {

// Lines ended by LF alone, the common case: memchr finds them far faster than a byte loop.
void AddLineFeedStarts(std::string_view text, std::vector<std::size_t>& starts) {
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* at = begin;
    while (at < end) {
        const void* found = std::memchr(at, '\n', static_cast<std::size_t>(end - at));
        if (found == nullptr) {
            return;
        }
        at = static_cast<const char*>(found) + 1;
        starts.push_back(static_cast<std::size_t>(at - begin));
    }
}

} // namespace

SourceLines::SourceLines(std::string_view text) {
    m_LineStarts.push_back(0);
    if (text.find('\r') == std::string_view::npos) {
        AddLineFeedStarts(text, m_LineStarts);
        return;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
        }
        if (text[i] == '\n' || text[i] == '\r') {
            m_LineStarts.push_back(i + 1);
        }
    }
}

// A reader asks in file order, mostly for the line it asked last or one just after: those are
// found beside the last answer, anything else by a binary search.
std::size_t SourceLines::LineOf(std::ptrdiff_t offset) const {
    if (offset < 0 || m_LineStarts.empty()) {
        return 0;
    }
    const auto at = static_cast<std::size_t>(offset);
    const std::size_t count = m_LineStarts.size();
    if (m_Last < count && m_LineStarts[m_Last] <= at) {
        for (std::size_t line = m_Last; line < count && line < m_Last + kNearby; ++line) {
            if (line + 1 == count || at < m_LineStarts[line + 1]) {
                m_Last = line;
                return line + 1;
            }
        }
    }
    const auto after = std::upper_bound(m_LineStarts.begin(), m_LineStarts.end(), at);
    const auto line = static_cast<std::size_t>(after - m_LineStarts.begin());
    m_Last = line - 1;
    return line;
}
