#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "host/api/status.h"

class MPxCommand;

namespace host {

// Commands that can be undone, newest last, and those undone that can be redone.
class UndoQueue {
public:
    UndoQueue();
    UndoQueue(const UndoQueue&) = delete;
    UndoQueue& operator=(const UndoQueue&) = delete;
    ~UndoQueue();

    // A new command drops the redo stack.
    void push(std::unique_ptr<MPxCommand> command);
    MStatus undo();
    MStatus redo();
    // Destroys every queued command; one running undoIt/redoIt is destroyed when it returns.
    void flush();
    std::size_t size() const { return done_.size(); }
    std::size_t redoSize() const { return undone_.size(); }

    bool recording = true;

private:
    std::deque<std::unique_ptr<MPxCommand>> done_;
    std::vector<std::unique_ptr<MPxCommand>> undone_;
    std::uint64_t flushes_ = 0;
};

}  // namespace host
