#pragma once

#include <cstdint>
#include <memory>
#include <thread>

#include "engine/collision/collisionManager.h"
#include "engine/threads/kvsThreads.h"

// What one worker lane works on in a threaded phase. Worker i works lane i + 1.
struct WorkerRecord {
    std::int32_t laneNumber = 0;
    std::unique_ptr<std::thread> thread;  // the thread last started for this worker
    bool started = false;                 // a thread was started in the current phase
    // Resolution: the resolution mode handed to the lane. Detection: the lane's
    // detection result (1 wins, else the first non-zero result).
    std::uint32_t laneWord = 0;
    BodyList* listA = nullptr;
    BodyList* listB = nullptr;
    BodyList* listC = nullptr;
    PairList* output = nullptr;  // the manager's worker pair list of this worker
    // In the later detection phases: where the shares of the following workers begin
    // in the scratch list; null for the last worker.
    BodyList::Node* cursor = nullptr;
    CollisionManager* manager = nullptr;
};

// The worker set-up the collision manager makes once; one per process.
struct WorkerTable {
    std::int32_t workerCount = 0;
    // Workers of the latest threaded detection (the worker count until then); it also
    // bounds the threaded resolution.
    std::int32_t activeWorkerCount = 0;
    std::unique_ptr<WorkerRecord[]> records;
};

// The published table, or null while none exists.
WorkerTable* getWorkerTable();

// The thread services the worker code joins its threads with; null without a table.
kvsThreadsApi* getWorkerThreadsApi();

using LaneProc = int (*)(WorkerRecord*);

// Lanes a pass may use: threadCount held within [1, workers + 1] (1 without a table).
int usableLanes(std::uint32_t threadCount);

// The running result of a detection: 1 (a new contact) wins over everything,
// otherwise the first non-zero result stays.
inline void combineLaneResult(std::uint32_t& result, std::uint32_t t) {
    if (t == 1 || result == 0) {
        result = t;
    }
}

// Runs one phase's lanes: starts the wanted workers (a creation failure stops the
// starting), lets the caller work meanwhile, and on join (at the latest when it goes
// out of scope) joins them and then works itself the lists of every wanted worker
// that could not be started.
class LanePhase {
public:
    LanePhase(WorkerTable& table, int workers);
    LanePhase(const LanePhase&) = delete;
    LanePhase& operator=(const LanePhase&) = delete;
    ~LanePhase() { join(); }

    void start(int worker, LaneProc proc);
    void join();

private:
    WorkerTable& table_;
    int workers_;
    bool failed_ = false;
    bool joined_ = false;
    bool wanted_[MAX_WORKERS] = {};
    LaneProc procs_[MAX_WORKERS] = {};
};

// Thread procedures; each returns 0.
int resolveLaneProc(WorkerRecord* record);
int detectGroundLaneProc(WorkerRecord* record);
int detectLooseLaneProc(WorkerRecord* record);
