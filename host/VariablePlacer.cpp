#include "VariablePlacer.h"

#include "LocatedAddress.h"
#include "NameText.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

} // namespace

VariablePlacer::VariablePlacer(TypeResolver& resolver, Diagnostics& diagnostics)
    : m_Resolver(resolver), m_Diagnostics(diagnostics) {}

void VariablePlacer::PlaceGlobal(const VariableDecl& variable) {
    if (!Claim(variable.name, variable.line)) {
        return;
    }
    const auto type = m_Resolver.Resolve(variable.type);
    if (!type) {
        return;
    }
    VariableLayout layout{variable.name, variable.comment, type->libName, type->iecName,
                          variable.address};
    layout.size = type->size;
    const bool placed = variable.address.empty() ? Append(layout, LocatedAddress::kUnlocatedBlock,
                                                          type->align, variable.line)
                                                 : Locate(layout, type->align, variable.line);
    if (placed) {
        m_Variables.push_back(std::move(layout));
    }
}

void VariablePlacer::PlaceInstance(const ProgramInstance& instance) {
    if (!Claim(instance.name, instance.line)) {
        return;
    }
    const auto type = m_Resolver.ResolveProgram(instance.typeName, instance.line);
    if (!type) {
        return;
    }
    VariableLayout layout{instance.name, instance.comment, type->libName, type->iecName, ""};
    layout.size = type->size;
    if (Append(layout, LocatedAddress::kUnlocatedBlock, type->align, instance.line)) {
        m_Variables.push_back(std::move(layout));
    }
}

std::uint32_t VariablePlacer::WordCount() const {
    return static_cast<std::uint32_t>((m_WordBytes + 1) / 2);
}

std::uint32_t VariablePlacer::BitCount() const {
    return static_cast<std::uint32_t>(std::min(m_Bits, kMax32));
}

bool VariablePlacer::Claim(const std::string& name, std::size_t line) {
    if (!IsIdentifier(name)) {
        m_Diagnostics.Error(line, "variable name " + Quoted(name) + " is not a valid identifier");
        return false;
    }
    const auto [first, inserted] = m_Lines.emplace(ToUpperAscii(name), line);
    if (!inserted) {
        m_Diagnostics.Error(line, "duplicate variable " + Quoted(name) +
                                      " (first declared at line " + std::to_string(first->second) +
                                      ")");
    }
    return inserted;
}

bool VariablePlacer::Locate(VariableLayout& layout, std::uint32_t align, std::size_t line) {
    std::string error;
    const auto address = LocatedAddress::Parse(layout.address, error);
    if (address && address->IsIncomplete()) {
        error = "a global needs a complete address";
    }
    if (!address || address->IsIncomplete()) {
        m_Diagnostics.Error(line, "cannot read the address " + Quoted(layout.address) + " of " +
                                      Quoted(layout.name) + ": " + error);
        return false;
    }
    if (!address->HasPercent()) {
        m_Diagnostics.Warning(line, "address " + Quoted(layout.address) + " has no '%'; read as " +
                                        Quoted("%" + layout.address));
    }
    if (address->Area() != 'M') {
        // Inputs and outputs get a slot each in their own block; clients reach them by name
        // and by the address text, which is kept as written.
        const std::uint16_t block =
            address->Area() == 'I' ? LocatedAddress::kInputBlock : LocatedAddress::kOutputBlock;
        return Append(layout, block, align, line);
    }
    const auto position = address->MemoryPosition(error);
    if (!position || position->offset + std::uint64_t{layout.size} > kMax32 + 1) {
        m_Diagnostics.Error(line, "cannot read the address " + Quoted(layout.address) + " of " +
                                      Quoted(layout.name) + ": " +
                                      (position ? "it ends beyond 32 bits" : error));
        return false;
    }
    layout.block = position->block;
    layout.offset = position->offset;
    layout.bit = position->bit;
    const std::uint64_t end = position->offset + std::uint64_t{layout.size};
    std::uint64_t& reach = position->block == LocatedAddress::kBitBlock ? m_Bits : m_WordBytes;
    reach = std::max(reach, end);
    return true;
}

bool VariablePlacer::Append(VariableLayout& layout, std::uint16_t block, std::uint32_t align,
                            std::size_t line) {
    std::uint64_t& next = m_Next[block - LocatedAddress::kUnlocatedBlock];
    const std::uint64_t offset = (next + align - 1) / align * align;
    if (offset + layout.size > kMax32) {
        m_Diagnostics.Error(line, "the variables of block " + std::to_string(block) +
                                      " do not fit 32 bits at " + Quoted(layout.name));
        return false;
    }
    layout.block = block;
    layout.offset = static_cast<std::uint32_t>(offset);
    next = offset + layout.size;
    return true;
}
