#include "Varbank/CVarbank.h"

#include "Varbank/CAppParameters.h"
#include "Varbank/CSymbXMLDDTDef.h"
#include "Varbank/CSymbXMLItemDef.h"
#include "Varbank/CTraceSink.h"
#include "Varbank/GetSymbType.h"
#include "Varbank/VarbankCodes.h"
#include "dictionary/ReadPass.h"
#include "platform/TextUtil.h"

namespace {

constexpr std::int32_t kTraceLevel = 2;

} // namespace

CVarbank::CVarbank(const std::string& dicoName, const std::string& directory,
                   CAppParameters* params)
    : m_DicoName(dicoName), m_Description("KorvoPro Dictionnary from PLC"),
      m_DumpDirectory(directory) {
    if (params != nullptr && params->GetKind() == APP_PARAMETERS_KIND &&
        params->m_AreasValid != 0) {
        m_WordArea = params->m_WordArea;
        m_BitArea = params->m_BitArea;
    }
    m_Types.m_pOwner = this;
}

CVarbank::~CVarbank() {
    CleanCMaps();
}

HRESULT CVarbank::Initialize(std::uint32_t, CTraceSink* sink, std::int32_t traceEnabled,
                             const std::string& directory, std::uint32_t) {
    CScopedLock guard(m_Lock);
    m_SourceName = "PLC Embedded";
    m_TraceSink = sink;
    m_TraceEnabled = traceEnabled;
    m_DumpDirectory = directory;
    return S_OK;
}

std::uint32_t CVarbank::GetSymbKind() {
    std::uint32_t kind = 0;
    GetSymbType(&kind);
    return kind;
}

std::string CVarbank::GetDescription() {
    return m_Description;
}

std::string CVarbank::GetSourceName() {
    CSharedLock guard(m_Lock);
    return m_SourceName;
}

HRESULT CVarbank::Reserved1(std::uint32_t, std::uint32_t, std::uint32_t) {
    return E_NOTIMPL;
}

HRESULT CVarbank::Reserved2(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                            std::uint32_t) {
    return E_NOTIMPL;
}

HRESULT CVarbank::Reserved3() {
    return E_NOTIMPL;
}

std::string CVarbank::GetDicoName() {
    CSharedLock guard(m_Lock);
    return m_DicoName;
}

std::string CVarbank::GetHostText() {
    CSharedLock guard(m_Lock);
    return m_HostText;
}

HRESULT CVarbank::IncrementCounter(std::uint32_t, std::uint32_t) {
    CScopedLock guard(m_Lock);
    ++m_Counter;
    return S_OK;
}

HRESULT CVarbank::Reserved5(std::uint32_t) {
    return E_NOTIMPL;
}

HRESULT CVarbank::QueryFlag(std::uint32_t* flag) {
    if (flag == nullptr) {
        return E_INVALIDARG;
    }
    *flag = 1;
    return S_OK;
}

std::uint32_t CVarbank::GetCounter() {
    CSharedLock guard(m_Lock);
    return m_Counter;
}

HRESULT CVarbank::Reserved6(std::uint32_t) {
    return E_NOTIMPL;
}

HRESULT CVarbank::Reserved7(std::uint32_t) {
    return E_NOTIMPL;
}

CSymb::Consistence CVarbank::GetConsistence() {
    return m_Consistence.load();
}

void CVarbank::SetTraceEnabled(std::int32_t enabled) {
    CScopedLock guard(m_Lock);
    m_TraceEnabled = enabled;
}

void CVarbank::CleanCMaps() {
    CScopedLock guard(m_Lock);
    for (auto& entry : m_Items) {
        delete entry.second;
        entry.second = nullptr;
    }
    m_Items.clear();
    m_Types.RemoveAllTypes();
    for (auto& word : m_Stamp) {
        word = 0;
    }
    m_TempArrayCounter = 0;
}

void CVarbank::FinalyzeListOfType() {
    CScopedLock guard(m_Lock);
    // Only the types present at the start are walked: array types that the lookups below add
    // are complete when they are built, and adding them must not disturb the walk.
    std::vector<CSymbXMLDDTDef*> types;
    types.reserve(m_Types.m_TypesByName.size());
    for (const auto& entry : m_Types.m_TypesByName) {
        if (entry.second != nullptr) {
            types.push_back(entry.second);
        }
    }
    for (CSymbXMLDDTDef* type : types) {
        if (type->IsDFB()) {
            type->RemoveDFBMember(&m_Types);
        }
        type->DefineSubType(&m_Types);
    }
}

bool CVarbank::AddItem(CSymbXMLItemDef* item) {
    if (item == nullptr) {
        return false;
    }
    CScopedLock guard(m_Lock);
    return m_Items.emplace(ToUpperAscii(item->m_Name), item).second;
}

void CVarbank::ReserveItems(std::size_t count) {
    CScopedLock guard(m_Lock);
    m_Items.reserve(count);
}

void CVarbank::WriteTrace(const std::string& text) {
    if (TraceOn() && !CReadPass::HoldTrace(text)) {
        SendTrace(text);
    }
}

void CVarbank::SendTrace(const std::string& text) {
    const std::lock_guard<std::recursive_mutex> one(m_TraceMutex);
    if (TraceOn()) {
        m_TraceSink->Trace(kTraceLevel, text.c_str());
    }
}

HRESULT CVarbank::RunRead(ReadStep<HRESULT> attempt, ReadStep<void> undo) {
    {
        CSharedLock shared(m_Lock);
        // Under an exclusive hold of this thread the run may write: no pass is needed.
        CReadPass pass(!m_Lock.HeldExclusivelyHere());
        const HRESULT hr = attempt();
        if (!pass.NeedsExclusive()) {
            for (const std::string& text : pass.HeldTraces()) {
                SendTrace(text);
            }
            return hr;
        }
        undo();
    }
    CScopedLock exclusive(m_Lock);
    return attempt();
}

CSymbXMLItemDef* CVarbank::FindItem(const std::string& name) const {
    const auto found = m_Items.FindUpper(name);
    return found == m_Items.end() ? nullptr : found->second;
}
