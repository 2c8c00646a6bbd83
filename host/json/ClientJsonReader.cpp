#include "json/ClientJsonReader.h"

#include "text/HostText.h"

#include <utility>

std::optional<nlohmann::ordered_json> ClientJsonReader::Read(std::string_view text,
                                                             std::string& reason) {
    ClientJsonReader reader;
    if (!nlohmann::ordered_json::sax_parse(text, &reader)) {
        reason = reader.m_Reason.empty() ? "the body is not JSON" : reader.m_Reason;
        return std::nullopt;
    }
    return std::move(reader.m_Root);
}

// Places a finished value in the array or object that is open, or as the document.
nlohmann::ordered_json* ClientJsonReader::Add(nlohmann::ordered_json value) {
    if (m_Open.empty()) {
        m_Root = std::move(value);
        return &m_Root;
    }
    nlohmann::ordered_json& parent = *m_Open.back().value;
    if (parent.is_array()) {
        auto& array = parent.get_ref<nlohmann::ordered_json::array_t&>();
        return &array.emplace_back(std::move(value));
    }
    // The name was checked once in key(); the vector beneath the ordered map takes it without
    // searching the names again.
    auto& object = parent.get_ref<nlohmann::ordered_json::object_t&>();
    return &object.emplace_back(std::move(m_Name), std::move(value)).second;
}

bool ClientJsonReader::Start(nlohmann::ordered_json value) {
    if (m_Open.size() >= kMaxDepth) {
        m_Reason = "the body nests arrays and objects deeper than " + std::to_string(kMaxDepth) +
                   " levels";
        return false;
    }
    m_Open.push_back({Add(std::move(value)), {}});
    return true;
}

bool ClientJsonReader::null() {
    Add(nullptr);
    return true;
}

bool ClientJsonReader::boolean(bool value) {
    Add(value);
    return true;
}

bool ClientJsonReader::number_integer(number_integer_t value) {
    Add(value);
    return true;
}

bool ClientJsonReader::number_unsigned(number_unsigned_t value) {
    Add(value);
    return true;
}

bool ClientJsonReader::number_float(number_float_t value, const string_t& /*text*/) {
    Add(value);
    return true;
}

bool ClientJsonReader::string(string_t& value) {
    Add(std::move(value));
    return true;
}

bool ClientJsonReader::binary(binary_t& /*value*/) {
    m_Reason = "the body holds binary data"; // not reachable from JSON text
    return false;
}

bool ClientJsonReader::start_object(std::size_t /*elements*/) {
    return Start(nlohmann::ordered_json::object());
}

bool ClientJsonReader::key(string_t& name) {
    if (!m_Open.back().names.insert(name).second) {
        m_Reason = "the body gives the name " + QuotedClientText(name) + " twice in one object";
        return false;
    }
    m_Name = std::move(name);
    return true;
}

bool ClientJsonReader::end_object() {
    m_Open.pop_back();
    return true;
}

bool ClientJsonReader::start_array(std::size_t /*elements*/) {
    return Start(nlohmann::ordered_json::array());
}

bool ClientJsonReader::end_array() {
    m_Open.pop_back();
    return true;
}

// The parser's own message quotes the token it stopped at, which may be long: only the
// position is given.
bool ClientJsonReader::parse_error(std::size_t position, const std::string& /*lastToken*/,
                                   const nlohmann::detail::exception& /*error*/) {
    m_Reason = "the body is not JSON (a syntax error at byte " + std::to_string(position) + ")";
    return false;
}
