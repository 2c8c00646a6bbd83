#include "DictionaryGenerator.h"
#include "FixtureDictionary.h"
#include "MatchNamePattern.h"
#include "TaskMem.h"
#include "TextConversion.h"
#include "platform/TextUtil.h"
#include "tagBROWSEELEMENT.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <unordered_map>

namespace {

struct Listed {
    std::string name;
    std::string id;
    std::uint32_t flags;
    bool operator==(const Listed&) const = default;
};

// One call of BrowseElements with its in/out state, freeing every text and block it received.
struct BrowseCall {
    std::uint32_t count = 0;
    std::uint32_t capacity = 0;
    tagBROWSEELEMENT* records = nullptr;
    std::int32_t more = 0;
    OLECHAR* continuation = nullptr;
    HRESULT hr = 0;

    BrowseCall() = default;
    BrowseCall(const BrowseCall&) = delete;
    BrowseCall& operator=(const BrowseCall&) = delete;
    ~BrowseCall() {
        for (std::uint32_t i = 0; i < count; ++i) {
            CoTaskMemFree(records[i].pszName);
            CoTaskMemFree(records[i].pszItemId);
        }
        CoTaskMemFree(records);
        CoTaskMemFree(continuation);
    }

    void Reserve(std::uint32_t n) {
        records = static_cast<tagBROWSEELEMENT*>(CoTaskMemAlloc(n * sizeof(tagBROWSEELEMENT)));
        capacity = n;
    }

    void SetContinuation(const std::string& text) {
        CoTaskMemFree(continuation);
        continuation = CVarbank::ToTaskWideString(text.c_str());
    }

    struct Request {
        const char* filter = "";
        const char* pattern = "*";
        VARTYPE varType = 0;
        const char* path = "";
        std::int32_t branchesOnly = 0;
        std::int32_t leaves = 1;
        std::int32_t branches = 1;
        std::int32_t columnCount = 0;
        const char* columns = "";
        const OLECHAR* positionId = u"PLC1";
        std::uint32_t maximum = 0;
    };

    std::vector<Listed> Run(CVarbank& dico, const Request& r) {
        const std::uint32_t first = count;
        OLECHAR* before = continuation;
        hr = dico.BrowseElements(r.filter, r.pattern, r.varType, r.path, 0, 0, r.branchesOnly,
                                 r.leaves, r.branches, r.columnCount, r.columns, r.positionId,
                                 &continuation, r.maximum, 0, 0, 0, 0, &more, &count, &records,
                                 &capacity, nullptr);
        if (continuation != before) {
            CoTaskMemFree(before); // the module does not free the text it replaces
        }
        std::vector<Listed> listed;
        for (std::uint32_t i = first; i < count; ++i) {
            const tagBROWSEELEMENT& e = records[i];
            EXPECT_EQ(e.hrError, S_OK);
            EXPECT_EQ(e.dwPropertyCount, 0U);
            EXPECT_EQ(e.pProperties, nullptr);
            listed.push_back({Utf16ToUtf8(e.pszName), Utf16ToUtf8(e.pszItemId), e.dwFlags});
        }
        return listed;
    }
};

using Request = BrowseCall::Request;

class BrowseElementsFixture : public ::testing::Test {
protected:
    FixtureDictionary fixture;
};

TEST_F(BrowseElementsFixture, RootRecordsWithFlagsAndIdentifiers) {
    BrowseCall call;
    Request r;
    std::vector<Listed> listed = call.Run(*fixture, r);
    EXPECT_EQ(call.hr, S_OK);
    EXPECT_EQ(call.capacity, fixture->m_Items.size() + 1000); // grown once
    EXPECT_EQ(call.more, 0);
    std::sort(listed.begin(), listed.end(),
              [](const Listed& a, const Listed& b) { return a.name < b.name; });
    const std::vector<Listed> expected = {{"FB1", "PLC1!FB1", 3},   {"Flag", "PLC1!Flag", 2},
                                          {"GRID", "PLC1!GRID", 3}, {"M1", "PLC1!M1", 3},
                                          {"TAB", "PLC1!TAB", 3},   {"TABS", "PLC1!TABS", 3},
                                          {"W", "PLC1!W", 2},       {"motor2", "PLC1!motor2", 3}};
    EXPECT_EQ(listed, expected);

    BrowseCall branchesOnly;
    r.branchesOnly = 1;
    r.filter = "%UL";
    for (const Listed& l : branchesOnly.Run(*fixture, r)) {
        EXPECT_EQ(l.flags, 3U) << l.name;
    }
    EXPECT_EQ(branchesOnly.count, 6U);
}

TEST_F(BrowseElementsFixture, UnlocatedMarkerLeavesOutEveryDeclaredAddress) {
    fixture->m_Items["FLAG"]->m_Address = "X100"; // no "%", still an address
    BrowseCall call;
    Request r;
    r.filter = "%UL";
    r.leaves = 1;
    r.branches = 0;
    EXPECT_TRUE(call.Run(*fixture, r).empty());
    BrowseCall nulls;
    r.filter = nullptr;
    r.pattern = nullptr;
    EXPECT_EQ(nulls.Run(*fixture, r).size(), 2U);
}

TEST_F(BrowseElementsFixture, PositionListingsAndItemIdentifiers) {
    struct Case {
        const char* path;
        const OLECHAR* positionId;
        std::vector<Listed> expected;
    };
    const Case cases[] = {
        {"M1",
         u"PLC1!M1",
         {{"Speed", "PLC1!M1.Speed", 2},
          {"STATE", "PLC1!M1.STATE", 2},
          {"AX", "PLC1!M1.AX", 3},
          {"TAB", "PLC1!M1.TAB", 3},
          {"VALS", "PLC1!M1.VALS", 3},
          {"GRID", "PLC1!M1.GRID", 3}}},
        {"tab",
         u"PLC1!tab",
         {{"tab[0]", "PLC1!tab[0]", 2},
          {"tab[1]", "PLC1!tab[1]", 2},
          {"tab[2]", "PLC1!tab[2]", 2},
          {"tab[3]", "PLC1!tab[3]", 2},
          {"tab[4]", "PLC1!tab[4]", 2},
          {"tab[5]", "PLC1!tab[5]", 2},
          {"tab[6]", "PLC1!tab[6]", 2},
          {"tab[7]", "PLC1!tab[7]", 2},
          {"tab[8]", "PLC1!tab[8]", 2},
          {"tab[9]", "PLC1!tab[9]", 2}}},
        {"M1.TAB",
         u"PLC1!M1.TAB",
         {{"TAB[0]", "PLC1!M1.TAB[0]", 3},
          {"TAB[1]", "PLC1!M1.TAB[1]", 3},
          {"TAB[2]", "PLC1!M1.TAB[2]", 3},
          {"TAB[3]", "PLC1!M1.TAB[3]", 3}}},
        {"M1.TAB[2]", u"P", {{"POS", "P.POS", 2}, {"Vel", "P.Vel", 2}, {"FLAGS", "P.FLAGS", 2}}},
        {"FB1",
         nullptr,
         {{"INNER", ".INNER", 3},
          {"EN", ".EN", 2},
          {"OUT", ".OUT", 2},
          {"TMP", ".TMP", 2},
          {"LOC", ".LOC", 3}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        BrowseCall call;
        Request r;
        r.path = c.path;
        r.positionId = c.positionId;
        EXPECT_EQ(call.Run(*fixture, r), c.expected);
        EXPECT_EQ(call.hr, S_OK);
    }
}

TEST_F(BrowseElementsFixture, CapContinuationAndGrowth) {
    Request r;
    r.path = "TAB";
    r.maximum = 4;
    BrowseCall call;
    call.Reserve(4);
    call.count = 3; // three records already in the block: one is written, then the cap stops
    call.records[0] = call.records[1] = call.records[2] = {};
    std::vector<Listed> listed = call.Run(*fixture, r);
    ASSERT_EQ(listed.size(), 1U);
    EXPECT_EQ(listed[0].name, "TAB[0]");
    EXPECT_EQ(call.count, 4U);
    EXPECT_EQ(call.more, 1);
    EXPECT_EQ(Utf16ToUtf8(call.continuation), "TAB[1]");

    // Resume from the continuation point; a text naming no child lists nothing.
    BrowseCall next;
    next.Reserve(4);
    next.SetContinuation("TAB[8]");
    EXPECT_EQ(next.Run(*fixture, r).size(), 2U);
    EXPECT_EQ(next.more, 0);
    BrowseCall none;
    none.Reserve(4);
    none.SetContinuation("TAB[99]");
    none.more = 7;
    EXPECT_TRUE(none.Run(*fixture, r).empty());
    EXPECT_EQ(none.more, 7);
    EXPECT_EQ(none.hr, S_OK);
    EXPECT_EQ(Utf16ToUtf8(none.continuation), "TAB[99]");
    // A continuation text far longer than any buffer is read whole and names no child.
    BrowseCall huge;
    huge.Reserve(4);
    huge.SetContinuation("TAB[" + std::string(100000, '1') + "]");
    EXPECT_TRUE(huge.Run(*fixture, r).empty());
    BrowseCall empty;
    empty.Reserve(4);
    empty.SetContinuation("");
    EXPECT_EQ(empty.Run(*fixture, r).size(), 4U);
    EXPECT_EQ(empty.more, 1);
}

TEST_F(BrowseElementsFixture, RefusedArguments) {
    std::uint32_t count = 0;
    std::uint32_t capacity = 0;
    tagBROWSEELEMENT* records = nullptr;
    std::int32_t more = 0;
    OLECHAR* continuation = nullptr;
    auto browse = [&](const char* path, std::int32_t columns, const char* codes,
                      std::uint32_t maximum) {
        return fixture->BrowseElements("", "*", 0, path, 0, 0, 0, 1, 1, columns, codes, u"",
                                       &continuation, maximum, 0, 0, 0, 0, &more, &count, &records,
                                       &capacity, nullptr);
    };
    EXPECT_EQ(browse(nullptr, 0, nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(browse("", 1, nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(browse("", 0, nullptr, 5), E_INVALIDARG); // a cap beyond the block's capacity
    EXPECT_EQ(browse("M1.SPEED", 0, nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(browse("W", 0, nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(fixture->BrowseElements("", "*", 0, "", 0, 0, 0, 1, 1, 0, "", u"", &continuation, 0,
                                      0, 0, 0, 0, nullptr, &count, &records, &capacity, nullptr),
              E_INVALIDARG);
    EXPECT_EQ(count, 0U);
    EXPECT_EQ(records, nullptr);
}

// Paging through the root, page after page, gives exactly the records of one unpaged walk,
// with every filter, and each continuation point names the next record.
TEST(BrowseElementsPaging, PagedRootEqualsTheWalkFromTheFirstVariable) {
    CAppParameters params = generated::Parameters();
    CVarbank dico("GEN", "/tmp", &params);
    generated::Fill(dico, 4000);
    struct Filter {
        const char* filter;
        const char* pattern;
        VARTYPE varType;
        std::int32_t b, l, r;
    };
    const Filter filters[] = {{"", "*", 0, 0, 1, 1},    {"%UL", "*", 0, 0, 1, 1},
                              {"", "V000", 0, 0, 1, 1}, {"", "v*", 0, 0, 1, 0},
                              {"", "*", 2, 0, 1, 1},    {"", "", 0, 1, 0, 0},
                              {"", "*", 0, 0, 0, 1},    {"", "*", 0, 0, 0, 0}};
    for (const Filter& f : filters) {
        SCOPED_TRACE(std::string(f.filter) + "/" + f.pattern + "/" + std::to_string(f.varType));
        Request r;
        r.filter = f.filter;
        r.pattern = f.pattern;
        r.varType = f.varType;
        r.branchesOnly = f.b;
        r.leaves = f.l;
        r.branches = f.r;
        BrowseCall whole;
        const std::vector<Listed> expected = whole.Run(dico, r);
        for (std::uint32_t page : {1U, 7U, 100U}) {
            if (page == 1 && expected.size() > 1000) {
                continue;
            }
            r.maximum = page;
            std::vector<Listed> paged;
            std::string continuation;
            for (int calls = 0; calls < 5000; ++calls) {
                BrowseCall call;
                call.Reserve(page);
                if (!continuation.empty()) {
                    call.SetContinuation(continuation);
                }
                const std::vector<Listed> got = call.Run(dico, r);
                paged.insert(paged.end(), got.begin(), got.end());
                if (call.more == 0) {
                    break;
                }
                continuation = Utf16ToUtf8(call.continuation);
                ASSERT_LT(paged.size(), expected.size());
                EXPECT_EQ(continuation, expected[paged.size()].name);
            }
            EXPECT_EQ(paged, expected) << "page size " << page;
        }
        // A continuation point that the filters leave out, or that names no variable, lists
        // nothing, as the walk from the first variable would; one that names a variable the
        // kind selection leaves out starts the listing there.
        std::unordered_map<std::string, std::size_t> mapOrder;
        for (const auto& entry : dico.m_Items) {
            mapOrder.emplace(entry.second->m_Name, mapOrder.size());
        }
        const auto keptByFilters = [&](const CSymbXMLItemDef& item) {
            return (f.varType == 0 || f.varType == item.m_VarType) &&
                   (std::string(f.filter) != "%UL" || item.m_Address.empty()) &&
                   (EqualsNoCaseAscii(f.pattern, "*") || MatchNamePattern(item.m_Name, f.pattern));
        };
        for (const char* name : {"V0000003", "NOPE", "v0000003", "V0000006", "V0000013"}) {
            BrowseCall call;
            call.Reserve(10);
            call.SetContinuation(name);
            r.maximum = 10;
            const std::vector<Listed> got = call.Run(dico, r);
            std::vector<Listed> want;
            const auto start = mapOrder.find(name);
            if (start != mapOrder.end() && keptByFilters(*dico.m_Items[ToUpperAscii(name)])) {
                for (const Listed& l : expected) {
                    if (mapOrder[l.name] >= start->second && want.size() < 10) {
                        want.push_back(l);
                    }
                }
            }
            EXPECT_EQ(got, want) << name;
        }
    }
}

} // namespace
