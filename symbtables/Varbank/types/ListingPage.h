#pragma once

#include <cstddef>
#include <string>

// One page of a derived type's listing: at most `limit` children, from the child whose listed
// entry is `continuation` (the first child when it is empty; no child when none has that entry).
struct ListingPage {
    std::string continuation;
    std::size_t limit = 0;
};
