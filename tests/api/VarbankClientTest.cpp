#include "DictionaryGenerator.h"

#include <Varbank.h>
#include <VarbankClient.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using varbank::BrowseChild;
using varbank::BrowsePage;
using varbank::BrowsePager;
using varbank::BrowseRequest;
using varbank::Resolution;

class VarbankClientTest : public ::testing::Test {
protected:
    void SetUp() override { generated::Fill(dico, 500); }

    std::vector<std::string> Walk(BrowseRequest request, std::uint32_t pageSize) {
        request.maximum = pageSize;
        std::vector<std::string> ids;
        BrowsePager pager(dico, request);
        for (BrowsePage page; pager.Next(page);) {
            EXPECT_LE(page.Count(), pageSize == 0 ? page.Count() : pageSize);
            for (const BrowseChild& child : page.Children()) {
                ids.push_back(child.itemId + (child.hasChildren ? "/" : ""));
            }
        }
        EXPECT_EQ(pager.Status(), S_OK);
        return ids;
    }

    CAppParameters params = generated::Parameters();
    CVarbank dico{"GEN", "/tmp", &params};
};

TEST_F(VarbankClientTest, ResolutionOwnsRecordPropertiesAndTexts) {
    const Resolution plain(dico, "V0000000");
    ASSERT_TRUE(plain.Resolved());
    EXPECT_EQ(plain.Record()->Record.wBlock, 1);
    EXPECT_EQ(plain.Address(), "%MW0");
    EXPECT_EQ(plain.Comment(), "generated");
    EXPECT_EQ(plain.PropertyText(varbank::kPropertyTypeName), "BOOL");
    EXPECT_EQ(plain.PropertyText(999), "");

    const Resolution refused(dico, "NOPE");
    EXPECT_FALSE(refused.Resolved());
    EXPECT_EQ(refused.Record(), nullptr);
    EXPECT_EQ(refused.PropertyCount(), 0U);

    const Resolution none;
    EXPECT_FALSE(none.Resolved());
}

// Paged walks equal the unpaged listing, whatever the page size, at the root and below a type.
TEST_F(VarbankClientTest, PagedWalksEqualTheUnpagedListing) {
    for (const char* path : {"", "V0000006", "V0000007"}) {
        BrowseRequest request;
        request.path = path;
        request.position = Utf8ToUtf16(std::string("GEN") + (*path ? "!" : "") + path);
        const std::vector<std::string> whole = Walk(request, 0);
        ASSERT_FALSE(whole.empty()) << path;
        for (std::uint32_t size : {1U, 3U, 64U, 1000U}) {
            EXPECT_EQ(Walk(request, size), whole) << path << " in pages of " << size;
        }
    }
}

TEST_F(VarbankClientTest, PagerStopsOnARefusedPath) {
    BrowseRequest request;
    request.path = "NOPE.X";
    request.maximum = 5;
    BrowsePager pager(dico, request);
    BrowsePage page;
    while (pager.Next(page)) {
        EXPECT_EQ(page.Count(), 0U);
    }
    EXPECT_TRUE(FAILED(pager.Status()));
}

} // namespace
