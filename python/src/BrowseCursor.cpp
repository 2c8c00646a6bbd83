#include "BrowseCursor.h"

#include <utility>

BrowseCursor::BrowseCursor(const Program& program, BrowseOptions browse)
    : m_Program(program), m_Browse(std::move(browse)) {}

bool BrowseCursor::Start() {
    m_Index = 0;
    m_Page = m_Program.Browse(m_Browse);
    return !m_Page.Failed();
}

bool BrowseCursor::Next(BrowsedChild& child) {
    while (m_Index >= m_Page.children.size()) {
        // A page that returned nothing cannot move the continuation point on.
        if (m_Page.Failed() || m_Page.continuation.empty() || m_Page.children.empty()) {
            return false;
        }
        m_Page = m_Program.Browse(m_Browse, m_Page.continuation);
        m_Index = 0;
    }
    child = m_Page.children[m_Index++];
    return true;
}
