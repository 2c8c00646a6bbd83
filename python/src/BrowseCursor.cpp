#include "BrowseCursor.h"

#include <utility>

BrowseCursor::BrowseCursor(CSymb& dictionary, varbank::BrowseRequest request)
    : m_Pager(dictionary, std::move(request)) {}

HRESULT BrowseCursor::Start() {
    m_Index = 0;
    m_Pager.Next(m_Page);
    return m_Pager.Status();
}

bool BrowseCursor::Next(varbank::BrowseChild& child) {
    while (m_Index >= m_Page.Count()) {
        if (!m_Pager.Next(m_Page)) {
            return false;
        }
        m_Index = 0;
    }
    child = m_Page.Child(m_Index++);
    return true;
}
