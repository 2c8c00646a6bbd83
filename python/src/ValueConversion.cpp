#include "ValueConversion.h"

#include "values/IecLiteral.h"

// The datetime C API (PyDelta_FromDSU, PyDate_Check, ...): imported once per source file.
#include <datetime.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace py = pybind11;

namespace {

constexpr std::int64_t kNsPerUs = 1000;
constexpr std::int64_t kNsPerSecond = 1000000000;
constexpr std::int64_t kNsPerDay = 86400 * kNsPerSecond;

// The IEC prefixes the codec gives durations, dates and times.
bool LooksTimed(std::string_view text) {
    for (const std::string_view prefix :
         {"T#", "LTIME#", "D#", "LDATE#", "TOD#", "LTOD#", "DT#", "LDT#"}) {
        if (text.starts_with(prefix)) {
            return true;
        }
    }
    return false;
}

std::int64_t FloorDiv(std::int64_t value, std::int64_t divisor) {
    const std::int64_t quotient = value / divisor;
    return quotient * divisor > value ? quotient - 1 : quotient;
}

py::object Checked(PyObject* object) {
    if (object == nullptr) {
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::object>(object);
}

py::object Duration(std::int64_t ns) {
    const std::int64_t days = ns / kNsPerDay;
    const std::int64_t rest = ns % kNsPerDay;
    return Checked(PyDelta_FromDSU(static_cast<int>(days), static_cast<int>(rest / kNsPerSecond),
                                   static_cast<int>(rest % kNsPerSecond / kNsPerUs)));
}

// Nothing when the day lies outside Python's years 1 to 9999.
std::optional<std::chrono::year_month_day> Day(std::int64_t days) {
    if (days < -800000 || days > 3000000) {
        return std::nullopt;
    }
    const std::chrono::year_month_day day{
        std::chrono::sys_days{std::chrono::days{static_cast<int>(days)}}};
    const int year = static_cast<int>(day.year());
    return year >= 1 && year <= 9999 ? std::optional(day) : std::nullopt;
}

py::object Date(const std::chrono::year_month_day& day) {
    return Checked(PyDate_FromDate(static_cast<int>(day.year()),
                                   static_cast<int>(static_cast<unsigned>(day.month())),
                                   static_cast<int>(static_cast<unsigned>(day.day()))));
}

struct Clock {
    int hour, minute, second, microsecond;
};

Clock ClockOf(std::int64_t ns) {
    const std::int64_t seconds = ns / kNsPerSecond;
    return {static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
            static_cast<int>(seconds % 60), static_cast<int>(ns % kNsPerSecond / kNsPerUs)};
}

py::object TimeOfDay(std::int64_t ns) {
    const Clock clock = ClockOf(ns);
    return Checked(PyTime_FromTime(clock.hour, clock.minute, clock.second, clock.microsecond));
}

py::object DateTime(std::int64_t ns, const std::string& text) {
    const std::int64_t days = FloorDiv(ns, kNsPerDay);
    const auto day = Day(days);
    if (!day) {
        return py::str(text);
    }
    const std::int64_t rest = ns % kNsPerDay; // days * kNsPerDay may overflow
    const Clock clock = ClockOf(rest < 0 ? rest + kNsPerDay : rest);
    return Checked(PyDateTime_FromDateAndTime(
        static_cast<int>(day->year()), static_cast<int>(static_cast<unsigned>(day->month())),
        static_cast<int>(static_cast<unsigned>(day->day())), clock.hour, clock.minute, clock.second,
        clock.microsecond));
}

std::string Fraction(int microsecond) {
    if (microsecond == 0) {
        return "";
    }
    // Sized for any int (".-2147483648"), not just 0..999999, so that no output can be cut.
    std::array<char, 13> text{};
    std::snprintf(text.data(), text.size(), ".%06d", microsecond);
    return text.data();
}

std::string Digits(int value, int width) {
    std::string text = std::to_string(value);
    return std::string(static_cast<std::size_t>(std::max(0, width - static_cast<int>(text.size()))),
                       '0') +
           text;
}

std::string DateText(py::handle value) {
    return Digits(PyDateTime_GET_YEAR(value.ptr()), 4) + "-" +
           Digits(PyDateTime_GET_MONTH(value.ptr()), 2) + "-" +
           Digits(PyDateTime_GET_DAY(value.ptr()), 2);
}

std::string ClockText(int hour, int minute, int second, int microsecond) {
    return Digits(hour, 2) + ":" + Digits(minute, 2) + ":" + Digits(second, 2) +
           Fraction(microsecond);
}

// T#-1d2h3m4s5ms6us: exact, each part small.
std::string DurationText(py::handle value) {
    std::int64_t days = PyDateTime_DELTA_GET_DAYS(value.ptr());
    std::int64_t us = std::int64_t{PyDateTime_DELTA_GET_SECONDS(value.ptr())} * 1000000 +
                      PyDateTime_DELTA_GET_MICROSECONDS(value.ptr());
    const bool negative = days < 0;
    if (negative) { // -(days + us): days < 0 and 0 <= us < one day
        days = -days - (us > 0 ? 1 : 0);
        us = us > 0 ? 86400000000LL - us : 0;
    }
    return std::string("T#") + (negative ? "-" : "") + std::to_string(days) + "d" +
           std::to_string(us / 1000000) + "s" + std::to_string(us % 1000000) + "us";
}

std::string TypeName(py::handle value) {
    return py::str(py::type::of(value).attr("__name__"));
}

} // namespace

ValueConversion::ValueConversion(const ItemTypes& types) : m_Types(types) {
    if (PyDateTimeAPI == nullptr) {
        PyDateTime_IMPORT;
        if (PyDateTimeAPI == nullptr) {
            throw py::error_already_set();
        }
    }
}

py::object ValueConversion::ToPython(const Value& value, const std::string& path) const {
    if (value.IsBool()) {
        return py::bool_(value.AsBool());
    }
    if (value.IsSigned()) {
        return py::int_(value.AsSigned());
    }
    if (value.IsUnsigned()) {
        return py::int_(value.AsUnsigned());
    }
    if (value.IsReal()) {
        return py::float_(value.AsReal());
    }
    if (value.IsText()) {
        const std::string& text = value.AsText();
        return LooksTimed(text) ? Timed(text, path) : py::str(text);
    }
    if (value.IsList()) {
        return List(value.AsList(), path);
    }
    if (value.IsMembers()) {
        return Dict(value.AsMembers(), path);
    }
    return py::none();
}

py::object ValueConversion::List(const Value::List& elements, const std::string& path) const {
    const std::int64_t low = m_Types.ArrayLow(path).value_or(0);
    py::list list(elements.size());
    std::string child = path + "[";
    for (std::size_t i = 0; i < elements.size(); ++i) {
        child.resize(path.size() + 1);
        child += std::to_string(low + static_cast<std::int64_t>(i));
        child += ']';
        list[i] = ToPython(elements[i], child);
    }
    return list;
}

py::object ValueConversion::Dict(const Value::Members& members, const std::string& path) const {
    // In name order, as the service's JSON gives the members.
    std::vector<const std::pair<std::string, Value>*> sorted;
    for (const auto& member : members) {
        sorted.push_back(&member);
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const auto* a, const auto* b) { return a->first < b->first; });
    py::dict dict;
    std::string child = path + ".";
    for (const auto* entry : sorted) {
        const auto& [key, member] = *entry;
        child.resize(path.size() + 1);
        child += key;
        dict[py::str(key)] = ToPython(member, child);
    }
    return dict;
}

// The Python object of a duration, date or time text; the text itself for a value of another
// type (a STRING holding "T#1s") or one Python cannot hold.
py::object ValueConversion::Timed(const std::string& text, const std::string& path) const {
    switch (m_Types.KindOf(path)) {
    case ItemTypes::Kind::Duration:
        if (const auto ns = IecLiteral::ParseDuration(text)) {
            return Duration(*ns);
        }
        break;
    case ItemTypes::Kind::Date:
        if (const auto days = IecLiteral::ParseDate(text)) {
            if (const auto day = Day(*days)) {
                return Date(*day);
            }
        }
        break;
    case ItemTypes::Kind::TimeOfDay:
        if (const auto ns = IecLiteral::ParseTimeOfDay(text)) {
            return TimeOfDay(*ns);
        }
        break;
    case ItemTypes::Kind::DateTime:
        if (const auto ns = IecLiteral::ParseDateTime(text)) {
            return DateTime(*ns, text);
        }
        break;
    default:
        break;
    }
    return py::str(text);
}

Value ValueConversion::FromPython(py::handle value, const std::string& name) const {
    if (PyBool_Check(value.ptr())) {
        return value.cast<bool>();
    }
    if (PyLong_Check(value.ptr())) {
        int overflow = 0;
        const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
        if (overflow == 0) {
            return std::int64_t{number};
        }
        const unsigned long long positive = PyLong_AsUnsignedLongLong(value.ptr());
        if (PyErr_Occurred() != nullptr) {
            PyErr_Clear();
            throw std::invalid_argument(name + ": " + std::string(py::str(value)) +
                                        " is out of range for any PLC integer");
        }
        return std::uint64_t{positive};
    }
    if (PyFloat_Check(value.ptr())) {
        return value.cast<double>();
    }
    if (PyUnicode_Check(value.ptr())) {
        return value.cast<std::string>();
    }
    if (PyDelta_Check(value.ptr()) || PyDate_Check(value.ptr()) || PyTime_Check(value.ptr())) {
        return TimeText(value, name);
    }
    throw py::type_error(name +
                         ": a value is a bool, int, float, str, timedelta, date, time or "
                         "datetime, not " +
                         TypeName(value));
}

// The IEC text of a time object; the codec then checks it against the name's type.
Value ValueConversion::TimeText(py::handle value, const std::string& name) const {
    if (m_Types.KindOf(name) == ItemTypes::Kind::Text) {
        throw std::invalid_argument(name + ": a " + TypeName(value) +
                                    " is not written to a text; give a str");
    }
    PyObject* object = value.ptr();
    if (PyDelta_Check(object)) {
        return DurationText(value);
    }
    if (PyDateTime_Check(object)) {
        return "DT#" + DateText(value) + "-" +
               ClockText(PyDateTime_DATE_GET_HOUR(object), PyDateTime_DATE_GET_MINUTE(object),
                         PyDateTime_DATE_GET_SECOND(object),
                         PyDateTime_DATE_GET_MICROSECOND(object));
    }
    if (PyDate_Check(object)) {
        return "D#" + DateText(value);
    }
    return "TOD#" + ClockText(PyDateTime_TIME_GET_HOUR(object), PyDateTime_TIME_GET_MINUTE(object),
                              PyDateTime_TIME_GET_SECOND(object),
                              PyDateTime_TIME_GET_MICROSECOND(object));
}
