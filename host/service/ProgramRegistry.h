#pragma once

#include "service/ServedProgram.h"
#include "service/WritePolicy.h"

#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// The programs a service keeps loaded, by dictionary name. They come from the command line's
// files and folders (a file's name is its stem; a file dropped into a served folder later is
// picked up) or from a plant's configuration, which may add, change and remove programs while
// the service runs. A client's name is only ever looked up here, never joined to a path.
// Lookups may run from any thread; the changes come from one thread at a time.
class ProgramRegistry {
public:
    // What serves one dictionary: its file, how it is opened and written, and a text of the
    // settings it came from (when it changes, the program is opened again).
    struct Entry {
        std::string name;
        std::string path;
        ProgramOptions options;
        WritePolicy writes;
        std::string settings;
    };

    // How the command line's files are opened and written.
    explicit ProgramRegistry(ProgramOptions settings, WritePolicy writes = {});

    // Adds a PLCopen file, or every *.xml file of a folder. False with the reason when a path
    // does not exist, a folder holds no program, or two files give one name.
    bool Add(const std::string& path, std::string& reason);

    std::shared_ptr<ServedProgram> Find(std::string_view name) const;
    // The programs in service now, in the order they were added.
    std::vector<std::shared_ptr<ServedProgram>> Programs() const;
    // Picks up new files in the served folders and imports every program whose file changed;
    // the number that went into service anew.
    std::size_t RefreshAll(std::ostream& log);
    // Serves exactly these: a name not served yet is added, one served with other settings is
    // opened again on the new ones, one no longer named leaves service (requests on it finish).
    void Replace(const std::vector<Entry>& entries, std::ostream& log);

    // Why the plant's configuration was last refused (the one before it stays in service);
    // empty when it was taken.
    void SetConfigError(std::string error);
    std::string ConfigError() const;

private:
    bool AddFile(const std::string& path, std::string& reason);
    void PickUpNewFiles(std::ostream& log);

    ProgramOptions m_Settings;
    WritePolicy m_Writes;
    std::vector<std::string> m_Folders;
    std::set<std::string> m_Refused; // new files of folders that cannot be served, told once
    mutable std::mutex m_Mutex;      // guards the two below
    std::vector<std::shared_ptr<ServedProgram>> m_Programs;
    std::string m_ConfigError;
};
