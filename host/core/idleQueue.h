#pragma once

#include <deque>
#include <string>

namespace host {

// MEL queued to run when the host is idle, first in first out.
class IdleQueue {
public:
    void push(std::string command) { queue_.push_back(std::move(command)); }
    std::size_t size() const { return queue_.size(); }
    void clear() { queue_.clear(); }
    // Runs every entry, also those queued meanwhile (at most 10,000); a failing
    // entry is logged and the flush goes on.
    void flush();

private:
    std::deque<std::string> queue_;
    bool flushing_ = false;
};

}  // namespace host
