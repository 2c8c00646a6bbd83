#include "CAppParameters.h"
#include "CVarbank.h"

#include <gtest/gtest.h>

namespace {

void SetStamp(CVarbank& dico, std::initializer_list<std::uint32_t> words) {
    int i = 0;
    for (std::uint32_t w : words) {
        dico.m_Stamp[i++] = w;
    }
}

TEST(Stamp, CheckDicoStampComparesWordsZeroToThree) {
    struct Case {
        PLCDicoStamping record;
        CSymb::Consistence expected;
    };
    const Case cases[] = {
        {{{0x11, 0x22, 0x33, 0x44, 0, 0, 0}}, CSymb::CONSISTENCE_OK},
        {{{0x11, 0x22, 0x33, 0x44, 9, 9, 9}}, CSymb::CONSISTENCE_OK}, // words 4..6 ignored
        {{{0x11, 0x23, 0x33, 0x44, 0, 0, 0}}, CSymb::CONSISTENCE_PARTIAL},
        {{{0x12, 0x22, 0x33, 0x44, 0, 0, 0}}, CSymb::CONSISTENCE_MISMATCH},
        {{{0x11, 0x23, 0x34, 0x44, 0, 0, 0}}, CSymb::CONSISTENCE_MISMATCH},
        {{{0x11, 0x22, 0x33, 0x45, 0, 0, 0}}, CSymb::CONSISTENCE_MISMATCH},
    };
    CVarbank dico("APP", "", nullptr);
    SetStamp(dico, {0x11, 0x22, 0x33, 0x44, 0x55});
    for (const Case& c : cases) {
        EXPECT_EQ(dico.CheckDicoStamp(&c.record), c.expected);
    }
    EXPECT_EQ(dico.CheckDicoStamp(nullptr), CSymb::CONSISTENCE_MISMATCH);

    dico.CleanCMaps();
    const PLCDicoStamping zero = {};
    EXPECT_EQ(dico.CheckDicoStamp(&zero), CSymb::CONSISTENCE_NO_STAMP);
    EXPECT_EQ(dico.CheckDicoStamp(nullptr), CSymb::CONSISTENCE_NO_STAMP);
    EXPECT_EQ(dico.GetStampText(), "0:0:0:0:0");
}

CAppParameters StampParameters(std::uint32_t w0, std::uint32_t w1, std::uint32_t w2,
                               std::uint32_t w3) {
    CAppParameters p;
    p.m_Kind = 2;
    p.m_StampWords[0] = w0;
    p.m_StampWords[1] = w1;
    p.m_StampWords[2] = 0xDEAD; // not a stamp word
    p.m_StampWords[3] = w2;
    p.m_StampWords[4] = w3;
    return p;
}

TEST(Stamp, CompareStampRequests) {
    CVarbank dico("APP", "", nullptr);
    SetStamp(dico, {0x11, 0x22, 0x33, 0x44});
    struct Case {
        std::int32_t request;
        CAppParameters params;
        CSymb::Consistence before;
        CSymb::Consistence expected;
    };
    const Case cases[] = {
        {56, StampParameters(0x11, 0x22, 0x33, 0x44), CSymb::CONSISTENCE_NONE,
         CSymb::CONSISTENCE_OK},
        {56, StampParameters(0x11, 0x99, 0x33, 0x44), CSymb::CONSISTENCE_NONE,
         CSymb::CONSISTENCE_PARTIAL},
        {56, StampParameters(0x11, 0x22, 0x33, 0x45), CSymb::CONSISTENCE_OK,
         CSymb::CONSISTENCE_MISMATCH},
        {-2, StampParameters(0x11, 0x22, 0x33, 0x44), CSymb::CONSISTENCE_OK,
         CSymb::CONSISTENCE_NONE},
        {7, StampParameters(0, 0, 0, 0), static_cast<CSymb::Consistence>(4),
         static_cast<CSymb::Consistence>(4)},
    };
    for (const Case& c : cases) {
        CAppParameters params = c.params;
        CSymb::Consistence result = c.before;
        EXPECT_EQ(dico.CompareStamp(c.request, &params, &result, 0), c.expected);
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(dico.GetConsistence(), CSymb::CONSISTENCE_NO_STAMP); // never stored
    }
    // A zero stamp is compared like any other value.
    CVarbank empty("APP", "", nullptr);
    CAppParameters zero = StampParameters(0, 0, 0, 0);
    CSymb::Consistence result = CSymb::CONSISTENCE_NONE;
    EXPECT_EQ(empty.CompareStamp(56, &zero, &result, 0), CSymb::CONSISTENCE_OK);
    // Without a result variable the answer is returned and written nowhere.
    EXPECT_EQ(empty.CompareStamp(56, &zero, nullptr, 0), CSymb::CONSISTENCE_OK);
    EXPECT_EQ(empty.CompareStamp(7, &zero, nullptr, 0), CSymb::CONSISTENCE_NONE);
}

TEST(Stamp, CompareStampRefusesMissingOrForeignParameters) {
    CVarbank dico("APP", "", nullptr);
    CSymb::Consistence result = CSymb::CONSISTENCE_PARTIAL;
    EXPECT_EQ(dico.CompareStamp(56, nullptr, &result, 0), CSymb::CONSISTENCE_NONE);
    EXPECT_EQ(result, CSymb::CONSISTENCE_PARTIAL);
    EXPECT_EQ(dico.GetConsistence(), CSymb::CONSISTENCE_NONE);

    CVarbank other("APP", "", nullptr);
    CAppParameters kindOne = StampParameters(0, 0, 0, 0);
    kindOne.m_Kind = 1;
    EXPECT_EQ(other.CompareStamp(56, &kindOne, &result, 0), CSymb::CONSISTENCE_NONE);
    EXPECT_EQ(other.GetConsistence(), CSymb::CONSISTENCE_NONE);
    // The refusing path takes no lock.
    other.m_Lock.Lock();
    std::thread([&] { other.CompareStamp(56, nullptr, nullptr, 0); }).join();
    other.m_Lock.Unlock();
}

} // namespace
