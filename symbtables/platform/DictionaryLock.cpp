#include "Varbank/DictionaryLock.h"

#include <array>

namespace {

// The reader counter a thread uses: threads are spread over the counters in turn.
std::size_t ThreadSlot(std::size_t slots) {
    static std::atomic<std::size_t> next{0};
    thread_local const std::size_t slot = next.fetch_add(1, std::memory_order_relaxed);
    return slot % slots;
}

// The shared holds of this thread, so that a shared holder may take a lock shared again even
// while an exclusive holder waits (it would otherwise wait for itself).
struct SharedHold {
    const void* lock;
    std::uint32_t depth;
};
constexpr std::size_t kTrackedHolds = 8;
thread_local std::array<SharedHold, kTrackedHolds> t_Holds{};

SharedHold* FindHold(const void* lock) {
    for (SharedHold& hold : t_Holds) {
        if (hold.lock == lock) {
            return &hold;
        }
    }
    return nullptr;
}

} // namespace

bool CDictionaryLock::HeldExclusivelyHere() const {
    return m_Owner.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

void CDictionaryLock::WaitForReaders() {
    for (ReaderSlot& slot : m_Readers) {
        while (slot.readers.load(std::memory_order_seq_cst) != 0) {
            std::this_thread::yield();
        }
    }
}

void CDictionaryLock::Lock() {
    if (HeldExclusivelyHere()) {
        ++m_Depth;
        return;
    }
    // A shared holder asking for the lock exclusively stops counting as a reader while it waits,
    // and counts again before it lets the next exclusive holder in.
    const bool upgrade = FindHold(this) != nullptr;
    if (upgrade) {
        m_Readers[ThreadSlot(kReaderSlots)].readers.fetch_sub(1, std::memory_order_release);
    }
    m_Writer.lock();
    Acquired(upgrade);
}

void CDictionaryLock::Acquired(bool upgrade) {
    m_Exclusive.store(true, std::memory_order_seq_cst);
    WaitForReaders();
    m_Owner.store(std::this_thread::get_id(), std::memory_order_relaxed);
    m_Depth = 1;
    m_Upgraded = upgrade;
}

bool CDictionaryLock::TryLock() {
    if (HeldExclusivelyHere()) {
        ++m_Depth;
        return true;
    }
    if (FindHold(this) != nullptr || !m_Writer.try_lock()) {
        return false;
    }
    m_Exclusive.store(true, std::memory_order_seq_cst);
    for (ReaderSlot& slot : m_Readers) {
        if (slot.readers.load(std::memory_order_seq_cst) != 0) {
            m_Exclusive.store(false, std::memory_order_release);
            m_Writer.unlock();
            return false;
        }
    }
    Acquired(false);
    return true;
}

void CDictionaryLock::Unlock() {
    if (--m_Depth != 0) {
        return;
    }
    m_Owner.store(std::thread::id(), std::memory_order_relaxed);
    if (m_Upgraded) {
        m_Readers[ThreadSlot(kReaderSlots)].readers.fetch_add(1, std::memory_order_seq_cst);
    }
    m_Exclusive.store(false, std::memory_order_release);
    m_Writer.unlock();
}

void CDictionaryLock::LockShared() {
    if (HeldExclusivelyHere()) {
        ++m_Depth; // inside an exclusive hold, a shared one is a recursion of it
        return;
    }
    if (SharedHold* hold = FindHold(this)) {
        ++hold->depth;
        return;
    }
    std::atomic<std::uint32_t>& readers = m_Readers[ThreadSlot(kReaderSlots)].readers;
    for (;;) {
        readers.fetch_add(1, std::memory_order_seq_cst);
        if (!m_Exclusive.load(std::memory_order_seq_cst)) {
            break;
        }
        readers.fetch_sub(1, std::memory_order_release);
        // Wait for the exclusive holder to finish, then try again.
        const std::lock_guard<std::mutex> wait(m_Writer);
    }
    if (SharedHold* free = FindHold(nullptr)) {
        *free = {this, 1};
    }
}

void CDictionaryLock::UnlockShared() {
    if (HeldExclusivelyHere()) {
        --m_Depth;
        return;
    }
    SharedHold* hold = FindHold(this);
    if (hold != nullptr && --hold->depth != 0) {
        return;
    }
    if (hold != nullptr) {
        *hold = {nullptr, 0};
    }
    m_Readers[ThreadSlot(kReaderSlots)].readers.fetch_sub(1, std::memory_order_release);
}
