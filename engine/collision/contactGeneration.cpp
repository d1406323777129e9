// Pair kinds, the cheap overlap test per kind, contact generation per kind with the
// expansion of fracture bodies into fragment sub-pairs, the reduction and outlier
// filters of a contact set, and the manifold build that turns raw contacts into
// solver data.

#include <algorithm>
#include <atomic>
#include <cmath>

#include "engine/bodies/barrierBody.h"
#include "engine/bodies/capsuleBody.h"
#include "engine/bodies/hullBody.h"
#include "engine/bodies/triMeshBody.h"
#include "engine/collision/collisionManager.h"
#include "engine/collision/convex/pkJump.h"
#include "engine/collision/triMeshQueries.h"
#include "engine/fracture/fractureBody.h"
#include "geometry/bounds/boxFit.h"
#include "geometry/query/capsuleProximity.h"
#include "geometry/query/proximity.h"

using Qmt::QmtVector3;

namespace {

constexpr double TOLERANCE = 1e-5;
constexpr double UNIT_TOLERANCE = 9.999999974752427e-7;
constexpr std::uint32_t NO_VERTEX = 0xFFFFFFFFu;
constexpr std::uint32_t REDUCED_COUNT = 6;

enum PairKinds : int {
    KIND_NONE = 0,
    KIND_CAPSULE_CAPSULE = 1,
    KIND_CAPSULE_HULL = 2,
    KIND_HULL_CAPSULE = 3,
    KIND_CAPSULE_MESH = 4,
    KIND_MESH_CAPSULE = 5,
    KIND_HULL_HULL = 6,
    KIND_HULL_MESH = 7,
    KIND_MESH_HULL = 8,
    KIND_MESH_MESH = 9,
    KIND_CAPSULE_PLANE = 10,
    KIND_HULL_PLANE = 11,
    KIND_MESH_PLANE = 12,
};

// The shape data of each kind, read through the body's class so that a body whose
// class does not match its kind code counts as having no shape.
const BVmesh* hullOf(HardBody* body) {
    const auto* const hull = dynamic_cast<const HullBody*>(body);
    return hull ? hull->bound : nullptr;
}

const BCapsule* worldCapsuleOf(HardBody* body) {
    auto* const capsule = dynamic_cast<CapsuleBody*>(body);
    if (!capsule) {
        return nullptr;
    }
    const BCapsule& placed = capsule->getWorldCapsule();
    return placed.capsule ? &placed : nullptr;
}

const BarrierBody* planeOf(HardBody* body) { return dynamic_cast<const BarrierBody*>(body); }

// A triangle-mesh body with its tree and bound, or null.
const TriMeshBody* treeBodyOf(HardBody* body) {
    const auto* const mesh = dynamic_cast<const TriMeshBody*>(body);
    return mesh && mesh->tree && mesh->bound ? mesh : nullptr;
}

// Detection lanes build manifolds at once, and a body (the ground above all) can be in
// pairs of several lanes; every lane stores the same state, so the store is made
// atomic rather than serialised.
void markTouching(HardBody* body) {
    std::atomic_ref<EMotionState>(body->collisionState).store(MOTION_TOUCHING, std::memory_order_relaxed);
}

bool spheresTouch(HardBody* a, HardBody* b) {
    QmtVector3 ca, cb;
    double ra = 0.0, rb = 0.0;
    a->getBSphere(ca, ra);
    b->getBSphere(cb, rb);
    const double reach = ra + rb;
    return (cb - ca).SquaredLength() - reach * reach < TOLERANCE;
}

bool boxesOverlap(const HardBody* a, const HardBody* b) { return orientedBoxesOverlap(a->bbox, b->bbox); }

ProximityCache freshCache() {
    ProximityCache cache;
    cache.vertexA = NO_VERTEX;
    cache.vertexB = NO_VERTEX;
    return cache;
}

ProximityCache cacheOf(const CollisionPair& pair) {
    ProximityCache cache;
    cache.vertexA = pair.cacheVertexA;
    cache.vertexB = pair.cacheVertexB;
    cache.direction = pair.cacheDirection;
    return cache;
}

void storeCache(CollisionPair& pair, const ProximityCache& cache) {
    pair.cacheVertexA = cache.vertexA;
    pair.cacheVertexB = cache.vertexB;
    pair.cacheDirection = cache.direction;
}

void refreshWorldState(HardBody* body) {
    if (!body->isWorldModified()) {
        body->updateWorldState();
    }
}

// The convex queries write one normal, depth and feature record: the other contacts
// of the manifold share them.
void shareFirstContact(CollisionPair& pair) {
    for (std::uint32_t i = 1; i < pair.contactCount; ++i) {
        pair.normals[i] = pair.normals[0];
        pair.depths[i] = pair.depths[0];
        pair.features[i] = pair.features[0];
    }
}

// Contacts a tree query made with the tree body second, seen from the other body:
// points moved onto it, normals reversed, feature ids swapped.
void convertToFirstBody(CollisionPair& pair) {
    for (std::uint32_t i = 0; i < pair.contactCount; ++i) {
        pair.points[i] -= pair.normals[i] * pair.depths[i];
        pair.normals[i] = -pair.normals[i];
        std::swap(pair.features[i].featureA, pair.features[i].featureB);
    }
}

void capContactCount(CollisionPair& pair) {
    pair.contactCount = std::min(pair.contactCount, CollisionPair::MAX_CONTACTS);
}

// Appends the sub-pair's contacts to the pair, cutting both sets to six first when
// together they would reach the array size.
void appendSubPairContacts(CollisionPair& pair, CollisionPair& sub) {
    if (pair.contactCount + sub.contactCount >= CollisionPair::MAX_CONTACTS) {
        CollisionManager::reduceContacts(&pair);
        CollisionManager::reduceContacts(&sub);
    }
    for (std::uint32_t i = 0; i < sub.contactCount; ++i) {
        const std::uint32_t k = pair.contactCount + i;
        pair.points[k] = sub.points[i];
        pair.normals[k] = sub.normals[i];
        pair.depths[k] = sub.depths[i];
        pair.features[k].featureA = sub.features[i].featureA;
        pair.features[k].featureB = sub.features[i].featureB;
    }
    pair.contactCount += sub.contactCount;
    sub.contactCount = 0;
}

void resetSubPair(CollisionPair& sub) {
    sub.state = 0;
    sub.treeLeafA = nullptr;
    sub.treeLeafB = nullptr;
    sub.contactCount = 0;
    sub.sortKey = 0.0;
    sub.cacheDirection = QmtVector3::ZERO;
    sub.cacheVertexA = NO_VERTEX;
    sub.cacheVertexB = NO_VERTEX;
}

// Moves contact `from` to slot `to` with everything a compaction carries.
void moveContact(CollisionPair& pair, std::uint32_t from, std::uint32_t to) {
    pair.points[to] = pair.points[from];
    pair.normals[to] = pair.normals[from];
    pair.depths[to] = pair.depths[from];
    pair.relativeVelocities[to] = pair.relativeVelocities[from];
    pair.features[to].featureA = pair.features[from].featureA;
    pair.features[to].featureB = pair.features[from].featureB;
    pair.armsA[to] = pair.armsA[from];
    pair.armsB[to] = pair.armsB[from];
    pair.frictionDirections[to] = pair.frictionDirections[from];
}

}  // namespace

int CollisionManager::pairKind(eHBodyType kindA, eHBodyType kindB) {
    // Column of bodyB: capsule or cracker, hull, mesh, barrier; anything else none.
    const auto column = [](eHBodyType k) {
        switch (k) {
            case HB_CAPSULE:
            case HB_CRACKER: return 0;
            case HB_HULL: return 1;
            case HB_TRIMESH: return 2;
            case HB_BARRIER: return 3;
            default: return -1;
        }
    };
    static constexpr int TABLE[3][4] = {
        {KIND_CAPSULE_CAPSULE, KIND_CAPSULE_HULL, KIND_CAPSULE_MESH, KIND_CAPSULE_PLANE},
        {KIND_HULL_CAPSULE, KIND_HULL_HULL, KIND_HULL_MESH, KIND_HULL_PLANE},
        {KIND_MESH_CAPSULE, KIND_MESH_HULL, KIND_MESH_MESH, KIND_MESH_PLANE},
    };
    const int row = column(kindA);
    const int col = column(kindB);
    // A barrier is only ever the second body.
    if (row < 0 || row > 2 || col < 0) {
        return KIND_NONE;
    }
    return TABLE[row][col];
}

bool CollisionManager::overlapTestByKind(HardBody* bodyA, HardBody* bodyB, CollisionPair* pair, int lane) {
    if (!bodyA || !bodyB || !pair) {
        return false;
    }
    if (bodyA->isStatic() && bodyB->isStatic() && !bodyA->isFirstHit(false) && !bodyB->isFirstHit(false)) {
        return false;
    }
    refreshWorldState(bodyA);
    refreshWorldState(bodyB);
    const Pk_jump* const solver = getPkJumpInstance();
    switch (pairKind(bodyA->getType(), bodyB->getType())) {
        case KIND_CAPSULE_CAPSULE: {
            const BCapsule* const a = worldCapsuleOf(bodyA);
            const BCapsule* const b = worldCapsuleOf(bodyB);
            return a && b && capsulesOverlap(*a->capsule, *b->capsule);
        }
        case KIND_CAPSULE_HULL:
        case KIND_HULL_CAPSULE: {
            if (!boxesOverlap(bodyA, bodyB) || !solver) {
                return false;
            }
            const bool hullFirst = bodyA->getType() == HB_HULL;
            const BVmesh* const hull = hullOf(hullFirst ? bodyA : bodyB);
            const BCapsule* const capsule = worldCapsuleOf(hullFirst ? bodyB : bodyA);
            if (!hull || !capsule) {
                return false;
            }
            // A one-off test: the pair's history belongs to the contact query.
            ProximityCache cache = freshCache();
            return solver->testHullCapsule(*hull, *capsule->capsule, cache) != 0;
        }
        case KIND_CAPSULE_MESH:
        case KIND_MESH_CAPSULE: {
            if (!boxesOverlap(bodyA, bodyB)) {
                return false;
            }
            const bool meshFirst = bodyA->getType() == HB_TRIMESH;
            const TriMeshBody* const mesh = treeBodyOf(meshFirst ? bodyA : bodyB);
            const BCapsule* const capsule = worldCapsuleOf(meshFirst ? bodyB : bodyA);
            return mesh && capsule &&
                   treeCapsuleFirstHit(*mesh->tree, *mesh->bound, *capsule,
                                       meshFirst ? pair->treeLeafA : pair->treeLeafB, lane);
        }
        case KIND_HULL_HULL: {
            if (!spheresTouch(bodyA, bodyB) || !boxesOverlap(bodyA, bodyB) || !solver) {
                return false;
            }
            const BVmesh* const a = hullOf(bodyA);
            const BVmesh* const b = hullOf(bodyB);
            if (!a || !b) {
                return false;
            }
            ProximityCache cache = cacheOf(*pair);
            const bool hit = solver->testHullHull(*a, *b, cache) != 0;
            storeCache(*pair, cache);
            return hit;
        }
        case KIND_HULL_MESH:
        case KIND_MESH_HULL: {
            if (!spheresTouch(bodyA, bodyB) || !boxesOverlap(bodyA, bodyB)) {
                return false;
            }
            const bool meshFirst = bodyA->getType() == HB_TRIMESH;
            const TriMeshBody* const mesh = treeBodyOf(meshFirst ? bodyA : bodyB);
            const BVmesh* const hull = hullOf(meshFirst ? bodyB : bodyA);
            // Both orders keep their leaf in treeLeafA.
            return mesh && hull && treeHullFirstHit(*mesh->tree, *mesh->bound, *hull, pair->treeLeafA, lane);
        }
        case KIND_MESH_MESH: {
            if (!spheresTouch(bodyA, bodyB) || !boxesOverlap(bodyA, bodyB)) {
                return false;
            }
            const TriMeshBody* const a = treeBodyOf(bodyA);
            const TriMeshBody* const b = treeBodyOf(bodyB);
            return a && b &&
                   treeTreeFirstHit(*a->tree, *a->bound, *b->bound, *b->tree, pair->treeLeafA, pair->treeLeafB,
                                    lane);
        }
        case KIND_CAPSULE_PLANE: {
            const BCapsule* const capsule = worldCapsuleOf(bodyA);
            const BarrierBody* const plane = planeOf(bodyB);
            return capsule && plane && capsuleCrossesPlane(*capsule->capsule, plane->planePoint, plane->planeNormal);
        }
        case KIND_HULL_PLANE: {
            const BarrierBody* const plane = planeOf(bodyB);
            const BVmesh* const hull = hullOf(bodyA);
            if (!plane || !hull || !orientedBoxCrossesPlane(bodyA->bbox, plane->planePoint, plane->planeNormal) ||
                !solver) {
                return false;
            }
            ProximityCache cache = freshCache();
            if (!solver->initPlaneCache(*hull, plane->planePoint, plane->planeNormal, cache)) {
                return false;
            }
            storeCache(*pair, cache);
            return true;
        }
        case KIND_MESH_PLANE: {
            const BarrierBody* const plane = planeOf(bodyB);
            const TriMeshBody* const mesh = treeBodyOf(bodyA);
            if (!plane || !mesh || !orientedBoxCrossesPlane(bodyA->bbox, plane->planePoint, plane->planeNormal)) {
                return false;
            }
            if (pair->treeLeafA &&
                nodePlaneFirstHit(pair->treeLeafA, *mesh->bound, plane->planePoint, plane->planeNormal,
                                  pair->treeLeafA, lane)) {
                return true;
            }
            return nodePlaneFirstHit(mesh->tree->root, *mesh->bound, plane->planePoint, plane->planeNormal,
                                     pair->treeLeafA, lane);
        }
        default:
            return false;
    }
}

bool CollisionManager::generateContacts(HardBody* bodyA, HardBody* bodyB, CollisionPair* pair, int lane) {
    if (!bodyA || !bodyB || !pair) {
        return false;
    }
    CollisionPair& p = *pair;
    const Pk_jump* const solver = getPkJumpInstance();
    bool found = false;
    switch (pairKind(bodyA->getType(), bodyB->getType())) {
        case KIND_CAPSULE_PLANE: {
            const BCapsule* const capsule = worldCapsuleOf(bodyA);
            const BarrierBody* const plane = planeOf(bodyB);
            if (!capsule || !plane) {
                return false;
            }
            QmtVector3 ends[2];
            QmtVector3 normal;
            std::uint32_t count = 0;
            double depth = 0.0;
            found = capsulePlaneContact(*capsule->capsule, plane->planePoint, plane->planeNormal, ends, normal,
                                        count, depth);
            p.contactCount = std::min(count, 2u);
            for (std::uint32_t i = 0; i < p.contactCount; ++i) {
                p.points[i] = ends[i];
                p.normals[i] = normal;
                p.depths[i] = depth;
            }
            return found;
        }
        case KIND_CAPSULE_CAPSULE: {
            const BCapsule* const a = worldCapsuleOf(bodyA);
            const BCapsule* const b = worldCapsuleOf(bodyB);
            if (!a || !b) {
                return false;
            }
            capsuleCapsuleContact(*a->capsule, *b->capsule, p.points[0], p.normals[0], p.depths[0]);
            p.contactCount = 1;
            QmtVector3 centre;
            double radius = 0.0;
            bodyA->getBSphere(centre, radius);
            // The normal must point from B towards A.
            if ((centre - p.points[0]).Dot(p.normals[0]) < TOLERANCE) {
                p.points[0] -= p.normals[0] * p.depths[0];
                p.normals[0] = -p.normals[0];
            }
            return true;
        }
        case KIND_CAPSULE_HULL: {
            const BCapsule* const capsule = worldCapsuleOf(bodyA);
            const BVmesh* const hull = hullOf(bodyB);
            if (!solver || !capsule || !hull) {
                return false;
            }
            // The query runs hull first: the pair's history is seen the other way round.
            ProximityCache cache;
            cache.vertexA = p.cacheVertexB;
            cache.vertexB = p.cacheVertexA;
            cache.direction = -p.cacheDirection;
            found = solver->contactHullCapsule(*hull, *capsule->capsule, cache, p.points, p.normals, p.contactCount,
                                               p.depths, p.features[0].featureB, &p.features[0].vector);
            p.cacheVertexA = cache.vertexB;
            p.cacheVertexB = cache.vertexA;
            p.cacheDirection = -cache.direction;
            if (!found) {
                return false;
            }
            capContactCount(p);
            p.points[0] -= p.normals[0] * p.depths[0];
            p.normals[0] = -p.normals[0];
            shareFirstContact(p);
            return true;
        }
        case KIND_HULL_CAPSULE: {
            const BVmesh* const hull = hullOf(bodyA);
            const BCapsule* const capsule = worldCapsuleOf(bodyB);
            if (!solver || !capsule || !hull) {
                return false;
            }
            ProximityCache cache = cacheOf(p);
            found = solver->contactHullCapsule(*hull, *capsule->capsule, cache, p.points, p.normals, p.contactCount,
                                               p.depths, p.features[0].featureA, &p.features[0].vector);
            storeCache(p, cache);
            if (!found) {
                return false;
            }
            capContactCount(p);
            shareFirstContact(p);
            return true;
        }
        case KIND_CAPSULE_MESH:
        case KIND_MESH_CAPSULE: {
            const bool meshFirst = bodyA->getType() == HB_TRIMESH;
            const TriMeshBody* const mesh = treeBodyOf(meshFirst ? bodyA : bodyB);
            const BCapsule* const capsule = worldCapsuleOf(meshFirst ? bodyB : bodyA);
            if (!mesh || !capsule ||
                !capsuleTreeContacts(*mesh->tree, *mesh->bound, *capsule, p.points, p.normals, p.depths, p.features,
                                     p.contactCount, lane)) {
                return false;
            }
            capContactCount(p);
            if (!meshFirst) {
                convertToFirstBody(p);
            }
            return true;
        }
        case KIND_HULL_HULL: {
            const BVmesh* const a = hullOf(bodyA);
            const BVmesh* const b = hullOf(bodyB);
            if (!solver || !a || !b) {
                return false;
            }
            ProximityCache cache = cacheOf(p);
            found = solver->contactHullHull(*a, *b, cache, p.points, p.normals, p.contactCount, p.depths,
                                            p.features[0].featureA, p.features[0].featureB, &p.features[0].vector);
            storeCache(p, cache);
            if (!found) {
                return false;
            }
            capContactCount(p);
            shareFirstContact(p);
            return true;
        }
        case KIND_HULL_MESH:
        case KIND_MESH_HULL: {
            const bool meshFirst = bodyA->getType() == HB_TRIMESH;
            const TriMeshBody* const mesh = treeBodyOf(meshFirst ? bodyA : bodyB);
            const BVmesh* const hull = hullOf(meshFirst ? bodyB : bodyA);
            if (!mesh || !hull ||
                !hullTreeContacts(*mesh->tree, *mesh->bound, *hull, p.points, p.normals, p.depths, p.features,
                                  p.contactCount, lane)) {
                return false;
            }
            capContactCount(p);
            if (!meshFirst) {
                convertToFirstBody(p);
            }
            return true;
        }
        case KIND_MESH_MESH: {
            const TriMeshBody* const a = treeBodyOf(bodyA);
            const TriMeshBody* const b = treeBodyOf(bodyB);
            if (!a || !b ||
                !treeTreeContacts(*a->tree, *a->bound, *b->bound, *b->tree, p.points, p.normals, p.depths, p.features,
                                  p.contactCount, lane)) {
                return false;
            }
            capContactCount(p);
            return true;
        }
        case KIND_HULL_PLANE: {
            const BVmesh* const hull = hullOf(bodyA);
            const BarrierBody* const plane = planeOf(bodyB);
            if (!solver || !hull || !plane) {
                return false;
            }
            ProximityCache cache = cacheOf(p);
            // A hull resting turned on the plane keeps the vertices gravity lets sink
            // in a step with its deepest one: resting on one vertex, it would rock.
            const double level = std::max(PkJumpDetail::PK_EPS, restingDepth);
            if (!solver->contactHullPlane(*hull, plane->planePoint, plane->planeNormal, cache, p.points, p.normals,
                                          p.contactCount, p.depths, p.features[0].featureA, &p.features[0].vector,
                                          level)) {
                return false;
            }
            storeCache(p, cache);
            capContactCount(p);
            shareFirstContact(p);
            return true;
        }
        case KIND_MESH_PLANE: {
            const TriMeshBody* const mesh = treeBodyOf(bodyA);
            const BarrierBody* const plane = planeOf(bodyB);
            if (!mesh || !plane ||
                !treePlaneContacts(*mesh->tree, *mesh->bound, plane->planePoint, plane->planeNormal, p.points,
                                   p.normals, p.depths, p.features, p.contactCount, lane)) {
                return false;
            }
            capContactCount(p);
            return true;
        }
        default:
            // Kind 0 never touches; it reaches here only through fragment sub-pairs,
            // which skip the overlap test.
            return false;
    }
}

bool CollisionManager::generatePairContacts(HardBody* bodyA, HardBody* bodyB, CollisionPair* pair, int lane) {
    if (!bodyA || !bodyB || !pair) {
        return false;
    }
    const bool fractureA = bodyA->getType() == HB_FRACTURE;
    const bool fractureB = bodyB->getType() == HB_FRACTURE;
    if (!fractureA && !fractureB) {
        return generateContacts(bodyA, bodyB, pair, lane);
    }
    pair->contactCount = 0;
    auto* const ownerA = dynamic_cast<FractureBody*>(bodyA);
    auto* const ownerB = dynamic_cast<FractureBody*>(bodyB);
    if ((fractureA && !ownerA) || (fractureB && !ownerB)) {
        return false;
    }
    // Without a record nothing can be generated: the pair stays empty.
    CollisionPair* const sub = takePairRecord(lane);
    if (!sub) {
        return false;
    }
    resetSubPair(*sub);
    bool found = false;
    if (fractureA != fractureB) {
        FractureBody* const owner = fractureA ? ownerA : ownerB;
        sub->bodyA = fractureA ? nullptr : bodyA;
        sub->bodyB = fractureA ? bodyB : nullptr;
        for (HardBody* fragment = owner->getFirstBody(); fragment; fragment = owner->getNextBody()) {
            (fractureA ? sub->bodyA : sub->bodyB) = fragment;
            mergeSubPairContacts(pair, sub, lane);
        }
    } else {
        FractureBody* const owner = ownerA;
        sub->bodyB = bodyB;
        for (HardBody* fragment = owner->getFirstBody(); fragment; fragment = owner->getNextBody()) {
            sub->bodyA = fragment;
            if (generatePairContacts(fragment, bodyB, sub, lane)) {
                appendSubPairContacts(*pair, *sub);
                found = true;
            }
        }
    }
    returnPairToLane(sub, lane);
    if (pair->contactCount > 0) {
        dropDepthOutliers(pair);
        return true;
    }
    return found;
}

void CollisionManager::mergeSubPairContacts(CollisionPair* pair, CollisionPair* subPair, int lane) {
    if (!pair || !subPair || !subPair->bodyA || !subPair->bodyB) {
        return;
    }
    subPair->cacheDirection = QmtVector3::ZERO;
    subPair->cacheVertexA = NO_VERTEX;
    subPair->cacheVertexB = NO_VERTEX;
    // No overlap test runs for fragments, so their world state may still be stale.
    refreshWorldState(subPair->bodyA);
    refreshWorldState(subPair->bodyB);
    if (generateContacts(subPair->bodyA, subPair->bodyB, subPair, lane)) {
        appendSubPairContacts(*pair, *subPair);
    }
}

void CollisionManager::reduceContacts(CollisionPair* pair) {
    if (!pair || pair->contactCount <= REDUCED_COUNT) {
        return;
    }
    std::uint32_t chosen[REDUCED_COUNT] = {};
    std::uint32_t k = REDUCED_COUNT;
    selectExtremePoints(pair->points, pair->contactCount, chosen, k);
    // Ascending indices: every move goes to a slot at or before its source.
    for (std::uint32_t i = 0; i < k; ++i) {
        const std::uint32_t from = chosen[i];
        pair->points[i] = pair->points[from];
        pair->normals[i] = pair->normals[from];
        pair->depths[i] = pair->depths[from];
        pair->features[i].featureA = pair->features[from].featureA;
        pair->features[i].featureB = pair->features[from].featureB;
    }
    pair->contactCount = k;
}

void CollisionManager::dropDepthOutliers(CollisionPair* pair) {
    if (!pair || pair->contactCount == 0) {
        return;
    }
    const std::uint32_t n = std::min(pair->contactCount, CollisionPair::MAX_CONTACTS);
    std::fill(std::begin(pair->dropMarks), std::end(pair->dropMarks), std::uint8_t{0});
    double sum = 0.0;
    double sumSquares = 0.0;
    for (std::uint32_t i = 0; i < n; ++i) {
        sum += pair->depths[i];
        sumSquares += pair->depths[i] * pair->depths[i];
    }
    const double mean = sum / n;
    const double variance = sumSquares / n - mean * mean;
    // Equal depths can leave a zero deviation around a mean one ulp off them; with
    // no spread there is no outlier.
    if (!(variance > 0.0)) {
        return;
    }
    const double band = 1.1 * std::sqrt(variance);
    bool marked = false;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (pair->depths[i] < mean - band || pair->depths[i] > mean + band) {
            pair->dropMarks[i] = 255;
            marked = true;
        }
    }
    if (!marked) {
        return;
    }
    std::uint32_t kept = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (pair->dropMarks[i] == 0) {
            if (kept != i) {
                moveContact(*pair, i, kept);
            }
            ++kept;
        }
        pair->dropMarks[i] = 0;
    }
    pair->keptCount = kept;
    pair->contactCount = kept;
}

void CollisionManager::buildManifold(CollisionPair* pair) {
    if (!pair || !pair->bodyA || !pair->bodyB) {
        return;
    }
    CollisionPair& p = *pair;
    HardBody* const a = p.bodyA;
    HardBody* const b = p.bodyB;
    const RBDynamics& da = a->getDyn();
    const RBDynamics& db = b->getDyn();
    capContactCount(p);
    const std::uint32_t n = p.contactCount;
    for (std::uint32_t i = 0; i < n; ++i) {
        const QmtVector3 world = p.points[i];
        // v * R is R^T v.
        p.points[i] = (world - da.position) * da.rotation;
        p.pointsB[i] = ((world - p.normals[i] * p.depths[i]) - db.position) * db.rotation;
    }
    computeStaticPointVelocities(pair);
    for (std::uint32_t i = 0; i < n; ++i) {
        const QmtVector3 world = da.rotation * p.points[i] + da.position;
        p.armsA[i] = world - da.position;
        p.armsB[i] = world - db.position;
        p.dropMarks[i] = 0;
    }
    // A body at rest (or nearly) lends its contacts no velocity.
    const bool bMoves = b->computeEnergy() > TOLERANCE;
    const bool bStatic = b->isStatic();
    for (std::uint32_t i = 0; i < n; ++i) {
        const QmtVector3 va = da.v + da.w.Cross(p.armsA[i]);
        QmtVector3 vb;
        if (bMoves) {
            vb = bStatic ? p.staticPointVelocities[i] : db.v + db.w.Cross(p.armsB[i]);
        }
        p.relativeVelocities[i] = va - vb;
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        const QmtVector3& rel = p.relativeVelocities[i];
        const QmtVector3 t = rel - p.normals[i] * rel.Dot(p.normals[i]);
        if (t.Length() > TOLERANCE) {
            QmtVector3 d = -t;
            d.Unitize(UNIT_TOLERANCE);
            p.frictionDirections[i] = d;
        } else {
            p.frictionDirections[i] = QmtVector3::ZERO;
        }
    }
    p.state = 1;
    p.restitution = std::min(a->getRestitutionCoeff(), b->getRestitutionCoeff());
    p.friction = std::max(a->getFrictionCoeff(), b->getFrictionCoeff());
    markTouching(a);
    markTouching(b);
}

void CollisionManager::computeStaticPointVelocities(CollisionPair* pair) {
    if (!pair) {
        return;
    }
    CollisionPair& p = *pair;
    std::fill(std::begin(p.staticPointVelocities), std::end(p.staticPointVelocities), QmtVector3::ZERO);
    HardBody* const a = p.bodyA;
    HardBody* const b = p.bodyB;
    if (!a || !b || !b->isStatic()) {
        return;
    }
    const ZYLmesh* const mesh = b->getMesh();
    const bool meshVelocities = b->getType() == HB_TRIMESH && mesh && mesh->velocityFlag != 0 &&
                                mesh->vertexVelocities && mesh->worldVertices && mesh->faces;
    const RBDynamics& da = a->getDyn();
    const RBDynamics& db = b->getDyn();
    const std::uint32_t n = std::min(p.contactCount, CollisionPair::MAX_CONTACTS);
    for (std::uint32_t i = 0; i < n; ++i) {
        const QmtVector3 world = da.rotation * p.points[i] + da.position;
        const std::uint32_t faceIndex = p.features[i].featureB;
        if (meshVelocities && faceIndex < mesh->numFaces && mesh->faces[faceIndex].numVertices > 0) {
            const ZYLface& face = mesh->faces[faceIndex];
            // A triangle repeats its last vertex as the fourth point.
            std::uint32_t corner[4];
            QmtVector3 simplex[4];
            for (std::uint32_t k = 0; k < 4; ++k) {
                corner[k] = face.vertices[std::min(k, std::min(face.numVertices, 4u) - 1)];
                simplex[k] = corner[k] < mesh->numVertices ? mesh->worldVertices[corner[k]] : world;
            }
            double weights[4] = {};
            closestPointOnTetrahedron(simplex, world, weights);
            QmtVector3 velocity;
            for (std::uint32_t k = 0; k < 4; ++k) {
                if (weights[k] != 0.0 && corner[k] < mesh->numVertices) {
                    velocity += mesh->vertexVelocities[corner[k]] * weights[k];
                }
            }
            p.staticPointVelocities[i] = velocity;
        } else {
            p.armsB[i] = world - db.position;
            p.staticPointVelocities[i] = db.v + db.w.Cross(p.armsB[i]);
        }
    }
}
