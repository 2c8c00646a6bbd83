#pragma once

#include "config/PlantConfig.h"
#include "import/Diagnostics.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Reads a plant's configuration file (TOML) and checks it whole: unknown keys and tables, values
// of the wrong kind or out of range, unknown register maps, malformed Modbus targets, programs
// naming an endpoint the file lacks, two programs serving one dictionary name, program files
// that are missing or unreadable, tokens naming an unset environment variable. Every error goes
// to the diagnostics with its line ("file:line: reason"), all of them, not only the first;
// program paths are taken relative to the configuration file's folder.
class PlantConfigReader {
public:
    // The value of an environment variable, or nothing when it is not set.
    using Environment = std::function<std::optional<std::string>(const std::string&)>;
    static Environment ProcessEnvironment();

    explicit PlantConfigReader(Environment environment = ProcessEnvironment());

    // Nothing when the file cannot be read or has an error.
    std::optional<PlantConfig> Read(const std::filesystem::path& file,
                                    Diagnostics& diagnostics) const;
    // The text as the file's content (paths relative to the file's folder).
    std::optional<PlantConfig> ReadText(std::string_view text, const std::filesystem::path& file,
                                        Diagnostics& diagnostics) const;

private:
    Environment m_Environment;
};
