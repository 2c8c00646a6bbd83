#pragma once

#include "core/LayoutTypes.h"
#include "import/ProjectLayout.h"

#include "values/Value.h"

#include <string>
#include <unordered_map>
#include <vector>

class ValueAccess;

// Writes a program's initial values into its memory: the values of variables, of structure and
// function-block members, of array elements (repetitions spelled out) and of structure values,
// falling back on the members' declared values and on the type-level values of declared types.
// Each value is written by its item name through ValueAccess, so it lands where the dictionary
// says and is checked like any write.
class InitialValues {
public:
    // variables: the layout's, read once by WriteInto; types: the program's own, shared rather
    // than built again.
    InitialValues(const std::vector<VariableLayout>& variables, const LayoutTypes& types);

    // The problems found, each "name: reason"; the values that could be written are written.
    std::vector<std::string> WriteInto(ValueAccess& access);

private:
    void Assign(const std::string& path, const std::string& type, std::string text);
    void AssignNamed(const std::string& path, const NamedTypeLayout& named, std::string text);
    void AssignComposite(const std::string& path, const CompositeLayout& composite,
                         const std::string& text);
    void AssignArray(const std::string& path, const LayoutTypes::ArrayShape& shape,
                     const std::string& text);
    void AssignLeaf(const std::string& path, const Value& value);
    bool HoldsFunctionBlock(const MemberLayout& member) const;
    // True when a value of the type starts other than zero somewhere.
    bool HasDefaults(const std::string& type);
    bool ComputeDefaults(const std::string& type);

    const std::vector<VariableLayout>& m_Variables;
    const LayoutTypes& m_Types;
    ValueAccess* m_Access = nullptr;
    std::vector<std::string> m_Problems;
    std::unordered_map<std::string, bool> m_Defaults; // by upper-case type text
};
