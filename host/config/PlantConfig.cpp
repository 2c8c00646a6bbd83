#include "config/PlantConfig.h"

ModbusMemory::Options PlantConfig::Plc::MemoryOptions() const {
    ModbusMemory::Options options;
    options.target = target;
    options.wordOrder = wordOrder;
    options.timeout = timeout;
    options.map = map;
    options.maxRegisters = maxRegisters;
    options.maxBits = maxCoils;
    return options;
}

const PlantConfig::Plc* PlantConfig::FindPlc(const std::string& name) const {
    for (const Plc& plc : plcs) {
        if (plc.name == name) {
            return &plc;
        }
    }
    return nullptr;
}

const PlantConfig::Token& PlantConfig::WriteTokenOf(const Program& program) const {
    return program.writeToken.Given() ? program.writeToken : service.writeToken;
}
