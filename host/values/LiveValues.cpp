#include "values/LiveValues.h"

#include "values/InitialValues.h"
#include "values/MemoryImage.h"
#include "values/ModbusTarget.h"

std::unique_ptr<LiveValues> LiveValues::Open(HostSession& session, const Options& options,
                                             std::string& error) {
    std::unique_ptr<LiveValues> values(new LiveValues());
    if (options.modbus.empty()) {
        values->m_Memory = std::make_unique<MemoryImage>(session.Layout());
        values->m_Access = std::make_unique<ValueAccess>(session, *values->m_Memory);
        for (const std::string& problem :
             InitialValues(session.Layout()).WriteInto(*values->m_Access)) {
            values->m_Warnings += problem + "\n";
        }
        return values;
    }
    const auto target = ModbusTarget::Parse(options.modbus, error);
    if (!target) {
        return nullptr;
    }
    ModbusMemory::Options modbus;
    modbus.target = *target;
    modbus.wordOrder = options.wordOrder;
    modbus.timeout = options.timeout;
    values->m_Memory = std::make_unique<ModbusMemory>(modbus);
    values->m_Access = std::make_unique<ValueAccess>(session, *values->m_Memory);
    values->m_OnPlc = true;
    return values;
}
