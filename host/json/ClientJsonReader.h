#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// Reads a JSON document a client sent, without recursion and with its limits checked while it
// is read: at most kMaxDepth arrays and objects inside one another, and every name at most once
// in its object. Objects keep their names in the order written. Nothing else walks a client's
// document before it passed here, so no later recursive walk goes deeper than kMaxDepth.
class ClientJsonReader : public nlohmann::json_sax<nlohmann::ordered_json> {
public:
    static constexpr std::size_t kMaxDepth = 64;

    // The document, or nothing with the reason (which quotes no more than a short part of the
    // text).
    static std::optional<nlohmann::ordered_json> Read(std::string_view text, std::string& reason);

    bool null() override;
    bool boolean(bool value) override;
    bool number_integer(number_integer_t value) override;
    bool number_unsigned(number_unsigned_t value) override;
    bool number_float(number_float_t value, const string_t& text) override;
    bool string(string_t& value) override;
    bool binary(binary_t& value) override;
    bool start_object(std::size_t elements) override;
    bool key(string_t& name) override;
    bool end_object() override;
    bool start_array(std::size_t elements) override;
    bool end_array() override;
    bool parse_error(std::size_t position, const std::string& lastToken,
                     const nlohmann::detail::exception& error) override;

private:
    // An array or object being read, and the names its object has so far.
    struct Open {
        nlohmann::ordered_json* value;
        std::unordered_set<std::string> names;
    };

    nlohmann::ordered_json* Add(nlohmann::ordered_json value);
    bool Start(nlohmann::ordered_json value);

    nlohmann::ordered_json m_Root;
    std::vector<Open> m_Open;
    std::string m_Name; // of the next member of the innermost object
    std::string m_Reason;
};
