#pragma once

#include "BrowseCursor.h"

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class Dictionary;

// How far a browse goes: the children of the position, or the whole tree below it.
enum class BrowseDepth { Children, Tree };

// A lazy listing of the children of one position, page by page; a tree listing also lists
// the children of every branch right after it (depth first), which walks the whole tree. It
// keeps its dictionary alive.
class BrowseIterator {
public:
    // Throws UnknownItem when the position lists nothing.
    BrowseIterator(std::shared_ptr<Dictionary> dictionary, BrowseOptions browse, BrowseDepth depth);

    // The next child, or nothing at the end. Safe to call from several threads.
    std::optional<BrowsedChild> Next();

private:
    // Opens a cursor on a position; its first page (failed when the position lists nothing).
    const BrowsedPage& Push(const std::string& path);

    std::shared_ptr<Dictionary> m_Dictionary;
    BrowseOptions m_Browse;
    BrowseDepth m_Depth;
    std::vector<std::unique_ptr<BrowseCursor>> m_Stack; // one cursor per open position
    std::mutex m_Mutex;
};
