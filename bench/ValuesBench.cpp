// Values read per second by name: from the memory image, and from a PLC over Modbus TCP (a
// libmodbus server in a thread on 127.0.0.1), one name at a time and in batches of 100.
#include "LocalModbusServer.h"
#include "core/Program.h"
#include "core/ValueAccess.h"
#include "import/Diagnostics.h"
#include "values/ModbusMemory.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace {

constexpr int kNames = 1000;

// 1,000 located words (%MW0..%MW999, holding registers 1024..2023) and 1,000 plain INTs.
std::string ProgramText() {
    std::string xml = "<?xml version=\"1.0\"?><project xmlns=\"http://www.plcopen.org/xml/"
                      "tc6_0201\"><contentHeader name=\"bench\"/><types><dataTypes/><pous/>"
                      "</types><instances><configurations><configuration name=\"C\"><globalVars>"
                      "<variable name=\"Words\" address=\"%MW0\"><type><array><dimension "
                      "lower=\"0\" upper=\"999\"/><baseType><INT/></baseType></array></type>"
                      "</variable>";
    for (int i = 0; i < kNames; ++i) {
        xml += "<variable name=\"V" + std::to_string(i) + "\"><type><INT/></type></variable>";
    }
    return xml + "</globalVars></configuration></configurations></instances></project>";
}

// The program opened over the given memory (the memory image by default).
std::shared_ptr<Program> Open(const ProgramOptions& options = {}) {
    const auto path = std::filesystem::temp_directory_path() / "varbank-values-bench.xml";
    std::ofstream(path) << ProgramText();
    Diagnostics diagnostics(path.string());
    return Program::Open(path.string(), options, diagnostics);
}

std::vector<std::string> Names(const std::string& prefix, const std::string& suffix) {
    std::vector<std::string> names;
    for (int i = 0; i < kNames; ++i) {
        names.push_back(prefix + std::to_string(i) + suffix);
    }
    return names;
}

void ReadSingles(benchmark::State& state, ValueAccess& access,
                 const std::vector<std::string>& names) {
    std::size_t i = 0;
    for (auto _ : state) {
        const ValueResult result = access.Read(names[i++ % names.size()]);
        if (!result.Ok()) {
            state.SkipWithError(result.Message().c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void ReadBatches(benchmark::State& state, ValueAccess& access,
                 const std::vector<std::string>& names) {
    std::size_t start = 0;
    for (auto _ : state) {
        const std::vector<std::string> batch(names.begin() + static_cast<std::ptrdiff_t>(start),
                                             names.begin() + static_cast<std::ptrdiff_t>(start) +
                                                 100);
        start = (start + 100) % names.size();
        benchmark::DoNotOptimize(access.ReadMany(batch));
    }
    state.SetItemsProcessed(state.iterations() * 100);
}

void BM_ValuesImageSingle(benchmark::State& state) {
    const std::shared_ptr<Program> program = Open();
    ReadSingles(state, program->Values(), Names("V", ""));
}
BENCHMARK(BM_ValuesImageSingle);

void BM_ValuesImageBatch100(benchmark::State& state) {
    const std::shared_ptr<Program> program = Open();
    ReadBatches(state, program->Values(), Names("V", ""));
}
BENCHMARK(BM_ValuesImageBatch100);

// The program over the PLC that the local server stands for.
ProgramOptions LocalOptions(const LocalModbusServer& server) {
    ProgramOptions options;
    options.memory.kind = MemoryKind::Modbus;
    options.memory.modbus.target = {"127.0.0.1", server.Port(), 1};
    return options;
}

void BM_ValuesModbusSingle(benchmark::State& state) {
    const LocalModbusServer server;
    const std::shared_ptr<Program> program = Open(LocalOptions(server));
    ReadSingles(state, program->Values(), Names("Words[", "]"));
}
BENCHMARK(BM_ValuesModbusSingle);

void BM_ValuesModbusBatch100(benchmark::State& state) {
    const LocalModbusServer server;
    const std::shared_ptr<Program> program = Open(LocalOptions(server));
    ReadBatches(state, program->Values(), Names("Words[", "]"));
}
BENCHMARK(BM_ValuesModbusBatch100);

} // namespace
