// Worker lanes: the worker table, how a pass starts and joins its lanes, the lane
// bookkeeping between phases, and the threaded resolution with its lane assignment.
// Lane 0 is the calling thread, which always works a share too; worker i works lane
// i + 1 on its own pair pool, workspace and lists. No lock is taken: a lane writes only
// bodies no other lane touches in that pass.

#include "engine/collision/workerTable.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <new>
#include <system_error>

#include "engine/collision/pairListMoves.h"
#include "engine/solver/lsqSystem.h"
#include "engine/threads/processorCount.h"
#include "engine/threads/stdThreads.h"

namespace {

std::unique_ptr<WorkerTable> workerTable;
std::unique_ptr<kvsThreadsApi> threadsApi;

// Both the processed bit and every lane byte: a fracture body's own clear leaves its
// lane bytes as they were.
void releaseClaim(HardBody* body) {
    body->clearProcessed();
    std::fill(std::begin(body->processedThread), std::end(body->processedThread), std::uint8_t{0});
    body->disableProcessed();
}

// A static body waiting for its first hit turns dynamic when resolved, so only one lane
// may resolve its pairs.
bool claimable(const HardBody* body) { return !body->isStatic() || body->isFirstHit(false); }

void claim(HardBody* body, int worker) {
    if (claimable(body)) {
        body->enableProcessedThread(worker);
        body->enableProcessed();
    }
}

}  // namespace

WorkerTable* getWorkerTable() { return workerTable.get(); }

kvsThreadsApi* getWorkerThreadsApi() { return threadsApi.get(); }

int usableLanes(std::uint32_t threadCount) {
    const int workers = workerTable ? workerTable->workerCount : 0;
    if (threadCount == 0) {
        return 1;
    }
    return static_cast<int>(std::min<std::uint32_t>(threadCount, static_cast<std::uint32_t>(workers) + 1));
}

int threadsFor(std::uint32_t work, std::uint32_t perThread) {
    if (perThread == 0) {
        return MAX_LANES;
    }
    return static_cast<int>(std::clamp<std::uint32_t>(work / perThread, 1, MAX_LANES));
}

namespace {

// About a tenth of a millisecond of pauses: longer spins measured no faster, and on a
// machine shared with other work they take processors from the lanes.
constexpr std::uint32_t SPINS = 4096;

// Waits until `word` no longer holds `value`: spinning up to `spins` pauses first, since
// a phase's runs and the gaps between phases are often shorter than putting a thread
// to sleep and waking it, then asleep.
void waitWhile(const std::atomic<std::uint32_t>& word, std::uint32_t value, std::uint32_t spins) {
    for (std::uint32_t spin = 0; spin < spins; ++spin) {
        if (word.load(std::memory_order_acquire) != value) {
            return;
        }
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    while (word.load(std::memory_order_acquire) == value) {
        word.wait(value, std::memory_order_acquire);
    }
}

// A worker's thread: works each run it is handed until the table stops.
void serveRuns(WorkerTable& table, int worker) {
    WorkerRecord& record = table.records[worker];
    std::uint32_t seen = 0;
    for (;;) {
        waitWhile(record.ticket, seen, table.spins.load(std::memory_order_relaxed));
        seen = record.ticket.load(std::memory_order_acquire);
        if (table.stopping) {
            return;
        }
        record.runPhase->workRun(worker, record.runEnd);
        if (table.runsPending.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            table.runsPending.notify_one();
        }
    }
}

}  // namespace

WorkerTable::~WorkerTable() {
    stopping = true;
    for (int i = 0; i < workerCount; ++i) {
        WorkerRecord& record = records[i];
        if (!record.thread) {
            continue;
        }
        record.ticket.fetch_add(1, std::memory_order_release);
        record.ticket.notify_one();
        if (threadsApi) {
            threadsApi->join(record.thread.get());
        } else {
            record.thread->join();
        }
    }
}

LanePhase::LanePhase(WorkerTable& table, int workers, int threads)
    : table_(table), workers_(workers), threads_(std::max(threads, 1)) {
    // Spinning pays only while every lane has a processor of its own; on fewer, a
    // spinning thread takes the processor from the one it waits for.
    table_.spins.store(table_.processors > workers_ ? SPINS : 0, std::memory_order_relaxed);
    for (int i = 0; i < workers_; ++i) {
        table_.records[i].started = false;
    }
}

void LanePhase::workRun(int first, int end) {
    for (int i = first; i < end; ++i) {
        if (wanted_[i]) {
            procs_[i](&table_.records[i]);
        }
    }
}

// Hands the wanted lanes first to end - 1 to the thread of worker `first`, made when
// it is first needed; false when it cannot be made (its lanes are then worked by the
// caller).
bool LanePhase::startThread(int first, int end) {
    if (failed_) {
        return false;
    }
    WorkerRecord& record = table_.records[first];
    if (!record.thread) {
        try {
            record.thread = std::make_unique<std::thread>(serveRuns, std::ref(table_), first);
        } catch (const std::system_error&) {
            failed_ = true;
        } catch (const std::bad_alloc&) {
            failed_ = true;
        }
        if (failed_) {
            return false;
        }
    }
    for (int i = first; i < end; ++i) {
        table_.records[i].started = wanted_[i];
    }
    record.runPhase = this;
    record.runEnd = end;
    table_.runsPending.fetch_add(1, std::memory_order_relaxed);
    record.ticket.fetch_add(1, std::memory_order_release);
    record.ticket.notify_one();
    return true;
}

void LanePhase::start(int worker, LaneProc proc) {
    wanted_[worker] = true;
    procs_[worker] = proc;
    if (threads_ > workers_) {
        startThread(worker, worker + 1);
    }
}

void LanePhase::keep(int worker, LaneProc proc) {
    wanted_[worker] = true;
    procs_[worker] = proc;
}

void LanePhase::launch() {
    if (threads_ > workers_ || threads_ == 1) {
        return;
    }
    int wanted = 0;
    for (int i = 0; i < workers_; ++i) {
        wanted += wanted_[i] ? 1 : 0;
    }
    // Runs of about equal numbers of wanted lanes; the last run is the caller's.
    const int runs = std::min(threads_, wanted);
    const int perRun = (wanted + runs - 1) / std::max(runs, 1);
    int first = 0;
    for (int run = 0; run + 1 < runs; ++run) {
        while (first < workers_ && !wanted_[first]) {
            ++first;
        }
        if (first == workers_) {
            return;
        }
        int end = first;
        for (int taken = 0; end < workers_ && taken < perRun; ++end) {
            taken += wanted_[end] ? 1 : 0;
        }
        startThread(first, end);
        first = end;
    }
}

void LanePhase::join() {
    if (joined_) {
        return;
    }
    joined_ = true;
    for (int i = 0; i < workers_; ++i) {
        if (wanted_[i] && !table_.records[i].started) {
            procs_[i](&table_.records[i]);
        }
    }
    for (std::uint32_t pending; (pending = table_.runsPending.load(std::memory_order_acquire)) != 0;) {
        waitWhile(table_.runsPending, pending, table_.spins.load(std::memory_order_relaxed));
    }
}

// ---- set-up ----

int CollisionManager::createWorkerTable() {
    const int chosen = getProcessorCountOverride();
    const int processors = chosen > 0 ? chosen : getSystemProcessorCount();
    const int workers = std::clamp(processors - 1, 0, MAX_WORKERS);
    try {
        laneWorkspaces = workers > 0 ? std::make_unique<ContactLsqWorkspace[]>(workers) : nullptr;
        auto table = std::make_unique<WorkerTable>();
        table->records = std::make_unique<WorkerRecord[]>(workers);
        threadsApi = std::make_unique<stdThreadsApi>();
        table->workerCount = table->activeWorkerCount = workers;
        table->processors = getSystemProcessorCount();
        for (int i = 0; i < workers; ++i) {
            WorkerRecord& record = table->records[i];
            record.laneNumber = i + 1;
            record.output = &workerPairs[i];
            record.manager = this;
        }
        workerTable = std::move(table);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return workers;
}

int CollisionManager::destroyWorkerTable() {
    if (!workerTable) {
        return -1;
    }
    workerTable.reset();  // stops and joins its threads
    laneWorkspaces.reset();
    threadsApi.reset();
    return 0;
}

void CollisionManager::updateLaneCount() {
    threadCount = workerTable ? static_cast<std::uint32_t>(workerTable->workerCount) + 1 : 1;
}

// ---- lane bookkeeping ----

void CollisionManager::distributePairStore() {
    const int workers = workerTable ? workerTable->workerCount : 0;
    if (workers < 1) {
        return;
    }
    const std::uint32_t share = pairPool.count / static_cast<std::uint32_t>(workers + 1);
    for (int lane = 1; lane <= workers; ++lane) {
        for (std::uint32_t i = 0; i < share; ++i) {
            moveFirstToFront(pairPool, lanePairPools[lane - 1]);
        }
    }
}

void CollisionManager::collectLanePairs() {
    const int workers = workerTable ? workerTable->workerCount : 0;
    for (int lane = 1; lane <= workers; ++lane) {
        for (CollisionPair* record : lanePairPools[lane - 1]) {
            pairPool.pushFront(record);
        }
        lanePairPools[lane - 1].clear();
    }
}

int CollisionManager::mergeLaneHits(std::uint32_t& counter) {
    std::uint32_t status = 0;
    const int active = workerTable ? workerTable->activeWorkerCount : 0;
    for (int i = 0; i < active; ++i) {
        for (CollisionPair* pair : workerPairs[i]) {
            if (!contactGroupsEnabled) {
                pushResolvedPair(pair);
                extractPair(pair);
            } else {
                groupPairs.pushFront(pair);
                ++counter;
            }
            ++pairCount;
        }
        workerPairs[i].clear();
        combineLaneResult(status, workerTable->records[i].laneWord);
    }
    return static_cast<int>(status);
}

int CollisionManager::mergeLaneHitsStaged(int stage) {
    std::uint32_t status = 0;
    const int active = workerTable ? workerTable->activeWorkerCount : 0;
    for (int i = 0; i < active; ++i) {
        for (CollisionPair* pair : workerPairs[i]) {
            for (HardBody* body : {pair->bodyA, pair->bodyB}) {
                body->setContactStage(stage);
                body->enableInContact();
            }
            pushResolvedPair(pair);
            ++pairCount;
        }
        workerPairs[i].clear();
        combineLaneResult(status, workerTable->records[i].laneWord);
    }
    return static_cast<int>(status);
}

// ---- threaded resolution ----

void CollisionManager::assignPairsToWorkers(PairList& pairs, int n) {
    newPairs.clear();
    for (int w = 0; w < n; ++w) {
        workerPairs[w].clear();
    }
    int j = 0;
    for (CollisionPair* pair : pairs) {
        HardBody* const a = pair->bodyA;
        HardBody* const b = pair->bodyB;
        const bool processedA = a->isProcessed();
        const bool processedB = b->isProcessed();
        const int la = a->getProcessedThreadID();
        const int lb = b->getProcessedThreadID();
        if (processedA && processedB && la != lb) {
            newPairs.pushFront(pair);  // joins two workers' bodies: after the join
        } else if (!processedA && !processedB) {
            const int w = j % n;
            workerPairs[w].pushFront(pair);
            claim(a, w);
            claim(b, w);
            ++j;
        } else {
            const int w = std::max(la, lb);
            workerPairs[w].pushFront(pair);
            claim(w == la ? b : a, w);
        }
    }
}

void CollisionManager::resolveActivePairsThreaded(PairList& pairs, const BodyList& bodies, int mode) {
    const int active = workerTable ? workerTable->activeWorkerCount : 0;
    const int n = std::min(active, usableLanes(threadCount) - 1);
    if (n < 1) {
        // One lane after all: the pairs in their own order, as the serial resolution
        // walks them (the caller reversed them for the lanes).
        pairs.reverse();
        for (CollisionPair* pair : pairs) {
            resolvePair(pair, mode, 0);
        }
        return;
    }
    for (HardBody* body : bodies) {
        releaseClaim(body);
    }
    // Bodies outside the dynamic list (woken sleepers, first-hit statics) could keep a
    // claim of an earlier pass.
    for (CollisionPair* pair : pairs) {
        releaseClaim(pair->bodyA);
        releaseClaim(pair->bodyB);
    }
    assignPairsToWorkers(pairs, n);
    {
        LanePhase phase(*workerTable, n, threadsFor(pairs.count, resolutionPairsPerThread));
        // The caller has no pairs of its own: it works the last worker's lane.
        int last = n - 1;
        while (last > 0 && workerPairs[last].count == 0) {
            --last;
        }
        for (int w = 0; w <= last; ++w) {
            if (workerPairs[w].count != 0) {
                workerTable->records[w].laneWord = static_cast<std::uint32_t>(mode);
                if (w == last) {
                    phase.keep(w, resolveLaneProc);
                } else {
                    phase.start(w, resolveLaneProc);
                }
            }
        }
        phase.launch();
    }
    for (CollisionPair* pair : newPairs) {
        resolvePair(pair, mode, 0);
    }
}

void WorkerTable::BodyPass::runBlock(int lane) const {
    const std::size_t first = std::min(bodies.size(), static_cast<std::size_t>(lane) * perBlock);
    const std::size_t end = std::min(bodies.size(), first + perBlock);
    for (std::size_t i = first; i < end; ++i) {
        work(bodies[i]);
    }
}

void CollisionManager::forEachBodyOnLanes(std::span<HardBody* const> bodies, BodyWork work) {
    const int threads = std::min(usableLanes(threadCount),
                                 threadsFor(static_cast<std::uint32_t>(bodies.size()), bodyPassBodiesPerThread));
    if (threads < 2) {
        for (HardBody* body : bodies) {
            work(body);
        }
        return;
    }
    const WorkerTable::BodyPass pass{bodies, work,
                                     (bodies.size() + static_cast<std::size_t>(threads) - 1) / threads};
    workerTable->bodyPass = &pass;
    {
        LanePhase phase(*workerTable, threads - 1);
        for (int w = 0; w + 1 < threads; ++w) {
            phase.start(w, bodyPassLaneProc);
        }
        pass.runBlock(0);
    }
    workerTable->bodyPass = nullptr;
}

int bodyPassLaneProc(WorkerRecord* record) {
    getWorkerTable()->bodyPass->runBlock(record->laneNumber);
    return 0;
}

int resolveLaneProc(WorkerRecord* record) {
    for (CollisionPair* pair : *record->output) {
        record->manager->resolvePair(pair, static_cast<int>(record->laneWord), record->laneNumber);
    }
    return 0;
}
