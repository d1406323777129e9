#pragma once

#include <cstdint>

#include "geometry/mesh/meshRecords.h"
#include "math/qmtVector3.h"

// The engine's flat interface: the free functions through which the host layer makes,
// copies and deletes engine objects. Nothing here keeps a reference to what it is
// given; every object returned is owned by the caller until handed to its deletion
// function.

// ---- Meshes and convexity tests ----------------------------------------------------
//
// Creators return null when a count they need is 0 or an allocation fails; a mesh that
// could not be completed is freed first. Every array they make is zeroed.

// A mesh of vertexCount zeroed local and world vertices and per-vertex velocities (the
// velocity flag stays 0: the mesh carries no velocities) and faceCount empty faces
// (no corners, no edges, marker 1, flags 0) with zeroed local and world face normals.
ZYLmesh* createMesh(std::uint32_t vertexCount, std::uint32_t faceCount);
// The same with uvCount zeroed UVs (none for 0).
ZYLmesh* createMeshWithUVs(std::uint32_t vertexCount, std::uint32_t uvCount, std::uint32_t faceCount);
// Deep copy: every array, every face record and the placement; null for a null mesh,
// a mesh without vertices or faces, or on allocation failure.
ZYLmesh* copyMesh(const ZYLmesh* mesh);

// A detailed mesh of vertexCount zeroed local and world vertices, no corner normals,
// uvCount zeroed UVs and faceCount empty faces with zeroed local and world face
// normals. With uvSetCount > 1 the mesh carries extra UV sets (MESH_UV_SETS) of
// uvCount entries each: uvSetCount - 1 of them, and at most the eight slots it has.
ZYL_DFmesh* createDFmesh(std::uint32_t vertexCount, std::uint32_t uvCount, std::uint32_t faceCount,
                         std::uint32_t uvSetCount);
// Deep copy of vertices, world vertices, corner normals, UVs and the extra UV sets,
// every face (index arrays, edge list, flags), the face normals and the placement; null
// for a null mesh, a mesh without vertices or faces, or on allocation failure.
ZYL_DFmesh* copyDFmesh(const ZYL_DFmesh* mesh);
// The same copy with only the faces whose entry in `keep` (one per face) is nonzero,
// each with its face normals; every vertex and attribute array is copied whole. Null
// as copyDFmesh, and also when no face is kept.
ZYL_DFmesh* copyDFmeshFaces(const ZYL_DFmesh* mesh, const std::uint8_t* keep);
// Replaces the mesh's corner-normal array by n zeroed vectors (the old one is freed);
// the corner-normal count is the caller's to set. False for a null mesh or when the
// allocation fails, the old array then kept.
bool allocDFmeshNormals(ZYL_DFmesh* mesh, std::uint32_t n);

// Delete the mesh the pointer holds, if any, and null the pointer.
void deleteMesh(ZYLmesh** mesh);
void deleteDFmesh(ZYL_DFmesh** mesh);

// Nulls *pointer and does nothing else (a null address is ignored).
template <class T>
void clearPointer(T** pointer) {
    if (pointer) {
        *pointer = nullptr;
    }
}

// Whether a mesh is close enough to its convex hull to stand for it: with V the mesh's
// volume and H its hull's (the hull of every local vertex below 512 vertices, else the
// reduced hull of 512), V != 0, 0.9 V <= H and V / H >= 0.8. False without a mesh or
// when no hull can be made.
bool isNearlyConvex(const ZYL_DFmesh* mesh);
bool isNearlyConvexMesh(const ZYLmesh* mesh);

// ---- The world ----------------------------------------------------------------------

class CapsuleBody;
class DynamicStress;
class HardBody;
class PrivateHardBody;
class PublicWorld;

// The one engine world of the process (null while there is none). createWorld and
// destroyWorld keep it; the body deletion functions take bodies out of it first.
PublicWorld*& engineWorld();

// A new world, which also becomes the global one (a world held there before is not
// deleted: destroy it first). Null, and a null global, when memory runs out.
PublicWorld* createWorld();
// Deletes the world *world holds, if any, and nulls the global world in every case.
// *world itself is left as it is: pass the global's own address to clear both.
void destroyWorld(PublicWorld** world);

// Switch the global world's contact groups; false when there is no world.
bool enableContactGroups();
bool disableContactGroups();

// ---- Bodies and joints --------------------------------------------------------------
//
// Each creator returns a new body owned by the caller, or null when memory runs out.
// None files the body in the world and none places it: until the caller's init, the
// body's record holds its box in the world (centre offset = world centre, local axes
// = world box axes, box size = world sides). Meshes are read, never kept.

// An infinite plane through point, placed, active and static at once, with restitution
// 0.3 and friction 0.7 (single-precision values). A normal shorter than 1e-5 becomes
// (0, 1, 0), also in the caller's vector.
HardBody* createBarrierBody(const Qmt::QmtVector3& point, Qmt::QmtVector3& normal);
// Box body around the mesh's vertices (oriented box fit) with that box as its mesh. A
// null mesh gives an empty body of the kind, here and in every creator below.
HardBody* createPhantomBody(const ZYLmesh* mesh);
// Convex body: the hull of every vertex for meshes of up to 511 vertices, else the
// reduced hull of 512, with its bound; the record is the hull's oriented box.
HardBody* createHullBody(const ZYLmesh* mesh);
// Capsule fitted to the mesh's vertices, with the box around it and its box mesh.
HardBody* createCapsuleBody(const ZYLmesh* mesh);
HardBody* createCrackerBody(const ZYLmesh* mesh);
// Triangle-mesh body: faces of more than three corners become fans from their first
// corner, each triangle with its face's normal; an unbuilt box tree; a bound over the
// triangles unless some face index is out of range (then an empty bound).
HardBody* createTriMeshBody(const ZYLmesh* mesh);
// The hull body when the mesh is nearly convex (volume V != 0, hull volume H with
// 0.9 V <= H and V / H >= 0.8), else a triangle-mesh body.
HardBody* createBestMeshBody(const ZYLmesh* mesh);

// Whether the body's placed mesh has no positive volume (volume * 500 <= 0). False for
// a null body.
bool isDegenerateVolume(HardBody* body);

// Writes the capsule of segment a-b and radius r into the body's world capsule:
// centre the midpoint, axis the unit direction (zero when |b - a| <= 1e-5), length
// |b - a|. A null body is ignored.
void setCapsuleFromSegment(CapsuleBody* body, const Qmt::QmtVector3& a, const Qmt::QmtVector3& b, double r);

// A default joint; null when memory runs out.
DynamicStress* createDynamicStress();

// Take the body out of the global world (when there is one), delete it and null the
// caller's pointer; the same for the three pointer types callers hold.
void deleteBody(HardBody** body);
void deleteBodyPtr(PrivateHardBody** body);
void deleteBodyRef(HardBody*& body);

// ---- Fracture bodies ----------------------------------------------------------------

class FractureBody;

// A new, empty fracture body owned by the caller; null when memory runs out.
HardBody* createFractureBody();
// Takes the body out of the global world (when there is one), deletes its joints and
// the children its splits made, deletes it and nulls the caller's pointer; its
// fragments survive, detached. A null address or pointer does nothing.
void deleteFractureBody(FractureBody** body);
