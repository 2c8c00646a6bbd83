#include "Bindings.h"
#include "BrowseIterator.h"

#include <optional>
#include <string>

namespace py = pybind11;

namespace {

std::string Repr(const BrowsedChild& child) {
    return "Child(" + std::string(py::repr(py::str(child.name))) +
           ", path=" + std::string(py::repr(py::str(child.path))) +
           ", has_children=" + (child.hasChildren ? "True" : "False") + ")";
}

BrowsedChild Next(BrowseIterator& iterator) {
    std::optional<BrowsedChild> child;
    {
        const py::gil_scoped_release release;
        child = iterator.Next();
    }
    if (!child) {
        throw py::stop_iteration();
    }
    return *child;
}

} // namespace

void BindBrowse(py::module_& module) {
    py::class_<BrowsedChild>(module, "Child", "One child listed by Dictionary.browse() or walk().")
        .def_readonly("name", &BrowsedChild::name, "The child's own name (Speed, Conveyors[2]).")
        .def_readonly("path", &BrowsedChild::path,
                      "The full item name (Motor1.Speed), for resolve().")
        .def_readonly("item_id", &BrowsedChild::itemId,
                      "The dictionary's item identifier: dictionary name, '!', path.")
        .def_readonly("has_children", &BrowsedChild::hasChildren,
                      "True for a branch (structure, array, function block).")
        .def("__repr__", &Repr);
    py::class_<BrowseIterator, std::shared_ptr<BrowseIterator>>(
        module, "BrowseIterator",
        "A lazy iterator of Child: it fetches the next page from the dictionary's\n"
        "continuation point when the current one is used up.")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &Next, "The next child; StopIteration at the end.");
}
