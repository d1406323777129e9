#pragma once

// The steps the seed patterns share, over a hull already built: the detailed-mesh
// patterns and their compact-mesh twins differ only in how they get the hull and in
// a few constants.

#include <cstdint>
#include <memory>

#include "geometry/bounds/boundingVolumes.h"
#include "geometry/mesh/meshRecords.h"
#include "math/qmtVector3.h"

namespace seedPatterns {

using HullPtr = std::unique_ptr<ZYLmesh>;

// Margin of the box tests and of the moves of centres: 1e-5.
inline constexpr double kBoxMargin = 1e-5;

// Restarts the generator with the seed unless it is 0.
void reseed(std::uint32_t seed);

// The convex hull of the local vertices: of all of them up to 256, else of a reduced
// set of 256. Null when there is none.
HullPtr buildSeedHull(const ZYL_DFmesh& mesh);
HullPtr buildSeedHull(const ZYLmesh& mesh);

// The oriented box of the points, and whether it has volume (e0 e1 e2 at least 1e-5).
ZYLbox fitBox(const Qmt::QmtVector3* points, std::uint32_t count);
bool hasVolume(const ZYLbox& box);

// The start of most patterns: reseed, build the hull and fit its box; null when there
// is no hull or its box is flat.
HullPtr seededHullAndBox(const ZYL_DFmesh& mesh, std::uint32_t seed, ZYLbox& hullBox);
HullPtr seededHullAndBox(const ZYLmesh& mesh, std::uint32_t seed, ZYLbox& hullBox);
// The same with the box of the mesh's own vertices instead of the hull's.
HullPtr seededHullAndMeshBox(const ZYL_DFmesh& mesh, std::uint32_t seed, ZYLbox& meshBox);
HullPtr seededHullAndMeshBox(const ZYLmesh& mesh, std::uint32_t seed, ZYLbox& meshBox);

// Random-start push inside the hull (the nearest face with nearestFace); one draw.
void pushInside(const ZYLmesh& hull, Qmt::QmtVector3& p, double margin, bool nearestFace = false);
// Moves p inside the hull (margin 1e-5) when it lies outside the box.
void keepInside(const ZYLmesh& hull, const ZYLbox& box, Qmt::QmtVector3& p, bool nearestFace = false);

// Stable sort by squared length, then separation of neighbours closer than sqrt(0.001):
// p_i += 10 (p_i - p_i+1) + nudge, once per pair or until the pair is apart.
void sortAndSeparate(Qmt::QmtVector3* points, std::uint32_t count, const Qmt::QmtVector3& nudge, bool repeat);

// n points r = centre + A (r0 e0, r1 e1, r2 e2) of the box, each pushed inside the hull
// with the margin, then sorted and separated once with the nudge (1e-4, 0, 0).
void uniformInBox(const ZYLmesh& hull, const ZYLbox& box, Qmt::QmtVector3* out, std::uint32_t n, double margin,
                  bool nearestFace);

// The pattern bodies after the hull (and, for radial and planar, the box of the mesh's
// own vertices) exist; both boxes have passed the volume test where the pattern asks.
struct ClusterSettings {
    Qmt::QmtVector3 centre;
    const Qmt::QmtVector3* centres = nullptr;  // five slots
    std::int32_t numCentres = 0;
    double width = 0.0;
    bool pushFlag = false;
    bool dropNearPairs = false;  // the compact-mesh twin: drop close pairs, keep the order
};
void clusterAround(const ZYLmesh& hull, const ZYLbox& hullBox, Qmt::QmtVector3* out, std::uint32_t n,
                   const ClusterSettings& settings);

struct RingSettings {
    Qmt::QmtVector3 centre;
    std::int32_t rings = 0;
    double noise = 0.0;
    std::int32_t axis = 0;
    double width = 0.0;
    double firstRingNoise = 1.0;  // scale of the first ring's noise
};
bool ringsAround(const ZYLmesh& hull, const ZYLbox& meshBox, Qmt::QmtVector3* out, std::uint32_t n,
                 const RingSettings& settings);

bool alongPath(const ZYLmesh& hull, Qmt::QmtVector3* out, std::uint32_t requested, const Qmt::QmtVector3* samples,
               std::uint32_t numSamples, double width, std::uint32_t& produced);

}  // namespace seedPatterns
