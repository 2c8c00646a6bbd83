#include "service/BrowseQuery.h"

#include "text/HostText.h"

#include <charconv>

bool BrowseQuery::Parse(const HttpRequest& request, std::string& reason) {
    browse.path = request.Param("path");
    browse.pattern = request.HasParam("pattern") ? request.Param("pattern") : "*";
    if (browse.pattern.empty()) {
        browse.pattern = "*";
    }
    continuation = request.Param("continuation");
    browse.pageSize = kDefaultPageSize;
    if (request.HasParam("pageSize") && !ParsePageSize(request.Param("pageSize"), reason)) {
        return false;
    }
    const std::string type = request.Param("type");
    const auto varType = ParseVarType(type);
    if (!type.empty() && !varType) {
        reason = "type: " + QuotedClientText(type) +
                 " is not a variant type (a number, or I2, I4, R4, R8, BSTR, "
                 "BOOL, UI1, UI2, UI4)";
        return false;
    }
    browse.varType = varType.value_or(0);
    const std::string kindText = request.Param("kind");
    const auto kind = ParseBrowseKind(kindText.empty() ? "all" : kindText);
    if (!kind) {
        reason = "kind: " + QuotedClientText(kindText) +
                 " is not one of all, leaves, branches, branchesOnly";
        return false;
    }
    browse.kind = *kind;
    return ParseColumns(request.Param("columns"), reason);
}

bool BrowseQuery::ParsePageSize(const std::string& text, std::string& reason) {
    std::uint32_t size = 0;
    const char* last = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), last, size);
    if (text.empty() || error != std::errc() || stop != last || size == 0 || size > kMaxPageSize) {
        reason = "pageSize: " + QuotedClientText(text) + " is not a page size between 1 and " +
                 std::to_string(kMaxPageSize);
        return false;
    }
    browse.pageSize = size;
    return true;
}

bool BrowseQuery::ParseColumns(const std::string& text, std::string& reason) {
    for (const char column : text) {
        if (column == 'A') {
            address = true;
        } else if (column == 'C') {
            comment = true;
        } else if (column == 'T') {
            type = true;
        } else {
            reason = "columns: " + QuotedClientText(text) +
                     " may hold A (address), C (comment) and T (type) only";
            return false;
        }
    }
    return true;
}
