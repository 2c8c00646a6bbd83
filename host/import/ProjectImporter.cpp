#include "import/ProjectImporter.h"

#include "import/StampCalculator.h"
#include "import/layout/VariablePlacer.h"
#include "import/plcopen/PlcopenReader.h"
#include "import/types/TypeResolver.h"
#include "text/HostText.h"

#include <exception>
#include <thread>
#include <unordered_map>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// The freed declarations' pages go back to the system this often while globals are placed.
constexpr std::size_t kGlobalsBetweenReleases = std::size_t{1} << 16;

} // namespace

ProjectImporter::ProjectImporter(Diagnostics& diagnostics) : m_Diagnostics(diagnostics) {}

ProjectImporter::ProjectImporter(Diagnostics& diagnostics, Options options)
    : m_Diagnostics(diagnostics), m_Options(options) {}

std::optional<ProjectLayout> ProjectImporter::ImportFile(const std::string& path) {
    ProjectModel model;
    if (!PlcopenReader(m_Diagnostics).ReadFile(path, model)) {
        return std::nullopt;
    }
    ReleaseFreedHeap();
    if (model.globals.size() < kGlobalsBetweenReleases) {
        return Import(model);
    }
    return ImportApart(model);
}

std::optional<ProjectLayout> ProjectImporter::ImportText(const std::string& text) {
    ProjectModel model;
    if (!PlcopenReader(m_Diagnostics).ReadText(text, model)) {
        return std::nullopt;
    }
    return Import(model);
}

// Declarations are read on this thread and placed on another: glibc gives a new thread an
// arena of its own, so the layout's small allocations do not settle between the freed
// declarations, and their pages go back to the system while the globals are placed.
std::optional<ProjectLayout> ProjectImporter::ImportApart(ProjectModel& model) {
    std::optional<ProjectLayout> layout;
    std::exception_ptr failure;
    std::thread([&] {
        try {
            layout = Import(model);
        } catch (...) {
            failure = std::current_exception();
        }
    }).join();
    if (failure) {
        std::rethrow_exception(failure);
    }
    return layout;
}

// The parse tree and the text are gone once the model is read; the pages they held go back to
// the system rather than stay beside the layout that is built next.
void ProjectImporter::ReleaseFreedHeap() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// A global constant written as an expression starts with its value, as a bound takes it.
void ProjectImporter::EvaluateConstants(TypeResolver& resolver,
                                        std::vector<VariableLayout>& variables) {
    std::unordered_map<std::string, std::string> values; // upper-case name -> value
    for (const VariableDecl& global : resolver.GlobalConstants()) {
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

// A program of a million globals holds each as a declaration, and then as a layout: each
// declaration goes once placed, so that the two are not held whole at once.
std::optional<ProjectLayout> ProjectImporter::Import(ProjectModel& model) {
    TypeResolver resolver(model, m_Diagnostics);
    resolver.ResolveAllDeclared();
    VariablePlacer placer(resolver, m_Diagnostics);
    placer.Reserve(model.globals.size() + model.instances.size());
    StampCalculator::GlobalValues globalValues;
    for (std::size_t placed = 1; !model.globals.empty(); ++placed) {
        placer.PlaceGlobal(model.globals.front());
        globalValues.Add(model.globals.front());
        model.globals.pop_front();
        if (placed % kGlobalsBetweenReleases == 0) {
            ReleaseFreedHeap();
        }
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
    EvaluateConstants(resolver, layout.variables);
    layout.namedTypes = resolver.TakeNamedTypes();
    layout.wordCount = placer.WordCount();
    layout.bitCount = placer.BitCount();
    layout.blockEnds = placer.BlockEnds();
    layout.stamp = StampCalculator::Compute(layout, model, globalValues);
    return layout;
}
