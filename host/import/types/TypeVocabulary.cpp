#include "import/types/TypeVocabulary.h"

#include "text/HostText.h"

#include <array>

namespace {

struct Row {
    std::string_view iecName;
    TypeVocabulary::Elementary type;
    bool plcopenElement; // PLCopen writes it as an element of its own
};

constexpr std::array<Row, 30> kRows = {{
    {"BOOL", {"BOOL", 1, 1}, true},       {"EBOOL", {"EBOOL", 1, 1}, false},
    {"BYTE", {"BYTE", 1, 1}, true},       {"SINT", {"BYTE", 1, 1}, true},
    {"USINT", {"BYTE", 1, 1}, true},      {"CHAR", {"BYTE", 1, 1}, true},
    {"WORD", {"WORD", 2, 2}, true},       {"INT", {"INT", 2, 2}, true},
    {"UINT", {"UINT", 2, 2}, true},       {"WCHAR", {"WORD", 2, 2}, true},
    {"DWORD", {"DWORD", 4, 4}, true},     {"DINT", {"DINT", 4, 4}, true},
    {"UDINT", {"UDINT", 4, 4}, true},     {"REAL", {"REAL", 4, 4}, true},
    {"TIME", {"TIME", 4, 4}, true},       {"DATE", {"DATE", 4, 4}, true},
    {"TOD", {"TOD", 4, 4}, true},         {"TIME_OF_DAY", {"TOD", 4, 4}, false},
    {"DT", {"DT", 8, 4}, true},           {"DATE_AND_TIME", {"DT", 8, 4}, false},
    {"LWORD", {"DT", 8, 4}, true},        {"LINT", {"DT", 8, 4}, true},
    {"ULINT", {"DT", 8, 4}, true},        {"LREAL", {"DT", 8, 4}, true},
    {"LTIME", {"DT", 8, 4}, true},        {"LDATE", {"DT", 8, 4}, true},
    {"LTOD", {"DT", 8, 4}, true},         {"LDT", {"DT", 8, 4}, true},
    {"STRING", {"STRING", 16, 1}, false}, {"WSTRING", {"WSTRING", 2, 2}, false},
}};

} // namespace

bool TypeVocabulary::IsElementaryElement(std::string_view elementName) {
    for (const Row& row : kRows) {
        if (row.plcopenElement && row.iecName == elementName) {
            return true;
        }
    }
    return false;
}

std::optional<TypeVocabulary::Elementary> TypeVocabulary::Find(std::string_view iecName) {
    for (const Row& row : kRows) {
        if (EqualsNoCase(iecName, row.iecName)) {
            return row.type;
        }
    }
    return std::nullopt;
}
