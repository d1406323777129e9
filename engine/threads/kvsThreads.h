#pragma once

#include <thread>

// The engine reaches the operating system's threads and locks only through these
// interfaces. The worker code creates its threads itself and uses the thread services
// to wait for them; the lock and the condition variable stand ready for code that has
// to share data with its workers.

// A thread as the worker code made it; the thread services never own it.
using kvsThreadHandle = std::thread*;

// A lock that its owner may take again while holding it.
class kvsCriticalSection {
public:
    virtual ~kvsCriticalSection() = default;
    // Blocks until the lock is held; 0.
    virtual int lock() = 0;
    // 0 when the lock was taken, -1 when another thread holds it; never blocks.
    virtual int tryLock() = 0;
    // 0.
    virtual int unlock() = 0;
};

// Wake-ups are not remembered: a signal or broadcast with no waiter has no effect.
class kvsConditionVar {
public:
    virtual ~kvsConditionVar() = default;
    // The caller holds `lock`: releases it, sleeps until a signal or broadcast, takes it
    // again; 0.
    virtual int wait(kvsCriticalSection& lock) = 0;
    // Wakes one waiter when there is one; 0.
    virtual int signal() = 0;
    // Wakes every waiter when there is one; 0.
    virtual int broadcast() = 0;
};

class kvsThreadsApi {
public:
    virtual ~kvsThreadsApi() = default;
    virtual int terminateThread(kvsThreadHandle thread, unsigned exitCode) = 0;
    [[noreturn]] virtual void exitThread(unsigned exitCode) = 0;
    // Waits without a time limit for the thread to end: 0, or 0xFFFFFFFF when the
    // handle names no thread that can be waited for.
    virtual unsigned join(kvsThreadHandle thread) = 0;
    // Null when it cannot be made; the caller owns the object until it hands it back.
    virtual kvsCriticalSection* createCriticalSection() = 0;
    // Deletes *section when not null and leaves the pointer null.
    virtual void destroyCriticalSection(kvsCriticalSection** section) = 0;
    virtual kvsConditionVar* createConditionVar() = 0;
    virtual void destroyConditionVar(kvsConditionVar** condition) = 0;
};
