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

// The property a result keeps for an identifier, or null.
std::optional<std::string>* PropertyField(std::uint32_t id, ResolveCommand::Result& result) {
    switch (id) {
    case varbank::kPropertyTypeName:
        return &result.typeName;
    case varbank::kPropertyKind:
        return &result.kind;
    case varbank::kPropertyInfo:
        return &result.info;
    default:
        return nullptr;
    }
}

// A string property shows as its text, a property of another kind as an empty text.
void AddProperties(const varbank::Resolution& resolution, ResolveCommand::Result& result) {
    for (std::uint32_t i = 0; i < resolution.PropertyCount(); ++i) {
        const PropertyEntry& entry = resolution.Properties()[i];
        if (std::optional<std::string>* field = PropertyField(entry.dwPropertyId, result)) {
            *field = entry.vValue.vt == VT_BSTR ? Utf16ToUtf8(entry.vValue.bstrVal) : std::string();
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

void AddText(const char* key, const std::optional<std::string>& text, nlohmann::json& result) {
    if (text) {
        result[key] = *text;
    }
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

ResolveCommand::Result ResolveCommand::Find(const std::string& name) {
    Result result;
    result.name = ValidUtf8(name);
    if (FirstInvalidUtf8(name) != std::string::npos) {
        result.reason = "the name is not valid UTF-8";
        return result;
    }
    m_Session.Trace().Clear();
    const varbank::Resolution resolution(m_Session.Dictionary(), name);
    if (!resolution.Resolved()) {
        result.reason = RefusalReason(resolution.Status(), m_Session.Trace().Last());
        return result;
    }
    result.resolved = true;
    result.address = resolution.Address();
    result.comment = resolution.Comment();
    result.record = *resolution.Record();
    AddProperties(resolution, result);
    return result;
}

nlohmann::json ResolveCommand::Resolve(const std::string& name) {
    return ToJson(Find(name));
}

nlohmann::json ResolveCommand::ToJson(const Result& result) {
    nlohmann::json json{{"name", result.name}, {"resolved", result.resolved}};
    if (!result.resolved) {
        json["reason"] = result.reason;
        return json;
    }
    json["address"] = result.address;
    AddRecord(result.record, json);
    AddText("typeName", result.typeName, json);
    AddText("kind", result.kind, json);
    AddText("info", result.info, json);
    json["comment"] = result.comment;
    return json;
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
