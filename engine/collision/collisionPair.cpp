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

void CollisionPair::releaseGroupLinks() {
    bodyA = nullptr;
    bodyB = nullptr;
    treeLeafA = nullptr;
    treeLeafB = nullptr;
    groupLinks.destroy();
}
