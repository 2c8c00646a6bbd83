#pragma once

#include <cstddef>

// The process's limit on open descriptors (RLIMIT_NOFILE), which bounds the connections the
// service can hold beside its files, PLC sockets and watcher.
class DescriptorLimit {
public:
    // Descriptors kept for all but client connections.
    static constexpr std::size_t kReserve = 64;
    static constexpr std::size_t kMinConnections = 8;

    // Raises the soft limit to the hard one, as far as the system lets; returns the soft limit
    // then in force.
    static std::size_t Raise();
    // How many client connections fit under a limit of descriptors, leaving the reserve (or
    // half of a small limit) for the rest; at least kMinConnections.
    static std::size_t Connections(std::size_t limit);
};
