#include "DictionaryValues.h"

#include "import/NameText.h"

#include <array>
#include <string_view>
#include <utility>

namespace {

struct KindName {
    std::string_view name;
    DictionaryValues::Kind kind;
};

// The elementary types whose values are not plain numbers, by their IEC names.
constexpr std::array<KindName, 16> kKinds = {{
    {"TIME", DictionaryValues::Kind::Duration},
    {"LTIME", DictionaryValues::Kind::Duration},
    {"DATE", DictionaryValues::Kind::Date},
    {"LDATE", DictionaryValues::Kind::Date},
    {"TOD", DictionaryValues::Kind::TimeOfDay},
    {"TIME_OF_DAY", DictionaryValues::Kind::TimeOfDay},
    {"LTOD", DictionaryValues::Kind::TimeOfDay},
    {"LTIME_OF_DAY", DictionaryValues::Kind::TimeOfDay},
    {"DT", DictionaryValues::Kind::DateTime},
    {"DATE_AND_TIME", DictionaryValues::Kind::DateTime},
    {"LDT", DictionaryValues::Kind::DateTime},
    {"LDATE_AND_TIME", DictionaryValues::Kind::DateTime},
    {"STRING", DictionaryValues::Kind::Text},
    {"WSTRING", DictionaryValues::Kind::Text},
    {"CHAR", DictionaryValues::Kind::Text},
    {"WCHAR", DictionaryValues::Kind::Text},
}};

} // namespace

DictionaryValues::DictionaryValues(HostSession& session, std::unique_ptr<LiveValues> live)
    : m_Session(session), m_Live(std::move(live)), m_Types(session.Layout()) {}

std::unique_ptr<DictionaryValues> DictionaryValues::Open(HostSession& session,
                                                         const LiveValues::Options& options,
                                                         std::string& error) {
    auto live = LiveValues::Open(session, options, error);
    if (!live) {
        return nullptr;
    }
    return std::unique_ptr<DictionaryValues>(new DictionaryValues(session, std::move(live)));
}

std::vector<nlohmann::json> DictionaryValues::ReadMany(const std::vector<std::string>& names) {
    return m_Live->Access().ReadMany(names);
}

ValueAccess& DictionaryValues::Scratch() {
    std::call_once(m_ScratchMade, [this] {
        m_ScratchImage = std::make_unique<MemoryImage>(m_Session.Layout());
        m_Scratch = std::make_unique<ValueAccess>(m_Session, *m_ScratchImage);
    });
    return *m_Scratch;
}

nlohmann::json DictionaryValues::Check(const std::string& name, const nlohmann::json& value) {
    return Scratch().Write(name, value);
}

nlohmann::json DictionaryValues::Write(const std::string& name, const nlohmann::json& value) {
    return m_Live->Access().Write(name, value);
}

DictionaryValues::Kind DictionaryValues::KindOf(const std::string& itemName) const {
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

std::optional<std::int64_t> DictionaryValues::ArrayLow(const std::string& itemName) const {
    const auto shape = LayoutTypes::Array(m_Types.Underlying(m_Types.TypeOf(itemName)));
    if (!shape || shape->dims.empty()) {
        return std::nullopt;
    }
    return shape->dims.front().first;
}
