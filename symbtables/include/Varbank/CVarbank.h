#pragma once

#include "COrderedMap.h"
#include "CSymb.h"
#include "DictionaryLock.h"
#include "MAPOFDDTDEF.h"
#include "PLCDicoStamping.h"
#include "PLCMemoryArea.h"
#include "PlatformApi.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

class CSymbXMLItemDef;
class CSymbKorvoAnalyser;
class CSymbKorvoAnalysedItem;
struct BrowsePosition;
struct BrowseRequest;
struct ItemResolution;
struct NarrowResolution;
struct ListingPage;
template <class Result> class ReadStep;

// The symbol dictionary of one PLC application: its variables, its derived types, its stamp
// and the PLC memory areas. Its lock lets the read operations (resolution, browsing, stamp
// comparison and the name queries) run side by side and keeps everything else exclusive.
class VARBANK_API CVarbank : public CSymb {
public:
    static constexpr std::size_t kItemBucketCount = 25309;

    CVarbank(const std::string& dicoName, const std::string& directory, CAppParameters* params);
    ~CVarbank() override;

    // Provider interface.
    HRESULT Initialize(std::uint32_t reserved, CTraceSink* sink, std::int32_t traceEnabled,
                       const std::string& directory, std::uint32_t reserved2) override;
    std::uint32_t GetSymbKind() override;
    std::string GetDescription() override;
    std::string GetSourceName() override;
    HRESULT Reserved1(std::uint32_t, std::uint32_t, std::uint32_t) override;
    HRESULT Reserved2(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                      std::uint32_t) override;
    HRESULT Reserved3() override;
    HRESULT SearchAndGetFF(std::uint32_t nNames, const char* const* ppszNames,
                           std::string& strAddress, std::string& strComment,
                           ImplemRecord** ppRecord, std::uint32_t* pnProperties,
                           PropertyEntry** ppProperties) override;
    // SearchAndGetFF of one name with its outputs in UTF-8, for hosts that need no wide texts:
    // the same statuses; `out` is written only on S_OK.
    HRESULT ResolveNarrow(const std::string& name, NarrowResolution& out);
    // Brings the records of the variables that the names start with into the processor's
    // cache, all at once, so that resolving the names next waits for memory once rather than
    // once per name. A hint only: nothing changes, whatever the names.
    void PrefetchItems(const std::vector<std::string>& names);
    HRESULT BrowseNames(const char* filter, const char* pattern, VARTYPE varType, const char* path,
                        std::uint32_t reservedA, std::uint32_t reservedB, std::int32_t branchesOnly,
                        std::int32_t leaves, std::int32_t branches, std::int32_t columnCount,
                        const char* columnCodes, std::vector<std::string>* output,
                        std::vector<std::string>* secondList) override;
    HRESULT BrowseElements(const char* filter, const char* pattern, VARTYPE varType,
                           const char* path, std::uint32_t reservedA, std::uint32_t reservedB,
                           std::int32_t branchesOnly, std::int32_t leaves, std::int32_t branches,
                           std::int32_t columnCount, const char* columnCodes,
                           const OLECHAR* positionId, OLECHAR** ppContinuation,
                           std::uint32_t maximum, std::uint32_t, std::uint32_t, std::uint32_t,
                           std::uint32_t, std::int32_t* pbMore, std::uint32_t* pdwCount,
                           tagBROWSEELEMENT** ppRecords, std::uint32_t* pdwCapacity,
                           std::vector<std::string>* secondList) override;
    std::string GetDicoName() override;
    std::string GetStampText() override;
    std::string GetHostText() override;
    Consistence CompareStamp(std::int32_t request, CAppParameters* params, Consistence* result,
                             std::uint32_t reserved) override;
    HRESULT IncrementCounter(std::uint32_t, std::uint32_t) override;
    HRESULT Reserved5(std::uint32_t) override;
    HRESULT QueryFlag(std::uint32_t* flag) override;
    std::uint32_t GetCounter() override;
    HRESULT Reserved6(std::uint32_t) override;
    HRESULT Reserved7(std::uint32_t) override;
    Consistence GetConsistence() override;
    void SetTraceEnabled(std::int32_t enabled) override;

    // Deletes every variable record and type and zeroes the stamp, so the host can refill.
    void CleanCMaps();
    // Completes the types once the catalogue holds them (nested function blocks, member codes).
    void FinalyzeListOfType();
    Consistence CheckDicoStamp(const PLCDicoStamping* record);
    // Writes the quick-save dump <m_DumpDirectory>/<m_DicoName>.kvxav; true when written and
    // kept, false when the file cannot be opened or a block reports failure.
    bool SaveBinaryForm();
    // Direct address text (%MW12, %MW12.3, %M40) of a position, or empty.
    void FormatPhysicalAddress(std::int32_t areaKind, std::uint16_t block, std::uint32_t offset,
                               std::uint8_t bit, std::int32_t size, std::uint32_t typeCode,
                               std::string& text) const;

    // Element browsing internals: growth of the host's record block, one record, a listed
    // collection, the item identifier of a child, and the text conversions of browsing.
    HRESULT ReserveBrowseElements(std::uint32_t needed, std::uint32_t maximum,
                                  std::uint32_t* pdwCount, tagBROWSEELEMENT** ppRecords,
                                  std::uint32_t* pdwCapacity, std::uint32_t& firstIndex);
    static bool AppendBrowseElement(const std::string& name, const std::string& path,
                                    const std::string& positionPrefix, std::uint32_t index,
                                    std::uint32_t maximum, OLECHAR** ppContinuation,
                                    std::int32_t* pbMore, std::uint32_t* pdwCount,
                                    tagBROWSEELEMENT* records, std::uint32_t flags);
    static void AppendBrowseCollection(const std::vector<std::string>& collection,
                                       const std::string& path, const std::string& positionPrefix,
                                       std::uint32_t firstIndex, std::uint32_t maximum,
                                       OLECHAR** ppContinuation, std::int32_t* pbMore,
                                       std::uint32_t* pdwCount, tagBROWSEELEMENT* records,
                                       const std::vector<std::uint16_t>& kinds);
    // positionPrefix is the position identifier already converted with WideToNarrow.
    static std::string BuildBrowseItemId(const std::string& path, const std::string& positionPrefix,
                                         const std::string& name);
    // A new UTF-16 copy from the task allocator, or null for a null text or a failure.
    static OLECHAR* ToTaskWideString(const char* text);
    // UTF-8 of a wide text, converted whole; null or empty gives the empty text.
    static std::string WideToNarrow(const OLECHAR* text);

    // Host insertion: key = upper-cased m_Name. On true the dictionary owns the record; on
    // false (null, or the key is already present) it stays with the caller.
    bool AddItem(CSymbXMLItemDef* item);
    // Room for `count` items, so that adding them grows nothing (optional).
    void ReserveItems(std::size_t count);

    std::int32_t m_Tag = -1;
    CDictionaryLock m_Lock;
    std::string m_SourceName;
    std::string m_DicoName;
    std::string m_StampText;
    std::string m_Description;
    std::string m_DumpDirectory;
    std::string m_HostText;
    std::uint32_t m_Counter = 1;
    CTraceSink* m_TraceSink = nullptr;
    std::int32_t m_TraceEnabled = 0;
    std::atomic<Consistence> m_Consistence{CONSISTENCE_NO_STAMP};
    std::uint32_t m_HostValue = 0;
    PLCMemoryArea m_WordArea = {};
    PLCMemoryArea m_BitArea = {};
    // Read without the lock by CheckDicoStamp, hence single atomic words.
    std::atomic<std::uint32_t> m_Stamp[7] = {};
    std::int32_t m_TempArrayCounter = 0;
    CItemMap m_Items{kItemBucketCount};
    MAPOFDDTDEF m_Types;

private:
    // Readers trace side by side; the sink is called by one thread at a time (recursive, so
    // that a sink may call the dictionary back).
    std::recursive_mutex m_TraceMutex;

    // True while trace lines reach the host: tracing is on and a sink is set.
    bool TraceOn() const { return m_TraceEnabled != 0 && m_TraceSink != nullptr; }
    // Sends one line to the host's trace sink when tracing is on and a sink is set (held back
    // until a read pass is known to stand).
    void WriteTrace(const std::string& text);
    // Calls the sink, one thread at a time.
    void SendTrace(const std::string& text);
    // Runs a read operation under a shared hold of the lock. When the run finds that it must
    // write to the dictionary, undo puts the outputs back and the run is made again under the
    // exclusive lock.
    HRESULT RunRead(ReadStep<HRESULT> attempt, ReadStep<void> undo);

    // Resolves the name as given less its leading blanks under the lock; on S_OK the result
    // holds copies of its texts, so that it outlives the lock.
    HRESULT ResolveDetached(const char* given, ItemResolution& result);
    // Resolution of an item name: analysis, then a plain variable or a member path.
    HRESULT ResolveItemName(std::string& name, ItemResolution& result);
    HRESULT ResolvePlainItem(const CSymbKorvoAnalysedItem& element, const std::string& name,
                             ItemResolution& result);
    HRESULT ResolveMemberPath(CSymbKorvoAnalyser& analyser, ItemResolution& result);
    CSymbXMLItemDef* FindItem(const std::string& name) const;

    // Browsing: the tests on variables, the address column of a variable, one listed string,
    // and the walk of a browse path to the derived type at its end.
    bool IsBranch(const CSymbXMLItemDef& item);
    std::string VariableAddressText(const CSymbXMLItemDef& item) const;
    std::string ListedVariable(const CSymbXMLItemDef& item, std::int32_t columnCount,
                               const char* columnCodes) const;
    HRESULT ResolveBrowsePosition(const char* path, const BrowseRequest& request,
                                  BrowsePosition& position);
    // Lets the derived type at the end of a browse path list its children: true with the
    // listing's result; false when the path leads to no derived type (result E_INVALIDARG) or
    // the unlocated-only filter leaves it out (result S_OK, nothing listed). With a page, only
    // that page of the children is listed.
    bool ListPosition(const char* path, const BrowseRequest& request,
                      std::vector<std::string>& output, std::vector<std::string>* secondList,
                      std::vector<std::uint16_t>& kinds, HRESULT& result,
                      const ListingPage* page = nullptr);
    void ListRootNames(const BrowseRequest& request, std::vector<std::string>& output);
    // Writes the root's variables into the block reserved for them, from firstIndex on.
    void ListRootElements(const BrowseRequest& request, const std::string& positionPrefix,
                          std::uint32_t firstIndex, OLECHAR** ppContinuation, std::uint32_t maximum,
                          std::int32_t* pbMore, std::uint32_t* pdwCount, tagBROWSEELEMENT* records);
};
