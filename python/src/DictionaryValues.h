#pragma once

#include "commands/HostSession.h"
#include "values/LayoutTypes.h"
#include "values/LiveValues.h"
#include "values/MemoryImage.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The values behind one dictionary, as the Python module serves them: the live values (the
// memory image with the program's initial values, or a PLC over Modbus TCP), a scratch image
// on which writes are tried first, so that a bad value is refused before anything is written,
// and the program's types, which tell the durations, dates and times among the values.
class DictionaryValues {
public:
    // What a value of an item holds, as far as its Python form depends on it.
    enum class Kind { Other, Text, Duration, Date, TimeOfDay, DateTime };

    // Nothing, with the reason, when the Modbus target is malformed.
    static std::unique_ptr<DictionaryValues>
    Open(HostSession& session, const LiveValues::Options& options, std::string& error);

    // Initial values that do not fit the memory image, one per line.
    const std::string& Warnings() const { return m_Live->Warnings(); }

    std::vector<nlohmann::json> ReadMany(const std::vector<std::string>& names);
    // The write tried on the scratch image: the result the real write would give, unless the
    // memory itself fails.
    nlohmann::json Check(const std::string& name, const nlohmann::json& value);
    nlohmann::json Write(const std::string& name, const nlohmann::json& value);

    // The kind of an item name's value (Other when the name is unknown).
    Kind KindOf(const std::string& itemName) const;
    // The lowest index of the first dimension of an array item, if the name is an array.
    std::optional<std::int64_t> ArrayLow(const std::string& itemName) const;

private:
    DictionaryValues(HostSession& session, std::unique_ptr<LiveValues> live);
    ValueAccess& Scratch();

    HostSession& m_Session;
    std::unique_ptr<LiveValues> m_Live;
    LayoutTypes m_Types;
    std::once_flag m_ScratchMade;
    std::unique_ptr<MemoryImage> m_ScratchImage;
    std::unique_ptr<ValueAccess> m_Scratch; // uses m_ScratchImage, so declared after it
};
