#pragma once

#include <cstdint>

#include "geometry/mesh/pooledList.h"
#include "math/qmtVector3.h"

class HardBody;
class BinaryTreeNode;
struct ContactGroup;

// The touching features of one contact: a face index of each body (or another
// feature id of the query that made the contact) and a vector the convex queries
// leave with it.
struct ContactFeature {
    std::uint32_t featureA = 0;
    std::uint32_t featureB = 0;
    Qmt::QmtVector3 vector;
};

// The record of one test of two bodies: the bodies, the search history carried from
// one test of the same bodies to the next, and up to 24 contacts with everything the
// impulse solver needs per contact (contact i is entry i of every array).
//
// Records are made by the collision manager's pools and reused; a record taken from a
// pool carries whatever its last use left in it, so callers reset what they read.
class CollisionPair {
public:
    static constexpr std::uint32_t MAX_CONTACTS = 24;
    using GroupList = PooledList<ContactGroup*>;

    std::uint32_t state = 0;  // 0 no contact, 1 new contact, 2 persisting contact
    HardBody* bodyA = nullptr;
    HardBody* bodyB = nullptr;
    // Convex search history in pair order: support vertices on A and B and the last
    // direction from A towards B. A zero direction means no history.
    std::uint32_t cacheVertexA = 0;
    std::uint32_t cacheVertexB = 0;
    Qmt::QmtVector3 cacheDirection;
    BinaryTreeNode* treeLeafA = nullptr;  // leaves where the tree tests hit last
    BinaryTreeNode* treeLeafB = nullptr;
    std::uint32_t groupNumber = 0;
    double restitution = 0.0;  // the smaller of the two bodies'
    double friction = 0.0;     // the larger of the two bodies'
    double massWeightA = 0.0;
    double massProductA = 0.0;
    double massWeightB = 0.0;
    double massProductB = 0.0;
    double sortKey = 0.0;  // kinetic-energy key of the resolution order
    std::uint32_t contactCount = 0;
    Qmt::QmtVector3 points[MAX_CONTACTS];  // world as generated; A's frame after the manifold build
    Qmt::QmtVector3 normals[MAX_CONTACTS];  // unit, world
    Qmt::QmtVector3 staticPointVelocities[MAX_CONTACTS];  // B's point velocity when B is static
    Qmt::QmtVector3 relativeVelocities[MAX_CONTACTS];     // A's point velocity minus B's
    ContactFeature features[MAX_CONTACTS];
    double depths[MAX_CONTACTS] = {};  // signed penetration along the normal
    std::uint32_t groupContactCount = 0;
    std::uint32_t keptCount = 0;
    Qmt::QmtVector3 pointsB[MAX_CONTACTS];  // point - depth * normal, in B's frame
    Qmt::QmtVector3 frictionDirections[MAX_CONTACTS];
    Qmt::QmtVector3 armsA[MAX_CONTACTS];  // world point minus A's centre
    Qmt::QmtVector3 armsB[MAX_CONTACTS];
    std::uint8_t dropMarks[MAX_CONTACTS] = {};  // non-zero: removed at the next compaction
    std::uint8_t secondPass = 0;
    Qmt::QmtVector3 impulseVectors[MAX_CONTACTS];
    GroupList groupLinks;
    std::uint32_t groupLinkCount = 0;

    CollisionPair() = default;
    CollisionPair(const CollisionPair&) = delete;
    CollisionPair& operator=(const CollisionPair&) = delete;

    // Takes the source's bodies, leaves, sort key, state, kept count and contacts
    // (points, pointsB, normals, depths); the group links are emptied.
    void copyContacts(const CollisionPair& source);
    // Leaves the pair as a detection of a against b finds it before its first test: no
    // contact, no search history, no tree leaves.
    void resetForDetection(HardBody* a, HardBody* b);
    // Moves the contacts whose drop mark is clear to the front in order, with everything
    // the solver and the resolution read per contact, clears the marks and sets
    // contactCount to the number kept.
    void compactUnmarkedContacts();
    // Forgets the bodies and leaves and frees the group-link list with its nodes.
    // Safe to repeat; the record is then only fit for deletion.
    void releaseGroupLinks();
};
