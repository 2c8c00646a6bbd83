#include "cli/InfoCommand.h"

#include "cli/ExitStatus.h"
#include "text/HostText.h"
#include "json/CoreJson.h"

namespace {

std::string Bytes(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

// The input and output blocks; the location-path slot blocks when they hold anything.
std::string IoAreas(const DictionaryInfo& info) {
    std::string text =
        Bytes(info.inputBytes) + " (%I, block 4), " + Bytes(info.outputBytes) + " (%Q, block 5)";
    if (info.inputSlotBytes > 0) {
        text += ", " + Bytes(info.inputSlotBytes) + " (%I by slot, block 6)";
    }
    if (info.outputSlotBytes > 0) {
        text += ", " + Bytes(info.outputSlotBytes) + " (%Q by slot, block 7)";
    }
    if (info.memorySlotBytes > 0) {
        text += ", " + Bytes(info.memorySlotBytes) + " (%M by slot, block 8)";
    }
    return text;
}

} // namespace

int InfoCommand::Run(const Program& program, OutputFormat format, std::ostream& out) {
    const DictionaryInfo& info = program.Info();
    if (format == OutputFormat::Json) {
        out << CoreJson::Text(CoreJson::Info(info, program.Path())) << '\n';
        return kExitDone;
    }
    out << "file           " << TerminalText(program.Path()) << '\n'
        << "dictionary     " << TerminalText(info.dictionary) << '\n'
        << "project        " << TerminalText(info.project) << '\n'
        << "variables      " << info.counts.variables << '\n'
        << "types          " << info.counts.structures << " structures, "
        << info.counts.functionBlocks << " function blocks, " << info.counts.arrays << " arrays\n"
        << "members        " << info.counts.members << '\n'
        << "memory areas   " << info.counts.words << " words (%MW, block 1), " << info.counts.bits
        << " bits (%M, block 2)\n"
        << "io areas       " << IoAreas(info) << '\n'
        << "stamp          " << info.stamp << '\n';
    return kExitDone;
}
