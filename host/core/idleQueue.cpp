#include "host/core/idleQueue.h"

#include "host/core/runtime.h"
#include "host/mel/interpreter.h"

namespace host {

void IdleQueue::flush() {
    if (flushing_) return;
    flushing_ = true;
    for (int n = 0; !queue_.empty() && n < 10000; ++n) {
        const std::string command = std::move(queue_.front());
        queue_.pop_front();
        // A failure has been reported by the interpreter; the rest still runs.
        runtime().mel().run(command, false);
    }
    flushing_ = false;
}

}  // namespace host
