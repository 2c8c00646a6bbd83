#include "HostTestSupport.h"
#include "commands/BrowseCommand.h"
#include "commands/HostSession.h"
#include "commands/ResolveCommand.h"
#include "import/NameText.h"
#include "import/plcopen/PlcopenReader.h"
#include "import/types/TypeText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {

using namespace hosttest;

// Walks every variable of an imported program through the dictionary: each one must be listed
// by browsing its parent and resolved by its path. Array elements are checked at their first
// index. Function-block instances declared inside function blocks are left out: the library's
// post-load pass removes them (FinalyzeListOfType), and the walk checks that it did.
class ReachabilityWalk {
public:
    explicit ReachabilityWalk(HostSession& session) : m_Session(session) {
        for (const CompositeLayout& composite : session.Layout().composites) {
            m_Composites.emplace(ToUpperAscii(composite.name), &composite);
        }
    }

    void CheckRoot() {
        const std::set<std::string> listed = Children("");
        for (const VariableLayout& variable : m_Session.Layout().variables) {
            SCOPED_TRACE(variable.name);
            ++m_Checked;
            EXPECT_TRUE(listed.count(variable.name));
            const CompositeLayout* composite = Composite(variable.typeName);
            // A whole function-block instance is refused by design; its members are checked.
            if (composite == nullptr || !composite->functionBlock) {
                ExpectResolves(variable.name);
            }
            Descend(variable.name, variable.typeName,
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
        BrowseCommand::Options options;
        options.path = path;
        std::vector<BrowseCommand::Page> pages;
        EXPECT_EQ(BrowseCommand(m_Session).BrowsePages(options, pages), S_OK) << path;
        std::set<std::string> names;
        for (const auto& child : pages.front().children) {
            names.insert(child.name);
        }
        return names;
    }

    void ExpectResolves(const std::string& path) {
        const nlohmann::json result = ResolveCommand(m_Session).Resolve(path);
        EXPECT_TRUE(result["resolved"].get<bool>()) << path << ": " << result.dump();
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

    HostSession& m_Session;
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
// variable or a member of the layout.
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
            EXPECT_TRUE(variable.section == VarSection::External ||
                        names.count(ToUpperAscii(pou.name + "." + variable.name)))
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
        const auto session = HostSession::Open(file, {}, diagnostics);
        ASSERT_TRUE(session) << (diagnostics.HasErrors()
                                     ? diagnostics.Format(diagnostics.Entries()[0])
                                     : std::string());
        ExpectDeclaredVariablesLaidOut(file, session->Layout());
        ReachabilityWalk walk(*session);
        walk.CheckRoot();
        EXPECT_GT(walk.Checked(), session->Layout().variables.size());
    }
}

} // namespace
