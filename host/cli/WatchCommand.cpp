#include "cli/WatchCommand.h"

#include "cli/ExitStatus.h"
#include "cli/SignalStop.h"
#include "cli/ValueLine.h"
#include "core/ChangeStream.h"
#include "core/Sampler.h"
#include "text/HostText.h"
#include "json/CoreJson.h"

#include <memory>
#include <set>

namespace {

// "TIME Motor1.Speed = 0 (INT)", or "TIME Motor1.Speed: error: reason".
std::string Describe(const SampledChange& change) {
    const ValueResult& result = change.result;
    const std::string time = CoreJson::IsoTime(change.time) + " ";
    if (!result.Ok() || !result.value) {
        return time + TerminalText(result.name + ": error: " + result.Message());
    }
    return time + ValueLine::Describe(result);
}

// The names the dictionary refuses, each reported on err; true when there is none.
bool AllResolve(const Program& program, const std::vector<std::string>& names, std::ostream& err) {
    bool all = true;
    for (const std::string& name : names) {
        const ResolvedItem item = program.Resolve(name);
        if (!item.Resolved()) {
            err << "watch " << TerminalText(item.name) << ": " << item.reason << '\n';
            all = false;
        }
    }
    return all;
}

// The names in order, each once.
std::vector<std::string> Distinct(const std::vector<std::string>& names) {
    std::vector<std::string> distinct;
    std::set<std::string> seen;
    for (const std::string& name : names) {
        if (seen.insert(name).second) {
            distinct.push_back(name);
        }
    }
    return distinct;
}

} // namespace

int WatchCommand::Run(const std::shared_ptr<const Program>& program, const Options& options,
                      SignalStop& signals, OutputFormat format, std::ostream& out,
                      std::ostream& err) {
    SubscribeRequest request{Distinct(options.names), options.interval, options.deadband};
    if (!AllResolve(*program, request.names, err)) {
        return kExitRefused;
    }
    const auto sampler =
        Sampler::Create([program] { return program; }, Sampler::For(program->Memory()));
    // Shared with the signal's thread, which may close it while this one waits.
    const auto stream = std::make_shared<ChangeStream>(sampler);
    ChangeStream& changes = *stream;
    const SubscribeAnswer answer = changes.Subscribe(request);
    if (!answer.Ok()) {
        err << "watch: " << answer.error << '\n';
        return kExitRefused;
    }
    if (!answer.note.empty()) {
        err << "watch: " << answer.note << '\n';
    }
    signals.Watch([stream] { stream->Close(); });
    std::size_t printed = 0;
    std::size_t merged = 0;
    while (options.count == 0 || printed < options.count) {
        const auto change = changes.Next(ChangeStream::Clock::now() + std::chrono::hours(1));
        if (!change) {
            if (changes.Closed()) {
                break;
            }
            continue;
        }
        if (format == OutputFormat::Json) {
            out << CoreJson::Text(CoreJson::Change(*change), -1) << '\n';
        } else {
            out << Describe(*change) << '\n';
        }
        out.flush();
        ++printed;
        if (changes.Merged() > merged) {
            err << "watch: " << changes.Merged() - merged
                << " changes were merged into newer ones (the output fell behind)\n";
            merged = changes.Merged();
        }
    }
    changes.Close();
    return kExitDone;
}
