#pragma once

#include "cli/OutputFormat.h"
#include "core/Program.h"

class SignalStop;

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// varbank watch: the values of item names as they change, until a count of changes or Ctrl-C.
class WatchCommand {
public:
    struct Options {
        std::vector<std::string> names;
        std::optional<std::chrono::milliseconds> interval; // none: the sampler's default
        double deadband = 0;
        std::size_t count = 0; // changes printed before stopping; 0: until a signal
    };

    // One line (or JSON object) per change: every leaf's first value, then each change. A
    // name the dictionary refuses stops the command before anything is watched
    // (kExitRefused); a stop by count or by a signal that `signals` takes is kExitDone.
    // `signals` is made before the program opens, so that no thread of its memory takes them.
    static int Run(const std::shared_ptr<const Program>& program, const Options& options,
                   SignalStop& signals, OutputFormat format, std::ostream& out, std::ostream& err);
};
