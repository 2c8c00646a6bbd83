#pragma once

#include "PlatformApi.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

// The dictionary's lock: shared for the read operations, exclusive for everything that
// changes the dictionary (and for a host that takes it). The exclusive holder may take it again,
// shared or exclusive; a shared holder may take it shared again, or exclusive (it then stops
// counting as a reader until that exclusive hold ends).
//
// Readers count themselves in one of several counters, each on its own cache line, so that
// readers on different cores do not write to a common line; an exclusive holder raises a flag
// and waits until every counter is zero.
class VARBANK_API CDictionaryLock {
public:
    CDictionaryLock() = default;
    CDictionaryLock(const CDictionaryLock&) = delete;
    CDictionaryLock& operator=(const CDictionaryLock&) = delete;

    void Lock();
    void Unlock();
    bool TryLock();
    void LockShared();
    void UnlockShared();
    // True when the calling thread holds the lock exclusively.
    bool HeldExclusivelyHere() const;

private:
    static constexpr std::size_t kReaderSlots = 16;
    struct alignas(64) ReaderSlot {
        std::atomic<std::uint32_t> readers{0};
    };

    void WaitForReaders();
    void Acquired(bool upgrade);

    ReaderSlot m_Readers[kReaderSlots];
    alignas(64) std::atomic<bool> m_Exclusive{false};
    std::mutex m_Writer; // held for the whole of an exclusive hold
    std::atomic<std::thread::id> m_Owner{};
    std::uint32_t m_Depth = 0; // the exclusive holder's recursion, read by that thread only
    bool m_Upgraded = false;   // the exclusive holder also holds the lock shared
};

// Holds a CDictionaryLock exclusively for one scope; released on every way out.
class CScopedLock {
public:
    explicit CScopedLock(CDictionaryLock& lock) : m_Lock(lock) { m_Lock.Lock(); }
    ~CScopedLock() { m_Lock.Unlock(); }
    CScopedLock(const CScopedLock&) = delete;
    CScopedLock& operator=(const CScopedLock&) = delete;

private:
    CDictionaryLock& m_Lock;
};

// Holds a CDictionaryLock shared for one scope; released on every way out.
class CSharedLock {
public:
    explicit CSharedLock(CDictionaryLock& lock) : m_Lock(lock) { m_Lock.LockShared(); }
    ~CSharedLock() { m_Lock.UnlockShared(); }
    CSharedLock(const CSharedLock&) = delete;
    CSharedLock& operator=(const CSharedLock&) = delete;

private:
    CDictionaryLock& m_Lock;
};
