#include "service/DictionaryEndpoints.h"

#include "commands/ResolveCommand.h"
#include "commands/StagingDirectory.h"
#include "commands/StampCommand.h"
#include "import/NameText.h"
#include "service/BrowseQuery.h"

#include <VarbankClient.h>

#include <filesystem>
#include <fstream>
#include <sstream>

DictionaryEndpoints::DictionaryEndpoints(const ServedProgram& program,
                                         const ServedProgram::Loaded& loaded, bool writable)
    : m_Program(program), m_Loaded(loaded), m_Writable(writable) {}

ApiReply DictionaryEndpoints::Info() const {
    nlohmann::json info = m_Loaded.info;
    info["name"] = m_Program.Name();
    const std::string error = m_Program.Error();
    info["error"] = error.empty() ? nlohmann::json() : nlohmann::json(error);
    info["memory"] = m_Loaded.values->OnPlc() ? "modbus" : "image";
    info["writable"] = m_Writable;
    return ApiReply::Json(std::move(info));
}

bool DictionaryEndpoints::BodyObject(const HttpRequest& request, nlohmann::json& body,
                                     std::string& reason) {
    body = nlohmann::json::parse(request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        reason = "the body is not a JSON object";
        return false;
    }
    return true;
}

bool DictionaryEndpoints::ItemNames(const HttpRequest& request, std::vector<std::string>& names,
                                    std::string& reason) {
    if (request.method != "POST") {
        names = request.Params("item");
    } else {
        nlohmann::json body;
        if (!BodyObject(request, body, reason)) {
            return false;
        }
        const auto items = body.find("items");
        if (items == body.end() || !items->is_array()) {
            reason = "the body has no \"items\" array";
            return false;
        }
        for (const nlohmann::json& item : *items) {
            if (!item.is_string()) {
                reason = "every entry of \"items\" must be a string";
                return false;
            }
            names.push_back(item.get<std::string>());
        }
    }
    if (names.size() > kMaxItems) {
        reason = "at most " + std::to_string(kMaxItems) + " items per request";
        return false;
    }
    return true;
}

ApiReply DictionaryEndpoints::Resolve(const HttpRequest& request) const {
    std::vector<std::string> names;
    std::string reason;
    if (!ItemNames(request, names, reason)) {
        return ApiReply::Error(400, reason);
    }
    ResolveCommand command(Session());
    nlohmann::json results = nlohmann::json::array();
    for (const std::string& name : names) {
        results.push_back(command.Resolve(name));
    }
    return ApiReply::Json({{"results", std::move(results)}});
}

ApiReply DictionaryEndpoints::Browse(const HttpRequest& request) const {
    BrowseQuery query;
    std::string reason;
    if (!query.Parse(request, reason)) {
        return ApiReply::Error(400, reason);
    }
    const varbank::BrowseRequest browse = BrowseCommand(Session()).Request(query.options);
    const varbank::BrowsePage page(Session().Dictionary(), browse, Utf8ToUtf16(query.continuation));
    if (page.Status() == E_INVALIDARG) {
        return ApiReply::Error(404, "'" + query.options.path +
                                        "' is not a variable of a structure, array or "
                                        "function-block type");
    }
    if (FAILED(page.Status())) {
        return ApiReply::Error(500, "the dictionary refused the browse");
    }
    nlohmann::json children = BrowseCommand::ChildrenJson(page.Children());
    AddColumns(children, query.address, query.comment);
    const bool more = page.More() && !page.Continuation().empty();
    return ApiReply::Json({{"path", query.options.path},
                           {"children", std::move(children)},
                           {"continuation", more ? nlohmann::json(Utf16ToUtf8(page.Continuation()))
                                                 : nlohmann::json()}});
}

// The address and comment of each child, as resolving its path gives them (a function-block
// instance, which cannot be resolved whole, has neither).
void DictionaryEndpoints::AddColumns(nlohmann::json& children, bool address, bool comment) const {
    if (!address && !comment) {
        return;
    }
    for (nlohmann::json& child : children) {
        const varbank::Resolution resolution(Session().Dictionary(),
                                             child["path"].get<std::string>());
        const bool resolved = resolution.Resolved();
        if (address) {
            child["address"] = resolved ? resolution.Address() : std::string();
        }
        if (comment) {
            child["comment"] = resolved ? resolution.Comment() : std::string();
        }
    }
}

ApiReply DictionaryEndpoints::Stamp() const {
    return ApiReply::Json({{"stamp", m_Loaded.stamp}});
}

ApiReply DictionaryEndpoints::CompareStamp(const HttpRequest& request) const {
    nlohmann::json body;
    std::string reason;
    if (!BodyObject(request, body, reason)) {
        return ApiReply::Error(400, reason);
    }
    const auto stamp = body.find("stamp");
    PLCDicoStamping record{};
    if (stamp == body.end() || !stamp->is_string() ||
        !StampCommand::ParseStampText(stamp->get<std::string>(), record)) {
        return ApiReply::Error(400,
                               "\"stamp\" must be a stamp text such as \"" + m_Loaded.stamp + "\"");
    }
    const CSymb::Consistence result = Session().Dictionary().CheckDicoStamp(&record);
    return ApiReply::Json({{"result", StampCommand::ResultName(result)}});
}

ApiReply DictionaryEndpoints::Dump() const {
    std::error_code error;
    const std::string temporary = std::filesystem::temp_directory_path(error).string();
    StagingDirectory staging(error ? "/tmp" : temporary);
    if (staging.Path().empty()) {
        return ApiReply::Error(500, "cannot create a folder for the dump: " + staging.Reason());
    }
    std::string reason;
    if (!Session().WriteDump(staging.Path(), reason)) {
        return ApiReply::Error(500, "cannot write the dump: " + reason);
    }
    std::ifstream file(staging.Path() + "/" + Session().DumpFileName(), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    if (!file) {
        return ApiReply::Error(500, "cannot read the dump back");
    }
    return ApiReply::Text(text.str(), "text/plain; charset=utf-8");
}

ApiReply DictionaryEndpoints::ReadValues(const HttpRequest& request) const {
    std::vector<std::string> names;
    std::string reason;
    if (!ItemNames(request, names, reason)) {
        return ApiReply::Error(400, reason);
    }
    return ApiReply::Json({{"values", m_Loaded.values->Access().ReadMany(names)}});
}

ApiReply DictionaryEndpoints::WriteValues(const HttpRequest& request) const {
    nlohmann::json body;
    std::string reason;
    if (!BodyObject(request, body, reason)) {
        return ApiReply::Error(400, reason);
    }
    const auto values = body.find("values");
    if (values == body.end() || !values->is_object()) {
        return ApiReply::Error(400, "the body has no \"values\" object of names and values");
    }
    if (values->size() > kMaxItems) {
        return ApiReply::Error(400, "at most " + std::to_string(kMaxItems) + " items per request");
    }
    nlohmann::json results = nlohmann::json::array();
    for (const auto& [name, value] : values->items()) {
        results.push_back(m_Loaded.values->Access().Write(name, value));
    }
    return ApiReply::Json({{"values", std::move(results)}});
}
