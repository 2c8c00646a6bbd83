#pragma once

#include "BrowseIterator.h"
#include "core/Program.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

// One opened program, as the Python module serves it, with the import's warnings. Every
// operation may run from several threads at once; the dictionary's own lock orders them.
class Sampler;

class Dictionary : public std::enable_shared_from_this<Dictionary> {
public:
    // Opens the program; throws ProgramError with every reason when the file does not import.
    static std::shared_ptr<Dictionary> Load(const std::string& path, const ProgramOptions& options);

    const Program& Opened() const { return *m_Program; }
    const std::string& Path() const { return m_Program->Path(); }
    const std::string& Name() const { return m_Program->Name(); }
    // "file:line: reason" of every warning of the import, in line order (initial values that
    // do not fit the memory image among them).
    const std::vector<std::string>& Warnings() const { return m_Warnings; }

    // Throws UnknownItem when the name is refused.
    ResolvedItem Resolve(const std::string& name) const;
    // One item per name, refused ones included (resolved false, with the reason).
    std::vector<ResolvedItem> ResolveMany(const std::vector<std::string>& names) const;
    // Throws UnknownItem when the position lists nothing.
    std::shared_ptr<BrowseIterator> Browse(const BrowseOptions& browse, BrowseDepth depth);

    // OK, PARTIAL or MISMATCH for a stamp text of the build running in the PLC; throws
    // std::invalid_argument for a malformed text.
    std::string CompareStamp(const std::string& otherStamp) const;
    // Writes the quick-save dump into the folder; the file's path. Throws FileFailure.
    std::string Dump(const std::string& directory) const;

    // The sampler of this dictionary's memory, shared by its subscriptions; its thread
    // starts with the first subscription.
    std::shared_ptr<Sampler> Subscriptions();

private:
    Dictionary() = default;

    std::shared_ptr<const Program> m_Program;
    std::vector<std::string> m_Warnings;
    std::mutex m_SamplerMutex;
    std::shared_ptr<Sampler> m_Sampler; // made on first use; guarded by m_SamplerMutex
};
