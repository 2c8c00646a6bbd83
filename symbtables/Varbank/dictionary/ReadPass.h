#pragma once

#include <string>
#include <vector>

// One run of a read operation under a shared hold of the dictionary's lock. While it is active
// on a thread, nothing of the dictionary may be written: code that finds it would have to write
// (a type name not yet upper case, an anonymous array type not yet in the catalogue) calls
// RequireExclusive, and the operation is then undone and run again under the exclusive lock.
// Trace lines are held back until the pass is known to stand, so a redone run traces once.
class CReadPass {
public:
    // An inactive pass (active = false) changes nothing: the thread holds the lock exclusively.
    explicit CReadPass(bool active);
    ~CReadPass();
    CReadPass(const CReadPass&) = delete;
    CReadPass& operator=(const CReadPass&) = delete;

    // True while a read pass runs on this thread.
    static bool Active();
    // The current pass must be redone under the exclusive lock.
    static void RequireExclusive();
    // Holds a trace line back when a pass is active; false when the caller must send it now.
    static bool HoldTrace(const std::string& text);

    bool NeedsExclusive() const { return m_NeedsExclusive; }
    const std::vector<std::string>& HeldTraces() const { return m_Traces; }

private:
    bool m_NeedsExclusive = false;
    std::vector<std::string> m_Traces;
    CReadPass* m_Outer;
};

// A non-owning reference to a callable, so that the read operations can hand their work to
// one runner without allocating.
template <class Result> class ReadStep {
public:
    template <class Callable>
    ReadStep(Callable& callable) // NOLINT(google-explicit-constructor): built at call sites
        : m_Object(&callable),
          m_Call([](void* object) -> Result { return (*static_cast<Callable*>(object))(); }) {}
    Result operator()() const { return m_Call(m_Object); }

private:
    void* m_Object;
    Result (*m_Call)(void*);
};
