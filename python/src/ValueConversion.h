#pragma once

#include "ItemTypes.h"
#include "values/Value.h"

#include <pybind11/pybind11.h>

#include <string>

// Values between the core's values and Python objects, with the GIL held. Numbers,
// booleans and texts map one to one; a structure or function block is a dict, an array a
// list. Durations, dates and times, IEC texts in the core's values, are timedelta, date, time and
// datetime objects in Python, to the microsecond (finer parts of the L types are dropped); a
// date beyond Python's years 1 to 9999 stays its IEC text.
class ValueConversion {
public:
    explicit ValueConversion(const ItemTypes& types);

    // The value read at an item path (the name, or a leaf below it).
    pybind11::object ToPython(const Value& value, const std::string& path) const;
    // A value to write to a name: bool, int, float, str, or a timedelta, date, time or
    // datetime (as an IEC text). Throws TypeError for any other object and ValueError for an
    // int beyond 64 bits or a time object written to a text.
    Value FromPython(pybind11::handle value, const std::string& name) const;

private:
    pybind11::object Timed(const std::string& text, const std::string& path) const;
    pybind11::object List(const Value::List& list, const std::string& path) const;
    pybind11::object Dict(const Value::Members& members, const std::string& path) const;
    Value TimeText(pybind11::handle value, const std::string& name) const;

    const ItemTypes& m_Types;
};
