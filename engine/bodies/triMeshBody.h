#pragma once

#include "engine/bodies/privateHardBody.h"
#include "geometry/bounds/boxTree.h"
#include "geometry/mesh/bvMesh.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

// Triangle-mesh body (kind 3): an arbitrary, possibly concave, triangle mesh with a
// convex bound over it (empty when the mesh has an out-of-range index) and a box tree
// over its triangles for the tree queries. The creator leaves the tree unbuilt; init
// builds it. A body whose bound stayed empty has no tree, so it touches nothing.
class TriMeshBody : public PrivateHardBody {
public:
    BVmesh* bound = nullptr;              // owned; refers to the body's mesh
    Binary_Tree<BVbox>* tree = nullptr;   // owned; null when building failed

    TriMeshBody();
    TriMeshBody(const TriMeshBody&) = delete;
    TriMeshBody& operator=(const TriMeshBody&) = delete;
    ~TriMeshBody() override;

    // Brings mesh and record into the frame of P, R, S, builds the tree (refits it
    // when built) and activates the body; the position is left to the caller, who
    // keeps it equal to P. Nothing without a mesh.
    void init(const Qmt::QmtVector3& position, const Qmt::QmtMatrix3& rotation,
              const Qmt::QmtVector3& scale) override;
    // Inertia of the scaled mesh about the reference point; nothing without a mesh.
    void computeInertiaTensor() override;
    // Moves the reference point to c; mesh and tree boxes shift with it, so their
    // world placement stays.
    void setMassCenter(const Qmt::QmtVector3& centre) override;
    // The common update, then the mesh and the tree placed in the world.
    void updateWorldState() override;
    // Rebuilds the triangles (polygons as fans) and vertices from newMesh, given in
    // the body's world placement, and with them the bound and the tree.
    void modify(ZYLmesh* newMesh) override;

private:
    // Drops a tree that did not build or has no root.
    void dropTree();
    // Rebuilds the body mesh's faces and vertices from source; false when memory runs
    // out (the mesh is then as it was).
    bool takeTriangles(const ZYLmesh& source);
};
