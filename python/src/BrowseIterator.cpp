#include "BrowseIterator.h"

#include "Dictionary.h"
#include "UnknownItem.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

namespace {

std::string Refusal(HRESULT status) {
    if (status == E_INVALIDARG) {
        return "not a variable of a structure, array or function-block type";
    }
    char text[48];
    std::snprintf(text, sizeof text, "refused with status 0x%08X",
                  static_cast<std::uint32_t>(status));
    return text;
}

} // namespace

BrowseIterator::BrowseIterator(std::shared_ptr<Dictionary> dictionary,
                               BrowseCommand::Options options, bool recursive)
    : m_Dictionary(std::move(dictionary)), m_Options(std::move(options)), m_Recursive(recursive) {
    const HRESULT status = Push(m_Options.path);
    if (FAILED(status)) {
        throw UnknownItem(m_Options.path, Refusal(status));
    }
}

HRESULT BrowseIterator::Push(const std::string& path) {
    BrowseCommand::Options options = m_Options;
    options.path = path;
    HostSession& session = m_Dictionary->Session();
    auto cursor = std::make_unique<BrowseCursor>(session.Dictionary(),
                                                 BrowseCommand(session).Request(options));
    const HRESULT status = cursor->Start();
    if (SUCCEEDED(status)) {
        m_Stack.push_back(std::move(cursor));
    }
    return status;
}

std::optional<Child> BrowseIterator::Next() {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    varbank::BrowseChild found;
    while (!m_Stack.empty()) {
        BrowseCursor& cursor = *m_Stack.back();
        if (cursor.Next(found)) {
            Child child = Child::From(found);
            if (m_Recursive && child.hasChildren) {
                const HRESULT status = Push(child.path);
                if (FAILED(status)) {
                    throw std::runtime_error("walk " + child.path + ": " + Refusal(status));
                }
            }
            return child;
        }
        if (FAILED(cursor.Status())) {
            throw std::runtime_error("browse: a later page was " + Refusal(cursor.Status()));
        }
        m_Stack.pop_back();
    }
    return std::nullopt;
}
