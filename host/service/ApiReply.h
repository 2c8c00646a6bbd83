#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <utility>
#include <vector>

// What an endpoint answers: a status and a JSON document (as a tree, or as text already
// written), or a text of another type.
struct ApiReply {
    int status = 200;
    nlohmann::json body;
    std::string text;        // sent instead of body when set (JSON when contentType is empty)
    std::string contentType; // empty: JSON
    std::vector<std::pair<std::string, std::string>> headers;

    static ApiReply Json(nlohmann::json body) { return {200, std::move(body), {}, {}, {}}; }
    // A JSON document written directly (JsonWriter).
    static ApiReply JsonText(std::string text) { return {200, nullptr, std::move(text), {}, {}}; }
    // {"error": reason} with the status.
    static ApiReply Error(int status, const std::string& reason) {
        return {status, nlohmann::json{{"error", reason}}, {}, {}, {}};
    }
    static ApiReply Text(std::string text, std::string contentType) {
        return {200, nullptr, std::move(text), std::move(contentType), {}};
    }

    // The JSON document, read back when it was written as text (tests, tools).
    nlohmann::json Document() const {
        return contentType.empty() && !text.empty() ? nlohmann::json::parse(text) : body;
    }
    // The text sent: the written text, or the document printed on one line.
    std::string Sent() const {
        return text.empty() && contentType.empty()
                   ? body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                   : text;
    }
};
