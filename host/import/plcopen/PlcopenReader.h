#pragma once

#include "import/DepthGuard.h"
#include "import/Diagnostics.h"
#include "import/ProjectModel.h"
#include "import/plcopen/SourceLines.h"

#include <pugixml.hpp>

#include <deque>
#include <optional>
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

    // A global list whose content is at least `minBytes` is parsed in pieces of about
    // `pieceBytes` before the rest of the document, so that its tree is never held whole.
    struct Pieces {
        std::size_t minBytes = std::size_t{4} << 20;
        std::size_t pieceBytes = std::size_t{1} << 20;
    };

    explicit PlcopenReader(Diagnostics& diagnostics);
    PlcopenReader(Diagnostics& diagnostics, Pieces pieces);

    // False when the file cannot be read or is not a PLCopen project; the reasons are in the
    // diagnostics. Errors inside the project are reported there too but do not stop the read.
    bool ReadFile(const std::string& path, ProjectModel& model);
    bool ReadText(std::string text, ProjectModel& model);

private:
    // The variables of a large list, read ahead, with what reading them reported; they join the
    // model, and the report, where the list is met in the tree.
    struct ListAhead {
        std::deque<VariableDecl> variables;
        Diagnostics diagnostics;
    };

    bool ReadLargeLists(std::string& text);
    bool ReadListPiece(char* begin, std::size_t size, ListAhead& list);
    // The variables read ahead for a list element, taken; nothing when it is read in the tree.
    std::optional<ListAhead> TakeAhead(pugi::xml_node globalVars);
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
    static void JoinGlobals(std::deque<VariableDecl>& variables, bool constant,
                            const std::string& list, ProjectModel& model);
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

    Diagnostics* m_Diagnostics; // where reports go: the import's, or a list's read ahead
    Pieces m_Pieces;
    SourceLines m_Lines;
    std::string_view m_Text; // the text being read, which the tree points into
    std::size_t m_TypeDepth = 0;
    // Named global lists by upper-case name, with their lines: a name declared twice is refused.
    std::unordered_map<std::string, std::size_t> m_GlobalLists;
    // Lists read ahead, by where their start tag's name lies in the text.
    std::unordered_map<const char*, ListAhead> m_Ahead;
};
