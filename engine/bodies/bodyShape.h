#pragma once

#include <cstdint>

#include "geometry/bounds/boundingVolumes.h"
#include "geometry/mesh/meshRecords.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

class HardBody;

// Shape steps shared by the body kinds: box meshes, bringing a world-placed mesh and
// record into the body frame, the pieces every inertia tensor is built from, and the
// placing and mass-centre moves every kind makes alike.
namespace bodyshape {

// Tolerance of the local inverse inertia (the single-precision 1e-14).
inline constexpr double INVERSE_TOLERANCE = 9.9999998245167e-15;

inline double largestComponent(const Qmt::QmtVector3& v) {
    double m = v.x;
    if (v.y > m) {
        m = v.y;
    }
    if (v.z > m) {
        m = v.z;
    }
    return m;
}

// Component-wise a / b.
inline Qmt::QmtVector3 divided(const Qmt::QmtVector3& a, const Qmt::QmtVector3& b) {
    return {a.x / b.x, a.y / b.y, a.z / b.z};
}

inline Qmt::QmtVector3 reciprocal(const Qmt::QmtVector3& s) { return {1.0 / s.x, 1.0 / s.y, 1.0 / s.z}; }

// Half the largest side of a box.
inline double halfLargestSide(const Qmt::QmtVector3& size) { return 0.5 * largestComponent(size); }

// Vertices the fits may read: none when the array is missing.
inline std::uint32_t readableVertices(const ZYLmesh& mesh) { return mesh.vertices ? mesh.numVertices : 0; }

// The record's box: centre centreOffset, axes localAxes, half extents boxSize / 2.
ZYLbox recordBox(const BodyTransformRecord& record);

// The record takes the box: centreOffset, boxSize = 2 * half extents, the axes with
// their quaternion.
void takeBox(BodyTransformRecord& record, const ZYLbox& box);

// The local arrays, centre and radius take the world ones just computed.
void adoptWorldArrays(ZYLmesh& mesh);

// Rebuilds the mesh as the box with local data equal to world data. The box builder
// leaves radii alone, so they are set here to the box's corner distance: a box mesh
// must never report the radius of the shape it replaced (or 0 when new). A null mesh
// is ignored.
void rebuildBoxMesh(ZYLmesh* mesh, const ZYLbox& box);

// A new box mesh as rebuildBoxMesh makes it (local arrays in the box frame); null
// when memory runs out.
ZYLmesh* newBoxMesh(const ZYLbox& box);

// Brings a mesh given in the world into the frame of a body placed at P, turned by R
// and scaled by S (translation -P, rotation R^T, scale 1/S); the local arrays, centre
// and radius take the result. A null mesh is ignored.
void meshIntoBodyFrame(ZYLmesh* mesh, const Qmt::QmtVector3& P, const Qmt::QmtMatrix3& R,
                       const Qmt::QmtVector3& S);

// The same for the record's box: centreOffset and localAxes from world values to
// the body frame; the scale is then S.
void recordIntoBodyFrame(BodyTransformRecord& record, const Qmt::QmtVector3& P,
                         const Qmt::QmtMatrix3& R, const Qmt::QmtVector3& S);

// After a refit in the world: the mesh (at unit scale) and the record's box into the
// frame of a body at P turned by R. The radii come from the box at the record's scale,
// which then becomes 1, as the refitted geometry carries its size itself.
void refitIntoBodyFrame(ZYLmesh* mesh, BodyTransformRecord& record, const Qmt::QmtVector3& P,
                        const Qmt::QmtMatrix3& R);

// The end of an init: the body turned by R, its tensors built, and its state at rest
// at P with no force or torque.
void placeAtRest(HardBody& body, const Qmt::QmtVector3& P, const Qmt::QmtMatrix3& R);

// The init of a body shaped by its record's box: the mesh rebuilt as that box, mesh
// and record brought into the frame of a body at P turned by R and scaled by S, the
// radii from the box, the body placed at rest (placeAtRest), its mesh placed in the
// world again, and the body awake.
void initBoxShaped(HardBody& body, const Qmt::QmtVector3& P, const Qmt::QmtMatrix3& R,
                   const Qmt::QmtVector3& S);

// Moves the body's mass centre to the world point c, its shape staying where it is: the
// centre offset and the unscaled local mesh take the shift divided by the scale, and
// the position and last position become c. Returns that local shift of the geometry.
Qmt::QmtVector3 moveMassCentre(HardBody& body, const Qmt::QmtVector3& c);

// axes * I * axes^T.
Qmt::QmtMatrix3 rotatedTensor(const Qmt::QmtMatrix3& axes, const Qmt::QmtMatrix3& I);

// I + m (|c|^2 E - c c^T): the tensor moved from c to the origin.
Qmt::QmtMatrix3 shiftedTensor(const Qmt::QmtMatrix3& I, double m, const Qmt::QmtVector3& c);

// Moves every local vertex and the local centre by d.
void shiftLocalMesh(ZYLmesh& mesh, const Qmt::QmtVector3& d);

// A zeroed world-vertex array of the mesh's vertex count in place of any old one.
// False when the mesh has no vertex or memory runs out.
bool giveWorldVertices(ZYLmesh& mesh);

}  // namespace bodyshape
