#include "HostileNames.h"
#include "core/Program.h"
#include "core/ValueAccess.h"
#include "json/CoreJson.h"

#include <gtest/gtest.h>

namespace {

using namespace hosttest;

class HostileNames : public ::testing::Test {
protected:
    void SetUp() override {
        Diagnostics diagnostics(kExample);
        m_Program = Program::Open(kExample, {}, diagnostics);
        ASSERT_TRUE(m_Program);
    }

    Value ReadValue(const std::string& name) const {
        const ValueResult result = m_Program->Values().Read(name);
        EXPECT_TRUE(result.Ok()) << name << ": " << result.reason;
        return result.value.value_or(Value());
    }

    std::shared_ptr<Program> m_Program;
};

// Resolution, reads and writes refuse every loose name with its reason, and a write of one
// leaves the datum it once reached as it was.
TEST_F(HostileNames, CoreRefusesLooseNamesAndWritesNothing) {
    for (const nlohmann::json& entry : ::HostileNames()["names"]) {
        const std::string name = entry["name"];
        const std::string reason = entry["reason"];
        const std::string target = entry["target"];
        SCOPED_TRACE(target + " through " + CoreJson::Text(entry["name"], -1));
        const ResolvedItem item = m_Program->Resolve(name);
        EXPECT_EQ(item.fault, NameFault::NotAnItemName);
        EXPECT_EQ(item.reason, reason);
        EXPECT_EQ(item.name, name);

        const ValueResult read = m_Program->Values().Read(name);
        EXPECT_EQ(read.fault, ValueFault::Name);
        EXPECT_EQ(read.nameFault, NameFault::NotAnItemName);
        EXPECT_EQ(read.Message(), reason);
        EXPECT_FALSE(read.value);

        const Value before = ReadValue(target);
        const WriteOutcome outcome =
            m_Program->Values().Write({{name, CoreJson::ToValue(entry["value"])}});
        EXPECT_EQ(outcome.written, 0U);
        EXPECT_EQ(outcome.results.at(0).nameFault, NameFault::NotAnItemName);
        EXPECT_EQ(outcome.results.at(0).Message(), reason);
        EXPECT_EQ(ReadValue(target), before);
    }
}

// A bad path is refused by every browse; a bad continuation by the paged browse.
TEST_F(HostileNames, CoreRefusesBadBrowsePathsAndContinuations) {
    for (const nlohmann::json& entry : ::HostileNames()["paths"]) {
        BrowseOptions browse;
        browse.path = entry["path"];
        SCOPED_TRACE(CoreJson::Text(entry["path"], -1));
        std::vector<std::string> lines;
        const BrowsedPage pages[] = {m_Program->Browse(browse), m_Program->BrowseAll(browse).at(0),
                                     m_Program->BrowseColumns(browse, "A", lines)};
        for (const BrowsedPage& page : pages) {
            EXPECT_EQ(page.fault, BrowseFault::BadPath);
            EXPECT_EQ(page.Reason(), entry["reason"]);
            EXPECT_TRUE(page.children.empty());
        }
        EXPECT_TRUE(lines.empty());
    }
    for (const nlohmann::json& entry : ::HostileNames()["continuations"]) {
        BrowseOptions browse;
        browse.path = entry["path"];
        browse.pageSize = 4;
        const BrowsedPage page = m_Program->Browse(browse, entry["continuation"]);
        EXPECT_EQ(page.fault, BrowseFault::BadContinuation);
        EXPECT_EQ(page.Reason(), entry["reason"]);
        EXPECT_TRUE(page.children.empty());
    }
}

// The IEC form of an element of a two-dimensional array reaches the same element as the
// dictionary's own form, for resolution, browsing, reading and writing.
TEST_F(HostileNames, IecElementOfATwoDimensionalArrayIsThatElement) {
    const ResolvedItem iec = m_Program->Resolve("Line.Recipes[2,3]");
    const ResolvedItem own = m_Program->Resolve("Line.Recipes[2][3]");
    ASSERT_TRUE(iec.Resolved()) << iec.reason;
    EXPECT_EQ(iec.name, "Line.Recipes[2,3]");
    EXPECT_EQ(std::make_tuple(iec.place.block, iec.place.offset, iec.place.size, iec.typeName),
              std::make_tuple(own.place.block, own.place.offset, own.place.size, own.typeName));
    EXPECT_EQ(iec.place.offset, 120U);

    ASSERT_TRUE(m_Program->Values().Write({{"Line.Recipes[2,3]", Value(2.5)}}).Complete());
    EXPECT_EQ(ReadValue("Line.Recipes[2][3]"), Value(2.5));
    EXPECT_EQ(ReadValue("Line.Recipes[2,3]"), Value(2.5));
    EXPECT_EQ(ReadValue("Line.Recipes[2][2]"), Value(0.0));

    BrowseOptions browse;
    browse.path = "Line.Recipes[2]";
    EXPECT_EQ(m_Program->Browse(browse).children.size(), 3U);
}

} // namespace
