#include "DictionaryGenerator.h"
#include "FixtureDictionary.h"
#include "TaskMem.h"
#include "TextConversion.h"
#include "VarbankClient.h"
#include "tagBROWSEELEMENT.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

using Strings = std::vector<std::string>;
using varbank::BrowsePage;
using varbank::BrowsePager;
using varbank::BrowseRequest;

// A record as "name identifier flags".
std::string Text(const tagBROWSEELEMENT& e) {
    return Utf16ToUtf8(e.pszName) + " " + Utf16ToUtf8(e.pszItemId) + " " +
           std::to_string(e.dwFlags);
}

std::string NameOf(const std::string& text) {
    return text.substr(0, text.find(' '));
}

// Every child of `path`, with no filter and no cap.
BrowseRequest At(const char* path, const char16_t* position = u"PLC1") {
    return {"", "*", 0, path, 0, 1, 1, position, 0};
}

// One call of the raw interface with its in/out state, freeing every text and block it received.
struct BrowseCall {
    std::uint32_t count = 0;
    std::uint32_t capacity = 0;
    tagBROWSEELEMENT* records = nullptr;
    std::int32_t more = 0;
    OLECHAR* continuation = nullptr;
    HRESULT hr = 0;
    std::int32_t columnCount = 0;
    const char* columnCodes = "";

    // A block of `reserve` records handed in (none: the dictionary allocates it).
    explicit BrowseCall(std::uint32_t reserve = 0, const char* point = nullptr)
        : capacity(reserve), continuation(CVarbank::ToTaskWideString(point)) {
        if (reserve > 0) {
            records =
                static_cast<tagBROWSEELEMENT*>(CoTaskMemAlloc(reserve * sizeof(tagBROWSEELEMENT)));
        }
    }
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

    // The records this call wrote; an empty position identifier is passed as null.
    Strings Run(CVarbank& dico, const BrowseRequest& r) {
        const std::uint32_t first = count;
        OLECHAR* before = continuation;
        hr =
            dico.BrowseElements(r.filter.c_str(), r.pattern.c_str(), r.varType, r.path.c_str(), 0,
                                0, r.branchesOnly, r.leaves, r.branches, columnCount, columnCodes,
                                r.position.empty() ? nullptr : r.position.c_str(), &continuation,
                                r.maximum, 0, 0, 0, 0, &more, &count, &records, &capacity, nullptr);
        if (continuation != before) {
            CoTaskMemFree(before); // the module does not free the text it replaces
        }
        Strings listed;
        for (std::uint32_t i = first; i < count; ++i) {
            EXPECT_EQ(records[i].hrError, S_OK);
            EXPECT_EQ(records[i].dwPropertyCount, 0U);
            EXPECT_EQ(records[i].pProperties, nullptr);
            listed.push_back(Text(records[i]));
        }
        return listed;
    }
};

class BrowseElementsFixture : public ::testing::Test {
protected:
    FixtureDictionary fixture;
};

TEST_F(BrowseElementsFixture, RootRecordsInInsertionOrderWithFlagsAndIdentifiers) {
    BrowseCall call;
    EXPECT_EQ(call.Run(*fixture, At("")),
              (Strings{"M1 PLC1!M1 3", "motor2 PLC1!motor2 3", "TAB PLC1!TAB 3", "TABS PLC1!TABS 3",
                       "GRID PLC1!GRID 3", "FB1 PLC1!FB1 3", "W PLC1!W 2", "Flag PLC1!Flag 2"}));
    EXPECT_EQ(call.hr, S_OK);
    EXPECT_EQ(call.capacity, fixture->m_Items.size() + 1000); // grown once
    EXPECT_EQ(call.more, 0);

    BrowseCall branches;
    for (const std::string& listed :
         branches.Run(*fixture, {"%UL", "*", 0, "", 1, 1, 1, u"PLC1", 0})) {
        EXPECT_EQ(listed.back(), '3') << listed;
    }
    EXPECT_EQ(branches.count, 6U);

    // The unlocated marker leaves out every declared address, with or without "%".
    fixture->m_Items["FLAG"]->m_Address = "X100";
    EXPECT_TRUE(BrowseCall().Run(*fixture, {"%UL", "*", 0, "", 0, 1, 0, u"PLC1", 0}).empty());
    // A null filter text and name pattern leave nothing out.
    BrowseCall nulls;
    EXPECT_EQ(fixture->BrowseElements(nullptr, nullptr, 0, "", 0, 0, 0, 1, 0, 0, "", u"P",
                                      &nulls.continuation, 0, 0, 0, 0, 0, &nulls.more, &nulls.count,
                                      &nulls.records, &nulls.capacity, nullptr),
              S_OK);
    EXPECT_EQ(nulls.count, 2U);
}

TEST_F(BrowseElementsFixture, PositionListingsAndItemIdentifiers) {
    struct Case {
        const char* path;
        const char16_t* position;
        Strings expected;
    };
    Strings tab;
    for (int i = 0; i < 10; ++i) {
        const std::string name = "tab[" + std::to_string(i) + "]";
        tab.push_back(name + " PLC1!" + name + " 2");
    }
    const Case cases[] = {
        {"M1",
         u"PLC1!M1",
         {"Speed PLC1!M1.Speed 2", "STATE PLC1!M1.STATE 2", "AX PLC1!M1.AX 3", "TAB PLC1!M1.TAB 3",
          "VALS PLC1!M1.VALS 3", "GRID PLC1!M1.GRID 3"}},
        {"tab", u"PLC1!tab", tab},
        {"M1.TAB",
         u"PLC1!M1.TAB",
         {"TAB[0] PLC1!M1.TAB[0] 3", "TAB[1] PLC1!M1.TAB[1] 3", "TAB[2] PLC1!M1.TAB[2] 3",
          "TAB[3] PLC1!M1.TAB[3] 3"}},
        {"M1.TAB[2]", u"P", {"POS P.POS 2", "Vel P.Vel 2", "FLAGS P.FLAGS 2"}},
        {"FB1", u"", {"INNER .INNER 3", "EN .EN 2", "OUT .OUT 2", "TMP .TMP 2", "LOC .LOC 3"}},
    };
    for (const Case& c : cases) {
        BrowseCall call;
        EXPECT_EQ(call.Run(*fixture, At(c.path, c.position)), c.expected) << c.path;
        EXPECT_EQ(call.hr, S_OK);
    }
}

TEST_F(BrowseElementsFixture, CapContinuationAndGrowth) {
    BrowseRequest r = At("TAB");
    r.maximum = 4;
    BrowseCall call(4);
    call.count = 3; // three records already in the block: one is written, then the cap stops
    call.records[0] = call.records[1] = call.records[2] = {};
    EXPECT_EQ(call.Run(*fixture, r), Strings{"TAB[0] PLC1[0] 2"});
    EXPECT_EQ(call.count, 4U);
    EXPECT_EQ(call.more, 1);
    EXPECT_EQ(Utf16ToUtf8(call.continuation), "TAB[1]");

    // Resume from the continuation point; a text naming no child lists nothing and leaves the
    // more flag and the continuation point as they were.
    BrowseCall next(4, "TAB[8]");
    EXPECT_EQ(next.Run(*fixture, r).size(), 2U);
    EXPECT_EQ(next.more, 0);
    BrowseCall none(4, "TAB[99]");
    none.more = 7;
    EXPECT_TRUE(none.Run(*fixture, r).empty());
    EXPECT_EQ(none.more, 7);
    EXPECT_EQ(none.hr, S_OK);
    EXPECT_EQ(Utf16ToUtf8(none.continuation), "TAB[99]");
    // A continuation text far longer than any buffer is read whole and names no child.
    BrowseCall huge(4, ("TAB[" + std::string(100000, '1') + "]").c_str());
    EXPECT_TRUE(huge.Run(*fixture, r).empty());
    BrowseCall empty(4, "");
    EXPECT_EQ(empty.Run(*fixture, r).size(), 4U);
    EXPECT_EQ(empty.more, 1);
}

TEST_F(BrowseElementsFixture, RefusedArguments) {
    BrowseCall call;
    auto browse = [&](const char* path, std::int32_t columns, std::uint32_t maximum,
                      std::int32_t* more) {
        return fixture->BrowseElements("", "*", 0, path, 0, 0, 0, 1, 1, columns, nullptr, u"",
                                       &call.continuation, maximum, 0, 0, 0, 0, more, &call.count,
                                       &call.records, &call.capacity, nullptr);
    };
    EXPECT_EQ(browse(nullptr, 0, 0, &call.more), E_INVALIDARG);
    EXPECT_EQ(browse("", 1, 0, &call.more), E_INVALIDARG);
    EXPECT_EQ(browse("", 0, 5, &call.more), E_INVALIDARG); // a cap beyond the block's capacity
    EXPECT_EQ(browse("M1.SPEED", 0, 0, &call.more), E_INVALIDARG);
    EXPECT_EQ(browse("W", 0, 0, &call.more), E_INVALIDARG);
    EXPECT_EQ(browse("", 0, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(call.count, 0U);
    EXPECT_EQ(call.records, nullptr);
}

// The children of one page as "name identifier flags".
Strings Children(const BrowsePage& page) {
    Strings children;
    for (const varbank::BrowseChild& child : page.Children()) {
        children.push_back(child.name + " " + child.itemId + (child.hasChildren ? " 3" : " 2"));
    }
    return children;
}

// A walk in pages of `size` records (0: one unpaged call), with "> name" for the continuation
// point that each page but the last returns.
Strings Walk(CVarbank& dico, BrowseRequest request, std::uint32_t size) {
    request.maximum = size;
    Strings listed;
    BrowsePager pager(dico, request);
    for (BrowsePage page; pager.Next(page);) {
        const Strings children = Children(page);
        listed.insert(listed.end(), children.begin(), children.end());
        if (page.More()) {
            listed.push_back("> " + Utf16ToUtf8(page.Continuation()));
        }
    }
    EXPECT_EQ(pager.Status(), S_OK);
    return listed;
}

// The unpaged walk cut into full pages of `size`: each continuation point names the next child.
Strings InPages(const Strings& whole, std::size_t size) {
    Strings paged;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && i % size == 0) {
            paged.push_back("> " + NameOf(whole[i]));
        }
        paged.push_back(whole[i]);
    }
    return paged;
}

// Below a variable a page from a continuation point lists the unpaged walk from that child on,
// or nothing when no child has that name (with case, and as the listing writes its index).
void ResumesBelowAVariable(CVarbank& dico, BrowseRequest r, const Strings& whole) {
    r.maximum = 10;
    const std::string listed = whole.empty() ? r.path + "[0]" : NameOf(whole[whole.size() / 2]);
    std::string lower = listed;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const std::string& name : {listed, lower, listed + "x", listed + "|", r.path + "[01]",
                                    r.path + "[+1]", r.path + "[-1]", r.path + "[1", r.path}) {
        auto from = std::find_if(whole.begin(), whole.end(),
                                 [&](const std::string& k) { return NameOf(k) == name; });
        const Strings want(from, from + std::min<std::ptrdiff_t>(10, whole.end() - from));
        EXPECT_EQ(Children(BrowsePage(dico, r, Utf8ToUtf16(name))), want) << name;
    }
}

// Paged walks equal the unpaged walk, with every filter, at the root and below variables. From a
// continuation point the root lists the unpaged walk from that child on (in the order of the walk
// of every kind, since the kind selection may leave the child out), or nothing when the filters
// leave the child out.
TEST(BrowseElementsPaging, PagedWalksEqualTheUnpagedWalk) {
    CAppParameters params = generated::Parameters();
    CVarbank dico("GEN", "/tmp", &params);
    generated::Fill(dico, 4000);
    const BrowseRequest requests[] = {{"", "*", 0, "", 0, 1, 1, u"GEN", 0},
                                      {"%UL", "*", 0, "", 0, 1, 1, u"GEN", 0},
                                      {"", "V000", 0, "", 0, 1, 1, u"GEN", 0},
                                      {"", "v*", 0, "", 0, 1, 0, u"GEN", 0},
                                      {"", "*", 2, "", 0, 1, 1, u"GEN", 0},
                                      {"", "", 0, "", 1, 0, 0, u"GEN", 0},
                                      {"", "*", 0, "", 0, 0, 1, u"GEN", 0},
                                      {"", "*", 0, "", 0, 0, 0, u"GEN", 0},
                                      {"", "*", 0, "V0000006", 0, 1, 1, u"GEN", 0},
                                      {"", "*", 0, "V0000007", 0, 1, 1, u"GEN", 0},
                                      {"", "*", 0, "V0000009", 0, 0, 1, u"GEN", 0},
                                      {"", "*", 0, "V0000008", 0, 1, 1, u"GEN", 0},
                                      {"", "*", 0, "V0000018[2]", 0, 1, 1, u"GEN", 0},
                                      {"", "*", 0, "V0000019", 0, 1, 1, u"GEN", 0},
                                      {"", "*", 0, "V0000019[3]", 0, 1, 1, u"GEN", 0},
                                      {"", "*", 0, "V0000059", 0, 1, 1, u"GEN", 0},
                                      {"", "V0000017[1", 0, "V0000017", 0, 1, 1, u"GEN", 0},
                                      {"", "*", 4, "V0000028[0]", 0, 1, 1, u"GEN", 0},
                                      {"", "*", 0, "V0000016", 1, 0, 0, u"GEN", 0},
                                      {"", "Q", 0, "V0000016", 0, 1, 1, u"GEN", 0}};
    for (BrowseRequest r : requests) {
        SCOPED_TRACE(r.filter + "/" + r.pattern + "/" + std::to_string(r.varType) + "/" + r.path);
        const Strings whole = Walk(dico, r, 0);
        for (std::uint32_t size : {1U, 7U, 100U}) {
            if (size > 1 || whole.size() <= 1000) {
                EXPECT_EQ(Walk(dico, r, size), InPages(whole, size)) << "pages of " << size;
            }
        }
        if (!r.path.empty()) {
            ResumesBelowAVariable(dico, r, whole);
            continue;
        }
        BrowseRequest everyKind = r;
        everyKind.branchesOnly = 0;
        everyKind.leaves = everyKind.branches = 1;
        const Strings kept = Walk(dico, everyKind, 0);
        const std::set<std::string> listed(whole.begin(), whole.end());
        r.maximum = 10;
        for (const char* name : {"V0000003", "NOPE", "v0000003", "V0000006", "V0000013"}) {
            Strings want;
            auto from = std::find_if(kept.begin(), kept.end(),
                                     [&](const std::string& k) { return NameOf(k) == name; });
            for (; from != kept.end() && want.size() < 10; ++from) {
                if (listed.count(*from) != 0) {
                    want.push_back(*from);
                }
            }
            EXPECT_EQ(Children(BrowsePage(dico, r, Utf8ToUtf16(name))), want) << name;
        }
    }
}

} // namespace

namespace {

// A structure whose address column counts the members that listings examine.
class CountedStruct : public CSymbXMLDDTStructDef {
public:
    mutable std::size_t examined = 0;

protected:
    std::string MemberAddressColumn(const CSymbXMLDDTMember& member, std::uint16_t block,
                                    std::uint32_t offset,
                                    const std::string& addressText) const override {
        ++examined;
        return CSymbXMLDDTStructDef::MemberAddressColumn(member, block, offset, addressText);
    }
};

// A walk with raw calls in pages of `size` (0: unpaged) with the columns "AC", whose entries
// hold "|": records as "name\tidentifier\tflags", then "> name" for each continuation point.
Strings ColumnWalk(CVarbank& dico, const char* path, std::uint32_t size) {
    BrowseRequest r = At(path, u"D");
    r.maximum = size;
    Strings listed;
    std::string point;
    do {
        BrowseCall call(size, point.empty() ? nullptr : point.c_str());
        call.columnCount = 2;
        call.columnCodes = "AC";
        call.Run(dico, r);
        EXPECT_EQ(call.hr, S_OK);
        for (std::uint32_t i = 0; i < call.count; ++i) {
            listed.push_back(Utf16ToUtf8(call.records[i].pszName) + "\t" +
                             Utf16ToUtf8(call.records[i].pszItemId) + "\t" +
                             std::to_string(call.records[i].dwFlags));
        }
        point = call.more != 0 ? Utf16ToUtf8(call.continuation) : std::string();
        if (!point.empty()) {
            listed.push_back("> " + point);
        }
    } while (!point.empty() && listed.size() < 1000);
    return listed;
}

} // namespace

// Entries with columns hold "|", in member names and comments too: the continuation point is
// still found, whatever "|" it holds.
TEST(BrowseElementsPaging, PagedWalksWithColumnsEqualTheUnpagedWalk) {
    CAppParameters params = generated::Parameters();
    CVarbank dico("D", "/tmp", &params);
    generated::AddTypes(dico);
    generated::AddType<CSymbXMLDDTStructDef>(
        dico, "PIPES",
        {generated::Member("A", "INT", 0, 2), generated::Member("A|B", "INT", 2, 2),
         generated::Member("a|bc", "INT", 4, 2, 1, "x|y"), generated::Member("C", "G_L3", 6, 8),
         generated::Member("D", "BOOL", 14, 1, 1, "|")});
    generated::Variable(dico, "P", "PIPES", 3, 0, 16);
    generated::Variable(dico, "GRID", "ARRAY[0..3,0..4] OF REAL", 3, 16, 80);
    generated::Variable(dico, "FB", "G_FB", 3, 96, 4);
    generated::Variable(dico, "S", "G_L1", 3, 100, 14);
    dico.FinalyzeListOfType();
    for (const char* path : {"P", "GRID", "GRID[2]", "FB", "S.P"}) {
        const Strings whole = ColumnWalk(dico, path, 0);
        ASSERT_FALSE(whole.empty()) << path;
        for (std::uint32_t size : {1U, 2U, 3U}) {
            Strings want;
            for (std::size_t i = 0; i < whole.size(); ++i) {
                if (i > 0 && i % size == 0) {
                    want.push_back("> " + whole[i].substr(0, whole[i].find('\t')));
                }
                want.push_back(whole[i]);
            }
            EXPECT_EQ(ColumnWalk(dico, path, size), want) << path << " in pages of " << size;
        }
    }
}

// A page costs its own children: a structure of 20,000 members in pages of 10 examines each
// member about once, and an array of 100,000 elements in pages of 10 (a walk that took hours
// when every page listed the whole array) ends within the test's time.
TEST(BrowseElementsPaging, PagesOfLargeTypesCostTheirOwnChildren) {
    constexpr std::uint32_t kMembers = 20000;
    CAppParameters params = generated::Parameters();
    CVarbank dico("BIG", "/tmp", &params);
    auto* wide = new CountedStruct();
    wide->m_Name = "WIDE";
    for (std::uint32_t i = 0; i < kMembers; ++i) {
        wide->AddMember(generated::Member(("M" + std::to_string(i)).c_str(), "INT", 2 * i, 2));
    }
    dico.m_Types.AddType(wide);
    generated::Variable(dico, "ST", "WIDE", 4, 0, 2 * kMembers);
    generated::Variable(dico, "ARR", "ARRAY[0..99999] OF INT", 3, 0, 200000);
    dico.FinalyzeListOfType();

    const Strings members = Walk(dico, At("ST", u"BIG!ST"), 0);
    ASSERT_EQ(members.size(), kMembers);
    wide->examined = 0;
    EXPECT_EQ(Walk(dico, At("ST", u"BIG!ST"), 10), InPages(members, 10));
    EXPECT_LE(wide->examined, 2 * kMembers);

    const Strings elements = Walk(dico, At("ARR", u"BIG!ARR"), 0);
    ASSERT_EQ(elements.size(), 100000U);
    EXPECT_EQ(elements.back(), "ARR[99999] BIG!ARR[99999] 2");
    EXPECT_EQ(Walk(dico, At("ARR", u"BIG!ARR"), 10), InPages(elements, 10));
}
