#pragma once

#include "cli/OutputFormat.h"
#include "core/Program.h"

#include <ostream>
#include <string>
#include <vector>

// varbank browse: lists the children of a position of the name space, page by page when a
// page size is given; with columns (A address, C comment) one text line per child.
class BrowseCommand {
public:
    static int Run(const Program& program, const BrowseOptions& browse, const std::string& columns,
                   OutputFormat format, std::ostream& out, std::ostream& err);

private:
    static int RunPages(const Program& program, const BrowseOptions& browse, OutputFormat format,
                        std::ostream& out, std::ostream& err);
    static int RunColumns(const Program& program, const BrowseOptions& browse,
                          const std::string& columns, OutputFormat format, std::ostream& out,
                          std::ostream& err);
    static int Failed(const BrowsedPage& page, const BrowseOptions& browse, std::ostream& err);
    static void PrintChildren(const std::vector<BrowsedChild>& children, std::ostream& out);
};
