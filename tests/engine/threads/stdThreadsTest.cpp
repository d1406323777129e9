#include "engine/threads/stdThreads.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "engine/threads/processorCount.h"

namespace {

// Spins, yielding, until `ready` threads have announced themselves under `lock`. A
// thread announces itself while it holds the lock and then calls wait, which counts
// it as a waiter before it lets the lock go; so once the count is seen every announced
// thread is a counted waiter.
void awaitWaiters(kvsCriticalSection& lock, const int& announced, int ready) {
    for (;;) {
        lock.lock();
        const bool all = announced >= ready;
        lock.unlock();
        if (all) {
            return;
        }
        std::this_thread::yield();
    }
}

TEST(StdThreads, CriticalSectionTryLockAcrossThreadsAndReentry) {
    stdThreadsApi api;
    kvsCriticalSection* cs = api.createCriticalSection();
    ASSERT_NE(cs, nullptr);
    EXPECT_EQ(cs->tryLock(), 0);
    EXPECT_EQ(cs->lock(), 0);  // the owner may take it again
    int fromOther = 1;
    std::thread other([&] { fromOther = cs->tryLock(); });
    other.join();
    EXPECT_EQ(fromOther, -1);
    EXPECT_EQ(cs->unlock(), 0);
    EXPECT_EQ(cs->unlock(), 0);
    std::thread again([&] {
        fromOther = cs->tryLock();
        if (fromOther == 0) {
            cs->unlock();
        }
    });
    again.join();
    EXPECT_EQ(fromOther, 0);

    api.destroyCriticalSection(&cs);
    EXPECT_EQ(cs, nullptr);
    api.destroyCriticalSection(&cs);  // null: nothing happens
    EXPECT_EQ(cs, nullptr);
    kvsConditionVar* cv = nullptr;
    api.destroyConditionVar(&cv);
    EXPECT_EQ(cv, nullptr);
}

TEST(StdThreads, BroadcastWakesThreeAndIsThenReset) {
    stdThreadsApi api;
    std::unique_ptr<kvsCriticalSection> cs(api.createCriticalSection());
    stdConditionVar cv;
    int announced = 0;
    int woken = 0;
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            cs->lock();
            ++announced;
            EXPECT_EQ(cv.wait(*cs), 0);
            ++woken;  // the lock is held again
            cs->unlock();
        });
    }
    awaitWaiters(*cs, announced, 3);
    EXPECT_EQ(cv.waiterCount(), 3u);
    EXPECT_EQ(cv.broadcast(), 0);
    for (std::thread& t : waiters) {
        t.join();
    }
    EXPECT_EQ(woken, 3);
    EXPECT_EQ(cv.waiterCount(), 0u);
    EXPECT_FALSE(cv.broadcastPending());  // the last waiter closed it
}

TEST(StdThreads, WakeUpsWithoutWaitersAreNotRemembered) {
    stdThreadsApi api;
    std::unique_ptr<kvsCriticalSection> cs(api.createCriticalSection());
    stdConditionVar cv;
    EXPECT_EQ(cv.signal(), 0);
    EXPECT_EQ(cv.broadcast(), 0);
    EXPECT_FALSE(cv.signalPending());
    EXPECT_FALSE(cv.broadcastPending());

    // A later waiter sleeps until the next signal, which it consumes.
    int announced = 0;
    std::thread waiter([&] {
        cs->lock();
        ++announced;
        cv.wait(*cs);
        cs->unlock();
    });
    awaitWaiters(*cs, announced, 1);
    EXPECT_EQ(cv.waiterCount(), 1u);
    cv.signal();
    waiter.join();
    EXPECT_FALSE(cv.signalPending());
    EXPECT_EQ(cv.waiterCount(), 0u);
}

TEST(StdThreads, JoinAndTheOtherThreadServices) {
    stdThreadsApi api;
    int ran = 0;
    std::thread t([&] { ran = 1; });
    EXPECT_EQ(api.join(&t), 0u);
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(api.join(&t), 0xFFFFFFFFu);  // already joined
    EXPECT_EQ(api.join(nullptr), 0xFFFFFFFFu);
    EXPECT_EQ(api.terminateThread(nullptr, 0), 0);
    bool after = false;
    std::thread leaving([&] {
        api.exitThread(0);
        after = true;  // never reached
    });
    EXPECT_EQ(api.join(&leaving), 0u);
    EXPECT_FALSE(after);
}

TEST(ProcessorCount, OverrideIsSeparateFromTheSystemCount) {
    const int system = getSystemProcessorCount();
    EXPECT_GE(system, 1);
    EXPECT_EQ(getProcessorCountOverride(), 0);
    setProcessorCountOverride(64);
    EXPECT_EQ(getProcessorCountOverride(), 64);
    EXPECT_EQ(getSystemProcessorCount(), system);
    setProcessorCountOverride(-3);
    EXPECT_EQ(getProcessorCountOverride(), 0);
}

}  // namespace
