// A PLC that stops answering, answers a byte at a time, or is written by many clients while its
// program is reloaded: a request's time is bounded as a whole, a PLC that timed out is left
// alone for its back-off period, and the connection with its bit-write exchanges belongs to
// the PLC, not to a version of a program.
#include "values/PlcEndpoint.h"
#include "HostTestSupport.h"
#include "LocalModbusServer.h"
#include "core/Program.h"
#include "core/ValueAccess.h"
#include "service/PlcStateLog.h"
#include "service/ProgramRegistry.h"
#include "service/ServiceLog.h"
#include "values/WorkQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <sstream>
#include <thread>

namespace {

using hosttest::Var;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kTimeout{300};

std::string ScatteredProgram() {
    return hosttest::Project(
        "", "",
        Var("Speed", "<INT/>", "%MW10") + Var("Far", "<INT/>", "%MW5000") +
            Var("Farther", "<INT/>", "%MW9000") + Var("Valve", "<WORD/>", "%QW2") +
            Var("Sensor", "<INT/>", "%IW3") + Var("In", "<BOOL/>", "%IX1.2") +
            Var("Out", "<BOOL/>", "%QX0.5") + Var("Total", "<LREAL/>", "%ML3") +
            Var("Mark", "<BOOL/>", "%MW300.4") + Var("Coil", "<BOOL/>", "%QX900.1") +
            Var("Last", "<WORD/>", "%QW65535") + Var("Flags", "<WORD/>", "%MW20"));
}

std::shared_ptr<PlcEndpoint> Endpoint(std::uint16_t port, milliseconds backoff = milliseconds(400),
                                      unsigned retries = 0,
                                      milliseconds minInterval = milliseconds(0)) {
    PlcEndpoint::Options options;
    options.target = {"127.0.0.1", port, 1};
    options.timeout = kTimeout;
    options.backoff = backoff;
    options.retries = retries;
    options.minInterval = minInterval;
    return std::make_shared<PlcEndpoint>(options);
}

std::shared_ptr<Program> Open(const std::string& path, const std::shared_ptr<PlcEndpoint>& plc) {
    Diagnostics diagnostics(path);
    ProgramOptions options;
    options.memory.kind = MemoryKind::Modbus;
    options.memory.modbus.endpoint = plc;
    auto program = Program::Open(path, options, diagnostics);
    EXPECT_TRUE(program) << path;
    return program;
}

milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

const std::vector<std::string> kScattered = {"Speed", "Far",   "Farther", "Valve", "Sensor", "In",
                                             "Out",   "Total", "Mark",    "Coil",  "Last"};

struct StallCase {
    LocalModbusServer::Mode mode;
    const char* name;
};

// Eleven names in eleven groups cost one timeout, not eleven (a silent PLC), and no more than
// it (a PLC that trickles its answer); then the PLC is left alone until the back-off ends.
TEST(PlcEndpoint, BoundsAWholeReadAndBacksOffAfterATimeout) {
    const std::string path = hosttest::WriteTempFile("scattered.xml", ScatteredProgram());
    for (const StallCase& c : {StallCase{LocalModbusServer::Mode::Silent, "silent"},
                               StallCase{LocalModbusServer::Mode::Trickle, "trickling"}}) {
        SCOPED_TRACE(c.name);
        LocalModbusServer server(c.mode);
        const auto program = Open(path, Endpoint(server.Port()));
        ASSERT_TRUE(program);
        auto start = Clock::now();
        const std::vector<ValueResult> first = program->Values().ReadMany(kScattered);
        EXPECT_LT(Since(start), 3 * kTimeout);
        // The group asked first timed out; the others were not asked.
        int timedOut = 0;
        for (const ValueResult& result : first) {
            EXPECT_FALSE(result.Ok()) << result.name;
            timedOut += result.reason.find("timed out") != std::string::npos ? 1 : 0;
        }
        EXPECT_EQ(timedOut, 1);
        const int asked = server.Requests();
        start = Clock::now();
        const ValueResult again = program->Values().Read("Speed");
        EXPECT_LT(Since(start), kTimeout);
        EXPECT_NE(again.reason.find("the PLC is not answering"), std::string::npos) << again.reason;
        EXPECT_EQ(server.Requests(), asked) << "asked the PLC during its back-off";
    }
}

// After the back-off, one request probes the PLC; when it answers, every request goes through.
TEST(PlcEndpoint, ProbesAfterTheBackoffAndRecovers) {
    LocalModbusServer server(LocalModbusServer::Mode::Silent);
    server.Map().tab_registers[1034] = 7; // %MW10
    const auto program = Open(hosttest::WriteTempFile("scattered.xml", ScatteredProgram()),
                              Endpoint(server.Port(), milliseconds(200)));
    ASSERT_TRUE(program);
    EXPECT_FALSE(program->Values().Read("Speed").Ok());
    EXPECT_FALSE(program->Plc()->Answering());
    server.SetMode(LocalModbusServer::Mode::Answer);
    EXPECT_FALSE(program->Values().Read("Speed").Ok()); // still backing off
    std::this_thread::sleep_for(milliseconds(250));
    const ValueResult probed = program->Values().Read("Speed");
    ASSERT_TRUE(probed.Ok()) << probed.reason;
    EXPECT_EQ(probed.value->AsSigned(), 7);
    EXPECT_TRUE(program->Plc()->Answering());
}

// A request whose answer never came (the connection closed) is sent again as often as the
// endpoint's retries allow; without retries the read fails, and either way the health counts
// each request and each failure.
TEST(PlcEndpoint, RetriesRecoverFromADroppedAnswer) {
    const std::string path = hosttest::WriteTempFile("scattered.xml", ScatteredProgram());
    struct Case {
        unsigned retries;
        int dropped;
        bool ok;
        std::uint64_t requests;
        std::uint64_t errors;
    };
    for (const Case& c : {Case{0, 1, false, 1, 1}, Case{1, 1, true, 2, 1}, Case{3, 2, true, 3, 2},
                          Case{1, 2, false, 2, 2}}) {
        SCOPED_TRACE(testing::Message() << c.retries << " retries, " << c.dropped << " dropped");
        LocalModbusServer server;
        server.Map().tab_registers[1034] = 7; // %MW10
        const auto plc = Endpoint(server.Port(), milliseconds(400), c.retries);
        const auto program = Open(path, plc);
        ASSERT_TRUE(program);
        server.DropAnswers(c.dropped);
        const ValueResult read = program->Values().Read("Speed");
        EXPECT_EQ(read.Ok(), c.ok) << read.reason;
        if (c.ok) {
            EXPECT_EQ(read.value->AsSigned(), 7);
        }
        const PlcHealth::Snapshot health = plc->Health();
        EXPECT_EQ(health.requests, c.requests);
        EXPECT_EQ(health.errors, c.errors);
        EXPECT_EQ(health.state, c.ok ? PlcHealth::State::Connected : PlcHealth::State::Failing);
        EXPECT_EQ(server.Requests(), static_cast<int>(c.requests));
    }
}

// Requests to a PLC with a minimum interval are at least that far apart, and each is sent.
TEST(PlcEndpoint, KeepsRequestsTheMinimumIntervalApart) {
    LocalModbusServer server;
    const auto program = Open(hosttest::WriteTempFile("scattered.xml", ScatteredProgram()),
                              Endpoint(server.Port(), milliseconds(400), 0, milliseconds(40)));
    ASSERT_TRUE(program);
    const auto start = Clock::now();
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(program->Values().Read("Speed").Ok());
    }
    EXPECT_GE(Since(start), milliseconds(4 * 40));
    EXPECT_EQ(server.Requests(), 5);
}

// Idle before the first request, connected while the PLC answers, failing from the first
// request it does not answer (with the reason and its time), connected again once it answers.
TEST(PlcEndpoint, HealthFollowsThePlcState) {
    LocalModbusServer server;
    const auto plc = Endpoint(server.Port());
    const auto program = Open(hosttest::WriteTempFile("scattered.xml", ScatteredProgram()), plc);
    ASSERT_TRUE(program);
    EXPECT_EQ(plc->Health().state, PlcHealth::State::Idle);
    EXPECT_FALSE(plc->Health().lastSuccessTime);

    ASSERT_TRUE(program->Values().Read("Speed").Ok());
    PlcHealth::Snapshot health = plc->Health();
    EXPECT_EQ(health.state, PlcHealth::State::Connected);
    EXPECT_TRUE(health.lastSuccessTime);
    EXPECT_TRUE(health.lastError.empty());
    EXPECT_TRUE(health.p50Ms.has_value());

    server.DropAnswers(1);
    EXPECT_FALSE(program->Values().Read("Speed").Ok());
    health = plc->Health();
    EXPECT_EQ(health.state, PlcHealth::State::Failing);
    EXPECT_NE(health.lastError.find("reading"), std::string::npos) << health.lastError;
    ASSERT_TRUE(health.lastErrorTime);
    EXPECT_GE(*health.lastErrorTime, *health.lastSuccessTime);

    ASSERT_TRUE(program->Values().Read("Speed").Ok());
    health = plc->Health();
    EXPECT_EQ(health.state, PlcHealth::State::Connected);
    EXPECT_EQ(health.requests, 3U);
    EXPECT_EQ(health.errors, 1U);
    EXPECT_FALSE(health.lastError.empty()); // kept until the next failure
}

// The percentiles are over the last minute only; the latency histogram keeps every request.
TEST(PlcHealth, PercentilesCoverTheLastMinute) {
    PlcHealth health;
    const auto start = PlcHealth::Clock::now();
    for (int i = 0; i < 98; ++i) {
        health.Succeeded(milliseconds(1), start + milliseconds(10 * i));
    }
    health.Succeeded(milliseconds(200), start + milliseconds(990));
    health.Failed("cut", milliseconds(200), false, start + milliseconds(995));

    struct Case {
        milliseconds after;
        std::optional<double> p50;
        std::optional<double> p99;
        PlcHealth::State state;
    };
    for (const Case& c :
         {Case{milliseconds(1000), 1.0, 200.0, PlcHealth::State::Failing},
          Case{milliseconds(59000), 1.0, 200.0, PlcHealth::State::Failing},
          Case{milliseconds(61500), std::nullopt, std::nullopt, PlcHealth::State::Failing}}) {
        SCOPED_TRACE(c.after.count());
        const PlcHealth::Snapshot read = health.Read(false, start + c.after);
        ASSERT_EQ(read.p50Ms.has_value(), c.p50.has_value());
        if (c.p50) {
            // Within a bucket's width (a fourth of an octave) above the time recorded.
            EXPECT_GE(*read.p50Ms, *c.p50);
            EXPECT_LE(*read.p50Ms, *c.p50 * 1.2);
            EXPECT_GE(*read.p99Ms, *c.p99);
            EXPECT_LE(*read.p99Ms, *c.p99 * 1.2);
        }
        EXPECT_EQ(read.state, c.state);
        EXPECT_EQ(read.requests, 100U);
        EXPECT_EQ(read.errors, 1U);
        EXPECT_EQ(read.latency.count, 100U);
        EXPECT_EQ(read.latency.atOrBelow[0], 98U); // 1 ms
    }
    // A success clears the failing state; a minute without requests makes the PLC idle.
    health.Succeeded(milliseconds(1), start + milliseconds(2000));
    EXPECT_EQ(health.Read(false, start + milliseconds(2001)).state, PlcHealth::State::Connected);
    EXPECT_EQ(health.Read(true, start + milliseconds(2001)).state, PlcHealth::State::Failing);
    EXPECT_EQ(health.Read(false, start + milliseconds(63000)).state, PlcHealth::State::Idle);
}

// Sixteen writers each toggle their own bit of one register while the program is reloaded
// over and over: every version writes through the PLC's one endpoint, so no write is lost.
TEST(PlcEndpoint, KeepsEveryBitWriteAcrossReloads) {
    LocalModbusServer server;
    const std::string program = ScatteredProgram();
    const std::string path = hosttest::WriteTempFile("reloaded.xml", program);
    ProgramOptions settings;
    settings.memory.kind = MemoryKind::Modbus;
    settings.memory.modbus.target = {"127.0.0.1", server.Port(), 1};
    settings.memory.modbus.timeout = milliseconds(2000);
    ProgramRegistry registry(settings);
    std::string reason;
    ASSERT_TRUE(registry.Add(path, reason)) << reason;
    std::ostringstream log;
    registry.RefreshAll(log);
    ServedProgram& served = *registry.Programs().front();

    std::atomic<bool> done{false};
    std::atomic<int> lost{0};
    std::atomic<int> reloads{0};
    std::thread reloader([&] {
        for (int i = 0; !done && i < 200; ++i) {
            // A different size each time, so the file reads as changed.
            hosttest::WriteTempFile("reloaded.xml", program + std::string(i % 7 + 1, '\n'));
            reloads += served.Refresh(log) ? 1 : 0;
            std::this_thread::sleep_for(milliseconds(5));
        }
    });
    std::vector<std::thread> writers;
    for (int bit = 0; bit < 16; ++bit) {
        writers.emplace_back([&, bit] {
            const std::string name = "Flags." + std::to_string(bit);
            for (int i = 0; i < 60; ++i) {
                const bool value = i % 2 == 0; // the last one, i = 59, writes false
                const auto current = served.Current();
                if (!current->Values().Write({{name, Value(value)}}).Complete()) {
                    ++lost;
                    continue;
                }
                const ValueResult back = served.Current()->Values().Read(name);
                lost += back.Ok() && back.value->AsBool() == value ? 0 : 1;
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    done = true;
    reloader.join();
    EXPECT_GT(reloads.load(), 1);
    EXPECT_EQ(lost.load(), 0);
    EXPECT_EQ(server.Map().tab_registers[1044], 0); // %MW20: every bit's last write was false
}

// The service logs a PLC's state once per change, with the reason when it fails, however many
// requests ran between two looks; an idle PLC at the first look is no news.
TEST(PlcStateLog, LogsEachChangeOnce) {
    LocalModbusServer server;
    ProgramOptions settings;
    settings.memory.kind = MemoryKind::Modbus;
    settings.memory.modbus.endpoint = Endpoint(server.Port());
    ProgramRegistry registry(settings);
    std::string reason;
    ASSERT_TRUE(registry.Add(hosttest::WriteTempFile("logged.xml", ScatteredProgram()), reason))
        << reason;
    std::ostringstream imports;
    registry.RefreshAll(imports);
    const auto program = registry.Programs().front()->Current();
    ASSERT_TRUE(program);

    std::ostringstream out;
    ServiceLog log(out);
    PlcStateLog states;
    const auto look = [&] {
        out.str("");
        states.Check(registry, log);
        return out.str();
    };
    EXPECT_EQ(look(), "");
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(program->Values().Read("Speed").Ok());
    }
    EXPECT_NE(look().find("): connected\n"), std::string::npos);
    EXPECT_EQ(look(), "");
    server.DropAnswers(3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(program->Values().Read("Speed").Ok());
    }
    const std::string failing = look();
    EXPECT_NE(failing.find("): failing: "), std::string::npos) << failing;
    EXPECT_EQ(std::count(failing.begin(), failing.end(), '\n'), 1) << failing;
    EXPECT_EQ(look(), "");
    ASSERT_TRUE(program->Values().Read("Speed").Ok());
    EXPECT_NE(look().find("): connected"), std::string::npos);
}

// The queue runs jobs in order on one worker, refuses past its capacity, and a job knows when
// it was queued.
TEST(WorkQueue, RunsInOrderAndRefusesPastItsCapacity) {
    WorkQueue queue(2);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> started;
    std::vector<int> order;
    std::mutex mutex;
    ASSERT_TRUE(queue.Submit([&] {
        started.set_value();
        released.wait();
        EXPECT_TRUE(WorkQueue::CurrentJobSubmitted().has_value());
    }));
    started.get_future().wait();
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(queue.Submit([&, i] {
            const std::lock_guard lock(mutex);
            order.push_back(i);
        }));
    }
    EXPECT_FALSE(queue.Submit([] {}));
    EXPECT_EQ(queue.Waiting(), 2U);
    EXPECT_FALSE(WorkQueue::CurrentJobSubmitted().has_value());
    release.set_value();
    queue.Stop();
    EXPECT_EQ(order, (std::vector<int>{0, 1}));
}

} // namespace
