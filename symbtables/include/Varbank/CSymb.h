#pragma once

#include "HResult.h"
#include "PlatformApi.h"
#include "Variant.h"

#include <cstdint>
#include <string>
#include <vector>

class CTraceSink;
class CAppParameters;
struct ImplemRecord;
struct PropertyEntry;
struct tagBROWSEELEMENT;

// The provider interface through which the host talks to a dictionary. The host calls the 24
// operations by their position, so their order below is part of the interface.
class VARBANK_API CSymb {
public:
    enum Consistence : std::int32_t {
        CONSISTENCE_NONE = 0,
        CONSISTENCE_OK = 1,
        CONSISTENCE_MISMATCH = 3,
        CONSISTENCE_NO_STAMP = 5,
        CONSISTENCE_PARTIAL = 6,
    };

    // Request codes of CompareStamp.
    static constexpr std::int32_t STAMP_REQUEST_COMPARE = 56;
    static constexpr std::int32_t STAMP_REQUEST_CLEAR = -2;

    CSymb() = default;
    CSymb(const CSymb&) = delete;
    CSymb& operator=(const CSymb&) = delete;

    virtual HRESULT Initialize(std::uint32_t reserved, CTraceSink* sink, std::int32_t traceEnabled,
                               const std::string& directory, std::uint32_t reserved2) = 0;
    virtual std::uint32_t GetSymbKind() = 0;
    virtual std::string GetDescription() = 0;
    virtual std::string GetSourceName() = 0;
    virtual HRESULT Reserved1(std::uint32_t, std::uint32_t, std::uint32_t) = 0;
    virtual HRESULT Reserved2(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                              std::uint32_t) = 0;
    virtual HRESULT Reserved3() = 0;
    virtual HRESULT SearchAndGetFF(std::uint32_t nNames, const char* const* ppszNames,
                                   std::string& strAddress, std::string& strComment,
                                   ImplemRecord** ppRecord, std::uint32_t* pnProperties,
                                   PropertyEntry** ppProperties);
    virtual HRESULT Reserved4(std::uint32_t);
    virtual HRESULT BrowseNames(const char* filter, const char* pattern, VARTYPE varType,
                                const char* path, std::uint32_t reservedA, std::uint32_t reservedB,
                                std::int32_t branchesOnly, std::int32_t leaves,
                                std::int32_t branches, std::int32_t columnCount,
                                const char* columnCodes, std::vector<std::string>* output,
                                std::vector<std::string>* secondList) = 0;
    virtual HRESULT
    BrowseElements(const char* filter, const char* pattern, VARTYPE varType, const char* path,
                   std::uint32_t reservedA, std::uint32_t reservedB, std::int32_t branchesOnly,
                   std::int32_t leaves, std::int32_t branches, std::int32_t columnCount,
                   const char* columnCodes, const OLECHAR* positionId, OLECHAR** ppContinuation,
                   std::uint32_t maximum, std::uint32_t, std::uint32_t, std::uint32_t,
                   std::uint32_t, std::int32_t* pbMore, std::uint32_t* pdwCount,
                   tagBROWSEELEMENT** ppRecords, std::uint32_t* pdwCapacity,
                   std::vector<std::string>* secondList) = 0;
    virtual std::string GetDicoName() = 0;
    virtual std::string GetStampText() = 0;
    virtual std::string GetHostText() = 0;
    virtual Consistence CompareStamp(std::int32_t request, CAppParameters* params,
                                     Consistence* result, std::uint32_t reserved) = 0;
    virtual HRESULT IncrementCounter(std::uint32_t, std::uint32_t) = 0;
    virtual HRESULT Reserved5(std::uint32_t) = 0;
    virtual HRESULT QueryFlag(std::uint32_t* flag) = 0;
    virtual std::uint32_t GetCounter() = 0;
    virtual HRESULT Reserved6(std::uint32_t) = 0;
    virtual HRESULT Reserved7(std::uint32_t) = 0;
    virtual Consistence GetConsistence();
    virtual void SetTraceEnabled(std::int32_t enabled);
    virtual ~CSymb();
};
