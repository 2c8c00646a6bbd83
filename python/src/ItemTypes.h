#pragma once

#include "core/LayoutTypes.h"

#include <cstdint>
#include <optional>
#include <string>

// What the Python form of a value depends on, by the item's type as the program writes it:
// durations, dates and times become datetime objects, texts stay str, arrays are indexed from
// their lowest bound.
class ItemTypes {
public:
    enum class Kind { Other, Text, Duration, Date, TimeOfDay, DateTime };

    explicit ItemTypes(const LayoutTypes& types) : m_Types(types) {}

    // The kind of an item name's value (Other when the name is unknown).
    Kind KindOf(const std::string& itemName) const;
    // The lowest index of the first dimension of an array item, if the name is an array.
    std::optional<std::int64_t> ArrayLow(const std::string& itemName) const;

private:
    const LayoutTypes& m_Types;
};
