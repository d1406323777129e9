// Raw doubles (NaN, infinities, denormals, 1e300 and everything between) into the
// proximity, triangle, capsule, face-distance and box-fit queries and into Pk_jump on
// two small hulls and on a hull and a box. Whatever comes in: no sanitizer report, no
// endless loop, counts within the documented bounds. When every input is finite and
// below 1e30 in magnitude (so that no product of the queries overflows), distances and
// points are finite or the documented sentinel.
//
// Input: a selector byte (the query), then the doubles, vectors and small counts the
// query reads, in its order. Output buffers are sized exactly to the documented bounds
// so that AddressSanitizer sees any write past them.
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/collision/convex/pkJump.h"
#include "fuzz/fuzzCheck.h"
#include "fuzz/fuzzHull.h"
#include "fuzz/fuzzInput.h"
#include "geometry/bounds/boundingVolumes.h"
#include "geometry/bounds/boxFit.h"
#include "geometry/mesh/bvMesh.h"
#include "geometry/query/capsuleProximity.h"
#include "geometry/query/faceDistances.h"
#include "geometry/query/proximity.h"
#include "geometry/query/triangleTests.h"

using Qmt::QmtVector3;

namespace {

// Reads through FuzzInput and remembers whether every value read was tame.
class Reader {
public:
    explicit Reader(FuzzInput& in) : in_(in) {}

    double real() {
        const double d = in_.real();
        tame_ = tame_ && std::isfinite(d) && std::fabs(d) <= 1e30;
        return d;
    }
    QmtVector3 vector() {
        const double x = real();
        const double y = real();
        return {x, y, real()};
    }
    void vectors(QmtVector3* out, std::uint32_t n) {
        for (std::uint32_t i = 0; i < n; ++i) out[i] = vector();
    }
    std::uint32_t small(std::uint32_t max) { return in_.u8() % (max + 1); }
    ZYLcapsule capsule() {
        ZYLcapsule c;
        c.centre = vector();
        c.axis = vector();
        c.length = real();
        c.radius = real();
        return c;
    }
    Qmt::QmtMatrix3 matrix() {
        double entries[9];
        for (double& e : entries) e = real();
        return Qmt::QmtMatrix3(entries);
    }
    ZYLbox box() {
        ZYLbox b;
        b.centre = vector();
        b.axes = matrix();
        b.halfExtents = vector();
        return b;
    }
    bool tame() const { return tame_; }

private:
    FuzzInput& in_;
    bool tame_ = true;
};

// A distance is never negative; on tame input it is finite or the sentinel.
void checkDistance(const Reader& r, double d, double sentinel = -1.0) {
    fuzzRequire(!(d < 0.0), "squared distance not negative");
    if (r.tame()) fuzzRequire(std::isfinite(d) || d == sentinel, "distance finite on tame input");
}

void checkPoint(const Reader& r, const QmtVector3& p) {
    if (r.tame()) fuzzRequire(finiteVector(p), "point finite on tame input");
}

// A hull over 4 to 12 points, moved by offset.
std::unique_ptr<BVmesh> hullOf(Reader& r, const QmtVector3& offset) {
    std::vector<QmtVector3> pts(4 + r.small(8));
    r.vectors(pts.data(), static_cast<std::uint32_t>(pts.size()));
    for (QmtVector3& p : pts) p += offset;
    return fuzzHullVolume(pts);
}

void proximityQueries(Reader& r, std::uint32_t which) {
    QmtVector3 a = r.vector(), b = r.vector(), c = r.vector(), d = r.vector();
    QmtVector3 tri[3];
    double s = 0, t = 0, u = 0;
    switch (which) {
        case 0: {
            QmtVector3 point, normal;
            double separation = 0;
            sphereSphereContact(a, r.real(), b, r.real(), point, normal, separation);
            checkPoint(r, point);
            checkPoint(r, normal);
            break;
        }
        case 1:
            checkDistance(r, sqrDistanceLineSegment(a, b, c, d, s, t));
            checkDistance(r, sqrDistanceLineLine(a, b, c, d, s, t));
            checkDistance(r, sqrDistanceSegmentSegment(a, b, c, d, s, t));
            break;
        case 2:
            r.vectors(tri, 3);
            checkDistance(r, sqrDistanceLineTriangle(a, b, tri, u, s, t));
            checkDistance(r, sqrDistancePointTriangle(c, tri, s, t));
            lineCrossesTriangle(a, b, tri, u, s, t);
            isDegenerateTriangle(tri[0], tri[1], tri[2], r.small(1) != 0, r.real());
            break;
        case 3:
            segmentsIntersect(a, b, c, d);
            segmentsParallel(a, b, c, d);
            intersectRaySegment(a, b, c, d, s, t);
            isPointBelowPlane(a, b, c);
            {
                const QmtVector3 pts[3] = {b, c, d};
                const std::uint32_t count = 3;
                allPointsAbovePlane(pts, &count, a, r.vector());
            }
            break;
        case 4: {
            std::uint32_t count = 0;
            QmtVector3 points[2];
            intersectRaySphere(a, b, c, r.real(), count, points);
            fuzzRequire(count <= 2, "ray-sphere count");
            double w[4];
            const QmtVector3 p[4] = {a, b, c, d};
            closestPointOnTetrahedron(p, r.vector(), w);
            break;
        }
        default:
            break;
    }
}

void capsuleQueries(Reader& r, std::uint32_t which) {
    const ZYLcapsule cap = r.capsule();
    QmtVector3 tri[3];
    r.vectors(tri, 3);
    const QmtVector3 n = r.vector();
    QmtVector3 points[2], normal, onA, onB;
    std::uint32_t count = 0;
    double depth = 0, s = 0, w0 = 0, w1 = 0;
    switch (which) {
        case 0:
            capsuleTriangleContact(cap, tri, n, points, normal, count, depth);
            fuzzRequire(count <= 2, "capsule-triangle count");
            capsulePlaneContact(cap, tri[0], n, points, normal, count, depth);
            fuzzRequire(count <= 2, "capsule-plane count");
            capsuleOverlapsTriangle(cap, tri, n);
            capsuleCrossesPlane(cap, tri[0], n);
            break;
        case 1: {
            const ZYLcapsule other = r.capsule();
            capsuleCapsuleContact(cap, other, onA, normal, depth);
            capsulesOverlap(cap, other);
            break;
        }
        case 2:
            intersectLineTriangle(cap.centre, cap.axis, tri, onA);
            checkDistance(r, sqrDistanceSegmentTriangle(cap.centre, cap.axis, tri, n, s, w0, w1));
            checkDistance(r, closestPointsSegmentTriangle(cap.centre, cap.axis, tri, n, onA, onB));
            break;
        case 3: {
            const std::uint32_t k = r.small(40);
            std::vector<QmtVector3> loop(k);
            r.vectors(loop.data(), k);
            checkDistance(r, sqrDistanceSegmentPolygon(cap.centre, cap.axis, loop.data(), k, n, onA, onB),
                          CAPSULE_PROXIMITY_NO_DISTANCE);
            const std::uint32_t m = r.small(40);
            std::vector<QmtVector3> other(m);
            r.vectors(other.data(), m);
            checkDistance(r, distanceSqConvexPolygons(loop.data(), k, n, other.data(), m, r.vector(), onA, onB),
                          FACE_DISTANCE_NONE);
            pointWithinPolygonEdges(cap.centre, loop.data(), k, n);
            break;
        }
        case 4: {
            QmtVector3 triB[3];
            r.vectors(triB, 3);
            double wB0 = 0, wB1 = 0;
            checkDistance(r, sqrDistanceTriangleTriangle(tri, n, triB, n, w0, w1, wB0, wB1));
            checkDistance(r, distanceSq_tri2tri(tri, n, triB, n, onA, onB));
            break;
        }
        default:
            break;
    }
}

void triangleQueries(Reader& r, std::uint32_t which) {
    QmtVector3 A[3], B[3];
    r.vectors(A, 3);
    r.vectors(B, 3);
    const QmtVector3 nA = r.vector(), nB = r.vector();
    switch (which) {
        case 0: {
            trianglesIntersect(A, nA, B, nB);
            trianglesIntersectWithMargin(A, nA, B, nB, r.real());
            QmtVector3 points[TRIANGLE_OVERLAP_MAX_POINTS], normal;
            std::uint32_t count = 0;
            double depth = 0;
            triangleContactSet(A, nA, B, nB, points, normal, count, depth);
            fuzzRequire(count <= TRIANGLE_OVERLAP_MAX_POINTS, "triangle contact count");
            const std::int32_t overlap = coplanarTriangleOverlap(A, nA, B, points);
            fuzzRequire(overlap >= 0 && overlap <= static_cast<std::int32_t>(TRIANGLE_OVERLAP_MAX_POINTS),
                        "triangle overlap count");
            std::int32_t code = 0;
            locatePointInTriangle(nB, A, nA, code);
            break;
        }
        case 1: {
            QmtVector3 poly[CLIP_MAX_VERTICES];
            std::uint32_t count = r.small(CLIP_MAX_VERTICES + 2);
            const std::uint32_t filled = std::min(count, CLIP_MAX_VERTICES);
            r.vectors(poly, filled);
            if (count > CLIP_MAX_VERTICES) count = filled;
            clipConvexPolygonByPlane(nA, r.real(), count, poly);
            fuzzRequire(count <= CLIP_MAX_VERTICES, "plane clip count");
            break;
        }
        case 2: {
            const std::uint32_t n = r.small(POLYGON_MAX_VERTICES + 2);
            const std::uint32_t m = r.small(POLYGON_MAX_VERTICES + 2);
            std::vector<QmtVector3> P(n), Q(m);
            r.vectors(P.data(), n);
            r.vectors(Q.data(), m);
            QmtVector3 out[CLIP_MAX_VERTICES];
            std::uint32_t count = 0;
            clipPolygonByConvexPolygon2D(P.data(), n, Q.data(), static_cast<std::int32_t>(m), count, out);
            fuzzRequire(count <= CLIP_MAX_VERTICES, "2D clip count");
            const std::uint32_t overlap = coplanarPolygonOverlap(P.data(), n, nA, Q.data(), m, out);
            fuzzRequire(overlap <= CLIP_MAX_VERTICES, "polygon overlap count");
            QmtVector3 two[2];
            fuzzRequire(clipSegmentToPolygon(A[0], A[1], P.data(), n, nA, two) <= 2, "segment clip count");
            std::int32_t edge = 0;
            locatePointInConvexPolygon(A[2], P.data(), n, nA, edge);
            std::int32_t found = 0;
            QmtVector3 crossings[SEGMENT_CROSSINGS_MAX];
            segmentPolygonCrossings2D(P.data(), n, A[0], A[1], found, crossings);
            fuzzRequire(found >= 0 && found <= static_cast<std::int32_t>(SEGMENT_CROSSINGS_MAX), "crossings");
            break;
        }
        case 3: {
            QmtVector3 diff;
            double sqrLen = 0, params[2] = {};
            std::uint32_t quantity = 0;
            intersectLines2D(A[0], A[1], B[0], B[1], diff, sqrLen, quantity, params);
            intersectSegments2D(A[0], A[1], B[0], B[1], quantity, params);
            break;
        }
        default:
            break;
    }
}

void fitQueries(Reader& r, std::uint32_t which) {
    const std::uint32_t n = r.small(64);
    std::vector<QmtVector3> pts(n);
    r.vectors(pts.data(), n);
    std::vector<std::uint32_t> indices(n);
    for (std::uint32_t i = 0; i < n; ++i) indices[i] = n - 1 - i;
    switch (which) {
        case 0: {
            const ZYLbox box = fitOrientedBox(n, pts.data());
            fitOrientedBoxIndexed(n, indices.data(), pts.data());
            ZYLbox axes;
            fitBoxAxes(n, pts.data(), axes);
            pointInOrientedBox(r.vector(), box, r.real());
            orientedBoxCrossesPlane(box, r.vector(), r.vector());
            break;
        }
        case 1: {
            QmtVector3 origin, direction, end0, end1;
            double radius = 0;
            fitLine(static_cast<std::int32_t>(n), pts.data(), origin, direction);
            fitLineIndexed(n, indices.data(), pts.data(), origin, direction);
            fitCapsule(n, pts.data(), end0, end1, radius);
            fitCapsuleIndexed(n, indices.data(), pts.data(), end0, end1, radius);
            break;
        }
        case 2: {
            std::uint32_t k = r.small(70);
            std::vector<std::uint32_t> picked(std::max(k, n) + 1);
            selectExtremePoints(pts.data(), n, picked.data(), k);
            fuzzRequire(k <= n, "no more extreme points than points");
            for (std::uint32_t i = 0; i < k; ++i) fuzzRequire(picked[i] < n, "extreme index in range");
            break;
        }
        case 3: {
            const ZYLbox a = r.box(), b = r.box();
            orientedBoxesOverlap(a, b);
            checkDistance(r, minCornerDistanceSq(a, b));
            // The eigen solver asks for a symmetric matrix: the lower triangle mirrors
            // the upper one.
            Qmt::QmtMatrix3 M = r.matrix();
            M[1][0] = M[0][1];
            M[2][0] = M[0][2];
            M[2][1] = M[1][2];
            double eigen[3];
            eigenSolveSymmetric3(M, eigen);
            QmtVector3 u, v;
            const QmtVector3 w = r.vector();
            generateOrthonormalBasis(w, u, v);
            frameFromNormal(w, M);
            float fu = 0, fv = 0;
            interpolateUVOnPlane(r.vector(), w, r.vector(), r.vector(), {r.real(), r.real()},
                                 {r.real(), r.real()}, fu, fv);
            break;
        }
        default:
            break;
    }
}

void hullQueries(Reader& r, std::uint32_t which) {
    const QmtVector3 offset = r.vector();
    const std::unique_ptr<BVmesh> a = hullOf(r, {});
    const std::unique_ptr<BVmesh> b = hullOf(r, offset);
    if (!a) return;
    Pk_jump solver;
    ProximityCache cache;
    if (r.small(1)) {
        cache.difference = r.vector();
        cache.vertexA = r.small(255);
        cache.vertexB = r.small(255);
        cache.direction = r.vector();
    }
    switch (which) {
        case 0:
            if (b) solver.testHullHull(*a, *b, cache);
            break;
        case 1: {
            ZYLbox record = r.box();
            BVbox box(&record);
            solver.testHullBox(*a, box, cache);
            break;
        }
        case 2: {
            if (!b) return;
            std::uint32_t fa = 0, fb = 0, va = 0, vb = 0;
            QmtVector3 pa, pb;
            findOverlappingParallelFaces(a->getMesh(), b->getMesh(), fa, fb);
            convexPiecesShareFace(a->getMesh(), b->getMesh(), r.real());
            closestVertexPair(a->getMesh(), b->getMesh(), offset, r.real());
            checkDistance(r, closestFacingFaces(a->getMesh(), b->getMesh(), fa, fb, pa, pb), FACE_DISTANCE_NONE);
            checkDistance(r, closestFacingFacesSampled(a.get(), b.get(), va, vb, fa, fb, pa, pb),
                          FACE_DISTANCE_NONE);
            break;
        }
        default:
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::uint8_t selector = in.u8();
    Reader r(in);
    const std::uint32_t which = selector >> 3;
    switch (selector & 7) {
        case 0: proximityQueries(r, which % 5); break;
        case 1: capsuleQueries(r, which % 5); break;
        case 2: triangleQueries(r, which % 4); break;
        case 3: fitQueries(r, which % 4); break;
        default: hullQueries(r, which % 3); break;
    }
    return 0;
}
