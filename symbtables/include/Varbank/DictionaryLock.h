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

// Holds a CDictionaryLock for one scope, shared or exclusively; released on every way out.
template <bool Shared> class CLockHold {
public:
    explicit CLockHold(CDictionaryLock& lock) : m_Lock(lock) {
        if constexpr (Shared) {
            m_Lock.LockShared();
        } else {
            m_Lock.Lock();
        }
    }
    ~CLockHold() {
        if constexpr (Shared) {
            m_Lock.UnlockShared();
        } else {
            m_Lock.Unlock();
        }
    }
    CLockHold(const CLockHold&) = delete;
    CLockHold& operator=(const CLockHold&) = delete;

private:
    CDictionaryLock& m_Lock;
};

using CScopedLock = CLockHold<false>;
using CSharedLock = CLockHold<true>;
