#pragma once

#include <cstdint>

#include "geometry/bounds/boundingVolumes.h"
#include "geometry/mesh/meshRecords.h"
#include "math/qmtVector3.h"

// Seed-point patterns: where the Voronoi seeds of a shatter go inside a mesh.
//
// Every pattern works in the space of the mesh's local vertices, inside the convex
// hull of those vertices (of at most 256 of them), and draws its random numbers from
// the module's one generator (Qmt::Math): a pattern restarts it with its seed when the
// seed is not 0, so the same seed and mesh give the same points, while seed 0 goes on
// with the running sequence. Each point pushed inside the hull, and each clamp into a
// box, takes one draw of its own.

// The seed-generator record that the shatter command and the shatter preview fill.
// Plain and copied member-wise: the two pointers are borrowed, never owned.
struct zyl_shatter_params {
    Qmt::QmtVector3* points;        // output array, sized by the caller for `requested`
    std::uint32_t requested;        // seeds asked for
    std::uint32_t produced;         // set to `requested` by the caller; path and failures rewrite it
    Qmt::QmtVector3 centre;         // radial and planar centre; the clustered pattern's single centre
    Qmt::QmtVector3* samples;       // points sampled along the path curve, or null
    std::uint32_t numSamples;
    double width;
    std::int32_t maxRings;          // upper ring bound; the dispatch stores the drawn ring count here
    std::int32_t minRings;
    std::int32_t numCentres;        // centres of the clustered pattern
    Qmt::QmtVector3 centres[5];     // centre slots of the clustered pattern
    double maxNoise;                // upper noise bound; the dispatch stores the drawn noise here
    double minNoise;
    std::int32_t radialAxis;        // the box axis the radial and planar patterns treat specially
    std::uint32_t seed;
    std::uint8_t pushFlag;          // handed to the clustered pattern's pushes (0: random start face)
    std::uint16_t style;            // 1 clustered, 2 radial, 3 planar, 4 path, anything else uniform

    // Clears the two pointers, the centre, the five centres and the push flag; the
    // caller sets every other field.
    zyl_shatter_params() : points(nullptr), centre(), samples(nullptr), centres(), pushFlag(0) {}
    zyl_shatter_params(const zyl_shatter_params&) = default;
    zyl_shatter_params& operator=(const zyl_shatter_params&) = default;
};

// Runs the pattern the record's style names on the mesh and writes its seeds into
// `points`. Style 1 first copies centre slot 0 into the centre, clears the push flag and
// caps the centres at 5; style 2 first draws the ring count and the noise between their
// bounds when the bounds differ. `box` (a centre, three axes and three half extents)
// steers only the uniform pattern. On failure the produced count becomes 0.
bool runSeedPattern(zyl_shatter_params& params, ZYL_DFmesh* mesh, const ZYLbox* box = nullptr);

// The patterns. Each writes its points from out[0] and returns false when the mesh has
// no hull or the box of the points it fits is flat (volume e0 e1 e2 below 1e-5).

// Uniform in the hull's oriented box, pushed inside. With a box: the sampling box is the
// part of the hull's box (its axes kept) that the given box covers.
bool uniformSeeds(const ZYL_DFmesh* mesh, Qmt::QmtVector3* out, std::uint32_t n, std::uint32_t seed,
                  const ZYLbox* box = nullptr);
// Gaussian pairs around up to five centres (numCentres > 1: slots centres[0..]) or
// around `centre`; n - 1 points at most, the entries not made stay as given.
bool clusteredSeeds(const ZYL_DFmesh* mesh, Qmt::QmtVector3* out, std::uint32_t n, std::uint32_t seed,
                    const Qmt::QmtVector3& centre, const Qmt::QmtVector3 centres[5], std::int32_t numCentres,
                    double width, bool pushFlag);
// `rings` noisy rings of n / rings points each in the plane of the mesh's box that
// `axis` names; the entries not made stay as given. False for fewer than one ring or
// fewer points than rings.
bool radialSeeds(const ZYL_DFmesh* mesh, Qmt::QmtVector3* out, std::uint32_t n, std::uint32_t seed,
                 const Qmt::QmtVector3& centre, std::int32_t rings, double noise, std::int32_t axis, double width);
// A thin slab through the centre, across the mesh box's axis `axis`.
bool planarSeeds(const ZYL_DFmesh* mesh, Qmt::QmtVector3* out, std::uint32_t n, std::uint32_t seed,
                 const Qmt::QmtVector3& centre, std::int32_t axis, double width);
// Gaussian scatter along the part of the sampled curve inside the hull; the number made
// goes to `produced`. False without samples or output, or when no sample lies inside.
bool pathSeeds(const ZYL_DFmesh* mesh, Qmt::QmtVector3* out, std::uint32_t requested, std::uint32_t seed,
               const Qmt::QmtVector3* samples, std::uint32_t numSamples, double width, std::uint32_t& produced);

// n points uniform in the hull's box pushed inside the hull (margin 0.01); `flag` picks
// the push of the nearest face instead of a random start face.
bool generateSeedsInHull(const ZYL_DFmesh* mesh, Qmt::QmtVector3* out, std::uint32_t n, std::uint32_t seed,
                         bool flag);

// The same patterns on the engine's compact mesh. Uniform: no box, push margin 0.01.
// Radial: the first ring's noise scaled by 0.005. Clustered: a pair with a point within
// sqrt(0.001) of an earlier point is dropped (its places stay as given), no sorting.
bool uniformSeeds(const ZYLmesh* mesh, Qmt::QmtVector3* out, std::uint32_t n, std::uint32_t seed);
bool clusteredSeeds(const ZYLmesh* mesh, Qmt::QmtVector3* out, std::uint32_t n, std::uint32_t seed,
                    const Qmt::QmtVector3& centre, const Qmt::QmtVector3 centres[5], std::int32_t numCentres,
                    double width, bool pushFlag);
bool radialSeeds(const ZYLmesh* mesh, Qmt::QmtVector3* out, std::uint32_t n, std::uint32_t seed,
                 const Qmt::QmtVector3& centre, std::int32_t rings, double noise, std::int32_t axis, double width);
bool pathSeeds(const ZYLmesh* mesh, Qmt::QmtVector3* out, std::uint32_t requested, std::uint32_t seed,
               const Qmt::QmtVector3* samples, std::uint32_t numSamples, double width, std::uint32_t& produced);
