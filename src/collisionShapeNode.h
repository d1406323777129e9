#pragma once

#include <cstdint>

#include "geometry/mesh/meshRecords.h"
#include "host/api/dagPath.h"
#include "host/api/dgModifier.h"
#include "host/api/pxNode.h"
#include "src/typeIds.h"

// Sits between a host mesh and a rigid-body node: turns the mesh's world geometry on
// `inShape` into the engine mesh the body is built from (one face per convex polygon,
// triangles otherwise, a unit normal per face) and hands the chosen collision type on
// through `outCollisionType`. It owns that mesh until released.
class collisionShapeNode : public MPxNode {
public:
    static constexpr MTypeId id = zylTypes::kCollisionShape;

    static MObject type;
    static MObject outCollisionShape;
    static MObject outCollisionType;
    static MObject inShape;
    static MObject animatedMesh;
    static MObject flipCollisionSide;
    static MObject ca_collisionShape;
    static MObject collisionShapeParam;

    collisionShapeNode() = default;
    ~collisionShapeNode() override;

    static void* creator();
    static MStatus initialize();
    MStatus compute(const MPlug& plug, MDataBlock& data) override;

    // The engine mesh, built from the plugs when there is none yet and brought up to
    // date with the type, flip and animation switches; may be null.
    ZYLmesh* getCollisionMesh();
    // Deletes the mesh; the next getCollisionMesh builds it again.
    void releaseMesh();
    // A fingerprint of the mesh connected to `inShape` (its faces and its object-space
    // points, tweaks included); 0 without one. Bodies compare it with their build's.
    std::uint64_t meshFingerprint() const;

    // Removal handler for this node type: the mesh goes with the node.
    static void nodeRemovedCallback(MObject& node, void* clientData);

private:
    // Rebuilds the mesh from mesh data. The full build follows the host's convexity and
    // triangulation and may refresh the mesh in place; the simple one makes a new mesh.
    void buildMesh(const MObject& meshData, bool flip, bool force, bool full);
    void applyParams(MDataBlock& data);
    // The mesh data read from `inShape` while a mesh is connected there, else none.
    MObject meshInput(const MObject& value) const;

    ZYLmesh* mesh_ = nullptr;
};

// Every body or cracker whose collision shape lost its mesh, and every body whose mesh
// has changed since its build (other than by animation), is built again, as opening the
// scene builds it: with no mesh it has no engine body (and a body leaves its fracture
// body).
void rebuildBodiesOfChangedMeshes();
// The collision shape's type written back to itself: the bodies and crackers it feeds are
// built again at their next read. False when the node is no collision shape.
bool rewriteShapeTypeOf(const MObject& shape);

// The shape the body commands give a node: "<node>Shape", fed by that instance of the
// mesh's world geometry, feeding the node's `typeInput` (and, when given, its
// `animatedInput` from `animatedMesh`), made through the modifier and built with the type.
MObject addCollisionShape(MDGModifier& modifier, const MObject& node, const MObject& typeInput, const MDagPath& mesh,
                          unsigned instance, int type, const MObject* animatedInput = nullptr);
