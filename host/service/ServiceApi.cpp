#include "service/ServiceApi.h"

#include "service/DictionaryEndpoints.h"
#include "service/PageAssets.h"

namespace {

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 1;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string JoinTail(const std::vector<std::string>& parts, std::size_t from) {
    std::string tail;
    for (std::size_t i = from; i < parts.size(); ++i) {
        tail += "/" + parts[i];
    }
    return tail;
}

// A 405 naming the methods the path takes.
ApiReply WrongMethod(const char* allowed) {
    ApiReply reply = ApiReply::Error(405, std::string("this path takes ") + allowed);
    reply.headers.emplace_back("Allow", allowed);
    return reply;
}

// Compares a secret in a time that does not depend on where the texts differ.
bool SameSecret(const std::string& given, const std::string& expected) {
    unsigned difference = given.size() == expected.size() ? 0U : 1U;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const char c = i < given.size() ? given[i] : '\0';
        difference |= static_cast<unsigned char>(c ^ expected[i]);
    }
    return difference == 0;
}

bool Is(const HttpRequest& request, const char* method) {
    return request.method == method || (request.method == "HEAD" && std::string(method) == "GET");
}

} // namespace

ServiceApi::ServiceApi(ProgramRegistry& registry, WritePolicy writes)
    : m_Registry(registry), m_Writes(std::move(writes)) {}

std::optional<ApiReply> ServiceApi::RefuseWrite(const HttpRequest& request) const {
    if (!m_Writes.writable) {
        return ApiReply::Error(403, "writes are off: the service runs without --writable");
    }
    if (!m_Writes.token.empty() && !SameSecret(request.authorization, "Bearer " + m_Writes.token)) {
        ApiReply reply = ApiReply::Error(401, "a write needs the header "
                                              "\"Authorization: Bearer <token>\" with the "
                                              "service's token");
        reply.headers.emplace_back("WWW-Authenticate", "Bearer");
        return reply;
    }
    return std::nullopt;
}

ApiReply ServiceApi::Handle(const HttpRequest& request) const {
    return Route(request, SplitPath(request.path));
}

ApiReply ServiceApi::Route(const HttpRequest& request,
                           const std::vector<std::string>& parts) const {
    if (parts.size() >= 2 && parts[0] == "api" && parts[1] == "dictionaries") {
        if (parts.size() == 2 || (parts.size() == 3 && parts[2].empty())) {
            return Is(request, "GET") ? Listing() : WrongMethod("GET");
        }
        return OnDictionary(request, parts[2], JoinTail(parts, 3));
    }
    if (request.path == "/healthz") {
        return Is(request, "GET") ? Health() : WrongMethod("GET");
    }
    if (!parts.empty() && parts[0] == "api") {
        return ApiReply::Error(404, "no such endpoint: " + request.path);
    }
    return Page(request);
}

ApiReply ServiceApi::Listing() const {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& program : m_Registry.Programs()) {
        list.push_back(program->Summary());
    }
    return ApiReply::Json(std::move(list));
}

ApiReply ServiceApi::Health() const {
    std::size_t serving = 0;
    for (const auto& program : m_Registry.Programs()) {
        serving += program->Current() ? 1 : 0;
    }
    return ApiReply::Json(
        {{"status", "ok"}, {"dictionaries", m_Registry.Programs().size()}, {"serving", serving}});
}

ApiReply ServiceApi::OnDictionary(const HttpRequest& request, const std::string& name,
                                  std::string_view tail) const {
    const ServedProgram* program = m_Registry.Find(name);
    if (program == nullptr) {
        return ApiReply::Error(404, "no dictionary named '" + name + "'");
    }
    // Held to the end of the request: a reload meanwhile does not pull it away.
    const std::shared_ptr<const ServedProgram::Loaded> loaded = program->Current();
    if (!loaded) {
        return ApiReply::Error(503, "'" + name + "' is not in service: " + program->Error());
    }
    const DictionaryEndpoints endpoints(*program, *loaded, m_Writes.writable);
    if (tail.empty() || tail == "/") {
        return Is(request, "GET") ? endpoints.Info() : WrongMethod("GET");
    }
    if (tail == "/resolve") {
        return Is(request, "GET") || Is(request, "POST") ? endpoints.Resolve(request)
                                                         : WrongMethod("GET, POST");
    }
    if (tail == "/browse") {
        return Is(request, "GET") ? endpoints.Browse(request) : WrongMethod("GET");
    }
    if (tail == "/stamp") {
        return Is(request, "GET") ? endpoints.Stamp() : WrongMethod("GET");
    }
    if (tail == "/stamp/compare") {
        return Is(request, "POST") ? endpoints.CompareStamp(request) : WrongMethod("POST");
    }
    if (tail == "/values") {
        if (Is(request, "GET") || Is(request, "POST")) {
            return endpoints.ReadValues(request);
        }
        if (!Is(request, "PUT")) {
            return WrongMethod("GET, POST, PUT");
        }
        const std::optional<ApiReply> refusal = RefuseWrite(request);
        return refusal ? *refusal : endpoints.WriteValues(request);
    }
    if (tail == "/dump") {
        return Is(request, "GET") ? endpoints.Dump() : WrongMethod("GET");
    }
    return ApiReply::Error(404, "no such endpoint: " + request.path);
}

ApiReply ServiceApi::Page(const HttpRequest& request) {
    const PageAssets::File* file =
        PageAssets::Find(request.path == "/" ? "/index.html" : request.path);
    if (file == nullptr) {
        return ApiReply::Error(404, "no such page: " + request.path);
    }
    if (!Is(request, "GET")) {
        return WrongMethod("GET");
    }
    ApiReply reply = ApiReply::Text(std::string(file->content), file->contentType);
    reply.headers.emplace_back("Cache-Control", "no-cache");
    return reply;
}
