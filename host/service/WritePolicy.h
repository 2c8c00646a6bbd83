#pragma once

#include <string>

// Whether a dictionary takes writes of values, and the token a write must then carry as
// "Authorization: Bearer <token>" (none asked when empty).
struct WritePolicy {
    bool writable = false;
    std::string token;

    bool operator==(const WritePolicy&) const = default;
};
