#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

// Turns byte offsets of a text into 1-based line numbers. LF, CRLF and a lone CR each end a
// line, so files written on any system number their lines as an editor shows them.
class SourceLines {
public:
    SourceLines() = default;
    explicit SourceLines(std::string_view text);

    // Not for two threads at once: it keeps the last line found, where the next is looked for.
    std::size_t LineOf(std::ptrdiff_t offset) const;

private:
    static constexpr std::size_t kNearby = 8; // lines looked at beside the last answer

    std::vector<std::size_t> m_LineStarts;
    mutable std::size_t m_Last = 0; // index of the line found last
};
