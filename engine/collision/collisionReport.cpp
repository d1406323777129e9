// Merging of contact sets, releases of pairs and groups, the collision report and
// its queries, and the pair-record bookkeeping between lists and lanes.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <new>
#include <unordered_map>
#include <utility>

#include "engine/bodies/hullBody.h"
#include "engine/collision/collisionManager.h"
#include "engine/collision/collisionModuleState.h"
#include "engine/fracture/fractureBody.h"
#include "engine/fracture/fractureWorldFiling.h"

using Qmt::QmtVector3;

namespace {

constexpr double TOLERANCE = 1e-5;
constexpr double UNIT_TOLERANCE = 9.999999974752427e-7;
// Two unit normals whose dot exceeds this point the same way.
constexpr double SAME_DIRECTION = 0.99999;
// How far out of a fragment's face, in bounding radii, another fragment is looked for.
constexpr double INTERNAL_FACE_STEP = 0.01;

// The two bodies of a pair in either order.
using BodyPairKey = std::pair<const HardBody*, const HardBody*>;

BodyPairKey keyOf(const HardBody* a, const HardBody* b) {
    return std::less<const HardBody*>{}(a, b) ? BodyPairKey{a, b} : BodyPairKey{b, a};
}

struct BodyPairHash {
    std::size_t operator()(const BodyPairKey& key) const {
        const auto a = reinterpret_cast<std::uintptr_t>(key.first);
        const auto b = reinterpret_cast<std::uintptr_t>(key.second);
        return std::hash<std::uintptr_t>{}(a ^ (b * 0x9E3779B97F4A7C15u + (a << 6) + (a >> 2)));
    }
};

bool sameBodies(const CollisionPair& pair, const HardBody* x, const HardBody* y) {
    return (pair.bodyA == x && pair.bodyB == y) || (pair.bodyA == y && pair.bodyB == x);
}

QmtVector3 worldPoint(const CollisionPair& pair, std::uint32_t i) {
    const RBDynamics& d = pair.bodyA->getDyn();
    return d.rotation * pair.points[i] + d.position;
}

// Compacts the unmarked contacts; the report keeps them all.
void compactUnmarked(CollisionPair& pair) {
    pair.compactUnmarkedContacts();
    pair.keptCount = pair.contactCount;
}

void clearMarks(CollisionPair& pair) {
    std::fill(std::begin(pair.dropMarks), std::end(pair.dropMarks), std::uint8_t{0});
}

// Whether q lies inside the body's hull, deeper than the tolerance below every face.
bool insideHull(HardBody* body, const QmtVector3& q) {
    const auto* const hull = dynamic_cast<const HullBody*>(body);
    const ZYLmesh* const mesh = hull && hull->bound ? hull->bound->mesh : nullptr;
    if (!mesh || !mesh->worldVertices || !mesh->worldNormals || mesh->numFaces == 0) {
        return false;
    }
    QmtVector3 centre;
    double radius = 0.0;
    body->getBSphere(centre, radius);
    if ((q - centre).SquaredLength() > radius * radius) {
        return false;
    }
    // A fragment no test has touched this cycle may still carry last frame's corners.
    if (!body->isWorldModified()) {
        body->updateWorldState();
    }
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        const ZYLface& face = mesh->faces[f];
        if (face.numVertices == 0 || face.vertices[0] >= mesh->numVertices ||
            (q - mesh->worldVertices[face.vertices[0]]).Dot(mesh->worldNormals[f]) > -TOLERANCE) {
            return false;
        }
    }
    return true;
}

// Whether the fragment's face through `onFace` with outward normal `outward` is one it
// shares with another fragment of the body that carries it: a little way out of the
// face lies inside that other fragment.
bool coveredBySibling(HardBody* fragment, const QmtVector3& onFace, const QmtVector3& outward) {
    FractureBody* const carrier = fragment ? asFractureBody(fragment->getParent()) : nullptr;
    if (!carrier) {
        return false;
    }
    QmtVector3 centre;
    double radius = 0.0;
    fragment->getBSphere(centre, radius);
    // A little way out of the face, and as far in along it towards the fragment: a
    // point on the face's rim would otherwise land on the sibling's own surface, not in it.
    const double step = INTERNAL_FACE_STEP * radius;
    QmtVector3 q = onFace + outward * step;
    QmtVector3 along = centre - onFace;
    along -= outward * along.Dot(outward);
    if (along.SquaredLength() > step * step) {
        along.Unitize(UNIT_TOLERANCE);
        q += along * step;
    }
    for (HardBody* sibling : carrier->fragments) {
        if (sibling != fragment && insideHull(sibling, q)) {
            return true;
        }
    }
    return false;
}

}  // namespace

void CollisionManager::mergePairContacts(CollisionPair* destination, const CollisionPair* source, float sign) {
    if (!destination || !source || !destination->bodyA || !destination->bodyB || !source->bodyA) {
        return;
    }
    CollisionPair& d = *destination;
    const RBDynamics& da = d.bodyA->getDyn();
    const RBDynamics& db = d.bodyB->getDyn();
    const double s = sign;
    const std::uint32_t n = std::min(source->contactCount, CollisionPair::MAX_CONTACTS);
    for (std::uint32_t i = 0; i < n && d.contactCount < CollisionPair::MAX_CONTACTS; ++i) {
        const std::uint32_t k = d.contactCount;
        const QmtVector3 world = worldPoint(*source, i);
        d.points[k] = (world - da.position) * da.rotation;
        d.pointsB[k] = (world - db.position) * db.rotation;
        d.armsA[k] = world - da.position;
        d.armsB[k] = world - db.position;
        d.normals[k] = source->normals[i] * s;
        d.frictionDirections[k] = source->frictionDirections[i] * s;
        d.dropMarks[k] = 0;
        d.staticPointVelocities[k] = source->staticPointVelocities[i];
        // The clean-up and the solve compare and read these per contact too.
        d.depths[k] = source->depths[i];
        d.relativeVelocities[k] = source->relativeVelocities[i] * s;
        const bool swapped = sign < 0.0f;
        d.features[k].featureA = swapped ? source->features[i].featureB : source->features[i].featureA;
        d.features[k].featureB = swapped ? source->features[i].featureA : source->features[i].featureB;
        ++d.contactCount;
    }
}

void CollisionManager::mergeCoincidentContacts(CollisionPair* pair) {
    if (!pair || !pair->bodyA) {
        return;
    }
    CollisionPair& p = *pair;
    clearMarks(p);
    const std::uint32_t n = std::min(p.contactCount, CollisionPair::MAX_CONTACTS);
    bool marked = false;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (p.dropMarks[i] != 0) {
            continue;
        }
        const QmtVector3 pi = worldPoint(p, i);
        for (std::uint32_t j = i + 1; j < n; ++j) {
            if (p.dropMarks[j] != 0 || (worldPoint(p, j) - pi).SquaredLength() >= TOLERANCE) {
                continue;
            }
            marked = true;
            // Along one normal the larger signed depth survives. Along different
            // normals the deeper contact (smaller signed depth) must: a fragment
            // merely touching the striker at a seam between fragments gives a contact
            // of depth 0 whose normal lies along the internal face, at the very points
            // where the fragment it sits beside is pressed through its outer face;
            // keeping the touching contact would leave that push out and let the
            // striker pass through the fracture body. A tie keeps the earlier contact.
            const bool sameNormal = p.normals[i].Dot(p.normals[j]) > SAME_DIRECTION;
            if (sameNormal ? p.depths[j] <= p.depths[i] : p.depths[j] >= p.depths[i]) {
                p.dropMarks[j] = 1;
            } else {
                p.dropMarks[i] = 1;
                break;
            }
        }
    }
    if (marked) {
        compactUnmarked(p);
    }
}

void CollisionManager::dropInternalFaceContacts(CollisionPair* pair) {
    if (!pair || !pair->bodyA || !pair->bodyB || pair->contactCount == 0) {
        return;
    }
    CollisionPair& p = *pair;
    const std::uint32_t n = std::min(p.contactCount, CollisionPair::MAX_CONTACTS);
    const QmtVector3 normal = p.normals[0];
    const RBDynamics& da = p.bodyA->getDyn();
    QmtVector3 centre;
    double depth = 0.0;
    for (std::uint32_t i = 0; i < n; ++i) {
        // Only a manifold of one normal (a convex query's) is read as one face.
        if (!(p.normals[i] == normal)) {
            return;
        }
        centre += da.rotation * p.points[i] + da.position;
        depth += p.depths[i];
    }
    centre = centre / static_cast<double>(n);
    depth /= static_cast<double>(n);
    // The points lie on A's surface; B's face is -depth along the normal from them.
    // Pushing a body out of one fragment through a face where another fragment of the
    // same compound begins pushes it along the seam between them rather than out of
    // the compound: that other fragment's own contacts give the push.
    if (coveredBySibling(p.bodyB, centre - normal * depth, normal) || coveredBySibling(p.bodyA, centre, -normal)) {
        p.contactCount = 0;
    }
}

void CollisionManager::resolveOpposingNormals(CollisionPair* pair) {
    if (!pair) {
        return;
    }
    CollisionPair& p = *pair;
    clearMarks(p);
    const std::uint32_t n = std::min(p.contactCount, CollisionPair::MAX_CONTACTS);
    bool found = false;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (p.dropMarks[i] != 0) {
            continue;
        }
        for (std::uint32_t j = i + 1; j < n; ++j) {
            if (p.dropMarks[j] != 0 || p.normals[i].Dot(p.normals[j]) >= -TOLERANCE) {
                continue;
            }
            found = true;
            // The shallower contact's normal loses its part along the deeper one's.
            const bool keepI = p.depths[i] > p.depths[j];
            QmtVector3& bent = keepI ? p.normals[j] : p.normals[i];
            const QmtVector3& other = keepI ? p.normals[i] : p.normals[j];
            bent -= other * bent.Dot(other);
            if (bent.SquaredLength() > TOLERANCE) {
                bent.Unitize(UNIT_TOLERANCE);
            } else if (keepI) {
                p.dropMarks[j] = 1;
            } else {
                p.dropMarks[i] = 1;
                break;
            }
        }
    }
    if (found) {
        compactUnmarked(p);
    }
}

void CollisionManager::releaseContactGroups() {
    if (usedGroupCount == 0) {
        return;
    }
    for (ContactGroup* group : usedGroups) {
        freeGroups.pushFront(group);
        --usedGroupCount;
        if (group && group->body) {
            group->body->disableInContact();
        }
    }
    usedGroups.clear();
}

void CollisionManager::releasePairs() {
    if (pairCount != 0) {
        for (CollisionPair* pair : activePairs) {
            returnPairToLane(pair, 0);
        }
        activePairs.clear();
        pairCount = 0;
        for (ContactGroup* group : usedGroups) {
            freeGroups.pushFront(group);
            --usedGroupCount;
        }
        usedGroups.clear();
    }
    if (crackerPairs.count != 0) {
        for (CollisionPair* pair : crackerPairs) {
            returnPairToLane(pair, 0);
        }
        crackerPairs.clear();
    }
}

void CollisionManager::updateCollisionReport() {
    // Records are keyed by their unordered body pair; each key has at most one record
    // (one is made only when none matches), so an index finds what a walk of the
    // report from its head would find, without a walk per active pair.
    std::unordered_map<BodyPairKey, CollisionPair*, BodyPairHash> index;
    index.reserve(collisionReport.count + activePairs.count);
    for (CollisionPair* record : collisionReport) {
        index.emplace(keyOf(record->bodyA, record->bodyB), record);
    }
    for (const CollisionPair* pair : activePairs) {
        const BodyPairKey key = keyOf(pair->bodyA, pair->bodyB);
        if (const auto found = index.find(key); found != index.end()) {
            found->second->copyContacts(*pair);
            continue;
        }
        CollisionPair* const record = takePairRecord(0);
        if (!record) {
            continue;
        }
        record->copyContacts(*pair);
        const std::uint32_t before = collisionReport.count;
        collisionReport.pushFront(record);
        if (collisionReport.count == before) {
            returnPairToLane(record, 0);
            continue;
        }
        index.emplace(key, record);
    }
}

int CollisionManager::getReportedContactPoints(HardBody* x, HardBody* y, QmtVector3** points) {
    const CollisionPair* record = nullptr;
    for (const CollisionPair* candidate : collisionReport) {
        if (sameBodies(*candidate, x, y)) {
            record = candidate;
            break;
        }
    }
    if (!record || record->contactCount == 0 || !record->bodyA) {
        return 0;
    }
    const std::uint32_t n = std::min(record->contactCount, CollisionPair::MAX_CONTACTS);
    reportedPoints.reset();
    reportedPoints.reset(new (std::nothrow) QmtVector3[n]);
    if (!reportedPoints) {
        return 0;
    }
    for (std::uint32_t k = 0; k < n; ++k) {
        reportedPoints[k] = worldPoint(*record, k);
    }
    if (points) {
        *points = reportedPoints.get();
    }
    return static_cast<int>(n);
}

int CollisionManager::getPairContactPoints(HardBody* x, HardBody* y, QmtVector3** normals, double** depths) {
    std::uint32_t n = 0;
    for (const CollisionPair* pair : activePairs) {
        if (sameBodies(*pair, x, y)) {
            n += std::min(pair->contactCount, CollisionPair::MAX_CONTACTS);
        }
    }
    if (n == 0) {
        return 0;
    }
    pairNormals.reset();
    pairDepths.reset();
    pairNormals.reset(new (std::nothrow) QmtVector3[n]);
    pairDepths.reset(new (std::nothrow) double[n]());
    if (!pairNormals || !pairDepths) {
        pairNormals.reset();
        pairDepths.reset();
        return 0;
    }
    std::uint32_t k = 0;
    for (const CollisionPair* pair : activePairs) {
        if (!sameBodies(*pair, x, y)) {
            continue;
        }
        // Normals are handed out as seen from X.
        const double sign = pair->bodyA == x ? 1.0 : -1.0;
        const std::uint32_t count = std::min(pair->contactCount, CollisionPair::MAX_CONTACTS);
        for (std::uint32_t i = 0; i < count; ++i, ++k) {
            pairNormals[k] = pair->normals[i] * sign;
            pairDepths[k] = pair->depths[i];
        }
    }
    if (normals) {
        *normals = pairNormals.get();
    }
    if (depths) {
        *depths = pairDepths.get();
    }
    return 0;
}

int CollisionManager::getCollidingBodies(HardBody* body, HardBody*** bodies) {
    std::unique_ptr<HardBody*[]>& array = collidingBodiesArray();
    if (!array) {
        array.reset(new (std::nothrow) HardBody*[REPORTED_BODIES]());
    }
    if (bodies) {
        *bodies = array.get();
    }
    if (!array) {
        return 0;
    }
    std::uint32_t n = 0;
    for (const CollisionPair* record : collisionReport) {
        if (n == REPORTED_BODIES) {
            break;
        }
        if (record->bodyA == body) {
            array[n++] = record->bodyB;
        } else if (record->bodyB == body) {
            array[n++] = record->bodyA;
        }
    }
    return static_cast<int>(n);
}

void CollisionManager::clearCollisionReport() {
    for (CollisionPair* record : collisionReport) {
        returnPairToLane(record, 0);
    }
    collisionReport.clear();
}

void CollisionManager::returnPairToLane(CollisionPair* pair, int lane) {
    if (!pair || lane < 0 || lane > getCollisionWorkerCount()) {
        return;
    }
    (lane == 0 ? pairPool : lanePairPools[lane - 1]).pushFront(pair);
}

bool CollisionManager::pushResolvedPair(CollisionPair* pair) {
    newPairs.pushFront(pair);
    return true;
}
