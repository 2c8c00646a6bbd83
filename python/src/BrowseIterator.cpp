#include "BrowseIterator.h"

#include "Dictionary.h"
#include "UnknownItem.h"

#include <stdexcept>
#include <utility>

BrowseIterator::BrowseIterator(std::shared_ptr<Dictionary> dictionary, BrowseOptions browse,
                               BrowseDepth depth)
    : m_Dictionary(std::move(dictionary)), m_Browse(std::move(browse)), m_Depth(depth) {
    const BrowsedPage& first = Push(m_Browse.path);
    if (first.Failed()) {
        throw UnknownItem(m_Browse.path, first.Reason());
    }
}

const BrowsedPage& BrowseIterator::Push(const std::string& path) {
    BrowseOptions browse = m_Browse;
    browse.path = path;
    auto cursor = std::make_unique<BrowseCursor>(m_Dictionary->Opened(), std::move(browse));
    cursor->Start();
    m_Stack.push_back(std::move(cursor));
    return m_Stack.back()->Page();
}

std::optional<BrowsedChild> BrowseIterator::Next() {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    BrowsedChild child;
    while (!m_Stack.empty()) {
        BrowseCursor& cursor = *m_Stack.back();
        if (cursor.Next(child)) {
            if (m_Depth == BrowseDepth::Tree && child.hasChildren) {
                const BrowsedPage& first = Push(child.path);
                if (first.Failed()) {
                    throw std::runtime_error("walk " + child.path + ": " +
                                             BrowseFaultText(first.fault, first.status));
                }
            }
            return child;
        }
        if (cursor.Page().Failed()) {
            throw std::runtime_error("browse: a later page was " +
                                     BrowseFaultText(cursor.Page().fault, cursor.Page().status));
        }
        m_Stack.pop_back();
    }
    return std::nullopt;
}
