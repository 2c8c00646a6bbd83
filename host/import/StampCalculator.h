#pragma once

#include "import/ProjectLayout.h"
#include "import/ProjectModel.h"

#include <array>
#include <cstddef>
#include <cstdint>

// The stamp of one build of the application. Words 0 to 3 are CRC-32 sums of what a rebuild
// changes: word 0 the types (structures, function blocks, their members and layout), word 1
// the comments and initial values (a change there alone is a partial match), word 2 the
// variables' names and types, word 3 their positions and addresses; word 4 counts the
// variables. Word 0 is never 0, which would mean "no stamp".
class StampCalculator {
public:
    // The globals' share of word 1 (their names and initial values as written, in declaration
    // order), summed as each global is placed: its declaration is freed after.
    class GlobalValues {
    public:
        void Add(const VariableDecl& global);

    private:
        friend class StampCalculator;
        unsigned long m_Crc = 0; // the CRC-32 of nothing
        std::size_t m_Length = 0;
    };

    static std::array<std::uint32_t, 5>
    Compute(const ProjectLayout& layout, const ProjectModel& model, const GlobalValues& globals);
};
