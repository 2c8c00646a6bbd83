#pragma once

#include "import/ProjectLayout.h"

#include <Varbank.h>

#include <memory>
#include <string>

// Fills a new dictionary from a laid-out project through the library's public interface:
// the memory areas, every structure and function block with its members, every variable,
// the stamp; then completes the types with FinalyzeListOfType.
class DictionaryBuilder {
public:
    // Throws std::runtime_error if the dictionary refuses a type, member or variable, which an
    // imported project never gives it.
    static std::unique_ptr<CVarbank> Build(const ProjectLayout& layout, const std::string& name,
                                           const std::string& directory);

private:
    static void AddType(CVarbank& dictionary, const CompositeLayout& composite, std::size_t index);
    static void AddVariable(CVarbank& dictionary, const VariableLayout& variable);
};
