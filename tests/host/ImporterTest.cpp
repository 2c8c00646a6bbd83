#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using namespace hosttest;

struct TypeCase {
    const char* what;
    std::string type;    // the <type> content of a global X
    std::string libName; // what the dictionary is given
    std::uint32_t size;
};

// Each way of writing a type reaches the dictionary's vocabulary with the memory model's size.
TEST(Importer, TypesMapToTheDictionaryVocabulary) {
    const std::string dataTypes =
        Struct("Pair", Var("A", "<BOOL/>") + Var("B", "<DINT/>")) +
        "<dataType name=\"Level\"><baseType><enum><values><value name=\"Low\"/>"
        "<value name=\"High\"/></values></enum></baseType></dataType>\n"
        "<dataType name=\"Small\"><baseType><subrangeUnsigned><range lower=\"1\" upper=\"9\"/>"
        "<baseType><UINT/></baseType></subrangeUnsigned></baseType></dataType>\n"
        "<dataType name=\"Alias\"><baseType><derived name=\"Small\"/></baseType></dataType>\n"
        "<dataType name=\"Row\"><baseType><array><dimension lower=\"0\" upper=\"2\"/>"
        "<baseType><INT/></baseType></array></baseType></dataType>\n";
    const std::string tenDims = "0..1" + Repeat(",0..1", 9);
    const TypeCase cases[] = {
        {"INT", "<INT/>", "INT", 2},
        {"SINT is byte-sized", "<SINT/>", "BYTE", 1},
        {"LREAL is the 8-byte keyword", "<LREAL/>", "DT", 8},
        {"STRING", "<string/>", "STRING", 16},
        {"STRING with a length", "<string length=\"30\"/>", "STRING[30]", 30},
        {"WSTRING", "<wstring/>", "WSTRING", 2},
        {"long elementary name", "<derived name=\"time_of_day\"/>", "TOD", 4},
        {"text STRING(n)", "<derived name=\"STRING(5)\"/>", "STRING[5]", 5},
        {"enumeration counts as INT", "<derived name=\"Level\"/>", "INT", 2},
        {"subrange is its base", "<derived name=\"Small\"/>", "UINT", 2},
        {"alias of an alias", "<derived name=\"alias\"/>", "UINT", 2},
        // Written in place, a subrange or enumeration is its base type too.
        {"subrange in place",
         "<subrangeSigned><range lower=\"0\" upper=\"9\"/><baseType><DINT/></baseType>"
         "</subrangeSigned>",
         "DINT", 4},
        {"subrange in place without integer bounds",
         "<subrangeSigned><range lower=\"N\" upper=\"9\"/><baseType><SINT/></baseType>"
         "</subrangeSigned>",
         "BYTE", 1},
        {"enumeration in place", "<enum><values><value name=\"A\"/></values></enum>", "INT", 2},
        {"enumeration in place on a base",
         "<enum><values><value name=\"A\"/></values><baseType><UDINT/></baseType></enum>", "UDINT",
         4},
        {"array of a subrange in place",
         "<array><dimension lower=\"1\" upper=\"4\"/><baseType><subrangeUnsigned><range "
         "lower=\"1\" upper=\"2\"/><baseType><UINT/></baseType></subrangeUnsigned></baseType>"
         "</array>",
         "ARRAY[1..4] OF UINT", 8},
        {"structure", "<derived name=\"Pair\"/>", "Pair", 8},
        {"pointer", "<pointer><baseType><INT/></baseType></pointer>", "UDINT", 4},
        {"library type", "<derived name=\"Json_Var\"/>", "Json_Var", 2},
        {"library type under its namespace", "<derived name=\"Json.Variant\"/>", "Json.Variant", 2},
        {"two dimensions",
         "<array><dimension lower=\"1\" upper=\"3\"/><dimension lower=\"0\" "
         "upper=\"9\"/><baseType><REAL/></baseType></array>",
         "ARRAY[1..3, 0..9] OF REAL", 120},
        {"array of structures",
         "<array><dimension lower=\"-1\" upper=\"1\"/><baseType>"
         "<derived name=\"Pair\"/></baseType></array>",
         "ARRAY[-1..1] OF Pair", 24},
        {"array of a named array",
         "<array><dimension lower=\"0\" upper=\"1\"/><baseType>"
         "<derived name=\"Row\"/></baseType></array>",
         "ARRAY[0..1] OF ARRAY[0..2] OF INT", 12},
        {"array text with a constant bound", "<derived name=\"ARRAY[1..N] OF STRING[4]\"/>",
         "ARRAY[1..5] OF STRING[4]", 20},
        {"array of an array text", "<derived name=\"ARRAY [0..1] OF ARRAY[1..2, 1..2] OF BOOL\"/>",
         "ARRAY[0..1] OF ARRAY[1..2, 1..2] OF BOOL", 8},
        {"one element", "<derived name=\"ARRAY[1..1] OF DINT\"/>", "ARRAY[1..1] OF DINT", 4},
        {"the most elements of a dimension", "<derived name=\"ARRAY[1..1048576] OF BOOL\"/>",
         "ARRAY[1..1048576] OF BOOL", 1048576},
        {"the most dimensions", "<derived name=\"ARRAY[" + tenDims + "] OF BOOL\"/>",
         "ARRAY[0..1" + Repeat(", 0..1", 9) + "] OF BOOL", 1024},
    };
    for (const TypeCase& c : cases) {
        SCOPED_TRACE(c.what);
        Diagnostics diagnostics("t.xml");
        const std::string globals = Var("N", "<INT/>", "", "5") + Var("X", c.type);
        const auto layout = Import(Project(dataTypes, "", globals), diagnostics);
        ASSERT_TRUE(layout) << diagnostics.Entries().front().message;
        const VariableLayout* x = FindNamed(layout->variables, "X");
        ASSERT_NE(x, nullptr);
        EXPECT_EQ(x->TypeName(), c.libName);
        EXPECT_EQ(x->size, c.size);
    }
}

// Unlocated variables follow each other in declaration order in block 3, each aligned to its
// type; located ones lie where their address says, inputs and outputs by address in blocks of
// their own, location paths in slot blocks.
TEST(Importer, VariablesAreLaidOutInTheirBlocks) {
    const std::string globals =
        Var("A", "<BOOL/>") + Var("W", "<WORD/>", "%MW10") + Var("B", "<INT/>") +
        Var("C", "<BYTE/>") + Var("M", "<BOOL/>", "%M7") + Var("D", "<DINT/>") +
        Var("E", "<string length=\"3\"/>") + Var("X", "<BOOL/>", "%MX40.3") + Var("F", "<LREAL/>") +
        Var("G", "<derived name=\"S\"/>") + Var("H", "<BOOL/>") + Var("I", "<BOOL/>", "%IX0.1") +
        Var("Q", "<DINT/>", "%QD2") + Var("I2", "<INT/>", "%IW7") +
        Var("Last", "<BYTE/>", "%MB4294967293") + Var("F1", "<BYTE/>", "%IB0.0.32.1") +
        Var("F2", "<INT/>", "%IW0.0.32.2") + Var("F3", "<BOOL/>", "%QX1.2.3");
    Diagnostics diagnostics("t.xml");
    const auto layout = Import(Project(Struct("S", Var("X", "<BOOL/>")), "", globals), diagnostics);
    ASSERT_TRUE(layout);
    const std::tuple<const char*, std::uint16_t, std::uint32_t, std::uint8_t> expected[] = {
        {"A", 3, 0, 255},  {"B", 3, 2, 255},   {"C", 3, 4, 255},
        {"D", 3, 8, 255},  {"E", 3, 12, 255},  {"F", 3, 16, 255},
        {"G", 3, 24, 255}, {"H", 3, 26, 255},  {"W", 1, 20, 255},
        {"M", 2, 7, 255},  {"X", 1, 40, 3},    {"I", 4, 0, 1},
        {"Q", 5, 8, 255},  {"I2", 4, 14, 255}, {"Last", 1, 4294967293U, 255},
        {"F1", 6, 0, 255}, {"F2", 6, 2, 255},  {"F3", 7, 0, 255}};
    for (const auto& [name, block, offset, bit] : expected) {
        const VariableLayout* variable = FindNamed(layout->variables, name);
        ASSERT_NE(variable, nullptr) << name;
        EXPECT_EQ(variable->block, block) << name;
        EXPECT_EQ(variable->offset, offset) << name;
        EXPECT_EQ(variable->bit, bit) << name;
    }
    // A structure of one BOOL takes a word.
    EXPECT_EQ(FindNamed(layout->variables, "G")->size, 2U);
    EXPECT_EQ(FindNamed(layout->variables, "X")->address, "%MX40.3");
    EXPECT_EQ(layout->wordCount, 2147483647U); // the last byte of the word area
    EXPECT_EQ(layout->bitCount, 8U);
    // Each block is sized by the highest address (or the last slot) it holds.
    const std::array<std::uint64_t, 9> ends = {0, 4294967294U, 8, 27, 16, 12, 4, 1, 0};
    EXPECT_EQ(layout->blockEnds, ends);
}

struct AddressCase {
    const char* name;
    const char* type;
    const char* address;
    std::uint16_t block;
    std::uint32_t offset;
    std::uint8_t bit;
    const char* warning; // part of the variable's warning; empty: none
};

// No address an IEC editor writes is refused. The bit forms stay bits of the linear areas;
// location paths take one slot each, in declaration order, in their area's slot block; an
// address the model cannot place takes a slot too, with a warning naming it and why.
TEST(Importer, EveryIecAddressIsImported) {
    const AddressCase cases[] = {
        {"Bit1", "<BOOL/>", "%MX30.2", 1, 30, 2, ""},
        {"Bit2", "<BOOL/>", "%IW2.5", 4, 4, 5, ""},
        {"Bit3", "<BOOL/>", "%IX0.1", 4, 0, 1, ""},
        {"Bit4", "<BOOL/>", "%MW12.3", 1, 24, 3, ""},
        {"In", "<DWORD/>", "%ID3.1", 6, 0, 255, ""},
        {"Out", "<DWORD/>", "%QD3.1", 7, 0, 255, ""},
        {"Mem", "<DWORD/>", "%MD0.2.0", 8, 0, 255, ""},
        {"Flag", "<BOOL/>", "%M1.2", 8, 4, 255, ""},
        {"InByte", "<BYTE/>", "%IB1.2", 6, 4, 255, ""},
        {"InLong", "<LWORD/>", "%IL0.1", 6, 8, 255, ""},
        {"MemWord", "<WORD/>", "%MW1.2.3", 8, 6, 255, ""},
        {"WideBit", "<BOOL/>", "%MX1.9", 8, 8, 255, "read as a location path: bit 9 lies beyond"},
        {"WordBit", "<BOOL/>", "%IW0.16", 6, 16, 255, "bit 16 lies beyond a word"},
        {"End", "<WORD/>", "%MB4294967295", 8, 10, 255, "cannot be placed (it ends beyond 32"},
        {"Io", "<BOOL/>", "%I*", 6, 17, 255, "cannot be placed (it is incomplete"},
        {"Far", "<DWORD/>", "%MD1073741824", 8, 12, 255, "does not fit 32 bits"},
        {"Past", "<BOOL/>", "%M2147483648", 8, 16, 255, "the bit area ends with %M2147483647"},
        {"Top", "<INT/>", "%MW2147483647", 8, 18, 255, "the word area ends with %MW2147483646"},
    };
    std::string globals;
    for (const AddressCase& c : cases) {
        globals += Var(c.name, c.type, c.address);
    }
    Diagnostics diagnostics("t.xml");
    const auto layout = Import(Project("", "", globals), diagnostics);
    ASSERT_TRUE(layout);
    for (const AddressCase& c : cases) {
        SCOPED_TRACE(c.address);
        const VariableLayout* variable = FindNamed(layout->variables, c.name);
        ASSERT_NE(variable, nullptr);
        EXPECT_EQ(variable->block, c.block);
        EXPECT_EQ(variable->offset, c.offset);
        EXPECT_EQ(variable->bit, c.bit);
        EXPECT_EQ(variable->address, c.address);
        const std::string named = "'" + std::string(c.name) + "'";
        const auto warning =
            std::find_if(diagnostics.Entries().begin(), diagnostics.Entries().end(),
                         [&](const Diagnostics::Entry& e) {
                             return e.message.find(named) != std::string::npos;
                         });
        if (*c.warning == '\0') {
            EXPECT_EQ(warning, diagnostics.Entries().end());
        } else {
            ASSERT_NE(warning, diagnostics.Entries().end());
            EXPECT_EQ(warning->severity, Diagnostics::Severity::Warning);
            EXPECT_NE(warning->message.find(c.warning), std::string::npos) << warning->message;
        }
    }
    EXPECT_EQ(layout->blockEnds[LocatedAddress::kMemorySlotBlock], 20U);
}

TEST(Importer, StructuresAndFunctionBlocksLayOutTheirMembers) {
    const std::string pous = "<pou name=\"Valve\" pouType=\"functionBlock\"><interface>"
                             "<inputVars>" +
                             Var("Open", "<BOOL/>") + Var("Limit", "<REAL/>") +
                             "</inputVars>"
                             "<localVars>" +
                             Var("Count", "<INT/>") + Var("Timer", "<derived name=\"ton\"/>") +
                             "</localVars><outputVars>" + Var("Done", "<BOOL/>") +
                             "</outputVars>"
                             "<externalVars>" +
                             Var("Shared", "<INT/>") + "</externalVars></interface></pou>\n";
    Diagnostics diagnostics("t.xml");
    const auto layout =
        Import(Project("", pous, Var("V1", "<derived name=\"Valve\"/>")), diagnostics);
    ASSERT_TRUE(layout);
    const CompositeLayout* valve = FindNamed(layout->composites, "Valve");
    ASSERT_NE(valve, nullptr);
    EXPECT_TRUE(valve->functionBlock);
    // Inputs and outputs share the ordinary area, locals have a secondary area of their own;
    // external variables take no room.
    const std::tuple<const char*, std::uint32_t, std::uint16_t> expected[] = {
        {"Open", 0, 1}, {"Limit", 4, 1}, {"Count", 0, 2}, {"Timer", 2, 2}, {"Done", 8, 1}};
    ASSERT_EQ(valve->members.size(), std::size(expected));
    for (std::size_t i = 0; i < valve->members.size(); ++i) {
        EXPECT_EQ(valve->members[i].name, std::get<0>(expected[i]));
        EXPECT_EQ(valve->members[i].offset, std::get<1>(expected[i]));
        EXPECT_EQ(valve->members[i].areaKind, std::get<2>(expected[i]));
    }
    EXPECT_EQ(valve->size, 10U);
    // The standard timer is known without a declaration, with its standard interface.
    const CompositeLayout* ton = FindNamed(layout->composites, "TON");
    ASSERT_NE(ton, nullptr);
    ASSERT_EQ(ton->members.size(), 4U);
    EXPECT_EQ(ton->members[1].name, "PT");
    EXPECT_EQ(ton->members[3].offset, 12U);
}

// A program instance is a variable of the program's structure. The program's located variables
// are top-level variables at their addresses, placed once however many instances run it; one
// whose address is incomplete stays a member and its comment tells the address.
TEST(Importer, ProgramInstancesAndTheLocatedVariablesOfTheirPrograms) {
    const std::string pous = "<pou name=\"Main\" pouType=\"program\"><interface><localVars>" +
                             Var("Speed", "<INT/>") + Var("Out", "<BYTE/>", "%QB0.0.16.1") +
                             Var("Lamp", "<BOOL/>", "%QX3.2") + Var("Spare", "<BOOL/>", "%IX*") +
                             "</localVars><externalVars>" + Var("G", "<INT/>") +
                             "</externalVars></interface></pou>";
    const std::string instances = "<task name=\"T\" priority=\"1\"><pouInstance name=\"Inst\" "
                                  "typeName=\"main\"/><pouInstance name=\"Inst2\" "
                                  "typeName=\"Main\"/></task>\n";
    Diagnostics diagnostics("t.xml");
    const auto layout = Import(Project("", pous, Var("G", "<INT/>"), instances), diagnostics);
    ASSERT_TRUE(layout);
    const std::tuple<const char*, const char*, std::uint16_t, std::uint32_t, std::uint8_t>
        expected[] = {{"G", "INT", 3, 0, 255},
                      {"Inst", "Main", 3, 2, 255},
                      {"Out", "BYTE", 7, 0, 255},
                      {"Lamp", "BOOL", 5, 3, 2},
                      {"Inst2", "Main", 3, 6, 255}};
    ASSERT_EQ(layout->variables.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const auto& [name, type, block, offset, bit] = expected[i];
        const VariableLayout& variable = layout->variables[i];
        EXPECT_EQ(variable.name, name);
        EXPECT_EQ(variable.TypeName(), type);
        EXPECT_EQ(variable.block, block) << name;
        EXPECT_EQ(variable.offset, offset) << name;
        EXPECT_EQ(variable.bit, bit) << name;
    }
    EXPECT_EQ(layout->variables[3].address, "%QX3.2");
    const CompositeLayout* program = FindNamed(layout->composites, "Main");
    ASSERT_NE(program, nullptr);
    EXPECT_FALSE(program->functionBlock);
    ASSERT_EQ(program->members.size(), 2U);
    EXPECT_EQ(program->members[1].name, "Spare");
    EXPECT_EQ(program->members[1].comment, "AT %IX*");
}

// <addData> holding the given <data> elements, each a URI and its content.
std::string AddData(const std::vector<std::pair<std::string, std::string>>& data) {
    std::string text = "<addData>\n";
    for (const auto& [uri, content] : data) {
        text += "<data name=\"" + uri + "\" handleUnknown=\"implementation\">\n" + content +
                "</data>\n";
    }
    return text + "</addData>\n";
}

// The document with text inserted before the first occurrence of a closing tag.
std::string InsertBefore(std::string xml, const std::string& closing, const std::string& text) {
    xml.insert(xml.find(closing), text);
    return xml;
}

// An IDE may keep its programs and global lists in the extension data of a resource, a
// configuration or the project, named by a vendor's URI whose last segment tells what it holds;
// they read as if written in place, and an instance with an empty type name runs the program
// it is named after. Data of another kind is skipped, even when it holds POUs.
TEST(Importer, ProgramsAndGlobalListsInExtensionData) {
    const std::string program =
        "<pou name=\"PRG_MAIN\" pouType=\"program\"><interface><localVars>\n" +
        Var("Speed", "<INT/>") + "</localVars><externalVars>" + Var("X", "<INT/>") +
        "</externalVars></interface><body><ST><xhtml>Speed := X;</xhtml></ST></body></pou>\n";
    const std::string globals = "<globalVars name=\"GVL\">\n" + Var("X", "<INT/>", "", "7") +
                                Var("Lamp", "<BOOL/>", "%QX0.1") + "</globalVars>\n";
    const std::pair<std::string, std::string> ignored = {
        "http://www.3s-software.com/plcopenxml/pouinstance",
        "<pou name=\"Ghost\" pouType=\"program\"><interface/></pou>\n"};
    const std::string extension =
        AddData({{"http://www.3s-software.com/plcopenxml/pou", program},
                 {"http://www.3s-software.com/plcopenxml/globalvars", globals},
                 ignored});
    const std::string task = "<task name=\"MainTask\" priority=\"1\">"
                             "<pouInstance name=\"PRG_MAIN\" typeName=\"\"/></task>\n";
    const std::string bare = Project("", "", "", task);
    const std::tuple<const char*, std::string> cases[] = {
        {"a resource's", Project("", "", "", extension + task)},
        {"a configuration's", InsertBefore(bare, "</configuration>", extension)},
        {"the project's", InsertBefore(bare, "</project>", extension)},
        {"any vendor, any case, program in place",
         Project("", program, "",
                 AddData({{"urn:Example:PLCopenXML/GlobalVars/", globals}, ignored}) + task)},
    };
    for (const auto& [what, xml] : cases) {
        SCOPED_TRACE(what);
        Diagnostics diagnostics("t.xml");
        const auto layout = Import(xml, diagnostics);
        ASSERT_TRUE(layout) << diagnostics.Format(diagnostics.Entries().front());
        EXPECT_TRUE(diagnostics.Entries().empty());
        const std::tuple<const char*, const char*, std::uint16_t, std::uint32_t> expected[] = {
            {"X", "INT", 3, 0}, {"Lamp", "BOOL", 5, 0}, {"PRG_MAIN", "PRG_MAIN", 3, 2}};
        ASSERT_EQ(layout->variables.size(), std::size(expected));
        for (std::size_t i = 0; i < std::size(expected); ++i) {
            const auto& [name, type, block, offset] = expected[i];
            EXPECT_EQ(layout->variables[i].name, name);
            EXPECT_EQ(layout->variables[i].TypeName(), type);
            EXPECT_EQ(layout->variables[i].block, block) << name;
            EXPECT_EQ(layout->variables[i].offset, offset) << name;
        }
        EXPECT_EQ(FindNamed(layout->variables, "X")->initialValue, "7");
        const CompositeLayout* main = FindNamed(layout->composites, "PRG_MAIN");
        ASSERT_NE(main, nullptr);
        ASSERT_EQ(main->members.size(), 1U);
        EXPECT_EQ(main->members[0].name, "Speed");
        EXPECT_EQ(FindNamed(layout->composites, "Ghost"), nullptr);
    }
}

// A POU or a named global list declared both in place and in extension data is refused once, on
// its second declaration, names compared without case; the list's variables are not reported
// one by one.
TEST(Importer, DeclarationsRepeatedInExtensionDataAreRefused) {
    const auto programPou = [](const std::string& name) {
        return "<pou name=\"" + name + "\" pouType=\"program\"><interface><localVars>" +
               Var("A", "<INT/>") + "</localVars></interface></pou>\n";
    };
    const auto list = [](const std::string& name) {
        return "<globalVars name=\"" + name + "\">\n" + Var("A", "<INT/>") + Var("B", "<INT/>") +
               "</globalVars>\n";
    };
    const std::string pouUri = "http://vendor.example/plcopenxml/pou";
    const std::string listUri = "http://vendor.example/plcopenxml/globalvars";
    // Each case: the document, the names of the first and second declaration as written, and
    // the report's start.
    const std::tuple<const char*, std::string, const char*, const char*, const char*> cases[] = {
        {"POU in types and in a resource's data",
         Project("", programPou("Prg"), "", AddData({{pouUri, programPou("PRG")}})), "Prg", "PRG",
         "duplicate type name 'PRG'"},
        {"POU twice in extension data",
         InsertBefore(Project("", "", "", AddData({{pouUri, programPou("Prg")}})), "</project>",
                      AddData({{pouUri, programPou("prg")}})),
         "Prg", "prg", "duplicate type name 'prg'"},
        {"global list in a resource and in its data",
         Project("", "", "", list("GVL") + AddData({{listUri, list("gvl")}})), "GVL", "gvl",
         "duplicate global variable list 'gvl'"},
    };
    for (const auto& [what, xml, first, second, report] : cases) {
        SCOPED_TRACE(what);
        const auto lineOf = [&xml = xml](const std::string& name) {
            const auto at = xml.begin() + static_cast<std::ptrdiff_t>(xml.find('"' + name + '"'));
            return 1 + static_cast<std::size_t>(std::count(xml.begin(), at, '\n'));
        };
        Diagnostics diagnostics("t.xml");
        EXPECT_FALSE(Import(xml, diagnostics));
        ASSERT_EQ(diagnostics.Entries().size(), 1U);
        const Diagnostics::Entry& entry = diagnostics.Entries().front();
        EXPECT_EQ(entry.line, lineOf(second));
        EXPECT_EQ(entry.message, std::string(report) + " (first declared at line " +
                                     std::to_string(lineOf(first)) + ")");
    }
}

// Types of libraries that the file leaves out become opaque structures, one per name (as first
// written), each reported once at its first use with the count of its uses; strict refuses
// the file with the same reports as errors.
TEST(Importer, LibraryTypesAreOpaqueAndReportedOnce) {
    const std::string file = VARBANK_SOURCE_DIR "/tests/host/data/library_types.xml";
    const std::vector<std::string> reports = {
        "lib.xml:13: type 'JSON_VAR' is not declared in this file (a library type?): its 3 "
        "variables are kept without members",
        "lib.xml:23: type 'MC_Power' is not declared in this file (a library type?): its 1 "
        "variable is kept without members"};
    for (const bool strict : {false, true}) {
        SCOPED_TRACE(strict);
        Diagnostics diagnostics("lib.xml");
        const auto layout = ProjectImporter(diagnostics, {strict}).ImportFile(file);
        std::vector<std::string> printed;
        for (const Diagnostics::Entry& entry : diagnostics.Entries()) {
            printed.push_back(diagnostics.Format(entry));
        }
        EXPECT_EQ(printed, reports);
        EXPECT_EQ(diagnostics.ErrorCount(), strict ? 2U : 0U);
        ASSERT_EQ(layout.has_value(), !strict);
        if (strict) {
            continue;
        }
        const std::tuple<const char*, const char*, std::uint32_t, std::uint32_t> expected[] = {
            {"Reply", "JSON_VAR", 0, 2},
            {"History", "ARRAY[1..3] OF JSON_VAR", 2, 6},
            {"Last", "Message", 8, 6}};
        for (const auto& [name, type, offset, size] : expected) {
            const VariableLayout* variable = FindNamed(layout->variables, name);
            ASSERT_NE(variable, nullptr) << name;
            EXPECT_EQ(variable->TypeName(), type);
            EXPECT_EQ(variable->offset, offset) << name;
            EXPECT_EQ(variable->size, size) << name;
        }
        const CompositeLayout* opaque = FindNamed(layout->composites, "JSON_VAR");
        ASSERT_NE(opaque, nullptr);
        EXPECT_TRUE(opaque->members.empty());
        EXPECT_EQ(opaque->size, 2U);
        EXPECT_EQ(FindNamed(layout->composites, "json_var"), nullptr);
        EXPECT_EQ(FindNamed(layout->composites, "Message")->members[2].offset, 4U);
    }
}

TEST(Importer, CommentsNamespacesAndPrefixes) {
    const std::string documented =
        "<variable name=\"D\"><type><INT/></type><documentation><xhtml:p "
        "xmlns:xhtml=\"http://www.w3.org/1999/xhtml\"><![CDATA[  motor\r\n   speed ]]>"
        "</xhtml:p></documentation></variable>";
    Diagnostics plain("t.xml");
    const auto layout = Import(Project("", "", documented), plain);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->variables.front().comment, "motor speed");
    EXPECT_TRUE(plain.Entries().empty());

    // Another namespace is read as tc6_0201, with a warning; a prefixed document reads alike.
    std::string old = Project("", "", documented);
    old.replace(old.find("tc6_0201"), 8, "tc6.xsd");
    Diagnostics warned("t.xml");
    ASSERT_TRUE(Import(old, warned));
    ASSERT_EQ(warned.Entries().size(), 1U);
    EXPECT_FALSE(warned.Entries().front().IsError());
    const std::string prefixed =
        "<ppx:project xmlns:ppx=\"http://www.plcopen.org/xml/tc6_0200\"><ppx:types>"
        "<ppx:dataTypes/><ppx:pous/></ppx:types><ppx:instances><ppx:configurations>"
        "<ppx:configuration name=\"C\"><ppx:globalVars><ppx:variable name=\"P\"><ppx:type>"
        "<ppx:INT/></ppx:type></ppx:variable></ppx:globalVars></ppx:configuration>"
        "</ppx:configurations></ppx:instances></ppx:project>";
    Diagnostics quiet("t.xml");
    const auto prefixedLayout = Import(prefixed, quiet);
    ASSERT_TRUE(prefixedLayout);
    EXPECT_TRUE(quiet.Entries().empty());
    EXPECT_NE(FindNamed(prefixedLayout->variables, "P"), nullptr);
}

// The code points of a UTF-8 text (well formed, as the tests write it).
std::vector<std::uint32_t> CodePoints(const std::string& utf8) {
    std::vector<std::uint32_t> codes;
    for (std::size_t at = 0; at < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        std::uint32_t code = length == 1 ? lead : lead & (0x7FU >> length);
        for (std::size_t k = 1; k < length; ++k) {
            code = (code << 6) | (static_cast<unsigned char>(utf8[at + k]) & 0x3FU);
        }
        codes.push_back(code);
        at += length;
    }
    return codes;
}

// The text in UTF-16 (width 2) or UTF-32 (width 4), behind a byte order mark if asked.
std::string Wide(const std::string& utf8, std::size_t width, bool bigEndian, bool mark) {
    std::string out;
    const auto unit = [&](std::uint32_t value) {
        for (std::size_t k = 0; k < width; ++k) {
            out += static_cast<char>((value >> (8 * (bigEndian ? width - 1 - k : k))) & 0xFF);
        }
    };
    if (mark) {
        unit(0xFEFF);
    }
    for (const std::uint32_t code : CodePoints(utf8)) {
        if (width == 2 && code > 0xFFFF) {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            unit(code);
        }
    }
    return out;
}

// The text one byte a character under the declared encoding; the euro sign is windows-1252's
// 0x80.
std::string SingleByte(std::string utf8, const std::string& encoding) {
    utf8.replace(0, utf8.find("?>"), "<?xml version=\"1.0\" encoding=\"" + encoding + "\"");
    std::string out;
    for (const std::uint32_t code : CodePoints(utf8)) {
        out += static_cast<char>(code == 0x20AC ? 0x80 : code);
    }
    return out;
}

// A documented variable, then, after a few lines, one of a library type, reported on its line.
std::string Documented(const std::string& comment) {
    return Project("", "",
                   "<variable name=\"V\"><type><INT/></type><documentation><p>" + comment +
                       "</p></documentation></variable>\n" + Repeat("<!-- x -->\n", 5) +
                       Var("Lib", "<derived name=\"Lib_T\"/>"));
}

// Whatever its encoding, a file's comments reach the dictionary in UTF-8 and its reports name
// the line an editor shows. The long non-ASCII comment moves every other encoding's byte
// offsets far from UTF-8's.
TEST(Importer, EncodingsReadAsUtf8WithTheirLines) {
    const std::string wide = "caf\xC3\xA9 " + Repeat("\xE2\x82\xAC", 300) + " \xF0\x9F\x94\xA7";
    const std::string latin = "caf\xC3\xA9 " + Repeat("\xC3\xBF", 300);
    const std::string euro = latin + "\xE2\x82\xAC";
    const std::string utf8 = Documented(wide);
    const auto libLine = [](const std::string& text) {
        const auto end = text.begin() + static_cast<std::ptrdiff_t>(text.find("\"Lib\""));
        return 1 + static_cast<std::size_t>(std::count(text.begin(), end, '\n'));
    };
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"UTF-8", utf8, wide},
        {"UTF-16LE with a mark", Wide(utf8, 2, false, true), wide},
        {"UTF-16BE with a mark", Wide(utf8, 2, true, true), wide},
        {"UTF-16LE without a mark", Wide(utf8, 2, false, false), wide},
        {"UTF-32LE with a mark", Wide(utf8, 4, false, true), wide},
        {"UTF-32BE without a mark", Wide(utf8, 4, true, false), wide},
        {"ISO-8859-1", SingleByte(Documented(latin), "ISO-8859-1"), latin},
        {"latin1", SingleByte(Documented(latin), "latin1"), latin},
        {"windows-1252", SingleByte(Documented(euro), "windows-1252"), euro},
    };
    for (const auto& [what, bytes, comment] : cases) {
        SCOPED_TRACE(what);
        Diagnostics diagnostics("t.xml");
        const auto layout = Import(bytes, diagnostics);
        ASSERT_TRUE(layout);
        ASSERT_EQ(diagnostics.Entries().size(), 1U);
        EXPECT_EQ(diagnostics.Entries().front().line, libLine(utf8));
        EXPECT_EQ(FindNamed(layout->variables, "V")->comment, comment);
    }
}

// Bytes no encoding read can decode are refused on their line; an encoding the reader does
// not know is refused as a whole.
TEST(Importer, UndecodableFilesAreRefusedOnTheirLine) {
    const std::string utf8 = Project("", "", Var("A", "<INT/>"));
    const std::size_t lastLine =
        1 + static_cast<std::size_t>(std::count(utf8.begin(), utf8.end(), '\n'));
    const std::string lone =
        Wide("<?xml version=\"1.0\"?>\n<a>\n", 2, false, true) + std::string("\x00\xD8\x41\x00", 4);
    const std::tuple<const char*, std::string, std::size_t, std::string> cases[] = {
        {"unknown encoding", SingleByte(utf8, "EBCDIC-US"), 1,
         "the encoding 'EBCDIC-US' is not supported (UTF-8, UTF-16, UTF-32, ISO-8859-1 and "
         "windows-1252 are)"},
        {"UTF-16 declared in bytes", SingleByte(utf8, "UTF-16"), 1,
         "the encoding 'UTF-16' is declared but the file is written in bytes"},
        {"byte windows-1252 leaves unassigned", SingleByte("<?x?>\n\n\xC2\x81", "windows-1252"), 3,
         "byte 0x81 is not a windows-1252 character"},
        {"lone UTF-16 surrogate", lone, 3, "invalid UTF-16: a surrogate stands alone"},
        {"UTF-16 cut inside a character", Wide(utf8, 2, true, true) + "x", lastLine,
         "invalid UTF-16: the file ends inside a character"},
        {"UTF-32 beyond the last character",
         Wide(utf8, 4, false, true) + std::string("\x00\x00\x11\x00", 4), lastLine,
         "invalid UTF-32: a unit is not a character"},
    };
    for (const auto& [what, bytes, line, message] : cases) {
        SCOPED_TRACE(what);
        Diagnostics diagnostics("t.xml");
        EXPECT_FALSE(Import(bytes, diagnostics));
        ASSERT_EQ(diagnostics.Entries().size(), 1U);
        EXPECT_EQ(diagnostics.Entries().front().line, line);
        EXPECT_EQ(diagnostics.Entries().front().message, message);
    }
}

// The command line prints a windows-1252 file's comment as UTF-8 JSON and refuses an unknown
// encoding with status 2.
TEST(Importer, CommandsReadDeclaredEncodings) {
    const std::string comment = "caf\xC3\xA9 \xE2\x82\xAC";
    const std::string readable =
        WriteTempFile("cp1252.xml", SingleByte(Documented(comment), "windows-1252"));
    const std::string unknown = WriteTempFile("ebcdic.xml", SingleByte(Documented(""), "IBM037"));
    const std::string out = WriteTempFile("encoding.out", "");
    const auto run = [&](const std::string& file) {
        const std::string command =
            "'" VARBANK_BINARY "' --json resolve '" + file + "' V > '" + out + "' 2>&1";
        const int status = std::system(command.c_str());
        return std::make_pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out));
    };
    const auto [readStatus, json] = run(readable);
    EXPECT_EQ(readStatus, 0);
    EXPECT_NE(json.find("\"comment\": \"" + comment + "\""), std::string::npos) << json;
    const auto [refusedStatus, message] = run(unknown);
    EXPECT_EQ(refusedStatus, 2);
    EXPECT_NE(message.find("ebcdic.xml:1: the encoding 'IBM037' is not supported"),
              std::string::npos)
        << message;
}

} // namespace
