#include "cli/BrowseCommand.h"

#include "cli/ExitStatus.h"
#include "text/HostText.h"
#include "json/CoreJson.h"

#include <algorithm>

int BrowseCommand::Run(const Program& program, const BrowseOptions& browse,
                       const std::string& columns, OutputFormat format, std::ostream& out,
                       std::ostream& err) {
    return columns.empty() ? RunPages(program, browse, format, out, err)
                           : RunColumns(program, browse, columns, format, out, err);
}

int BrowseCommand::RunPages(const Program& program, const BrowseOptions& browse,
                            OutputFormat format, std::ostream& out, std::ostream& err) {
    const std::vector<BrowsedPage> pages = program.BrowseAll(browse);
    if (!pages.empty() && pages.back().Failed()) {
        return Failed(pages.back(), browse, err);
    }
    if (format == OutputFormat::Json) {
        nlohmann::json result{{"path", browse.path}};
        if (browse.pageSize == 0) {
            result["children"] = CoreJson::Children(pages.front().children);
        } else {
            result["pages"] = nlohmann::json::array();
            for (const BrowsedPage& page : pages) {
                result["pages"].push_back(
                    {{"children", CoreJson::Children(page.children)},
                     {"continuation", page.continuation.empty()
                                          ? nlohmann::json()
                                          : nlohmann::json(page.continuation)}});
            }
        }
        out << CoreJson::Text(result) << '\n';
        return kExitDone;
    }
    for (const BrowsedPage& page : pages) {
        PrintChildren(page.children, out);
        if (!page.continuation.empty()) {
            out << "-- more from " << page.continuation << " --\n";
        }
    }
    return kExitDone;
}

int BrowseCommand::RunColumns(const Program& program, const BrowseOptions& browse,
                              const std::string& columns, OutputFormat format, std::ostream& out,
                              std::ostream& err) {
    std::vector<std::string> lines;
    const BrowsedPage result = program.BrowseColumns(browse, columns, lines);
    if (result.Failed()) {
        return Failed(result, browse, err);
    }
    if (format == OutputFormat::Json) {
        out << CoreJson::Text({{"path", browse.path}, {"columns", columns}, {"lines", lines}})
            << '\n';
        return kExitDone;
    }
    for (const std::string& line : lines) {
        out << TerminalText(line) << '\n';
    }
    return kExitDone;
}

int BrowseCommand::Failed(const BrowsedPage& page, const BrowseOptions& browse, std::ostream& err) {
    const std::string reason = page.Reason();
    if (page.fault == BrowseFault::NotAvailable) {
        err << "browse: " << reason << '\n';
    } else {
        err << "browse " << TerminalText(browse.path) << ": " << reason << '\n';
    }
    return kExitRefused;
}

void BrowseCommand::PrintChildren(const std::vector<BrowsedChild>& children, std::ostream& out) {
    std::size_t width = 0;
    for (const BrowsedChild& child : children) {
        width = std::max(width, child.name.size());
    }
    for (const BrowsedChild& child : children) {
        out << child.name << std::string(width - child.name.size() + 2, ' ')
            << (child.hasChildren ? "branch  " : "leaf    ") << child.path << '\n';
    }
}
