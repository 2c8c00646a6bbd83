#include "Bindings.h"
#include "core/ResolvedItem.h"

#include <pybind11/stl.h>

#include <string>

namespace py = pybind11;

namespace {

using Item = ResolvedItem;

// A place field of a resolved item (0 for a refused one).
template <auto Field> auto PlaceField(const Item& item) {
    return item.place.*Field;
}

std::string Repr(const Item& item) {
    const auto text = [](const std::string& value) {
        return std::string(py::repr(py::str(value)));
    };
    std::string repr = "Item(" + text(item.name);
    if (!item.Resolved()) {
        return repr + ", resolved=False, reason=" + text(item.reason) + ")";
    }
    if (!item.address.empty()) {
        repr += ", address=" + text(item.address);
    }
    repr += ", block=" + std::to_string(item.place.block) +
            ", offset=" + std::to_string(item.place.offset) +
            ", size=" + std::to_string(item.place.size);
    if (item.place.bit) {
        repr += ", bit=" + std::to_string(*item.place.bit);
    }
    return repr + ", type_name=" + text(item.typeName.value_or("")) + ")";
}

} // namespace

void BindItem(py::module_& module) {
    py::class_<Item>(module, "Item",
                     "Where an item name lives: the physical record the dictionary gave.\n\n"
                     "resolve() returns resolved items only; resolve_many() also returns the\n"
                     "refused names, with resolved False and the reason. The fields of a refused\n"
                     "item other than name, resolved and reason are 0, '' or None.")
        .def_readonly("name", &Item::name, "The item name as asked.")
        .def_property_readonly("resolved", &Item::Resolved,
                               "True when the dictionary resolved the name.")
        .def_readonly("reason", &Item::reason, "Why the name was refused; '' when resolved.")
        .def_readonly("address", &Item::address,
                      "The direct address (%MW10.3, %IX0.1), or '' when the item has none.")
        .def_property_readonly(
            "block", &PlaceField<&PhysicalPlace::block>,
            "Memory block: 1 %MW words, 2 %M bits, 3 unlocated, 4 %I, 5 %Q, 6 to 8 "
            "location paths of %I, %Q and %M, one slot each.")
        .def_property_readonly("offset", &PlaceField<&PhysicalPlace::offset>,
                               "Byte offset (bit offset in block 2).")
        .def_property_readonly("size", &PlaceField<&PhysicalPlace::size>,
                               "Size in bytes (a bit reads as its 2-byte word).")
        .def_property_readonly(
            "bit", [](const Item& item) { return item.place.bit; },
            "The bit within the element, or None.")
        .def_property_readonly(
            "type_name", [](const Item& item) { return item.typeName.value_or(""); },
            "The type name (INT, WORD, FILLSTATION, ...).")
        .def_property_readonly("type_code", &PlaceField<&PhysicalPlace::typeCode>,
                               "The dictionary's 32-bit type code.")
        .def_property_readonly(
            "kind", [](const Item& item) { return item.kind.value_or(""); },
            "The type's kind: EDT, DDT, Unknown, ...")
        .def_property_readonly(
            "info", [](const Item& item) { return item.info.value_or(""); },
            "The dictionary's information text.")
        .def_readonly("comment", &Item::comment, "The variable's or member's comment.")
        .def_property_readonly("access_kind", &PlaceField<&PhysicalPlace::accessKind>,
                               "The record's access kind.")
        .def_property_readonly(
            "area_kind", &PlaceField<&PhysicalPlace::areaKind>,
            "The record's area kind (2 and above: a function block's local area).")
        .def_property_readonly("sub_offset", &PlaceField<&PhysicalPlace::subOffset>,
                               "The record's sub-offset.")
        .def_property_readonly("sub_size", &PlaceField<&PhysicalPlace::subSize>,
                               "The record's sub-size.")
        .def_property_readonly("element_index", &PlaceField<&PhysicalPlace::elementIndex>,
                               "The record's element index.")
        .def_property_readonly("stamp_sum", &PlaceField<&PhysicalPlace::stampSum>,
                               "The record's stamp sum.")
        .def_property_readonly("attribute", &PlaceField<&PhysicalPlace::attribute>,
                               "The record's attribute word.")
        .def("__repr__", &Repr);
}
