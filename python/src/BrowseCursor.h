#pragma once

#include <VarbankClient.h>

#include <cstdint>

// Reads the children of one browse position one at a time, fetching the next page from the
// continuation point when the current one is used up.
class BrowseCursor {
public:
    BrowseCursor(CSymb& dictionary, varbank::BrowseRequest request);

    // Fetches the first page; its status (a failure when the position lists nothing).
    HRESULT Start();
    // The next child; false at the end of the listing or when a page failed (Status()).
    bool Next(varbank::BrowseChild& child);
    HRESULT Status() const { return m_Pager.Status(); }

private:
    varbank::BrowsePager m_Pager;
    varbank::BrowsePage m_Page;
    std::uint32_t m_Index = 0;
};
