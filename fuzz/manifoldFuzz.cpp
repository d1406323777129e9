// Random hulls, capsules and planes into the convex contact queries: hull-capsule,
// hull-hull and hull-plane (Pk_jump), each from a fresh cache and again from the cache
// the first call left, plus the capsule overlap tests. A contact never has more than
// PK_MAX_CONTACTS points; for finite input below 1e30 its points and value are finite
// and its normal has unit length.
//
// Input: a byte (bit 0 hull-capsule, bit 1 hull-hull, bit 2 hull-plane, bit 3 overlap
// tests; none set runs them all), the first hull's points, the second hull's points
// (FuzzInput::points, at most 64 each), the capsule (centre, axis, length, radius) and
// the plane (point, normal).
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/collision/convex/pkJump.h"
#include "fuzz/fuzzCheck.h"
#include "fuzz/fuzzHull.h"
#include "fuzz/fuzzInput.h"
#include "geometry/bounds/boundingVolumes.h"

using Qmt::QmtVector3;

namespace {

bool tame(double d) { return std::isfinite(d) && std::fabs(d) <= 1e30; }
bool tame(const QmtVector3& v) { return tame(v.x) && tame(v.y) && tame(v.z); }
bool tame(const std::vector<QmtVector3>& pts) {
    for (const QmtVector3& p : pts) {
        if (!tame(p)) return false;
    }
    return true;
}

struct Contact {
    QmtVector3 points[PK_MAX_CONTACTS];
    QmtVector3 normals[PK_MAX_CONTACTS];
    double values[PK_MAX_CONTACTS] = {};
    std::uint32_t count = 0;
    std::uint32_t featureA = 0, featureB = 0;
    QmtVector3 feature;

    void check(bool found, bool checkValues) const {
        fuzzRequire(count <= PK_MAX_CONTACTS, "at most PK_MAX_CONTACTS points");
        if (!found || count == 0 || !checkValues) return;
        for (std::uint32_t i = 0; i < count; ++i) fuzzRequire(finiteVector(points[i]), "contact point finite");
        fuzzRequire(std::isfinite(values[0]), "contact value finite");
        fuzzRequire(std::fabs(normals[0].SquaredLength() - 1.0) < 1e-6, "contact normal unit length");
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    std::uint8_t which = in.u8() & 15;
    if (which == 0) which = 15;
    const std::vector<QmtVector3> pointsA = in.points(64);
    const std::vector<QmtVector3> pointsB = in.points(64);
    ZYLcapsule capsule;
    capsule.centre = in.vector();
    capsule.axis = in.vector();
    capsule.length = in.real();
    capsule.radius = in.real();
    const QmtVector3 planePoint = in.vector();
    const QmtVector3 planeNormal = in.vector();

    const std::unique_ptr<BVmesh> a = fuzzHullVolume(pointsA);
    if (!a) return 0;
    const std::unique_ptr<BVmesh> b = fuzzHullVolume(pointsB);
    const bool tameA = tame(pointsA);
    const bool tameCapsule = tame(capsule.centre) && tame(capsule.axis) && tame(capsule.length) &&
                             tame(capsule.radius);
    Pk_jump solver;

    if (which & 1) {
        ProximityCache cache;
        for (int pass = 0; pass < 2; ++pass) {
            Contact c;
            const bool found = solver.contactHullCapsule(*a, capsule, cache, c.points, c.normals, c.count,
                                                         c.values, c.featureA, &c.feature);
            c.check(found, tameA && tameCapsule);
        }
    }
    if ((which & 2) && b) {
        ProximityCache cache;
        for (int pass = 0; pass < 2; ++pass) {
            Contact c;
            const bool found = solver.contactHullHull(*a, *b, cache, c.points, c.normals, c.count, c.values,
                                                      c.featureA, c.featureB, &c.feature);
            c.check(found, tameA && tame(pointsB));
        }
    }
    if (which & 4) {
        ProximityCache cache;
        const bool unitNormal = std::fabs(planeNormal.SquaredLength() - 1.0) < 1e-9;
        if (solver.initPlaneCache(*a, planePoint, planeNormal, cache)) {
            for (int pass = 0; pass < 2; ++pass) {
                Contact c;
                const bool found = solver.contactHullPlane(*a, planePoint, planeNormal, cache, c.points, c.normals,
                                                           c.count, c.values, c.featureA, &c.feature);
                c.check(found, tameA && tame(planePoint) && unitNormal);
            }
        }
    }
    if (which & 8) {
        ProximityCache cache;
        solver.testHullCapsule(*a, capsule, cache);
        ZYLbox record;
        record.centre = planePoint;
        record.halfExtents = {std::fabs(planeNormal.x), std::fabs(planeNormal.y), std::fabs(planeNormal.z)};
        BVbox box(&record);
        ProximityCache boxCache;
        solver.testCapsuleBox(box, capsule, boxCache);
        if (b) {
            ProximityCache pairCache;
            solver.testHullHull(*a, *b, pairCache);
        }
    }
    return 0;
}
