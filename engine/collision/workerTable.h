#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <thread>

#include "engine/collision/collisionManager.h"
#include "engine/threads/kvsThreads.h"

// What one worker lane works on in a threaded phase. Worker i works lane i + 1.
class LanePhase;

struct WorkerRecord {
    std::int32_t laneNumber = 0;
    // The worker's own thread, made when a phase first hands it a run of lanes; it
    // sleeps between phases and lives as long as the table.
    std::unique_ptr<std::thread> thread;
    bool started = false;  // a thread took this lane in the current phase
    // Bumped to hand the thread its next run (phase and end of the run) or to stop it.
    std::atomic<std::uint32_t> ticket{0};
    LanePhase* runPhase = nullptr;
    std::int32_t runEnd = 0;
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

// The worker set-up the collision manager makes once; one per process. Its threads
// stop and are joined when it goes.
struct WorkerTable {
    WorkerTable() = default;
    WorkerTable(const WorkerTable&) = delete;
    WorkerTable& operator=(const WorkerTable&) = delete;
    ~WorkerTable();

    std::int32_t workerCount = 0;
    // Workers of the latest threaded detection (the worker count until then); it also
    // bounds the threaded resolution.
    std::int32_t activeWorkerCount = 0;
    std::unique_ptr<WorkerRecord[]> records;
    // Runs handed out in the current phase that are not yet done.
    std::atomic<std::uint32_t> runsPending{0};
    // The body pass the lanes work: lane i works the bodies of block i.
    struct BodyPass {
        std::span<HardBody* const> bodies;
        BodyWork work;
        std::size_t perBlock;
        void runBlock(int lane) const;
    };
    const BodyPass* bodyPass = nullptr;
    bool stopping = false;  // set before the threads are woken to end
    int processors = 1;  // processors this process may run on
    // Pauses a waiting thread spins before it sleeps, set by each phase.
    std::atomic<std::uint32_t> spins{0};
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

// Runs one phase's lanes. Each wanted worker lane is worked on a thread of its own, or,
// when the phase is given fewer threads than lanes (a small phase, where waking a
// thread costs more than it shares out), the lanes are shared out in runs among the
// threads and the calling thread, each run worked lane after lane. A run goes to the
// thread of its first lane's worker. Each lane keeps its own records and lists
// whichever thread works it, so the results are the same. The caller works its own
// share meanwhile; on join (at the latest when the phase goes out of scope) it works its
// run and every lane whose thread could not be made, then waits for the runs.
class LanePhase {
public:
    // `threads`: threads the phase may use, the calling thread included.
    LanePhase(WorkerTable& table, int workers, int threads = MAX_LANES);
    LanePhase(const LanePhase&) = delete;
    LanePhase& operator=(const LanePhase&) = delete;
    ~LanePhase() { join(); }

    // A wanted lane; with a thread for every lane it starts at once.
    void start(int worker, LaneProc proc);
    // A wanted lane that, with a thread for every lane, the caller works itself on join:
    // for a caller that has no share of its own.
    void keep(int worker, LaneProc proc);
    // With fewer threads than lanes: starts the threads of the runs, once every lane
    // is known. Nothing otherwise.
    void launch();
    void join();

    // Works the wanted lanes first to end - 1 in turn.
    void workRun(int first, int end);

private:
    bool startThread(int first, int end);

    WorkerTable& table_;
    int workers_;
    int threads_;
    bool failed_ = false;
    bool joined_ = false;
    bool wanted_[MAX_WORKERS] = {};
    LaneProc procs_[MAX_WORKERS] = {};
};

// Threads worth starting for `work` items of a phase at `perThread` items a thread (0:
// one thread a lane), the calling thread included.
int threadsFor(std::uint32_t work, std::uint32_t perThread);

// Thread procedures; each returns 0.
int resolveLaneProc(WorkerRecord* record);
int detectGroundLaneProc(WorkerRecord* record);
int detectLooseLaneProc(WorkerRecord* record);
int extractLaneProc(WorkerRecord* record);
int bodyPassLaneProc(WorkerRecord* record);
