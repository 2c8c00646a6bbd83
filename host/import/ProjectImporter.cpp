#include "import/ProjectImporter.h"

#include "import/StampCalculator.h"
#include "import/layout/VariablePlacer.h"
#include "import/plcopen/PlcopenReader.h"
#include "import/types/TypeResolver.h"
#include "text/HostText.h"

#include <unordered_map>

#ifdef __GLIBC__
#include <malloc.h>
#endif

ProjectImporter::ProjectImporter(Diagnostics& diagnostics) : m_Diagnostics(diagnostics) {}

ProjectImporter::ProjectImporter(Diagnostics& diagnostics, Options options)
    : m_Diagnostics(diagnostics), m_Options(options) {}

std::optional<ProjectLayout> ProjectImporter::ImportFile(const std::string& path) {
    ProjectModel model;
    if (!PlcopenReader(m_Diagnostics).ReadFile(path, model)) {
        return std::nullopt;
    }
    ReleaseFreedHeap();
    return Import(model);
}

std::optional<ProjectLayout> ProjectImporter::ImportText(const std::string& text) {
    ProjectModel model;
    if (!PlcopenReader(m_Diagnostics).ReadText(text, model)) {
        return std::nullopt;
    }
    return Import(model);
}

// The parse tree and the text are gone once the model is read; the pages they held go back to
// the system rather than stay beside the layout that is built next.
void ProjectImporter::ReleaseFreedHeap() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// A global constant written as an expression starts with its value, as a bound takes it.
void ProjectImporter::EvaluateConstants(const ProjectModel& model, TypeResolver& resolver,
                                        std::vector<VariableLayout>& variables) {
    std::unordered_map<std::string, std::string> values; // upper-case name -> value
    for (const VariableDecl& global : model.globals) {
        std::string value = resolver.InitialValue(global);
        if (value != global.initialValue) {
            values.emplace(ToUpperAscii(global.name), std::move(value));
        }
    }
    if (values.empty()) {
        return; // the common case: no global starts with an expression
    }
    for (VariableLayout& variable : variables) {
        const auto value = values.find(ToUpperAscii(variable.name));
        if (value != values.end()) {
            variable.initialValue = value->second;
        }
    }
}

std::optional<ProjectLayout> ProjectImporter::Import(const ProjectModel& model) {
    TypeResolver resolver(model, m_Diagnostics);
    resolver.ResolveAllDeclared();
    VariablePlacer placer(resolver, m_Diagnostics);
    placer.Reserve(model.globals.size() + model.instances.size());
    for (const VariableDecl& global : model.globals) {
        placer.PlaceGlobal(global);
    }
    for (const ProgramInstance& instance : model.instances) {
        placer.PlaceInstance(instance);
    }
    resolver.ReportLibraryTypes(m_Options.strict);
    if (m_Diagnostics.HasErrors()) {
        return std::nullopt;
    }
    ProjectLayout layout;
    layout.projectName = model.projectName;
    layout.composites = resolver.TakeComposites();
    layout.variables = placer.TakeVariables();
    EvaluateConstants(model, resolver, layout.variables);
    layout.namedTypes = resolver.TakeNamedTypes();
    layout.wordCount = placer.WordCount();
    layout.bitCount = placer.BitCount();
    layout.blockEnds = placer.BlockEnds();
    layout.stamp = StampCalculator::Compute(layout, model);
    return layout;
}
