#include "CVarbank.h"
#include "CAppParameters.h"
#include "CTraceSink.h"
#include "CountingTypes.h"
#include "DictionaryGenerator.h"
#include "VarbankClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <thread>

namespace {

TEST(CVarbank, IdentityCounterInitializeAndUnsupportedOperations) {
    CVarbank dico("APP1", "/dump", nullptr);
    EXPECT_EQ(dico.GetCounter(), 1U);
    EXPECT_EQ(dico.GetStampText(), "0:0:0:0:0");
    EXPECT_EQ(dico.GetDescription(), "KorvoPro Dictionnary from PLC");
    EXPECT_EQ(dico.GetDicoName(), "APP1");
    EXPECT_EQ(dico.GetSourceName(), "");
    EXPECT_EQ(dico.GetHostText(), "");
    EXPECT_EQ(dico.GetSymbKind(), 10U);
    EXPECT_EQ(dico.GetConsistence(), CSymb::CONSISTENCE_NO_STAMP);
    EXPECT_EQ(dico.m_Types.m_pOwner, &dico);
    dico.IncrementCounter(0, 0);
    EXPECT_EQ(dico.GetCounter(), 2U);
    std::uint32_t flag = 0;
    EXPECT_EQ(dico.QueryFlag(&flag), S_OK);
    EXPECT_EQ(flag, 1U);
    EXPECT_EQ(dico.QueryFlag(nullptr), E_INVALIDARG);
    for (HRESULT hr :
         {dico.Reserved1(1, 2, 3), dico.Reserved2(1, 2, 3, 4, 5), dico.Reserved3(),
          dico.Reserved4(9), dico.Reserved5(9), dico.Reserved6(9), dico.Reserved7(9)}) {
        EXPECT_EQ(hr, E_NOTIMPL);
    }

    struct Sink : CTraceSink {
        void Trace(std::int32_t, const char*) override {}
    } sink;
    EXPECT_EQ(dico.Initialize(0, &sink, 1, "/other", 0), S_OK);
    EXPECT_EQ(dico.GetSourceName(), "PLC Embedded");
    EXPECT_EQ(dico.m_TraceSink, &sink);
    EXPECT_EQ(dico.m_TraceEnabled, 1);
    EXPECT_EQ(dico.m_DumpDirectory, "/other");
    dico.SetTraceEnabled(0);
    EXPECT_EQ(dico.m_TraceEnabled, 0);
}

TEST(CVarbank, AreasAreCopiedOnlyFromValidKindTwoParameters) {
    struct Case {
        std::int32_t kind;
        std::uint8_t valid;
        bool copied;
    };
    for (Case c : {Case{2, 1, true}, Case{2, 0, false}, Case{1, 1, false}, Case{3, 9, false},
                   Case{2, 255, true}}) {
        CAppParameters params;
        params.m_Kind = c.kind;
        params.m_AreasValid = c.valid;
        params.m_WordArea = {100, 4, 3, 8};
        params.m_BitArea = {512, 1, 2, 16};
        CVarbank dico("APP", "", &params);
        const PLCMemoryArea none = {};
        EXPECT_EQ(std::memcmp(&dico.m_WordArea, c.copied ? &params.m_WordArea : &none, 12), 0);
        EXPECT_EQ(std::memcmp(&dico.m_BitArea, c.copied ? &params.m_BitArea : &none, 12), 0);
    }
}

TEST(CVarbank, OwnsEveryRecordAndTypeAndDeletesEachOnce) {
    Lifetimes items;
    Lifetimes types;
    {
        CVarbank dico("APP", "", nullptr);
        for (int round = 0; round < 2; ++round) {
            for (int i = 0; i < 50; ++i) {
                ASSERT_TRUE(dico.AddItem(new CountingItem(items, "var" + std::to_string(i))));
                ASSERT_TRUE(dico.m_Types.AddType(new CountingType(types, "T" + std::to_string(i))));
            }
            // Refused insertions stay with the caller.
            CountingItem duplicate(items, "VAR3");
            EXPECT_FALSE(dico.AddItem(&duplicate));
            CountingType duplicateType(types, "t3");
            EXPECT_FALSE(dico.m_Types.AddType(&duplicateType));
            EXPECT_FALSE(dico.AddItem(nullptr));
            EXPECT_FALSE(dico.m_Types.AddType(nullptr));
            EXPECT_EQ(dico.m_Items.count("VAR3"), 1U);
            EXPECT_EQ(dico.m_Items.count("var3"), 0U);

            dico.m_Stamp[0] = 7;
            dico.m_TempArrayCounter = 4;
            dico.IncrementCounter(0, 0);
            dico.m_HostValue = 9;
            dico.CleanCMaps();
            EXPECT_TRUE(dico.m_Items.empty());
            EXPECT_TRUE(dico.m_Types.m_TypesByName.empty());
            EXPECT_EQ(dico.m_Stamp[0], 0U);
            EXPECT_EQ(dico.m_TempArrayCounter, 0);
            EXPECT_EQ(dico.GetCounter(), 2U + round);
            EXPECT_EQ(dico.m_HostValue, 9U);
            EXPECT_EQ(dico.GetDicoName(), "APP");
        }
        dico.CleanCMaps(); // a second clean-up in a row changes nothing
        ASSERT_TRUE(dico.AddItem(new CountingItem(items, "last")));
        ASSERT_TRUE(dico.m_Types.AddType(new CountingType(types, "LAST")));
    }
    // 101 records and 101 types handed over, plus one refused duplicate of each per round.
    EXPECT_EQ(std::make_pair(items.created, items.destroyed), std::make_pair(103, 103));
    EXPECT_EQ(std::make_pair(types.created, types.destroyed), std::make_pair(103, 103));
}

// Far more variables than the map has room for at first: every one is found by name, and the
// root lists them in the order they were added.
TEST(CVarbank, FindsAndListsVariablesBeyondTheInitialRoom) {
    CVarbank dico("APP", "", nullptr);
    std::vector<std::string> names;
    for (std::size_t i = 0; i < 2 * CVarbank::kItemBucketCount; ++i) {
        names.push_back(generated::NameOf(i * 7919 % 100003));
        generated::Variable(dico, names.back(), "INT");
    }
    std::vector<std::string> listed;
    ASSERT_EQ(dico.BrowseNames("", "*", 0, "", 0, 0, 0, 1, 1, 0, "", &listed, nullptr), S_OK);
    EXPECT_EQ(listed, names);
    for (std::size_t i = 0; i < names.size(); i += 997) {
        EXPECT_TRUE(varbank::Resolution(dico, names[i]).Resolved()) << names[i];
    }
}

// A second thread blocks on every locked operation while the first one holds the lock.
TEST(CVarbank, LockedOperationsWaitForTheLockHolder) {
    CVarbank dico("LOCKED", ::testing::TempDir(), nullptr);
    const std::vector<std::pair<const char*, std::function<void()>>> operations = {
        {"SaveBinaryForm", [&] { dico.SaveBinaryForm(); }}, // before Initialize moves the dump
        {"GetCounter", [&] { dico.GetCounter(); }},
        {"IncrementCounter", [&] { dico.IncrementCounter(0, 0); }},
        {"GetStampText", [&] { dico.GetStampText(); }},
        {"GetDicoName", [&] { dico.GetDicoName(); }},
        {"GetSourceName", [&] { dico.GetSourceName(); }},
        {"GetHostText", [&] { dico.GetHostText(); }},
        {"SetTraceEnabled", [&] { dico.SetTraceEnabled(1); }},
        {"Initialize", [&] { dico.Initialize(0, nullptr, 0, "", 0); }},
        {"CleanCMaps", [&] { dico.CleanCMaps(); }},
        {"FinalyzeListOfType", [&] { dico.FinalyzeListOfType(); }},
    };
    for (const auto& [name, operation] : operations) {
        std::atomic<bool> done{false};
        dico.m_Lock.Lock();
        auto worker = std::async(std::launch::async, [&, run = operation] {
            run();
            done = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(done) << name << " ran while another thread held the lock";
        dico.m_Lock.Unlock();
        worker.get();
        EXPECT_TRUE(done) << name;
    }
    // The unlocked operations run while another thread holds the lock.
    dico.m_Lock.Lock();
    auto worker = std::async(std::launch::async, [&] {
        std::uint32_t flag = 0;
        dico.QueryFlag(&flag);
        dico.GetDescription();
        dico.GetConsistence();
        dico.GetSymbKind();
        return dico.CheckDicoStamp(nullptr);
    });
    EXPECT_EQ(worker.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    dico.m_Lock.Unlock();
    EXPECT_EQ(worker.get(), CSymb::CONSISTENCE_NO_STAMP);
    std::remove((::testing::TempDir() + "/LOCKED.kvxav").c_str());
}

// The lock is released when a locked operation leaves by an exception.
TEST(CVarbank, LockIsReleasedWhenAnOperationThrows) {
    struct Throwing : CSymbXMLDDTStructDef {
        void DefineSubType(MAPOFDDTDEF*) override { throw std::runtime_error("boom"); }
    };
    CVarbank dico("APP", "", nullptr);
    ASSERT_TRUE(dico.m_Types.AddType(new Throwing));
    EXPECT_THROW(dico.FinalyzeListOfType(), std::runtime_error);
    auto other = std::async(std::launch::async, [&] { return dico.GetCounter(); });
    ASSERT_EQ(other.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(other.get(), 1U);
}

} // namespace
