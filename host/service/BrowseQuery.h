#pragma once

#include "core/Browsing.h"
#include "service/HttpRequest.h"

#include <cstdint>
#include <string>

// The query of a browse request (path, pageSize, continuation, pattern, type, kind, columns),
// checked and turned into the core's browse options.
struct BrowseQuery {
    static constexpr std::uint32_t kDefaultPageSize = 100;
    static constexpr std::uint32_t kMaxPageSize = 10000;

    BrowseOptions browse;
    std::string continuation; // empty: the first page
    bool address = false;     // columns A, C and T: each child's address, comment and type
    bool comment = false;
    bool type = false;

    // False with the reason when a parameter is malformed.
    bool Parse(const HttpRequest& request, std::string& reason);

private:
    bool ParsePageSize(const std::string& text, std::string& reason);
    bool ParseColumns(const std::string& text, std::string& reason);
};
