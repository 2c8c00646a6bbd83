#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The PLC program as the PLCopen reader finds it: names, types as written, addresses and
// comments, each with the line it was declared on. Nothing is resolved or laid out yet.

struct VariableDecl;

// A type as written at one place of the file.
struct TypeRef {
    // Invalid: a type whose error has already been reported; it resolves to nothing, quietly.
    enum class Kind {
        Elementary,
        String,
        Derived,
        Array,
        Enum,
        Subrange,
        Struct,
        Pointer,
        Invalid
    };

    struct Detail;

    Kind kind = Kind::Elementary;
    bool wide = false; // WSTRING rather than STRING
    std::string name;  // elementary keyword (upper case), or the derived name as written
    std::shared_ptr<TypeRef> base; // element of an array, base of enum, subrange or pointer
    std::size_t line = 0;

    // The parts most types leave empty, made on first write: a plain INT costs no room for them.
    Detail& Details();
    const Detail& Details() const;

    TypeRef();
    TypeRef(const TypeRef& other);
    TypeRef& operator=(const TypeRef& other);
    TypeRef(TypeRef&& other) noexcept;
    TypeRef& operator=(TypeRef&& other) noexcept;
    ~TypeRef();

private:
    std::unique_ptr<Detail> m_Detail;
};

// Where a variable was declared; it decides what becomes of it.
enum class VarSection { Input, Output, InOut, Local, Temp, Global, External, Access, Member };

struct VariableDecl {
    std::string name;
    TypeRef type;
    std::string address;      // located address as written, empty when unlocated
    std::string comment;      // documentation, blanks collapsed
    std::string initialValue; // canonical text of the initial value, empty when none
    VarSection section = VarSection::Local;
    bool constant = false; // declared in a constant section (VAR CONSTANT, a constant list)
    std::string list;      // the name of its global list; empty when unnamed or not a global
    std::size_t line = 0;
};

struct TypeRef::Detail {
    std::string length; // declared string length as written; empty when none was given
    std::vector<std::pair<std::string, std::string>> dims; // array bounds as written
    std::pair<std::string, std::string> range;             // subrange bounds as written
    std::vector<VariableDecl> members;                     // members of a structure
    // Values of an enumeration in order: the name and its value as written (empty: the
    // position in the list).
    std::vector<std::pair<std::string, std::string>> enumValues;
};

struct DataTypeDecl {
    std::string name;
    TypeRef type;
    std::string initialValue;
    std::string comment;
    std::size_t line = 0;
};

enum class PouKind { Program, FunctionBlock, Function };

struct PouDecl {
    std::string name;
    PouKind kind = PouKind::Program;
    std::string comment;
    std::vector<VariableDecl> variables; // every section, in declaration order
    std::size_t line = 0;
};

// A program instance of a resource: a variable named after the instance.
struct ProgramInstance {
    std::string name;
    std::string typeName;
    std::string comment;
    std::size_t line = 0;
};

struct ProjectModel {
    std::string projectName;
    std::vector<DataTypeDecl> dataTypes;
    std::vector<PouDecl> pous;
    // Configuration and resource globals, in file order. A deque: a million declarations are
    // not copied as the list grows, and each takes heap memory the parse tree has just freed.
    std::deque<VariableDecl> globals;
    std::vector<ProgramInstance> instances;
};
