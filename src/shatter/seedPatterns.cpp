#include "src/shatter/seedPatterns.h"

#include <algorithm>

#include "geometry/bounds/boxFit.h"
#include "geometry/query/convexMeshQueries.h"
#include "math/qmtMath.h"
#include "src/shatter/seedPatternCore.h"

using Qmt::QmtVector3;
using namespace seedPatterns;

namespace {

// The part of the hull's box that the given box covers, on the hull box's axes: the
// given box's centre is first brought within the hull box grown by half, then each
// face centre of the hull box outside the given box is clamped into it; per axis the
// two face centres give the midpoint and the half extent.
ZYLbox coveredPart(const ZYLbox& hullBox, ZYLbox given) {
    ZYLbox grown = hullBox;
    grown.halfExtents *= 1.5;
    if (!pointInOrientedBox(given.centre, grown, kBoxMargin)) {
        clampPointToOrientedBox(grown, given.centre);
    }
    ZYLbox out;
    out.axes = hullBox.axes;
    for (unsigned k = 0; k < 3; ++k) {
        const QmtVector3 axis = hullBox.axes.GetColumn(k);
        const QmtVector3 reach = axis * hullBox.halfExtents[static_cast<int>(k)];
        QmtVector3 ends[2] = {hullBox.centre + reach, hullBox.centre - reach};
        for (QmtVector3& end : ends) {
            if (!pointInOrientedBox(end, given, kBoxMargin)) {
                clampPointToOrientedBox(given, end);
            }
        }
        const QmtVector3 mid = (ends[0] + ends[1]) * 0.5;
        out.centre += axis * axis.Dot(mid);
        out.halfExtents[static_cast<int>(k)] = (ends[0] - ends[1]).Length() * 0.5;
    }
    return out;
}

// The start of most patterns on either mesh: the mesh and output checks, then the
// seeded hull and the box of the hull (ofHull) or of the mesh's own vertices, handed to
// the pattern's body; false when any of them is missing or flat.
template <class Mesh, class Body>
bool withHull(const Mesh* mesh, QmtVector3* out, std::uint32_t n, std::uint32_t seed, bool ofHull, Body body) {
    if (!mesh || (!out && n != 0)) {
        return false;
    }
    ZYLbox box;
    const HullPtr hull = ofHull ? seededHullAndBox(*mesh, seed, box) : seededHullAndMeshBox(*mesh, seed, box);
    return hull && body(*hull, box);
}

template <class Mesh>
bool inHull(const Mesh* mesh, QmtVector3* out, std::uint32_t n, std::uint32_t seed, bool nearestFace) {
    return withHull(mesh, out, n, seed, true, [&](const ZYLmesh& hull, const ZYLbox& box) {
        uniformInBox(hull, box, out, n, 0.01f, nearestFace);
        return true;
    });
}

template <class Mesh>
bool clustered(const Mesh* mesh, QmtVector3* out, std::uint32_t n, std::uint32_t seed, const ClusterSettings& s) {
    if (s.numCentres > 1 && !s.centres) {
        return false;
    }
    return withHull(mesh, out, n, seed, true, [&](const ZYLmesh& hull, const ZYLbox& box) {
        clusterAround(hull, box, out, n, s);
        return true;
    });
}

template <class Mesh>
bool radial(const Mesh* mesh, QmtVector3* out, std::uint32_t n, std::uint32_t seed, const RingSettings& s) {
    if (s.rings < 1) {
        return false;
    }
    return withHull(mesh, out, n, seed, false,
                    [&](const ZYLmesh& hull, const ZYLbox& box) { return ringsAround(hull, box, out, n, s); });
}

template <class Mesh>
bool alongCurve(const Mesh* mesh, QmtVector3* out, std::uint32_t requested, std::uint32_t seed,
                const QmtVector3* samples, std::uint32_t numSamples, double width, std::uint32_t& produced) {
    if (!mesh || !out || !samples) {
        return false;
    }
    reseed(seed);
    const HullPtr hull = buildSeedHull(*mesh);
    return hull && alongPath(*hull, out, requested, samples, numSamples, width, produced);
}

}  // namespace

bool uniformSeeds(const ZYL_DFmesh* mesh, QmtVector3* out, std::uint32_t n, std::uint32_t seed, const ZYLbox* box) {
    return withHull(mesh, out, n, seed, true, [&](const ZYLmesh& hull, const ZYLbox& hullBox) {
        const ZYLbox sampling = box ? coveredPart(hullBox, *box) : hullBox;
        const QmtVector3& e = sampling.halfExtents;
        const double margin = 0.05f * 0.33f * (e.x + e.y + e.z);
        uniformInBox(hull, sampling, out, n, margin, false);
        return true;
    });
}

bool clusteredSeeds(const ZYL_DFmesh* mesh, QmtVector3* out, std::uint32_t n, std::uint32_t seed,
                    const QmtVector3& centre, const QmtVector3 centres[5], std::int32_t numCentres, double width,
                    bool pushFlag) {
    return clustered(mesh, out, n, seed, {centre, centres, numCentres, width, pushFlag, false});
}

bool radialSeeds(const ZYL_DFmesh* mesh, QmtVector3* out, std::uint32_t n, std::uint32_t seed,
                 const QmtVector3& centre, std::int32_t rings, double noise, std::int32_t axis, double width) {
    return radial(mesh, out, n, seed, {centre, rings, noise, axis, width, 1.0});
}

bool planarSeeds(const ZYL_DFmesh* mesh, QmtVector3* out, std::uint32_t n, std::uint32_t seed,
                 const QmtVector3& centre, std::int32_t axis, double width) {
    return withHull(mesh, out, n, seed, false, [&](const ZYLmesh& hull, const ZYLbox& box) {
        QmtVector3 c = centre;
        keepInside(hull, box, c);
        const QmtVector3& e = box.halfExtents;
        const double thin = 0.01f;
        const double margin = 0.1f;
        for (std::uint32_t i = 0; i < n; ++i) {
            const double r0 = Qmt::Math::SymmetricRandom();
            const double r1 = Qmt::Math::SymmetricRandom();
            const double r2 = Qmt::Math::SymmetricRandom();
            QmtVector3 offset;
            switch (axis) {
                case 0: offset = {thin * r0 * e.x, r1 * e.y, width * r2 * e.z}; break;
                case 1: offset = {r0 * e.x, thin * r1 * e.y, width * r2 * e.z}; break;
                default: offset = {r0 * e.x, width * r1 * e.y, thin * r2 * e.z}; break;
            }
            QmtVector3 p = c + box.axes * offset;
            pushInside(hull, p, margin);
            out[i] = p;
        }
        sortAndSeparate(out, n, {1e-4, 0.0, 0.0}, false);
        return true;
    });
}

bool pathSeeds(const ZYL_DFmesh* mesh, QmtVector3* out, std::uint32_t requested, std::uint32_t seed,
               const QmtVector3* samples, std::uint32_t numSamples, double width, std::uint32_t& produced) {
    return alongCurve(mesh, out, requested, seed, samples, numSamples, width, produced);
}

bool generateSeedsInHull(const ZYL_DFmesh* mesh, QmtVector3* out, std::uint32_t n, std::uint32_t seed, bool flag) {
    return inHull(mesh, out, n, seed, flag);
}

// The compact mesh's twins: the same bodies with the differences the header lists.

bool uniformSeeds(const ZYLmesh* mesh, QmtVector3* out, std::uint32_t n, std::uint32_t seed) {
    return inHull(mesh, out, n, seed, false);
}

bool clusteredSeeds(const ZYLmesh* mesh, QmtVector3* out, std::uint32_t n, std::uint32_t seed,
                    const QmtVector3& centre, const QmtVector3 centres[5], std::int32_t numCentres, double width,
                    bool pushFlag) {
    return clustered(mesh, out, n, seed, {centre, centres, numCentres, width, pushFlag, true});
}

bool radialSeeds(const ZYLmesh* mesh, QmtVector3* out, std::uint32_t n, std::uint32_t seed,
                 const QmtVector3& centre, std::int32_t rings, double noise, std::int32_t axis, double width) {
    return radial(mesh, out, n, seed, {centre, rings, noise, axis, width, 0.005});
}

bool pathSeeds(const ZYLmesh* mesh, QmtVector3* out, std::uint32_t requested, std::uint32_t seed,
               const QmtVector3* samples, std::uint32_t numSamples, double width, std::uint32_t& produced) {
    return alongCurve(mesh, out, requested, seed, samples, numSamples, width, produced);
}

bool runSeedPattern(zyl_shatter_params& params, ZYL_DFmesh* mesh, const ZYLbox* box) {
    zyl_shatter_params& p = params;
    bool made = false;
    switch (p.style) {
        case 1:
            p.centre = p.centres[0];
            p.pushFlag = 0;
            p.numCentres = std::min(p.numCentres, 5);
            made = clusteredSeeds(mesh, p.points, p.requested, p.seed, p.centre, p.centres, p.numCentres, p.width,
                                  p.pushFlag != 0);
            break;
        case 2: {
            // Drawn from the running sequence: the pattern reseeds only afterwards.
            if (p.minRings != p.maxRings) {
                p.maxRings = static_cast<std::int32_t>(
                    static_cast<float>(Qmt::Math::IntervalRandom(p.minRings, p.maxRings)));
            }
            if (p.minNoise != p.maxNoise) {
                p.maxNoise = Qmt::Math::IntervalRandom(p.minNoise, p.maxNoise);
            }
            // Fewer than one ring would divide by zero; fewer than two points make no cut.
            const bool enough =
                p.maxRings >= 1 && p.requested / static_cast<std::uint32_t>(p.maxRings) *
                                               static_cast<std::uint32_t>(p.maxRings) >= 2;
            made = enough && radialSeeds(mesh, p.points, p.requested, p.seed, p.centre, p.maxRings, p.maxNoise,
                                         p.radialAxis, p.width);
            break;
        }
        case 3:
            made = planarSeeds(mesh, p.points, p.requested, p.seed, p.centre, p.radialAxis, p.width);
            break;
        case 4:
            made = pathSeeds(mesh, p.points, p.requested, p.seed, p.samples, p.numSamples, p.width, p.produced) &&
                   p.produced >= 2;
            break;
        default:
            made = uniformSeeds(mesh, p.points, p.requested, p.seed, box);
            break;
    }
    if (!made) {
        p.produced = 0;
    }
    return made;
}
