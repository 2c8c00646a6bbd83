#pragma once

#include "BrowseCursor.h"
#include "Child.h"
#include "commands/BrowseCommand.h"

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class Dictionary;

// A lazy listing of the children of one position, page by page; a recursive one also lists
// the children of every branch right after it (depth first), which walks the whole tree. It
// keeps its dictionary alive.
class BrowseIterator {
public:
    // Throws UnknownItem when the position lists nothing.
    BrowseIterator(std::shared_ptr<Dictionary> dictionary, BrowseCommand::Options options,
                   bool recursive);

    // The next child, or nothing at the end. Safe to call from several threads.
    std::optional<Child> Next();

private:
    // Opens a cursor on a position; the status of its first page.
    HRESULT Push(const std::string& path);

    std::shared_ptr<Dictionary> m_Dictionary;
    BrowseCommand::Options m_Options;
    bool m_Recursive;
    std::vector<std::unique_ptr<BrowseCursor>> m_Stack; // one cursor per open position
    std::mutex m_Mutex;
};
