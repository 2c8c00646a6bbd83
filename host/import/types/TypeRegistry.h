#pragma once

#include "import/Diagnostics.h"
#include "import/ProjectLayout.h"
#include "import/ProjectModel.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The named types of a project: the data types and POUs the file declares, the standard
// function blocks it uses without declaring them, and the types it names without declaring
// them (library types: an export routinely uses types of libraries it does not contain). Each
// is resolved once, on first use; a type met again while it is being resolved contains itself,
// which is reported.
class TypeRegistry {
public:
    enum class State { Pending, Busy, Done, Failed };

    struct Entry {
        Entry(const DataTypeDecl* type, const PouDecl* block, std::size_t where)
            : dataType(type), pou(block), line(where) {}

        bool IsProgram() const { return pou != nullptr && pou->kind == PouKind::Program; }
        bool IsLibrary() const { return dataType == nullptr && pou == nullptr; }

        const DataTypeDecl* dataType = nullptr; // a declared data type, or
        const PouDecl* pou = nullptr;           // a POU, declared or standard; neither: a
                                                // library type
        std::size_t line = 0;                   // a library type: its first use
        std::size_t uses = 0;                   // a library type: how many places use it
        State state = State::Pending;
        ResolvedType result;   // when Done
        std::size_t depth = 0; // when Done: the levels of nesting its resolution went through
    };

    // Registers the file's types; invalid, reserved and duplicate names are reported.
    TypeRegistry(const ProjectModel& model, Diagnostics& diagnostics);

    // The entry that a use of `name` at `line` refers to, Pending, Done or Failed; an unknown
    // identifier (or identifiers joined by dots) where a type is expected becomes a library
    // type. Null when the name is an unknown program or no such name, names a program where a
    // type is expected (or the reverse), or is being resolved (a type that contains itself);
    // each of these is reported.
    Entry* Find(std::string_view name, std::size_t line, bool program);
    // The declared or standard program or type of that name, or null; nothing is reported.
    const Entry* Lookup(std::string_view name) const;

    // The file's own types, in file order. Entries stay in place while standard blocks are
    // added.
    const std::vector<Entry*>& Declared() const { return m_Declared; }
    // The library types, in the order they were first met.
    const std::vector<Entry*>& Library() const { return m_Library; }

private:
    void Register(const std::string& name, const Entry& entry);
    Entry* FindOrAddStandard(std::string_view name, std::size_t line, bool program);

    Diagnostics& m_Diagnostics;
    std::unordered_map<std::string, Entry> m_Entries; // upper-case name -> type
    std::vector<Entry*> m_Declared;
    std::vector<Entry*> m_Library;
};
