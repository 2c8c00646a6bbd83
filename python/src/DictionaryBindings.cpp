#include "Bindings.h"
#include "text/HostText.h"
#include "values/ModbusTarget.h"
#include "values/RegisterMap.h"

#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

constexpr long long kMaximumPageSize = 1000000;

// What the dictionary holds, by the names Python uses.
py::dict InfoDict(const Dictionary& dictionary) {
    const DictionaryInfo& info = dictionary.Opened().Info();
    py::dict result;
    result["file"] = dictionary.Path();
    result["dictionary"] = info.dictionary;
    result["project"] = info.project;
    result["variables"] = info.counts.variables;
    result["structures"] = info.counts.structures;
    result["function_blocks"] = info.counts.functionBlocks;
    result["arrays"] = info.counts.arrays;
    result["members"] = info.counts.members;
    result["words"] = info.counts.words;
    result["bits"] = info.counts.bits;
    result["input_bytes"] = info.inputBytes;
    result["output_bytes"] = info.outputBytes;
    result["input_slot_bytes"] = info.inputSlotBytes;
    result["output_slot_bytes"] = info.outputSlotBytes;
    result["memory_slot_bytes"] = info.memorySlotBytes;
    result["stamp"] = info.stamp;
    return result;
}

BrowseKind KindOf(const std::string& kind) {
    // Python spells the last kind branches_only.
    const auto parsed = ParseBrowseKind(kind == "branches_only" ? "branchesOnly" : kind);
    if (!parsed || kind == "branchesOnly") {
        throw py::value_error("kind must be 'all', 'leaves', 'branches' or 'branches_only', not '" +
                              kind + "'");
    }
    return *parsed;
}

VARTYPE VarType(const py::object& varType) {
    if (varType.is_none()) {
        return 0;
    }
    if (py::isinstance<py::str>(varType)) {
        const auto value = ParseVarType(varType.cast<std::string>());
        if (!value) {
            throw py::value_error("'" + varType.cast<std::string>() + "' is not a variant type");
        }
        return *value;
    }
    if (py::isinstance<py::int_>(varType)) {
        const auto value = varType.cast<long long>();
        if (value < 0 || value > 0xFFFF) {
            throw py::value_error("a variant type lies between 0 and 65535");
        }
        return static_cast<VARTYPE>(value);
    }
    throw py::type_error("var_type must be None, an int or a str");
}

std::uint32_t PageSize(long long pageSize) {
    if (pageSize < 0 || pageSize > kMaximumPageSize) {
        throw py::value_error("page_size lies between 0 (everything at once) and 1000000");
    }
    return static_cast<std::uint32_t>(pageSize);
}

std::shared_ptr<BrowseIterator> Browse(Dictionary& dictionary, const std::string& path,
                                       const std::string& pattern, const std::string& kind,
                                       const py::object& varType, long long pageSize) {
    BrowseOptions browse;
    browse.path = path;
    browse.pattern = pattern;
    browse.kind = KindOf(kind);
    browse.varType = VarType(varType);
    browse.pageSize = PageSize(pageSize);
    const py::gil_scoped_release release;
    return dictionary.Browse(browse, BrowseDepth::Children);
}

std::shared_ptr<BrowseIterator> Walk(Dictionary& dictionary, const std::string& path,
                                     long long pageSize) {
    BrowseOptions browse;
    browse.path = path;
    browse.pageSize = PageSize(pageSize);
    const py::gil_scoped_release release;
    return dictionary.Browse(browse, BrowseDepth::Tree);
}

py::list ResolveMany(Dictionary& dictionary, const py::iterable& names) {
    std::vector<std::string> texts;
    for (const py::handle name : names) {
        if (!py::isinstance<py::str>(name)) {
            throw py::type_error("an item name is a str, not " +
                                 std::string(py::str(py::type::of(name).attr("__name__"))));
        }
        texts.push_back(name.cast<std::string>());
    }
    std::vector<ResolvedItem> items;
    {
        const py::gil_scoped_release release;
        items = dictionary.ResolveMany(texts);
    }
    py::list result(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        result[i] = py::cast(std::move(items[i]));
    }
    return result;
}

py::dict Info(const Dictionary& dictionary) {
    return InfoDict(dictionary);
}

std::string Repr(const Dictionary& dictionary) {
    return "<varbank.Dictionary " + std::string(py::repr(py::str(dictionary.Name()))) + " from " +
           std::string(py::repr(py::str(dictionary.Path()))) + ">";
}

// The memory behind the dictionary, checked before the import.
MemoryChoice MemoryOf(const std::optional<std::string>& modbus, const std::string& wordOrder,
                      const std::string& map, double timeout) {
    MemoryChoice choice;
    const auto registerMap = RegisterMap::Named(map);
    if (!registerMap) {
        throw py::value_error("map must be one of " + RegisterMap::KnownNames() + ", not '" + map +
                              "'");
    }
    if (wordOrder != "high-first" && wordOrder != "low-first") {
        throw py::value_error("word_order must be 'high-first' or 'low-first', not '" + wordOrder +
                              "'");
    }
    // As the command's --timeout: 1 ms to 10 minutes.
    if (!(timeout >= 0.001 && timeout <= 600)) {
        throw py::value_error("timeout lies between 0.001 and 600 seconds");
    }
    if (!modbus) {
        return choice;
    }
    std::string error;
    const auto target = ModbusTarget::Parse(*modbus, error);
    if (!target) {
        throw py::value_error("modbus: '" + *modbus + "': " + error);
    }
    choice.kind = MemoryKind::Modbus;
    choice.modbus.target = *target;
    choice.modbus.wordOrder = wordOrder == "low-first" ? ModbusMemory::WordOrder::LowFirst
                                                       : ModbusMemory::WordOrder::HighFirst;
    choice.modbus.timeout = std::chrono::milliseconds(std::llround(timeout * 1000));
    choice.modbus.map = *registerMap;
    return choice;
}

std::shared_ptr<Dictionary> Load(const std::filesystem::path& path, bool strict,
                                 const std::optional<std::string>& modbus,
                                 const std::string& wordOrder, const std::string& map,
                                 double timeout) {
    ProgramOptions options;
    options.strict = strict;
    options.memory = MemoryOf(modbus, wordOrder, map, timeout);
    const py::gil_scoped_release release;
    return Dictionary::Load(path.string(), options);
}

std::string Dump(const Dictionary& dictionary, const std::filesystem::path& directory) {
    return dictionary.Dump(directory.string());
}

} // namespace

void BindDictionary(py::module_& module, DictionaryClass& dictionary) {
    using Release = py::call_guard<py::gil_scoped_release>;
    module.def("load", &Load, py::arg("path"), py::arg("strict") = false,
               py::arg("modbus") = py::none(), py::arg("word_order") = "high-first",
               py::arg("map") = "open-runtime", py::arg("timeout") = 1.0,
               "Imports a PLCopen TC6 XML file and builds its dictionary.\n\n"
               "strict=True refuses a file that uses types it does not declare (library\n"
               "types); otherwise they become opaque 2-byte structures, with a warning in\n"
               "Dictionary.warnings. Raises ProgramError, with every 'file:line: reason',\n"
               "when the file cannot be read or imported.\n\n"
               "Values are read and written on the program's memory image, filled with its\n"
               "initial values (those that do not fit join warnings), or on a PLC over\n"
               "Modbus TCP with modbus='HOST[:PORT][/UNIT]' (port 502, unit 1). word_order:\n"
               "'high-first' or 'low-first', the register order of 32- and 64-bit values.\n"
               "map: 'open-runtime' (%MW from holding register 1024) or 'flat' (%MWn is\n"
               "holding register n, %Mn coil n; %I and %Q have no Modbus place).\n"
               "timeout: seconds for connecting and for each answer. A malformed modbus\n"
               "text, word order, map or timeout raises ValueError.");
    dictionary
        .def_property_readonly("name", &Dictionary::Name,
                               "The dictionary name: the file name without folder and extension.")
        .def_property_readonly("path", &Dictionary::Path, "The file the dictionary was built from.")
        .def_property_readonly("warnings", &Dictionary::Warnings,
                               "The import's warnings, 'file:line: reason' each, in line order,\n"
                               "then the initial values that do not fit the memory image,\n"
                               "'file: name: reason' each.")
        .def_property_readonly(
            "stamp", [](const Dictionary& dictionary) { return dictionary.Opened().Stamp(); },
            "The build stamp: five hexadecimal words joined by colons.")
        .def("resolve", &Dictionary::Resolve, Release(), py::arg("name"),
             "Resolves one item name (Motor1.Speed, Tab[4].X, Status.3) into an Item.\n\n"
             "Raises UnknownItem, with the reason, when the name is refused.")
        .def("resolve_many", &ResolveMany, py::arg("names"),
             "Resolves every name of an iterable; one Item per name, in order.\n\n"
             "A refused name gives an Item with resolved False and the reason; nothing\n"
             "is raised for it.")
        .def("browse", &Browse, py::arg("path") = "", py::arg("pattern") = "*",
             py::arg("kind") = "all", py::arg("var_type") = py::none(), py::arg("page_size") = 1000,
             "Lists the children of a position (the root when path is ''), lazily.\n\n"
             "pattern: a name prefix, optionally ending in '*'. kind: 'all', 'leaves',\n"
             "'branches' or 'branches_only'. var_type: None, a variant type number or\n"
             "name (I2, I4, R4, R8, BOOL, UI1, UI2, UI4). page_size: children fetched per\n"
             "call, following the continuation point (0: everything at once).\n"
             "Raises UnknownItem when the path leads to no structure, array or function\n"
             "block.")
        .def("walk", &Walk, py::arg("path") = "", py::arg("page_size") = 1000,
             "Lists every child below a position (the whole tree by default), depth first:\n"
             "each branch is followed by its own children.")
        .def("compare_stamp", &Dictionary::CompareStamp, Release(), py::arg("other_stamp"),
             "Compares this dictionary's stamp with another build's stamp text (that of\n"
             "the application running in the PLC): 'OK' (the same build), 'PARTIAL' (only\n"
             "comments or initial values differ) or 'MISMATCH'. Raises ValueError for a\n"
             "malformed text.")
        .def("dump", &Dump, Release(), py::arg("directory"),
             "Writes the quick-save dump <directory>/<name>.kvxav and returns its path.\n\n"
             "Only a complete file replaces an earlier dump. Raises OSError when the\n"
             "folder is missing or the file cannot be written.")
        .def("info", &Info,
             "What the dictionary holds: a dict of file, dictionary, project, variables,\n"
             "structures, function_blocks, arrays, members, words, bits, input_bytes,\n"
             "output_bytes, input_slot_bytes, output_slot_bytes and stamp.")
        .def("__repr__", &Repr);
}
