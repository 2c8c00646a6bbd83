#include "ItemTypes.h"

#include "text/HostText.h"

#include <array>
#include <string_view>

namespace {

struct KindName {
    std::string_view name;
    ItemTypes::Kind kind;
};

// The elementary types whose values are not plain numbers, by their IEC names.
constexpr std::array<KindName, 16> kKinds = {{
    {"TIME", ItemTypes::Kind::Duration},
    {"LTIME", ItemTypes::Kind::Duration},
    {"DATE", ItemTypes::Kind::Date},
    {"LDATE", ItemTypes::Kind::Date},
    {"TOD", ItemTypes::Kind::TimeOfDay},
    {"TIME_OF_DAY", ItemTypes::Kind::TimeOfDay},
    {"LTOD", ItemTypes::Kind::TimeOfDay},
    {"LTIME_OF_DAY", ItemTypes::Kind::TimeOfDay},
    {"DT", ItemTypes::Kind::DateTime},
    {"DATE_AND_TIME", ItemTypes::Kind::DateTime},
    {"LDT", ItemTypes::Kind::DateTime},
    {"LDATE_AND_TIME", ItemTypes::Kind::DateTime},
    {"STRING", ItemTypes::Kind::Text},
    {"WSTRING", ItemTypes::Kind::Text},
    {"CHAR", ItemTypes::Kind::Text},
    {"WCHAR", ItemTypes::Kind::Text},
}};

} // namespace

ItemTypes::Kind ItemTypes::KindOf(const std::string& itemName) const {
    std::string type = ToUpperAscii(m_Types.Underlying(m_Types.TypeOf(itemName)));
    // STRING[20], WSTRING[8]: a text of its length.
    type = type.substr(0, type.find('['));
    for (const KindName& known : kKinds) {
        if (type == known.name) {
            return known.kind;
        }
    }
    return Kind::Other;
}

std::optional<std::int64_t> ItemTypes::ArrayLow(const std::string& itemName) const {
    const auto shape = LayoutTypes::Array(m_Types.Underlying(m_Types.TypeOf(itemName)));
    if (!shape || shape->dims.empty()) {
        return std::nullopt;
    }
    return shape->dims.front().first;
}
