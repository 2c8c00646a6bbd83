#pragma once

#include "import/Diagnostics.h"
#include "import/ProjectLayout.h"
#include "import/ProjectModel.h"

#include <optional>
#include <string>
#include <vector>

class TypeResolver;

// Imports a PLCopen project as a whole: reads it, resolves and lays out its types and
// variables, and computes its stamp. All or nothing: with any error the result is empty and
// the diagnostics hold every error found.
class ProjectImporter {
public:
    struct Options {
        bool strict = false; // a type the file does not declare is an error, not a warning
    };

    explicit ProjectImporter(Diagnostics& diagnostics);
    ProjectImporter(Diagnostics& diagnostics, Options options);

    std::optional<ProjectLayout> ImportFile(const std::string& path);
    std::optional<ProjectLayout> ImportText(const std::string& text);

private:
    // Consumes the model's globals: each declaration is freed once placed.
    std::optional<ProjectLayout> Import(ProjectModel& model);
    std::optional<ProjectLayout> ImportApart(ProjectModel& model);
    static void ReleaseFreedHeap();
    static void EvaluateConstants(TypeResolver& resolver, std::vector<VariableLayout>& variables);

    Diagnostics& m_Diagnostics;
    Options m_Options;
};
