#pragma once

#include "commands/HostSession.h"
#include "values/LayoutTypes.h"
#include "values/MemoryBackend.h"
#include "values/ValueCodec.h"

#include <nlohmann/json.hpp>

#include <array>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Values by item name: the dictionary says where a name lives, the memory backend holds what
// is there, the codec turns it into JSON and back. A structure, array or function block read
// whole gives an object or array of its leaves; the structures, arrays and function blocks of
// one read hold at most kMaxLeaves leaves together, past which the read is refused whole. Safe
// to call from many threads at once on one session; a bit of a word is written under a lock
// of its word, so concurrent writes to different bits of one word never lose an update.
class ValueAccess {
public:
    static constexpr std::size_t kMaxLeaves = 10000;

    ValueAccess(HostSession& session, MemoryBackend& memory);

    // {"name","value","type","error"}: error null on success, value null on error; a duration
    // also gives "milliseconds".
    nlohmann::json Read(const std::string& name);
    // One result per name, read in one batch (neighbouring registers in one request).
    std::vector<nlohmann::json> ReadMany(const std::vector<std::string>& names);
    // {"name","type","error"}: error null when written.
    nlohmann::json Write(const std::string& name, const nlohmann::json& value);

private:
    // An elementary place and its type, or a composite to read by its leaves.
    struct Target {
        MemoryPlace place;
        std::optional<ValueType> type; // nothing for a structure, array or function block
        std::string shownType;
    };
    struct Node;
    struct Batch;

    std::optional<Target> Locate(const std::string& name, std::string& error);
    bool Collect(const std::string& path, Node& node, Batch& batch);
    nlohmann::json Assemble(const Node& node, const Batch& batch, std::string& error) const;
    nlohmann::json Decoded(const Batch& batch, std::size_t read, std::string& error) const;
    void Finish(const Node& root, const Batch& batch, nlohmann::json& result) const;
    MemoryResult Store(const Target& target, const std::vector<std::uint8_t>& bytes);
    std::mutex& WordLock(const MemoryPlace& place);

    HostSession& m_Session;
    MemoryBackend& m_Memory;
    LayoutTypes m_Types;
    std::array<std::mutex, 64> m_WordLocks;
};
