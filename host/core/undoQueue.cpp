#include "host/core/undoQueue.h"

#include "host/api/pxCommand.h"

namespace host {

UndoQueue::UndoQueue() = default;
UndoQueue::~UndoQueue() { flush(); }

void UndoQueue::push(std::unique_ptr<MPxCommand> command) {
    undone_.clear();
    done_.push_back(std::move(command));
}

MStatus UndoQueue::undo() {
    if (done_.empty()) return MStatus(MS::kFailure, "There are no more commands to undo.");
    std::unique_ptr<MPxCommand> cmd = std::move(done_.back());
    done_.pop_back();
    const std::uint64_t before = flushes_;
    const MStatus st = cmd->undoIt();
    // A flush while it ran destroyed the rest of the queue; this one goes now.
    if (flushes_ == before) undone_.push_back(std::move(cmd));
    return st;
}

MStatus UndoQueue::redo() {
    if (undone_.empty()) return MStatus(MS::kFailure, "There are no more commands to redo.");
    std::unique_ptr<MPxCommand> cmd = std::move(undone_.back());
    undone_.pop_back();
    const std::uint64_t before = flushes_;
    const MStatus st = cmd->redoIt();
    if (flushes_ == before) done_.push_back(std::move(cmd));
    return st;
}

void UndoQueue::flush() {
    ++flushes_;
    // Moved out first: a destructor may run MEL that touches the queue.
    auto done = std::move(done_);
    auto undone = std::move(undone_);
    done_.clear();
    undone_.clear();
    done.clear();
    undone.clear();
}

}  // namespace host
