// Benchmarks of the library where its hosts spend their time: resolution, browsing, filling,
// dumping and clean-up, over generated dictionaries of 1,000 to 1,000,000 variables.
#include "DictionaryGenerator.h"
#include "HeapCounter.h"

#include <Varbank.h>
#include <VarbankClient.h>
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// One generated dictionary per size, built once and shared by the benchmarks.
CVarbank& Dictionary(std::size_t variables) {
    static std::map<std::size_t, std::unique_ptr<CVarbank>> dictionaries;
    static CAppParameters params = generated::Parameters();
    static std::mutex mutex;
    std::lock_guard<std::mutex> guard(mutex);
    auto& slot = dictionaries[variables];
    if (!slot) {
        slot = std::make_unique<CVarbank>("BENCH", std::filesystem::temp_directory_path().string(),
                                          &params);
        generated::Fill(*slot, variables);
        slot->Initialize(0, nullptr, 0, std::filesystem::temp_directory_path().string(), 0);
    }
    return *slot;
}

// Names of one kind, spread over the whole dictionary.
enum class NameKind { Plain, Bit, Path, Unknown };

std::vector<std::string> Names(std::size_t variables, NameKind kind) {
    std::vector<std::string> names;
    for (std::size_t i = 0; names.size() < 4096 && i < variables; i += 7) {
        switch (kind) {
        case NameKind::Plain:
            if (i % 10 < 6) {
                names.push_back(generated::NameOf(i));
            }
            break;
        case NameKind::Bit:
            if (i % 10 < 6 && generated::ShapeOf(i).size == 2) {
                names.push_back(generated::NameOf(i) + ".3");
            }
            break;
        case NameKind::Path:
            if (i % 10 == 6) {
                names.push_back(generated::NameOf(i) + ".P.X.A");
            }
            break;
        case NameKind::Unknown:
            names.push_back("NOSUCH" + std::to_string(i));
            break;
        }
    }
    return names;
}

// Nanoseconds per name of the floor (copy, upper-case, one map lookup) by dictionary size.
std::map<std::size_t, double>& FloorNanoseconds() {
    static std::map<std::size_t, double> floors;
    return floors;
}

double NanosecondsPerIteration(std::chrono::steady_clock::time_point start,
                               benchmark::State& state) {
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return std::chrono::duration<double, std::nano>(elapsed).count() /
           static_cast<double>(state.iterations());
}

void BM_Floor(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    CVarbank& dico = Dictionary(size);
    const std::vector<std::string> names = Names(size, NameKind::Plain);
    std::size_t i = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        std::string key = names[i++ % names.size()];
        for (char& c : key) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            }
        }
        benchmark::DoNotOptimize(dico.m_Items.find(key));
    }
    FloorNanoseconds()[size] = NanosecondsPerIteration(start, state);
    state.SetItemsProcessed(state.iterations());
}

void Resolve(benchmark::State& state, NameKind kind, HRESULT expected) {
    const auto size = static_cast<std::size_t>(state.range(0));
    CVarbank& dico = Dictionary(size);
    const std::vector<std::string> names = Names(size, kind);
    std::size_t i = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const varbank::Resolution resolution(dico, names[i++ % names.size()]);
        if (resolution.Status() != expected) {
            state.SkipWithError("unexpected result");
            break;
        }
    }
    const double perName = NanosecondsPerIteration(start, state);
    const auto floor = FloorNanoseconds().find(size);
    // Counters add up over threads: the ratio to the floor means something for one thread only.
    if (state.threads() == 1 && floor != FloorNanoseconds().end() && floor->second > 0) {
        state.counters["x_floor"] = perName / floor->second;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ResolvePlain(benchmark::State& state) {
    Resolve(state, NameKind::Plain, S_OK);
}
void BM_ResolveBit(benchmark::State& state) {
    Resolve(state, NameKind::Bit, S_OK);
}
void BM_ResolvePath3(benchmark::State& state) {
    Resolve(state, NameKind::Path, S_OK);
}
void BM_ResolveUnknown(benchmark::State& state) {
    Resolve(state, NameKind::Unknown, -1);
}

// Resolution and browsing from several host threads at once on one dictionary; the rate is
// that of all threads together.
void BM_ResolvePlainThreads(benchmark::State& state) {
    Resolve(state, NameKind::Plain, S_OK);
}
void BM_ResolvePath3Threads(benchmark::State& state) {
    Resolve(state, NameKind::Path, S_OK);
}

void BM_BrowseNamesRoot(benchmark::State& state) {
    CVarbank& dico = Dictionary(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::vector<std::string> output;
        dico.BrowseNames("", "*", 0, "", 0, 0, 0, 1, 1, 2, "AC", &output, nullptr);
        benchmark::DoNotOptimize(output.data());
    }
}

// Lists the whole root in pages of `page` records (0: one unpaged call).
void BrowseElementsRoot(benchmark::State& state, std::uint32_t page) {
    CVarbank& dico = Dictionary(static_cast<std::size_t>(state.range(0)));
    varbank::BrowseRequest request;
    request.position = u"BENCH";
    request.maximum = page;
    std::size_t listed = 0;
    for (auto _ : state) {
        listed = 0;
        varbank::BrowsePager pager(dico, request);
        for (varbank::BrowsePage records; pager.Next(records);) {
            listed += records.Count();
        }
    }
    state.counters["records"] = static_cast<double>(listed);
}

void BM_BrowseElementsRootUnpaged(benchmark::State& state) {
    BrowseElementsRoot(state, 0);
}
void BM_BrowseElementsRootPages100(benchmark::State& state) {
    BrowseElementsRoot(state, 100);
}
// A paged walk of the root counted in pages, so that threads add up to a rate.
void BM_BrowseRootPages100Threads(benchmark::State& state) {
    BrowseElementsRoot(state, 100);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(state.range(0) / 100));
}
void BM_BrowseNamesStructureThreads(benchmark::State& state) {
    CVarbank& dico = Dictionary(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::vector<std::string> output;
        dico.BrowseNames("", "*", 0, "V0000006.P", 0, 0, 0, 1, 1, 2, "AC", &output, nullptr);
        if (output.size() != 2) {
            state.SkipWithError("wrong listing");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

// Work per second of `threads` threads running `work` together for a short burst.
template <class Work> double Burst(int threads, const Work& work) {
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> done{0};
    std::vector<std::thread> workers;
    const auto start = std::chrono::steady_clock::now();
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            std::uint64_t count = 0;
            for (std::size_t n = static_cast<std::size_t>(t) * 997; !stop; ++n, ++count) {
                work(n);
            }
            done += count;
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
    stop = true;
    for (std::thread& worker : workers) {
        worker.join();
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return static_cast<double>(done) / elapsed.count();
}

// How the throughput of 2 and 4 threads compares with 1 thread's, measured in alternating
// bursts so that a shared machine's drift touches every thread count alike. Counters: the rate
// of one thread, and the ratios of 2 and 4 threads to it.
template <class Work> void Scaling(benchmark::State& state, const Work& work) {
    double rates[3] = {};
    for (auto _ : state) {
        for (int round = 0; round < 8; ++round) {
            rates[0] += Burst(1, work);
            rates[1] += Burst(2, work);
            rates[2] += Burst(4, work);
        }
    }
    state.counters["one_thread_per_s"] = rates[0] / (8.0 * static_cast<double>(state.iterations()));
    state.counters["x2_threads"] = rates[1] / rates[0];
    state.counters["x4_threads"] = rates[2] / rates[0];
}

void ResolveScaling(benchmark::State& state, NameKind kind) {
    CVarbank& dico = Dictionary(100000);
    const std::vector<std::string> names = Names(100000, kind);
    Scaling(state, [&](std::size_t n) {
        benchmark::DoNotOptimize(varbank::Resolution(dico, names[n % names.size()]).Status());
    });
}
// The floor (copy, upper-case, one map lookup, no lock): what the machine itself allows.
void BM_ScalingFloor(benchmark::State& state) {
    CVarbank& dico = Dictionary(100000);
    const std::vector<std::string> names = Names(100000, NameKind::Plain);
    Scaling(state, [&](std::size_t n) {
        std::string key = names[n % names.size()];
        for (char& c : key) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            }
        }
        benchmark::DoNotOptimize(dico.m_Items.find(key));
    });
}
void BM_ScalingResolvePlain(benchmark::State& state) {
    ResolveScaling(state, NameKind::Plain);
}
void BM_ScalingResolvePath3(benchmark::State& state) {
    ResolveScaling(state, NameKind::Path);
}
// One page of 100 root records, each from another place of the root.
void BM_ScalingRootPage100(benchmark::State& state) {
    CVarbank& dico = Dictionary(100000);
    Scaling(state, [&](std::size_t n) {
        varbank::BrowseRequest request;
        request.position = u"BENCH";
        request.maximum = 100;
        const varbank::BrowsePage page(dico, request,
                                       Utf8ToUtf16(generated::NameOf((n * 7919) % 99000)));
        benchmark::DoNotOptimize(page.Count());
    });
}
void BM_ScalingBrowseNamesStructure(benchmark::State& state) {
    CVarbank& dico = Dictionary(100000);
    Scaling(state, [&](std::size_t) {
        std::vector<std::string> output;
        dico.BrowseNames("", "*", 0, "V0000006.P", 0, 0, 0, 1, 1, 2, "AC", &output, nullptr);
        benchmark::DoNotOptimize(output.data());
    });
}

// Listing of an array of 10,000 structures.
void BM_BrowseArrayOfStructures(benchmark::State& state) {
    CAppParameters params = generated::Parameters();
    CVarbank dico("ARRAYS", "/tmp", &params);
    generated::AddTypes(dico);
    generated::Variable(dico, "BIG", "ARRAY[0..9999] OF G_L1", 3, 0, 140000);
    dico.FinalyzeListOfType();
    for (auto _ : state) {
        std::vector<std::string> output;
        dico.BrowseNames("", "*", 0, "BIG", 0, 0, 0, 1, 1, 1, "A", &output, nullptr);
        if (output.size() != 10000) {
            state.SkipWithError("wrong listing");
        }
    }
}

// A dictionary of two large derived variables: ARR, an array of 1,000,000 INT, and ST, a
// structure of 100,000 INT members; built once.
CVarbank& LargeDerivedTypes() {
    static CAppParameters params = generated::Parameters();
    static const std::unique_ptr<CVarbank> dico = [] {
        auto made = std::make_unique<CVarbank>("LARGE", "/tmp", &params);
        auto* type = new CSymbXMLDDTStructDef();
        type->m_Name = "WIDE";
        for (std::uint32_t i = 0; i < 100000; ++i) {
            type->AddMember(generated::Member(("M" + std::to_string(i)).c_str(), "INT", 2 * i, 2));
        }
        made->m_Types.AddType(type);
        generated::Variable(*made, "ARR", "ARRAY[0..999999] OF INT", 3, 0, 2000000);
        generated::Variable(*made, "ST", "WIDE", 4, 0, 200000);
        made->FinalyzeListOfType();
        return made;
    }();
    return *dico;
}

// Walks every child of `path` in pages of `page` records (0: one unpaged call).
void BrowseLargeType(benchmark::State& state, const char* path, std::uint32_t page,
                     std::size_t children) {
    CVarbank& dico = LargeDerivedTypes();
    varbank::BrowseRequest request;
    request.path = path;
    request.position = u"LARGE";
    request.maximum = page;
    for (auto _ : state) {
        std::size_t listed = 0;
        varbank::BrowsePager pager(dico, request);
        for (varbank::BrowsePage records; pager.Next(records);) {
            listed += records.Count();
        }
        if (listed != children) {
            state.SkipWithError("wrong listing");
        }
    }
}

void BM_BrowseArrayUnpaged(benchmark::State& state) {
    BrowseLargeType(state, "ARR", 0, 1000000);
}
void BM_BrowseArrayPages100(benchmark::State& state) {
    BrowseLargeType(state, "ARR", 100, 1000000);
}
void BM_BrowseStructureUnpaged(benchmark::State& state) {
    BrowseLargeType(state, "ST", 0, 100000);
}
void BM_BrowseStructurePages1000(benchmark::State& state) {
    BrowseLargeType(state, "ST", 1000, 100000);
}

void BM_FillAndFinalyze(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    CAppParameters params = generated::Parameters();
    for (auto _ : state) {
        CVarbank dico("FILL", "/tmp", &params);
        generated::Fill(dico, size);
        state.PauseTiming();
        dico.CleanCMaps();
        state.ResumeTiming();
    }
}

void BM_SaveBinaryForm(benchmark::State& state) {
    CVarbank& dico = Dictionary(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        if (!dico.SaveBinaryForm()) {
            state.SkipWithError("dump failed");
        }
    }
    std::filesystem::remove(std::filesystem::temp_directory_path() / "BENCH.kvxav");
}

void BM_CleanCMaps(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    CAppParameters params = generated::Parameters();
    for (auto _ : state) {
        state.PauseTiming();
        CVarbank dico("CLEAN", "/tmp", &params);
        generated::Fill(dico, size);
        state.ResumeTiming();
        dico.CleanCMaps();
    }
}

// Heap bytes per plain variable: a dictionary of plain elementary variables with names of up
// to 15 characters, measured as live heap before and after filling.
void BM_HeapPerPlainVariable(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    CAppParameters params = generated::Parameters();
    double perVariable = 0;
    for (auto _ : state) {
        CVarbank dico("HEAP", "/tmp", &params);
        CountHeap(true);
        const std::int64_t before = LiveHeapBytes();
        for (std::size_t i = 0; i < size; ++i) {
            auto* item = new CSymbXMLItemDef();
            item->m_Name = "PLAIN_" + std::to_string(1000000000 + i).substr(1); // 15 chars
            item->SetType(generated::kElementaryTypes[i % 11], dico.m_Types);
            item->m_Block = 3;
            item->m_Offset = static_cast<std::uint32_t>(4 * i);
            item->m_Size = 4;
            dico.AddItem(item);
        }
        perVariable = static_cast<double>(LiveHeapBytes() - before) / static_cast<double>(size);
        CountHeap(false);
    }
    state.counters["bytes_per_variable"] = perVariable;
}

constexpr std::int64_t kSizes[] = {1000, 100000, 1000000};

void AllSizes(benchmark::internal::Benchmark* b) {
    for (std::int64_t size : kSizes) {
        b->Arg(size);
    }
}

} // namespace

BENCHMARK(BM_Floor)->Apply(AllSizes);
BENCHMARK(BM_ResolvePlain)->Apply(AllSizes);
BENCHMARK(BM_ResolveBit)->Apply(AllSizes);
BENCHMARK(BM_ResolvePath3)->Apply(AllSizes);
BENCHMARK(BM_ResolveUnknown)->Apply(AllSizes);
BENCHMARK(BM_ResolvePlainThreads)->Arg(100000)->ThreadRange(1, 4)->UseRealTime();
BENCHMARK(BM_ResolvePath3Threads)->Arg(100000)->ThreadRange(1, 4)->UseRealTime();
BENCHMARK(BM_BrowseNamesRoot)->Apply(AllSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrowseElementsRootUnpaged)->Apply(AllSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrowseElementsRootPages100)->Apply(AllSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrowseRootPages100Threads)
    ->Arg(100000)
    ->ThreadRange(1, 4)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrowseNamesStructureThreads)->Arg(100000)->ThreadRange(1, 4)->UseRealTime();
BENCHMARK(BM_ScalingFloor)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScalingResolvePlain)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScalingResolvePath3)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScalingRootPage100)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScalingBrowseNamesStructure)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrowseArrayOfStructures)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrowseArrayUnpaged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrowseArrayPages100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrowseStructureUnpaged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrowseStructurePages1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillAndFinalyze)->Apply(AllSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveBinaryForm)->Apply(AllSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CleanCMaps)->Apply(AllSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeapPerPlainVariable)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
