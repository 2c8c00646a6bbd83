#pragma once

#include <cstdint>
#include <string>

// What tells that a file changed: its identity, size and modification time. A file that cannot
// be looked at has the empty signature.
struct FileSignature {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1;
    std::int64_t modified = 0; // nanoseconds

    static FileSignature Of(const std::string& path);
    bool operator==(const FileSignature&) const = default;
};
