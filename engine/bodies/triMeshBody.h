#pragma once

#include "engine/bodies/privateHardBody.h"
#include "geometry/boxTree.h"
#include "geometry/bvMesh.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

// Triangle-mesh body (kind 3): an arbitrary, possibly concave, triangle mesh with a
// convex bound over it (empty when the mesh has an out-of-range index) and a box tree
// over its triangles for the tree queries. The creator leaves the tree unbuilt.
//
// This is the class's data model and placement; the tree build and refit, and the
// shape refit of modify, are still to come.
class TriMeshBody : public PrivateHardBody {
public:
    BVmesh* bound = nullptr;              // owned; refers to the body's mesh
    Binary_Tree<BVbox>* tree = nullptr;   // owned; null when building failed

    TriMeshBody();
    TriMeshBody(const TriMeshBody&) = delete;
    TriMeshBody& operator=(const TriMeshBody&) = delete;
    ~TriMeshBody() override;

    // Brings mesh and record into the frame of P, R, S and activates the body; the
    // position is left to the caller. Nothing without a mesh.
    void init(const Qmt::QmtVector3& position, const Qmt::QmtMatrix3& rotation,
              const Qmt::QmtVector3& scale) override;
    // Inertia of the scaled mesh about the reference point; nothing without a mesh.
    void computeInertiaTensor() override;
    void setMassCenter(const Qmt::QmtVector3& centre) override;
    // The common update, then the mesh placed in the world (the tree joins it once it
    // is built).
    void updateWorldState() override;
    // The shape refit is not there yet: the body keeps its mesh, bound and tree (the
    // common replacement would leave the bound pointing at a deleted mesh).
    void modify(ZYLmesh* newMesh) override;
};
