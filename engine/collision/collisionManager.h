#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/collision/broadPhase.h"
#include "engine/collision/collisionPair.h"
#include "engine/collision/contactGroup.h"
#include "engine/world/bodyList.h"
#include "geometry/mesh/pooledList.h"
#include "math/qmtVector3.h"

class ContactLsqWorkspace;
class LsqSystem;
struct MatrixView;
struct dvec;
class Pk_jump;
struct FractureImpact;

using PairList = PooledList<CollisionPair*>;
using GroupList = PooledList<ContactGroup*>;
// The free pair records of one worker lane.
using LanePairPool = PairList;

// Lanes are 0 (the calling thread) to MAX_LANES - 1; workers are lanes 1 and up.
inline constexpr int MAX_LANES = 32;
inline constexpr int MAX_WORKERS = MAX_LANES - 1;

// Module-level state owned by the one live manager. The per-lane least-squares
// systems: lane 0 is the manager's own, lanes 1..workers the workers'; null for any
// other lane or while no manager exists.
LsqSystem* getLaneLsqSystem(int lane);
// Workers the manager's worker set-up reported (0 when the calling thread works alone).
int getCollisionWorkerCount();

// A pass's work on one body, held by reference without an allocation: the callable
// must outlive the pass.
class BodyWork {
public:
    template <class F>
    BodyWork(F& f)  // implicit: any callable on one body will do
        : object_(&f), call_([](void* o, HardBody* body) { (*static_cast<F*>(o))(body); }) {}
    void operator()(HardBody* body) const { call_(object_, body); }

private:
    void* object_;
    void (*call_)(void*, HardBody*);
};

// Everything one world needs to find and resolve contacts between and during steps:
// the contact-group records, the lists that hold pairs and groups in their roles,
// the per-lane pools and lists of the worker lanes, the least-squares workspaces and
// the convex solver. One manager at a time owns the module-level state above and the
// published convex solver instance.
//
// Pair records are owned by the pools (pairPool, lanePairPools) and lent to the other
// lists; clear and the destructor take back what is still lent. The 1024 group records
// live inside the object (a few megabytes): make it on the heap.
class CollisionManager {
public:
    static constexpr std::uint32_t GROUP_RECORDS = 1024;
    static constexpr std::uint32_t SPARE_NODES = 1024;
    static constexpr std::uint32_t RECORDS_PER_REFILL = 16;
    static constexpr std::uint32_t REPORTED_BODIES = 24;

    // ---- counters ----
    std::uint32_t usedGroupCount = 0;
    std::uint32_t lastLinkCount = 0;  // what the last group linking returned
    std::uint32_t linkCountSum = 0;   // running sum of those counts
    std::uint32_t pairCount = 0;      // pairs found in contact this cycle
    std::uint32_t groupCounter = 0;   // numbers the contact-group preparations
    bool contactGroupsEnabled = false;  // keep contacts in contact groups between steps
    // What gravity does to a resting body between two collision managements, set by the
    // world before each: a contact approaching no faster than restingApproach rests and
    // does not bounce, and a hull vertex within restingDepth of a plane's deepest one
    // rests on the plane with it. 0 (no gravity): every approach bounces and only
    // vertices level to the geometric tolerance touch.
    double restingApproach = 0.0;
    double restingDepth = 0.0;

    ContactGroup groups[GROUP_RECORDS];

    // ---- lists ----
    PairList newPairs;
    PairList groupPairs;
    PairList activePairs;
    PairList fragmentPairs;
    PairList pairPool;  // lane 0's free records
    PairList collisionReport;
    PairList crackerPairs;
    GroupList usedGroups;
    GroupList freeGroups;
    GroupList extraGroups;  // heap records made when freeGroups ran dry; owned
    BodyList frontier;
    BodyList looseBodies;
    BodyList groundBodies;
    BodyList looseFragments;

    // ---- statistics of the last pair-energy measurement on lane 0 (worker lanes
    // measure without recording, so their passes never write these) ----
    Qmt::QmtVector3 totalLinearMomentum;
    Qmt::QmtVector3 totalAngularMomentum;
    double totalEnergy = 0.0;
    double translationalEnergy = 0.0;
    double rotationalEnergy = 0.0;

    std::unique_ptr<ContactLsqWorkspace> workspace;  // lane 0
    std::unique_ptr<LsqSystem> lsqSystem;            // lane 0
    std::unique_ptr<Pk_jump> convexSolver;

    // Arrays handed out by the contact-point queries; each query replaces its own.
    std::unique_ptr<Qmt::QmtVector3[]> reportedPoints;
    std::unique_ptr<Qmt::QmtVector3[]> pairNormals;
    std::unique_ptr<double[]> pairDepths;

    // One workspace per worker (lane k uses entry k - 1), made by the worker set-up.
    std::unique_ptr<ContactLsqWorkspace[]> laneWorkspaces;

    // ---- per-lane lists ----
    LanePairPool lanePairPools[MAX_LANES];  // lane k >= 1 takes from entry k - 1
    BodyList bodyShares[MAX_LANES + 1];     // one per worker plus a scratch list
    BodyList fragmentShares[MAX_LANES + 1];
    PairList workerPairs[MAX_LANES];

    std::uint32_t threadCount = 1;  // lanes the passes use; 1 runs every pass serially
    // Work a thread of a threaded pass must have to be worth starting: loose bodies
    // and fragments of a detection, active pairs of a resolution, pairs of an
    // extraction batch (0: a thread for every lane). Smaller passes share their lanes
    // among fewer threads, down to the calling thread alone. Each lane keeps its own
    // records and lists whichever thread works it, so the results are the same. 128 a
    // thread measured best on 250 and 1,000 dropped boxes with eight lanes; with the
    // lanes' threads kept asleep between phases, 32 and 64 were no faster.
    std::uint32_t detectionBodiesPerThread = 128;
    std::uint32_t resolutionPairsPerThread = 128;
    std::uint32_t extractionPairsPerThread = 128;
    // Bodies of a world pass over the bodies (storing, integrating) a thread must have.
    std::uint32_t bodyPassBodiesPerThread = 256;

    // Which bodies of a detection may touch which; kept from detection to detection.
    BroadPhase broadPhase;
    // Each lane's answers of the broad phase in the threaded detection.
    std::vector<BroadPhase::Candidate> laneCandidates[MAX_LANES];

    // Throws std::bad_alloc when something cannot be made; nothing is left behind.
    CollisionManager();
    CollisionManager(const CollisionManager&) = delete;
    CollisionManager& operator=(const CollisionManager&) = delete;
    virtual ~CollisionManager();

    // Back to the empty state of a fresh world; threadCount and the switch survive.
    void clear();
    void notifyConvexSolver(int value);

    // ---- pair records ----
    // A record of the lane's pool (16 new ones first when it is empty), or null for a
    // lane above the worker count or when no record can be made. The record comes
    // back as its last use left it.
    CollisionPair* takePairRecord(int lane);
    // Back on the lane's pool; a lane above the worker count is ignored.
    void returnPairToLane(CollisionPair* pair, int lane);
    // Pushed at the front of newPairs; true.
    bool pushResolvedPair(CollisionPair* pair);

    // ---- contact generation ----
    static int pairKind(eHBodyType kindA, eHBodyType kindB);
    bool overlapTestByKind(HardBody* bodyA, HardBody* bodyB, CollisionPair* pair, int lane);
    bool generateContacts(HardBody* bodyA, HardBody* bodyB, CollisionPair* pair, int lane);
    bool generatePairContacts(HardBody* bodyA, HardBody* bodyB, CollisionPair* pair, int lane);
    void mergeSubPairContacts(CollisionPair* pair, CollisionPair* subPair, int lane);
    static void reduceContacts(CollisionPair* pair);
    static void dropDepthOutliers(CollisionPair* pair);
    static void buildManifold(CollisionPair* pair);
    static void computeStaticPointVelocities(CollisionPair* pair);

    // ---- merging, releases and the report ----
    static void mergePairContacts(CollisionPair* destination, const CollisionPair* source, float sign);
    static void mergeCoincidentContacts(CollisionPair* pair);
    static void dropInternalFaceContacts(CollisionPair* pair);
    static void resolveOpposingNormals(CollisionPair* pair);
    void releaseContactGroups();
    void releasePairs();
    void updateCollisionReport();
    int getReportedContactPoints(HardBody* x, HardBody* y, Qmt::QmtVector3** points);
    int getPairContactPoints(HardBody* x, HardBody* y, Qmt::QmtVector3** normals, double** depths);
    int getCollidingBodies(HardBody* body, HardBody*** bodies);
    void clearCollisionReport();

    // ---- detection and resolution cycle ----
    bool detectCollisions(const BodyList& bodies, const BodyList& staticBodies,
                          const BodyList& reactivationBodies, const BodyList& barriers);
    int detectPairs(const BodyList& crackers, const BodyList& bodies, const BodyList& staticBodies);
    void resolveCollisions(int mode, const Qmt::QmtVector3& gravityDirection, const BodyList& bodies,
                           const BodyList& staticBodies, std::uint32_t& flags);
    void resolveActivePairs(const BodyList& bodies, int mode, const Qmt::QmtVector3& gravityDirection,
                            std::uint32_t& flags);
    void applyImpulseAtPoint(double restitution, double friction, const Qmt::QmtVector3& point,
                             double pointMass, const Qmt::QmtVector3& normal,
                             Qmt::QmtVector3& pointVelocity, HardBody* body);
    void extractPair(CollisionPair* pair);
    // Bits of what extractPairOnLane moved.
    static constexpr std::uint8_t MOVED_A = 1;
    static constexpr std::uint8_t MOVED_B = 2;
    // The extraction of the pair as it would run with the bodies at the given contact
    // stages, in the lane's workspace; returns the bodies it moved. Leaves the broad
    // phase to the caller.
    std::uint8_t extractPairOnLane(CollisionPair* pair, std::int32_t stageA, std::int32_t stageB, int lane);
    // Tells the broad phase which bodies an extraction moved (MOVED_A, MOVED_B): a
    // lifted fragment moved its whole fracture body, so every fragment of it.
    void noteExtractionMoves(const CollisionPair* pair, std::uint8_t moved);
    // Between these two, extractPair only records the pair with the bodies' stages;
    // the run extracts every recorded pair as extractPair would have, in that order,
    // sharing out over the lanes the pairs whose moving bodies meet no other pair's.
    // Nothing in between may read the pose of a body an extraction would move.
    void beginExtractionBatch();
    void runExtractionBatch();
    ContactLsqWorkspace* laneWorkspace(int lane);
    void settleRestingBodies();
    bool alignListedBodies();

    // ---- detection and resolution cycle: pair tests and resolution ----
    int testPair(HardBody* a, HardBody* b, CollisionPair* pair, int lane);
    int testBoundedPair(HardBody* a, HardBody* b, CollisionPair* pair, int lane);
    // False only for a pair that testPair would certainly find apart; brings both
    // bodies' world state up to date as the test would.
    static bool boundsMayTouch(HardBody* a, HardBody* b);
    int testAndRecordPair(HardBody* a, HardBody* b);
    int overlapTest(HardBody* a, HardBody* b, CollisionPair* pair, int lane);
    void resolveCrackerPairs();
    void resolveFractureImpacts(CollisionPair* pair, int lane, bool force);
    // The contact impulse at the point on the lane copies of a and b (b only when not
    // static); false when the bodies separate there.
    bool applyImpactImpulseThread(HardBody* a, HardBody* b, const Qmt::QmtVector3& point,
                                  const Qmt::QmtVector3& normal, double restitution, int lane, bool force);
    void propagateImpactCracks(const FractureImpact& impact, bool force, int lane);
    std::uint32_t resolvePair(CollisionPair* pair, int mode, int lane);
    double pairEnergy(const CollisionPair* pair, int lane = 0);
    static void refreshContactState(CollisionPair* pair, int mode);
    static void dropSeparatingContacts(CollisionPair* pair);
    static void dropMarkedContacts(CollisionPair* pair);
    void solvePairImpulses(CollisionPair* pair, int mode, MatrixView** blockMatrix, double massProduct, int lane,
                           const HardBody* held = nullptr);
    void resolveGroupContacts(CollisionPair* pair, int mode, MatrixView* blockMatrix, double massProduct, int lane);
    static void buildContactBlockRows(const CollisionPair* pair, MatrixView* matrix);
    static void normalTargets(const CollisionPair* pair, const dvec* blockRhs, dvec* rhs);
    static void buildNormalRows(const CollisionPair* pair, const MatrixView* blockMatrix, MatrixView* matrix,
                                double scale);
    static void buildFrictionlessNormalRows(const CollisionPair* pair, const MatrixView* blockMatrix,
                                            MatrixView* matrix);
    static void buildExtractionRows(HardBody* bodyA, HardBody* bodyB, double weightA, double weightB, double factor,
                                    const Qmt::QmtVector3* armsA, const Qmt::QmtVector3* armsB, MatrixView* matrix,
                                    std::uint32_t count);
    static bool testBodyAtRest(HardBody* body, float limit);
    void orderPairsByStage(PairList& input, PairList& output, std::uint32_t& counter);

    // ---- contact groups ----
    void prepareContactGroups();
    void refreshPairGroups(CollisionPair* pair, const Qmt::QmtVector3& alignment);
    void solvePairGroups(CollisionPair* pair, double massProduct, int lane);
    void solvePairWithGroups(CollisionPair* pair, int mode, MatrixView* blockMatrix,
                             std::uint32_t* linkedGroupCount, double massProduct, int lane);
    // A free group record (10 more heap records first when none is free), or null.
    ContactGroup* takeContactGroup();
    // Groups from the pairs of groupPairs; returns the number added to usedGroups.
    std::uint32_t buildContactGroups();
    // Links the groups of usedGroups to the pairs of groupPairs; returns 0.
    std::uint32_t linkContactGroups();

    // ---- worker lanes ----
    // Number of workers, or -1 when the worker table cannot be made.
    int createWorkerTable();
    // 0, or -1 when there is no worker table.
    int destroyWorkerTable();
    void updateLaneCount();
    bool detectCollisionsThreaded(const BodyList& bodies, const BodyList& staticBodies,
                                  const BodyList& reactivationBodies, const BodyList& barriers);
    void resolveActivePairsThreaded(PairList& pairs, const BodyList& bodies, int mode);
    // Calls work(body) for every body, shared out in blocks over the lanes when there
    // are enough bodies to pay; work must write no body but the one it is given, so the
    // order does not matter.
    void forEachBodyOnLanes(std::span<HardBody* const> bodies, BodyWork work);
    // Lane bookkeeping between the threaded phases.
    void distributePairStore();
    void collectLanePairs();
    int mergeLaneHits(std::uint32_t& counter);
    int mergeLaneHitsStaged(int stage);
    // The lane assignment of the threaded resolution alone: the pairs go to worker
    // lists 0 to n - 1 and newPairs (the remainder).
    void assignPairsToWorkers(PairList& pairs, int n);
    // The detection shares of k workers alone; bodyCount is the count of aBodies.
    void fillDetectionShares(int k, std::uint32_t bodyCount);
    // The threaded detection's stages over the pairs of newPairs, from the frontier.
    void growStagesOverFoundPairs();
    void growStagesByWalks();
    void startStageRound();
    void reachOver(HardBody* f, PairList::Node* n);

private:
    // Shared by the serial and the threaded detection: the ground and loose body
    // lists, and the contact groups returned before and after a detection.
    void listGroundAndLooseBodies(const BodyList& bodies, const BodyList& staticBodies,
                                  const BodyList& reactivationBodies, const BodyList& barriers);
    void recycleGroupsBeforeDetection();
    void recycleGroupsAfterDetection();
    // Files the ground and loose bodies of a detection in the broad phase.
    void trackDetectionBodies();
    void moveReachedToFrontier();
    // Deletes every record the lists still hold, each once.
    void deleteLentAndPooledRecords(bool withLanePools);
    // Clears the module-level pointers that still name this manager's objects.
    void withdrawModuleState() noexcept;

    std::unique_ptr<LsqSystem> workerLsqSystems_[MAX_WORKERS];
    std::vector<BroadPhase::Candidate> candidates_;  // the serial detection's answers
    std::vector<BodyList::Node*> looseNodes_[2];     // nodes of looseBodies, looseFragments by key
    std::vector<HardBody*> reached_;                 // loose bodies reached in a stage pass
    // The found pairs of the threaded detection by body (growStagesOverFoundPairs).
    std::vector<PairList::Node*> foundPairs_;
    std::vector<std::uint32_t> pairStarts_;
    std::vector<std::uint32_t> pairFill_;
    std::vector<std::uint32_t> pairsByBody_;
    std::vector<std::uint8_t> pairUsed_;

public:
    // A recorded extraction of the batch (extractionBatch.cpp).
    struct ExtractionTask {
        CollisionPair* pair;
        std::int32_t stageA;
        std::int32_t stageB;
        std::uint8_t moved;
    };
    std::vector<ExtractionTask> extractionBatch_;
    std::vector<std::uint32_t> laneExtractions_[MAX_LANES];  // batch indices of each lane

private:
    bool batchingExtractions_ = false;
    std::vector<std::int32_t> batchRoots_;  // union-find over broad-phase slots
    std::vector<std::int32_t> batchLanes_;  // lane of each root, -1 while none
    std::vector<const HardBody*> batchFragments_;  // the batch's moving fragments, by owner
};
