#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <utility>
#include <vector>

// What an endpoint answers: a status and a JSON document, or a text of another type.
struct ApiReply {
    int status = 200;
    nlohmann::json body;
    std::string text;        // sent instead of body when contentType is set
    std::string contentType; // empty: JSON
    std::vector<std::pair<std::string, std::string>> headers;

    static ApiReply Json(nlohmann::json body) { return {200, std::move(body), {}, {}, {}}; }
    // {"error": reason} with the status.
    static ApiReply Error(int status, const std::string& reason) {
        return {status, nlohmann::json{{"error", reason}}, {}, {}, {}};
    }
    static ApiReply Text(std::string text, std::string contentType) {
        return {200, nullptr, std::move(text), std::move(contentType), {}};
    }
};
