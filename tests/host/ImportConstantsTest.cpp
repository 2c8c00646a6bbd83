#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

using namespace hosttest;

// A variable whose initial value is written as an expression.
std::string Const(const std::string& name, const std::string& type, const std::string& value) {
    return Var(name, type, "", value);
}

std::string Dimension(const std::string& lower, const std::string& upper,
                      const std::string& element = "<INT/>") {
    return "<array><dimension lower=\"" + lower + "\" upper=\"" + upper + "\"/><baseType>" +
           element + "</baseType></array>";
}

std::string Derived(const std::string& text) {
    return "<derived name=\"" + text + "\"/>";
}

std::string Pou(const std::string& name, const char* kind, const std::string& constants,
                const std::string& locals) {
    return "<pou name=\"" + name + "\" pouType=\"" + kind +
           "\"><interface><localVars constant=\"true\">\n" + constants +
           "</localVars><localVars>\n" + locals + "</localVars></interface></pou>\n";
}

// Enumerations Colour (Red, Green, Blue := 5) and Shade (Dark, Light); a named constant list
// GVL, a named list Vars that is not constant, and an unnamed global Legacy that is not
// constant either but starts with an integer; a function block Fb and a program Prg, each
// with constants of its own, and one instance of Prg. `where` gets the variable X: "global",
// "Fb" or "Prg".
std::string ConstantsProject(const std::string& where, const std::string& type) {
    const std::string x = Var("X", type);
    const std::string dataTypes =
        "<dataType name=\"Colour\"><baseType><enum><values><value name=\"Red\"/>"
        "<value name=\"Green\"/><value name=\"Blue\" value=\"5\"/></values></enum></baseType>"
        "</dataType>\n"
        "<dataType name=\"Shade\"><baseType><enum><values><value name=\"Dark\"/>"
        "<value name=\"Light\"/></values></enum></baseType></dataType>\n"
        "<dataType name=\"Row\"><baseType>" +
        Dimension("1", "MAX_ITEMS") + "</baseType></dataType>\n";
    const std::string fb = Pou("Fb", "functionBlock",
                               Const("ciN", "<INT/>", "4") + Const("ciM", "<INT/>", "ciN * 2") +
                                   Const("MAX_ITEMS", "<INT/>", "2"),
                               Var("Count", "<INT/>") + (where == "Fb" ? x : ""));
    const std::string prg =
        Pou("Prg", "program", Const("ciN", "<DINT/>", "6"),
            Var("F", Derived("Fb")) + Var("P", Derived("ARRAY[1..ciN] OF INT")) +
                (where == "Prg" ? x : ""));
    const std::string resource =
        "<globalVars name=\"GVL\" constant=\"true\">\n" + Const("MAX_ITEMS", "<DINT/>", "8") +
        Const("TOPIC_LEN", "<INT/>", "2 * MAX_ITEMS + 1") + Const("HEX", "<WORD/>", "16#10") +
        Const("CHAIN", "<INT/>", "TOPIC_LEN - GVL.MAX_ITEMS") +
        "</globalVars>\n<globalVars name=\"Vars\">\n" + Var("Plain", "<INT/>", "", "3") +
        "</globalVars>\n<pouInstance name=\"Main\" typeName=\"Prg\"/>\n";
    const std::string globals = Var("Legacy", "<INT/>", "", "3") + (where == "global" ? x : "");
    return Project(dataTypes, fb + prg, globals, resource);
}

struct ConstantCase {
    const char* what;
    const char* where;
    std::string type;
    std::string iecType;
    std::uint32_t size;
};

// Where the composite or global X ended up: its IEC type and size.
std::pair<std::string, std::uint32_t> TypeOfX(const ProjectLayout& layout, const char* where) {
    if (std::string(where) == "global") {
        const VariableLayout* x = FindNamed(layout.variables, "X");
        return x == nullptr ? std::pair(std::string("<none>"), 0U)
                            : std::pair(x->IecType(), x->size);
    }
    const CompositeLayout* owner = FindNamed(layout.composites, where);
    const MemberLayout* x = owner == nullptr ? nullptr : FindNamed(owner->members, "X");
    return x == nullptr ? std::pair(std::string("<none>"), 0U) : std::pair(x->iecType, x->size);
}

// Bounds and lengths are evaluated with the constants in scope where the type is written.
TEST(ImportConstants, BoundsAndLengthsTakeTheValuesOfConstantExpressions) {
    const ConstantCase cases[] = {
        {"qualified by its list", "global", Derived("ARRAY[1..GVL.MAX_ITEMS] OF INT"),
         "ARRAY[1..8] OF INT", 16},
        {"plain global constant in an expression", "global",
         Derived("ARRAY[0..MAX_ITEMS - 1] OF BYTE"), "ARRAY[0..7] OF BYTE", 8},
        {"a constant whose value is an expression", "global", "<string length=\"GVL.TOPIC_LEN\"/>",
         "STRING[17]", 17},
        {"through two constants", "global", Derived("ARRAY[1..CHAIN] OF BOOL"),
         "ARRAY[1..9] OF BOOL", 9},
        {"STRING(n) text", "global", Derived("STRING(TOPIC_LEN)"), "STRING[17]", 17},
        {"STRING[n] text with parentheses", "global", Derived("STRING[2 * (HEX + 1)]"),
         "STRING[34]", 34},
        {"WSTRING length evaluated, not kept", "global", Derived("WSTRING(TOPIC_LEN)"), "WSTRING",
         2},
        {"literal bases", "global", Dimension("16#0", "2#11"), "ARRAY[0..3] OF INT", 8},
        {"enumeration values", "global", Dimension("Colour#Green", "Colour.Blue"),
         "ARRAY[1..5] OF INT", 10},
        {"a unique plain enumeration value", "global", Dimension("0", "Light"),
         "ARRAY[0..1] OF INT", 4},
        {"a global that is not constant", "global", Derived("ARRAY[1..Legacy] OF INT"),
         "ARRAY[1..3] OF INT", 6},
        {"a global of a list that is not constant", "global", Dimension("1", "Vars.Plain"),
         "ARRAY[1..3] OF INT", 6},
        {"subrange bounds", "global",
         "<subrangeSigned><range lower=\"-GVL.MAX_ITEMS\" upper=\"MAX_ITEMS\"/><baseType><INT/>"
         "</baseType></subrangeSigned>",
         "INT (-8..8)", 2},
        {"subrange with an unknown bound keeps its base", "global",
         "<subrangeSigned><range lower=\"0\" upper=\"Ghost\"/><baseType><INT/></baseType>"
         "</subrangeSigned>",
         "INT", 2},
        {"a constant of the function block", "Fb", Derived("ARRAY[1..ciN] OF INT"),
         "ARRAY[1..4] OF INT", 8},
        {"a constant of the function block from another", "Fb", Dimension("ciN", "ciM"),
         "ARRAY[4..8] OF INT", 10},
        {"the function block's constant hides the global", "Fb",
         Derived("ARRAY[1..MAX_ITEMS] OF INT"), "ARRAY[1..2] OF INT", 4},
        {"the global by its list's name beside it", "Fb", Derived("STRING(ciM + GVL.MAX_ITEMS)"),
         "STRING[16]", 16},
        {"MOD", "Fb", Dimension("0", "(ciN + 1) MOD 4"), "ARRAY[0..1] OF INT", 4},
        {"a declared type sees the globals only", "Fb", Derived("Row"), "Row", 16},
        {"a constant of the program", "Prg", Derived("ARRAY[1..ciN] OF INT"), "ARRAY[1..6] OF INT",
         12},
    };
    for (const ConstantCase& c : cases) {
        SCOPED_TRACE(c.what);
        Diagnostics diagnostics("c.xml");
        const auto layout = Import(ConstantsProject(c.where, c.type), diagnostics);
        ASSERT_TRUE(layout) << diagnostics.Entries().front().message;
        EXPECT_EQ(TypeOfX(*layout, c.where), std::pair(c.iecType, c.size));
    }
}

// One text in two POUs takes each POU's constants: ARRAY[1..ciN] is 4 elements in Fb and 6
// in Prg.
TEST(ImportConstants, OneTextInTwoPousTakesEachPousConstants) {
    Diagnostics diagnostics("c.xml");
    const auto layout =
        Import(ConstantsProject("Fb", Derived("ARRAY[1..ciN] OF INT")), diagnostics);
    ASSERT_TRUE(layout);
    EXPECT_EQ(TypeOfX(*layout, "Fb").first, "ARRAY[1..4] OF INT");
    const MemberLayout* p = FindNamed(FindNamed(layout->composites, "Prg")->members, "P");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->iecType, "ARRAY[1..6] OF INT");
}

// A constant written as an integer expression starts with its value; any other initial value
// stays as written.
TEST(ImportConstants, ConstantsStartWithTheirValues) {
    std::string xml = ConstantsProject("global", "<INT/>");
    const std::string ratio = Const("Ratio", "<REAL/>", "2.0 * 3"); // into the list GVL
    xml.insert(xml.find("</globalVars>"), ratio);
    const std::string vars = "<globalVars name=\"Vars\">\n"; // a list that is not constant
    xml.insert(xml.find(vars) + vars.size(), Var("Sum", "<INT/>", "", "1 + 1"));
    Diagnostics diagnostics("c.xml");
    const auto layout = Import(xml, diagnostics);
    ASSERT_TRUE(layout);
    const std::pair<const char*, const char*> globals[] = {
        {"TOPIC_LEN", "17"},  {"CHAIN", "9"},  {"HEX", "16#10"},
        {"Ratio", "2.0 * 3"}, {"Legacy", "3"}, {"Sum", "1 + 1"}};
    for (const auto& [name, value] : globals) {
        const VariableLayout* variable = FindNamed(layout->variables, name);
        ASSERT_NE(variable, nullptr) << name;
        EXPECT_EQ(variable->initialValue, value) << name;
    }
    const MemberLayout* ciM = FindNamed(FindNamed(layout->composites, "Fb")->members, "ciM");
    ASSERT_NE(ciM, nullptr);
    EXPECT_EQ(ciM->initialValue, "8");
}

// Constants that each use the one before twice: evaluated once each, not 2^40 times.
TEST(ImportConstants, EachConstantIsEvaluatedOnce) {
    std::string constants = Const("C0", "<LINT/>", "1");
    for (int k = 1; k <= 40; ++k) {
        const std::string before = "C" + std::to_string(k - 1);
        constants += Const("C" + std::to_string(k), "<LINT/>", before + " + " + before);
    }
    const std::string xml = Project("", "", Var("X", Derived("ARRAY[1..C40 / C37] OF INT")),
                                    "<globalVars constant=\"true\">" + constants + "</globalVars>");
    Diagnostics diagnostics("c.xml");
    const auto layout = Import(xml, diagnostics);
    ASSERT_TRUE(layout);
    EXPECT_EQ(FindNamed(layout->variables, "X")->IecType(), "ARRAY[1..8] OF INT");
}

struct ConstantError {
    const char* what;
    std::string constants; // a constant global list
    std::string fbConstants;
    std::string fbLocals; // the marker's line is that of the first error
    const char* marker;
    const char* message;
};

TEST(ImportConstants, EachFaultIsAnErrorWithItsLineAndReason) {
    std::string chain = Const("K0", "<INT/>", "1");
    for (int k = 1; k < 300; ++k) {
        chain += Const("K" + std::to_string(k), "<INT/>", "K" + std::to_string(k - 1) + " + 1");
    }
    const ConstantError cases[] = {
        {"unknown name", "", "", Var("X", Derived("ARRAY[1..ciNope] OF INT")), "ciNope",
         "array bound 'ciNope': 'ciNope' is not declared"},
        {"a variable that is not constant", "", "",
         Var("count", "<INT/>", "", "3") + Var("X", Dimension("0", "count - 1")), "\"X\"",
         "array bound 'count - 1': 'count' is not a constant"},
        {"a constant of another type", Const("Ratio", "<REAL/>", "2.5"), "",
         Var("X", Derived("STRING(Ratio)")), "\"X\"",
         "string length 'Ratio': 'Ratio' is a constant of type REAL, not an integer"},
        {"division by zero", "", Const("ciN", "<INT/>", "4"),
         Var("X", Derived("ARRAY[1..10 / (ciN - 4)] OF INT")), "\"X\"",
         "array bound '10 / (ciN - 4)': division by zero"},
        {"MOD by zero", "", "", Var("X", Dimension("0", "7 MOD 0")), "\"X\"",
         "array bound '7 MOD 0': MOD by zero"},
        {"beyond 64 bits", Const("Big", "<LINT/>", "16#7FFFFFFFFFFF"), "",
         Var("X", Dimension("1", "Big * Big")), "\"X\"",
         "array bound 'Big * Big': the value does not fit 64 bits"},
        {"beyond 32 bits", Const("Big", "<LINT/>", "16#7FFFFFFFFFFF"), "",
         Var("X", Dimension("1", "Big")), "\"X\"", "array bound 'Big' does not fit 32 bits"},
        {"a cycle", Const("A", "<INT/>", "B + 1") + Const("B", "<INT/>", "A"), "",
         Var("X", Dimension("1", "A")), "\"X\"",
         "array bound 'A': a cycle between constants: A -> B -> A"},
        {"a constant that names itself", Const("C", "<INT/>", "C"), "",
         Var("X", Derived("STRING[C]")), "\"X\"",
         "string length 'C': a cycle between constants: C -> C"},
        {"a fault in a constant's value", Const("Bad", "<INT/>", "1 / 0"), "",
         Var("X", Dimension("1", "Bad + 1")), "\"X\"",
         "array bound 'Bad + 1': constant 'Bad' (line "},
        {"a syntax error", "", "", Var("X", Dimension("1", "(2 + 3")), "\"X\"",
         "array bound '(2 + 3': a '(' is not closed"},
        {"a constant without a value", "<variable name=\"Empty\"><type><INT/></type></variable>",
         "", Var("X", Dimension("1", "Empty")), "\"X\"",
         "array bound 'Empty': constant 'Empty' has no value"},
        {"an empty length", "", "", Var("X", "<string length=\"\"/>"), "\"X\"",
         "an empty string length"},
        {"a length of zero", "", Const("ciN", "<INT/>", "4"), Var("X", Derived("STRING(ciN - 4)")),
         "\"X\"", "string length 'ciN - 4' (0) is not a number from 1 to 2147483647"},
        {"a length beyond 31 bits", "", "", Var("X", "<string length=\"2147483648\"/>"), "\"X\"",
         "string length '2147483648' is not a number from 1 to 2147483647"},
        {"a typed literal out of its range", "", "", Var("X", Dimension("1", "SINT#200")), "\"X\"",
         "array bound 'SINT#200': 'SINT#200' does not fit SINT"},
        {"a value of two enumerations", "", "", Var("X", Dimension("0", "Red")), "\"X\"",
         "'Red' is a value of more than one enumeration; write it as Type#Red"},
        {"a value no enumeration has", "", "", Var("X", Dimension("0", "Colour#Pink")), "\"X\"",
         "'Colour#Pink' is not a value of a declared enumeration"},
        {"constants nested too deep", chain, "", Var("X", Dimension("1", "K299")), "\"X\"",
         "nest deeper than 256 levels"},
    };
    const std::string enums =
        "<dataType name=\"Colour\"><baseType><enum><values><value name=\"Red\"/></values>"
        "</enum></baseType></dataType>\n"
        "<dataType name=\"Paint\"><baseType><enum><values><value name=\"Red\" value=\"3\"/>"
        "</values></enum></baseType></dataType>\n";
    for (const ConstantError& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string xml = Project(
            enums, Pou("Fb", "functionBlock", c.fbConstants, c.fbLocals), "",
            "<globalVars name=\"G\" constant=\"true\">\n" + c.constants + "</globalVars>\n");
        Diagnostics diagnostics("bad.xml");
        EXPECT_FALSE(Import(xml, diagnostics));
        const auto& entries = diagnostics.Entries();
        const auto first = std::find_if(entries.begin(), entries.end(),
                                        [](const Diagnostics::Entry& e) { return e.IsError(); });
        ASSERT_NE(first, entries.end());
        const std::size_t at = xml.find(c.marker);
        EXPECT_EQ(first->line, 1 + std::count(xml.begin(), xml.begin() + at, '\n'));
        EXPECT_NE(first->message.find(c.message), std::string::npos) << first->message;
    }
}

// A declared type is the same wherever it is used: a POU's constants do not reach into it.
TEST(ImportConstants, DeclaredTypesSeeNoPousConstants) {
    const std::string xml = Project(
        "<dataType name=\"Row\"><baseType>" + Dimension("1", "ciN") + "</baseType></dataType>\n",
        Pou("Fb", "functionBlock", Const("ciN", "<INT/>", "4"), Var("X", Derived("Row"))));
    Diagnostics diagnostics("bad.xml");
    EXPECT_FALSE(Import(xml, diagnostics));
    ASSERT_GE(diagnostics.ErrorCount(), 1U);
    EXPECT_EQ(diagnostics.Entries().front().message, "array bound 'ciN': 'ciN' is not declared");
}

} // namespace
