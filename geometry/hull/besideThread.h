#pragma once

#include <exception>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

// Keeps `thread` off the core the calling thread runs on. Some schedulers (seen on
// virtual machines that pack threads onto few cores) start a new thread on its
// creator's core and move it only at their next balancing, milliseconds later: until
// then the two take turns, and a build beside another finishes no sooner than after
// it. Only a hint: where the affinity cannot be read or set, nothing changes.
inline void keepOffThisCore(std::thread& thread) {
#if defined(__linux__)
    cpu_set_t allowed;
    if (pthread_getaffinity_np(pthread_self(), sizeof allowed, &allowed) != 0) {
        return;
    }
    const int here = sched_getcpu();
    if (here < 0 || here >= CPU_SETSIZE || !CPU_ISSET(here, &allowed) || CPU_COUNT(&allowed) < 2) {
        return;
    }
    CPU_CLR(here, &allowed);
    pthread_setaffinity_np(thread.native_handle(), sizeof allowed, &allowed);
#else
    (void)thread;
#endif
}

// Runs beside() on a second thread while this thread runs here(), and returns when
// both have ended; without a thread to be had, runs here() and then beside(). An
// exception of either reaches the caller once both have ended (here()'s first).
template <class Here, class Beside>
void runBeside(Here&& here, Beside&& beside) {
    std::exception_ptr besideError;
    std::thread thread;
    try {
        thread = std::thread([&] {
            try {
                beside();
            } catch (...) {
                besideError = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        here();
        beside();
        return;
    }
    keepOffThisCore(thread);
    try {
        here();
    } catch (...) {
        thread.join();
        throw;
    }
    thread.join();
    if (besideError) {
        std::rethrow_exception(besideError);
    }
}

// A value made on a thread of its own while the thread that wants it goes on. wait()
// gives it once made, or nullptr when it could not be made (no thread to be had, or
// memory ran out): the waiter then makes its own. Whatever make reads must stay valid
// until wait() or the destructor, which waits.
template <class T>
class MadeBeside {
public:
    MadeBeside() = default;
    MadeBeside(const MadeBeside&) = delete;
    MadeBeside& operator=(const MadeBeside&) = delete;
    ~MadeBeside() { wait(); }

    // Starts make(value) on a second thread; only the first call counts.
    template <class Make>
    void start(Make&& make) {
        if (thread_.joinable() || made_) {
            return;
        }
        try {
            thread_ = std::thread([this, make = std::forward<Make>(make)]() mutable {
                try {
                    make(value_);
                    made_ = true;
                } catch (const std::bad_alloc&) {
                    // The waiter makes its own.
                }
            });
        } catch (const std::system_error&) {
            return;
        }
        keepOffThisCore(thread_);
    }

    T* wait() {
        if (thread_.joinable()) {
            thread_.join();
        }
        return made_ ? &value_ : nullptr;
    }

private:
    std::thread thread_;
    T value_{};
    bool made_ = false;
};
