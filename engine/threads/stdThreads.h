#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "engine/threads/kvsThreads.h"

// The threads interface over the C++ standard library.

class stdCriticalSection final : public kvsCriticalSection {
public:
    int lock() override;
    int tryLock() override;
    int unlock() override;

private:
    std::recursive_mutex mutex_;
};

// A waiter count and two wake-up flags guarded by an internal lock: an auto-reset
// signal flag that one waiter consumes, and a manual-reset broadcast flag that the
// last waiter woken by it clears. A waiter that finds both set takes the signal.
class stdConditionVar final : public kvsConditionVar {
public:
    int wait(kvsCriticalSection& lock) override;
    int signal() override;
    int broadcast() override;

    // Test hooks.
    std::uint32_t waiterCount();
    bool signalPending();
    bool broadcastPending();

private:
    std::mutex guard_;
    std::condition_variable wake_;
    std::uint32_t waiters_ = 0;
    bool signalled_ = false;
    bool broadcasting_ = false;
};

class stdThreadsApi final : public kvsThreadsApi {
public:
    // There is no safe way to end another thread from outside: nothing happens; 0.
    int terminateThread(kvsThreadHandle thread, unsigned exitCode) override;
    [[noreturn]] void exitThread(unsigned exitCode) override;
    unsigned join(kvsThreadHandle thread) override;
    kvsCriticalSection* createCriticalSection() override;
    void destroyCriticalSection(kvsCriticalSection** section) override;
    kvsConditionVar* createConditionVar() override;
    void destroyConditionVar(kvsConditionVar** condition) override;
};
