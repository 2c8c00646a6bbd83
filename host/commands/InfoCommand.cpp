#include "commands/InfoCommand.h"

#include "commands/ExitStatus.h"

#include <string>

InfoCommand::InfoCommand(HostSession& session) : m_Session(session) {}

nlohmann::json InfoCommand::Collect(const std::string& path) {
    CVarbank& dictionary = m_Session.Dictionary();
    std::size_t structures = 0;
    std::size_t functionBlocks = 0;
    std::size_t arrays = 0;
    std::size_t members = 0;
    for (const auto& [name, type] : dictionary.m_Types.m_TypesByName) {
        if (type == nullptr) {
            continue;
        }
        arrays += type->IsArray() ? 1 : 0;
        structures += type->IsStruct() ? 1 : 0;
        functionBlocks += type->IsDFB() ? 1 : 0;
        if (type->IsStruct() || type->IsDFB()) {
            members += static_cast<const CSymbXMLDDTCompositeDef*>(type)->m_Members.size();
        }
    }
    return {{"file", path},
            {"dictionary", dictionary.GetDicoName()},
            {"project", dictionary.GetHostText()},
            {"variables", dictionary.m_Items.size()},
            {"structures", structures},
            {"functionBlocks", functionBlocks},
            {"arrays", arrays},
            {"members", members},
            {"words", dictionary.m_WordArea.Count},
            {"bits", dictionary.m_BitArea.Count},
            {"stamp", dictionary.GetStampText()}};
}

int InfoCommand::Run(const std::string& path, bool json, std::ostream& out) {
    const nlohmann::json info = Collect(path);
    if (json) {
        out << info.dump(2) << '\n';
        return kExitDone;
    }
    const auto count = [&](const char* key) {
        return std::to_string(info[key].get<std::size_t>());
    };
    out << "file           " << path << '\n'
        << "dictionary     " << info["dictionary"].get<std::string>() << '\n'
        << "project        " << info["project"].get<std::string>() << '\n'
        << "variables      " << count("variables") << '\n'
        << "types          " << count("structures") << " structures, " << count("functionBlocks")
        << " function blocks, " << count("arrays") << " arrays\n"
        << "members        " << count("members") << '\n'
        << "memory areas   " << count("words") << " words (%MW, block 1), " << count("bits")
        << " bits (%M, block 2)\n"
        << "stamp          " << info["stamp"].get<std::string>() << '\n';
    return kExitDone;
}
