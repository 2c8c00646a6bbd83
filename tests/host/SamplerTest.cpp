#include "HostTestSupport.h"

#include "LocalModbusServer.h"
#include "core/ChangeStream.h"
#include "core/Sampler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace hosttest;
using namespace std::chrono_literals;

std::shared_ptr<const Program> OpenProgram(const std::string& name, const std::string& globals) {
    const std::string xml =
        Project(Struct("Pair", Var("X", "<INT/>") + Var("Y", "<BOOL/>")), "", globals);
    Diagnostics report;
    auto program = Program::Open(WriteTempFile(name, xml), {}, report);
    EXPECT_TRUE(program) << report.Entries().front().message;
    return program;
}

const std::string kGlobals = Var("A", "<INT/>", "", "5") + Var("R", "<REAL/>") +
                             Var("S", "<derived name=\"Pair\"/>") + Var("T", "<string/>") +
                             Var("W", "<WORD/>", "%MW0") + Var("B0", "<BOOL/>", "%MW0.0") +
                             Var("B1", "<BOOL/>", "%MW0.1");

// A sampler over a program the test swaps at will, ticked by hand on a clock of its own.
struct Rig {
    std::shared_ptr<const Program> program = OpenProgram("sampled.xml", kGlobals);
    std::shared_ptr<const Program> served = program;
    std::shared_ptr<Sampler> sampler;
    Sampler::Clock::time_point now = Sampler::Clock::now() + 1h;

    Rig() {
        Sampler::Settings settings;
        settings.ownThread = false;
        sampler = Sampler::Create([this] { return served; }, settings);
    }
    void Write(const std::string& name, Value value) {
        ASSERT_TRUE(program->Values().Write({{name, std::move(value)}}).Complete()) << name;
    }
    void Tick(std::chrono::milliseconds step = 1000ms) {
        now += step;
        sampler->SampleDue(now);
    }
};

// name -> value text ("error: reason" for an error), as a subscriber takes them.
std::map<std::string, std::string> Taken(Subscription& subscription,
                                         std::size_t* merged = nullptr) {
    std::map<std::string, std::string> seen;
    ChangeBatch batch = subscription.Take();
    for (const SampledChange& change : batch.changes) {
        const ValueResult& r = change.result;
        std::string text = "error: " + r.reason;
        if (r.Ok() && r.value) {
            const Value& v = *r.value;
            text = v.IsBool()   ? (v.AsBool() ? "true" : "false")
                   : v.IsText() ? v.AsText()
                                : std::to_string(v.AsDouble());
        }
        seen[r.name] = text;
    }
    if (merged != nullptr) {
        *merged = batch.merged;
    }
    return seen;
}

struct RuleCase {
    const char* what;
    std::vector<std::string> names;
    double deadband;
    std::function<void(Rig&)> act; // between the first sample and the second
    std::map<std::string, std::string> second;
};

// The first sample gives every leaf; the second only what moved by more than the deadband.
TEST(Sampler, SendsFirstEverythingThenWhatChanged) {
    const RuleCase cases[] = {
        {"no change", {"A", "R"}, 0, [](Rig&) {}, {}},
        {"a change",
         {"A", "R"},
         0,
         [](Rig& r) { r.Write("A", Value(std::int64_t{6})); },
         {{"A", "6.000000"}}},
        {"inside the deadband", {"R"}, 0.5, [](Rig& r) { r.Write("R", Value(0.5)); }, {}},
        {"past the deadband",
         {"R"},
         0.5,
         [](Rig& r) { r.Write("R", Value(0.75)); },
         {{"R", "0.750000"}}},
        {"a text", {"T"}, 5, [](Rig& r) { r.Write("T", Value(std::string("on"))); }, {{"T", "on"}}},
        {"one bit of a word",
         {"B0", "B1"},
         0,
         [](Rig& r) { r.Write("B1", Value(true)); },
         {{"B1", "true"}}},
        {"a word under its bits",
         {"W", "B0"},
         0,
         [](Rig& r) { r.Write("B0", Value(true)); },
         {{"B0", "true"}, {"W", "1.000000"}}},
        {"a structure by its leaves",
         {"S"},
         0,
         [](Rig& r) { r.Write("S.Y", Value(true)); },
         {{"S.Y", "true"}}},
    };
    for (const RuleCase& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        auto subscription = rig.sampler->Open(nullptr);
        ASSERT_TRUE(subscription->Subscribe({c.names, std::nullopt, c.deadband}).Ok());
        rig.Tick();
        const auto first = Taken(*subscription);
        for (const std::string& name : c.names) {
            if (name == "S") {
                EXPECT_EQ(first.count("S.X") + first.count("S.Y"), 2U);
            } else {
                EXPECT_EQ(first.count(name), 1U) << name;
            }
        }
        c.act(rig);
        rig.Tick();
        EXPECT_EQ(Taken(*subscription), c.second);
    }
}

// Samples that do not move are not compared again, yet a subscriber that joins late gets its
// first value, and one whose deadband changes is compared again at once.
TEST(Sampler, LateSubscribersAndNewDeadbandsAreServedOnStillSamples) {
    Rig rig;
    auto first = rig.sampler->Open(nullptr);
    ASSERT_TRUE(first->Subscribe({{"R"}, std::nullopt, 5}).Ok());
    rig.Tick();
    EXPECT_EQ(Taken(*first).size(), 1U);
    rig.Write("R", Value(1.0));
    rig.Tick();
    rig.Tick();
    EXPECT_TRUE(Taken(*first).empty());

    auto late = rig.sampler->Open(nullptr);
    ASSERT_TRUE(late->Subscribe({{"R"}, std::nullopt, 5}).Ok());
    rig.Tick();
    EXPECT_EQ(Taken(*late), (std::map<std::string, std::string>{{"R", "1.000000"}}));
    EXPECT_TRUE(Taken(*first).empty());

    ASSERT_TRUE(first->Subscribe({{"R"}, std::nullopt, 0}).Ok());
    rig.Tick();
    EXPECT_EQ(Taken(*first), (std::map<std::string, std::string>{{"R", "1.000000"}}));
    EXPECT_TRUE(Taken(*late).empty());
}

// An item that fails sends its error once, then its value again when it recovers; a reload
// keeps the subscription, a vanished name getting its error.
TEST(Sampler, ErrorsAreSentOnceAndReloadsKeepSubscriptions) {
    Rig rig;
    auto subscription = rig.sampler->Open(nullptr);
    ASSERT_TRUE(subscription->Subscribe({{"A", "R"}, std::nullopt, 0}).Ok());
    rig.Tick();
    EXPECT_EQ(Taken(*subscription).size(), 2U);

    rig.served = nullptr; // the file stopped importing, say
    rig.Tick();
    const auto failed = Taken(*subscription);
    ASSERT_EQ(failed.size(), 2U);
    EXPECT_NE(failed.at("A").find("error: the dictionary has no program"), std::string::npos);
    rig.Tick();
    EXPECT_TRUE(Taken(*subscription).empty());

    rig.served = rig.program;
    rig.Tick();
    EXPECT_EQ(Taken(*subscription),
              (std::map<std::string, std::string>{{"A", "5.000000"}, {"R", "0.000000"}}));

    // Reloaded: A is gone, R is still there with the value it had.
    rig.served = OpenProgram("reloaded.xml", Var("R", "<REAL/>"));
    rig.Tick();
    const auto reloaded = Taken(*subscription);
    ASSERT_EQ(reloaded.size(), 1U);
    EXPECT_NE(reloaded.at("A").find("error: "), std::string::npos);
}

// A subscriber that does not take its changes gets the newest value of each leaf and the count
// of those merged away; nothing is lost but intermediate values.
TEST(Sampler, ASlowSubscriberGetsMergedChanges) {
    Rig rig;
    auto slow = rig.sampler->Open(nullptr);
    auto quick = rig.sampler->Open(nullptr);
    ASSERT_TRUE(slow->Subscribe({{"A"}, 10ms, 0}).Ok());
    ASSERT_TRUE(quick->Subscribe({{"A"}, 10ms, 0}).Ok());
    constexpr int kTicks = 200;
    std::size_t quickChanges = 0;
    for (int i = 1; i <= kTicks; ++i) {
        rig.Write("A", Value(std::int64_t{i}));
        rig.Tick(10ms);
        quickChanges += quick->Take().changes.size();
    }
    EXPECT_EQ(quickChanges, static_cast<std::size_t>(kTicks));
    std::size_t merged = 0;
    ChangeBatch batch = slow->Take();
    merged = batch.merged;
    ASSERT_FALSE(batch.changes.empty());
    EXPECT_LE(batch.changes.size(), 64U);
    EXPECT_EQ(batch.changes.size() + merged, static_cast<std::size_t>(kTicks));
    EXPECT_EQ(*batch.changes.back().result.value, Value(std::int64_t{kTicks}));
}

// Intervals outside the allowed range are moved into it, and the answer says so; names that
// break the grammar, a negative deadband and too many values are refused whole.
TEST(Sampler, SubscribeAnswersSayWhatTheyGot) {
    Rig rig;
    auto subscription = rig.sampler->Open(nullptr);
    const std::string huge = Var("Big", "<derived name=\"ARRAY[0..10000] OF INT\"/>");
    rig.served = OpenProgram("big.xml", kGlobals + huge);
    struct Case {
        SubscribeRequest request;
        long long interval; // 0: refused
        const char* text;   // part of the note or the error
    };
    const Case cases[] = {
        {{{"A"}, std::nullopt, 0}, 1000, ""},
        {{{"A"}, 1ms, 0}, 10, "raised to the minimum of 10 ms"},
        {{{"A"}, 2h, 0}, 3600000, "lowered to the maximum of 3600000 ms"},
        {{{"A.."}, std::nullopt, 0}, 0, "not a valid item name"},
        {{{}, std::nullopt, 0}, 0, "name at least one item"},
        {{{"A"}, std::nullopt, -1}, 0, "deadband must be a number of 0 or more"},
        {{{"Big"}, std::nullopt, 0}, 0, "holds at most 10000 values"},
    };
    for (const Case& c : cases) {
        const SubscribeAnswer answer = subscription->Subscribe(c.request);
        EXPECT_EQ(answer.Ok(), c.interval != 0) << c.text << answer.error;
        if (answer.Ok()) {
            EXPECT_EQ(answer.interval.count(), c.interval);
            EXPECT_NE(answer.note.find(c.text), std::string::npos) << answer.note;
        } else {
            EXPECT_NE(answer.error.find(c.text), std::string::npos) << answer.error;
        }
    }
    EXPECT_EQ(subscription->ItemCount(), 1U);
    EXPECT_EQ(subscription->Unsubscribe({"A", "Nope"}), std::vector<std::string>{"A"});
    EXPECT_EQ(subscription->ItemCount(), 0U);
}

// However many subscribe to them, the items due at a tick cost one batched read of the PLC:
// 1,000 neighbouring words take the requests of one read (125 registers each), not one per
// subscriber or per item.
TEST(Sampler, OneBatchedPlcReadServesEverySubscriber) {
    LocalModbusServer plc;
    std::string globals;
    std::vector<std::string> names;
    for (int i = 0; i < 1000; ++i) {
        names.push_back("W" + std::to_string(i));
        globals += Var(names.back(), "<WORD/>", "%QW" + std::to_string(i));
    }
    ProgramOptions options;
    options.memory.kind = MemoryKind::Modbus;
    options.memory.modbus.target = {"127.0.0.1", plc.Port(), 1};
    options.memory.modbus.timeout = std::chrono::milliseconds(2000);
    Diagnostics report;
    std::shared_ptr<const Program> program =
        Program::Open(WriteTempFile("plc.xml", Project("", "", globals)), options, report);
    ASSERT_TRUE(program);
    Sampler::Settings settings = Sampler::For(MemoryKind::Modbus);
    settings.ownThread = false;
    auto sampler = Sampler::Create([&] { return program; }, settings);
    std::vector<std::shared_ptr<Subscription>> subscribers;
    for (int i = 0; i < 16; ++i) {
        subscribers.push_back(sampler->Open(nullptr));
        ASSERT_TRUE(subscribers.back()->Subscribe({names, 100ms, 0}).Ok());
    }
    auto now = Sampler::Clock::now();
    constexpr int kRequestsPerRead = 8; // 1,000 registers, 125 a request
    for (int tick = 0; tick < 3; ++tick) {
        plc.Map().tab_registers[7] = static_cast<std::uint16_t>(tick + 1);
        const int before = plc.Requests();
        now += 100ms;
        sampler->SampleDue(now);
        EXPECT_EQ(plc.Requests() - before, kRequestsPerRead);
        for (const auto& subscriber : subscribers) {
            const ChangeBatch batch = subscriber->Take();
            ASSERT_EQ(batch.changes.size(), tick == 0 ? 1000U : 1U);
            if (tick > 0) {
                EXPECT_EQ(batch.changes.front().result.name, "W7");
            }
        }
    }
}

// The first changes come in the order the names were subscribed, a structure's leaves in its
// order.
TEST(Sampler, ChangesComeInTheOrderSubscribed) {
    Rig rig;
    ChangeStream stream(rig.sampler);
    ASSERT_TRUE(stream.Subscribe({{"T", "S", "A", "R"}, std::nullopt, 0}).Ok());
    rig.Tick();
    const auto names = [&stream](std::size_t count) {
        std::vector<std::string> seen;
        while (seen.size() < count) {
            const auto change = stream.Next(ChangeStream::Clock::now());
            if (!change) {
                break;
            }
            seen.push_back(change->result.name);
        }
        return seen;
    };
    EXPECT_EQ(names(6), (std::vector<std::string>{"T", "S.X", "S.Y", "A", "R"}));
}

// A stream hands out each change once, waits no longer than its deadline, and a close from
// another thread wakes a waiter at once; a closed stream subscribes nothing.
TEST(Sampler, ChangeStreamWaitsAndCloses) {
    Rig rig;
    auto stream = std::make_shared<ChangeStream>(rig.sampler);
    EXPECT_FALSE(stream->Next(ChangeStream::Clock::now() + 20ms));
    ASSERT_TRUE(stream->Subscribe({{"A"}, std::nullopt, 0}).Ok());
    rig.Tick();
    const auto first = stream->Next(ChangeStream::Clock::now() + 1s);
    ASSERT_TRUE(first);
    EXPECT_EQ(*first->result.value, Value(std::int64_t{5}));
    EXPECT_FALSE(stream->Next(ChangeStream::Clock::now()));

    // A change sampled while a thread waits wakes it.
    std::optional<SampledChange> woken;
    std::thread waiter([&] { woken = stream->Next(ChangeStream::Clock::now() + 10s); });
    rig.Write("A", Value(std::int64_t{6}));
    rig.Tick();
    waiter.join();
    ASSERT_TRUE(woken);
    EXPECT_EQ(*woken->result.value, Value(std::int64_t{6}));

    const auto started = ChangeStream::Clock::now();
    std::thread closer([&] {
        std::this_thread::sleep_for(50ms);
        stream->Close();
    });
    EXPECT_FALSE(stream->Next(started + 10s));
    closer.join();
    EXPECT_LT(ChangeStream::Clock::now() - started, 5s);
    EXPECT_TRUE(stream->Closed());
    EXPECT_FALSE(stream->Subscribe({{"A"}, std::nullopt, 0}).Ok());
    EXPECT_EQ(rig.sampler->SubscriptionCount(), 0U);
}

} // namespace
