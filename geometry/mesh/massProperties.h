#pragma once

#include "geometry/mesh/meshRecords.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

// Volume, centre and inertia of closed polygon meshes by surface integrals over fan
// triangles of their faces (density 1, so the "mass" of the integrals is the volume).
// Only local vertices are read; face normals are ignored. The volume is positive for
// faces wound counter-clockwise seen from outside and negative for an inverted mesh.

// Signed volume; centre = volume centroid, or the centre of the vertex bounds when the
// centroid is not plausible (outside the bounds, volume below 1e-5 or a negative
// principal moment). A null mesh or one without vertices gives 0 and centre (0,0,0).
double ComputeMassProperties(const ZYLmesh* mesh, Qmt::QmtVector3& centre);
double ComputeMassProperties(const ZYL_DFmesh* mesh, Qmt::QmtVector3& centre);

// Inertia tensor of the mesh scaled component-wise by scale, for the given mass,
// about centre (parallel-axis shift from the origin). A mesh without a usable volume
// is taken as equal point masses at its vertices. Returns the inertia output.
Qmt::QmtMatrix3& computeScaledMassProperties(Qmt::QmtMatrix3& inertia, const ZYLmesh* mesh,
                                             const double& mass, const Qmt::QmtVector3& centre,
                                             const Qmt::QmtVector3& scale);

// Signed volume by tetrahedra from the origin: (1/6) * sum over the fan triangles
// (v0, vk, vk+1) of v0 . (vk x vk+1). Equals the integral volume for a closed mesh; an
// open surface gives the signed volume of its cone to the origin.
double computeMeshVolume(const ZYLmesh* mesh);
double computeMeshVolume(const ZYL_DFmesh* mesh);

// Signed volume; centre = first moments / volume with no plausibility test.
double computeMeshCentroid(const ZYLmesh* mesh, Qmt::QmtVector3& centre);

// 0.5 * normal . sum of v(i+1) x v(i): positive for a loop running clockwise seen from
// the tip of the normal; 0 for fewer than 3 points.
double computePolygonArea(const Qmt::QmtVector3* loop, unsigned count,
                          const Qmt::QmtVector3& normal);
