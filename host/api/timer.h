#pragma once

#include <chrono>

// Wall-clock stopwatch.
class MTimer {
public:
    void beginTimer() { start_ = Clock::now(); running_ = true; }
    void endTimer() { end_ = Clock::now(); running_ = false; }
    void clear() { start_ = end_ = Clock::time_point(); running_ = false; }
    // Seconds between begin and end (or now while running).
    double elapsedTime() const {
        const auto end = running_ ? Clock::now() : end_;
        return std::chrono::duration<double>(end - start_).count();
    }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point start_, end_;
    bool running_ = false;
};
