#pragma once

#include "service/ProgramRegistry.h"
#include "service/ServiceLog.h"

#include "values/PlcHealth.h"

#include <memory>
#include <vector>

// Tells the operator when a PLC's state changes: one line per change seen, with the reason
// when it fails, however many requests ran between two looks. The first look at a PLC says
// nothing while it is idle.
class PlcStateLog {
public:
    // Looks at every PLC the registry's programs use; from one thread at a time.
    void Check(const ProgramRegistry& registry, ServiceLog& log);

private:
    struct Seen {
        std::weak_ptr<PlcEndpoint> plc;
        PlcHealth::State state;
    };
    std::vector<Seen> m_Seen;
};
