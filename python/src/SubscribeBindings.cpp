#include "Bindings.h"
#include "ChangeFeed.h"

#include <pybind11/stl.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

// One name, or an iterable of names.
std::vector<std::string> NamesOf(const py::object& names) {
    if (py::isinstance<py::str>(names)) {
        return {names.cast<std::string>()};
    }
    if (!py::isinstance<py::iterable>(names)) {
        throw py::type_error("names is a str or an iterable of str, not " +
                             std::string(py::str(py::type::of(names).attr("__name__"))));
    }
    std::vector<std::string> texts;
    for (const py::handle name : names) {
        if (!py::isinstance<py::str>(name)) {
            throw py::type_error("an item name is a str, not " +
                                 std::string(py::str(py::type::of(name).attr("__name__"))));
        }
        texts.push_back(name.cast<std::string>());
    }
    return texts;
}

std::shared_ptr<ChangeFeed> Subscribe(const std::shared_ptr<Dictionary>& dictionary,
                                      const py::object& names, double interval, double deadband) {
    auto feed = std::make_shared<ChangeFeed>(dictionary, NamesOf(names), interval, deadband);
    if (!feed->Note().empty()) {
        if (PyErr_WarnEx(PyExc_RuntimeWarning, feed->Note().c_str(), 2) < 0) {
            throw py::error_already_set(); // the warning filter made it an error
        }
    }
    return feed;
}

py::object NextChange(ChangeFeed& feed) {
    py::object change = feed.Next(std::nullopt);
    if (change.is_none()) {
        throw py::stop_iteration();
    }
    return change;
}

std::string Repr(const ChangeFeed::Record& change) {
    std::string text = "Change(" + std::string(py::repr(py::str(change.name)));
    if (change.error.is_none()) {
        text += ", value=" + std::string(py::repr(change.value));
    } else {
        text += ", error=" + std::string(py::repr(change.error));
    }
    return text + ", type=" + std::string(py::repr(change.type)) +
           ", time=" + std::string(py::repr(change.time)) + ")";
}

} // namespace

void BindSubscriptions(py::module_& module, DictionaryClass& dictionary) {
    using Change = ChangeFeed::Record;
    py::class_<Change>(module, "Change", "One change of a subscribed value.")
        .def_readonly("name", &Change::name,
                      "The leaf's full name (Motor1.Speed for a member of Motor1).")
        .def_readonly("value", &Change::value,
                      "The value, converted as read() converts it; None on an error.")
        .def_readonly("type", &Change::type, "The type as the program writes it, or None.")
        .def_readonly("error", &Change::error, "Why there is no value, or None.")
        .def_readonly("time", &Change::time,
                      "When the value was sampled: a timezone-aware UTC datetime.")
        .def("__repr__", &Repr);
    py::class_<ChangeFeed, std::shared_ptr<ChangeFeed>>(
        module, "Subscription",
        "The changes of subscribed names (made by Dictionary.subscribe()).\n\n"
        "Iterating waits for each change; the first ones are every leaf's current value\n"
        "(or error), then only changes. Use it in a with block, or call close().")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &NextChange, "The next change, waiting for it; StopIteration once closed.")
        .def("next", &ChangeFeed::Next, py::arg("timeout") = py::none(),
             "The next change, waiting at most timeout seconds (None: until one comes);\n"
             "None when none came in time or the subscription is closed.")
        .def("close", &ChangeFeed::Close, "Ends the subscription; changes not taken are dropped.")
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__",
             [](ChangeFeed& feed, const py::args&) {
                 feed.Close();
                 return false;
             })
        .def_property_readonly("closed", &ChangeFeed::Closed, "True once closed.")
        .def_property_readonly("names", &ChangeFeed::Names, "The names subscribed, as given.")
        .def_property_readonly("interval", &ChangeFeed::IntervalSeconds,
                               "The sampling interval in seconds, as the sampler took it.")
        .def_property_readonly("note", &ChangeFeed::Note,
                               "Why the interval differs from the one asked for, or ''.")
        .def_property_readonly("merged", &ChangeFeed::Merged,
                               "Changes merged into newer ones because they were not taken "
                               "in time.");
    dictionary.def(
        "subscribe", &Subscribe, py::arg("names"), py::arg("interval") = 0.1,
        py::arg("deadband") = 0.0,
        "Subscribes to names (one str or an iterable of str): a Subscription that gives a\n"
        "Change whenever a value changes, sampled every interval seconds (at least 0.01 on\n"
        "the memory image and 0.05 on a PLC, at most 3600; outside, it is moved into range\n"
        "with a RuntimeWarning). A structure, array or function block arrives as its leaves.\n"
        "A number is sent again only once it moved by more than deadband. Raises ValueError\n"
        "for a malformed name, interval or deadband, UnknownItem for a name the dictionary\n"
        "refuses.");
}
