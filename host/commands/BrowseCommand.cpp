#include "commands/BrowseCommand.h"

#include "commands/ExitStatus.h"
#include "import/NameText.h"

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

std::string Hex(HRESULT status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<std::uint32_t>(status));
    return text;
}

} // namespace

BrowseCommand::BrowseCommand(HostSession& session) : m_Session(session) {}

std::string BrowseCommand::ItemPath(const std::string& itemId) {
    const std::size_t bang = itemId.find('!');
    return bang == std::string::npos ? itemId : itemId.substr(bang + 1);
}

nlohmann::json BrowseCommand::ChildrenJson(const std::vector<varbank::BrowseChild>& children) {
    nlohmann::json list = nlohmann::json::array();
    for (const varbank::BrowseChild& child : children) {
        list.push_back({{"name", child.name},
                        {"itemId", child.itemId},
                        {"path", BrowseCommand::ItemPath(child.itemId)},
                        {"hasChildren", child.hasChildren}});
    }
    return list;
}

bool BrowseCommand::ParseVarType(const std::string& text, VARTYPE& varType) {
    static const std::pair<const char*, VARTYPE> kNames[] = {
        {"I2", VT_I2},     {"I4", VT_I4},   {"R4", VT_R4},   {"R8", VT_R8},  {"BSTR", VT_BSTR},
        {"BOOL", VT_BOOL}, {"UI1", VT_UI1}, {"UI2", VT_UI2}, {"UI4", VT_UI4}};
    std::string name = ToUpperAscii(text);
    if (name.rfind("VT_", 0) == 0) {
        name = name.substr(3);
    }
    for (const auto& [known, value] : kNames) {
        if (name == known) {
            varType = value;
            return true;
        }
    }
    const std::string digits = name.rfind("0X", 0) == 0 ? "16#" + name.substr(2) : name;
    const auto number = ParseIntegerLiteral(digits);
    if (!number || *number < 0 || *number > 0xFFFF) {
        return false;
    }
    varType = static_cast<VARTYPE>(*number);
    return true;
}

int BrowseCommand::Run(const Options& options, bool json, std::ostream& out, std::ostream& err) {
    return options.columns.empty() ? RunElements(options, json, out, err)
                                   : RunNames(options, json, out, err);
}

varbank::BrowseRequest BrowseCommand::Request(const Options& options) const {
    const KindFlags kinds = Kinds(options);
    varbank::BrowseRequest request;
    request.pattern = options.pattern;
    request.varType = options.varType;
    request.path = options.path;
    request.branchesOnly = kinds.branchesOnly;
    request.leaves = kinds.leaves;
    request.branches = kinds.branches;
    request.position =
        Utf8ToUtf16(m_Session.Name() + (options.path.empty() ? "" : "!" + options.path));
    request.maximum = options.pageSize;
    return request;
}

HRESULT BrowseCommand::BrowsePages(const Options& options, std::vector<Page>& pages) {
    varbank::BrowsePager pager(m_Session.Dictionary(), Request(options));
    for (varbank::BrowsePage page; pager.Next(page);) {
        const std::string continuation = page.More() ? Utf16ToUtf8(page.Continuation()) : "";
        pages.push_back({page.Children(), continuation});
    }
    return pager.Status();
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
        out << result.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
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
                   .dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
            << '\n';
        return kExitDone;
    }
    for (const std::string& line : lines) {
        out << TerminalText(line) << '\n';
    }
    return kExitDone;
}

int BrowseCommand::Failed(HRESULT status, const Options& options, std::ostream& err) const {
    if (status == E_INVALIDARG) {
        err << "browse " << TerminalText(options.path)
            << ": not a variable of a structure, array or function-block type\n";
    } else if (status == E_NOTIMPL) {
        err << "browse: not available in this library build\n";
    } else {
        err << "browse " << TerminalText(options.path) << ": refused with status " << Hex(status)
            << '\n';
    }
    return kExitRefused;
}

void BrowseCommand::PrintChildren(const std::vector<varbank::BrowseChild>& children,
                                  std::ostream& out) {
    std::size_t width = 0;
    for (const varbank::BrowseChild& child : children) {
        width = std::max(width, child.name.size());
    }
    for (const varbank::BrowseChild& child : children) {
        out << child.name << std::string(width - child.name.size() + 2, ' ')
            << (child.hasChildren ? "branch  " : "leaf    ") << ItemPath(child.itemId) << '\n';
    }
}
