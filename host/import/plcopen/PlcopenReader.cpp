#include "import/plcopen/PlcopenReader.h"

#include "import/plcopen/DocumentDecoder.h"
#include "import/plcopen/GlobalListScan.h"
#include "import/types/TypeVocabulary.h"
#include "text/HostText.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <utility>

namespace {

// Element and attribute names without a namespace prefix ("ppx:project" -> "project").
std::string_view LocalName(const char* name) {
    const std::string_view text(name);
    const std::size_t colon = text.find(':');
    return colon == std::string_view::npos ? text : text.substr(colon + 1);
}

pugi::xml_node Child(pugi::xml_node node, std::string_view name) {
    for (pugi::xml_node child : node.children()) {
        if (child.type() == pugi::node_element && LocalName(child.name()) == name) {
            return child;
        }
    }
    return {};
}

using ChildVisitor = std::pair<std::string_view, std::function<void(pugi::xml_node)>>;

// Visits the element children of a node in file order, each with the visitor of its name.
void VisitChildren(pugi::xml_node node, std::initializer_list<ChildVisitor> visitors) {
    for (pugi::xml_node child : node.children()) {
        for (const auto& [name, visit] : visitors) {
            if (child.type() == pugi::node_element && LocalName(child.name()) == name) {
                visit(child);
            }
        }
    }
}

void ForEachChild(pugi::xml_node node, std::string_view name,
                  const std::function<void(pugi::xml_node)>& visit) {
    VisitChildren(node, {{name, visit}});
}

pugi::xml_node FirstElement(pugi::xml_node node) {
    for (pugi::xml_node child : node.children()) {
        if (child.type() == pugi::node_element) {
            return child;
        }
    }
    return {};
}

// Gathers the text of every element below; the walk is iterative, so that any depth of
// nesting is safe.
class TextCollector : public pugi::xml_tree_walker {
public:
    bool for_each(pugi::xml_node& node) override {
        if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
            m_Text.append(node.value()).append(1, ' ');
        }
        return true;
    }
    const std::string& Text() const { return m_Text; }

private:
    std::string m_Text;
};

// Removes a node and everything below it, leaves first: the parser's own removal recurses, and
// a node may stand thousands of levels deep.
void RemoveSubtree(pugi::xml_node node) {
    pugi::xml_node current = node;
    while (true) {
        if (const pugi::xml_node child = current.first_child()) {
            current = child;
            continue;
        }
        pugi::xml_node parent = current.parent();
        const bool done = current == node;
        parent.remove_child(current);
        if (done) {
            return;
        }
        current = parent;
    }
}

// Blanks, tabs and line ends collapse to one blank; none at either end.
std::string CollapseBlanks(const std::string& text) {
    std::string result;
    bool pendingBlank = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            pendingBlank = !result.empty();
            continue;
        }
        if (pendingBlank) {
            result += ' ';
            pendingBlank = false;
        }
        result += c;
    }
    return result;
}

std::string Documentation(pugi::xml_node owner) {
    const pugi::xml_node documentation = Child(owner, "documentation");
    if (!documentation) {
        return {};
    }
    TextCollector collector;
    pugi::xml_node walk = documentation;
    walk.traverse(collector);
    return CollapseBlanks(collector.Text());
}

// The initial value as one canonical text: a simple value as written, arrays in brackets
// with n(...) for repetitions, structures as (member := value, ...).
void AppendValue(pugi::xml_node value, std::string& text, std::size_t depth = 0) {
    const std::string_view kind = LocalName(value.name());
    if (depth > PlcopenReader::kMaxTypeDepth) {
        text += "...";
        return;
    }
    if (kind == "simpleValue") {
        text += value.attribute("value").value();
    } else if (kind == "arrayValue" || kind == "structValue") {
        const bool array = kind == "arrayValue";
        text += array ? '[' : '(';
        bool first = true;
        ForEachChild(value, "value", [&](pugi::xml_node item) {
            text += first ? "" : ", ";
            first = false;
            if (const pugi::xml_attribute member = item.attribute("member")) {
                text += std::string(member.value()) + " := ";
            }
            const pugi::xml_attribute repeat = item.attribute("repetitionValue");
            if (repeat) {
                text += std::string(repeat.value()) + "(";
            }
            AppendValue(FirstElement(item), text, depth + 1);
            if (repeat) {
                text += ")";
            }
        });
        text += array ? ']' : ')';
    }
}

// "http://vendor/plcopenxml/pou" -> "pou"; a trailing slash is ignored.
std::string_view LastPathSegment(std::string_view uri) {
    while (!uri.empty() && uri.back() == '/') {
        uri.remove_suffix(1);
    }
    const std::size_t slash = uri.rfind('/');
    return slash == std::string_view::npos ? uri : uri.substr(slash + 1);
}

std::string InitialValue(pugi::xml_node owner) {
    const pugi::xml_node initial = Child(owner, "initialValue");
    std::string text;
    if (initial) {
        AppendValue(FirstElement(initial), text);
    }
    return text;
}

bool SectionOf(std::string_view name, VarSection& section) {
    static const std::pair<std::string_view, VarSection> kSections[] = {
        {"inputVars", VarSection::Input},       {"outputVars", VarSection::Output},
        {"inOutVars", VarSection::InOut},       {"localVars", VarSection::Local},
        {"tempVars", VarSection::Temp},         {"globalVars", VarSection::Global},
        {"externalVars", VarSection::External}, {"accessVars", VarSection::Access},
    };
    for (const auto& [text, value] : kSections) {
        if (name == text) {
            section = value;
            return true;
        }
    }
    return false;
}

// The file's bytes in one allocation of its size: a program of a million variables is over
// a hundred megabytes, and a growing stream would hold it twice.
bool ReadWholeFile(const std::string& path, std::string& text, std::string& error) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        error = std::strerror(errno);
        return false;
    }
    const std::streamoff size = in.tellg();
    if (size < 0 || !in.seekg(0)) {
        // Not a seekable file (a pipe): read it as a stream.
        in.clear();
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
        text.resize(static_cast<std::size_t>(size));
        in.read(text.data(), size);
        text.resize(static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        error = "read error";
        return false;
    }
    return true;
}

} // namespace

PlcopenReader::PlcopenReader(Diagnostics& diagnostics) : PlcopenReader(diagnostics, Pieces{}) {}

PlcopenReader::PlcopenReader(Diagnostics& diagnostics, Pieces pieces)
    : m_Diagnostics(&diagnostics), m_Pieces(pieces) {}

bool PlcopenReader::ReadFile(const std::string& path, ProjectModel& model) {
    std::string text;
    std::string error;
    if (!ReadWholeFile(path, text, error)) {
        m_Diagnostics->Error(0, "cannot read the file: " + error);
        return false;
    }
    return ReadText(std::move(text), model);
}

bool PlcopenReader::ReadText(std::string text, ProjectModel& model) {
    // Names and comments become UTF-16 texts for clients: the document is read as UTF-8, and
    // the line table counts the same bytes as the parser's offsets.
    DocumentDecoder::Failure failure;
    if (!DocumentDecoder::ToUtf8InPlace(text, failure)) {
        m_Diagnostics->Error(failure.line, failure.message);
        return false;
    }
    m_Lines = SourceLines(text);
    m_GlobalLists.clear();
    m_Ahead.clear();
    // Parsed in place: the tree points into the text, so the document is held once.
    m_Text = {text.data(), text.size()};
    if (!ReadLargeLists(text)) {
        return false;
    }
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_buffer_inplace(
        text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed) {
        m_Diagnostics->Error(m_Lines.LineOf(parsed.offset),
                             std::string("malformed XML: ") + parsed.description());
        return false;
    }
    const pugi::xml_node root = document.document_element();
    if (!root || LocalName(root.name()) != "project") {
        m_Diagnostics->Error(Line(root), "not a PLCopen project: the root element is <" +
                                             std::string(root ? root.name() : "") +
                                             ">, not <project>");
        return false;
    }
    CheckNamespace(root);
    model.projectName = Child(root, "contentHeader").attribute("name").value();
    const pugi::xml_node types = Child(root, "types");
    ReadDataTypes(Child(types, "dataTypes"), model);
    ForEachChild(Child(types, "pous"), "pou", [&](pugi::xml_node pou) { ReadPou(pou, model); });
    ForEachChild(Child(Child(root, "instances"), "configurations"), "configuration",
                 [&](pugi::xml_node configuration) { ReadConfiguration(configuration, model); });
    ForEachChild(root, "addData", [&](pugi::xml_node addData) { ReadAddData(addData, model); });
    m_Ahead.clear(); // a list read ahead but refused (declared twice) stays unread
    return true;
}

// Each large list is parsed in place a piece at a time, its variables read and the piece's
// tree freed before the next; its content is then blanked, so that the document's own parse
// meets an empty list.
bool PlcopenReader::ReadLargeLists(std::string& text) {
    if (text.size() < m_Pieces.minBytes) {
        return true;
    }
    for (const GlobalListScan::List& list :
         GlobalListScan::Find(text, m_Pieces.minBytes, m_Pieces.pieceBytes)) {
        ListAhead ahead{{}, Diagnostics(m_Diagnostics->FileName())};
        for (std::size_t i = 1; i < list.cuts.size(); ++i) {
            const std::size_t size = list.cuts[i] - list.cuts[i - 1];
            if (!ReadListPiece(text.data() + list.cuts[i - 1], size, ahead)) {
                return false;
            }
        }
        std::memset(text.data() + list.begin, ' ', list.end - list.begin);
        m_Ahead.emplace(text.data() + list.name, std::move(ahead));
    }
    return true;
}

bool PlcopenReader::ReadListPiece(char* begin, std::size_t size, ListAhead& list) {
    pugi::xml_document piece;
    const pugi::xml_parse_result parsed = piece.load_buffer_inplace(
        begin, size, pugi::parse_default | pugi::parse_fragment, pugi::encoding_utf8);
    if (!parsed) {
        m_Diagnostics->Error(m_Lines.LineOf(begin - m_Text.data() + parsed.offset),
                             std::string("malformed XML: ") + parsed.description());
        return false;
    }
    Diagnostics* const report = std::exchange(m_Diagnostics, &list.diagnostics);
    for (pugi::xml_node variable : piece.children()) {
        if (variable.type() == pugi::node_element && LocalName(variable.name()) == "variable") {
            list.variables.push_back(ReadVariable(variable, VarSection::Global));
        }
    }
    m_Diagnostics = report;
    return true;
}

std::optional<PlcopenReader::ListAhead> PlcopenReader::TakeAhead(pugi::xml_node globalVars) {
    const auto found = m_Ahead.find(globalVars.name());
    if (found == m_Ahead.end()) {
        return std::nullopt;
    }
    std::optional<ListAhead> ahead(std::move(found->second));
    m_Ahead.erase(found);
    m_Diagnostics->Append(ahead->diagnostics);
    return ahead;
}

void PlcopenReader::CheckNamespace(pugi::xml_node root) {
    const std::string_view name(root.name());
    const std::size_t colon = name.find(':');
    const std::string attribute =
        colon == std::string_view::npos ? "xmlns" : "xmlns:" + std::string(name.substr(0, colon));
    const std::string uri = root.attribute(attribute.c_str()).value();
    if (uri == "http://www.plcopen.org/xml/tc6_0200" ||
        uri == "http://www.plcopen.org/xml/tc6_0201") {
        return;
    }
    m_Diagnostics->Warning(Line(root),
                           "namespace '" + uri + "' is not tc6_0200 or tc6_0201; read as tc6_0201");
}

void PlcopenReader::ReadDataTypes(pugi::xml_node dataTypes, ProjectModel& model) {
    ForEachChild(dataTypes, "dataType", [&](pugi::xml_node node) {
        DataTypeDecl type;
        type.name = node.attribute("name").value();
        type.line = Line(node);
        ReadType(Child(node, "baseType"), type.type, "data type '" + type.name + "'", type.line);
        type.initialValue = InitialValue(node);
        type.comment = Documentation(node);
        model.dataTypes.push_back(std::move(type));
    });
}

void PlcopenReader::ReadPou(pugi::xml_node node, ProjectModel& model) {
    PouDecl pou;
    pou.name = node.attribute("name").value();
    pou.line = Line(node);
    const std::string kind = node.attribute("pouType").value();
    if (kind == "program") {
        pou.kind = PouKind::Program;
    } else if (kind == "functionBlock") {
        pou.kind = PouKind::FunctionBlock;
    } else if (kind == "function") {
        return; // functions keep no variables between calls: nothing to serve
    } else {
        m_Diagnostics->Error(pou.line,
                             "POU '" + pou.name + "' has the unknown pouType '" + kind + "'");
        return;
    }
    pou.comment = Documentation(node);
    ReadInterface(Child(node, "interface"), pou);
    model.pous.push_back(std::move(pou));
}

// Each <data> names its content by a URI whose host is the vendor's; its last path segment
// tells what it holds: "pou" POUs, "globalvars" global lists. Other data is skipped.
void PlcopenReader::ReadAddData(pugi::xml_node addData, ProjectModel& model) {
    ForEachChild(addData, "data", [&](pugi::xml_node data) {
        const std::string kind = ToUpperAscii(LastPathSegment(data.attribute("name").value()));
        if (kind == "POU") {
            ForEachChild(data, "pou", [&](pugi::xml_node pou) { ReadPou(pou, model); });
        } else if (kind == "GLOBALVARS") {
            ForEachChild(data, "globalVars",
                         [&](pugi::xml_node list) { ReadGlobals(list, model); });
        }
    });
}

void PlcopenReader::ReadInterface(pugi::xml_node interface, PouDecl& pou) {
    for (pugi::xml_node list : interface.children()) {
        VarSection section = VarSection::Local;
        if (list.type() != pugi::node_element || !SectionOf(LocalName(list.name()), section)) {
            continue; // returnType, documentation, addData
        }
        const bool constant = list.attribute("constant").as_bool();
        if (std::optional<ListAhead> ahead = TakeAhead(list)) {
            for (VariableDecl& variable : ahead->variables) {
                variable.section = section;
                variable.constant = constant;
                pou.variables.push_back(std::move(variable));
            }
            continue;
        }
        ForEachChild(list, "variable", [&](pugi::xml_node variable) {
            pou.variables.push_back(ReadVariable(variable, section));
            pou.variables.back().constant = constant;
        });
    }
}

void PlcopenReader::ReadConfiguration(pugi::xml_node configuration, ProjectModel& model) {
    VisitChildren(configuration,
                  {{"resource", [&](pugi::xml_node node) { ReadResource(node, model); }},
                   {"globalVars", [&](pugi::xml_node node) { ReadGlobals(node, model); }},
                   {"addData", [&](pugi::xml_node node) { ReadAddData(node, model); }}});
}

// Globals and program instances, in file order; instances may stand in tasks.
void PlcopenReader::ReadResource(pugi::xml_node resource, ProjectModel& model) {
    const auto instance = [&](pugi::xml_node node) { ReadInstance(node, model); };
    VisitChildren(resource, {{"globalVars", [&](pugi::xml_node node) { ReadGlobals(node, model); }},
                             {"addData", [&](pugi::xml_node node) { ReadAddData(node, model); }},
                             {"pouInstance", instance},
                             {"task", [&](pugi::xml_node task) {
                                  ForEachChild(task, "pouInstance", instance);
                              }}});
}

// A named list declared a second time is refused once, its variables unread, rather than
// each of them reported as a duplicate.
void PlcopenReader::ReadGlobals(pugi::xml_node globalVars, ProjectModel& model) {
    const std::string name = globalVars.attribute("name").value();
    if (!name.empty()) {
        const std::size_t line = Line(globalVars);
        const auto [first, inserted] = m_GlobalLists.emplace(ToUpperAscii(name), line);
        if (!inserted) {
            m_Diagnostics->Error(line, "duplicate global variable list " + Quoted(name) +
                                           " (first declared at line " +
                                           std::to_string(first->second) + ")");
            return;
        }
    }
    const bool constant = globalVars.attribute("constant").as_bool();
    if (std::optional<ListAhead> ahead = TakeAhead(globalVars)) {
        JoinGlobals(ahead->variables, constant, name, model);
        return;
    }
    // Each variable leaves the tree once read: the tree's pages go back as the model grows, so a
    // large list is not held twice.
    pugi::xml_node variable = globalVars.first_child();
    while (variable) {
        const pugi::xml_node next = variable.next_sibling();
        if (variable.type() == pugi::node_element && LocalName(variable.name()) == "variable") {
            model.globals.push_back(ReadVariable(variable, VarSection::Global));
            model.globals.back().constant = constant;
            model.globals.back().list = name;
            RemoveSubtree(variable);
        }
        variable = next;
    }
}

void PlcopenReader::JoinGlobals(std::deque<VariableDecl>& variables, bool constant,
                                const std::string& list, ProjectModel& model) {
    for (VariableDecl& variable : variables) {
        variable.constant = constant;
        variable.list = list;
    }
    if (model.globals.empty()) {
        model.globals = std::move(variables);
        return;
    }
    while (!variables.empty()) {
        model.globals.push_back(std::move(variables.front()));
        variables.pop_front();
    }
}

void PlcopenReader::ReadInstance(pugi::xml_node pouInstance, ProjectModel& model) {
    ProgramInstance instance;
    instance.name = pouInstance.attribute("name").value();
    instance.line = Line(pouInstance);
    // tc6_0200 and later write typeName; the older schema wrote type. An empty one names the
    // program the instance is named after, as IDEs write a program's own instance.
    pugi::xml_attribute type = pouInstance.attribute("typeName");
    if (!type) {
        type = pouInstance.attribute("type");
    }
    instance.typeName = type.value();
    if (type && instance.typeName.empty()) {
        instance.typeName = instance.name;
    }
    instance.comment = Documentation(pouInstance);
    if (!type) {
        m_Diagnostics->Error(instance.line,
                             "program instance '" + instance.name + "' names no program");
        return;
    }
    model.instances.push_back(std::move(instance));
}

VariableDecl PlcopenReader::ReadVariable(pugi::xml_node variable, VarSection section) {
    VariableDecl decl;
    decl.name = variable.attribute("name").value();
    decl.address = variable.attribute("address").value();
    decl.section = section;
    decl.line = Line(variable);
    ReadType(Child(variable, "type"), decl.type, "variable '" + decl.name + "'", decl.line);
    decl.comment = Documentation(variable);
    decl.initialValue = InitialValue(variable);
    return decl;
}

void PlcopenReader::ReadType(pugi::xml_node holder, TypeRef& ref, const std::string& owner,
                             std::size_t ownerLine) {
    const pugi::xml_node element = FirstElement(holder);
    if (!element) {
        ref.kind = TypeRef::Kind::Invalid;
        ref.line = holder ? Line(holder) : ownerLine;
        m_Diagnostics->Error(ref.line, owner + " has no type");
        return;
    }
    ReadTypeElement(element, ref);
}

void PlcopenReader::ReadTypeElement(pugi::xml_node element, TypeRef& ref) {
    const std::string name(LocalName(element.name()));
    ref.line = Line(element);
    const DepthGuard guard(m_TypeDepth);
    if (m_TypeDepth > kMaxTypeDepth) {
        ref.kind = TypeRef::Kind::Invalid;
        m_Diagnostics->Error(ref.line,
                             "types nest deeper than " + std::to_string(kMaxTypeDepth) + " levels");
        return;
    }
    if (TypeVocabulary::IsElementaryElement(name)) {
        ref.kind = TypeRef::Kind::Elementary;
        ref.name = name;
    } else if (name == "string" || name == "wstring") {
        ref.kind = TypeRef::Kind::String;
        ref.wide = name == "wstring";
        ReadLength(element, ref);
    } else if (name == "derived") {
        ref.kind = TypeRef::Kind::Derived;
        ref.name = element.attribute("name").value();
    } else if (name == "array") {
        ReadArray(element, ref);
    } else if (name == "enum") {
        ref.kind = TypeRef::Kind::Enum;
        ForEachChild(Child(element, "values"), "value", [&](pugi::xml_node value) {
            ref.Details().enumValues.emplace_back(value.attribute("name").value(),
                                                  value.attribute("value").value());
        });
        ReadBase(element, ref, false);
    } else if (name == "subrangeSigned" || name == "subrangeUnsigned") {
        ref.kind = TypeRef::Kind::Subrange;
        const pugi::xml_node range = Child(element, "range");
        ref.Details().range = {range.attribute("lower").value(), range.attribute("upper").value()};
        ReadBase(element, ref, true);
    } else if (name == "pointer") {
        ref.kind = TypeRef::Kind::Pointer;
        ReadBase(element, ref, true);
    } else if (name == "struct") {
        ref.kind = TypeRef::Kind::Struct;
        ForEachChild(element, "variable", [&](pugi::xml_node member) {
            ref.Details().members.push_back(ReadVariable(member, VarSection::Member));
        });
    } else {
        ref.kind = TypeRef::Kind::Invalid;
        m_Diagnostics->Error(ref.line, "unsupported type element <" + name + ">");
    }
}

void PlcopenReader::ReadArray(pugi::xml_node array, TypeRef& ref) {
    bool valid = true;
    ForEachChild(array, "dimension", [&](pugi::xml_node dimension) {
        const pugi::xml_attribute lower = dimension.attribute("lower");
        const pugi::xml_attribute upper = dimension.attribute("upper");
        if (!lower || !upper) {
            m_Diagnostics->Error(Line(dimension), "an array dimension needs lower and upper");
            valid = false;
        }
        ref.Details().dims.emplace_back(lower.value(), upper.value());
    });
    if (ref.Details().dims.empty()) {
        m_Diagnostics->Error(ref.line, "an array needs at least one dimension");
        valid = false;
    }
    ReadBase(array, ref, true);
    // An array already reported resolves to nothing, without a second message.
    ref.kind = valid ? TypeRef::Kind::Array : TypeRef::Kind::Invalid;
}

void PlcopenReader::ReadBase(pugi::xml_node element, TypeRef& ref, bool required) {
    const pugi::xml_node base = Child(element, "baseType");
    if (!base && !required) {
        return;
    }
    ref.base = std::make_shared<TypeRef>();
    std::string owner(1, '<');
    owner.append(LocalName(element.name())).append(1, '>');
    ReadType(base, *ref.base, owner, Line(element));
}

// The length as written, evaluated with the constants when the type is resolved; an empty one
// is reported here, as it cannot stand for a plain STRING.
void PlcopenReader::ReadLength(pugi::xml_node element, TypeRef& ref) {
    const pugi::xml_attribute length = element.attribute("length");
    ref.Details().length = length.value();
    if (length && TrimBlanks(ref.Details().length).empty()) {
        m_Diagnostics->Error(Line(element), "an empty string length; write a number from 1 to "
                                            "2147483647, or no length");
        ref.kind = TypeRef::Kind::Invalid;
    }
}

// A tree parsed in place keeps no buffer of its own to count from: an element's offset is where
// its name lies in the text (as the parser's own offsets count), anything else's its value's.
std::size_t PlcopenReader::Line(pugi::xml_node node) const {
    if (!node) {
        return 0;
    }
    const char* at = node.type() == pugi::node_element ? node.name() : node.value();
    if (at < m_Text.data() || at >= m_Text.data() + m_Text.size()) {
        return 0;
    }
    return m_Lines.LineOf(at - m_Text.data());
}
