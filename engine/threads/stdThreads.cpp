#include "engine/threads/stdThreads.h"

#include <pthread.h>

#include <new>
#include <system_error>

int stdCriticalSection::lock() {
    mutex_.lock();
    return 0;
}

int stdCriticalSection::tryLock() { return mutex_.try_lock() ? 0 : -1; }

int stdCriticalSection::unlock() {
    mutex_.unlock();
    return 0;
}

int stdConditionVar::wait(kvsCriticalSection& lock) {
    {
        const std::lock_guard<std::mutex> hold(guard_);
        ++waiters_;
    }
    lock.unlock();
    {
        std::unique_lock<std::mutex> hold(guard_);
        wake_.wait(hold, [this] { return signalled_ || broadcasting_; });
        const bool byBroadcast = !signalled_;
        signalled_ = false;  // consumed when it was set; otherwise it stays false
        --waiters_;
        if (byBroadcast && waiters_ == 0) {
            broadcasting_ = false;
        }
    }
    lock.lock();
    return 0;
}

int stdConditionVar::signal() {
    const std::lock_guard<std::mutex> hold(guard_);
    if (waiters_ > 0) {
        signalled_ = true;
        // Every sleeper re-checks; the first to run takes the signal.
        wake_.notify_all();
    }
    return 0;
}

int stdConditionVar::broadcast() {
    const std::lock_guard<std::mutex> hold(guard_);
    if (waiters_ > 0) {
        broadcasting_ = true;
        wake_.notify_all();
    }
    return 0;
}

std::uint32_t stdConditionVar::waiterCount() {
    const std::lock_guard<std::mutex> hold(guard_);
    return waiters_;
}

bool stdConditionVar::signalPending() {
    const std::lock_guard<std::mutex> hold(guard_);
    return signalled_;
}

bool stdConditionVar::broadcastPending() {
    const std::lock_guard<std::mutex> hold(guard_);
    return broadcasting_;
}

int stdThreadsApi::terminateThread(kvsThreadHandle, unsigned) { return 0; }

void stdThreadsApi::exitThread(unsigned) { pthread_exit(nullptr); }

unsigned stdThreadsApi::join(kvsThreadHandle thread) {
    constexpr unsigned WAIT_FAILED = 0xFFFFFFFFu;
    if (!thread || !thread->joinable()) {
        return WAIT_FAILED;
    }
    try {
        thread->join();
    } catch (const std::system_error&) {
        return WAIT_FAILED;
    }
    return 0;
}

kvsCriticalSection* stdThreadsApi::createCriticalSection() { return new (std::nothrow) stdCriticalSection; }

void stdThreadsApi::destroyCriticalSection(kvsCriticalSection** section) {
    if (section) {
        delete *section;
        *section = nullptr;
    }
}

kvsConditionVar* stdThreadsApi::createConditionVar() { return new (std::nothrow) stdConditionVar; }

void stdThreadsApi::destroyConditionVar(kvsConditionVar** condition) {
    if (condition) {
        delete *condition;
        *condition = nullptr;
    }
}
