// A PLC that stops answering, answers a byte at a time, or is written by many clients while its
// program is reloaded: a request's time is bounded as a whole, a PLC that timed out is left
// alone for its back-off period, and the connection with its bit-write exchanges belongs to
// the PLC, not to a version of a program.
#include "values/PlcEndpoint.h"
#include "HostTestSupport.h"
#include "LocalModbusServer.h"
#include "core/Program.h"
#include "core/ValueAccess.h"
#include "service/ProgramRegistry.h"
#include "values/WorkQueue.h"

#include <gtest/gtest.h>

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

std::shared_ptr<PlcEndpoint> Endpoint(std::uint16_t port,
                                      milliseconds backoff = milliseconds(400)) {
    PlcEndpoint::Options options;
    options.target = {"127.0.0.1", port, 1};
    options.timeout = kTimeout;
    options.backoff = backoff;
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
