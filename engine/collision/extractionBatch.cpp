// Batched extraction: the threaded detection records the extractions of a stretch in
// which nothing reads the bodies they move, then runs them over the lanes. Pairs that
// share a body one of them may write stay together on one lane, in the recorded order,
// and so do the pairs of the fragments of one fracture body, which is lifted whole;
// pairs that share only static bodies are free to go anywhere. So every pair sees the
// poses the one-after-another run would have given it, and the results are the same
// to the last bit.

#include <algorithm>
#include <functional>

#include "engine/collision/workerTable.h"

namespace {

// Slot of a body in this detection's broad phase; every body of a recorded pair has one.
std::size_t slotOf(const HardBody* body) { return static_cast<std::size_t>(body->broadPhaseEntry); }

// Whether the extraction may write the body: a penetrating pair with a body to lift
// places both its bodies that are not static, the one on the lower stage where it
// stands (which still clamps it to the interval it swept). A fragment is lifted by
// moving its whole fracture body, so it moves whenever a fragment of a fracture body
// that is not static is lifted.
bool mayMove(const HardBody* body) {
    const HardBody* const owner = body->getParent();
    return !body->isStatic() || (owner && !owner->isStatic());
}

std::int32_t findRoot(std::vector<std::int32_t>& roots, std::int32_t s) {
    while (roots[static_cast<std::size_t>(s)] != s) {
        std::int32_t& up = roots[static_cast<std::size_t>(s)];
        up = roots[static_cast<std::size_t>(up)];
        s = up;
    }
    return s;
}

}  // namespace

int extractLaneProc(WorkerRecord* record) {
    CollisionManager& m = *record->manager;
    const int lane = record->laneNumber;
    for (std::uint32_t i : m.laneExtractions_[lane]) {
        CollisionManager::ExtractionTask& task = m.extractionBatch_[i];
        task.moved = m.extractPairOnLane(task.pair, task.stageA, task.stageB, lane);
    }
    return 0;
}

void CollisionManager::beginExtractionBatch() {
    extractionBatch_.clear();
    batchingExtractions_ = true;
}

void CollisionManager::runExtractionBatch() {
    batchingExtractions_ = false;
    WorkerTable* const table = getWorkerTable();
    const int workers = table ? std::min(table->activeWorkerCount, usableLanes(threadCount) - 1) : 0;
    bool slotted = true;
    std::size_t slots = 0;
    for (const ExtractionTask& task : extractionBatch_) {
        for (const HardBody* body : {task.pair->bodyA, task.pair->bodyB}) {
            slotted = slotted && body->broadPhaseEntry >= 0;
            slots = std::max(slots, slotOf(body) + 1);
        }
    }
    for (int lane = 0; lane <= std::max(workers, 0); ++lane) {
        laneExtractions_[lane].clear();
    }
    if (workers < 1 || !slotted) {
        for (ExtractionTask& task : extractionBatch_) {
            task.moved = extractPairOnLane(task.pair, task.stageA, task.stageB, 0);
        }
    } else {
        // Bodies some extraction may move join the groups of every pair they are in.
        batchRoots_.assign(slots, -1);
        for (const ExtractionTask& task : extractionBatch_) {
            const HardBody* const a = task.pair->bodyA;
            const HardBody* const b = task.pair->bodyB;
            if (mayMove(a)) {
                batchRoots_[slotOf(a)] = static_cast<std::int32_t>(slotOf(a));
            }
            if (mayMove(b)) {
                batchRoots_[slotOf(b)] = static_cast<std::int32_t>(slotOf(b));
            }
        }
        const auto moving = [&](const HardBody* body) { return batchRoots_[slotOf(body)] >= 0; };
        const auto join = [&](const HardBody* a, const HardBody* b) {
            const std::int32_t ra = findRoot(batchRoots_, static_cast<std::int32_t>(slotOf(a)));
            const std::int32_t rb = findRoot(batchRoots_, static_cast<std::int32_t>(slotOf(b)));
            batchRoots_[static_cast<std::size_t>(std::max(ra, rb))] = std::min(ra, rb);
        };
        batchFragments_.clear();
        for (const ExtractionTask& task : extractionBatch_) {
            const HardBody* const a = task.pair->bodyA;
            const HardBody* const b = task.pair->bodyB;
            if (moving(a) && moving(b)) {
                join(a, b);
            }
            for (const HardBody* body : {a, b}) {
                if (moving(body) && body->getParent()) {
                    batchFragments_.push_back(body);
                }
            }
        }
        // The moving fragments of one fracture body move together: one group.
        std::sort(batchFragments_.begin(), batchFragments_.end(), [](const HardBody* x, const HardBody* y) {
            return std::less<const HardBody*>()(x->getParent(), y->getParent());
        });
        for (std::size_t i = 1; i < batchFragments_.size(); ++i) {
            if (batchFragments_[i]->getParent() == batchFragments_[i - 1]->getParent()) {
                join(batchFragments_[i], batchFragments_[i - 1]);
            }
        }
        // Each group goes whole to the lane with the fewest pairs when it first comes.
        batchLanes_.assign(slots, -1);
        const auto leastLoaded = [&] {
            int best = 0;
            for (int lane = 1; lane <= workers; ++lane) {
                if (laneExtractions_[lane].size() < laneExtractions_[best].size()) {
                    best = lane;
                }
            }
            return best;
        };
        for (std::uint32_t i = 0; i < extractionBatch_.size(); ++i) {
            const HardBody* const a = extractionBatch_[i].pair->bodyA;
            const HardBody* const b = extractionBatch_[i].pair->bodyB;
            const HardBody* const anchor = moving(a) ? a : (moving(b) ? b : nullptr);
            int lane = 0;
            if (!anchor) {
                lane = leastLoaded();
            } else {
                const auto root = static_cast<std::size_t>(
                    findRoot(batchRoots_, static_cast<std::int32_t>(slotOf(anchor))));
                if (batchLanes_[root] < 0) {
                    batchLanes_[root] = leastLoaded();
                }
                lane = batchLanes_[root];
            }
            laneExtractions_[lane].push_back(i);
        }
        LanePhase phase(*table, workers,
                        threadsFor(static_cast<std::uint32_t>(extractionBatch_.size()), extractionPairsPerThread));
        for (int w = 0; w < workers; ++w) {
            if (!laneExtractions_[w + 1].empty()) {
                phase.start(w, extractLaneProc);
            }
        }
        phase.launch();
        for (std::uint32_t i : laneExtractions_[0]) {
            ExtractionTask& task = extractionBatch_[i];
            task.moved = extractPairOnLane(task.pair, task.stageA, task.stageB, 0);
        }
    }
    for (const ExtractionTask& task : extractionBatch_) {
        noteExtractionMoves(task.pair, task.moved);
    }
    extractionBatch_.clear();
}
