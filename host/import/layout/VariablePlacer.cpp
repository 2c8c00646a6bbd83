#include "import/layout/VariablePlacer.h"

#include "import/NameText.h"

#include <algorithm>

VariablePlacer::VariablePlacer(TypeResolver& resolver, Diagnostics& diagnostics)
    : m_Resolver(resolver), m_Diagnostics(diagnostics), m_Names(diagnostics) {}

void VariablePlacer::PlaceGlobal(const VariableDecl& variable) {
    if (!m_Names.Claim(variable.name, variable.line)) {
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
    if (!m_Names.Claim(instance.name, instance.line)) {
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
    return static_cast<std::uint32_t>(std::min(m_Bits, AreaCursor::kMax32));
}

// Reads a global's address; an incomplete one ("%I*") names no place.
std::optional<LocatedAddress> VariablePlacer::ReadAddress(const VariableLayout& layout,
                                                          std::size_t line) {
    std::string error;
    auto address = LocatedAddress::Parse(layout.address, error);
    if (address && address->IsIncomplete()) {
        error = "a global needs a complete address";
    }
    if (!address || address->IsIncomplete()) {
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
    if (address->Area() != 'M') {
        // Inputs and outputs get a slot each in their own block; clients reach them by name
        // and by the address text, which is kept as written.
        const std::uint16_t block =
            address->Area() == 'I' ? LocatedAddress::kInputBlock : LocatedAddress::kOutputBlock;
        return Append(layout, block, align, line);
    }
    std::string error;
    const auto position = address->MemoryPosition(error);
    // A located variable may end exactly at the end of the 32-bit space.
    if (!position || position->offset + std::uint64_t{layout.size} > AreaCursor::kMax32 + 1) {
        BadAddress(layout, line, position ? "it ends beyond 32 bits" : error);
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

void VariablePlacer::BadAddress(const VariableLayout& layout, std::size_t line,
                                const std::string& reason) {
    m_Diagnostics.Error(line, "cannot read the address " + Quoted(layout.address) + " of " +
                                  Quoted(layout.name) + ": " + reason);
}

bool VariablePlacer::Append(VariableLayout& layout, std::uint16_t block, std::uint32_t align,
                            std::size_t line) {
    AreaCursor& area = m_Areas[block - LocatedAddress::kUnlocatedBlock];
    const auto offset = area.Place(layout.size, align);
    if (!offset) {
        m_Diagnostics.Error(line, "the variables of block " + std::to_string(block) +
                                      " do not fit 32 bits at " + Quoted(layout.name));
        return false;
    }
    layout.block = block;
    layout.offset = *offset;
    return true;
}
