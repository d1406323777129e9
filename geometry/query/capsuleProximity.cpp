#include "geometry/query/capsuleProximity.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "geometry/bounds/boxFit.h"
#include "geometry/mesh/meshPlacement.h"
#include "geometry/hull/planarHull.h"
#include "geometry/query/proximity.h"
#include "geometry/query/triangleTests.h"
#include "math/qmtMatrix3.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

namespace {

constexpr double TOL = 1e-5;
constexpr double NO_DISTANCE = CAPSULE_PROXIMITY_NO_DISTANCE;

// The capsule's core segment, built as M - (a·L)·0.5 and M + (a·L)·0.5.
struct CoreSegment {
    QmtVector3 bottom;  // P0
    QmtVector3 top;     // P1
};

inline CoreSegment coreSegment(const ZYLcapsule& capsule) {
    const QmtVector3 aL = capsule.axis * capsule.length;
    return {capsule.centre - aL * 0.5, capsule.centre + aL * 0.5};
}

// ---- segment against triangle -------------------------------------------------------

// Candidates of the segment-triangle search, evaluated in this order.
enum SegTriCandidate : unsigned {
    EDGE01 = 1u,  // segment against V0V1 (w1 = 0)
    EDGE02 = 2u,  // segment against V0V2 (w0 = 0)
    EDGE12 = 4u,  // segment against V1V2 (w0 = 1 - w1)
    END0 = 8u,    // P0 against the triangle (s = 0)
    END1 = 16u,   // P1 against the triangle (s = 1)
};

struct SegTriResult {
    double dist;
    double s;
    double w0;
    double w1;
};

// Least of the candidates named in mask; a later one wins only when strictly smaller.
SegTriResult bestSegTriCandidate(const QmtVector3& P0, const QmtVector3& P1, const QmtVector3* tri, unsigned mask) {
    SegTriResult best{NO_DISTANCE, 0.0, 0.0, 0.0};
    bool any = false;
    const auto offer = [&](double dist, double s, double w0, double w1) {
        if (!any || dist < best.dist) {
            best = {dist, s, w0, w1};
            any = true;
        }
    };
    double s = 0.0;
    double t = 0.0;
    if (mask & EDGE01) {
        const double d = sqrDistanceSegmentSegment(P0, P1, tri[0], tri[1], s, t);
        offer(d, s, t, 0.0);
    }
    if (mask & EDGE02) {
        const double d = sqrDistanceSegmentSegment(P0, P1, tri[0], tri[2], s, t);
        offer(d, s, 0.0, t);
    }
    if (mask & EDGE12) {
        const double d = sqrDistanceSegmentSegment(P0, P1, tri[1], tri[2], s, t);
        offer(d, s, 1.0 - t, t);
    }
    if (mask & END0) {
        const double d = sqrDistancePointTriangle(P0, tri, s, t);
        offer(d, 0.0, s, t);
    }
    if (mask & END1) {
        const double d = sqrDistancePointTriangle(P1, tri, s, t);
        offer(d, 1.0, s, t);
    }
    return best;
}

// Every candidate, and where the segment crosses the triangle's plane inside it (a
// segment nearly parallel to a real plane still pierces it), distance 0 there.
[[gnu::noinline]] SegTriResult allSegTriCandidates(const QmtVector3& P0, const QmtVector3& P1, const QmtVector3* tri) {
    SegTriResult best = bestSegTriCandidate(P0, P1, tri, EDGE01 | EDGE02 | EDGE12 | END0 | END1);
    double r = 0.0;
    double w0 = 0.0;
    double w1 = 0.0;
    if (best.dist > 0.0 && lineCrossesTriangle(P0, P1 - P0, tri, r, w0, w1) && r >= 0.0 && r <= 1.0) {
        best = {0.0, r, w0, w1};
    }
    return best;
}

SegTriResult segmentTriangle(const QmtVector3& P0, const QmtVector3& P1, const QmtVector3* tri) {
    const QmtVector3 D = P1 - P0;
    const QmtVector3 E0 = tri[1] - tri[0];
    const QmtVector3 E1 = tri[2] - tri[0];
    const QmtVector3 N = E0.Cross(E1);

    const double a00 = D.Dot(D);
    const double dn = D.Dot(N);
    const double a11 = E0.Dot(E0);
    const double a22 = E1.Dot(E1);
    const double NN = N.Dot(N);
    // Both tests compare like with like: (D·N)² against |D|²·|N|² (the angle to the
    // plane) and |N|² against |E0|²·|E1|² (the triangle's own angle at V0). A
    // zero-length segment, a sliver or a collapsed triangle has no reliable system:
    // every feature pair is measured instead.
    const double lengths = a00 * NN;
    if (!(lengths > 0.0 && dn * dn >= TOL * lengths && NN > TOL * a11 * a22)) {
        return allSegTriCandidates(P0, P1, tri);
    }

    // Normal equations of |P0 + s·D - V0 - w0·E0 - w1·E1|², solved by cofactors.
    const QmtVector3 diff = tri[0] - P0;
    const double a01 = -D.Dot(E0);
    const double a02 = -D.Dot(E1);
    const double a12 = E0.Dot(E1);
    const double b0 = -diff.Dot(D);
    const double b1 = diff.Dot(E0);
    const double b2 = diff.Dot(E1);

    const SymmetricCofactors m = symmetricCofactors(a00, a01, a02, a11, a12, a22);
    const double invDet = 1.0 / m.det;
    const double rhs0 = -b0 * invDet;
    const double rhs1 = -b1 * invDet;
    const double rhs2 = -b2 * invDet;

    const double s = m.c00 * rhs0 + m.c01 * rhs1 + m.c02 * rhs2;
    const double w0 = m.c01 * rhs0 + m.c11 * rhs1 + m.c12 * rhs2;
    const double w1 = m.c02 * rhs0 + m.c12 * rhs1 + m.c22 * rhs2;

    // Region of the line-plane crossing: which faces of the (s, w0, w1) domain can
    // hold the minimum.
    unsigned mask = 0;
    if (s < 0.0) {
        mask |= END0;
    } else if (s > 1.0) {
        mask |= END1;
    }
    if (w0 + w1 <= 1.0) {
        if (w0 < 0.0) {
            mask |= EDGE02;
            if (w1 < 0.0) {
                mask |= EDGE01;
            }
        } else if (w1 < 0.0) {
            mask |= EDGE01;
        }
    } else {
        mask |= EDGE12;
        if (w0 < 0.0) {
            mask |= EDGE02;
        } else if (w1 < 0.0) {
            mask |= EDGE01;
        }
    }
    if (mask == 0) {
        return {0.0, s, w0, w1};  // the segment pierces the triangle
    }
    return bestSegTriCandidate(P0, P1, tri, mask);
}

// ---- simplex distance subalgorithm --------------------------------------------------

constexpr unsigned TETRA_SUBSETS = 16;

// The proper sub-simplices in test order: vertices, edges, faces. The whole set (mask
// 15) is never an answer; its determinants only close the faces' regions.
constexpr std::array<unsigned, 14> SIMPLEX_ORDER = {1, 2, 4, 8, 3, 5, 9, 6, 10, 12, 7, 11, 13, 14};

inline bool isMember(unsigned set, unsigned i) { return (set >> i) & 1u; }

inline unsigned lowestMember(unsigned set) {
    unsigned i = 0;
    while (!isMember(set, i)) {
        ++i;
    }
    return i;
}

}  // namespace

// ---- extreme points -----------------------------------------------------------------

void selectExtremePoints(const QmtVector3* points, std::uint32_t n, std::uint32_t* indices, std::uint32_t& k) {
    if (n < 2) {
        // An empty set has nothing to give; a single point is the answer itself.
        if (n == 0) {
            k = 0;
            return;
        }
        indices[0] = 0;
        k = 1;
        return;
    }
    if (k >= n) {
        for (std::uint32_t i = 0; i < n; ++i) {
            indices[i] = i;
        }
        k = n;
        return;
    }
    if (k == 0) {
        return;
    }

    ZYLbox box;
    fitBoxAxes(n, points, box);  // half extents hold the covariance eigenvalues
    const QmtVector3 a0 = box.axes.GetColumn(0);
    const QmtVector3 a1 = box.axes.GetColumn(1);
    const QmtVector3 a2 = box.axes.GetColumn(2);
    const double e0 = box.halfExtents.x;
    const double e1 = box.halfExtents.y;
    const double e2 = box.halfExtents.z;

    // Contact reduction calls this on a few dozen points: keep those on the stack.
    constexpr std::uint32_t LOCAL_POINTS = 64;
    std::array<double, LOCAL_POINTS> localScores;
    std::vector<double> heapScores;
    double* scores = localScores.data();
    if (n > LOCAL_POINTS) {
        heapScores.resize(n);
        scores = heapScores.data();
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        const QmtVector3& p = points[i];
        scores[i] = std::fabs(p.Dot(a0) * e0) + std::fabs(p.Dot(a1) * e1) + std::fabs(p.Dot(a2) * e2);
    }

    constexpr double PICKED = -std::numeric_limits<double>::infinity();
    for (std::uint32_t pick = 0; pick < k; ++pick) {
        double best = -1.0;
        std::uint32_t bestIndex = n;
        for (std::uint32_t i = 0; i < n; ++i) {
            if (scores[i] > best) {
                best = scores[i];
                bestIndex = i;
            }
        }
        if (bestIndex == n) {
            // Only unordered (NaN) scores remain: take the first point not yet picked
            // rather than repeat an index.
            bestIndex = 0;
            while (scores[bestIndex] == PICKED) {
                ++bestIndex;
            }
        }
        indices[pick] = bestIndex;
        scores[bestIndex] = PICKED;
    }
    std::qsort(indices, k, sizeof(std::uint32_t), compareIndices);
}

// ---- capsule contacts ---------------------------------------------------------------

bool capsuleTriangleContact(const ZYLcapsule& capsule, const QmtVector3 tri[3], const QmtVector3& triangleNormal,
                            QmtVector3 points[2], QmtVector3& normal, std::uint32_t& count, double& depth) {
    const CoreSegment seg = coreSegment(capsule);
    const double r = capsule.radius;
    const QmtVector3& n = triangleNormal;

    // The axis is negligible against the radius: the capsule is a sphere about its
    // top end.
    if (!((seg.bottom - seg.top).SquaredLength() > TOL * r * r)) {
        count = 1;
        points[0] = seg.top - n * r;
        depth = (points[0] - tri[0]).Dot(n);
        normal = n;
        return true;
    }

    QmtVector3 clipped[2];
    const std::uint32_t corners = 3;
    const std::uint32_t clipCount = clipSegmentToPolygon(seg.bottom, seg.top, tri, corners, n, clipped);
    if (clipCount > 0) {
        points[0] = clipped[0];
        double d = (points[0] - tri[0]).Dot(n);
        count = 1;
        if (clipCount > 1) {
            const double d1 = (clipped[1] - tri[0]).Dot(n);
            if (std::fabs(d1 - d) < TOL) {
                points[1] = clipped[1];
                count = 2;
                d = d1;
            } else if (d1 < d) {
                points[0] = clipped[1];
                d = d1;
            }
        }
        normal = n;
        depth = d - r;
        const QmtVector3 offset = n * r;
        for (std::uint32_t i = 0; i < count; ++i) {
            points[i] -= offset;
        }
        return true;
    }

    // The segment passes beside the triangle: the nearest edge decides, measured
    // from the top end down.
    double best = 0.0;
    QmtVector3 onEdge;
    QmtVector3 onAxis;
    for (unsigned e = 0; e < 3; ++e) {
        const QmtVector3& A = tri[e];
        const QmtVector3& B = tri[(e + 1) % 3];
        double s = 0.0;
        double t = 0.0;
        const double d = sqrDistanceSegmentSegment(seg.top, seg.bottom, A, B, s, t);
        if (e == 0 || d < best) {
            best = d;
            onAxis = seg.top + (seg.bottom - seg.top) * s;
            onEdge = A + (B - A) * t;
        }
    }
    normal = onAxis - onEdge;
    normal.Unitize(QmtMatrix3::EPSILON);
    depth = r - std::sqrt(best);
    points[0] = onAxis - normal * r;
    count = 1;
    return true;
}

bool capsulePlaneContact(const ZYLcapsule& capsule, const QmtVector3& planePoint, const QmtVector3& planeNormal,
                         QmtVector3 points[2], QmtVector3& normal, std::uint32_t& count, double& depth) {
    const CoreSegment seg = coreSegment(capsule);
    const QmtVector3& n = planeNormal;
    const QmtVector3 offset = n * capsule.radius;
    const QmtVector3 along = seg.bottom - seg.top;

    if (along.SquaredLength() < TOL) {
        count = 1;
        points[0] = seg.top - offset;
    } else if (std::fabs(along.Dot(n)) < TOL) {
        count = 2;
        points[0] = seg.top - offset;
        points[1] = seg.bottom - offset;
    } else {
        const bool topDeeper = (seg.bottom - planePoint).Dot(n) > (seg.top - planePoint).Dot(n);
        points[0] = (topDeeper ? seg.top : seg.bottom) - offset;
        count = 1;
    }
    depth = (points[0] - planePoint).Dot(n);
    normal = n;
    return true;
}

bool capsuleCapsuleContact(const ZYLcapsule& a, const ZYLcapsule& b, QmtVector3& point, QmtVector3& normal,
                           double& separation) {
    const CoreSegment sa = coreSegment(a);
    const CoreSegment sb = coreSegment(b);
    double s = 0.0;
    double t = 0.0;
    sqrDistanceSegmentSegment(sa.bottom, sa.top, sb.bottom, sb.top, s, t);
    const QmtVector3 ca = sa.bottom + (sa.top - sa.bottom) * s;
    const QmtVector3 cb = sb.bottom + (sb.top - sb.bottom) * t;
    sphereSphereContact(ca, a.radius, cb, b.radius, point, normal, separation);
    return true;
}

bool capsulesOverlap(const ZYLcapsule& a, const ZYLcapsule& b) {
    const CoreSegment sa = coreSegment(a);
    const CoreSegment sb = coreSegment(b);
    double s = 0.0;
    double t = 0.0;
    const double d2 = sqrDistanceSegmentSegment(sa.bottom, sa.top, sb.bottom, sb.top, s, t);
    const double reach = a.radius + b.radius;
    return d2 <= reach * reach;
}

bool capsuleOverlapsTriangle(const ZYLcapsule& capsule, const QmtVector3 tri[3], const QmtVector3& triangleNormal) {
    const CoreSegment seg = coreSegment(capsule);
    double d2 = 0.0;
    // The segment distance serves every axis that has a length at all.
    if ((seg.bottom - seg.top).SquaredLength() > 0.0) {
        double s = 0.0;
        double w0 = 0.0;
        double w1 = 0.0;
        d2 = sqrDistanceSegmentTriangle(seg.top, seg.bottom, tri, triangleNormal, s, w0, w1);
    } else {
        double s = 0.0;
        double t = 0.0;
        d2 = sqrDistancePointTriangle(seg.top, tri, s, t);
    }
    return d2 < capsule.radius * capsule.radius;
}

// ---- lines, segments, triangles and polygons ----------------------------------------

bool intersectLineTriangle(const QmtVector3& origin, const QmtVector3& direction, const QmtVector3 tri[3],
                           QmtVector3& point) {
    double r = 0.0;
    double s = 0.0;
    double t = 0.0;
    const double d2 = sqrDistanceLineTriangle(origin, direction, tri, r, s, t);
    if (d2 <= TOL) {
        point = origin + direction * r;
        return true;
    }
    point = origin;
    return false;
}

double sqrDistanceSegmentTriangle(const QmtVector3& P0, const QmtVector3& P1, const QmtVector3 tri[3],
                                  const QmtVector3& /*triangleNormal*/, double& s, double& w0, double& w1) {
    const SegTriResult result = segmentTriangle(P0, P1, tri);
    s = result.s;
    w0 = result.w0;
    w1 = result.w1;
    return std::fabs(result.dist);
}

double closestPointsSegmentTriangle(const QmtVector3& P0, const QmtVector3& P1, const QmtVector3 tri[3],
                                    const QmtVector3& /*triangleNormal*/, QmtVector3& onSegment,
                                    QmtVector3& onTriangle) {
    const SegTriResult result = segmentTriangle(P0, P1, tri);
    onSegment = P0 + (P1 - P0) * result.s;
    onTriangle = trianglePoint(tri, result.w0, result.w1);
    return std::fabs(result.dist);
}

double sqrDistanceSegmentPolygon(const QmtVector3& P0, const QmtVector3& P1, const QmtVector3* loop, std::uint32_t n,
                                 const QmtVector3& /*polygonNormal*/, QmtVector3& onSegment, QmtVector3& onPolygon) {
    // Fewer than three points make no fan triangle (and n - 2 would wrap).
    if (n < 3) {
        return NO_DISTANCE;
    }
    double best = NO_DISTANCE;
    SegTriResult bestResult{};
    QmtVector3 bestTri[3];
    for (std::uint32_t k = 1; k + 1 < n; ++k) {
        const QmtVector3 tri[3] = {loop[0], loop[k], loop[k + 1]};
        const SegTriResult result = segmentTriangle(P0, P1, tri);
        const double dist = std::fabs(result.dist);
        if (dist < best) {
            best = dist;
            bestResult = result;
            bestTri[0] = tri[0];
            bestTri[1] = tri[1];
            bestTri[2] = tri[2];
        }
    }
    if (best < NO_DISTANCE) {
        onSegment = P0 + (P1 - P0) * bestResult.s;
        onPolygon = trianglePoint(bestTri, bestResult.w0, bestResult.w1);
    }
    return best;
}

double sqrDistanceTriangleTriangle(const QmtVector3 triA[3], const QmtVector3& /*normalA*/, const QmtVector3 triB[3],
                                   const QmtVector3& /*normalB*/, double& wA0, double& wA1, double& wB0,
                                   double& wB1) {
    double best = 0.0;
    bool any = false;
    // Edge k of a triangle: its end indices and how its parameter s becomes the
    // triangle's own edge weights.
    struct Edge {
        unsigned from;
        unsigned to;
    };
    constexpr Edge EDGES[3] = {{0, 1}, {0, 2}, {1, 2}};
    const auto edgeWeights = [](unsigned edge, double s, double& u0, double& u1) {
        switch (edge) {
            case 0: u0 = s; u1 = 0.0; break;
            case 1: u0 = 0.0; u1 = s; break;
            default: u0 = 1.0 - s; u1 = s; break;
        }
    };
    for (unsigned side = 0; side < 2; ++side) {
        const QmtVector3* own = side == 0 ? triA : triB;
        const QmtVector3* other = side == 0 ? triB : triA;
        for (unsigned e = 0; e < 3; ++e) {
            const SegTriResult r = segmentTriangle(own[EDGES[e].from], own[EDGES[e].to], other);
            const double dist = std::fabs(r.dist);
            if (!any || dist < best) {
                best = dist;
                any = true;
                if (side == 0) {
                    edgeWeights(e, r.s, wA0, wA1);
                    wB0 = r.w0;
                    wB1 = r.w1;
                } else {
                    edgeWeights(e, r.s, wB0, wB1);
                    wA0 = r.w0;
                    wA1 = r.w1;
                }
            }
        }
    }
    return best;
}

// ---- simplices, boxes, spheres, strings ---------------------------------------------

bool closestPointOnTetrahedron(const QmtVector3 p[4], const QmtVector3& q, double w[4]) {
    for (unsigned i = 0; i < 4; ++i) {
        w[i] = 0.0;
    }
    QmtVector3 y[4];
    for (unsigned i = 0; i < 4; ++i) {
        y[i] = p[i] - q;
    }
    double dots[4][4];
    for (unsigned i = 0; i < 4; ++i) {
        for (unsigned j = 0; j < 4; ++j) {
            dots[i][j] = y[i].Dot(y[j]);
        }
    }

    // det[S][j]: the determinant of member j of the sub-simplex S, built from the
    // set S without j (a proper subset, hence a smaller mask, already filled).
    double det[TETRA_SUBSETS][4] = {};
    for (unsigned S = 1; S < TETRA_SUBSETS; ++S) {
        if ((S & (S - 1)) == 0) {
            det[S][lowestMember(S)] = 1.0;
            continue;
        }
        for (unsigned j = 0; j < 4; ++j) {
            if (!isMember(S, j)) {
                continue;
            }
            const unsigned X = S & ~(1u << j);
            const unsigned k = lowestMember(X);
            double sum = 0.0;
            for (unsigned i = 0; i < 4; ++i) {
                if (isMember(X, i)) {
                    sum += det[X][i] * (dots[i][k] - dots[i][j]);
                }
            }
            det[S][j] = sum;
        }
    }

    const auto membersPositive = [&](unsigned S) {
        for (unsigned i = 0; i < 4; ++i) {
            if (isMember(S, i) && !(det[S][i] > 0.0)) {
                return false;
            }
        }
        return true;
    };
    const auto memberTotal = [&](unsigned S) {
        double total = 0.0;
        for (unsigned i = 0; i < 4; ++i) {
            if (isMember(S, i)) {
                total += det[S][i];
            }
        }
        return total;
    };
    const auto setWeights = [&](unsigned S) {
        const double total = memberTotal(S);
        for (unsigned i = 0; i < 4; ++i) {
            w[i] = isMember(S, i) ? det[S][i] / total : 0.0;
        }
    };

    // The Voronoi region holding q: members positive, no outside point that would
    // bring the simplex nearer. A q inside a solid tetrahedron passes no test and
    // falls to the search below, which gives the nearest face's point.
    for (const unsigned S : SIMPLEX_ORDER) {
        if (!membersPositive(S)) {
            continue;
        }
        bool closed = true;
        for (unsigned j = 0; j < 4 && closed; ++j) {
            if (!isMember(S, j) && det[S | (1u << j)][j] > 0.0) {
                closed = false;
            }
        }
        if (closed) {
            setWeights(S);
            return true;
        }
    }

    // Rounding left no region: take the nearest proper sub-simplex whose members are
    // all positive.
    double best = NO_DISTANCE;
    unsigned bestSet = 0;
    for (const unsigned S : SIMPLEX_ORDER) {
        if (!membersPositive(S)) {
            continue;
        }
        const double total = memberTotal(S);
        QmtVector3 v;
        for (unsigned i = 0; i < 4; ++i) {
            if (isMember(S, i)) {
                v += y[i] * (det[S][i] / total);
            }
        }
        const double dist = v.SquaredLength();
        if (dist < best) {
            best = dist;
            bestSet = S;
        }
    }
    if (bestSet == 0) {
        return false;
    }
    setWeights(bestSet);
    return true;
}

double minCornerDistanceSq(const ZYLbox& a, const ZYLbox& b) {
    QmtVector3 ca[8];
    QmtVector3 cb[8];
    computeBoxCorners(a, ca);
    computeBoxCorners(b, cb);
    double best = NO_DISTANCE;
    for (const QmtVector3& pa : ca) {
        for (const QmtVector3& pb : cb) {
            const double d = (pa - pb).SquaredLength();
            if (d < best) {
                best = d;
            }
        }
    }
    return best;
}

bool intersectRaySphere(const QmtVector3& origin, const QmtVector3& direction, const QmtVector3& centre, double radius,
                        std::uint32_t& count, QmtVector3 points[2]) {
    const QmtVector3 diff = origin - centre;
    const double qa = direction.SquaredLength();
    const double qb = diff.Dot(direction);
    const double qc = diff.SquaredLength() - radius * radius;
    const double disc = qb * qb - qa * qc;
    if (disc < 0.0) {
        count = 0;
        return false;
    }
    if (disc > 0.0) {
        const double root = std::sqrt(disc);
        const double t0 = (-qb - root) / qa;
        const double t1 = (root - qb) / qa;
        if (t0 >= 0.0) {
            count = 2;
            points[0] = origin + direction * t0;
            points[1] = origin + direction * t1;
            return true;
        }
        if (t1 >= 0.0) {
            count = 1;
            points[0] = origin + direction * t1;
            return true;
        }
        count = 0;
        return false;
    }
    const double t = -qb / qa;
    if (t >= 0.0) {
        count = 1;
        points[0] = origin + direction * t;
        return true;
    }
    count = 0;
    return false;
}

int comparePrefix(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) {
        return 0;
    }
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        const auto ca = static_cast<signed char>(*a);
        const auto cb = static_cast<signed char>(*b);
        if (ca < cb) {
            return -1;
        }
        if (ca > cb) {
            return 1;
        }
    }
    return 0;
}
