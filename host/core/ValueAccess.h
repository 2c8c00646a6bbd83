#pragma once

#include "core/Browsing.h"
#include "core/Refusal.h"
#include "values/MemoryBackend.h"
#include "values/Value.h"
#include "values/ValueCodec.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class Program;

// Why a name has no value, or was not written.
enum class ValueFault {
    None,
    Name,          // the dictionary refused the name (see nameFault)
    NoCodec,       // an elementary type the host cannot read
    Opaque,        // a library type with no layout (an opaque structure)
    TooManyLeaves, // a read whose structures and arrays hold too many leaves together
    Composite,     // a structure, array or function block written whole
    BadValue,      // the value does not fit the type
    Memory,        // the memory did not carry the read or write out
    NotWritten     // a write of a request that stopped or was refused elsewhere
};

// The value of one name, or why it has none. A structure or array read whole gives its leaves;
// its fault is the first fault of a leaf, with that leaf's path.
struct ValueResult {
    std::string name;                // as asked, each bad UTF-8 sequence replaced
    std::optional<std::string> type; // the type as the program writes it; none when not placed
    std::optional<Value> value;      // none on a fault
    Value milliseconds;              // a duration's milliseconds, else null
    ValueFault fault = ValueFault::None;
    NameFault nameFault = NameFault::None;
    std::string faultPath; // the name, or the leaf where the fault lies
    std::string reason;

    bool Ok() const { return fault == ValueFault::None; }
    // "reason", or "leaf: reason" when the fault lies below the name.
    std::string Message() const;
};

// A write checked before anything is written: every item's place, type and bytes, or its
// fault. Commit writes a plan only when every item passed.
class WritePlan {
public:
    struct Item {
        ValueResult result; // the name, its type, its fault if any
        MemoryPlace place;
        std::vector<std::uint8_t> bytes;
    };

    bool Ready() const { return m_Ready; }
    const std::vector<Item>& Items() const { return m_Items; }

private:
    friend class ValueAccess;
    std::vector<Item> m_Items;
    bool m_Ready = true;
};

// What a committed write did: one result per item, and how many were written (in order; a
// memory failure stops the rest).
struct WriteOutcome {
    std::vector<ValueResult> results;
    std::size_t written = 0;
    bool Complete() const { return written == results.size(); }
};

// A name located once to be read at many ticks: the places and types of its leaves (an
// elementary name is its own leaf, a structure, array or function block its elementary members
// and elements), or why it has no value. Valid for the program that located it.
struct LocatedItem {
    struct Leaf {
        std::string path; // the leaf's full name
        std::string type; // as the program writes it
        MemoryPlace place;
        std::optional<ValueType> codec; // none: the leaf cannot be read (see fault)
        ValueFault fault = ValueFault::None;
        std::string faultPath;
        std::string reason;
    };
    std::vector<Leaf> leaves;
    std::optional<ValueResult> fault; // the name itself has no value
};

// Values by item name: the dictionary says where a name lives, the memory holds what is there,
// the codec turns it into a value and back. Safe to call from many threads at once; a bit is
// written through the memory's bit write, which keeps the other bits of its word.
class ValueAccess {
public:
    // One read gives at most this many values together (a name of an elementary type counts
    // one, a structure, array or function block its leaves); past it, the read is refused
    // whole, before anything is read.
    static constexpr std::size_t kMaxLeaves = 10000;

    ValueAccess(const Program& program, MemoryBackend& memory);

    // One result per name, read in one batch (neighbouring registers in one request); at most
    // maxLeaves values (no more than kMaxLeaves), else every name is TooManyLeaves.
    std::vector<ValueResult> ReadMany(const std::vector<std::string>& names,
                                      std::size_t maxLeaves = kMaxLeaves);
    ValueResult Read(const std::string& name);
    // Locates a name's leaves without reading them; at most maxLeaves, else the name's fault
    // is TooManyLeaves.
    LocatedItem Locate(const std::string& name, std::size_t maxLeaves = kMaxLeaves);
    // Reads the leaves of located items in one batch (neighbouring registers in one request):
    // one result per leaf, named by its path; an item with a fault gives that fault alone.
    std::vector<std::vector<ValueResult>> ReadLocated(const std::vector<const LocatedItem*>& items);

    // How many values the names hold together (a name that has no value counts none), found
    // by browsing alone; counting stops once past maxLeaves.
    std::size_t CountLeaves(const std::vector<std::string>& names, std::size_t maxLeaves);

    // What a write is checked against: the bounds the program declares (subranges and
    // enumerations) and its elementary type, or the elementary type only (the program's own
    // initial values, loaded as the program gives them).
    enum class Bounds { Declared, TypeOnly };

    // Checks every item: name, type, range, literal; writes nothing.
    WritePlan Prepare(const std::vector<std::pair<std::string, Value>>& items,
                      Bounds bounds = Bounds::Declared);
    // Writes a ready plan in order; a plan that is not ready writes nothing and every item
    // that passed is NotWritten.
    WriteOutcome Commit(const WritePlan& plan);
    // Prepare, then commit.
    WriteOutcome Write(const std::vector<std::pair<std::string, Value>>& items,
                       Bounds bounds = Bounds::Declared);

private:
    struct Target;
    struct Node;
    struct Codecs;
    struct Batch;

    bool Gather(const std::vector<std::string>& names, std::vector<ValueResult>& results,
                std::vector<Node>& roots, Batch& batch);
    void Flatten(const Node& node, const Batch& batch, LocatedItem& item) const;
    // The place and type of a name; `checked` when ItemName::Check has passed it already.
    // `known`: the type as the program writes it, when the caller has found it already. The
    // target's codec and texts live in `codecs` and the program.
    std::optional<Target> Locate(const std::string& name, bool checked,
                                 std::optional<std::string_view> known, Codecs& codecs,
                                 ValueResult& result) const;
    bool Collect(const std::string& path, Node& node, Batch& batch);
    bool CollectChild(const std::string& parentPath, const BrowsedChild& child, Node& node,
                      Batch& batch);
    Value Assemble(const Node& node, const Batch& batch, ValueResult& result) const;
    void Finish(const Node& root, const Batch& batch, ValueResult& result) const;
    WritePlan::Item PrepareItem(const std::string& name, const Value& value, Bounds bounds,
                                Codecs& codecs) const;
    std::string DeclaredFault(const std::string& type, const Value& value) const;

    static constexpr std::size_t kPageSize = 1000; // children browsed at a time

    const Program& m_Program;
    MemoryBackend& m_Memory;
};
