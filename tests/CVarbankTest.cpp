#include "CVarbank.h"
#include "CAppParameters.h"
#include "CSymbXMLDDTArrayDef.h"
#include "CTraceSink.h"
#include "CountingTypes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

TEST(CVarbank, NewDictionaryAnswersItsIdentity) {
    CVarbank dico("APP1", "/dump", nullptr);
    EXPECT_EQ(dico.GetCounter(), 1U);
    EXPECT_EQ(dico.GetStampText(), "0:0:0:0:0");
    EXPECT_EQ(dico.GetDescription(), "KorvoPro Dictionnary from PLC");
    EXPECT_EQ(dico.GetDicoName(), "APP1");
    EXPECT_EQ(dico.GetSourceName(), "");
    EXPECT_EQ(dico.GetHostText(), "");
    EXPECT_EQ(dico.GetSymbKind(), 10U);
    EXPECT_EQ(dico.m_Tag, -1);
    EXPECT_EQ(dico.m_DumpDirectory, "/dump");
    EXPECT_EQ(dico.GetConsistence(), CSymb::CONSISTENCE_NO_STAMP);
    EXPECT_EQ(dico.m_Types.m_pOwner, &dico);
    EXPECT_GE(dico.m_Items.bucket_count(), CVarbank::kItemBucketCount);
    EXPECT_EQ(dico.m_WordArea.Count, 0U);
    EXPECT_EQ(dico.m_BitArea.Segment, 0);

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
}

TEST(CVarbank, InitializeAndTraceSwitch) {
    CVarbank dico("APP1", "/dump", nullptr);
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
    EXPECT_EQ(dico.GetSymbKind(), 10U);
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
        EXPECT_EQ(dico.m_WordArea.Count, c.copied ? 100U : 0U);
        EXPECT_EQ(dico.m_WordArea.FirstIndex, c.copied ? 4 : 0);
        EXPECT_EQ(dico.m_WordArea.Segment, c.copied ? 3 : 0);
        EXPECT_EQ(dico.m_WordArea.StartOffset, c.copied ? 8U : 0U);
        EXPECT_EQ(dico.m_BitArea.Count, c.copied ? 512U : 0U);
        EXPECT_EQ(dico.m_BitArea.StartOffset, c.copied ? 16U : 0U);
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
    EXPECT_EQ(items.created, 103);
    EXPECT_EQ(items.destroyed, 103);
    EXPECT_EQ(types.created, 103);
    EXPECT_EQ(types.destroyed, 103);
}

TEST(CVarbank, FinalyzeCallsRemoveDFBMemberOnlyOnFunctionBlocksFirst) {
    Lifetimes counts;
    std::vector<std::string> calls;
    CVarbank dico("APP", "", nullptr);
    dico.FinalyzeListOfType(); // empty catalogue: nothing happens
    EXPECT_TRUE(calls.empty());
    ASSERT_TRUE(dico.m_Types.AddType(new CountingType(counts, "S1", false, &calls)));
    ASSERT_TRUE(dico.m_Types.AddType(new CountingType(counts, "FB1", true, &calls)));
    dico.m_Types.m_TypesByName["EMPTY"] = nullptr; // an entry without a type is skipped
    dico.FinalyzeListOfType();
    ASSERT_EQ(calls.size(), 3U);
    const auto at = [&](const std::string& call) {
        return std::find(calls.begin(), calls.end(), call) - calls.begin();
    };
    EXPECT_LT(at("RemoveDFBMember FB1"), at("DefineSubType FB1"));
    EXPECT_LT(at("DefineSubType S1"), 3);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "RemoveDFBMember S1"), 0);
}

TEST(MAPOFDDTDEF, FindsByNameAndIdentifier) {
    Lifetimes counts;
    CVarbank dico("APP", "", nullptr);
    MAPOFDDTDEF& catalogue = dico.m_Types;
    auto* motor = new CountingType(counts, "Motor");
    motor->m_Id = 42;
    ASSERT_TRUE(catalogue.AddType(motor));
    auto* fb = new CountingType(counts, "FB_PUMP", true);
    fb->m_Id = 43;
    ASSERT_TRUE(catalogue.AddType(fb));
    auto* sameId = new CountingType(counts, "OTHER");
    sameId->m_Id = 42;
    EXPECT_FALSE(catalogue.AddType(sameId));
    delete sameId;

    CSymbXMLDDTDef* found = motor;
    EXPECT_EQ(catalogue.FindTypeInList(std::string("motor"), found), 1);
    EXPECT_EQ(found, motor);
    EXPECT_EQ(catalogue.FindTypeInList(std::uint16_t{43}, found), 1);
    EXPECT_EQ(found, fb);
    EXPECT_EQ(catalogue.FindTypeInList(std::uint16_t{44}, found), 0);
    EXPECT_EQ(found, nullptr);
    found = motor;
    EXPECT_EQ(catalogue.FindTypeInList(std::string("int"), found), 0);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(catalogue.m_TypesByName.size(), 2U); // nothing was created

    EXPECT_TRUE(catalogue.IsDFBType("fb_pump"));
    EXPECT_FALSE(catalogue.IsDFBType("MOTOR"));
    EXPECT_FALSE(catalogue.IsDFBType("NONE"));
    EXPECT_TRUE(catalogue.HasType("Motor"));
    EXPECT_FALSE(catalogue.HasType("INT"));

    // An identifier whose name has left the name map is not found.
    catalogue.m_NamesById[7] = "GONE";
    EXPECT_EQ(catalogue.FindTypeInList(std::uint16_t{7}, found), 0);
}

TEST(MAPOFDDTDEF, TemporaryArrayNamesCountFromTheDictionary) {
    CVarbank dico("APP", "", nullptr);
    std::string name;
    EXPECT_EQ(CSymbXMLDDTArrayDef::getNextTempArrayName(name, &dico), "%TEMP_ARRAY0");
    EXPECT_EQ(&CSymbXMLDDTArrayDef::getNextTempArrayName(name, &dico), &name);
    EXPECT_EQ(name, "%TEMP_ARRAY1");
    EXPECT_EQ(dico.m_TempArrayCounter, 2);
    dico.CleanCMaps();
    EXPECT_EQ(CSymbXMLDDTArrayDef::getNextTempArrayName(name, &dico), "%TEMP_ARRAY0");
}

// A second thread blocks on every locked operation while the first one holds the lock.
TEST(CVarbank, LockedOperationsWaitForTheLockHolder) {
    CVarbank dico("APP", "", nullptr);
    const std::vector<std::pair<const char*, std::function<void()>>> operations = {
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
    for (const auto& entry : operations) {
        const char* name = entry.first;
        const std::function<void()>& operation = entry.second;
        std::atomic<bool> done{false};
        dico.m_Lock.Lock();
        auto worker = std::async(std::launch::async, [&] {
            operation();
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
}

// The lock is released when a locked operation leaves by an exception.
TEST(CVarbank, LockIsReleasedWhenAnOperationThrows) {
    struct Throwing : CountingType {
        using CountingType::CountingType;
        void DefineSubType(MAPOFDDTDEF*) override { throw std::runtime_error("boom"); }
    };
    Lifetimes counts;
    CVarbank dico("APP", "", nullptr);
    ASSERT_TRUE(dico.m_Types.AddType(new Throwing(counts, "T")));
    EXPECT_THROW(dico.FinalyzeListOfType(), std::runtime_error);
    auto other = std::async(std::launch::async, [&] { return dico.GetCounter(); });
    ASSERT_EQ(other.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(other.get(), 1U);
}

} // namespace
