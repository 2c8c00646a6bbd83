#include "core/Browsing.h"

#include "text/HostText.h"
#include "text/IntegerLiteral.h"

#include <cstdio>
#include <utility>

std::optional<BrowseKind> ParseBrowseKind(std::string_view text) {
    static const std::pair<std::string_view, BrowseKind> kKinds[] = {
        {"all", BrowseKind::All},
        {"leaves", BrowseKind::Leaves},
        {"branches", BrowseKind::Branches},
        {"branchesOnly", BrowseKind::BranchesOnly}};
    for (const auto& [name, kind] : kKinds) {
        if (text == name) {
            return kind;
        }
    }
    return std::nullopt;
}

std::optional<VARTYPE> ParseVarType(std::string_view text) {
    static const std::pair<const char*, VARTYPE> kNames[] = {
        {"I2", VT_I2},     {"I4", VT_I4},   {"R4", VT_R4},   {"R8", VT_R8},  {"BSTR", VT_BSTR},
        {"BOOL", VT_BOOL}, {"UI1", VT_UI1}, {"UI2", VT_UI2}, {"UI4", VT_UI4}};
    std::string name = ToUpperAscii(text);
    if (name.rfind("VT_", 0) == 0) {
        name = name.substr(3);
    }
    for (const auto& [known, value] : kNames) {
        if (name == known) {
            return value;
        }
    }
    const std::string digits = name.rfind("0X", 0) == 0 ? "16#" + name.substr(2) : name;
    const auto number = ParseIntegerLiteral(digits);
    if (!number || *number < 0 || *number > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<VARTYPE>(*number);
}

std::string BrowseFaultText(BrowseFault fault, HRESULT status) {
    switch (fault) {
    case BrowseFault::None:
        return {};
    case BrowseFault::NotComposite:
        return "not a variable of a structure, array or function-block type";
    case BrowseFault::BadPath:
        return "not a valid item name";
    case BrowseFault::BadContinuation:
        return "not a valid continuation";
    case BrowseFault::NotAvailable:
        return "not available in this library build";
    case BrowseFault::Other:
        break;
    }
    char text[48];
    std::snprintf(text, sizeof text, "refused with status 0x%08X",
                  static_cast<std::uint32_t>(status));
    return text;
}

std::string BrowsedPage::Reason() const {
    return reason.empty() ? BrowseFaultText(fault, status) : reason;
}
