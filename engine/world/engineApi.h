#pragma once

#include <cstdint>

#include "geometry/meshRecords.h"

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
