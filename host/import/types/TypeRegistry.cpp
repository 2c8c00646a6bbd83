#include "import/types/TypeRegistry.h"

#include "import/types/StandardFunctionBlocks.h"
#include "import/types/TypeVocabulary.h"
#include "text/HostText.h"

#include <algorithm>

namespace {

// An identifier, or identifiers joined by dots: a library's type, possibly under its namespace
// (JSON.Variant).
bool IsQualifiedName(std::string_view name) {
    for (std::size_t start = 0; start <= name.size();) {
        const std::size_t dot = std::min(name.find('.', start), name.size());
        if (!IsIdentifier(name.substr(start, dot - start))) {
            return false;
        }
        start = dot + 1;
    }
    return true;
}

} // namespace

TypeRegistry::TypeRegistry(const ProjectModel& model, Diagnostics& diagnostics)
    : m_Diagnostics(diagnostics) {
    for (const DataTypeDecl& type : model.dataTypes) {
        Register(type.name, Entry{&type, nullptr, type.line});
    }
    for (const PouDecl& pou : model.pous) {
        Register(pou.name, Entry{nullptr, &pou, pou.line});
    }
}

void TypeRegistry::Register(const std::string& name, const Entry& entry) {
    if (!IsIdentifier(name)) {
        m_Diagnostics.Error(entry.line, "type name " + Quoted(name) + " is not a valid identifier");
        return;
    }
    const std::string upper = ToUpperAscii(name);
    if (TypeVocabulary::Find(upper) || upper == "ARRAY") {
        m_Diagnostics.Error(entry.line,
                            "type name " + Quoted(name) + " is reserved for a built-in type");
        return;
    }
    const auto [at, inserted] = m_Entries.emplace(upper, entry);
    if (!inserted) {
        m_Diagnostics.Error(entry.line, "duplicate type name " + Quoted(name) +
                                            " (first declared at line " +
                                            std::to_string(at->second.line) + ")");
        return;
    }
    m_Declared.push_back(&at->second);
}

TypeRegistry::Entry* TypeRegistry::Find(std::string_view name, std::size_t line, bool program) {
    Entry* entry = FindOrAddStandard(name, line, program);
    if (entry == nullptr) {
        return nullptr;
    }
    if (entry->IsProgram() != program) {
        m_Diagnostics.Error(
            line, Quoted(name) + (program ? " is not a program" : " is a program, not a type"));
        return nullptr;
    }
    if (entry->state == State::Busy) {
        m_Diagnostics.Error(line, "type " + Quoted(name) + " refers to itself");
        return nullptr;
    }
    return entry;
}

const TypeRegistry::Entry* TypeRegistry::Lookup(std::string_view name) const {
    const auto found = m_Entries.find(ToUpperAscii(name));
    return found == m_Entries.end() ? nullptr : &found->second;
}

TypeRegistry::Entry* TypeRegistry::FindOrAddStandard(std::string_view name, std::size_t line,
                                                     bool program) {
    const std::string key = ToUpperAscii(name);
    const auto found = m_Entries.find(key);
    if (found != m_Entries.end()) {
        return &found->second;
    }
    if (const PouDecl* standard = StandardFunctionBlocks::Find(name)) {
        return &m_Entries.emplace(key, Entry{nullptr, standard, 0}).first->second;
    }
    // A program must be in the file; a type may come from a library the export leaves out.
    if (program || !IsQualifiedName(name) || key == "ARRAY") {
        m_Diagnostics.Error(line, (program ? "unknown program " : "unknown type ") + Quoted(name));
        return nullptr;
    }
    Entry* library = &m_Entries.emplace(key, Entry{nullptr, nullptr, line}).first->second;
    m_Library.push_back(library);
    return library;
}
