#include "commands/BrowseCommand.h"

#include "commands/ExitStatus.h"

#include <algorithm>
#include <cstdio>

namespace {

struct KindFlags {
    std::int32_t branchesOnly;
    std::int32_t leaves;
    std::int32_t branches;
};

// Without any kind option every child is listed.
KindFlags Kinds(const BrowseCommand::Options& options) {
    if (!options.leaves && !options.branches && !options.branchesOnly) {
        return {0, 1, 1};
    }
    return {options.branchesOnly ? 1 : 0, options.leaves ? 1 : 0, options.branches ? 1 : 0};
}

// The item path of an identifier: what follows the dictionary name and "!".
std::string ItemPath(const std::string& itemId) {
    const std::size_t bang = itemId.find('!');
    return bang == std::string::npos ? itemId : itemId.substr(bang + 1);
}

nlohmann::json ChildrenJson(const std::vector<BrowseCommand::Child>& children) {
    nlohmann::json list = nlohmann::json::array();
    for (const BrowseCommand::Child& child : children) {
        list.push_back({{"name", child.name},
                        {"itemId", child.itemId},
                        {"path", ItemPath(child.itemId)},
                        {"hasChildren", child.hasChildren}});
    }
    return list;
}

std::string Hex(HRESULT status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<std::uint32_t>(status));
    return text;
}

} // namespace

BrowseCommand::BrowseCommand(HostSession& session) : m_Session(session) {}

int BrowseCommand::Run(const Options& options, bool json, std::ostream& out, std::ostream& err) {
    return options.columns.empty() ? RunElements(options, json, out, err)
                                   : RunNames(options, json, out, err);
}

HRESULT BrowseCommand::BrowsePages(const Options& options, std::vector<Page>& pages) {
    const std::string position =
        m_Session.Name() + (options.path.empty() ? "" : "!" + options.path);
    const std::u16string positionId = Utf8ToUtf16(position);
    OLECHAR* continuation = nullptr;
    HRESULT status = S_OK;
    bool more = true;
    while (more) {
        Page page;
        status = BrowsePage(options, positionId, continuation, page, more);
        // A page that returned nothing cannot move the continuation point on.
        more = more && SUCCEEDED(status) && !page.children.empty();
        pages.push_back(std::move(page));
    }
    CoTaskMemFree(continuation);
    return status;
}

HRESULT BrowseCommand::BrowsePage(const Options& options, const std::u16string& position,
                                  OLECHAR*& continuation, Page& page, bool& more) {
    const KindFlags kinds = Kinds(options);
    std::uint32_t count = 0;
    std::uint32_t capacity = 0;
    std::int32_t moreFlag = 0;
    tagBROWSEELEMENT* records = nullptr;
    if (options.pageSize > 0) {
        // With a cap the host hands in a block of that many records.
        records = static_cast<tagBROWSEELEMENT*>(
            CoTaskMemAlloc(std::size_t{options.pageSize} * sizeof(tagBROWSEELEMENT)));
        if (records == nullptr) {
            return E_OUTOFMEMORY;
        }
        capacity = options.pageSize;
    }
    OLECHAR* previous = continuation;
    const HRESULT status = m_Session.Dictionary().BrowseElements(
        "", options.pattern.c_str(), options.varType, options.path.c_str(), 0, 0,
        kinds.branchesOnly, kinds.leaves, kinds.branches, 0, "", position.c_str(), &continuation,
        options.pageSize, 0, 0, 0, 0, &moreFlag, &count, &records, &capacity, nullptr);
    for (std::uint32_t i = 0; i < count && records != nullptr; ++i) {
        page.children.push_back({Utf16ToUtf8(records[i].pszName), Utf16ToUtf8(records[i].pszItemId),
                                 records[i].dwFlags == 3});
        CoTaskMemFree(records[i].pszName);
        CoTaskMemFree(records[i].pszItemId);
    }
    CoTaskMemFree(records);
    // The module stores a new continuation text and leaves the old one to the host.
    if (continuation != previous) {
        CoTaskMemFree(previous);
    }
    more = moreFlag != 0;
    page.continuation = more ? Utf16ToUtf8(continuation) : std::string();
    return status;
}

int BrowseCommand::RunElements(const Options& options, bool json, std::ostream& out,
                               std::ostream& err) {
    std::vector<Page> pages;
    const HRESULT status = BrowsePages(options, pages);
    if (FAILED(status)) {
        return Failed(status, options, err);
    }
    if (json) {
        nlohmann::json result{{"path", options.path}};
        if (options.pageSize == 0) {
            result["children"] = ChildrenJson(pages.front().children);
        } else {
            result["pages"] = nlohmann::json::array();
            for (const Page& page : pages) {
                result["pages"].push_back(
                    {{"children", ChildrenJson(page.children)},
                     {"continuation", page.continuation.empty()
                                          ? nlohmann::json()
                                          : nlohmann::json(page.continuation)}});
            }
        }
        out << result.dump(2) << '\n';
        return kExitDone;
    }
    for (const Page& page : pages) {
        PrintChildren(page.children, out);
        if (!page.continuation.empty()) {
            out << "-- more from " << page.continuation << " --\n";
        }
    }
    return kExitDone;
}

int BrowseCommand::RunNames(const Options& options, bool json, std::ostream& out,
                            std::ostream& err) {
    const KindFlags kinds = Kinds(options);
    std::vector<std::string> lines;
    const HRESULT status = m_Session.Dictionary().BrowseNames(
        "", options.pattern.c_str(), options.varType, options.path.c_str(), 0, 0,
        kinds.branchesOnly, kinds.leaves, kinds.branches,
        static_cast<std::int32_t>(options.columns.size()), options.columns.c_str(), &lines,
        nullptr);
    if (FAILED(status)) {
        return Failed(status, options, err);
    }
    if (json) {
        out << nlohmann::json{{"path", options.path},
                              {"columns", options.columns},
                              {"lines", lines}}
                   .dump(2)
            << '\n';
        return kExitDone;
    }
    for (const std::string& line : lines) {
        out << line << '\n';
    }
    return kExitDone;
}

int BrowseCommand::Failed(HRESULT status, const Options& options, std::ostream& err) const {
    if (status == E_INVALIDARG) {
        err << "browse " << options.path
            << ": not a variable of a structure, array or function-block type\n";
    } else if (status == E_NOTIMPL) {
        err << "browse: not available in this library build\n";
    } else {
        err << "browse " << options.path << ": refused with status " << Hex(status) << '\n';
    }
    return kExitRefused;
}

void BrowseCommand::PrintChildren(const std::vector<Child>& children, std::ostream& out) {
    std::size_t width = 0;
    for (const Child& child : children) {
        width = std::max(width, child.name.size());
    }
    for (const Child& child : children) {
        out << child.name << std::string(width - child.name.size() + 2, ' ')
            << (child.hasChildren ? "branch  " : "leaf    ") << ItemPath(child.itemId) << '\n';
    }
}
