// A generated PLCopen program opened by the reference host (import, dictionary, memory image
// with its initial values): 100,000 global variables of elementary, structure and array types.
#include "core/Program.h"
#include "import/Diagnostics.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

const char* const kVariableTypes[] = {
    "<INT/>",
    "<REAL/>",
    "<BOOL/>",
    "<DINT/>",
    "<derived name=\"Motor\"/>",
    "<derived name=\"Conveyor\"/>",
    "<derived name=\"Speeds\"/>",
    "<derived name=\"Grid\"/>",
    // One element split over two lines; the parentheses tell clang the joining is meant.
    ("<array><dimension lower=\"0\" upper=\"3\"/><baseType><derived name=\"Motor\"/></baseType>"
     "</array>"),
    "<string length=\"20\"/>",
};

std::string Member(const char* name, const char* type) {
    return std::string("<variable name=\"") + name + "\"><type>" + type + "</type></variable>";
}

std::string DataTypes() {
    return "<dataType name=\"Motor\"><baseType><struct>" + Member("Running", "<BOOL/>") +
           Member("Speed", "<INT/>") + Member("Current", "<REAL/>") +
           "</struct></baseType></dataType>"
           "<dataType name=\"Conveyor\"><baseType><struct>" +
           Member("Belt", "<derived name=\"Motor\"/>") + Member("Length", "<REAL/>") +
           "</struct></baseType></dataType>"
           "<dataType name=\"Speeds\"><baseType><array><dimension lower=\"1\" upper=\"10\"/>"
           "<baseType><INT/></baseType></array></baseType></dataType>"
           "<dataType name=\"Grid\"><baseType><array><dimension lower=\"0\" upper=\"3\"/>"
           "<dimension lower=\"0\" upper=\"4\"/><baseType><REAL/></baseType></array></baseType>"
           "</dataType>";
}

std::string GeneratedProject(std::size_t variables) {
    std::ostringstream xml;
    xml << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<project xmlns=\"http://www.plcopen.org/xml/tc6_0201\">"
           "<fileHeader companyName=\"bench\" productName=\"bench\" productVersion=\"1\" "
           "creationDateTime=\"2024-01-01T00:00:00\"/>"
           "<contentHeader name=\"bench\"><coordinateInfo><fbd><scaling x=\"1\" y=\"1\"/></fbd>"
           "<ld><scaling x=\"1\" y=\"1\"/></ld><sfc><scaling x=\"1\" y=\"1\"/></sfc>"
           "</coordinateInfo></contentHeader><types><dataTypes>"
        << DataTypes()
        << "</dataTypes><pous/></types><instances><configurations>"
           "<configuration name=\"Plant\"><globalVars>\n";
    for (std::size_t i = 0; i < variables; ++i) {
        xml << "<variable name=\"Var" << i << "\"><type>" << kVariableTypes[i % 10]
            << "</type></variable>\n";
    }
    xml << "</globalVars></configuration></configurations></instances></project>\n";
    return xml.str();
}

void BM_ImportPlcopen(benchmark::State& state) {
    const auto path = std::filesystem::temp_directory_path() / "varbank-import-bench.xml";
    {
        std::ofstream out(path);
        out << GeneratedProject(static_cast<std::size_t>(state.range(0)));
    }
    for (auto _ : state) {
        Diagnostics diagnostics(path.string());
        auto program = Program::Open(path.string(), ProgramOptions{}, diagnostics);
        if (!program || diagnostics.HasErrors()) {
            state.SkipWithError("import failed");
            break;
        }
    }
    std::filesystem::remove(path);
}

} // namespace

BENCHMARK(BM_ImportPlcopen)->Arg(100000)->Unit(benchmark::kMillisecond);
