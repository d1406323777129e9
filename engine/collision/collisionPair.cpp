#include "engine/collision/collisionPair.h"

#include <algorithm>

void CollisionPair::copyContacts(const CollisionPair& source) {
    bodyA = source.bodyA;
    bodyB = source.bodyB;
    treeLeafA = source.treeLeafA;
    treeLeafB = source.treeLeafB;
    sortKey = source.sortKey;
    groupLinks.clear();
    state = source.state;
    keptCount = source.keptCount;
    contactCount = std::min(source.contactCount, MAX_CONTACTS);
    std::copy_n(source.points, contactCount, points);
    std::copy_n(source.pointsB, contactCount, pointsB);
    std::copy_n(source.normals, contactCount, normals);
    std::copy_n(source.depths, contactCount, depths);
}

void CollisionPair::resetForDetection(HardBody* a, HardBody* b) {
    state = 0;
    cacheDirection = Qmt::QmtVector3::ZERO;
    cacheVertexA = 0;
    cacheVertexB = 0;
    treeLeafA = nullptr;
    treeLeafB = nullptr;
    bodyA = a;
    bodyB = b;
    contactCount = 0;
    sortKey = 0.0;
}

void CollisionPair::compactUnmarkedContacts() {
    const std::uint32_t n = std::min(contactCount, MAX_CONTACTS);
    std::uint32_t kept = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (dropMarks[i] == 0) {
            if (kept != i) {
                points[kept] = points[i];
                pointsB[kept] = pointsB[i];
                normals[kept] = normals[i];
                depths[kept] = depths[i];
                relativeVelocities[kept] = relativeVelocities[i];
                staticPointVelocities[kept] = staticPointVelocities[i];
                features[kept].featureA = features[i].featureA;
                features[kept].featureB = features[i].featureB;
                armsA[kept] = armsA[i];
                armsB[kept] = armsB[i];
                frictionDirections[kept] = frictionDirections[i];
            }
            ++kept;
        }
        dropMarks[i] = 0;
    }
    contactCount = kept;
}

void CollisionPair::releaseGroupLinks() {
    bodyA = nullptr;
    bodyB = nullptr;
    treeLeafA = nullptr;
    treeLeafB = nullptr;
    groupLinks.destroy();
}
