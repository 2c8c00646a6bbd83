#include "Dictionary.h"

#include "FileFailure.h"
#include "ProgramError.h"
#include "UnknownItem.h"
#include "core/Sampler.h"

#include <cerrno>
#include <filesystem>
#include <stdexcept>

std::shared_ptr<Dictionary> Dictionary::Load(const std::string& path,
                                             const ProgramOptions& options) {
    Diagnostics report(path);
    std::shared_ptr<const Program> program = Program::Open(path, options, report);
    std::vector<std::string> lines;
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    for (const Diagnostics::Entry& entry : report.InLineOrder()) {
        lines.push_back(report.Format(entry));
        (entry.IsError() ? errors : warnings).push_back(lines.back());
    }
    if (!program) {
        throw ProgramError(std::move(lines), std::move(errors));
    }
    std::shared_ptr<Dictionary> dictionary(new Dictionary());
    dictionary->m_Program = std::move(program);
    dictionary->m_Warnings = std::move(warnings);
    return dictionary;
}

ResolvedItem Dictionary::Resolve(const std::string& name) const {
    ResolvedItem item = m_Program->Resolve(name);
    if (!item.Resolved()) {
        throw UnknownItem(name, item.reason);
    }
    return item;
}

std::vector<ResolvedItem> Dictionary::ResolveMany(const std::vector<std::string>& names) const {
    std::vector<ResolvedItem> items;
    items.reserve(names.size());
    for (const std::string& name : names) {
        items.push_back(m_Program->Resolve(name));
    }
    return items;
}

std::shared_ptr<BrowseIterator> Dictionary::Browse(const BrowseOptions& browse, BrowseDepth depth) {
    return std::make_shared<BrowseIterator>(shared_from_this(), browse, depth);
}

std::string Dictionary::CompareStamp(const std::string& otherStamp) const {
    const auto record = ParseStampText(otherStamp);
    if (!record) {
        throw std::invalid_argument("'" + otherStamp +
                                    "' is not a stamp (five hexadecimal words joined by colons)");
    }
    return StampMatchName(m_Program->CompareStamp(*record));
}

std::string Dictionary::Dump(const std::string& directory) const {
    std::error_code error;
    if (!std::filesystem::exists(directory, error)) {
        throw FileFailure(ENOENT, directory, "no such directory");
    }
    if (!std::filesystem::is_directory(directory, error)) {
        throw FileFailure(ENOTDIR, directory, "not a directory");
    }
    std::string file = directory + "/" + m_Program->DumpFileName();
    std::string reason;
    if (!m_Program->WriteDump(directory, reason)) {
        throw FileFailure(0, file, reason);
    }
    return file;
}

std::shared_ptr<Sampler> Dictionary::Subscriptions() {
    const std::lock_guard lock(m_SamplerMutex);
    if (!m_Sampler) {
        m_Sampler = Sampler::Create([program = m_Program] { return program; },
                                    Sampler::For(m_Program->Memory()));
    }
    return m_Sampler;
}
