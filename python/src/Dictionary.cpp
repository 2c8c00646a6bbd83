#include "Dictionary.h"

#include "FileFailure.h"
#include "ProgramError.h"
#include "UnknownItem.h"
#include "commands/DumpCommand.h"
#include "commands/InfoCommand.h"
#include "commands/ResolveCommand.h"
#include "commands/StagingDirectory.h"
#include "commands/StampCommand.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <filesystem>
#include <sstream>
#include <stdexcept>

std::shared_ptr<Dictionary> Dictionary::Load(const std::string& path, bool strict,
                                             const LiveValues::Options& values) {
    Diagnostics diagnostics(path);
    HostSession::Options options;
    options.strict = strict;
    std::unique_ptr<HostSession> session;
    try {
        session = HostSession::Open(path, options, diagnostics);
    } catch (const std::exception& error) {
        diagnostics.Error(0, error.what());
    }
    // In line order, as the command prints them: some reports are only complete at the end.
    std::vector<Diagnostics::Entry> entries = diagnostics.Entries();
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a.line < b.line; });
    std::vector<std::string> lines;
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    for (const Diagnostics::Entry& entry : entries) {
        lines.push_back(diagnostics.Format(entry));
        (entry.error ? errors : warnings).push_back(lines.back());
    }
    if (!session) {
        throw ProgramError(std::move(lines), std::move(errors));
    }
    std::shared_ptr<Dictionary> dictionary(new Dictionary());
    dictionary->m_Path = path;
    dictionary->m_Warnings = std::move(warnings);
    dictionary->m_Session = std::move(session);
    std::string error;
    dictionary->m_Values = DictionaryValues::Open(*dictionary->m_Session, values, error);
    if (!dictionary->m_Values) {
        throw std::invalid_argument("modbus: '" + values.modbus + "': " + error);
    }
    std::istringstream problems(dictionary->m_Values->Warnings());
    for (std::string problem; std::getline(problems, problem);) {
        dictionary->m_Warnings.push_back(path + ": ");
        dictionary->m_Warnings.back() += problem;
    }
    return dictionary;
}

Item Dictionary::Resolve(const std::string& name) {
    Item item = Item::From(ResolveCommand(*m_Session).Find(name));
    if (!item.resolved) {
        throw UnknownItem(name, item.reason);
    }
    return item;
}

std::vector<Item> Dictionary::ResolveMany(const std::vector<std::string>& names) {
    ResolveCommand command(*m_Session);
    std::vector<Item> items;
    items.reserve(names.size());
    for (const std::string& name : names) {
        items.push_back(Item::From(command.Find(name)));
    }
    return items;
}

std::shared_ptr<BrowseIterator> Dictionary::Browse(const BrowseCommand::Options& options,
                                                   bool recursive) {
    return std::make_shared<BrowseIterator>(shared_from_this(), options, recursive);
}

std::string Dictionary::Stamp() {
    return m_Session->Dictionary().GetStampText();
}

std::string Dictionary::CompareStamp(const std::string& otherStamp) {
    PLCDicoStamping record{};
    if (!StampCommand::ParseStampText(otherStamp, record)) {
        throw std::invalid_argument("'" + otherStamp +
                                    "' is not a stamp (five hexadecimal words joined by colons)");
    }
    return StampCommand::ResultName(m_Session->Dictionary().CheckDicoStamp(&record));
}

std::string Dictionary::Dump(const std::string& directory) {
    std::error_code error;
    if (!std::filesystem::exists(directory, error)) {
        throw FileFailure(ENOENT, directory, "no such directory");
    }
    if (!std::filesystem::is_directory(directory, error)) {
        throw FileFailure(ENOTDIR, directory, "not a directory");
    }
    StagingDirectory staging(directory);
    if (staging.Path().empty()) {
        throw FileFailure(0, directory, "cannot create a folder for the dump: " + staging.Reason());
    }
    std::string file = directory + "/" + m_Session->DumpFileName();
    std::string reason;
    if (!DumpCommand(*m_Session).Write(staging, reason)) {
        throw FileFailure(0, file, "cannot write the dump: " + reason);
    }
    return file;
}

nlohmann::json Dictionary::Info() {
    return InfoCommand(*m_Session).Collect(m_Path);
}
