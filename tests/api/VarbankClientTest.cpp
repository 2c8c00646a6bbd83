#include "DictionaryGenerator.h"

#include <Varbank.h>
#include <VarbankClient.h>

#include <gtest/gtest.h>

namespace {

using varbank::BrowsePage;
using varbank::BrowsePager;
using varbank::BrowseRequest;
using varbank::Resolution;

class VarbankClientTest : public ::testing::Test {
protected:
    void SetUp() override { generated::Fill(dico, 500); }

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
