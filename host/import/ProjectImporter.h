#pragma once

#include "import/Diagnostics.h"
#include "import/ProjectLayout.h"
#include "import/ProjectModel.h"

#include <optional>
#include <string>

// Imports a PLCopen project as a whole: reads it, resolves and lays out its types and
// variables, and computes its stamp. All or nothing: with any error the result is empty and
// the diagnostics hold every error found.
class ProjectImporter {
public:
    explicit ProjectImporter(Diagnostics& diagnostics);

    std::optional<ProjectLayout> ImportFile(const std::string& path);
    std::optional<ProjectLayout> ImportText(const std::string& text);

private:
    std::optional<ProjectLayout> Import(const ProjectModel& model);

    Diagnostics& m_Diagnostics;
};
