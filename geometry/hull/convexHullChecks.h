#pragma once

// What a hull build must pass before it is written: its faces as they will be written
// close a surface, are convex within the build's tolerances, and hold every input
// point.

#include <cstdint>
#include <vector>

#include "geometry/hull/convexHullContext.h"
#include "geometry/hull/hullPointTree.h"
#include "math/qmtVector3.h"

// The cloud's bounding box (n >= 1), found in one pass: the slacks below and the
// containment check's core all follow from it.
struct CloudBox {
    Qmt::QmtVector3 lo;
    Qmt::QmtVector3 hi;
};
CloudBox cloudBox(const Qmt::QmtVector3* points, std::uint32_t n);

// Bound on the rounding of a point's dot product with a unit normal.
double roundingSlack(const CloudBox& box);

// The cloud's size (its box diagonal), at least 1: the unit of the shape checks'
// tolerance, which never drops below the rules' absolute 1e-5.
double cloudSize(const CloudBox& box);

// The face records as they will be written, oriented counter-clockwise about their
// normals and with faces of more than 32 corners split into fans: made once, then
// checked and written.
struct OutputFaces {
    std::vector<std::uint32_t> corners;  // every record's corners, one after another
    std::vector<std::uint32_t> first;    // per record, into corners; one more at the end
    std::vector<const Qmt::QmtVector3*> normals;  // into the context's faces

    std::uint32_t count() const { return static_cast<std::uint32_t>(normals.size()); }
    std::uint32_t size(std::uint32_t j) const { return first[j + 1] - first[j]; }
    const std::uint32_t* of(std::uint32_t j) const { return corners.data() + first[j]; }
};

void makeOutputFaces(const ConvexHullContext& context, const Qmt::QmtVector3* v, OutputFaces& out);

// Whether the records make a closed surface: every directed edge once with its
// reverse once, no record passing a corner twice, and sum(corners - 2) = 2V - 4 for the
// V vertices (all used after compaction).
bool closesSurface(const OutputFaces& faces, std::uint32_t vertexCount);

// Whether the working faces' corners add up as those of a closed surface on
// vertexCount vertices: sum(corners - 2) = 2V - 4. Records made from faces that fail
// this fail closesSurface whatever they hold, so they need not be made.
bool turnsClose(const ConvexHullContext& context, std::uint32_t vertexCount);

// Whether every working face is flat and convex and every edge convex, each within
// `slack` plus, for a merged face, its extent times the merge angle.
bool convexSurface(const ConvexHullContext& context, const Qmt::QmtVector3* v, std::uint32_t vertexCount,
                   double slack);

// Whether every input point lies below the plane of every record (its first corner and
// normal) within `slack` plus the merge angle over the record's extent; a record
// without a unit normal fails. `ahead`, when given, is a tree of every point of the
// cloud made for this check (see makeCheckTree); the check then walks it.
bool holdsCloud(const OutputFaces& faces, const Qmt::QmtVector3* v, const Qmt::QmtVector3* points,
                std::uint32_t n, const CloudBox& box, double slack, HullPointTree* ahead = nullptr);

// The containment check's point tree over the whole cloud points[0..n), for about
// expectedRecords planes, which a build can have made on another thread while it
// grows. The check leaves out of its own tree only the points of a core that lie below
// every plane; where most points end as hull vertices (a cloud on a sphere) that core
// holds almost none, so a tree of them all costs the check's walks nothing more.
void makeCheckTree(HullPointTree& tree, const Qmt::QmtVector3* points, std::uint32_t n,
                   std::uint32_t expectedRecords);
