#pragma once

#include "commands/TraceRecorder.h"
#include "import/Diagnostics.h"
#include "import/ProjectLayout.h"

#include <Varbank.h>

#include <memory>
#include <ostream>
#include <string>

// One PLC application served by the host: the file imported, its dictionary built, filled,
// completed and initialised, in the order the library expects.
class HostSession {
public:
    struct Options {
        std::ostream* traceEcho = nullptr; // where trace messages go, or nowhere
        std::string dumpDirectory = "/tmp";
        bool strict = false; // a type the file does not declare fails the import
    };

    // Nothing when the file cannot be imported; the diagnostics say why.
    static std::unique_ptr<HostSession> Open(const std::string& path, const Options& options,
                                             Diagnostics& diagnostics);

    CVarbank& Dictionary() { return *m_Dictionary; }
    TraceRecorder& Trace() { return *m_Trace; }
    const ProjectLayout& Layout() const { return m_Layout; }
    const std::string& Name() const { return m_Name; }

    // Writes the quick-save dump <directory>/<Name()>.kvxav; false with the reason when the
    // dictionary could not write it. The dictionary is held exclusively meanwhile.
    bool WriteDump(const std::string& directory, std::string& reason);
    std::string DumpFileName() const { return m_Name + ".kvxav"; }

    // The dictionary name of a file: its name without directory and extension.
    static std::string DictionaryName(const std::string& path);

private:
    HostSession() = default;

    std::string m_Name;
    ProjectLayout m_Layout;
    std::unique_ptr<TraceRecorder> m_Trace; // outlives the dictionary that calls it
    std::unique_ptr<CVarbank> m_Dictionary;
};
