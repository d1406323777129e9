// The seed patterns on the engine's compact mesh (ZYLmesh): the same steps over the
// hull of its local vertices, with the differences the header lists.

#include "src/shatter/seedPatternCore.h"
#include "src/shatter/seedPatterns.h"

using Qmt::QmtVector3;
using namespace seedPatterns;

namespace {

bool writable(const ZYLmesh* mesh, const QmtVector3* out, std::uint32_t n) { return mesh && (out || n == 0); }

}  // namespace

bool uniformSeeds(const ZYLmesh* mesh, QmtVector3* out, std::uint32_t n, std::uint32_t seed) {
    if (!writable(mesh, out, n)) {
        return false;
    }
    ZYLbox hullBox;
    const HullPtr hull = seededHullAndBox(*mesh, seed, hullBox);
    if (!hull) {
        return false;
    }
    uniformInBox(*hull, hullBox, out, n, 0.01f, false);
    return true;
}

bool clusteredSeeds(const ZYLmesh* mesh, QmtVector3* out, std::uint32_t n, std::uint32_t seed,
                    const QmtVector3& centre, const QmtVector3 centres[5], std::int32_t numCentres, double width,
                    bool pushFlag) {
    if (!writable(mesh, out, n) || (numCentres > 1 && !centres)) {
        return false;
    }
    ZYLbox hullBox;
    const HullPtr hull = seededHullAndBox(*mesh, seed, hullBox);
    if (!hull) {
        return false;
    }
    clusterAround(*hull, hullBox, out, n, {centre, centres, numCentres, width, pushFlag, true});
    return true;
}

bool radialSeeds(const ZYLmesh* mesh, QmtVector3* out, std::uint32_t n, std::uint32_t seed,
                 const QmtVector3& centre, std::int32_t rings, double noise, std::int32_t axis, double width) {
    if (!writable(mesh, out, n) || rings < 1) {
        return false;
    }
    ZYLbox meshBox;
    const HullPtr hull = seededHullAndMeshBox(*mesh, seed, meshBox);
    if (!hull) {
        return false;
    }
    return ringsAround(*hull, meshBox, out, n, {centre, rings, noise, axis, width, 0.005});
}

bool pathSeeds(const ZYLmesh* mesh, QmtVector3* out, std::uint32_t requested, std::uint32_t seed,
               const QmtVector3* samples, std::uint32_t numSamples, double width, std::uint32_t& produced) {
    if (!mesh || !out || !samples) {
        return false;
    }
    reseed(seed);
    const HullPtr hull = buildSeedHull(*mesh);
    return hull && alongPath(*hull, out, requested, samples, numSamples, width, produced);
}
