#include "engine/collision/convex/pkJumpQueries.h"

#include "engine/collision/convex/pkJump.h"

std::uint32_t pkJumpHullBoxQuery(const BVmesh* hull, const BVbox* box, int /*lane*/) {
    const Pk_jump* solver = getPkJumpInstance();
    if (!solver || !hull || !box) {
        return 1;
    }
    // A zero cache: the solver starts from the direction between the two centres.
    ProximityCache cache;
    return solver->testHullBox(*hull, *box, cache);
}

std::uint32_t pkJumpHullHullQuery(const BVmesh* hullA, const BVmesh* hullB) {
    const Pk_jump* solver = getPkJumpInstance();
    if (!solver || !hullA || !hullB) {
        return 1;
    }
    ProximityCache cache;
    return solver->testHullHull(*hullA, *hullB, cache);
}
