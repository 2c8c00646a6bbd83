// One sampler tick on the memory image: 10,000 INT items, each subscribed by 1 or 16
// subscribers at one interval, 10% of them changed before each tick. Items per second is
// items sampled (read once) per second; changes queued per second is counted apart.
#include "core/Program.h"
#include "core/Sampler.h"
#include "import/Diagnostics.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

constexpr int kItems = 10000;

std::shared_ptr<const Program> OpenItems() {
    std::string xml = "<?xml version=\"1.0\"?><project xmlns=\"http://www.plcopen.org/xml/"
                      "tc6_0201\"><contentHeader name=\"bench\"/><types><dataTypes/><pous/>"
                      "</types><instances><configurations><configuration name=\"C\"><globalVars>";
    for (int i = 0; i < kItems; ++i) {
        xml += "<variable name=\"V" + std::to_string(i) + "\"><type><INT/></type></variable>";
    }
    xml += "</globalVars></configuration></configurations></instances></project>";
    const auto path = std::filesystem::temp_directory_path() / "varbank-sampler-bench.xml";
    std::ofstream(path) << xml;
    Diagnostics diagnostics(path.string());
    return Program::Open(path.string(), {}, diagnostics);
}

void BM_SamplerTick(benchmark::State& state) {
    static const std::shared_ptr<const Program> program = OpenItems();
    Sampler::Settings settings;
    settings.ownThread = false;
    auto sampler = Sampler::Create([] { return program; }, settings);
    std::vector<std::string> names;
    for (int i = 0; i < kItems; ++i) {
        names.push_back("V" + std::to_string(i));
    }
    std::vector<std::shared_ptr<Subscription>> subscribers;
    for (int i = 0; i < state.range(0); ++i) {
        subscribers.push_back(sampler->Open(nullptr));
        subscribers.back()->Subscribe({names, std::chrono::milliseconds(100), 0});
    }
    // The first tick sends every item's value; the loop measures the ticks after it.
    auto now = Sampler::Clock::now();
    sampler->SampleDue(now);
    for (const auto& subscriber : subscribers) {
        subscriber->Take();
    }
    std::int64_t tick = 0;
    std::size_t changes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ++tick;
        std::vector<std::pair<std::string, Value>> writes;
        for (int i = 0; i < kItems / 10; ++i) {
            writes.emplace_back(names[(tick * (kItems / 10) + i) % kItems], Value(tick % 30000));
        }
        program->Values().Write(writes);
        state.ResumeTiming();
        now += std::chrono::milliseconds(100);
        sampler->SampleDue(now);
        for (const auto& subscriber : subscribers) {
            changes += subscriber->Take().changes.size();
        }
    }
    state.SetItemsProcessed(state.iterations() * kItems);
    state.counters["changes"] =
        benchmark::Counter(static_cast<double>(changes), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SamplerTick)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);

} // namespace
