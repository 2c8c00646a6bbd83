#pragma once

#include "service/ServedProgram.h"

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

// The programs a service keeps loaded, by dictionary name (the file's stem). Names come from
// the command line's files and folders; a client's name is only ever looked up here, never
// joined to a path.
class ProgramRegistry {
public:
    explicit ProgramRegistry(ProgramOptions settings);

    // Adds a PLCopen file, or every *.xml file of a folder. False with the reason when a path
    // does not exist, a folder holds no program, or two files give one name.
    bool Add(const std::string& path, std::string& reason);

    ServedProgram* Find(std::string_view name) const;
    const std::vector<std::unique_ptr<ServedProgram>>& Programs() const { return m_Programs; }
    // Imports every program whose file changed; the number that went into service anew.
    std::size_t RefreshAll(std::ostream& log);

private:
    bool AddFile(const std::string& path, std::string& reason);

    ProgramOptions m_Settings;
    std::vector<std::unique_ptr<ServedProgram>> m_Programs;
};
