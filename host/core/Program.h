#pragma once

#include "core/Browsing.h"
#include "core/DictionaryInfo.h"
#include "core/ResolvedItem.h"
#include "core/TraceRecorder.h"
#include "core/ValuePlacement.h"
#include "core/VariableTable.h"
#include "import/Diagnostics.h"
#include "import/ProjectLayout.h"
#include "values/ModbusMemory.h"

#include <Varbank.h>
#include <VarbankClient.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

class LayoutTypes;
class MemoryBackend;
class ValueAccess;

// Where a program's values live.
enum class MemoryKind { Image, Modbus };

// The memory image, filled with the program's initial values, or a PLC over Modbus TCP.
struct MemoryChoice {
    MemoryKind kind = MemoryKind::Image;
    ModbusMemory::Options modbus; // the PLC, when kind is Modbus
};

// How a program is opened.
struct ProgramOptions {
    bool strict = false; // a type the file does not declare fails the import
    MemoryChoice memory;
    std::ostream* traceEcho = nullptr; // where the dictionary's trace messages go, or nowhere
};

// What a stamp comparison found.
enum class StampMatch { Ok, Partial, Mismatch, NoStamp, None };

// "OK", "PARTIAL", "MISMATCH", "NO STAMP" or "NONE".
const char* StampMatchName(StampMatch match);
// A stamp as the dictionary writes it ("%X:%X:%X:%X:%X") back into its words; nothing when the
// text is not one.
std::optional<PLCDicoStamping> ParseStampText(const std::string& text);

// One imported program: its layout, the dictionary built from it, the memory behind it and
// the value access over that memory. Every operation may run from many threads at once; the
// dictionary's own lock orders them. Never changed once open: a reload opens a new one.
class Program {
public:
    // Imports the file, builds its dictionary and opens its memory. Nothing when the file does
    // not import; `report` holds every error and warning, with file and line, either way
    // (initial values that do not fit the memory image are warnings too).
    static std::shared_ptr<Program> Open(const std::string& path, const ProgramOptions& options,
                                         Diagnostics& report);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The dictionary name of a file: its name without directory and extension.
    static std::string DictionaryName(const std::string& path);

    const std::string& Name() const { return m_Name; }
    const std::string& Path() const { return m_Path; }
    // The variables by name: type as written, located or not.
    const VariableTable& Variables() const { return *m_Variables; }
    const LayoutTypes& Types() const { return *m_Types; }
    MemoryKind Memory() const { return m_MemoryKind; }
    const DictionaryInfo& Info() const { return m_Info; }
    const std::string& Stamp() const { return m_Info.stamp; }

    ResolvedItem Resolve(const std::string& name) const;
    // Fetches what resolving these names will read into the processor's cache at once, so that
    // a batch waits for memory once rather than once per name.
    void Prefetch(const std::vector<std::string>& names) const;
    // Resolve of a name ItemName::Check has passed and normalised (its Text()), without checking
    // it again; the item's name is left empty.
    ResolvedItem ResolveChecked(const std::string& checkedName) const;
    // The elementary type of a name as the program writes it ("LINT", "SINT", "INT (0..100)"),
    // where the dictionary's own type name stands for several (DT for every 8-byte type);
    // nothing for a structure, array, function block or a name with no value.
    std::optional<std::string> DeclaredType(const std::string& name) const;
    // Where the value of a name ItemName::Check has passed lies (its Text()): the dictionary's
    // resolution without the texts that values never use.
    ValuePlacement PlaceChecked(const std::string& checkedName) const;
    // One page of children, from `continuation` (empty: the first page).
    BrowsedPage Browse(const BrowseOptions& browse, const std::string& continuation = {}) const;
    // Every page, following the continuation point; the last page holds the fault, if any.
    std::vector<BrowsedPage> BrowseAll(const BrowseOptions& browse) const;
    // The listing with columns (A address, C comment), one text line per child.
    BrowsedPage BrowseColumns(const BrowseOptions& browse, const std::string& columns,
                              std::vector<std::string>& lines) const;

    // This build against the stamp of the build running in the PLC.
    StampMatch CompareStamp(const PLCDicoStamping& running) const;
    // This program's stamp record, as a PLC running this build reports it.
    PLCDicoStamping StampRecord() const;

    // Writes the quick-save dump <directory>/<DumpFileName()>; only a complete file replaces an
    // earlier one. False with the reason when it is not in place.
    bool WriteDump(const std::string& directory, std::string& reason) const;
    std::string DumpFileName() const { return m_Name + ".kvxav"; }

    ValueAccess& Values() const { return *m_Values; }
    // The PLC behind the values, shared with every program that uses it; null for the image.
    const std::shared_ptr<PlcEndpoint>& Plc() const { return m_Plc; }

private:
    Program() = default;
    void CountContents();
    void OpenMemory(const MemoryChoice& choice, Diagnostics& report);
    void DropVariableLayouts();
    varbank::BrowseRequest Request(const BrowseOptions& browse) const;
    void ResolveInto(const std::string& checkedName, ResolvedItem& item) const;

    std::string m_Name;
    std::string m_Path;
    // The types and memory areas. Its variables are given up once the dictionary holds them and
    // the initial values are written: m_Variables keeps what is asked of them later.
    ProjectLayout m_Layout;
    std::unique_ptr<VariableTable> m_Variables;
    std::unique_ptr<LayoutTypes> m_Types;   // uses m_Variables, so declared after it
    std::unique_ptr<TraceRecorder> m_Trace; // outlives the dictionary that calls it
    std::unique_ptr<CVarbank> m_Dictionary;
    DictionaryInfo m_Info;
    MemoryKind m_MemoryKind = MemoryKind::Image;
    std::unique_ptr<MemoryBackend> m_Memory;
    std::shared_ptr<PlcEndpoint> m_Plc;
    std::unique_ptr<ValueAccess> m_Values; // uses m_Memory, so declared after it
};
