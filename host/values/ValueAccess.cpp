#include "values/ValueAccess.h"

#include "commands/ResolveCommand.h"
#include "import/NameText.h"

#include <VarbankClient.h>

#include <functional>

// A value being read: a leaf (one read of the batch) or the children of a composite.
struct ValueAccess::Node {
    std::string key;
    bool array = false;
    std::vector<Node> children;
    std::size_t read = SIZE_MAX;
    std::string error; // a leaf that cannot be read
};

struct ValueAccess::Batch {
    std::vector<MemoryRead> reads;
    std::vector<ValueType> types; // one per read
    std::size_t leaves = 0;       // of the composites read whole, over the whole request
};

namespace {

nlohmann::json Result(const std::string& name) {
    return {{"name", ValidUtf8(name)}, {"value", nullptr}, {"type", nullptr}, {"error", nullptr}};
}

// The item path of a browse identifier: what follows the dictionary name and "!".
std::string ItemPath(const std::string& itemId) {
    const std::size_t bang = itemId.find('!');
    return bang == std::string::npos ? itemId : itemId.substr(bang + 1);
}

} // namespace

ValueAccess::ValueAccess(HostSession& session, MemoryBackend& memory)
    : m_Session(session), m_Memory(memory), m_Types(session.Layout()) {}

std::optional<ValueAccess::Target> ValueAccess::Locate(const std::string& name,
                                                       std::string& error) {
    if (FirstInvalidUtf8(name) != std::string::npos) {
        error = ValidUtf8(name) + ": the name is not valid UTF-8";
        return std::nullopt;
    }
    m_Session.Trace().Clear();
    const varbank::Resolution resolution(m_Session.Dictionary(), name);
    if (!resolution.Resolved()) {
        const std::string& trace = m_Session.Trace().Last();
        // The dictionary refuses a function-block instance whole; it is read by its members.
        if (trace.find("FULL DFB") != std::string::npos) {
            return Target{{}, std::nullopt, m_Types.TypeOf(name)};
        }
        error = name + ": " + ResolveCommand::RefusalReason(resolution.Status(), trace);
        return std::nullopt;
    }
    const tagRATVARPHYSICALIMPLEM& record = resolution.Record()->Record;
    Target target;
    const bool secondary = record.dwAreaKind >= 2;
    target.place = {static_cast<std::uint16_t>(
                        record.wBlock + (secondary ? MemoryBackend::kSecondaryBlockBase : 0)),
                    record.dwOffset, record.dwSize, record.byBit};
    const std::string typeName = resolution.PropertyText(varbank::kPropertyTypeName);
    const std::string written = m_Types.TypeOf(name);
    target.shownType = written.empty() ? typeName : written;
    if (record.byBit != MemoryPlace::kNoBit) {
        target.type = ValueCodec::BoolType();
        target.shownType = "BOOL";
        return target;
    }
    target.type = ValueCodec::TypeOf(typeName, m_Types.Underlying(written), record.dwSize);
    if (!target.type && resolution.PropertyText(varbank::kPropertyKind) == "EDT") {
        error = name + ": the type " + typeName + " has no value codec";
        return std::nullopt;
    }
    return target;
}

// Browses a composite's children into the node; its leaves join the batch. False, and the
// browse stopped, once the batch holds more than kMaxLeaves leaves.
bool ValueAccess::Collect(const std::string& path, Node& node, Batch& batch) {
    varbank::BrowseRequest request;
    request.path = path;
    request.position = Utf8ToUtf16(m_Session.Name() + "!" + path);
    varbank::BrowsePager pager(m_Session.Dictionary(), request);
    for (varbank::BrowsePage page; pager.Next(page);) {
        for (const varbank::BrowseChild& child : page.Children()) {
            Node& added = node.children.emplace_back();
            added.key = child.name;
            node.array = !child.name.empty() && child.name.back() == ']';
            const std::string childPath = ItemPath(child.itemId);
            if (child.hasChildren) {
                if (!Collect(childPath, added, batch)) {
                    return false;
                }
                continue;
            }
            if (++batch.leaves > kMaxLeaves) {
                return false;
            }
            const auto target = Locate(childPath, added.error);
            if (target && target->type) {
                added.read = batch.reads.size();
                batch.reads.push_back({target->place, {}, {}});
                batch.types.push_back(*target->type);
            } else if (target) {
                added.error = childPath + ": an opaque library type has no value";
            }
        }
    }
    return true;
}

nlohmann::json ValueAccess::Decoded(const Batch& batch, std::size_t read,
                                    std::string& error) const {
    const MemoryRead& done = batch.reads[read];
    if (!done.result.ok) {
        error = done.result.error;
        return nullptr;
    }
    return ValueCodec::Decode(batch.types[read], done.bytes).value;
}

nlohmann::json ValueAccess::Assemble(const Node& node, const Batch& batch,
                                     std::string& error) const {
    if (node.read != SIZE_MAX) {
        return Decoded(batch, node.read, error);
    }
    if (!node.error.empty()) {
        error = error.empty() ? node.error : error;
        return nullptr;
    }
    nlohmann::json value = node.array ? nlohmann::json::array() : nlohmann::json::object();
    for (const Node& child : node.children) {
        nlohmann::json part = Assemble(child, batch, error);
        if (node.array) {
            value.push_back(std::move(part));
        } else {
            value[child.key] = std::move(part);
        }
    }
    return value;
}

nlohmann::json ValueAccess::Read(const std::string& name) {
    return ReadMany({name}).front();
}

std::vector<nlohmann::json> ValueAccess::ReadMany(const std::vector<std::string>& names) {
    std::vector<nlohmann::json> results;
    std::vector<Node> roots(names.size());
    Batch batch;
    for (std::size_t i = 0; i < names.size(); ++i) {
        nlohmann::json& result = results.emplace_back(Result(names[i]));
        std::string error;
        const auto target = Locate(names[i], error);
        if (target && target->type) {
            roots[i].read = batch.reads.size();
            batch.reads.push_back({target->place, {}, {}});
            batch.types.push_back(*target->type);
        } else if (target && batch.leaves <= kMaxLeaves) {
            Collect(names[i], roots[i], batch);
        }
        roots[i].error = error;
        if (target) {
            result["type"] = target->shownType;
        }
    }
    // The leaves bound the request as a whole: past the limit, nothing of it is read.
    if (batch.leaves > kMaxLeaves) {
        for (nlohmann::json& result : results) {
            result["error"] = result["name"].get<std::string>() + ": the read has more than " +
                              std::to_string(kMaxLeaves) +
                              " leaves; read fewer names, or parts one by one";
        }
        return results;
    }
    m_Memory.ReadBatch(batch.reads);
    for (std::size_t i = 0; i < names.size(); ++i) {
        Finish(roots[i], batch, results[i]);
    }
    return results;
}

// The value of a name once its batch is read, or the first error met on the way.
void ValueAccess::Finish(const Node& root, const Batch& batch, nlohmann::json& result) const {
    const std::string name = result["name"].get<std::string>();
    std::string error = root.error;
    if (error.empty() && root.read != SIZE_MAX && batch.reads[root.read].result.ok) {
        DecodedValue decoded =
            ValueCodec::Decode(batch.types[root.read], batch.reads[root.read].bytes);
        result["value"] = std::move(decoded.value);
        if (!decoded.milliseconds.is_null()) {
            result["milliseconds"] = std::move(decoded.milliseconds);
        }
        return;
    }
    nlohmann::json value = error.empty() ? Assemble(root, batch, error) : nullptr;
    if (!error.empty()) {
        result["error"] = error.find(name) == 0 ? error : name + ": " + error;
        return;
    }
    result["value"] = std::move(value);
}

std::mutex& ValueAccess::WordLock(const MemoryPlace& place) {
    const std::size_t word = (std::size_t{place.block} << 32U) ^ (place.offset / 2);
    return m_WordLocks[std::hash<std::size_t>{}(word) % m_WordLocks.size()];
}

MemoryResult ValueAccess::Store(const Target& target, const std::vector<std::uint8_t>& bytes) {
    const MemoryPlace& place = target.place;
    if (place.bit == MemoryPlace::kNoBit) {
        return m_Memory.Write(place.block, place.offset, bytes);
    }
    const std::lock_guard lock(WordLock(place));
    return m_Memory.WriteBit(place.block, place.offset, place.bit, bytes.front() != 0);
}

nlohmann::json ValueAccess::Write(const std::string& name, const nlohmann::json& value) {
    nlohmann::json result{{"name", ValidUtf8(name)}, {"type", nullptr}, {"error", nullptr}};
    std::string error;
    const auto target = Locate(name, error);
    if (!target) {
        result["error"] = error;
        return result;
    }
    result["type"] = target->shownType;
    if (!target->type) {
        result["error"] = name + ": a structure, array or function block is written member by "
                                 "member, not whole";
        return result;
    }
    nlohmann::json given = value;
    if (value.is_string()) {
        if (const auto number = m_Types.EnumValue(target->shownType, value.get<std::string>())) {
            given = *number;
        }
    }
    const EncodedValue encoded = ValueCodec::Encode(*target->type, given);
    if (!encoded.ok) {
        result["error"] = name + ": " + encoded.error;
        return result;
    }
    const MemoryResult stored = Store(*target, encoded.bytes);
    if (!stored.ok) {
        result["error"] = name + ": " + stored.error;
    }
    return result;
}
