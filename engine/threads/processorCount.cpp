#include "engine/threads/processorCount.h"

#include <sched.h>
#include <unistd.h>

#include <atomic>

namespace {
std::atomic<int> processorCountOverride{0};
}  // namespace

int getSystemProcessorCount() {
    // The affinity set is what the worker threads can actually use (containers and
    // taskset narrow it below the machine's count).
    cpu_set_t set;
    CPU_ZERO(&set);
    int count = 0;
    if (sched_getaffinity(0, sizeof(set), &set) == 0) {
        count = CPU_COUNT(&set);
    }
    if (count < 1) {
        const long online = sysconf(_SC_NPROCESSORS_ONLN);
        count = online > 0 ? static_cast<int>(online) : 1;
    }
    return count;
}

void setProcessorCountOverride(int n) { processorCountOverride.store(n > 0 ? n : 0); }

int getProcessorCountOverride() { return processorCountOverride.load(); }
