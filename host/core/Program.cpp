#include "core/Program.h"

#include "core/DictionaryBuilder.h"
#include "core/InitialValues.h"
#include "core/ItemName.h"
#include "core/LayoutTypes.h"
#include "core/StagingDirectory.h"
#include "core/ValueAccess.h"
#include "import/ProjectImporter.h"
#include "import/layout/LocatedAddress.h"
#include "text/HostText.h"
#include "values/MemoryImage.h"

#include <charconv>
#include <csignal>
#include <exception>
#include <filesystem>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// The record's fields, unpacked in one place.
PhysicalPlace PlaceOf(const ImplemRecord& implem) {
    const tagRATVARPHYSICALIMPLEM& record = implem.Record;
    PhysicalPlace place;
    place.block = record.wBlock;
    place.offset = record.dwOffset;
    place.size = record.dwSize;
    if (record.byBit != varbank::kNoBit) {
        place.bit = record.byBit;
    }
    place.typeCode = record.dwTypeCode;
    place.accessKind = record.dwAccessKind;
    place.areaKind = record.dwAreaKind;
    place.subOffset = record.dwSubOffset;
    place.subSize = record.wSubSize;
    place.elementIndex = record.dwElementIndex;
    place.stampSum = record.dwStampSum;
    place.attribute = implem.dwAttribute;
    return place;
}

BrowseFault BrowseFaultOf(HRESULT status) {
    if (status == E_INVALIDARG) {
        return BrowseFault::NotComposite;
    }
    if (status == E_NOTIMPL) {
        return BrowseFault::NotAvailable;
    }
    return FAILED(status) ? BrowseFault::Other : BrowseFault::None;
}

std::vector<BrowsedChild> ChildrenOf(const varbank::BrowsePage& page) {
    std::vector<BrowsedChild> children;
    children.reserve(page.Count());
    for (std::uint32_t i = 0; i < page.Count(); ++i) {
        varbank::BrowseChild child = page.Child(i);
        const std::size_t bang = child.itemId.find('!');
        std::string path = bang == std::string::npos ? child.itemId : child.itemId.substr(bang + 1);
        children.push_back(
            {std::move(child.name), std::move(child.itemId), std::move(path), child.hasChildren});
    }
    return children;
}

struct KindFlags {
    std::int32_t branchesOnly;
    std::int32_t leaves;
    std::int32_t branches;
};

// The browse with its path normalised, and an empty page; or a failed page when the path
// breaks the item-name grammar.
BrowsedPage CheckPath(BrowseOptions& browse) {
    BrowsedPage page;
    const ItemName checked = ItemName::CheckPath(browse.path);
    if (!checked.Ok()) {
        page.fault = BrowseFault::BadPath;
        page.status = E_INVALIDARG;
        page.reason = checked.Reason();
        return page;
    }
    browse.path = checked.Text();
    return page;
}

KindFlags FlagsOf(BrowseKind kind) {
    switch (kind) {
    case BrowseKind::Leaves:
        return {0, 1, 0};
    case BrowseKind::Branches:
        return {0, 0, 1};
    case BrowseKind::BranchesOnly:
        return {1, 0, 0};
    case BrowseKind::All:
        break;
    }
    return {0, 1, 1};
}

// The import's passing structures (the parse tree, the project model, the name tables) leave
// the heap in many freed pieces that the allocator keeps for reuse; they go back to the system,
// so that a service holding a large program is only as large as what it keeps.
void ReleaseFreedMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace

bool PhysicalPlace::InLocalArea() const {
    return areaKind >= AREA_KIND_SECONDARY;
}

Program::~Program() = default;

std::string Program::DictionaryName(const std::string& path) {
    const std::string stem = std::filesystem::path(path).stem().string();
    return stem.empty() ? "PLC" : stem;
}

std::shared_ptr<Program> Program::Open(const std::string& path, const ProgramOptions& options,
                                       Diagnostics& report) {
    std::shared_ptr<Program> program(new Program());
    try {
        auto layout = ProjectImporter(report, {options.strict}).ImportFile(path);
        if (!layout) {
            return nullptr;
        }
        program->m_Name = DictionaryName(path);
        program->m_Path = path;
        program->m_Layout = std::move(*layout);
        program->m_Variables = std::make_unique<VariableTable>(program->m_Layout.variables);
        program->m_Types = std::make_unique<LayoutTypes>(program->m_Layout, *program->m_Variables);
        program->m_Trace = std::make_unique<TraceRecorder>(options.traceEcho);
        // The dictionary's own dump folder; every dump names its folder (WriteDump).
        const std::string folder = "/tmp";
        program->m_Dictionary =
            DictionaryBuilder::Build(program->m_Layout, program->m_Name, folder);
        program->m_Dictionary->Initialize(0, program->m_Trace.get(), 1, folder, 0);
        program->CountContents();
        program->OpenMemory(options.memory, report);
        program->DropVariableLayouts();
        ReleaseFreedMemory();
    } catch (const std::exception& error) {
        // The dictionary reports only allocation and file failures as exceptions.
        report.Error(0, error.what());
        return nullptr;
    }
    return program;
}

void Program::CountContents() {
    CVarbank& dictionary = *m_Dictionary;
    const auto& ends = m_Layout.blockEnds;
    m_Info = {dictionary.GetDicoName(),
              dictionary.GetHostText(),
              varbank::CountContents(dictionary),
              ends[LocatedAddress::kInputBlock],
              ends[LocatedAddress::kOutputBlock],
              ends[LocatedAddress::kInputSlotBlock],
              ends[LocatedAddress::kOutputSlotBlock],
              ends[LocatedAddress::kMemorySlotBlock],
              dictionary.GetStampText()};
}

// The memory behind the dictionary; initial values that do not fit the image are warnings.
void Program::OpenMemory(const MemoryChoice& choice, Diagnostics& report) {
    m_MemoryKind = choice.kind;
    if (choice.kind == MemoryKind::Modbus) {
        auto memory = std::make_unique<ModbusMemory>(choice.modbus);
        m_Plc = memory->Endpoint();
        m_Memory = std::move(memory);
        m_Values = std::make_unique<ValueAccess>(*this, *m_Memory);
        return;
    }
    m_Memory = std::make_unique<MemoryImage>(m_Layout);
    m_Values = std::make_unique<ValueAccess>(*this, *m_Memory);
    for (const std::string& problem :
         InitialValues(m_Layout.variables, *m_Types).WriteInto(*m_Values)) {
        report.Remark(0, problem);
    }
}

// The full records of the variables (comments, addresses, places, initial values) have served:
// the dictionary keeps its own copies and the variable table what the core asks later.
void Program::DropVariableLayouts() {
    std::vector<VariableLayout>().swap(m_Layout.variables);
}

std::optional<std::string> Program::DeclaredType(const std::string& name) const {
    const LocatedItem located = m_Values->Locate(name, 1);
    if (located.fault || located.leaves.size() != 1 || located.leaves.front().path != name) {
        return std::nullopt;
    }
    return located.leaves.front().type;
}

ValuePlacement Program::PlaceChecked(const std::string& checkedName) const {
    ValuePlacement placed;
    NarrowResolution resolution;
    const HRESULT status = m_Dictionary->ResolveNarrow(checkedName, resolution);
    if (status != S_OK) {
        placed.fault = FaultOf(varbank::ExplainRefusal(*m_Dictionary, checkedName, status));
        placed.reason = FaultText(placed.fault, status);
        return placed;
    }
    placed.place = PlaceOf(resolution.implem);
    placed.typeName = std::move(resolution.typeName);
    placed.kind = resolution.kind;
    return placed;
}

ResolvedItem Program::Resolve(const std::string& name) const {
    ResolvedItem item;
    if (ItemName::IsIdentifier(name)) { // valid, normalised and UTF-8 as it is
        item.name = name;
        ResolveInto(name, item);
        return item;
    }
    item.name = ValidUtf8(name);
    const ItemName checked = ItemName::Check(name);
    if (!checked.Ok()) {
        item.fault = checked.Fault();
        item.reason = checked.Reason();
        return item;
    }
    ResolveInto(checked.Text(), item);
    return item;
}

void Program::Prefetch(const std::vector<std::string>& names) const {
    m_Dictionary->PrefetchItems(names);
}

ResolvedItem Program::ResolveChecked(const std::string& checkedName) const {
    ResolvedItem item;
    ResolveInto(checkedName, item);
    return item;
}

void Program::ResolveInto(const std::string& checkedName, ResolvedItem& item) const {
    NarrowResolution resolution;
    const HRESULT status = m_Dictionary->ResolveNarrow(checkedName, resolution);
    if (status != S_OK) {
        item.fault = FaultOf(varbank::ExplainRefusal(*m_Dictionary, checkedName, status));
        item.reason = FaultText(item.fault, status);
        return;
    }
    item.address = std::move(resolution.address);
    item.comment = std::move(resolution.comment);
    item.place = PlaceOf(resolution.implem);
    item.typeName = std::move(resolution.typeName);
    item.kind = resolution.kind;
    item.info = std::move(resolution.info);
}

varbank::BrowseRequest Program::Request(const BrowseOptions& browse) const {
    const KindFlags kinds = FlagsOf(browse.kind);
    varbank::BrowseRequest request;
    request.pattern = browse.pattern;
    request.varType = browse.varType;
    request.path = browse.path;
    request.branchesOnly = kinds.branchesOnly;
    request.leaves = kinds.leaves;
    request.branches = kinds.branches;
    request.position = Utf8ToUtf16(m_Name + (browse.path.empty() ? "" : "!" + browse.path));
    request.maximum = browse.pageSize;
    return request;
}

BrowsedPage Program::Browse(const BrowseOptions& browse, const std::string& continuation) const {
    BrowseOptions checked = browse;
    BrowsedPage result = CheckPath(checked);
    if (result.Failed()) {
        return result;
    }
    result.reason = ItemName::ContinuationFault(continuation);
    if (!result.reason.empty()) {
        result.fault = BrowseFault::BadContinuation;
        result.status = E_INVALIDARG;
        return result;
    }
    const varbank::BrowsePage page(*m_Dictionary, Request(checked), Utf8ToUtf16(continuation));
    result.status = page.Status();
    result.fault = BrowseFaultOf(page.Status());
    if (result.Failed()) {
        return result;
    }
    result.children = ChildrenOf(page);
    if (page.More() && !page.Continuation().empty()) {
        result.continuation = Utf16ToUtf8(page.Continuation());
    }
    return result;
}

std::vector<BrowsedPage> Program::BrowseAll(const BrowseOptions& browse) const {
    BrowseOptions checked = browse;
    std::vector<BrowsedPage> pages{CheckPath(checked)};
    if (pages.front().Failed()) {
        return pages;
    }
    pages.clear();
    varbank::BrowsePager pager(*m_Dictionary, Request(checked));
    for (varbank::BrowsePage page; pager.Next(page);) {
        BrowsedPage& added = pages.emplace_back();
        added.status = page.Status();
        added.children = ChildrenOf(page);
        if (page.More()) {
            added.continuation = Utf16ToUtf8(page.Continuation());
        }
    }
    if (FAILED(pager.Status())) {
        BrowsedPage& failed = pages.emplace_back();
        failed.status = pager.Status();
        failed.fault = BrowseFaultOf(pager.Status());
    }
    return pages;
}

BrowsedPage Program::BrowseColumns(const BrowseOptions& browse, const std::string& columns,
                                   std::vector<std::string>& lines) const {
    const KindFlags kinds = FlagsOf(browse.kind);
    BrowseOptions checked = browse;
    BrowsedPage result = CheckPath(checked);
    if (result.Failed()) {
        return result;
    }
    result.status = m_Dictionary->BrowseNames(
        "", browse.pattern.c_str(), browse.varType, checked.path.c_str(), 0, 0, kinds.branchesOnly,
        kinds.leaves, kinds.branches, static_cast<std::int32_t>(columns.size()), columns.c_str(),
        &lines, nullptr);
    result.fault = BrowseFaultOf(result.status);
    return result;
}

StampMatch Program::CompareStamp(const PLCDicoStamping& running) const {
    switch (m_Dictionary->CheckDicoStamp(&running)) {
    case CSymb::CONSISTENCE_OK:
        return StampMatch::Ok;
    case CSymb::CONSISTENCE_PARTIAL:
        return StampMatch::Partial;
    case CSymb::CONSISTENCE_MISMATCH:
        return StampMatch::Mismatch;
    case CSymb::CONSISTENCE_NO_STAMP:
        return StampMatch::NoStamp;
    case CSymb::CONSISTENCE_NONE:
        break;
    }
    return StampMatch::None;
}

const char* StampMatchName(StampMatch match) {
    switch (match) {
    case StampMatch::Ok:
        return "OK";
    case StampMatch::Partial:
        return "PARTIAL";
    case StampMatch::Mismatch:
        return "MISMATCH";
    case StampMatch::NoStamp:
        return "NO STAMP";
    case StampMatch::None:
        break;
    }
    return "NONE";
}

std::optional<PLCDicoStamping> ParseStampText(const std::string& text) {
    PLCDicoStamping record{};
    std::size_t start = 0;
    for (int word = 0; word < 5; ++word) {
        const std::size_t end = word < 4 ? text.find(':', start) : text.size();
        if (end == std::string::npos || end == start || end - start > 8) {
            return std::nullopt;
        }
        std::uint32_t value = 0;
        const char* first = text.data() + start;
        const char* last = text.data() + end;
        const auto [stop, error] = std::from_chars(first, last, value, 16);
        if (error != std::errc() || stop != last || *first == '+' || *first == '-') {
            return std::nullopt;
        }
        record.m_Words[word] = value;
        start = end + 1;
    }
    return record;
}

PLCDicoStamping Program::StampRecord() const {
    return varbank::StampRecord(*m_Dictionary);
}

bool Program::WriteDump(const std::string& directory, std::string& reason) const {
    StagingDirectory staging(directory);
    if (staging.Path().empty()) {
        reason = "cannot create a folder for the dump: " + staging.Reason();
        return false;
    }
    // Past a file size limit, a write fails instead of killing the process, so the private
    // folder and its partial file are still removed.
    std::signal(SIGXFSZ, SIG_IGN);
    if (!varbank::SaveDumpInto(*m_Dictionary, staging.Path(), reason)) {
        reason = "cannot write the dump: " + reason;
        return false;
    }
    if (!staging.Publish(DumpFileName())) {
        reason = "cannot write the dump: " + staging.Reason();
        return false;
    }
    return true;
}
