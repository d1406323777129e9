#pragma once

#include <cstdint>

#include "engine/collision/convex/pkJumpTolerances.h"
#include "math/qmtVector3.h"

class BVmesh;
class BVbox;
class BVAAbox;
struct ZYLcapsule;

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

// A triangle of the expanding polytope: three indices into its vertex array and the
// outward unit normal (the order of the indices carries no orientation). Its
// distance is P[i0] . normal.
struct PolytopeFace {
    std::uint32_t count = 3;
    std::uint32_t i0 = 0, i1 = 0, i2 = 0;
    Qmt::QmtVector3 normal;
};

// An edge of the expanding polytope; the face slots and the flag are kept for the
// record and read by nobody.
struct PolytopeEdge {
    std::uint32_t i0 = 0, i1 = 0;
    std::uint32_t faces[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};
    std::uint32_t active = 0;
};

class Polytope;

// Contact points of one query: at most this many.
inline constexpr std::uint32_t PK_MAX_CONTACTS = 24;

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

    // Capsule (second shape) against hull, and box (first shape) against capsule.
    std::uint32_t testHullCapsule(const BVmesh& hull, const ZYLcapsule& capsule,
                                  ProximityCache& cache) const;
    std::uint32_t testCapsuleBox(const BVbox& box, const ZYLcapsule& capsule,
                                 ProximityCache& cache) const;

    // The capsule's point farthest along d: the end on the axis side of d (the minus
    // end unless axis . d > 1e-5) pushed out by radius * d. d is not normalised.
    void capsuleSupport(const ZYLcapsule& capsule, const Qmt::QmtVector3& d,
                        Qmt::QmtVector3& point) const;

    // Direction-fan tests: true when the support differences of the pool's records
    // wind around the axis n. fan is the in/out fan direction.
    bool fanTestHullHull(const BVmesh& hullA, const BVmesh& hullB, const Qmt::QmtVector3& n,
                         Qmt::QmtVector3& fan, const SupportRecord* pool,
                         std::uint32_t count) const;
    bool fanTestHullBox(const BVmesh& hull, const BVbox& box, const Qmt::QmtVector3& n,
                        Qmt::QmtVector3& fan, const SupportRecord* pool,
                        std::uint32_t count) const;
    bool fanTestHullCapsule(const BVmesh& hull, const ZYLcapsule& capsule,
                            const Qmt::QmtVector3& n, Qmt::QmtVector3& fan,
                            const SupportRecord* pool, std::uint32_t count) const;
    bool fanTestCapsuleBox(const BVbox& box, const ZYLcapsule& capsule, const Qmt::QmtVector3& n,
                           Qmt::QmtVector3& fan, const SupportRecord* pool,
                           std::uint32_t count) const;

    // Hull against the plane through p with unit normal n. initPlaneCache finds the
    // first vertex (index order) whose direction from p points below the plane
    // (cosine under -1e-5) and starts the cache there; false, cache untouched, when
    // there is none.
    bool initPlaneCache(const BVmesh& hull, const Qmt::QmtVector3& p, const Qmt::QmtVector3& n,
                        ProximityCache& cache) const;
    // The manifold of 1 to 3 touching vertices (deepest first): points, the plane
    // normal, the depth of the first point, the first face around touching[0].
    // A count outside 1..3 writes count 0 and nothing else.
    void hullPlaneFeature(const BVmesh& hull, const Qmt::QmtVector3& p, const Qmt::QmtVector3& n,
                          const std::uint32_t* touching, std::uint32_t touchingCount,
                          Qmt::QmtVector3* points, Qmt::QmtVector3* normals, double* values,
                          std::uint32_t& count, std::uint32_t& featureId) const;
    // Squared distance from the origin to the segment ab (|a|^2 when a == b).
    double segmentOriginSqrDistance(const Qmt::QmtVector3& a, const Qmt::QmtVector3& b) const;

    // Expansion stop tests: true when the support point of the search record adds
    // nothing beyond the face, or repeats a polytope vertex.
    bool isExpansionDoneHullCapsule(const BVmesh& hull, const ZYLcapsule& capsule,
                                    const SupportRecord& search, const PolytopeFace& face,
                                    const SupportRecord* vertices, std::uint32_t count) const;
    bool isExpansionDoneHullHull(const BVmesh& hullA, const BVmesh& hullB,
                                 const SupportRecord& search, const PolytopeFace& face,
                                 const SupportRecord* vertices, std::uint32_t count) const;

    // Contact queries. Each writes up to PK_MAX_CONTACTS points, one normal, one value
    // (negative while the shapes overlap) and the feature id(s); only entry 0 of
    // normals and values is written. Without history in the cache the matching
    // overlap test runs first; no overlap answers false with the outputs untouched.
    // An empty manifold clears cache.direction and answers false.
    //
    // Hull-capsule normals point from the capsule into the hull; hull-hull normals
    // from B towards A; hull-plane normals are the plane normal. A given
    // featureVector receives, with a manifold, the final polytope face's normal (the
    // plane normal for the plane query), for the pair's feature record.
    bool contactHullCapsule(const BVmesh& hull, const ZYLcapsule& capsule, ProximityCache& cache,
                            Qmt::QmtVector3* points, Qmt::QmtVector3* normals,
                            std::uint32_t& count, double* values, std::uint32_t& featureId,
                            Qmt::QmtVector3* featureVector = nullptr) const;
    bool contactHullHull(const BVmesh& hullA, const BVmesh& hullB, ProximityCache& cache,
                         Qmt::QmtVector3* points, Qmt::QmtVector3* normals, std::uint32_t& count,
                         double* values, std::uint32_t& featureIdA, std::uint32_t& featureIdB,
                         Qmt::QmtVector3* featureVector = nullptr) const;
    // The plane query does not test the depth's sign: with history a hull above the
    // plane gives a positive value, and the caller decides. Edge neighbours of the
    // deepest vertex within `level` of its height touch the plane with it.
    bool contactHullPlane(const BVmesh& hull, const Qmt::QmtVector3& p, const Qmt::QmtVector3& n,
                          ProximityCache& cache, Qmt::QmtVector3* points,
                          Qmt::QmtVector3* normals, std::uint32_t& count, double* values,
                          std::uint32_t& featureId,
                          Qmt::QmtVector3* featureVector = nullptr, double level = PkJumpDetail::PK_EPS) const;

    // Polytope stages of the contact queries, on the cache's direction and vertices.
    // False when the polytope storage cannot be had.
    bool buildStartTetrahedronHullCapsule(const BVmesh& hull, const ZYLcapsule& capsule,
                                          const ProximityCache& cache, Polytope& polytope) const;
    bool buildStartTetrahedronHullHull(const BVmesh& hullA, const BVmesh& hullB,
                                       const ProximityCache& cache, Polytope& polytope) const;
    // Adds the search record's support point; false when no face sees it.
    bool expandPolytopeHullCapsule(const BVmesh& hull, const ZYLcapsule& capsule,
                                   const SupportRecord& search, Polytope& polytope) const;
    bool expandPolytopeHullHull(const BVmesh& hullA, const BVmesh& hullB,
                                const SupportRecord& search, Polytope& polytope) const;

    // Manifolds of a feature pair: hull vertices (1 to 3) against capsule points (1
    // or 2), and hull vertices against hull vertices (1 to 3 each).
    void hullCapsuleManifold(const BVmesh& hull, const ZYLcapsule& capsule,
                             const std::uint32_t* hullFeature, std::uint32_t hullCount,
                             const Qmt::QmtVector3* capsuleFeature, std::uint32_t capsuleCount,
                             Qmt::QmtVector3* points, Qmt::QmtVector3* normals,
                             std::uint32_t& count, double* values, std::uint32_t& featureId) const;
    void hullHullManifold(const BVmesh& hullA, const BVmesh& hullB, const std::uint32_t* featureA,
                          std::uint32_t countA, const std::uint32_t* featureB, std::uint32_t countB,
                          Qmt::QmtVector3* points, Qmt::QmtVector3* normals, std::uint32_t& count,
                          double* values, std::uint32_t& featureIdA,
                          std::uint32_t& featureIdB) const;

    // Sphere (centre c, radius r) queries. No body kind is a sphere: the engine
    // itself calls none of them. They follow the capsule members with the sphere as
    // a capsule of no length, except that their fan tests close a winding already at
    // -1e-5, their feature selection prefers the smaller feature on ties, and their
    // manifold is always one point.
    //
    // Fan tests: the hull-sphere difference of a record is (c - r d) - V[vertexA];
    // the sphere-pair one (cB - rB d) - (cA + rA d), from its direction d alone.
    bool fanTestHullSphere(const BVmesh& hull, const Qmt::QmtVector3& c, double r, const Qmt::QmtVector3& n,
                           Qmt::QmtVector3& fan, const SupportRecord* pool, std::uint32_t count) const;
    bool fanTestSphereSphere(const Qmt::QmtVector3& cA, double rA, const Qmt::QmtVector3& cB, double rB,
                             const Qmt::QmtVector3& n, Qmt::QmtVector3& fan, const SupportRecord* pool,
                             std::uint32_t count) const;
    // Overlap tests as testHullCapsule (the sphere second) and testCapsuleBox (the
    // axis-aligned box first, read through its corners, centred between its minimum
    // and maximum). The sphere pair keeps no cache and compares directions where the
    // others compare support vertices; coincident centres overlap.
    std::uint32_t testHullSphere(const BVmesh& hull, const Qmt::QmtVector3& c, double r,
                                 ProximityCache& cache) const;
    std::uint32_t testSphereSphere(const Qmt::QmtVector3& cA, double rA, const Qmt::QmtVector3& cB,
                                   double rB) const;
    std::uint32_t testCapsuleAAbox(const BVAAbox& box, const ZYLcapsule& capsule, ProximityCache& cache) const;
    // One contact of a sphere against a hull, normal from the sphere into the hull,
    // by the polytope expansion of contactHullCapsule.
    bool contactHullSphere(const BVmesh& hull, const Qmt::QmtVector3& c, double r, ProximityCache& cache,
                           Qmt::QmtVector3* points, Qmt::QmtVector3* normals, std::uint32_t& count,
                           double* values, std::uint32_t& featureId) const;
    bool buildStartTetrahedronHullSphere(const BVmesh& hull, const Qmt::QmtVector3& c, double r,
                                         const ProximityCache& cache, Polytope& polytope) const;
    bool expandPolytopeHullSphere(const BVmesh& hull, const Qmt::QmtVector3& c, double r,
                                  const SupportRecord& search, Polytope& polytope) const;
    bool isExpansionDoneHullSphere(const BVmesh& hull, const Qmt::QmtVector3& c, double r,
                                   const SupportRecord& search, const PolytopeFace& face,
                                   const SupportRecord* vertices, std::uint32_t count) const;
    // The manifold of hull vertices (1 to 3) against the sphere point c0: one point,
    // normal, value and the first face around the first vertex; count 0 for a hull
    // count outside 1..3. c and r are not read.
    void hullSphereManifold(const BVmesh& hull, const Qmt::QmtVector3& c, double r,
                            const std::uint32_t* hullFeature, std::uint32_t hullCount,
                            const Qmt::QmtVector3& c0, Qmt::QmtVector3* points, Qmt::QmtVector3* normals,
                            std::uint32_t& count, double* values, std::uint32_t& featureId) const;

    // Told when the world is reset or a body is added; the solver keeps nothing.
    bool notify(int event) const;
};

// The process-wide solver instance, null until its owner (the collision manager)
// publishes one; geometry-side queries treat null as "no solver". Set and cleared on
// the main thread only, outside the detection passes.
Pk_jump* getPkJumpInstance();
void setPkJumpInstance(Pk_jump* instance);
