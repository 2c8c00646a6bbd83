#include "core/ValueAccess.h"

#include "core/ItemName.h"
#include "core/LayoutTypes.h"
#include "core/Program.h"
#include "text/HostText.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <utility>

// An elementary place and its type, or a composite to read by its leaves. The codec and the
// texts lie in the request's codecs and the program's layout.
struct ValueAccess::Target {
    MemoryPlace place;
    const ValueType* type = nullptr; // none for a structure, array or function block
    std::string_view shownType;
    std::string_view written; // the type as the program writes it (in the layout); may be empty
};

// The codecs of a request's elementary types, each found once: the names of a request have few
// types, and names of one type share its written text, the dictionary's type name and its size.
struct ValueAccess::Codecs {
    struct Entry {
        std::string_view written; // in the program's layout
        std::string typeName;
        std::uint32_t size = 0;
        std::optional<ValueType> type; // none: the host cannot read the type
    };
    // Only the latest entries are searched, so that a request of many types stays linear.
    static constexpr std::size_t kSearched = 16;

    std::deque<Entry> entries; // a deque: targets point into its entries while it grows

    const Entry& Find(const LayoutTypes& types, std::string_view written,
                      const std::string& typeName, std::uint32_t size) {
        const std::size_t searched = std::min(entries.size(), kSearched);
        for (auto entry = entries.end() - static_cast<std::ptrdiff_t>(searched);
             entry != entries.end(); ++entry) {
            if (entry->size == size && entry->written == written && entry->typeName == typeName) {
                return *entry;
            }
        }
        Entry& added = entries.emplace_back();
        added.written = written;
        added.typeName = typeName;
        added.size = size;
        added.type = ValueCodec::TypeOf(typeName, types.UnderlyingView(written), size);
        return added;
    }
};

// A value being read: a leaf (one read of the batch) or the children of a composite.
struct ValueAccess::Node {
    std::string key;
    std::string path;         // a leaf's full name
    std::string type;         // a leaf's type as the program writes it
    std::string_view written; // a composite's type as the program writes it (in the layout)
    bool array = false;
    std::vector<Node> children;
    std::size_t read = SIZE_MAX;
    ValueFault fault = ValueFault::None; // a leaf that cannot be read
    std::string faultPath;
    std::string reason;
};

struct ValueAccess::Batch {
    std::vector<MemoryRead> reads;
    std::vector<const ValueType*> types; // one per read, in `codecs`
    Codecs codecs;
    std::size_t leaves = 0; // counted over the whole request
    std::size_t maxLeaves = kMaxLeaves;
};

namespace {

void SetFault(ValueResult& result, ValueFault fault, const std::string& path, std::string reason) {
    result.fault = fault;
    result.faultPath = path;
    result.reason = std::move(reason);
}

ValueResult Named(const std::string& name) {
    ValueResult result;
    result.name = ValidUtf8(name);
    return result;
}

const ValueType& BoolCodec() {
    static const ValueType type = ValueCodec::BoolType();
    return type;
}

// Where the value of a name lies, the name checked first.
ValuePlacement Place(const Program& program, const std::string& name) {
    const ItemName checked = ItemName::Check(name);
    if (!checked.Ok()) {
        ValuePlacement placed;
        placed.fault = checked.Fault();
        placed.reason = checked.Reason();
        return placed;
    }
    return program.PlaceChecked(checked.Text());
}

// An integer value as the bounds a program declares compare it: in 64 signed bits, or above
// every such value.
struct DeclaredInteger {
    std::optional<std::int64_t> value;
    bool aboveAll = false;

    static DeclaredInteger Of(const Value& value) {
        if (value.IsSigned()) {
            return {value.AsSigned(), false};
        }
        if (value.IsUnsigned()) {
            const std::uint64_t number = value.AsUnsigned();
            return number > static_cast<std::uint64_t>(INT64_MAX)
                       ? DeclaredInteger{std::nullopt, true}
                       : DeclaredInteger{static_cast<std::int64_t>(number), false};
        }
        return {};
    }
    bool IsInteger() const { return value || aboveAll; }
    bool IsWithin(const std::pair<std::int64_t, std::int64_t>& range) const {
        return value && *value >= range.first && *value <= range.second;
    }
    bool IsEnumValueOf(const NamedTypeLayout& enumeration) const {
        for (const auto& [name, number] : enumeration.enumValues) {
            if (value == number) {
                return true;
            }
        }
        return false;
    }
};

// The value names of an enumeration as a message lists them; a long list is cut.
std::string EnumNames(const NamedTypeLayout& enumeration) {
    constexpr std::size_t kShown = 20;
    std::string names;
    for (std::size_t i = 0; i < enumeration.enumValues.size(); ++i) {
        if (i == kShown) {
            return names + ", \u2026 " + std::to_string(enumeration.enumValues.size()) + " values";
        }
        names += (i == 0 ? "" : ", ") + enumeration.enumValues[i].first;
    }
    return names;
}

// A name that breaks the item-name grammar is refused here, before it is located.
bool Refused(const ItemName& checked, ValueResult& result) {
    if (checked.Ok()) {
        return false;
    }
    result.nameFault = checked.Fault();
    SetFault(result, ValueFault::Name, result.name, checked.Reason());
    return true;
}

} // namespace

std::string ValueResult::Message() const {
    return faultPath.empty() || faultPath == name ? reason
                                                  : ShortClientText(faultPath) + ": " + reason;
}

ValueAccess::ValueAccess(const Program& program, MemoryBackend& memory)
    : m_Program(program), m_Memory(memory) {}

std::optional<ValueAccess::Target> ValueAccess::Locate(const std::string& name, bool checked,
                                                       std::optional<std::string_view> known,
                                                       Codecs& codecs, ValueResult& result) const {
    const ValuePlacement item = checked ? m_Program.PlaceChecked(name) : Place(m_Program, name);
    const LayoutTypes& types = m_Program.Types();
    const std::string_view written = known ? *known : types.TypeView(name);
    if (item.fault == NameFault::WholeFunctionBlock) {
        // The dictionary refuses a function-block instance whole; it is read by its members.
        return Target{{}, nullptr, written, written};
    }
    if (!item.Placed()) {
        result.nameFault = item.fault;
        SetFault(result, ValueFault::Name, ValidUtf8(name), item.reason);
        return std::nullopt;
    }
    const PhysicalPlace& place = item.place;
    Target target;
    target.place = {
        static_cast<std::uint16_t>(place.block +
                                   (place.InLocalArea() ? MemoryBackend::kSecondaryBlockBase : 0)),
        place.offset, place.size, place.bit.value_or(MemoryPlace::kNoBit)};
    target.written = written;
    if (place.bit) {
        target.type = &BoolCodec();
        target.shownType = "BOOL";
        return target;
    }
    const Codecs::Entry& codec = codecs.Find(types, written, item.typeName, place.size);
    target.type = codec.type ? &*codec.type : nullptr;
    target.shownType = written.empty() ? std::string_view(codec.typeName) : written;
    if (target.type == nullptr && item.kind == "EDT") {
        SetFault(result, ValueFault::NoCodec, ValidUtf8(name),
                 "the type " + item.typeName + " has no value codec");
        return std::nullopt;
    }
    return target;
}

// Browses a composite's children into the node; its leaves join the batch. False, and the
// browse stopped, once the request holds more than its bound of leaves: pages are asked no
// larger than what is left, so an array far past the limit costs no more than the limit.
bool ValueAccess::Collect(const std::string& path, Node& node, Batch& batch) {
    BrowseOptions browse;
    browse.path = path;
    std::string continuation;
    do {
        browse.pageSize = static_cast<std::uint32_t>(std::min<std::size_t>(
            kPageSize, batch.maxLeaves - std::min(batch.leaves, batch.maxLeaves) + 1));
        const BrowsedPage page = m_Program.Browse(browse, continuation);
        for (const BrowsedChild& child : page.children) {
            if (!CollectChild(path, child, node, batch)) {
                return false;
            }
        }
        continuation = page.continuation;
    } while (!continuation.empty());
    return true;
}

bool ValueAccess::CollectChild(const std::string& parentPath, const BrowsedChild& child, Node& node,
                               Batch& batch) {
    Node& added = node.children.emplace_back();
    added.key = child.name;
    node.array = !child.name.empty() && child.name.back() == ']';
    // The child's type from its parent's, when its path extends the parent's.
    std::optional<std::string_view> written;
    if (child.path.size() > parentPath.size() && child.path.starts_with(parentPath)) {
        written = m_Program.Types().TypeViewBelow(
            node.written, std::string_view(child.path).substr(parentPath.size()));
    }
    if (child.hasChildren) {
        added.written = written ? *written : m_Program.Types().TypeView(child.path);
        return Collect(child.path, added, batch);
    }
    if (++batch.leaves > batch.maxLeaves) {
        return false;
    }
    ValueResult leaf;
    const auto target = Locate(child.path, false, written, batch.codecs, leaf);
    added.path = child.path;
    if (target) {
        added.type = target->shownType;
    }
    if (target && target->type) {
        added.read = batch.reads.size();
        batch.reads.push_back({target->place, {}, {}});
        batch.types.push_back(target->type);
    } else if (target) {
        added.fault = ValueFault::Opaque;
        added.faultPath = child.path;
        added.reason = "an opaque library type has no value";
    } else {
        added.fault = leaf.fault;
        added.faultPath = leaf.faultPath;
        added.reason = leaf.reason;
    }
    return true;
}

Value ValueAccess::Assemble(const Node& node, const Batch& batch, ValueResult& result) const {
    if (node.read != SIZE_MAX) {
        const MemoryRead& done = batch.reads[node.read];
        if (!done.result.ok) {
            if (result.Ok()) {
                SetFault(result, ValueFault::Memory, result.name, done.result.error);
            }
            return {};
        }
        return ValueCodec::Decode(*batch.types[node.read], done.bytes).value;
    }
    if (node.fault != ValueFault::None) {
        if (result.Ok()) {
            SetFault(result, node.fault, node.faultPath, node.reason);
        }
        return {};
    }
    if (node.array) {
        Value::List list;
        for (const Node& child : node.children) {
            list.push_back(Assemble(child, batch, result));
        }
        return list;
    }
    Value::Members members;
    for (const Node& child : node.children) {
        members.emplace_back(child.key, Assemble(child, batch, result));
    }
    return members;
}

ValueResult ValueAccess::Read(const std::string& name) {
    return ReadMany({name}).front();
}

// Locates every name and gathers the leaves to read into the batch; false, with every result
// TooManyLeaves, when they are more than the bound.
bool ValueAccess::Gather(const std::vector<std::string>& names, std::vector<ValueResult>& results,
                         std::vector<Node>& roots, Batch& batch) {
    results.reserve(names.size());
    roots.resize(names.size());
    batch.reads.reserve(names.size());
    batch.types.reserve(names.size());
    m_Program.Prefetch(names);
    const LayoutTypes& types = m_Program.Types();
    const std::vector<std::optional<std::size_t>> variables = types.FindVariables(names);
    for (std::size_t i = 0; i < names.size(); ++i) {
        ValueResult& result = results.emplace_back();
        if (batch.leaves > batch.maxLeaves) {
            result.name = ValidUtf8(names[i]);
            continue; // the read is refused whole: the names left cost nothing more
        }
        const ItemName checked = ItemName::Check(names[i]);
        // A name the check passes is valid UTF-8 already.
        result.name = checked.Ok() ? names[i] : ValidUtf8(names[i]);
        if (Refused(checked, result)) {
            continue;
        }
        // The name's first part is as given: the variable found for the name is the checked
        // name's too.
        const std::string_view written =
            variables[i] ? types.TypeViewOf(*variables[i], checked.Text()) : std::string_view();
        const auto target = Locate(checked.Text(), true, written, batch.codecs, result);
        if (!target) {
            continue;
        }
        result.type.emplace(target->shownType);
        if (target->type != nullptr) {
            // An elementary name: its path and type are the result's own (see Locate).
            ++batch.leaves;
            roots[i].read = batch.reads.size();
            batch.reads.push_back({target->place, {}, {}});
            batch.types.push_back(target->type);
        } else {
            roots[i].written = target->written;
            Collect(checked.Text(), roots[i], batch);
        }
    }
    // The leaves bound the read as a whole: past the limit, nothing of it is read.
    if (batch.leaves <= batch.maxLeaves) {
        return true;
    }
    for (ValueResult& result : results) {
        result.value.reset();
        SetFault(result, ValueFault::TooManyLeaves, result.name,
                 "the request reads more than " + std::to_string(batch.maxLeaves) +
                     " values (each element and member counts); read fewer names, or "
                     "parts one by one");
    }
    return false;
}

std::vector<ValueResult> ValueAccess::ReadMany(const std::vector<std::string>& names,
                                               std::size_t maxLeaves) {
    std::vector<ValueResult> results;
    std::vector<Node> roots;
    Batch batch;
    batch.maxLeaves = std::min(maxLeaves, kMaxLeaves);
    if (!Gather(names, results, roots, batch)) {
        return results;
    }
    m_Memory.ReadBatch(batch.reads);
    for (std::size_t i = 0; i < names.size(); ++i) {
        Finish(roots[i], batch, results[i]);
    }
    return results;
}

std::size_t ValueAccess::CountLeaves(const std::vector<std::string>& names, std::size_t maxLeaves) {
    std::vector<ValueResult> results;
    std::vector<Node> roots;
    Batch batch;
    batch.maxLeaves = maxLeaves;
    Gather(names, results, roots, batch);
    return batch.leaves;
}

LocatedItem ValueAccess::Locate(const std::string& name, std::size_t maxLeaves) {
    std::vector<ValueResult> results;
    std::vector<Node> roots;
    Batch batch;
    batch.maxLeaves = std::min(maxLeaves, kMaxLeaves);
    LocatedItem item;
    if (!Gather({name}, results, roots, batch) || !results.front().Ok()) {
        item.fault = std::move(results.front());
        return item;
    }
    Node& root = roots.front();
    if (root.read != SIZE_MAX) {
        root.path = results.front().name;
        root.type = results.front().type.value_or("");
    }
    Flatten(root, batch, item);
    return item;
}

// Every leaf below a node, in browse order.
void ValueAccess::Flatten(const Node& node, const Batch& batch, LocatedItem& item) const {
    if (node.read == SIZE_MAX && node.fault == ValueFault::None) {
        for (const Node& child : node.children) {
            Flatten(child, batch, item);
        }
        return;
    }
    LocatedItem::Leaf& leaf = item.leaves.emplace_back();
    leaf.path = node.path;
    leaf.type = node.type;
    if (node.read != SIZE_MAX) {
        leaf.place = batch.reads[node.read].place;
        leaf.codec = *batch.types[node.read];
        return;
    }
    leaf.fault = node.fault;
    leaf.faultPath = node.faultPath;
    leaf.reason = node.reason;
}

std::vector<std::vector<ValueResult>>
ValueAccess::ReadLocated(const std::vector<const LocatedItem*>& items) {
    std::vector<MemoryRead> reads;
    for (const LocatedItem* item : items) {
        for (const LocatedItem::Leaf& leaf : item->leaves) {
            if (leaf.codec) {
                reads.push_back({leaf.place, {}, {}});
            }
        }
    }
    m_Memory.ReadBatch(reads);
    std::vector<std::vector<ValueResult>> results(items.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i]->fault) {
            results[i].push_back(*items[i]->fault);
            continue;
        }
        results[i].reserve(items[i]->leaves.size());
        for (const LocatedItem::Leaf& leaf : items[i]->leaves) {
            ValueResult& result = results[i].emplace_back();
            result.name = leaf.path;
            if (!leaf.type.empty()) {
                result.type = leaf.type;
            }
            if (!leaf.codec) {
                SetFault(result, leaf.fault, leaf.faultPath, leaf.reason);
                continue;
            }
            const MemoryRead& done = reads[next++];
            if (!done.result.ok) {
                SetFault(result, ValueFault::Memory, leaf.path, done.result.error);
                continue;
            }
            DecodedValue decoded = ValueCodec::Decode(*leaf.codec, done.bytes);
            result.value = std::move(decoded.value);
            result.milliseconds = std::move(decoded.milliseconds);
        }
    }
    return results;
}

// The value of a name once its batch is read, or the first fault met on the way.
void ValueAccess::Finish(const Node& root, const Batch& batch, ValueResult& result) const {
    if (!result.Ok()) {
        return;
    }
    if (root.read != SIZE_MAX && batch.reads[root.read].result.ok) {
        DecodedValue decoded =
            ValueCodec::Decode(*batch.types[root.read], batch.reads[root.read].bytes);
        result.value = std::move(decoded.value);
        result.milliseconds = std::move(decoded.milliseconds);
        return;
    }
    Value value = Assemble(root, batch, result);
    if (result.Ok()) {
        result.value = std::move(value);
    }
}

// Why a value is outside what its declared type allows: a subrange's bounds or an enumeration's
// values, along the chain of aliases, whether declared as data types or written in place. Empty
// when it is within them (a value that is no integer meets a subrange's bounds in the codec, which
// says why it does not fit the base type).
std::string ValueAccess::DeclaredFault(const std::string& type, const Value& value) const {
    const DeclaredInteger number = DeclaredInteger::Of(value);
    for (const NamedTypeLayout* declared : m_Program.Types().Chain(type)) {
        if (!declared->enumValues.empty() && !number.IsEnumValueOf(*declared)) {
            // An enumeration written in place is named by its values already.
            const std::string shown = declared->inPlace
                                          ? "(" + EnumNames(*declared) + ")"
                                          : declared->name + " (" + EnumNames(*declared) + ")";
            return ValueCodec::Shown(value) + " is not a value of the enumeration " + shown;
        }
        if (declared->range && number.IsInteger() && !number.IsWithin(*declared->range)) {
            return ValueCodec::Shown(value) + " is outside the range " +
                   std::to_string(declared->range->first) + ".." +
                   std::to_string(declared->range->second) + " of " + declared->name;
        }
    }
    return {};
}

WritePlan::Item ValueAccess::PrepareItem(const std::string& name, const Value& value, Bounds bounds,
                                         Codecs& codecs) const {
    WritePlan::Item item;
    item.result = Named(name);
    ValueResult& result = item.result;
    const ItemName checked = ItemName::Check(name);
    if (Refused(checked, result)) {
        return item;
    }
    const auto target = Locate(checked.Text(), true, std::nullopt, codecs, result);
    if (!target) {
        return item;
    }
    const std::string shownType(target->shownType);
    result.type = shownType;
    if (target->type == nullptr) {
        SetFault(result, ValueFault::Composite, result.name,
                 "a structure, array or function block is written member by member, not whole");
        return item;
    }
    Value given = value;
    if (value.IsText()) {
        if (const auto number = m_Program.Types().EnumValue(shownType, value.AsText())) {
            given = *number;
        }
    }
    const bool declaredBounds = bounds == Bounds::Declared;
    EncodedValue encoded = ValueCodec::Encode(*target->type, given);
    if (!encoded.ok) {
        const std::string declared =
            declaredBounds ? DeclaredFault(shownType, value) : std::string();
        SetFault(result, ValueFault::BadValue, result.name,
                 declared.empty() ? encoded.error : declared);
        return item;
    }
    // The value as it would be stored, whatever literal gave it, within the declared bounds.
    const Value stored = ValueCodec::Decode(*target->type, encoded.bytes).value;
    if (std::string declared = declaredBounds ? DeclaredFault(shownType, stored) : "";
        !declared.empty()) {
        SetFault(result, ValueFault::BadValue, result.name, std::move(declared));
        return item;
    }
    item.place = target->place;
    item.bytes = std::move(encoded.bytes);
    return item;
}

WritePlan ValueAccess::Prepare(const std::vector<std::pair<std::string, Value>>& items,
                               Bounds bounds) {
    WritePlan plan;
    plan.m_Items.reserve(items.size());
    Codecs codecs;
    for (const auto& [name, value] : items) {
        plan.m_Items.push_back(PrepareItem(name, value, bounds, codecs));
        plan.m_Ready = plan.m_Ready && plan.m_Items.back().result.Ok();
    }
    return plan;
}

WriteOutcome ValueAccess::Commit(const WritePlan& plan) {
    WriteOutcome outcome;
    std::string stoppedAt;
    for (const WritePlan::Item& item : plan.Items()) {
        ValueResult result = item.result;
        if (!plan.Ready() || !stoppedAt.empty()) {
            if (result.Ok()) {
                SetFault(result, ValueFault::NotWritten, result.name,
                         stoppedAt.empty() ? "not written: another item of the request was refused"
                                           : "not written: the write stopped at " + stoppedAt);
            }
            outcome.results.push_back(std::move(result));
            continue;
        }
        const MemoryPlace& place = item.place;
        const MemoryResult stored =
            place.bit == MemoryPlace::kNoBit
                ? m_Memory.Write(place.block, place.offset, item.bytes)
                : m_Memory.WriteBit(place.block, place.offset, place.bit, item.bytes.front() != 0);
        if (!stored.ok) {
            SetFault(result, ValueFault::Memory, result.name, stored.error);
            stoppedAt = result.name;
        } else {
            ++outcome.written;
        }
        outcome.results.push_back(std::move(result));
    }
    return outcome;
}

WriteOutcome ValueAccess::Write(const std::vector<std::pair<std::string, Value>>& items,
                                Bounds bounds) {
    return Commit(Prepare(items, bounds));
}
