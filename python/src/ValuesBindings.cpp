#include "Bindings.h"
#include "UnknownItem.h"
#include "ValueConversion.h"
#include "ValueFailure.h"
#include "core/ValueAccess.h"

#include <pybind11/stl.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace {

using Assignment = std::pair<std::string, Value>;

std::string TypeName(py::handle value) {
    return py::str(py::type::of(value).attr("__name__"));
}

std::string NameOf(py::handle name) {
    if (!py::isinstance<py::str>(name)) {
        throw py::type_error("an item name is a str, not " + TypeName(name));
    }
    return name.cast<std::string>();
}

// A name the dictionary could not place: refused, or of a type with no codec.
bool Unplaced(const ValueResult& result) {
    return result.fault == ValueFault::Name || result.fault == ValueFault::NoCodec;
}

// The value of a read result; raises UnknownItem or ValueReadError for a failed one.
py::object ToPython(const ValueConversion& conversion, const std::string& name,
                    const ValueResult& result) {
    if (!result.Ok()) {
        if (Unplaced(result)) {
            throw UnknownItem(name, result.Message());
        }
        throw ValueFailure(ValueFailure::Operation::Read, name, result.Message());
    }
    return conversion.ToPython(*result.value, name);
}

py::object Read(Dictionary& dictionary, const std::string& name) {
    std::vector<ValueResult> results;
    {
        const py::gil_scoped_release release;
        results = dictionary.Opened().Values().ReadMany({name});
    }
    const ItemTypes types(dictionary.Opened().Types());
    return ToPython(ValueConversion(types), name, results.front());
}

py::list ReadMany(Dictionary& dictionary, const py::iterable& names) {
    std::vector<std::string> texts;
    for (const py::handle name : names) {
        texts.push_back(NameOf(name));
    }
    std::vector<ValueResult> results;
    {
        const py::gil_scoped_release release;
        results = dictionary.Opened().Values().ReadMany(texts);
    }
    const ItemTypes types(dictionary.Opened().Types());
    const ValueConversion conversion(types);
    py::list values(results.size());
    for (std::size_t i = 0; i < results.size(); ++i) {
        values[i] = ToPython(conversion, texts[i], results[i]);
    }
    return values;
}

// Checks every assignment, then writes them in order: the first refused item raises
// UnknownItem or ValueError before anything is written; a failure of the memory stops the
// writes and raises ValueWriteError, with the names written before it.
void WriteAll(Dictionary& dictionary, const std::vector<Assignment>& assignments) {
    const py::gil_scoped_release release;
    ValueAccess& values = dictionary.Opened().Values();
    const WritePlan plan = values.Prepare(assignments);
    for (const WritePlan::Item& item : plan.Items()) {
        const ValueResult& result = item.result;
        if (!result.Ok()) {
            if (Unplaced(result)) {
                throw UnknownItem(result.name, result.Message());
            }
            throw std::invalid_argument(result.name + ": " + result.Message());
        }
    }
    const WriteOutcome outcome = values.Commit(plan);
    if (outcome.Complete()) {
        return;
    }
    std::vector<std::string> written;
    for (std::size_t i = 0; i < outcome.written; ++i) {
        written.push_back(outcome.results[i].name);
    }
    const ValueResult& failed = outcome.results[outcome.written];
    throw ValueFailure(ValueFailure::Operation::Write, failed.name, failed.Message(),
                       std::move(written));
}

void Write(Dictionary& dictionary, const std::string& name, const py::object& value) {
    const ItemTypes types(dictionary.Opened().Types());
    const ValueConversion conversion(types);
    WriteAll(dictionary, {{name, conversion.FromPython(value, name)}});
}

void WriteMany(Dictionary& dictionary, const py::object& mapping) {
    if (!py::hasattr(mapping, "items")) {
        throw py::type_error("write_many takes a mapping of names to values, not " +
                             TypeName(mapping));
    }
    const ItemTypes types(dictionary.Opened().Types());
    const ValueConversion conversion(types);
    std::vector<Assignment> assignments;
    for (const py::handle item : mapping.attr("items")()) {
        const auto pair = item.cast<py::tuple>();
        std::string name = NameOf(pair[0]);
        Value value = conversion.FromPython(pair[1], name);
        assignments.emplace_back(std::move(name), std::move(value));
    }
    WriteAll(dictionary, assignments);
}

} // namespace

void BindValues(py::module_& /*module*/, DictionaryClass& dictionary) {
    dictionary
        .def("read", &Read, py::arg("name"),
             "The value of an item name, from the memory image or the PLC.\n\n"
             "INT, REAL and the other numbers give int or float, BOOL and bits (Status.3)\n"
             "bool, STRING and WSTRING str, an enumeration its int. TIME and LTIME give a\n"
             "datetime.timedelta, DATE a datetime.date, TOD a datetime.time and DT a\n"
             "datetime.datetime (naive: the PLC's clock), to the microsecond; a date beyond\n"
             "the years 1 to 9999 stays its IEC text. A structure or function block read\n"
             "whole gives a dict of its members, an array a list (a list per dimension).\n"
             "Raises UnknownItem when the name is refused, ValueReadError (an OSError) when\n"
             "the memory does not give the value: a Modbus request refused, timed out or\n"
             "answered with an exception, a name with no Modbus place.")
        .def("read_many", &ReadMany, py::arg("names"),
             "The values of every name of an iterable, in order, read in one batch\n"
             "(neighbouring Modbus registers in one request).\n\n"
             "Raises as read() does for the first name that has no value.")
        .def("write", &Write, py::arg("name"), py::arg("value"),
             "Writes a value to an elementary item (a bit, a member, an element).\n\n"
             "value: bool, int, float or str (read as an IEC literal of the item's type:\n"
             "16#FF, T#2s, TRUE, an enumeration name); a datetime.timedelta, or an int or\n"
             "float of milliseconds, for TIME and LTIME; a datetime.date, time or datetime\n"
             "for DATE, TOD and DT. Raises ValueError, writing nothing, for a value out of\n"
             "range, of the wrong type, a text longer than its size or a structure written\n"
             "whole; TypeError for another kind of object; UnknownItem for a refused name;\n"
             "ValueWriteError (an OSError) when the memory does not take the write.")
        .def("write_many", &WriteMany, py::arg("values"),
             "Writes a mapping of names to values, in its order.\n\n"
             "Every name and value is checked first: a refused name or a bad value raises\n"
             "as write() does before anything is written. A failure of the memory itself\n"
             "stops the writes and raises ValueWriteError, whose attribute written lists\n"
             "the names written before it.");
}
