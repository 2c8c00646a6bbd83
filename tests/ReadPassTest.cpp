#include "DictionaryGenerator.h"
#include "FixtureDictionary.h"

#include "CTraceSink.h"
#include "CVarbank.h"
#include "VarbankClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

struct LineCollector : CTraceSink {
    void Trace(std::int32_t, const char* text) override { lines.emplace_back(text); }
    std::vector<std::string> lines;
};

// Everything a client asks of a completed dictionary, as one text per question.
std::vector<std::string> AskEverything(CVarbank& dico, const std::vector<const char*>& names,
                                       const std::vector<const char*>& paths) {
    std::vector<std::string> answers;
    for (const char* name : names) {
        const varbank::Resolution found(dico, name);
        answers.push_back(std::string(name) + " " + std::to_string(found.Status()) + " " +
                          (found.Resolved()
                               ? std::to_string(found.Record()->Record.dwOffset) + found.Address()
                               : ""));
    }
    for (const char* path : paths) {
        std::vector<std::string> lines;
        dico.BrowseNames("", "*", 0, path, 0, 0, 0, 1, 1, 2, "AC", &lines, nullptr);
        varbank::BrowseRequest request;
        request.path = path;
        request.maximum = 3;
        varbank::BrowsePager pager(dico, request);
        for (varbank::BrowsePage page; pager.Next(page);) {
            for (const varbank::BrowseChild& child : page.Children()) {
                lines.push_back(child.itemId);
            }
        }
        answers.insert(answers.end(), lines.begin(), lines.end());
    }
    return answers;
}

// Asks everything on another thread while this one holds the lock shared: a read that took the
// lock exclusively would wait for this thread and never finish.
std::vector<std::string> AskWhileAnotherReaderHolds(CVarbank& dico,
                                                    const std::vector<const char*>& names,
                                                    const std::vector<const char*>& paths) {
    CSharedLock reader(dico.m_Lock);
    auto asked = std::async(std::launch::async, [&] { return AskEverything(dico, names, paths); });
    if (asked.wait_for(20s) != std::future_status::ready) {
        ADD_FAILURE() << "a read of a completed dictionary waited for the exclusive lock";
    }
    return asked.get();
}

TEST(ReadPass, CompletedDictionariesAreReadWithoutWriting) {
    FixtureDictionary fixture;
    const std::vector<const char*> names = {
        "M1.SPEED",   "m1.ax.vel",     "M1.TAB[2].POS", "M1.GRID[1][2]",    "M1.VALS[4]", "TAB[3]",
        "GRID[2][3]", "TABS[9].FLAGS", "FB1.EN",        "FB1.LOC.POS",      "W.3",        "FLAG",
        "NOPE",       "M1.NOPE",       "TAB[10]",       "motor2.TAB[0].Vel"};
    const std::vector<const char*> paths = {"",     "M1",      "M1.TAB", "M1.GRID",
                                            "GRID", "TABS[1]", "FB1",    "motor2.AX"};
    const auto alone = AskEverything(*fixture, names, paths);
    EXPECT_EQ(AskWhileAnotherReaderHolds(*fixture, names, paths), alone);

    CAppParameters params = generated::Parameters();
    CVarbank generatedDico("GEN", "/tmp", &params);
    generated::Fill(generatedDico, 200);
    const std::vector<const char*> generatedNames = {"V0000006.P.X.A", "V0000017[3]",
                                                     "V0000018[2][4]", "V0000019[1].B", "V0000001"};
    const std::vector<const char*> generatedPaths = {"", "V0000006.P", "V0000018", "V0000019"};
    EXPECT_EQ(AskWhileAnotherReaderHolds(generatedDico, generatedNames, generatedPaths),
              AskEverything(generatedDico, generatedNames, generatedPaths));
}

// A read that must write (a type name not yet in upper case, an array type not yet built) is
// made again under the exclusive lock: the same answer as a dictionary completed beforehand,
// the name normalised, the array registered, and each trace line sent once.
TEST(ReadPass, ReadsThatMustWriteAreMadeAgainExclusively) {
    CVarbank dico("APP", "/tmp", nullptr);
    LineCollector sink;
    dico.Initialize(0, &sink, 1, "/tmp", 0);
    // Typed against another catalogue, so that this one has never looked the array up.
    CVarbank scratch("SCRATCH", "/tmp", nullptr);
    auto* list = new CSymbXMLItemDef();
    list->m_Name = "LIST";
    list->SetType("ARRAY[0..3] OF int", scratch.m_Types);
    list->m_Block = 3;
    list->m_Offset = 100;
    list->m_Size = 8;
    ASSERT_TRUE(dico.AddItem(list));
    const std::size_t typesBefore = dico.m_Types.m_TypesByName.size();

    const varbank::Resolution element(dico, "LIST[2]");
    ASSERT_TRUE(element.Resolved());
    EXPECT_EQ(element.Record()->Record.dwOffset, 104U);
    EXPECT_GT(dico.m_Types.m_TypesByName.size(), typesBefore);

    auto* other = new CSymbXMLItemDef();
    other->m_Name = "OTHER";
    other->SetType("ARRAY[0..1] OF int", scratch.m_Types);
    other->m_Block = 3;
    other->m_Size = 4;
    ASSERT_TRUE(dico.AddItem(other));
    // The first run of OTHER.X finds no array type and would trace "invalid type"; the run made
    // again builds it and refuses the member without a trace: no line may reach the sink.
    EXPECT_FALSE(varbank::Resolution(dico, "OTHER.X").Resolved());
    EXPECT_FALSE(varbank::Resolution(dico, "LIST[7]").Resolved());
    EXPECT_TRUE(sink.lines.empty());
    EXPECT_FALSE(varbank::Resolution(dico, "NOPE").Resolved());
    EXPECT_EQ(sink.lines.size(), 1U);
    dico.m_TraceSink = nullptr;
}

} // namespace
