#include "HostTestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace hosttest;

struct ErrorCase {
    const char* what;
    std::string xml;
    std::size_t line;    // line of the first error
    const char* message; // part of the first error's text
};

// The line of the first occurrence of a text in a document.
std::size_t LineOf(const std::string& xml, const std::string& text) {
    const std::size_t at = xml.find(text);
    return at == std::string::npos ? 0 : 1 + std::count(xml.begin(), xml.begin() + at, '\n');
}

ErrorCase Case(const char* what, std::string xml, const std::string& marker, const char* message) {
    const std::size_t line = LineOf(xml, marker);
    return {what, std::move(xml), line, message};
}

// Lines count as an editor shows them, whatever the line ends.
ErrorCase WithLineEnds(ErrorCase c, const char* what, const char* end) {
    std::string converted;
    for (char ch : c.xml) {
        converted += ch == '\n' ? std::string(end) : std::string(1, ch);
    }
    return {what, converted, c.line, c.message};
}

std::vector<ErrorCase> Cases() {
    const std::string nestedArrays =
        Repeat("<array><dimension lower=\"0\" upper=\"0\"/><baseType>", 150) + "<INT/>" +
        Repeat("</baseType></array>", 150);
    const std::string fb = "<pou name=\"Fb\" pouType=\"functionBlock\"><interface/></pou>\n";
    const std::string program = "<pou name=\"Prg\" pouType=\"program\"><interface/></pou>\n";
    const ErrorCase unknownType =
        Case("a type name that is no identifier",
             Project("", "", "\n" + Var("A", "<derived name=\"No type\"/>")), "No type",
             "unknown type 'No type'");
    const auto programPou = [](const char* name, const std::string& variables) {
        return "<pou name=\"" + std::string(name) +
               "\" pouType=\"program\"><interface><localVars>" + variables +
               "</localVars></interface></pou>\n";
    };
    const std::string instances = "<pouInstance name=\"I1\" typeName=\"P1\"/>"
                                  "<pouInstance name=\"I2\" typeName=\"P2\"/>";
    return {
        unknownType,
        WithLineEnds(unknownType, "CRLF line ends", "\r\n"),
        WithLineEnds(unknownType, "CR line ends", "\r"),
        Case("a reserved name", Project("", "", Var("A", "<derived name=\"Array\"/>")), "Array",
             "unknown type 'Array'"),
        Case("located variable of a function block",
             Project("", "<pou name=\"Fb\" pouType=\"functionBlock\"><interface><localVars>\n" +
                             Var("Lamp", "<BOOL/>", "%QX0.1") + "</localVars></interface></pou>"),
             "Lamp",
             "'Lamp' of function block 'Fb' is located at %QX0.1: every instance would share"),
        Case("located member of a structure",
             Project(Struct("S", "\n" + Var("In", "<INT/>", "%IW2"))), "\"In\"",
             "'In' of structure 'S' is located at %IW2"),
        Case("located variable of a program named like a global",
             Project("", programPou("P1", "\n" + Var("Speed", "<INT/>", "%MW1")),
                     Var("Speed", "<INT/>"), "<pouInstance name=\"I1\" typeName=\"P1\"/>"),
             "%MW1", "; a located variable of program 'P1' is a top-level variable)"),
        Case("located variables of two programs with one name",
             Project("",
                     programPou("P1", Var("Lamp", "<BOOL/>", "%QX0.0")) +
                         programPou("P2", Var("Lamp", "<BOOL/>", "%QX0.1")),
                     "", instances),
             "%QX0.1", "duplicate variable 'Lamp' (first declared at line"),
        Case("malformed XML", "<?xml version=\"1.0\"?>\n<project>\n<types>\n</project>\n",
             "</project>", "malformed XML"),
        Case("not a PLCopen project", "<?xml version=\"1.0\"?>\n<plc/>\n", "<plc",
             "not a PLCopen project"),
        Case("structure that contains itself",
             Project(Struct("Loop", "\n" + Var("Next", "<derived name=\"loop\"/>"))), "Next",
             "type 'loop' refers to itself"),
        Case("alias that names itself",
             Project("<dataType name=\"Me\">\n<baseType><derived name=\"Me\"/></baseType>"
                     "</dataType>"),
             "<derived", "refers to itself"),
        Case("duplicate type name",
             Project(Struct("Twin", Var("A", "<INT/>")) + Struct("TWIN", Var("B", "<INT/>"))),
             "TWIN", "duplicate type name 'TWIN' (first declared at line"),
        Case("duplicate variable",
             Project("", "", Var("Speed", "<INT/>") + Var("SPEED", "<REAL/>")), "SPEED",
             "duplicate variable 'SPEED' (first declared at line"),
        Case("duplicate member", Project(Struct("S", Var("A", "<INT/>") + Var("a", "<INT/>"))),
             "\"a\"", "duplicate variable 'a' in 'S'"),
        Case("array beyond 32 bits",
             Project("", "", Var("Big", "<derived name=\"ARRAY[0..999999] OF STRING[5000]\"/>")),
             "Big", "does not fit 32 bits"),
        Case("a billion elements",
             Project("", "", Var("Huge", "<derived name=\"ARRAY[1..1000000000] OF BOOL\"/>")),
             "Huge", "give 1000000000 elements; at most 1048576 per dimension"),
        Case("one element more than a listing may hold",
             Project("", "", Var("Wide", "<derived name=\"ARRAY[0..1048576] OF BOOL\"/>")), "Wide",
             "give 1048577 elements; at most 1048576 per dimension"),
        Case("array product beyond 32 bits",
             Project("", "",
                     Var("Wide", "<array><dimension lower=\"1\" upper=\"70000\"/>"
                                 "<dimension lower=\"1\" upper=\"70000\"/><baseType>"
                                 "<BOOL/></baseType></array>")),
             "Wide", "does not fit 32 bits"),
        Case("bound beyond 32 bits",
             Project("", "", Var("B", "<derived name=\"ARRAY[0..9999999999] OF INT\"/>")), "B",
             "array bound '9999999999' does not fit 32 bits"),
        Case("unknown bound",
             Project("", "", Var("B", "<derived name=\"ARRAY[1..MAXI] OF INT\"/>")), "MAXI",
             "array bound 'MAXI': 'MAXI' is not declared"),
        Case("reversed bounds",
             Project("", "",
                     Var("R", "<array><dimension lower=\"5\" upper=\"1\"/><baseType>"
                              "<INT/></baseType></array>")),
             "lower=", "the upper bound is below the lower bound"),
        Case("eleven dimensions",
             Project("", "",
                     Var("D", "<derived name=\"ARRAY[0..1,0..1,0..1,0..1,0..1,0..1,0..1,"
                              "0..1,0..1,0..1,0..1] OF BOOL\"/>")),
             "\"D\"", "at most 10 dimensions"),
        Case("variable name", Project("", "", Var("1st", "<INT/>")), "1st",
             "variable name '1st' is not a valid identifier"),
        Case("type name", Project(Struct("Bad Name", Var("A", "<INT/>"))), "Bad Name",
             "type name 'Bad Name' is not a valid identifier"),
        Case("built-in type name", Project(Struct("Real", Var("A", "<INT/>"))), "Real",
             "type name 'Real' is reserved for a built-in type"),
        Case("program name with a line feed", Project("", programPou("P&#10;1", "")), "P&#10;1",
             "type name 'P\\n1' is not a valid identifier"),
        Case("instance name with an escape",
             Project("", programPou("P1", ""), "",
                     "<pouInstance name=\"I&#27;[2J\" typeName=\"P1\"/>"),
             "I&#27;", "variable name 'I\\x1B[2J' is not a valid identifier"),
        Case("member name", Project(Struct("S", Var("a-b", "<INT/>"))), "a-b",
             "variable name 'a-b' is not a valid identifier"),
        Case("unknown program", Project("", "", "", "<pouInstance name=\"I\" typeName=\"Ghost\"/>"),
             "Ghost", "unknown program 'Ghost'"),
        Case("instance without a program", Project("", "", "", "<pouInstance name=\"I\"/>"),
             "\"I\"", "program instance 'I' names no program"),
        Case("instance of a function block",
             Project("", fb, "", "<pouInstance name=\"I\" typeName=\"Fb\"/>"), "\"I\"",
             "'Fb' is not a program"),
        Case("variable of a program type",
             Project("", program, Var("V", "<derived name=\"Prg\"/>")), "\"V\"",
             "'Prg' is a program, not a type"),
        Case("variable without a type", Project("", "", "<variable name=\"Untyped\"/>"), "Untyped",
             "variable 'Untyped' has no type"),
        Case("a function-block local over 64 KB",
             Project("", "<pou name=\"Big\" pouType=\"functionBlock\"><interface><localVars>\n" +
                             Var("Buffer", "<string length=\"70000\"/>") +
                             "</localVars></interface></pou>\n"),
             "Buffer",
             "local 'Buffer' of function block 'Big' takes 70000 bytes; a function block's "
             "local takes at most 65535"),
        Case("types written too deep", Project("", "", "\n" + Var("Deep", nestedArrays)), "Deep",
             "types nest deeper than 100 levels"),
        Case("array text too deep",
             Project("", "",
                     "\n" + Var("Deep",
                                "<derived name=\"" + Repeat("ARRAY[0..0] OF ", 200) + "INT\"/>")),
             "Deep", "types nest deeper than 128 levels"),
        Case("types nested through names", Project(ArrayChain(100)), "\"T64\"",
             "types nest deeper than 128 levels through type 'T64'"),
        Case("types nested through names, last first", Project(ArrayChain(200, true)), "\"T135\"><",
             "types nest deeper than 128 levels through type 'T199'"),
        Case("inline structure",
             Project("", "", Var("S", "<struct>" + Var("A", "<INT/>") + "</struct>")), "<struct",
             "declare it as a data type"),
    };
}

TEST(ImportErrors, EachErrorNamesItsLineAndReasonAndNothingIsImported) {
    for (const ErrorCase& c : Cases()) {
        SCOPED_TRACE(c.what);
        Diagnostics diagnostics("bad.xml");
        EXPECT_FALSE(Import(c.xml, diagnostics));
        ASSERT_TRUE(diagnostics.HasErrors());
        const auto first = std::find_if(diagnostics.Entries().begin(), diagnostics.Entries().end(),
                                        [](const Diagnostics::Entry& e) { return e.IsError(); });
        EXPECT_EQ(first->line, c.line);
        EXPECT_NE(first->message.find(c.message), std::string::npos) << first->message;
        EXPECT_EQ(diagnostics.Format(*first).rfind("bad.xml:" + std::to_string(c.line) + ": ", 0),
                  0U);
    }
}

// One bad variable fails the whole file, and every error in it is reported, in file order.
TEST(ImportErrors, ImportIsAllOrNothingAndReportsEveryError) {
    const std::string xml =
        Project("", "",
                Var("Good", "<INT/>") + Var("Bad", "<derived name=\"Ghost type\"/>") +
                    Var("Worse", "<BOOL/>", "%Z1.9") + Var("Good", "<INT/>"));
    Diagnostics diagnostics("bad.xml");
    EXPECT_FALSE(Import(xml, diagnostics));
    ASSERT_EQ(diagnostics.ErrorCount(), 3U);
    const auto& entries = diagnostics.Entries();
    EXPECT_LT(entries[0].line, entries[1].line);
    EXPECT_LT(entries[1].line, entries[2].line);
}

} // namespace
