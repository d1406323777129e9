#pragma once

#include <cstdint>

#include "geometry/mesh/meshRecords.h"
#include "host/api/dagPath.h"
#include "math/qmtVector3.h"

// Where a shatter starts when the user gives no seeds: a few of the mesh's sharpest
// corners, where cracks look natural, and points inside the mesh.

// Up to `count` of the mesh's sharpest corner vertices, in world space, written from
// out[0]; `count` comes back as the number written. A vertex is scored by the mean
// dot product of its first face normal with its other face normals (low: sharp); the
// 16 lowest are kept and those above their mean are dropped, and the writing starts
// at a random one of the rest and wraps around. A mesh fed by a mesh-op node is judged
// by the mesh its history starts from. The generator is restarted with the seed unless
// it is 0. Vertices on fewer than two faces are never corners: without any, nothing is
// written and `count` is 0.
void findSharpCornerVertices(const MDagPath& meshPath, Qmt::QmtVector3* out, std::uint32_t& count,
                             std::uint32_t seed);

// n shatter centres: for n > 1 first the sharpest corners of the host mesh, the places
// left filled from inside the engine mesh's hull; then the last (n + 1) / 2 places are
// always points inside the hull. Each inside fill restarts the generator with the seed
// (unless 0).
void generateShatterCenters(std::uint32_t n, Qmt::QmtVector3* out, std::uint32_t seed, const MDagPath& meshPath,
                            const ZYL_DFmesh* mesh);
