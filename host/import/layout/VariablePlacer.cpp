#include "import/layout/VariablePlacer.h"

#include "text/HostText.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

// The dictionary describes each %M area by a 32-bit count of objects and writes an object's
// number as a signed 32-bit integer. The word area's byte span is twice its word count in 32
// bits, so it holds at most 2^31 - 1 words (%MW0 to %MW2147483646, bytes 0 to 4294967293);
// the bit area holds %M0 to %M2147483647.
constexpr std::uint64_t kWordAreaEnd = 4294967294; // bytes
constexpr std::uint64_t kBitAreaEnd = 2147483648;  // bits

// Why a located variable reaching `end` in `block` has no address the dictionary can write, or
// nothing.
std::string BeyondArea(std::uint16_t block, std::uint64_t end) {
    if (block == LocatedAddress::kWordBlock && end > kWordAreaEnd) {
        return "the word area ends with %MW2147483646 (byte 4294967293)";
    }
    if (block == LocatedAddress::kBitBlock && end > kBitAreaEnd) {
        return "the bit area ends with %M2147483647";
    }
    return {};
}

} // namespace

VariablePlacer::VariablePlacer(TypeResolver& resolver, Diagnostics& diagnostics)
    : m_Resolver(resolver), m_Diagnostics(diagnostics), m_Names(diagnostics) {}

void VariablePlacer::PlaceGlobal(const VariableDecl& variable) {
    Place(variable, {});
}

void VariablePlacer::Place(const VariableDecl& variable, const std::string& note) {
    if (!m_Names.Claim(variable.name, variable.line, note)) {
        return;
    }
    const auto type = m_Resolver.Resolve(variable.type);
    if (!type) {
        return;
    }
    VariableLayout layout{variable.name, variable.comment, SharedType(*type), variable.address};
    layout.size = type->size;
    layout.initialValue = variable.initialValue;
    const bool placed = variable.address.empty() ? Append(layout, LocatedAddress::kUnlocatedBlock,
                                                          type->align, variable.line)
                                                 : Locate(layout, type->align, variable.line);
    if (placed) {
        m_Variables.push_back(std::move(layout));
    }
}

void VariablePlacer::PlaceInstance(const ProgramInstance& instance) {
    if (!m_Names.Claim(instance.name, instance.line)) {
        return;
    }
    const auto type = m_Resolver.ResolveProgram(instance.typeName, instance.line);
    if (!type) {
        return;
    }
    VariableLayout layout{instance.name, instance.comment, SharedType(*type), ""};
    layout.size = type->size;
    if (Append(layout, LocatedAddress::kUnlocatedBlock, type->align, instance.line)) {
        m_Variables.push_back(std::move(layout));
    }
    PlaceProgramLocated(type->libName);
}

// A program's located variables are left out of its structure (see CompositePlacer): they are
// reached by their own name at their address, whatever instance runs the program.
void VariablePlacer::PlaceProgramLocated(const std::string& programName) {
    const PouDecl* program = m_Resolver.ProgramDecl(programName);
    if (program == nullptr || !m_ProgramsPlaced.insert(ToUpperAscii(programName)).second) {
        return;
    }
    const std::string note =
        "a located variable of program " + Quoted(program->name) + " is a top-level variable";
    for (const VariableDecl& variable : program->variables) {
        if (variable.section != VarSection::External &&
            LocatedAddress::NamesAPlace(variable.address)) {
            Place(variable, note);
        }
    }
}

std::uint32_t VariablePlacer::WordCount() const {
    return static_cast<std::uint32_t>((m_Reach[LocatedAddress::kWordBlock] + 1) / 2);
}

std::uint32_t VariablePlacer::BitCount() const {
    return static_cast<std::uint32_t>(
        std::min(m_Reach[LocatedAddress::kBitBlock], AreaCursor::kMax32));
}

std::array<std::uint64_t, LocatedAddress::kBlockCount> VariablePlacer::BlockEnds() const {
    std::array<std::uint64_t, LocatedAddress::kBlockCount> ends{};
    for (std::size_t block = 0; block < ends.size(); ++block) {
        ends[block] = std::max(m_Reach[block], m_Cursors[block].End());
    }
    return ends;
}

// Reads a top-level variable's address; a text that is no located address is an error.
std::shared_ptr<const VariableType> VariablePlacer::SharedType(const ResolvedType& type) {
    std::string key = type.libName;
    key.append(1, '\0').append(type.iecName);
    auto [found, added] = m_Types.try_emplace(std::move(key));
    if (added) {
        found->second =
            std::make_shared<const VariableType>(VariableType{type.libName, type.iecName});
    }
    return found->second;
}

std::optional<LocatedAddress> VariablePlacer::ReadAddress(const VariableLayout& layout,
                                                          std::size_t line) {
    std::string error;
    auto address = LocatedAddress::Parse(layout.address, error);
    if (!address) {
        BadAddress(layout, line, error);
        return std::nullopt;
    }
    if (!address->HasPercent()) {
        m_Diagnostics.Warning(line, "address " + Quoted(layout.address) + " has no '%'; read as " +
                                        Quoted("%" + layout.address));
    }
    return address;
}

bool VariablePlacer::Locate(VariableLayout& layout, std::uint32_t align, std::size_t line) {
    const auto address = ReadAddress(layout, line);
    if (!address) {
        return false;
    }
    if (address->IsIncomplete()) {
        return KeepAsPath(layout, *address, align, line,
                          "it is incomplete, and a global needs a complete address");
    }
    if (address->IsLocationPath()) {
        // A location path names no byte of a linear area: one slot each, in declaration order,
        // in a block per area; clients reach it by name and by its address text.
        const std::string note = address->LocationPathNote();
        if (!note.empty()) {
            m_Diagnostics.Warning(line, "the address " + Quoted(layout.address) + " of " +
                                            Quoted(layout.name) +
                                            " is read as a location path: " + note);
        }
        return Append(layout, address->SlotBlock(), align, line);
    }
    std::string error;
    const auto position = address->LinearPosition(error);
    // A located variable may end exactly at the end of the 32-bit space.
    if (!position || position->offset + std::uint64_t{layout.size} > AreaCursor::kMax32 + 1) {
        return KeepAsPath(layout, *address, align, line,
                          position ? "it ends beyond 32 bits" : error);
    }
    // The dictionary reads a bit as the word that holds it, so a bit reaches to that word's end.
    const std::uint64_t end =
        std::max(position->offset + std::uint64_t{layout.size},
                 position->bit == 255 ? 0 : AreaCursor::AlignUp(position->offset + 1ULL, 2));
    const std::string beyond = BeyondArea(position->block, end);
    if (!beyond.empty()) {
        return KeepAsPath(layout, *address, align, line, beyond);
    }
    layout.block = position->block;
    layout.offset = position->offset;
    layout.bit = position->bit;
    m_Reach[position->block] = std::max(m_Reach[position->block], end);
    return true;
}

// An address an IEC editor may write but this memory model cannot place is not refused: the
// variable takes a slot of its area's location paths, its address text kept, with a warning.
bool VariablePlacer::KeepAsPath(VariableLayout& layout, const LocatedAddress& address,
                                std::uint32_t align, std::size_t line, const std::string& reason) {
    const std::uint16_t block = address.SlotBlock();
    m_Diagnostics.Warning(line, "the address " + Quoted(layout.address) + " of " +
                                    Quoted(layout.name) + " cannot be placed (" + reason +
                                    "); kept as a location path in block " + std::to_string(block));
    return Append(layout, block, align, line);
}

void VariablePlacer::BadAddress(const VariableLayout& layout, std::size_t line,
                                const std::string& reason) {
    m_Diagnostics.Error(line, "cannot read the address " + Quoted(layout.address) + " of " +
                                  Quoted(layout.name) + ": " + reason);
}

bool VariablePlacer::Append(VariableLayout& layout, std::uint16_t block, std::uint32_t align,
                            std::size_t line) {
    const auto offset = m_Cursors[block].Place(layout.size, align);
    if (!offset) {
        m_Diagnostics.Error(line, "the variables of block " + std::to_string(block) +
                                      " do not fit 32 bits at " + Quoted(layout.name));
        return false;
    }
    layout.block = block;
    layout.offset = *offset;
    return true;
}
