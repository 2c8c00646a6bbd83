#pragma once

#include <mutex>

// The dictionary's lock: a recursive mutex, so an owner thread may take it again (the
// destructor reaches it through the clean-up, a dump through nested calls).
class CRecursiveLock {
public:
    void Lock() { m_Mutex.lock(); }
    void Unlock() { m_Mutex.unlock(); }
    bool TryLock() { return m_Mutex.try_lock(); }

private:
    std::recursive_mutex m_Mutex;
};

// Holds a CRecursiveLock for one scope; released on every way out, exceptions included.
class CScopedLock {
public:
    explicit CScopedLock(CRecursiveLock& lock) : m_Lock(lock) { m_Lock.Lock(); }
    ~CScopedLock() { m_Lock.Unlock(); }
    CScopedLock(const CScopedLock&) = delete;
    CScopedLock& operator=(const CScopedLock&) = delete;

private:
    CRecursiveLock& m_Lock;
};
