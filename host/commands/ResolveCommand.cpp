#include "commands/ResolveCommand.h"

#include "commands/ExitStatus.h"
#include "import/NameText.h"

#include <VarbankClient.h>

#include <cstdio>

namespace {

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// The JSON key of a property the host shows, or null.
const char* PropertyKey(std::uint32_t id) {
    switch (id) {
    case varbank::kPropertyTypeName:
        return "typeName";
    case varbank::kPropertyKind:
        return "kind";
    case varbank::kPropertyInfo:
        return "info";
    default:
        return nullptr;
    }
}

// A string property shows as its text, a property of another kind as an empty text.
void AddProperties(const varbank::Resolution& resolution, nlohmann::json& result) {
    for (std::uint32_t i = 0; i < resolution.PropertyCount(); ++i) {
        const PropertyEntry& entry = resolution.Properties()[i];
        if (const char* key = PropertyKey(entry.dwPropertyId)) {
            result[key] =
                entry.vValue.vt == VT_BSTR ? Utf16ToUtf8(entry.vValue.bstrVal) : std::string();
        }
    }
}

void AddRecord(const ImplemRecord& implem, nlohmann::json& result) {
    const tagRATVARPHYSICALIMPLEM& record = implem.Record;
    result["block"] = record.wBlock;
    result["offset"] = record.dwOffset;
    result["size"] = record.dwSize;
    result["bit"] = record.byBit == 255 ? nlohmann::json() : nlohmann::json(record.byBit);
    result["typeCode"] = Hex(record.dwTypeCode);
    result["accessKind"] = record.dwAccessKind;
    result["areaKind"] = record.dwAreaKind;
    result["subOffset"] = record.dwSubOffset;
    result["subSize"] = record.wSubSize;
    result["elementIndex"] = record.dwElementIndex;
    result["stampSum"] = record.dwStampSum;
    result["attribute"] = implem.dwAttribute;
}

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

} // namespace

ResolveCommand::ResolveCommand(HostSession& session) : m_Session(session) {}

int ResolveCommand::Run(const std::vector<std::string>& names, bool json, std::ostream& out) {
    nlohmann::json results = nlohmann::json::array();
    bool allResolved = true;
    for (const std::string& name : names) {
        nlohmann::json result = Resolve(name);
        allResolved = allResolved && result["resolved"].get<bool>();
        if (!json) {
            out << Describe(result) << '\n';
        }
        results.push_back(std::move(result));
    }
    if (json) {
        out << nlohmann::json{{"results", results}}.dump(2, ' ', false,
                                                         nlohmann::json::error_handler_t::replace)
            << '\n';
    }
    return allResolved ? kExitDone : kExitRefused;
}

nlohmann::json ResolveCommand::Resolve(const std::string& name) {
    nlohmann::json result{{"name", ValidUtf8(name)}};
    if (FirstInvalidUtf8(name) != std::string::npos) {
        result["resolved"] = false;
        result["reason"] = "the name is not valid UTF-8";
        return result;
    }
    m_Session.Trace().Clear();
    const varbank::Resolution resolution(m_Session.Dictionary(), name);
    if (!resolution.Resolved()) {
        result["resolved"] = false;
        result["reason"] = RefusalReason(resolution.Status(), m_Session.Trace().Last());
        return result;
    }
    result["resolved"] = true;
    result["address"] = resolution.Address();
    AddRecord(*resolution.Record(), result);
    AddProperties(resolution, result);
    result["comment"] = resolution.Comment();
    return result;
}

std::string ResolveCommand::Describe(const nlohmann::json& result) {
    std::string text = TerminalText(result["name"].get<std::string>()) + ": ";
    if (!result["resolved"].get<bool>()) {
        return text + "refused: " + result["reason"].get<std::string>();
    }
    const std::string address = result["address"].get<std::string>();
    if (!address.empty()) {
        text += "address " + address + ", ";
    }
    text += "block " + std::to_string(result["block"].get<int>()) + ", offset " +
            std::to_string(result["offset"].get<std::uint32_t>()) + ", size " +
            std::to_string(result["size"].get<std::uint32_t>());
    if (!result["bit"].is_null()) {
        text += ", bit " + std::to_string(result["bit"].get<int>());
    }
    text += ", type " + result.value("typeName", std::string()) + " (" +
            result.value("kind", std::string()) + ", code " +
            result["typeCode"].get<std::string>() + ")";
    if (result["areaKind"].get<std::uint32_t>() >= 2) {
        text += ", in the function block's local area";
    }
    const std::string comment = result["comment"].get<std::string>();
    if (!comment.empty()) {
        text += ", comment \"" + TerminalText(comment) + "\"";
    }
    return text;
}

// The dictionary answers a refusal with a status and, for some, a trace message.
std::string ResolveCommand::RefusalReason(HRESULT status, const std::string& trace) {
    if (status == E_INVALIDARG) {
        return "no such member or element, or an index out of bounds";
    }
    if (status == E_NOTIMPL) {
        return "name resolution is not available in this library build";
    }
    if (Contains(trace, "invalid type for") || Contains(trace, "unknown variable")) {
        return "unknown variable";
    }
    if (Contains(trace, "FULL DFB")) {
        return "a function-block instance cannot be read whole; name one of its members";
    }
    if (Contains(trace, "Extract bit")) {
        return "the name cannot be read (bad index or too many parts)";
    }
    if (Contains(trace, "invalid type")) {
        return "the variable has no members";
    }
    if (status == -1) {
        return "a bit number needs a 16-bit element and lies between 0 and 15";
    }
    return "refused with status " + Hex(static_cast<std::uint32_t>(status));
}
