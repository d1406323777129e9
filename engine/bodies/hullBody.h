#pragma once

#include <cstdint>

#include "engine/bodies/privateHardBody.h"
#include "geometry/mesh/bvMesh.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

// Convex body (kind 2): its mesh is a convex hull and its bound a BVmesh over that
// very mesh (the bound refers to the body's mesh, never owns it).
class HullBody : public PrivateHardBody {
public:
    // Hulls of meshes with more vertices than this are reduced to about this many.
    static constexpr std::uint32_t FULL_HULL_LIMIT = 511;
    static constexpr std::uint32_t REDUCED_HULL_SIZE = 512;
    // Connectivity the bound builds: edges, vertex links, volume and centre.
    static constexpr std::uint32_t BOUND_OPTIONS = BVMESH_EDGES | BVMESH_VERTICES | BVMESH_VOLUME;

    BVmesh* bound = nullptr;  // owned

    HullBody();
    HullBody(const HullBody&) = delete;
    HullBody& operator=(const HullBody&) = delete;
    ~HullBody() override;

    // Brings the hull and the record into the frame of P, R, S and activates the body.
    void init(const Qmt::QmtVector3& position, const Qmt::QmtMatrix3& rotation,
              const Qmt::QmtVector3& scale) override;
    // Inertia of the scaled hull about the reference point; nothing without a mesh.
    void computeInertiaTensor() override;
    void setMassCenter(const Qmt::QmtVector3& centre) override;
    // Replaces mesh and bound by the hull of the given (world) mesh and resets the
    // scale to 1; nothing for a null mesh or when no hull can be made.
    void modify(ZYLmesh* newMesh) override;

    // The convex hull of the points as a new mesh owned by the caller, with its centre
    // at the mean of its vertices, its radius the largest distance from it and a zeroed
    // world-vertex array. Null when no hull can be made or memory runs out.
    static ZYLmesh* buildHullMesh(const Qmt::QmtVector3* points, std::uint32_t count);

    // The hull a body takes for a mesh: of every local vertex up to FULL_HULL_LIMIT,
    // else the reduced hull. Null when none can be made.
    static ZYLmesh* hullOfMesh(const ZYLmesh& mesh);
};
