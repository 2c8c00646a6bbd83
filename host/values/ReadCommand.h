#pragma once

#include "values/ValueAccess.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>
#include <vector>

// varbank read: the values of item names, from the memory image or a PLC.
class ReadCommand {
public:
    explicit ReadCommand(ValueAccess& access);

    // One line (or JSON object) per name, in order; kExitRefused when any name has no value.
    int Run(const std::vector<std::string>& names, bool json, std::ostream& out);
    // "Motor1.Speed = 0 (INT)", or the error.
    static std::string Describe(const nlohmann::json& result);

private:
    ValueAccess& m_Access;
};
