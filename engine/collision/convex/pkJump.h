#pragma once

#include <cstdint>

#include "math/qmtVector3.h"

class BVmesh;
class BVbox;

// Search history of one shape pair, carried by the pair from frame to frame so the
// next query starts where the last one ended. A direction with a squared length
// below 1e-5 means the pair has no history yet; an all-zero cache is a fresh query.
struct ProximityCache {
    Qmt::QmtVector3 difference;  // second shape's support point minus the first's
    std::uint32_t vertexA = 0;   // support vertex on the first shape
    std::uint32_t vertexB = 0;   // support vertex (or box corner 0..7) on the second
    Qmt::QmtVector3 direction;   // last search direction, unit length
};

// One visited direction of an overlap test: the same four fields as the cache.
struct SupportRecord {
    Qmt::QmtVector3 difference;
    std::uint32_t vertexA = 0;
    std::uint32_t vertexB = 0;
    Qmt::QmtVector3 direction;
};

// The convex proximity solver. It holds no state: every query works only on its
// arguments and keeps its working storage on the call, so any number of detection
// lanes may call one instance at the same time.
//
// Hulls are BVmesh volumes read in world space (world vertices, world centre). Their
// support vertices come from hill-climbing over the vertex links when the volume has
// both its edge table and its vertex lists, and from a linear scan of the world
// vertices otherwise. Boxes are read through their eight corners in the shared
// corner order; a box's support index is its corner index.
class Pk_jump {
public:
    Pk_jump() = default;
    Pk_jump(const Pk_jump&) = delete;
    Pk_jump& operator=(const Pk_jump&) = delete;
    virtual ~Pk_jump();

    // Index of a hull vertex maximal along d, climbing from start. The climb moves
    // only to strictly larger projections, so a maximal start is returned unchanged.
    // A start outside the hull climbs from vertex 0; a hull without vertices gives 0.
    std::uint32_t hullSupportVertex(const BVmesh& hull, std::uint32_t start,
                                    const Qmt::QmtVector3& d) const;

    // Overlap tests by direction reflection: 1 when the shapes overlap, 0 when a
    // separating direction was found or the search could not decide; undecided
    // happens only within the 1e-5 tolerance of touching. The cache is read as the
    // start of the search and always receives its end; a hull without vertices or a
    // box without its record gives 0 and leaves the cache alone.
    std::uint32_t testHullHull(const BVmesh& hullA, const BVmesh& hullB,
                               ProximityCache& cache) const;
    std::uint32_t testHullBox(const BVmesh& hull, const BVbox& box, ProximityCache& cache) const;

    // Direction-fan tests: true when the support differences of the pool's records
    // wind around the axis n. fan is the in/out fan direction.
    bool fanTestHullHull(const BVmesh& hullA, const BVmesh& hullB, const Qmt::QmtVector3& n,
                         Qmt::QmtVector3& fan, const SupportRecord* pool,
                         std::uint32_t count) const;
    bool fanTestHullBox(const BVmesh& hull, const BVbox& box, const Qmt::QmtVector3& n,
                        Qmt::QmtVector3& fan, const SupportRecord* pool,
                        std::uint32_t count) const;
};

// The process-wide solver instance, null until its owner (the collision manager)
// publishes one; geometry-side queries treat null as "no solver". Set and cleared on
// the main thread only, outside the detection passes.
Pk_jump* getPkJumpInstance();
void setPkJumpInstance(Pk_jump* instance);
