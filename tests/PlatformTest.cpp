#include "BStr.h"
#include "TextConversion.h"
#include "Variant.h"
#include "platform/TextUtil.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(TextConversion, Utf8RoundTripsAndInvalidBytesBecomeReplacements) {
    struct Case {
        std::string utf8;
        std::u16string utf16;
    };
    const Case cases[] = {
        {"", u""},
        {"MOTOR1", u"MOTOR1"},
        {"Vitesse moteur \xC3\xA9t\xC3\xA9", u"Vitesse moteur \u00E9t\u00E9"},
        {"\xE2\x82\xAC \xF0\x9F\x98\x80", u"\u20AC \U0001F600"},
        {"A\xFFZ", u"A\uFFFDZ"},
        {"\xC3", u"\uFFFD"},                     // truncated sequence
        {"\xC0\xAF", u"\uFFFD\uFFFD"},           // overlong form
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"}, // surrogate
        {"\xE2\x82Z", u"\uFFFDZ"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16);
        EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(c.utf16)), c.utf16);
    }
    EXPECT_EQ(Utf16ToUtf8(u"\u00E9 \u20AC \U0001F600 \uFFFD"),
              "\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xEF\xBF\xBD");
    const char16_t lone[] = {u'a', 0xD800, u'z', 0};
    EXPECT_EQ(Utf16ToUtf8(lone), "a\xEF\xBF\xBDz");
    EXPECT_EQ(Utf16ToUtf8(static_cast<const OLECHAR*>(nullptr)), "");
}

TEST(TextConversion, NarrowToWideCountsTheTerminator) {
    BSTR out = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(NarrowToWide(nullptr, &out), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(NarrowToWide("", &out), 1);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(SysStringLen(out), 0U);
    SysFreeString(out);
    EXPECT_EQ(NarrowToWide("\xC3\xA9t\xC3\xA9", &out), 4);
    EXPECT_EQ(std::u16string(out), u"\u00E9t\u00E9");
    EXPECT_EQ(SysStringLen(out), 3U);
    SysFreeString(out);
}

TEST(Platform, CountedStringsAndVariants) {
    BSTR s = SysAllocString(u"abc");
    EXPECT_EQ(SysStringLen(s), 3U);
    EXPECT_EQ(s[3], u'\0');
    SysFreeString(s);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    VARIANT v;
    VariantInit(&v);
    VariantSetText(v, "kind");
    VariantSetInt32(v, -5); // frees the string first
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, -5);
    VariantClear(&v);
    EXPECT_EQ(v.vt, VT_EMPTY);
}

TEST(TextUtil, AtoiLikeAndCaseHelpers) {
    struct Case {
        const char* text;
        std::int32_t value;
    };
    for (Case c : {Case{"", 0}, Case{"-", 0}, Case{"12", 12}, Case{"  -7x", -7}, Case{"+3", 3},
                   Case{"99999999999", INT_MAX}, Case{"-99999999999", INT_MIN},
                   Case{"2147483648", INT_MAX}, Case{"-2147483648", INT_MIN}, Case{"1,2", 1}}) {
        EXPECT_EQ(AtoiLike(c.text), c.value) << c.text;
    }
    EXPECT_EQ(ToUpperAscii("motor\xC3\xA9_1"), "MOTOR\xC3\xA9_1");
    EXPECT_FALSE(EqualsNoCaseAscii("INT", "INT "));
}

} // namespace
