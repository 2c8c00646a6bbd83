#include "commands/InfoCommand.h"

#include "commands/ExitStatus.h"
#include "import/NameText.h"
#include "import/layout/LocatedAddress.h"

#include <string>

namespace {

struct Counts {
    std::size_t variables = 0;
    std::size_t structures = 0;
    std::size_t functionBlocks = 0;
    std::size_t arrays = 0;
    std::size_t members = 0;
    std::uint32_t words = 0;
    std::uint32_t bits = 0;
};

void CountType(const CSymbXMLDDTDef& type, Counts& counts) {
    counts.arrays += type.IsArray() ? 1 : 0;
    counts.structures += type.IsStruct() ? 1 : 0;
    counts.functionBlocks += type.IsDFB() ? 1 : 0;
    if (type.IsStruct() || type.IsDFB()) {
        counts.members += static_cast<const CSymbXMLDDTCompositeDef&>(type).m_Members.size();
    }
}

// The dictionary's collections are read under its lock, as every host must: another thread
// may be resolving, browsing or refilling the same dictionary.
Counts CountUnderLock(CVarbank& dictionary) {
    const CScopedLock lock(dictionary.m_Lock);
    Counts counts;
    counts.variables = dictionary.m_Items.size();
    counts.words = dictionary.m_WordArea.Count;
    counts.bits = dictionary.m_BitArea.Count;
    for (const auto& [name, type] : dictionary.m_Types.m_TypesByName) {
        if (type != nullptr) {
            CountType(*type, counts);
        }
    }
    return counts;
}

// The input and output blocks; the fieldbus slot blocks when they hold anything.
std::string IoAreas(const nlohmann::json& info) {
    const auto bytes = [&](const char* key) {
        const auto count = info[key].get<std::uint64_t>();
        return std::to_string(count) + (count == 1 ? " byte" : " bytes");
    };
    std::string text =
        bytes("inputBytes") + " (%I, block 4), " + bytes("outputBytes") + " (%Q, block 5)";
    if (info["inputSlotBytes"].get<std::uint64_t>() > 0) {
        text += ", " + bytes("inputSlotBytes") + " (%I by slot, block 6)";
    }
    if (info["outputSlotBytes"].get<std::uint64_t>() > 0) {
        text += ", " + bytes("outputSlotBytes") + " (%Q by slot, block 7)";
    }
    return text;
}

} // namespace

InfoCommand::InfoCommand(HostSession& session) : m_Session(session) {}

nlohmann::json InfoCommand::Collect(const std::string& path) {
    CVarbank& dictionary = m_Session.Dictionary();
    const Counts counts = CountUnderLock(dictionary);
    const auto& ends = m_Session.Layout().blockEnds;
    return {{"file", path},
            {"dictionary", dictionary.GetDicoName()},
            {"project", dictionary.GetHostText()},
            {"variables", counts.variables},
            {"structures", counts.structures},
            {"functionBlocks", counts.functionBlocks},
            {"arrays", counts.arrays},
            {"members", counts.members},
            {"words", counts.words},
            {"bits", counts.bits},
            {"inputBytes", ends[LocatedAddress::kInputBlock]},
            {"outputBytes", ends[LocatedAddress::kOutputBlock]},
            {"inputSlotBytes", ends[LocatedAddress::kInputSlotBlock]},
            {"outputSlotBytes", ends[LocatedAddress::kOutputSlotBlock]},
            {"stamp", dictionary.GetStampText()}};
}

int InfoCommand::Run(const std::string& path, bool json, std::ostream& out) {
    const nlohmann::json info = Collect(path);
    if (json) {
        out << info.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return kExitDone;
    }
    const auto count = [&](const char* key) {
        return std::to_string(info[key].get<std::size_t>());
    };
    out << "file           " << TerminalText(path) << '\n'
        << "dictionary     " << TerminalText(info["dictionary"].get<std::string>()) << '\n'
        << "project        " << TerminalText(info["project"].get<std::string>()) << '\n'
        << "variables      " << count("variables") << '\n'
        << "types          " << count("structures") << " structures, " << count("functionBlocks")
        << " function blocks, " << count("arrays") << " arrays\n"
        << "members        " << count("members") << '\n'
        << "memory areas   " << count("words") << " words (%MW, block 1), " << count("bits")
        << " bits (%M, block 2)\n"
        << "io areas       " << IoAreas(info) << '\n'
        << "stamp          " << info["stamp"].get<std::string>() << '\n';
    return kExitDone;
}
