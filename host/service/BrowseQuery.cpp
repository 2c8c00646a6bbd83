#include "service/BrowseQuery.h"

#include <charconv>

bool BrowseQuery::Parse(const HttpRequest& request, std::string& reason) {
    options.path = request.Param("path");
    options.pattern = request.HasParam("pattern") ? request.Param("pattern") : "*";
    if (options.pattern.empty()) {
        options.pattern = "*";
    }
    continuation = request.Param("continuation");
    options.pageSize = kDefaultPageSize;
    if (request.HasParam("pageSize") && !ParsePageSize(request.Param("pageSize"), reason)) {
        return false;
    }
    const std::string type = request.Param("type");
    if (!type.empty() && !BrowseCommand::ParseVarType(type, options.varType)) {
        reason = "type: '" + type +
                 "' is not a variant type (a number, or I2, I4, R4, R8, BSTR, "
                 "BOOL, UI1, UI2, UI4)";
        return false;
    }
    return ParseKind(request.Param("kind"), reason) &&
           ParseColumns(request.Param("columns"), reason);
}

bool BrowseQuery::ParsePageSize(const std::string& text, std::string& reason) {
    std::uint32_t size = 0;
    const char* last = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), last, size);
    if (text.empty() || error != std::errc() || stop != last || size == 0 || size > kMaxPageSize) {
        reason = "pageSize: '" + text + "' is not a page size between 1 and " +
                 std::to_string(kMaxPageSize);
        return false;
    }
    options.pageSize = size;
    return true;
}

bool BrowseQuery::ParseKind(const std::string& text, std::string& reason) {
    if (text.empty() || text == "all") {
        return true;
    }
    options.leaves = text == "leaves";
    options.branches = text == "branches";
    options.branchesOnly = text == "branchesOnly";
    if (!options.leaves && !options.branches && !options.branchesOnly) {
        reason = "kind: '" + text + "' is not one of all, leaves, branches, branchesOnly";
        return false;
    }
    return true;
}

bool BrowseQuery::ParseColumns(const std::string& text, std::string& reason) {
    for (const char column : text) {
        if (column == 'A') {
            address = true;
        } else if (column == 'C') {
            comment = true;
        } else {
            reason = "columns: '" + text + "' may hold A (address) and C (comment) only";
            return false;
        }
    }
    return true;
}
