#include "Varbank/DictionaryLock.h"

#include <array>

namespace {

constexpr std::size_t kNoSlot = ~std::size_t{0};
constexpr std::size_t kTrackedHolds = 8;

// One shared hold of this thread, so that a shared holder may take a lock shared again even
// while an exclusive holder waits (it would otherwise wait for itself).
struct SharedHold {
    const void* lock;
    std::uint32_t depth;
};

// What a thread keeps about the dictionary locks: its reader counter (threads are spread over
// the counters in turn) and its shared holds. Constant-initialised, so reaching it costs no
// guard; initial-exec, so that reaching it from the shared library costs no lookup call.
struct ThreadState {
    std::size_t slot = kNoSlot;
    std::uint32_t holdCount = 0;
    std::array<SharedHold, kTrackedHolds> holds{};
};
thread_local ThreadState t_State __attribute__((tls_model("initial-exec")));

std::size_t SlotOf(ThreadState& state, std::size_t slots) {
    static std::atomic<std::size_t> next{0};
    if (state.slot == kNoSlot) {
        state.slot = next.fetch_add(1, std::memory_order_relaxed) % slots;
    }
    return state.slot;
}

SharedHold* FindHold(ThreadState& state, const void* lock) {
    if (state.holdCount == 0) {
        return nullptr;
    }
    for (SharedHold& hold : state.holds) {
        if (hold.lock == lock) {
            return &hold;
        }
    }
    return nullptr;
}

void AddHold(ThreadState& state, const void* lock) {
    for (SharedHold& hold : state.holds) {
        if (hold.lock == nullptr) {
            hold = {lock, 1};
            ++state.holdCount;
            return;
        }
    }
}

} // namespace

bool CDictionaryLock::HeldExclusivelyHere() const {
    // The flag is raised by the holder itself, so without it no thread of ours holds the lock.
    return m_Exclusive.load(std::memory_order_relaxed) &&
           m_Owner.load(std::memory_order_relaxed) == std::this_thread::get_id();
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
    ThreadState& state = t_State;
    const bool upgrade = FindHold(state, this) != nullptr;
    if (upgrade) {
        m_Readers[SlotOf(state, kReaderSlots)].readers.fetch_sub(1, std::memory_order_release);
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
    if (FindHold(t_State, this) != nullptr || !m_Writer.try_lock()) {
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
        m_Readers[SlotOf(t_State, kReaderSlots)].readers.fetch_add(1, std::memory_order_seq_cst);
    }
    m_Exclusive.store(false, std::memory_order_release);
    m_Writer.unlock();
}

void CDictionaryLock::LockShared() {
    if (HeldExclusivelyHere()) {
        ++m_Depth; // inside an exclusive hold, a shared one is a recursion of it
        return;
    }
    ThreadState& state = t_State;
    if (SharedHold* hold = FindHold(state, this)) {
        ++hold->depth;
        return;
    }
    std::atomic<std::uint32_t>& readers = m_Readers[SlotOf(state, kReaderSlots)].readers;
    for (;;) {
        readers.fetch_add(1, std::memory_order_seq_cst);
        if (!m_Exclusive.load(std::memory_order_seq_cst)) {
            break;
        }
        readers.fetch_sub(1, std::memory_order_release);
        // Wait for the exclusive holder to finish, then try again.
        const std::lock_guard<std::mutex> wait(m_Writer);
    }
    AddHold(state, this);
}

void CDictionaryLock::UnlockShared() {
    if (HeldExclusivelyHere()) {
        --m_Depth;
        return;
    }
    ThreadState& state = t_State;
    SharedHold* hold = FindHold(state, this);
    if (hold != nullptr) {
        if (--hold->depth != 0) {
            return;
        }
        *hold = {nullptr, 0};
        --state.holdCount;
    }
    m_Readers[SlotOf(state, kReaderSlots)].readers.fetch_sub(1, std::memory_order_release);
}
