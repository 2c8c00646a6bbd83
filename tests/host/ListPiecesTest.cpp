#include "import/Diagnostics.h"
#include "import/plcopen/GlobalListScan.h"
#include "import/plcopen/PlcopenReader.h"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <string>

namespace {

const char* const kHead = R"(<?xml version="1.0" encoding="utf-8"?>
<project xmlns="http://www.plcopen.org/xml/tc6_0201" xmlns:xhtml="http://www.w3.org/1999/xhtml">
<contentHeader name="pieces"/>
)";

std::string Document(const std::string& types, const std::string& configuration) {
    return kHead + ("<types><dataTypes/><pous>" + types + "</pous></types>\n") +
           "<instances><configurations><configuration name=\"C\">\n" + configuration +
           "</configuration></configurations></instances>\n</project>\n";
}

std::string Variable(const std::string& name, const std::string& type = "<INT/>",
                     const std::string& extra = "") {
    return "<variable name=\"" + name + "\"><type>" + type + "</type>" + extra + "</variable>\n";
}

void Describe(const VariableDecl& variable, std::ostream& out) {
    out << variable.name << '|' << static_cast<int>(variable.section) << '|' << variable.constant
        << '|' << variable.list << '|' << variable.line << '|' << variable.address << '|'
        << variable.comment << '|' << variable.initialValue << '|'
        << static_cast<int>(variable.type.kind) << ':' << variable.type.name << '\n';
}

// What a read gave: its outcome, the model's variables and every report, in order.
std::string Read(const std::string& xml, PlcopenReader::Pieces pieces) {
    Diagnostics diagnostics("pieces.xml");
    ProjectModel model;
    const bool read = PlcopenReader(diagnostics, pieces).ReadText(xml, model);
    std::ostringstream out;
    out << "read " << read << '\n';
    for (const VariableDecl& global : model.globals) {
        Describe(global, out);
    }
    for (const PouDecl& pou : model.pous) {
        out << "pou " << pou.name << '\n';
        for (const VariableDecl& variable : pou.variables) {
            Describe(variable, out);
        }
    }
    for (const Diagnostics::Entry& entry : diagnostics.Entries()) {
        out << diagnostics.Format(entry) << '\n';
    }
    return out.str();
}

constexpr PlcopenReader::Pieces kWhole{std::numeric_limits<std::size_t>::max(), 1};
constexpr PlcopenReader::Pieces kSmallPieces{1, 1};
constexpr PlcopenReader::Pieces kLargerPieces{1, 150};

struct PiecesCase {
    const char* what;
    std::string xml;
};

// A list read ahead in pieces gives the model and the reports the whole tree gives.
TEST(ListPieces, ReadAheadMatchesTheWholeTree) {
    const std::string mixed =
        "<globalVars name=\"Gvl\" constant=\"true\">\n" +
        Variable("Max", "<DINT/>", "<initialValue><simpleValue value=\"10\"/></initialValue>") +
        "<!-- <variable name=\"Hidden\"> in a comment -->\n" +
        Variable("Doc", "<BOOL/>",
                 "<documentation><xhtml:p>a &lt;b&gt; <![CDATA[</variable> x]]></xhtml:p>"
                 "</documentation>") +
        "<?pi <variable?>\n" + Variable("Path", "<derived name=\"T\"/>") +
        "<variable name=\"Odd\" address=\"%MW1\" xmlns:a='x/>y'><type><WORD/></type></variable>"
        "<documentation><xhtml:p>list text</xhtml:p></documentation>\n"
        "</globalVars>\n";
    const std::string pou = "<pou name=\"P\" pouType=\"program\"><interface><globalVars>" +
                            Variable("InPou") + "</globalVars><localVars>" + Variable("Local") +
                            "</localVars></interface></pou>";
    const std::string resource =
        "<resource name=\"R\"><globalVars>" + Variable("R1") + Variable("R2", "") +
        "</globalVars><pouInstance name=\"Main\" typeName=\"P\"/></resource>\n";
    const std::string addData = "<addData><data name=\"x/globalvars\" handleUnknown=\"discard\">"
                                "<globalVars name=\"Extra\">" +
                                Variable("E1") + "</globalVars></data></addData>\n";
    const std::string duplicate = "<globalVars name=\"Twice\">" + Variable("T1") +
                                  "</globalVars><globalVars name=\"twice\">" + Variable("T2", "") +
                                  "</globalVars>\n";
    const PiecesCase cases[] = {
        {"lists of every kind, with comments, CDATA and instructions",
         Document(pou, mixed + resource + addData)},
        {"a list declared twice: only the first is read, and only its reports",
         Document("", duplicate)},
        {"an empty list and one of blanks",
         Document("", "<globalVars/><globalVars>\n \n</globalVars>")},
        {"an attribute the parser refuses", Document("", "<globalVars>" + Variable("A") +
                                                             "<variable name=B><type><INT/></type>"
                                                             "</variable></globalVars>")},
        {"an end tag that does not match",
         Document("", "<globalVars>" + Variable("A") + "</globalvars>")},
        {"markup left open", Document("", "<globalVars>" + Variable("A") + "<!-- open")},
    };
    for (const PiecesCase& c : cases) {
        const std::string whole = Read(c.xml, kWhole);
        EXPECT_EQ(Read(c.xml, kSmallPieces), whole) << c.what;
        EXPECT_EQ(Read(c.xml, kLargerPieces), whole) << c.what;
    }
}

// Each piece holds whole children of the list, and the pieces cover its content exactly.
TEST(ListPieces, ScanCutsBetweenChildren) {
    const std::string list = "<globalVars>" + Variable("A") + "<!-- </globalVars> -->" +
                             Variable("B") + "<x a='>'/>" + Variable("C") + "</globalVars>";
    const std::string xml = Document("", list);
    const auto lists = GlobalListScan::Find(xml, 1, 1);
    ASSERT_EQ(lists.size(), 1U);
    const GlobalListScan::List& found = lists[0];
    EXPECT_EQ(xml.substr(found.name, 10), "globalVars");
    EXPECT_EQ(xml.substr(found.begin, found.end - found.begin),
              list.substr(12, list.size() - 12 - 13));
    const auto bare = [](std::string variable) {
        variable.pop_back(); // the line end
        return variable;
    };
    // A child's piece ends with it; what follows opens the next piece.
    const std::vector<std::string> expected = {bare(Variable("A")),
                                               "\n<!-- </globalVars> -->" + bare(Variable("B")),
                                               "\n<x a='>'/>", bare(Variable("C")), "\n"};
    std::vector<std::string> pieces;
    for (std::size_t i = 1; i < found.cuts.size(); ++i) {
        pieces.push_back(xml.substr(found.cuts[i - 1], found.cuts[i] - found.cuts[i - 1]));
    }
    EXPECT_EQ(found.cuts.front(), found.begin);
    EXPECT_EQ(pieces, expected);
    EXPECT_EQ(GlobalListScan::Find(xml, list.size(), 1).size(), 0U) << "smaller than asked";
    const std::string doctype = "<!DOCTYPE project [<!ENTITY e \"x\">]>\n" + xml.substr(39);
    EXPECT_TRUE(GlobalListScan::Find(doctype, 1, 1).empty()) << "an internal subset";
}

} // namespace
