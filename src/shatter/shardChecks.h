#pragma once

#include <cstdint>

#include "geometry/mesh/meshRecords.h"
#include "math/qmtVector3.h"

// What the shatter checks of a closed source and of the shards cut from it: a shard
// comes out closed and right side out, and together they hold the source's volume.
// Everything is measured on the world vertices.

// Every edge is run once each way by the faces, and none twice the same way (faces of
// fewer than three corners, corners out of range and edges from a vertex to itself
// leave it open).
bool isClosedSurface(const ZYL_DFmesh& mesh);

struct SurfaceMeasure {
    bool closed = false;  // every edge run once each way by the faces, and none twice the same way
    double volume = 0.0;  // signed (positive with the faces wound outwards), taken about a point
    double area = 0.0;
    // Sum over the faces of their area times their farthest corner from the face's plane:
    // what fanning the faces another way can change the volume by.
    double bend = 0.0;
    double reach = 0.0;   // farthest vertex from the point the volume was taken about
};

// Measures the mesh, its volume taken about `about` (a point near it keeps the sums exact).
SurfaceMeasure measureSurface(const ZYL_DFmesh& mesh, const Qmt::QmtVector3& about);

// The least and the greatest extent of the mesh's oriented box (of the same fit that the
// clipper scales a mesh by).
struct MeshExtent {
    double thickness = 0.0;
    double size = 0.0;
};
MeshExtent meshExtent(const ZYL_DFmesh& mesh);

// A closed mesh thinner than this share of its size is beyond the cut's tolerances: the
// clipper works to about 1e-5 of a mesh it scales to a thickness of 160, and plates
// thinner than about 2.5e-5 of their size come out with shards inside out; the bound
// keeps a margin of four.
inline constexpr double kThinnestShare = 1e-4;
inline bool tooThinToCut(const MeshExtent& extent) { return !(extent.thickness >= kThinnestShare * extent.size); }

// The shards of a closed source, tallied as they come.
class ShardTally {
public:
    ShardTally(const SurfaceMeasure& source, const Qmt::QmtVector3& about) : source_(source), about_(about) {}

    // False for a shard that is open, flat or inside out (its volume's sign not the
    // source's). `shift`: how far the cut may have moved the shard's faces.
    bool add(const SurfaceMeasure& shard, double shift);
    // Every shard was sound and their volumes add up to the source's, within what
    // rounding, the source's bent faces and the cut's own tolerances allow.
    bool sound() const;

private:
    SurfaceMeasure source_;
    Qmt::QmtVector3 about_;
    double volume_ = 0.0;
    double area_ = 0.0;
    double reach_ = 0.0;
    double moved_ = 0.0;  // sum of the shards' areas times how far their faces may have moved
    bool allSound_ = true;
};
