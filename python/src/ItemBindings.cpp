#include "Bindings.h"
#include "Item.h"

#include <pybind11/stl.h>

#include <string>

namespace py = pybind11;

namespace {

std::string Repr(const Item& item) {
    const auto text = [](const std::string& value) {
        return std::string(py::repr(py::str(value)));
    };
    std::string repr = "Item(" + text(item.name);
    if (!item.resolved) {
        return repr + ", resolved=False, reason=" + text(item.reason) + ")";
    }
    if (!item.address.empty()) {
        repr += ", address=" + text(item.address);
    }
    repr += ", block=" + std::to_string(item.block) + ", offset=" + std::to_string(item.offset) +
            ", size=" + std::to_string(item.size);
    if (item.bit) {
        repr += ", bit=" + std::to_string(*item.bit);
    }
    return repr + ", type_name=" + text(item.typeName) + ")";
}

} // namespace

void BindItem(py::module_& module) {
    py::class_<Item>(module, "Item",
                     "Where an item name lives: the physical record the dictionary gave.\n\n"
                     "resolve() returns resolved items only; resolve_many() also returns the\n"
                     "refused names, with resolved False and the reason. The fields of a refused\n"
                     "item other than name, resolved and reason are 0, '' or None.")
        .def_readonly("name", &Item::name, "The item name as asked.")
        .def_readonly("resolved", &Item::resolved, "True when the dictionary resolved the name.")
        .def_readonly("reason", &Item::reason, "Why the name was refused; '' when resolved.")
        .def_readonly("address", &Item::address,
                      "The direct address (%MW10.3, %IX0.1), or '' when the item has none.")
        .def_readonly("block", &Item::block,
                      "Memory block: 1 %MW words, 2 %M bits, 3 unlocated, 4 %I, 5 %Q, 6 and 7 "
                      "fieldbus slots.")
        .def_readonly("offset", &Item::offset, "Byte offset (bit offset in block 2).")
        .def_readonly("size", &Item::size, "Size in bytes (a bit reads as its 2-byte word).")
        .def_readonly("bit", &Item::bit, "The bit within the element, or None.")
        .def_readonly("type_name", &Item::typeName, "The type name (INT, WORD, FILLSTATION, ...).")
        .def_readonly("type_code", &Item::typeCode, "The dictionary's 32-bit type code.")
        .def_readonly("kind", &Item::kind, "The type's kind: EDT, DDT, Unknown, ...")
        .def_readonly("info", &Item::info, "The dictionary's information text.")
        .def_readonly("comment", &Item::comment, "The variable's or member's comment.")
        .def_readonly("access_kind", &Item::accessKind, "The record's access kind.")
        .def_readonly("area_kind", &Item::areaKind,
                      "The record's area kind (2 and above: a function block's local area).")
        .def_readonly("sub_offset", &Item::subOffset, "The record's sub-offset.")
        .def_readonly("sub_size", &Item::subSize, "The record's sub-size.")
        .def_readonly("element_index", &Item::elementIndex, "The record's element index.")
        .def_readonly("stamp_sum", &Item::stampSum, "The record's stamp sum.")
        .def_readonly("attribute", &Item::attribute, "The record's attribute word.")
        .def("__repr__", &Repr);
}
