#include "HostTestSupport.h"
#include "core/Program.h"
#include "import/plcopen/PlcopenReader.h"
#include "import/types/TypeText.h"
#include "text/HostText.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

namespace {

using namespace hosttest;

// Walks every variable of an imported program through the dictionary: each one must be listed
// by browsing its parent and resolved by its path. Array elements are checked at their first
// index. Function-block instances declared inside function blocks are left out: the library's
// post-load pass removes them (FinalyzeListOfType), and the walk checks that it did. The layout
// is the file's, imported again: the program keeps no full variable records.
class ReachabilityWalk {
public:
    ReachabilityWalk(const Program& program, const ProjectLayout& layout)
        : m_Program(program), m_Layout(layout) {
        for (const CompositeLayout& composite : layout.composites) {
            m_Composites.emplace(ToUpperAscii(composite.name), &composite);
        }
    }

    void CheckRoot() {
        const std::set<std::string> listed = Children("");
        for (const VariableLayout& variable : m_Layout.variables) {
            SCOPED_TRACE(variable.name);
            ++m_Checked;
            EXPECT_TRUE(listed.count(variable.name));
            const CompositeLayout* composite = Composite(variable.TypeName());
            // A whole function-block instance is refused by design; its members are checked.
            if (composite == nullptr || !composite->functionBlock) {
                ExpectResolves(variable.name);
            }
            Descend(variable.name, variable.TypeName(),
                    composite != nullptr && composite->functionBlock, 0);
        }
    }

    std::size_t Checked() const { return m_Checked; }

private:
    const CompositeLayout* Composite(const std::string& typeName) const {
        const auto found = m_Composites.find(ToUpperAscii(typeName));
        return found == m_Composites.end() ? nullptr : found->second;
    }

    std::set<std::string> Children(const std::string& path) {
        BrowseOptions browse;
        browse.path = path;
        const std::vector<BrowsedPage> pages = m_Program.BrowseAll(browse);
        EXPECT_TRUE(!pages.empty() && !pages.back().Failed()) << path;
        std::set<std::string> names;
        for (const auto& child :
             pages.empty() ? std::vector<BrowsedChild>() : pages.front().children) {
            names.insert(child.name);
        }
        return names;
    }

    void ExpectResolves(const std::string& path) {
        const ResolvedItem item = m_Program.Resolve(path);
        EXPECT_TRUE(item.Resolved()) << path << ": " << item.reason;
    }

    // The first element of an array text "ARRAY[l..h, ...] OF T": its path and type.
    static bool FirstElement(const std::string& path, const std::string& typeName,
                             std::string& elementPath, std::string& elementType) {
        std::string error;
        const auto array =
            typeName.rfind("ARRAY[", 0) == 0 ? TypeText::ParseArray(typeName, error) : std::nullopt;
        if (!array) {
            return false;
        }
        elementPath = path;
        for (const auto& [low, high] : array->dims) {
            elementPath += "[" + low + "]";
        }
        elementType = TrimBlanks(array->element);
        return true;
    }

    void Descend(const std::string& path, const std::string& typeName, bool insideBlock,
                 int depth) {
        if (depth > 8) {
            return;
        }
        std::string elementPath;
        std::string elementType;
        if (FirstElement(path, typeName, elementPath, elementType)) {
            ++m_Checked;
            if (!Composite(elementType) || !Composite(elementType)->functionBlock) {
                ExpectResolves(elementPath);
            }
            Descend(elementPath, elementType, insideBlock, depth + 1);
            return;
        }
        const CompositeLayout* composite = Composite(typeName);
        if (composite == nullptr) {
            return;
        }
        const std::set<std::string> listed = Children(path);
        for (std::size_t i = 0; i < composite->members.size(); ++i) {
            const MemberLayout& member = composite->members[i];
            const CompositeLayout* memberType = Composite(member.typeName);
            const bool nestedBlock =
                composite->functionBlock && i > 0 && memberType && memberType->functionBlock;
            SCOPED_TRACE(path + "." + member.name);
            EXPECT_EQ(listed.count(member.name), nestedBlock ? 0U : 1U);
            // The library resolves one level below a function block's local area only.
            if (nestedBlock || (insideBlock && member.areaKind == 2 && depth > 0)) {
                continue;
            }
            ++m_Checked;
            ExpectResolves(path + "." + member.name);
            Descend(path + "." + member.name, member.typeName,
                    insideBlock || composite->functionBlock, depth + 1);
        }
    }

    const Program& m_Program;
    const ProjectLayout& m_Layout;
    std::unordered_map<std::string, const CompositeLayout*> m_Composites;
    std::size_t m_Checked = 0;
};

std::vector<std::string> Samples() {
    const std::filesystem::path directory(VARBANK_SAMPLES_DIR);
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        if (entry.path().extension() == ".xml") {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Every global and every variable of a POU that the file declares (but external ones) is a
// variable or a member of the layout; a program's located variables are variables.
void ExpectDeclaredVariablesLaidOut(const std::string& file, const ProjectLayout& layout) {
    Diagnostics diagnostics(file);
    ProjectModel model;
    ASSERT_TRUE(PlcopenReader(diagnostics).ReadFile(file, model));
    std::set<std::string> names;
    for (const VariableLayout& variable : layout.variables) {
        names.insert(ToUpperAscii(variable.name));
    }
    for (const CompositeLayout& composite : layout.composites) {
        for (const MemberLayout& member : composite.members) {
            names.insert(ToUpperAscii(composite.name + "." + member.name));
        }
    }
    for (const VariableDecl& global : model.globals) {
        EXPECT_TRUE(names.count(ToUpperAscii(global.name))) << global.name;
    }
    for (const PouDecl& pou : model.pous) {
        for (const VariableDecl& variable : pou.variables) {
            const bool topLevel = pou.kind == PouKind::Program && !variable.address.empty() &&
                                  variable.address.find('*') == std::string::npos;
            EXPECT_TRUE(variable.section == VarSection::External ||
                        names.count(ToUpperAscii(topLevel ? variable.name
                                                          : pou.name + "." + variable.name)))
                << pou.name << "." << variable.name;
        }
    }
}

TEST(Samples, EveryProgramImportsAndEveryVariableIsReachable) {
    const std::vector<std::string> files = Samples();
    if (files.empty()) {
        GTEST_SKIP() << "no sample programs at " VARBANK_SAMPLES_DIR;
    }
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        Diagnostics diagnostics(file);
        const auto program = Program::Open(file, {}, diagnostics);
        ASSERT_TRUE(program) << (diagnostics.HasErrors()
                                     ? diagnostics.Format(diagnostics.Entries()[0])
                                     : std::string());
        Diagnostics again(file);
        const auto layout = ProjectImporter(again).ImportFile(file);
        ASSERT_TRUE(layout);
        ASSERT_EQ(layout->variables.size(), program->Variables().Size());
        ExpectDeclaredVariablesLaidOut(file, *layout);
        ReachabilityWalk walk(*program, *layout);
        walk.CheckRoot();
        EXPECT_GT(walk.Checked(), layout->variables.size());
    }
}

// Where the README's memory-model table puts an address, worked out here on its own: the block,
// the byte offset and the bit of a linear address; a location path (two numbers or more that
// are not a bit of a byte or a word) has a slot block and no fixed offset.
struct Place {
    int block = 0;
    std::int64_t offset = -1; // -1: a slot, anywhere in its block
    int bit = -1;
};

Place ExpectedPlace(const std::string& address) {
    static const std::map<char, int> kAreaBlock = {{'M', 1}, {'I', 4}, {'Q', 5}};
    static const std::map<char, int> kSlotBlock = {{'I', 6}, {'Q', 7}, {'M', 8}};
    static const std::map<char, int> kUnit = {{'X', 1}, {'B', 1}, {'W', 2}, {'D', 4}, {'L', 8}};
    std::string text = ToUpperAscii(address);
    text.erase(0, text.front() == '%' ? 1 : 0);
    const char area = text[0];
    const bool letter = std::isdigit(static_cast<unsigned char>(text[1])) == 0;
    const char size = letter ? text[1] : 'X';
    std::vector<std::int64_t> n;
    std::stringstream parts(text.substr(letter ? 2 : 1));
    for (std::string part; std::getline(parts, part, '.');) {
        n.push_back(std::stoll(part));
    }
    const bool bitOfByte = n.size() == 2 && size == 'X' && (letter || area != 'M') && n[1] < 8;
    const bool bitOfWord = n.size() == 2 && size == 'W' && n[1] < 16;
    if (n.size() >= 2 && !bitOfByte && !bitOfWord) {
        return {kSlotBlock.at(area), -1, -1};
    }
    if (size == 'X' && n.size() == 1 && area == 'M') { // bit n of the bit area
        return {2, n[0], -1};
    }
    Place place{kAreaBlock.at(area), n[0] * kUnit.at(size),
                n.size() == 2 ? static_cast<int>(n[1]) : -1};
    if (size == 'X' && n.size() == 1) { // bit n of an I/O area
        place = {place.block, n[0] / 8, static_cast<int>(n[0] % 8)};
    }
    if (place.bit >= 0 && place.offset % 2 == 1) { // a bit of an odd byte: of the word before it
        place = {place.block, place.offset - 1, place.bit + 8};
    }
    return place;
}

// The located variables of a file that name a place: its globals and the variables of the
// programs it runs, each with the instances that run its program.
std::vector<std::pair<VariableDecl, std::vector<std::string>>>
LocatedDeclarations(const ProjectModel& model) {
    std::vector<std::pair<VariableDecl, std::vector<std::string>>> located;
    for (const VariableDecl& global : model.globals) {
        if (!global.address.empty()) {
            located.push_back({global, {}});
        }
    }
    for (const PouDecl& pou : model.pous) {
        std::vector<std::string> instances;
        for (const ProgramInstance& instance : model.instances) {
            if (EqualsNoCase(instance.typeName, pou.name)) {
                instances.push_back(instance.name);
            }
        }
        for (const VariableDecl& variable : pou.variables) {
            if (!instances.empty() && !variable.address.empty() &&
                variable.address.find('*') == std::string::npos) {
                located.push_back({variable, instances});
            }
        }
    }
    return located;
}

// One datum, one position: each located variable resolves by its own name to its address text
// and to the place the memory-model table gives; no instance member stands for it; location
// paths each get a slot of their own.
TEST(Samples, EveryLocatedVariableLiesAtItsAddress) {
    std::vector<std::string> files = Samples();
    files.push_back(kExample);
    files.push_back(VARBANK_SOURCE_DIR "/tests/host/data/library_types.xml");
    std::size_t checked = 0;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        Diagnostics diagnostics(file);
        ProjectModel model;
        ASSERT_TRUE(PlcopenReader(diagnostics).ReadFile(file, model));
        const auto program = Program::Open(file, {}, diagnostics);
        ASSERT_TRUE(program);
        std::set<std::pair<int, std::int64_t>> slots;
        for (const auto& [variable, instances] : LocatedDeclarations(model)) {
            SCOPED_TRACE(variable.name + " AT " + variable.address);
            const Place place = ExpectedPlace(variable.address);
            const ResolvedItem item = program->Resolve(variable.name);
            ASSERT_TRUE(item.Resolved()) << item.reason;
            EXPECT_EQ(item.address, variable.address);
            EXPECT_EQ(item.place.block, place.block);
            EXPECT_EQ(item.place.bit ? *item.place.bit : -1, place.bit);
            if (place.offset >= 0) {
                EXPECT_EQ(item.place.offset, place.offset);
            } else {
                EXPECT_TRUE(slots.insert({place.block, item.place.offset}).second);
            }
            for (const std::string& instance : instances) {
                EXPECT_FALSE(program->Resolve(instance + "." + variable.name).Resolved());
            }
            ++checked;
        }
    }
    // The samples hold 1,032 located variables; the example and the test file 8.
    EXPECT_EQ(checked, files.size() > 2 ? 1040U : 8U);
}

} // namespace
