#pragma once

#include "core/Program.h"

#include <cstddef>
#include <string>

// Reads the children of one browse position one at a time, fetching the next page from the
// continuation point when the current one is used up.
class BrowseCursor {
public:
    BrowseCursor(const Program& program, BrowseOptions browse);

    // Fetches the first page; false when the position lists nothing (Page() says why).
    bool Start();
    // The next child; false at the end of the listing or when a page failed.
    bool Next(BrowsedChild& child);
    // The last page fetched, with its fault if it failed.
    const BrowsedPage& Page() const { return m_Page; }

private:
    const Program& m_Program;
    BrowseOptions m_Browse;
    BrowsedPage m_Page;
    std::size_t m_Index = 0;
};
