#pragma once

#include "BrowseIterator.h"
#include "DictionaryValues.h"
#include "Item.h"
#include "commands/BrowseCommand.h"
#include "commands/HostSession.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

// The dictionary of one imported PLCopen program, as the Python module serves it: a host
// session with the import's warnings. Every operation may run from several threads at once;
// the dictionary's own lock orders them.
class Dictionary : public std::enable_shared_from_this<Dictionary> {
public:
    // Imports and builds, and opens the values behind it; throws ProgramError with every
    // reason when the file does not import, std::invalid_argument for a malformed Modbus
    // target.
    static std::shared_ptr<Dictionary> Load(const std::string& path, bool strict,
                                            const LiveValues::Options& values);

    const std::string& Path() const { return m_Path; }
    const std::string& Name() const { return m_Session->Name(); }
    // "file:line: reason" of every warning of the import, in line order, then "file: reason"
    // of every initial value that does not fit the memory image.
    const std::vector<std::string>& Warnings() const { return m_Warnings; }
    HostSession& Session() { return *m_Session; }
    DictionaryValues& Values() { return *m_Values; }

    // Throws UnknownItem when the name is refused.
    Item Resolve(const std::string& name);
    // One item per name, refused ones included (resolved false, with the reason).
    std::vector<Item> ResolveMany(const std::vector<std::string>& names);
    // Throws UnknownItem when the position lists nothing.
    std::shared_ptr<BrowseIterator> Browse(const BrowseCommand::Options& options, bool recursive);

    std::string Stamp();
    // OK, PARTIAL or MISMATCH for a stamp text of the build running in the PLC; throws
    // std::invalid_argument for a malformed text.
    std::string CompareStamp(const std::string& otherStamp);
    // Writes the quick-save dump into the folder; the file's path. Throws FileFailure.
    std::string Dump(const std::string& directory);
    // What the dictionary holds (the info command's fields).
    nlohmann::json Info();

private:
    Dictionary() = default;

    std::string m_Path;
    std::vector<std::string> m_Warnings;
    std::unique_ptr<HostSession> m_Session;
    std::unique_ptr<DictionaryValues> m_Values; // uses m_Session, so declared after it
};
