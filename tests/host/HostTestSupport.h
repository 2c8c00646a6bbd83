#pragma once

#include "import/Diagnostics.h"
#include "import/ProjectImporter.h"
#include "values/Value.h"

#include <filesystem>
#include <fstream>
#include <iomanip>
#include <ios>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>

#include <unistd.h>

// How a failed expectation shows a value: its kind is visible (5 signed, 5u unsigned, 5.0 real),
// since the front ends turn each kind into a different type.
inline void PrintTo(const Value& value, std::ostream* out) {
    if (value.IsNull()) {
        *out << "null";
    } else if (value.IsBool()) {
        *out << (value.AsBool() ? "true" : "false");
    } else if (value.IsSigned()) {
        *out << value.AsSigned();
    } else if (value.IsUnsigned()) {
        *out << value.AsUnsigned() << 'u';
    } else if (value.IsReal()) {
        const std::streamsize precision = out->precision(17);
        *out << std::showpoint << value.AsReal() << std::noshowpoint;
        out->precision(precision);
    } else if (value.IsText()) {
        *out << std::quoted(value.AsText());
    } else if (value.IsList()) {
        *out << '[';
        const char* separator = "";
        for (const Value& element : value.AsList()) {
            *out << separator;
            PrintTo(element, out);
            separator = ", ";
        }
        *out << ']';
    } else {
        *out << '{';
        const char* separator = "";
        for (const auto& [name, member] : value.AsMembers()) {
            *out << separator << name << ": ";
            PrintTo(member, out);
            separator = ", ";
        }
        *out << '}';
    }
}

// Helpers shared by the host suites: small PLCopen documents and temporary files.
namespace hosttest {

inline const std::string kExample = VARBANK_EXAMPLES_DIR "/production_line.xml";

// A tc6_0201 project around the given pieces; globals go to a configuration, resource
// content (globals, instances) to its resource.
inline std::string Project(const std::string& dataTypes, const std::string& pous = "",
                           const std::string& globals = "", const std::string& resource = "") {
    return "<?xml version=\"1.0\"?>\n"
           "<project xmlns=\"http://www.plcopen.org/xml/tc6_0201\">\n"
           "<contentHeader name=\"Test\"/>\n"
           "<types><dataTypes>\n" +
           dataTypes + "</dataTypes>\n<pous>\n" + pous +
           "</pous></types>\n"
           "<instances><configurations><configuration name=\"C\">\n"
           "<resource name=\"R\">\n" +
           resource + "</resource>\n<globalVars>\n" + globals +
           "</globalVars>\n</configuration></configurations></instances>\n</project>\n";
}

// <variable name="..."><type>...</type></variable>, with an address and a simple initial
// value when given.
inline std::string Var(const std::string& name, const std::string& type,
                       const std::string& address = "", const std::string& value = "") {
    const std::string at = address.empty() ? "" : " address=\"" + address + "\"";
    const std::string initial =
        value.empty() ? "" : "<initialValue><simpleValue value=\"" + value + "\"/></initialValue>";
    return "<variable name=\"" + name + "\"" + at + "><type>" + type + "</type>" + initial +
           "</variable>\n";
}

inline std::string Struct(const std::string& name, const std::string& members) {
    return "<dataType name=\"" + name + "\"><baseType><struct>" + members +
           "</struct></baseType></dataType>\n";
}

// Data types T0 = ARRAY[0..0] OF INT and Tk = ARRAY[0..0] OF Tk-1 up to T<count-1>, one a line,
// in that order or the reverse.
inline std::string ArrayChain(std::size_t count, bool reversed = false) {
    std::string types;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t at = reversed ? count - 1 - k : k;
        const std::string element =
            at == 0 ? "<INT/>" : "<derived name=\"T" + std::to_string(at - 1) + "\"/>";
        types += "<dataType name=\"T" + std::to_string(at) +
                 "\"><baseType><array><dimension lower=\"0\" upper=\"0\"/><baseType>" + element +
                 "</baseType></array></baseType></dataType>\n";
    }
    return types;
}

inline std::optional<ProjectLayout> Import(const std::string& xml, Diagnostics& diagnostics) {
    return ProjectImporter(diagnostics).ImportText(xml);
}

inline std::string Repeat(const std::string& text, std::size_t times) {
    std::string out;
    out.reserve(text.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A file in a fresh directory under the system's temporary directory.
// ctest runs tests in parallel processes, so each process writes into a folder of its own,
// removed when the process ends.
inline std::string WriteTempFile(const std::string& name, const std::string& text) {
    struct Folder {
        std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("varbank-host-tests-" + std::to_string(::getpid()));
        ~Folder() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static const Folder folder;
    const auto& directory = folder.path;
    std::filesystem::create_directories(directory);
    const auto path = directory / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

// The variable or composite of that name in a layout's list, or null.
template <typename Item>
const Item* FindNamed(const std::vector<Item>& items, const std::string& name) {
    for (const Item& item : items) {
        if (item.name == name) {
            return &item;
        }
    }
    return nullptr;
}

} // namespace hosttest
