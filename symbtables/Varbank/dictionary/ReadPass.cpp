#include "dictionary/ReadPass.h"

namespace {

// initial-exec: reached on every read, without a lookup call from the shared library.
thread_local CReadPass* t_CurrentPass __attribute__((tls_model("initial-exec"))) = nullptr;

} // namespace

CReadPass::CReadPass(bool active) : m_Outer(t_CurrentPass) {
    // An inactive pass hides an outer one: under an exclusive hold writes are allowed.
    t_CurrentPass = active ? this : nullptr;
}

CReadPass::~CReadPass() {
    t_CurrentPass = m_Outer;
}

bool CReadPass::Active() {
    return t_CurrentPass != nullptr;
}

void CReadPass::RequireExclusive() {
    if (t_CurrentPass != nullptr) {
        t_CurrentPass->m_NeedsExclusive = true;
    }
}

bool CReadPass::HoldTrace(const std::string& text) {
    if (t_CurrentPass == nullptr) {
        return false;
    }
    t_CurrentPass->m_Traces.push_back(text);
    return true;
}
