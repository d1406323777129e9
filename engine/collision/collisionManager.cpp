// The collision manager object: construction, clear, destruction, the module-level
// state it owns and the pair-record pools.

#include "engine/collision/collisionManager.h"

#include <algorithm>
#include <new>
#include <vector>

#include "engine/collision/collisionModuleState.h"
#include "engine/collision/convex/pkJump.h"
#include "engine/solver/lsqSystem.h"

namespace {

LsqSystem* laneLsqTable[MAX_LANES] = {};
int workerCount = 0;

template <class List>
bool made(const List& list) {
    return list.head != nullptr;
}

template <class List, std::size_t N>
bool made(const List (&lists)[N]) {
    return std::all_of(std::begin(lists), std::end(lists), [](const List& l) { return l.head != nullptr; });
}

template <class List>
void reserveNodes(List& list) {
    list.clear();
    list.reserveSpares(CollisionManager::SPARE_NODES);
}

template <class T>
void appendAll(std::vector<T>& out, const PooledList<T>& list) {
    out.insert(out.end(), list.begin(), list.end());
}

void deletePair(CollisionPair* pair) {
    if (!pair) {
        return;
    }
    pair->releaseGroupLinks();
    delete pair;
}

}  // namespace

std::unique_ptr<HardBody*[]>& collidingBodiesArray() {
    static std::unique_ptr<HardBody*[]> array;
    return array;
}

LsqSystem* getLaneLsqSystem(int lane) {
    return lane >= 0 && lane < MAX_LANES ? laneLsqTable[lane] : nullptr;
}

int getCollisionWorkerCount() { return workerCount; }

CollisionManager::CollisionManager() {
    // A list whose sentinel could not be allocated would silently drop everything.
    const bool listsMade = made(newPairs) && made(groupPairs) && made(activePairs) &&
                           made(fragmentPairs) && made(pairPool) && made(collisionReport) &&
                           made(crackerPairs) && made(usedGroups) && made(freeGroups) &&
                           made(extraGroups) && made(frontier) && made(looseBodies) &&
                           made(groundBodies) && made(looseFragments) && made(lanePairPools) &&
                           made(bodyShares) && made(fragmentShares) && made(workerPairs);
    if (!listsMade) {
        throw std::bad_alloc();
    }
    workspace = std::make_unique<ContactLsqWorkspace>();
    lsqSystem = std::make_unique<LsqSystem>();
    convexSolver = std::make_unique<Pk_jump>();
    try {
        laneLsqTable[0] = lsqSystem.get();
        setPkJumpInstance(convexSolver.get());
        const int workers = std::clamp(createWorkerTable(), 0, MAX_WORKERS);
        workerCount = workers;
        for (int lane = 1; lane < MAX_LANES; ++lane) {
            laneLsqTable[lane] = nullptr;
        }
        for (int lane = 1; lane <= workers; ++lane) {
            workerLsqSystems_[lane - 1] = std::make_unique<LsqSystem>();
            laneLsqTable[lane] = workerLsqSystems_[lane - 1].get();
        }
    } catch (...) {
        withdrawModuleState();
        throw;
    }
    threadCount = 1;
    reserveNodes(crackerPairs);
    reserveNodes(activePairs);
    reserveNodes(collisionReport);
    reserveNodes(newPairs);
    reserveNodes(fragmentPairs);
    reserveNodes(groupPairs);
    reserveNodes(pairPool);
    reserveNodes(extraGroups);
    reserveNodes(usedGroups);
    reserveNodes(looseBodies);
    reserveNodes(frontier);
    // Its records arrive with the first clear.
    freeGroups.clear();
}

CollisionManager::~CollisionManager() {
    deleteLentAndPooledRecords(true);
    for (ContactGroup* group : extraGroups) {
        delete group;
    }
    extraGroups.clear();
    withdrawModuleState();
}

void CollisionManager::withdrawModuleState() noexcept {
    const bool owner = laneLsqTable[0] == lsqSystem.get() && lsqSystem;
    if (owner) {
        destroyWorkerTable();
        workerCount = 0;
        collidingBodiesArray().reset();
    }
    for (LsqSystem*& entry : laneLsqTable) {
        const bool ours = entry && (entry == lsqSystem.get() ||
                                    std::any_of(std::begin(workerLsqSystems_), std::end(workerLsqSystems_),
                                                [entry](const auto& s) { return s.get() == entry; }));
        if (ours) {
            entry = nullptr;
        }
    }
    if (convexSolver && getPkJumpInstance() == convexSolver.get()) {
        setPkJumpInstance(nullptr);
    }
}

void CollisionManager::deleteLentAndPooledRecords(bool withLanePools) {
    // A record can sit in the pool and in lists that only alias others (newPairs, the
    // worker lists, groupPairs), so every record is collected once before deletion.
    std::vector<CollisionPair*> records;
    appendAll(records, pairPool);
    appendAll(records, activePairs);
    appendAll(records, crackerPairs);
    appendAll(records, collisionReport);
    appendAll(records, newPairs);
    appendAll(records, groupPairs);
    appendAll(records, fragmentPairs);
    for (const PairList& list : workerPairs) {
        appendAll(records, list);
    }
    std::vector<CollisionPair*> laneRecords;
    for (const LanePairPool& pool : lanePairPools) {
        appendAll(laneRecords, pool);
    }
    if (withLanePools) {
        records.insert(records.end(), laneRecords.begin(), laneRecords.end());
        laneRecords.clear();
    }
    std::sort(records.begin(), records.end());
    records.erase(std::unique(records.begin(), records.end()), records.end());
    std::sort(laneRecords.begin(), laneRecords.end());
    for (CollisionPair* pair : records) {
        // Records the worker lanes still keep stay with them.
        if (!std::binary_search(laneRecords.begin(), laneRecords.end(), pair)) {
            deletePair(pair);
        }
    }
    for (PairList* list : {&pairPool, &activePairs, &crackerPairs, &collisionReport, &newPairs,
                           &groupPairs, &fragmentPairs}) {
        list->clear();
    }
    for (PairList& list : workerPairs) {
        list.clear();
    }
    if (withLanePools) {
        for (LanePairPool& pool : lanePairPools) {
            pool.clear();
        }
    }
}

void CollisionManager::clear() {
    freeGroups.clear();
    for (ContactGroup& group : groups) {
        freeGroups.pushFront(&group);
    }
    // Records still lent to the pair lists are taken back with the pool's own, so a
    // reset world loses none of them.
    deleteLentAndPooledRecords(false);
    pairPool.releaseSpares();
    pairPool.reserveSpares(SPARE_NODES);
    for (ContactGroup* group : extraGroups) {
        delete group;
    }
    extraGroups.clear();
    extraGroups.releaseSpares();
    extraGroups.reserveSpares(SPARE_NODES);
    usedGroups.clear();
    usedGroupCount = 0;
    pairCount = 0;
}

void CollisionManager::notifyConvexSolver(int value) {
    if (convexSolver) {
        convexSolver->notify(value);
    }
}

CollisionPair* CollisionManager::takePairRecord(int lane) {
    if (lane < 0 || lane > workerCount) {
        return nullptr;
    }
    PairList& pool = lane == 0 ? pairPool : lanePairPools[lane - 1];
    if (pool.count == 0) {
        for (std::uint32_t i = 0; i < RECORDS_PER_REFILL; ++i) {
            auto* const record = new (std::nothrow) CollisionPair;
            if (!record) {
                break;
            }
            const std::uint32_t before = pool.count;
            pool.pushFront(record);
            if (pool.count == before) {
                delete record;
                break;
            }
        }
    }
    if (pool.count == 0) {
        return nullptr;
    }
    CollisionPair* const record = pool.head->next->value;
    pool.remove(record);  // the head node: found at once
    return record;
}
