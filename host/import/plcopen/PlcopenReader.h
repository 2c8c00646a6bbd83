#pragma once

#include "import/DepthGuard.h"
#include "import/Diagnostics.h"
#include "import/ProjectModel.h"
#include "import/plcopen/SourceLines.h"

#include <pugixml.hpp>

#include <string>
#include <string_view>
#include <unordered_map>

// Reads a PLCopen TC6 XML project (tc6_0200 or tc6_0201) into the project model: data types,
// program and function-block interfaces, configuration and resource globals, program
// instances, with their comments and initial values. POUs and global lists that an IDE keeps
// in the extension data of the project, a configuration or a resource are read as if written
// in place; bodies and other extensions are skipped.
class PlcopenReader {
public:
    // Types written inside types (arrays, structures) nest at most this deep.
    static constexpr std::size_t kMaxTypeDepth = 100;

    explicit PlcopenReader(Diagnostics& diagnostics);

    // False when the file cannot be read or is not a PLCopen project; the reasons are in the
    // diagnostics. Errors inside the project are reported there too but do not stop the read.
    bool ReadFile(const std::string& path, ProjectModel& model);
    bool ReadText(std::string text, ProjectModel& model);

private:
    void CheckNamespace(pugi::xml_node root);
    void ReadDataTypes(pugi::xml_node dataTypes, ProjectModel& model);
    void ReadPou(pugi::xml_node node, ProjectModel& model);
    // The POUs and global lists among the extension data of the project, a configuration or a
    // resource.
    void ReadAddData(pugi::xml_node addData, ProjectModel& model);
    void ReadInterface(pugi::xml_node interface, PouDecl& pou);
    void ReadConfiguration(pugi::xml_node configuration, ProjectModel& model);
    void ReadResource(pugi::xml_node resource, ProjectModel& model);
    void ReadGlobals(pugi::xml_node globalVars, ProjectModel& model);
    void ReadInstance(pugi::xml_node pouInstance, ProjectModel& model);
    VariableDecl ReadVariable(pugi::xml_node variable, VarSection section);
    // Reads the type element inside a <type> or <baseType> node.
    void ReadType(pugi::xml_node holder, TypeRef& ref, const std::string& owner,
                  std::size_t ownerLine);
    void ReadTypeElement(pugi::xml_node element, TypeRef& ref);
    void ReadArray(pugi::xml_node array, TypeRef& ref);
    void ReadBase(pugi::xml_node element, TypeRef& ref, bool required);
    void ReadLength(pugi::xml_node element, TypeRef& ref);
    std::size_t Line(pugi::xml_node node) const;

    Diagnostics& m_Diagnostics;
    SourceLines m_Lines;
    std::string_view m_Text; // the text being read, which the tree points into
    std::size_t m_TypeDepth = 0;
    // Named global lists by upper-case name, with their lines: a name declared twice is refused.
    std::unordered_map<std::string, std::size_t> m_GlobalLists;
};
