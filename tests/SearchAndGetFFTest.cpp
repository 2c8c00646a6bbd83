#include "CTraceSink.h"
#include "DictionaryGenerator.h"
#include "ImplemRecord.h"
#include "NarrowResolution.h"
#include "PropertyEntry.h"
#include "TextConversion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kBool = 0x02290148;
constexpr std::uint32_t kInt = 0x0A590148;
constexpr std::uint32_t kDint = 0x06590148;

// Keeps every trace line with its level.
struct RecordingTraceSink : CTraceSink {
    void Trace(std::int32_t level, const char* text) override {
        levels.push_back(level);
        lines.emplace_back(text);
    }
    std::vector<std::int32_t> levels;
    std::vector<std::string> lines;
};

// A dictionary with word memory %MW0..%MW999 in block 1 and bit memory in block 2.
class PlainResolution : public ::testing::Test {
protected:
    PlainResolution() {
        dico.Initialize(0, &sink, 1, "/tmp", 0);
        using generated::Variable;
        Variable(dico, "W", "INT", 1, 20, 2, "%MW10", "word \xC3\xA9t\xC3\xA9")->m_InfoText =
            "T\xC2\xB0 info";
        Variable(dico, "D", "DINT", 1, 40, 4, "", "double");
        Variable(dico, "X", "INT", 1, 24, 2, "", "unlocated");
        Variable(dico, "U", "INT", 9, 24, 2, "", "outside every area");
        Variable(dico, "Flag", "BOOL", 1, 21, 1)->m_Bit = 3;
        Variable(dico, "M5", "BOOL", 2, 5, 1, "%M5");
        Variable(dico, "B1", "BOOL", 1, 30, 1);
        Variable(dico, "FB1", "FB_T", 3, 100, 20);
        Variable(dico, "S1", "ST", 3, 200, 8, "", "a structure");
        Variable(dico, "R", "REAL", 1, 60, 4)->m_Attribute = 0x1234;
        generated::AddType<CSymbXMLDFBDef>(dico, "FB_T", {});
        generated::AddType<CSymbXMLDDTStructDef>(dico, "ST", {});
        dico.m_Stamp[2] = 0xFFFFFFFF;
        dico.m_Stamp[3] = 3;
    }

    struct Answer {
        HRESULT hr = 0;
        std::string address = "untouched";
        std::string comment = "untouched";
        std::unique_ptr<ImplemRecord, decltype(&std::free)> record{nullptr, &std::free};
        std::uint32_t count = 99;
        std::unique_ptr<PropertyEntry[]> properties;
    };

    Answer Resolve(const std::string& name) {
        Answer a;
        const char* names[] = {name.c_str()};
        ImplemRecord* record = reinterpret_cast<ImplemRecord*>(0x1);
        PropertyEntry* properties = reinterpret_cast<PropertyEntry*>(0x1);
        a.hr = dico.SearchAndGetFF(1, names, a.address, a.comment, &record, &a.count, &properties);
        if (a.hr == S_OK) {
            a.record.reset(record);
            a.properties.reset(properties);
        } else {
            EXPECT_EQ(record, nullptr);
            EXPECT_EQ(properties, nullptr);
        }
        return a;
    }

    std::string Text(const Answer& a, std::uint32_t i) {
        EXPECT_EQ(a.properties[i].vValue.vt, VT_BSTR);
        return Utf16ToUtf8(a.properties[i].vValue.bstrVal);
    }

    RecordingTraceSink sink;
    CAppParameters params = generated::Parameters();
    CVarbank dico{"APP", "/tmp", &params};
};

struct PlainCase {
    const char* name;
    std::uint32_t typeCode;
    std::uint32_t accessKind;
    std::uint16_t block;
    std::uint32_t offset;
    std::uint32_t size;
    std::uint8_t bit;
    const char* address;
};

TEST_F(PlainResolution, ResolvedRecordsAndAddressTexts) {
    const PlainCase cases[] = {
        {"W", kInt, 1, 1, 20, 2, 255, "%MW10"},
        {"  w", kInt, 1, 1, 20, 2, 255, "%MW10"},  // leading blanks, lower case
        {"W.3", kBool, 2, 1, 20, 2, 3, "%MW10.3"}, // suffix appended to the declared text
        {"W.15", kBool, 2, 1, 20, 2, 15, "%MW10.15"},
        {"W.", kBool, 2, 1, 20, 2, 0, "%MW10."}, // a bare "." is bit 0
        {"W.-0", kBool, 2, 1, 20, 2, 0, "%MW10.-0"},
        {"X", kInt, 1, 1, 24, 2, 255, "%MW12"}, // computed address
        {"X.4", kBool, 2, 1, 24, 2, 4, "%MW12.4"},
        {"D", kDint, 1, 1, 40, 4, 255, "%MW20"},
        {"FLAG", kBool, 2, 1, 20, 2, 11, "%MW10.11"}, // stored bit, odd offset
        {"B1", kBool, 1, 1, 30, 1, 255, "%MW15.0"},
        {"M5", kBool, 1, 2, 5, 1, 255, "%M5"},
        {"U", kInt, 1, 9, 24, 2, 255, ""},
        {"S1", 0x208, 1, 3, 200, 8, 255, ""}, // a structure variable continues
    };
    for (const PlainCase& c : cases) {
        SCOPED_TRACE(c.name);
        Answer a = Resolve(c.name);
        ASSERT_EQ(a.hr, S_OK);
        tagRATVARPHYSICALIMPLEM expected = {};
        expected.dwTypeCode = c.typeCode;
        expected.dwAccessKind = c.accessKind;
        expected.dwAreaKind = 1;
        expected.wBlock =
            std::string(c.name) == "M5" ? 2 : (c.address[0] == 0 ? a.record->Record.wBlock : 1);
        expected.dwOffset = c.offset;
        expected.dwSize = c.size;
        expected.byBit = c.bit;
        expected.dwReserved1 = 1;
        expected.dwStampSum = 2; // 0xFFFFFFFF + 3 wraps
        EXPECT_EQ(std::memcmp(&a.record->Record, &expected, sizeof(expected)), 0);
        EXPECT_EQ(a.record->dwAttribute, 0U);
        EXPECT_EQ(a.address, c.address);
        ASSERT_EQ(a.count, c.address[0] == 0 ? 6U : 7U);
        const std::uint32_t ids[] = {5003, 5004, 5005, 5007, 5001, 5010, 5011};
        for (std::uint32_t i = 0; i < a.count; ++i) {
            EXPECT_EQ(a.properties[i].dwPropertyId, ids[i]);
        }
        EXPECT_EQ(a.properties[0].vValue.vt, VT_I4);
        EXPECT_EQ(a.properties[0].vValue.lVal, c.block);
        EXPECT_EQ(a.properties[1].vValue.lVal, static_cast<std::int32_t>(c.offset));
        EXPECT_EQ(a.properties[2].vValue.lVal, static_cast<std::int32_t>(c.size));
        if (a.count == 7) {
            EXPECT_EQ(Text(a, 6), c.address);
        }
    }
    EXPECT_TRUE(sink.lines.empty());
}

TEST_F(PlainResolution, TextsArriveAsUtf16AndAttributeIsPassedOn) {
    Answer w = Resolve("W");
    ASSERT_EQ(w.hr, S_OK);
    EXPECT_EQ(w.comment, "word \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(std::u16string(w.properties[5].vValue.bstrVal), u"T\u00B0 info");
    EXPECT_EQ(Text(w, 3), "INT");
    EXPECT_EQ(Text(w, 4), "EDT");
    Answer bit = Resolve("W.2");
    EXPECT_EQ(Text(bit, 4), "EDT"); // the kind of the BOOL code
    Answer s = Resolve("S1");
    EXPECT_EQ(Text(s, 3), "ST");
    EXPECT_EQ(Text(s, 4), "Unknown");
    EXPECT_EQ(Text(s, 5), "");
    Answer r = Resolve("R");
    EXPECT_EQ(r.record->dwAttribute, 0x1234U);
}

TEST_F(PlainResolution, RefusalsWithTheirCodesAndTraces) {
    struct Refusal {
        std::string name;
        HRESULT hr;
        const char* trace; // empty: no trace line
    };
    const Refusal cases[] = {
        {"NOPE", -1, "KorvoPro Reader <PLC Embedded> :SearchAndGetFF: invalid type for NOPE"},
        {"W ", -1, "KorvoPro Reader <PLC Embedded> :SearchAndGetFF: invalid type for W "},
        {"  nope", -1, "KorvoPro Reader <PLC Embedded> :SearchAndGetFF: invalid type for nope"},
        {"FB1", -1, "KorvoPro Reader <PLC Embedded>:SearchAndGetFF:Can't animate FULL DFB"},
        {"W[X]", -1,
         "KorvoPro Reader <PLC Embedded>:SearchAndGetFF:Extract bit with bat bit index"},
        {"A.B.C.D.E.F.G.H.I.J.K.L.M.N.O.P.Q", -1,
         "KorvoPro Reader <PLC Embedded>:SearchAndGetFF:Extract bit with bat bit index"},
        {"W.16", -1, ""},
        {"W.-1", -1, ""},
        {"W.99999999999999999999", -1, ""},
        {"D.3", -1, ""},
        {"FLAG.1", -1, ""}, // one byte, not a word
        {"nope.x", -1, "KorvoPro Reader <PLC Embedded>:SearchAndGetFF: unknown variable nope"},
        {"W.X", -1, "KorvoPro Exported Reader:SearchAndGetFF: invalid type INT for W"},
        {"S1.A", E_INVALIDARG, ""}, // refused by the member-path analysis
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        sink.lines.clear();
        Answer a = Resolve(c.name);
        EXPECT_EQ(a.hr, c.hr);
        EXPECT_EQ(a.count, 0U);
        EXPECT_EQ(a.address, "untouched");
        EXPECT_EQ(a.comment, "untouched");
        if (c.trace[0] == 0) {
            EXPECT_TRUE(sink.lines.empty());
        } else {
            ASSERT_EQ(sink.lines.size(), 1U);
            EXPECT_EQ(sink.lines[0], c.trace);
            EXPECT_EQ(sink.levels[0], 2);
        }
    }
    // Tracing off, or no sink: the same results, silently.
    dico.SetTraceEnabled(0);
    sink.lines.clear();
    EXPECT_EQ(Resolve("NOPE").hr, -1);
    dico.Initialize(0, nullptr, 1, "/tmp", 0);
    EXPECT_EQ(Resolve("FB1").hr, -1);
    EXPECT_TRUE(sink.lines.empty());
}

// The UTF-8 entry point gives what SearchAndGetFF hands out, its property texts as they come
// back from UTF-16 (bad UTF-8 replaced, a text cut at a NUL); fetching names ahead beforehand,
// odd names included, changes nothing.
TEST_F(PlainResolution, NarrowResolutionIsSearchAndGetFFInUtf8) {
    using generated::Variable;
    Variable(dico, "Odd", "INT", 1, 70, 2, "", "bad \xFF comment")->m_InfoText = "bad \xC3 info";
    Variable(dico, "Cut", "INT", 1, 72, 2)->m_InfoText = std::string("before\0after", 12);
    CSymbXMLItemDef* wideTexts = Variable(dico, "Wide", "INT", 1, 74, 2);
    wideTexts->m_InfoText = "\xF0\x9F\x98\x80 \xE2\x82\xAC";
    wideTexts->m_TypeName = "I\xFFNT \xC3\xA9";
    const std::vector<std::string> names = {"W", "w",    " W",   "W.3",    "W.16", "D",  "X",
                                            "U", "Flag", "M5",   "B1",     "FB1",  "S1", "S1.A",
                                            "R", "Odd",  "Cut",  "Wide",   "Nope", "",   "   ",
                                            ".", "[1]",  "W[1]", "Nope.X", "FB1.X"};
    dico.PrefetchItems(names);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const Answer wide = Resolve(name);
        NarrowResolution narrow;
        narrow.address = "untouched";
        ASSERT_EQ(dico.ResolveNarrow(name, narrow), wide.hr);
        if (wide.hr != S_OK) {
            EXPECT_EQ(narrow.address, "untouched");
            continue;
        }
        EXPECT_EQ(std::memcmp(&narrow.implem, wide.record.get(), sizeof(ImplemRecord)), 0);
        EXPECT_EQ(narrow.address, wide.address);
        EXPECT_EQ(narrow.comment, wide.comment);
        EXPECT_EQ(narrow.typeName, Text(wide, 3));
        EXPECT_EQ(narrow.kind, Text(wide, 4));
        EXPECT_EQ(narrow.info, Text(wide, 5));
        EXPECT_EQ(narrow.addressListed, wide.count == 7);
    }
}

TEST_F(PlainResolution, ArgumentChecks) {
    std::string address;
    std::string comment;
    ImplemRecord* record = reinterpret_cast<ImplemRecord*>(0x1);
    PropertyEntry* properties = reinterpret_cast<PropertyEntry*>(0x1);
    std::uint32_t count = 42;
    const char* names[] = {"W"};
    const char* none[] = {nullptr};
    auto resolve = [&](std::uint32_t n, const char* const* list, ImplemRecord** pRecord) {
        return dico.SearchAndGetFF(n, list, address, comment, pRecord, &count, &properties);
    };
    EXPECT_EQ(resolve(2, names, &record), E_INVALIDARG);
    EXPECT_EQ(resolve(1, none, &record), E_INVALIDARG);
    EXPECT_EQ(resolve(1, nullptr, &record), E_INVALIDARG);
    EXPECT_EQ(resolve(1, names, nullptr), E_INVALIDARG);
    EXPECT_EQ(count, 42U); // outputs untouched
    EXPECT_EQ(record, reinterpret_cast<ImplemRecord*>(0x1));
    EXPECT_EQ(resolve(0, names, &record), S_OK); // nNames 0 still reads the first name
    std::free(record);
    delete[] properties;
}

} // namespace
