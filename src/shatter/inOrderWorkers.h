#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

// Makes items 0 .. count-1 on worker threads, each independent of the others, and hands
// them to the calling thread strictly in index order: the caller sees the same items
// in the same order as a plain loop would give it, however the workers are scheduled.
//
// makeState() builds the scratch state of one thread (the caller's own when no worker
// thread can be had); make(state, i) -> Item builds item i; take(i, item) gets it as an
// lvalue on the calling thread and returns false to stop the run: no further item is
// taken and the workers are stopped. What take leaves of an item is destroyed on a
// worker when there are workers, which keeps the frees of what the workers allocated
// (costly on another thread) off the calling thread. Workers run at most `ahead` items
// past the one the caller waits for, which bounds the items held at once. An exception
// of make reaches the caller when it comes to that item.
//
// Returns true when every item was taken.
template <class Item, class State, class MakeState, class Make, class Take>
bool makeInOrder(std::uint32_t count, unsigned threads, std::uint32_t ahead, MakeState makeState, Make make,
                 Take take) {
    const auto runHere = [&] {
        State state = makeState();
        for (std::uint32_t i = 0; i < count; ++i) {
            Item item = make(state, i);
            if (!take(i, item)) {
                return false;
            }
        }
        return true;
    };
    threads = std::min<unsigned>(threads, count);
    if (threads < 2) {
        return runHere();
    }

    struct Slot {
        std::optional<Item> item;
        std::exception_ptr error;
        bool done = false;
    };
    std::vector<Slot> slots(count);
    std::vector<Item> spent;  // taken items, for a worker to destroy
    std::mutex lock;
    std::condition_variable wanted;  // workers: room ahead, or stop
    std::condition_variable made;    // caller: its item is done
    std::uint32_t next = 0;          // next item to start
    std::uint32_t waitingFor = 0;    // the item the caller takes next
    bool stop = false;
    // Workers that found no room are woken once the caller has taken a batch more: when
    // the caller is the slower side, waking one per item costs a system call per item.
    // A batch is smaller than the window, so the item the caller waits for is always
    // started.
    const std::uint32_t batch = std::max<std::uint32_t>(1, ahead / 8);

    const auto work = [&] {
        std::optional<State> state;
        std::vector<Item> done;
        const auto room = [&] { return !stop && next < count && next < waitingFor + ahead; };
        for (;;) {
            std::uint32_t i = 0;
            bool job = false;
            {
                std::unique_lock<std::mutex> guard(lock);
                wanted.wait(guard, [&] { return stop || !spent.empty() || room(); });
                done.swap(spent);
                if (room()) {
                    i = next++;
                    job = true;
                } else if (stop && done.empty()) {
                    return;
                }
            }
            done.clear();
            if (!job) {
                continue;
            }
            Slot result;
            try {
                if (!state) {
                    state.emplace(makeState());
                }
                result.item.emplace(make(*state, i));
            } catch (...) {
                result.error = std::current_exception();
            }
            {
                std::lock_guard<std::mutex> guard(lock);
                slots[i].item = std::move(result.item);
                slots[i].error = result.error;
                slots[i].done = true;
            }
            made.notify_one();
        }
    };

    std::vector<std::thread> workers;
    for (unsigned w = 0; w < threads; ++w) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    const auto finish = [&] {
        {
            std::lock_guard<std::mutex> guard(lock);
            stop = true;
        }
        wanted.notify_all();
        for (std::thread& worker : workers) {
            worker.join();
        }
    };
    if (workers.empty()) {
        return runHere();
    }

    bool completed = true;
    try {
        for (std::uint32_t i = 0; i < count && completed; ++i) {
            Slot slot;
            {
                std::unique_lock<std::mutex> guard(lock);
                made.wait(guard, [&] { return slots[i].done; });
                slot.item = std::move(slots[i].item);
                slot.error = slots[i].error;
                slots[i].item.reset();
                waitingFor = i + 1;
            }
            if ((i + 1) % batch == 0) {
                // A batch more may start; one item wants one worker (waking all costs a switch each).
                if (batch == 1) {
                    wanted.notify_one();
                } else {
                    wanted.notify_all();
                }
            }
            if (slot.error) {
                std::rethrow_exception(slot.error);
            }
            completed = take(i, *slot.item);
            std::lock_guard<std::mutex> guard(lock);
            spent.push_back(std::move(*slot.item));
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    return completed;
}
