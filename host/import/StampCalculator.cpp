#include "import/StampCalculator.h"

#include <zlib.h>

#include <string>
#include <string_view>

namespace {

// A field of a sum: its bytes, then a separator.
void AddText(uLong& crc, std::size_t& length, std::string_view text) {
    crc = crc32(crc, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size()));
    crc = crc32(crc, reinterpret_cast<const Bytef*>("\x1f"), 1);
    length += text.size() + 1;
}

// A running CRC-32 over texts and numbers, each followed by a separator so that moving text
// from one field to the next changes the sum.
class Crc {
public:
    template <typename... Fields> Crc& Add(const Fields&... fields) {
        (AddField(fields), ...);
        return *this;
    }
    // Goes on as if the bytes another sum was taken of had been added here.
    void Append(uLong crc, std::size_t length) {
        m_Value = crc32_combine(m_Value, crc, static_cast<z_off_t>(length));
    }
    std::uint32_t Value() const { return static_cast<std::uint32_t>(m_Value); }

private:
    void AddField(std::string_view text) { AddText(m_Value, m_Length, text); }
    void AddField(std::uint64_t number) { AddField(std::to_string(number)); }

    uLong m_Value = crc32(0L, Z_NULL, 0);
    std::size_t m_Length = 0;
};

std::uint32_t TypesWord(const ProjectLayout& layout) {
    Crc crc;
    crc.Add("types");
    for (const CompositeLayout& type : layout.composites) {
        crc.Add(type.name, type.functionBlock ? 1 : 0, type.size);
        for (const MemberLayout& member : type.members) {
            crc.Add(member.name, member.typeName, member.offset, member.size, member.areaKind);
        }
    }
    return crc.Value() == 0 ? 1 : crc.Value();
}

template <typename Declarations> void AddInitialValues(Crc& crc, const Declarations& variables) {
    for (const VariableDecl& variable : variables) {
        crc.Add(variable.name, variable.initialValue);
    }
}

std::uint32_t CommentsWord(const ProjectLayout& layout, const ProjectModel& model, uLong globalsCrc,
                           std::size_t globalsLength) {
    Crc crc;
    for (const CompositeLayout& type : layout.composites) {
        for (const MemberLayout& member : type.members) {
            crc.Add(member.comment);
        }
    }
    for (const VariableLayout& variable : layout.variables) {
        crc.Add(variable.comment);
    }
    for (const DataTypeDecl& type : model.dataTypes) {
        crc.Add(type.name, type.comment, type.initialValue);
        AddInitialValues(crc, type.type.Details().members);
    }
    for (const PouDecl& pou : model.pous) {
        crc.Add(pou.name, pou.comment);
        AddInitialValues(crc, pou.variables);
    }
    crc.Append(globalsCrc, globalsLength);
    return crc.Value();
}

std::uint32_t NamesWord(const ProjectLayout& layout) {
    Crc crc;
    for (const VariableLayout& variable : layout.variables) {
        crc.Add(variable.name, variable.TypeName());
    }
    return crc.Value();
}

std::uint32_t PositionsWord(const ProjectLayout& layout) {
    Crc crc;
    for (const VariableLayout& variable : layout.variables) {
        crc.Add(variable.block, variable.offset, variable.size, variable.bit, variable.address);
    }
    return crc.Value();
}

} // namespace

void StampCalculator::GlobalValues::Add(const VariableDecl& global) {
    AddText(m_Crc, m_Length, global.name);
    AddText(m_Crc, m_Length, global.initialValue);
}

std::array<std::uint32_t, 5> StampCalculator::Compute(const ProjectLayout& layout,
                                                      const ProjectModel& model,
                                                      const GlobalValues& globals) {
    return {TypesWord(layout), CommentsWord(layout, model, globals.m_Crc, globals.m_Length),
            NamesWord(layout), PositionsWord(layout),
            static_cast<std::uint32_t>(layout.variables.size())};
}
