#include "service/DescriptorLimit.h"

#include <sys/resource.h>
#include <sys/select.h>

#include <algorithm>

std::size_t DescriptorLimit::Raise() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return FD_SETSIZE; // the usual default, should the question fail
    }
    // Not above FD_SETSIZE: the PLC connection waits with select(), which cannot take a
    // descriptor numbered beyond it.
    const rlim_t wanted = std::min<rlim_t>(limit.rlim_max, FD_SETSIZE);
    if (limit.rlim_cur < wanted) {
        rlimit raised = limit;
        raised.rlim_cur = wanted;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) {
            limit = raised;
        }
    }
    return limit.rlim_cur == RLIM_INFINITY ? std::size_t{1} << 20U
                                           : static_cast<std::size_t>(limit.rlim_cur);
}

std::size_t DescriptorLimit::Connections(std::size_t limit) {
    const std::size_t reserve = std::min(kReserve, limit / 2);
    return std::max(kMinConnections, limit - reserve);
}
