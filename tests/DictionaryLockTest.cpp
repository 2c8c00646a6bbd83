#include "DictionaryLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Two readers hold the lock at once; a writer waits for both and excludes them while it holds.
TEST(DictionaryLock, ReadersShareWritersExclude) {
    CDictionaryLock lock;
    std::atomic<int> inside{0};
    std::atomic<int> most{0};
    std::atomic<bool> writerIn{false};
    std::atomic<bool> overlap{false};
    auto reader = [&] {
        for (int i = 0; i < 2000; ++i) {
            CSharedLock hold(lock);
            overlap = overlap || writerIn;
            const int now = ++inside;
            most = std::max(most.load(), now);
            std::this_thread::yield();
            --inside;
        }
    };
    auto writer = [&] {
        for (int i = 0; i < 200; ++i) {
            CScopedLock hold(lock);
            writerIn = true;
            overlap = overlap || inside != 0;
            writerIn = false;
        }
    };
    std::vector<std::thread> threads;
    threads.emplace_back(reader);
    threads.emplace_back(reader);
    threads.emplace_back(writer);
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_FALSE(overlap);
    EXPECT_GE(most, 1);
}

// Every nesting the dictionary and its hosts rely on: exclusive in exclusive, shared in
// exclusive, shared in shared while a writer waits, exclusive in shared.
TEST(DictionaryLock, NestedHoldsDoNotDeadlock) {
    CDictionaryLock lock;
    {
        CScopedLock outer(lock);
        CScopedLock inner(lock);
        CSharedLock read(lock);
        EXPECT_TRUE(lock.TryLock());
        lock.Unlock();
    }
    std::atomic<bool> written{false};
    std::thread writer;
    {
        CSharedLock outer(lock);
        writer = std::thread([&] {
            CScopedLock hold(lock);
            written = true;
        });
        std::this_thread::sleep_for(20ms); // the writer is waiting for this reader now
        {
            CSharedLock again(lock);
            EXPECT_FALSE(written);
        }
        EXPECT_FALSE(written);
        {
            CScopedLock upgraded(lock); // gets in once the other writer is done or before it
            CSharedLock inside(lock);
        }
    }
    writer.join();
    EXPECT_TRUE(written);
    EXPECT_TRUE(lock.TryLock());
    lock.Unlock();
}

// Another thread cannot take the lock while a reader holds it.
TEST(DictionaryLock, TryLockFailsWhileHeld) {
    CDictionaryLock lock;
    CSharedLock read(lock);
    bool taken = true;
    std::thread([&] {
        taken = lock.TryLock();
        if (taken) {
            lock.Unlock();
        }
    }).join();
    EXPECT_FALSE(taken);
}

} // namespace
