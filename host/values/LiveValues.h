#pragma once

#include "commands/HostSession.h"
#include "values/MemoryBackend.h"
#include "values/ModbusMemory.h"
#include "values/ValueAccess.h"

#include <chrono>
#include <memory>
#include <string>

// The memory behind one session and the value access over it: the program's memory image,
// filled with its initial values, or a PLC over Modbus TCP. One per session, shared by every
// thread that reads or writes (the access holds the per-word locks of bit writes).
class LiveValues {
public:
    struct Options {
        std::string modbus; // HOST[:PORT][/UNIT]; empty: the memory image
        ModbusMemory::WordOrder wordOrder = ModbusMemory::WordOrder::HighFirst;
        std::chrono::milliseconds timeout{1000};
    };

    // Nothing, with the reason, when the Modbus target is malformed. Initial values that do
    // not fit the image are reported in warnings.
    static std::unique_ptr<LiveValues> Open(HostSession& session, const Options& options,
                                            std::string& error);

    ValueAccess& Access() { return *m_Access; }
    // True over Modbus, false on the memory image.
    bool OnPlc() const { return m_OnPlc; }
    const std::string& Warnings() const { return m_Warnings; }

private:
    LiveValues() = default;

    std::unique_ptr<MemoryBackend> m_Memory;
    std::unique_ptr<ValueAccess> m_Access; // uses m_Memory, so declared after it
    bool m_OnPlc = false;
    std::string m_Warnings;
};
