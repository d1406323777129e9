#include "geometry/triangleTests.h"

#include <cmath>

#include "geometry/proximity.h"
#include "math/qmtMatrix3.h"

using Qmt::QmtVector3;

namespace {

constexpr double TOLERANCE = 1e-5;
constexpr double PARALLEL_COSINE = 0.99999;

// Stack storage for up to N vectors, left uninitialised: every slot is written before
// it is read, and zeroing kilobytes on each call would cost more than the clipping.
template <std::uint32_t N>
union VectorBuffer {
    VectorBuffer() {}
    QmtVector3 v[N];
};

struct Interval {
    double min;
    double max;
};

Interval projectTriangle(const QmtVector3& axis, const QmtVector3* tri) {
    const double d0 = axis.Dot(tri[0]);
    const double d1 = axis.Dot(tri[1]);
    const double d2 = axis.Dot(tri[2]);
    Interval r{d0, d0};
    if (d1 < r.min) r.min = d1;
    if (d1 > r.max) r.max = d1;
    if (d2 < r.min) r.min = d2;
    if (d2 > r.max) r.max = d2;
    return r;
}

// Only a strict gap separates: touching intervals overlap.
bool disjoint(const Interval& a, const Interval& b) { return a.max < b.min || b.max < a.min; }

bool disjointOn(const QmtVector3& axis, const QmtVector3* A, const QmtVector3* B) {
    return disjoint(projectTriangle(axis, A), projectTriangle(axis, B));
}

// Separating axes of two triangles; margin widens B's interval on nA only.
bool trianglesIntersectImpl(const QmtVector3* A, const QmtVector3& nA, const QmtVector3* B, const QmtVector3& nB,
                            double margin) {
    const Interval onA = projectTriangle(nA, B);
    const double a0 = nA.Dot(A[0]);
    if (a0 < onA.min - margin || a0 > onA.max + margin) {
        return false;
    }

    const QmtVector3 E[3] = {A[1] - A[0], A[2] - A[1], A[0] - A[2]};
    const QmtVector3 F[3] = {B[1] - B[0], B[2] - B[1], B[0] - B[2]};

    if (nA.Cross(nB).SquaredLength() < TOLERANCE) {
        // Parallel planes that passed the first axis are coplanar: in-plane edge normals.
        for (const QmtVector3& e : E) {
            if (disjointOn(nA.Cross(e), A, B)) return false;
        }
        for (const QmtVector3& f : F) {
            if (disjointOn(nB.Cross(f), A, B)) return false;
        }
        return true;
    }

    const Interval onB = projectTriangle(nB, A);
    const double b0 = nB.Dot(B[0]);
    if (b0 < onB.min || b0 > onB.max) {
        return false;
    }
    for (const QmtVector3& e : E) {
        for (const QmtVector3& f : F) {
            if (disjointOn(e.Cross(f), A, B)) return false;
        }
    }
    return true;
}

// Orthonormal frame in a polygon's plane: origin V0, x along V1 - V0, y = x × n.
struct PlaneFrame {
    QmtVector3 origin;
    QmtVector3 x;
    QmtVector3 y;

    PlaneFrame(const QmtVector3& v0, const QmtVector3& v1, const QmtVector3& n) : origin(v0), x(v1 - v0) {
        x.Unitize(Qmt::QmtMatrix3::EPSILON);
        y = x.Cross(n);
    }

    QmtVector3 toFrame(const QmtVector3& p) const {
        const QmtVector3 r = p - origin;
        return {r.Dot(x), r.Dot(y), 0.0};
    }

    QmtVector3 toWorld(const QmtVector3& q) const { return origin + x * q.x + y * q.y; }
};

// A polygon that winds counter-clockwise about n (or is degenerate) is clockwise in
// its frame and must be reversed.
bool needsReversal(const QmtVector3* V, const QmtVector3& n) {
    return (V[2] - V[1]).Cross(V[1] - V[0]).Dot(n) < TOLERANCE;
}

// Clips `work` (m points in A's frame) by the edges of the counter-clockwise frame
// polygon `poly`, closing edge first, keeping the inside.
void clipByConvexFramePolygon(const QmtVector3* poly, std::uint32_t n, std::uint32_t& m, QmtVector3* work) {
    for (std::uint32_t i = 0; i < n && m != 0; ++i) {
        const QmtVector3& from = poly[i == 0 ? n - 1 : i - 1];
        const QmtVector3& to = poly[i];
        const QmtVector3 inward(from.y - to.y, to.x - from.x, 0.0);
        clipConvexPolygonByPlane(inward, inward.Dot(from), m, work);
    }
}

bool degenerate(const QmtVector3& a, const QmtVector3& b, const QmtVector3& c) {
    return isDegenerateTriangle(a, b, c, true, TOLERANCE);
}

// Thins near-collinear points of Q (m >= 1, frame coordinates) and writes the kept
// ones back in 3D; returns their count.
std::uint32_t thinAndMapBack(const PlaneFrame& frame, const QmtVector3* Q, std::uint32_t m, QmtVector3* out) {
    std::uint32_t kept = 0;
    out[kept++] = frame.toWorld(Q[0]);
    if (m == 1) {
        return kept;
    }
    for (std::uint32_t i = 1; i + 1 < m; ++i) {
        if (!degenerate(Q[i - 1], Q[i], Q[i + 1])) {
            out[kept++] = frame.toWorld(Q[i]);
        }
    }
    // The closing point is always appended, even when the farther one is Q(m-2) and
    // was kept above: the result then lists it twice and never exceeds m points.
    const std::uint32_t last = m - 1;
    const std::uint32_t beforeLast = m - 2;
    std::uint32_t closing = last;
    if (degenerate(Q[beforeLast], Q[last], Q[0])) {
        const bool lastFarther = (Q[last] - Q[0]).SquaredLength() > (Q[beforeLast] - Q[0]).SquaredLength();
        closing = lastFarther ? last : beforeLast;
    }
    out[kept++] = frame.toWorld(Q[closing]);
    return kept;
}

// Overlap of polygon B with polygon A (3 <= countA <= 32, countB <= 32) in A's plane.
std::uint32_t overlapInPlane(const QmtVector3* A, std::uint32_t countA, const QmtVector3& n, const QmtVector3* B,
                             std::uint32_t countB, QmtVector3* out) {
    const PlaneFrame frame(A[0], A[1], n);
    const bool reverse = needsReversal(A, n);
    VectorBuffer<POLYGON_MAX_VERTICES> polyA;
    polyA.v[0] = frame.toFrame(A[0]);
    for (std::uint32_t k = 1; k < countA; ++k) {
        polyA.v[k] = frame.toFrame(A[reverse ? countA - k : k]);
    }

    VectorBuffer<CLIP_MAX_VERTICES> work;
    for (std::uint32_t k = 0; k < countB; ++k) {
        work.v[k] = frame.toFrame(B[k]);
    }
    std::uint32_t m = countB;
    clipByConvexFramePolygon(polyA.v, countA, m, work.v);
    if (m == 0) {
        return 0;
    }
    return thinAndMapBack(frame, work.v, m, out);
}

// Contact set with R as the reference face and I as the incident one. The overlap
// points lie on R's plane; each is moved along nR to the deepest level of I's plane.
bool contactFromReference(const QmtVector3* R, const QmtVector3& nR, const QmtVector3* I, const QmtVector3& nI,
                          const QmtVector3& contactNormal, double penetration, QmtVector3* points,
                          QmtVector3& normal, std::uint32_t& count, double& depth) {
    const std::int32_t overlap = coplanarTriangleOverlap(R, nR, I, points);
    if (overlap <= 0) {
        count = 0;
        return false;
    }
    const auto m = static_cast<std::uint32_t>(overlap);
    normal = contactNormal;
    count = 1;
    const double c = nR.Dot(nI);
    if (std::fabs(c) <= TOLERANCE) {
        count = m;
        depth = penetration;
        return true;
    }

    std::uint32_t best = 0;
    double bestT = (I[0] - points[0]).Dot(nI) / c;
    for (std::uint32_t i = 1; i < m; ++i) {
        const double t = (I[0] - points[i]).Dot(nI) / c;
        if (t < bestT) {
            bestT = t;
            best = i;
        }
    }
    depth = bestT > -TOLERANCE ? 0.0 : bestT;

    if (std::fabs(c) > PARALLEL_COSINE) {
        // Every overlap point, each at the common depth.
        for (std::uint32_t i = 0; i < m; ++i) {
            points[i] = points[i] + nR * depth;
        }
        count = m;
    } else {
        points[0] = points[best] + nR * depth;
    }
    return true;
}

// Exact test against a zero-length first segment: the point P0 meets Q0..Q1 only
// when it lies on it, judged from the second segment's side with the same tolerance.
std::uint32_t pointOnSegment2D(const QmtVector3& P0, const QmtVector3& Q0, const QmtVector3& Q1, double params[2]) {
    const double dx = P0.x - Q0.x;
    const double dy = P0.y - Q0.y;
    const double ex = Q1.x - Q0.x;
    const double ey = Q1.y - Q0.y;
    const double sqrLen1 = ex * ex + ey * ey;
    if (sqrLen1 == 0.0) {
        if (dx != 0.0 || dy != 0.0) return 0;
        params[0] = 0.0;
        params[1] = 0.0;
        return 1;
    }
    const double c2 = dy * ex - dx * ey;
    const double along = dx * ex + dy * ey;
    if (c2 * c2 > (dx * dx + dy * dy) * sqrLen1 * TOLERANCE || along < 0.0 || along > sqrLen1) {
        return 0;
    }
    params[0] = 0.0;
    params[1] = along / sqrLen1;
    return 1;
}

}  // namespace

bool trianglesIntersect(const QmtVector3* A, const QmtVector3& nA, const QmtVector3* B, const QmtVector3& nB) {
    return trianglesIntersectImpl(A, nA, B, nB, 0.0);
}

bool trianglesIntersectWithMargin(const QmtVector3* A, const QmtVector3& nA, const QmtVector3* B,
                                  const QmtVector3& nB, double margin) {
    return trianglesIntersectImpl(A, nA, B, nB, margin);
}

void triangleProjectionInterval(const QmtVector3& axis, const QmtVector3* tri, double& min, double& max) {
    const Interval r = projectTriangle(axis, tri);
    min = r.min;
    max = r.max;
}

void clipConvexPolygonByPlane(const QmtVector3& n, double c, std::uint32_t& count, QmtVector3* points) {
    const std::uint32_t k = count;
    if (k > CLIP_MAX_VERTICES) {
        count = 0;
        return;
    }
    double d[CLIP_MAX_VERTICES];
    std::uint32_t positives = 0;
    std::uint32_t negatives = 0;
    std::uint32_t first = 0;
    for (std::uint32_t i = 0; i < k; ++i) {
        d[i] = n.Dot(points[i]) - c;
        if (d[i] > 0.0) {
            if (positives++ == 0) first = i;
        } else if (d[i] < 0.0) {
            ++negatives;
        }
    }
    if (positives == 0) {
        count = 0;
        return;
    }
    if (negatives == 0) {
        return;
    }

    VectorBuffer<CLIP_MAX_VERTICES> result;
    std::uint32_t m = 0;
    for (std::uint32_t j = 0; j < k; ++j) {
        const std::uint32_t i = first + j < k ? first + j : first + j - k;
        const std::uint32_t next = i + 1 < k ? i + 1 : 0;
        const bool inside = d[i] > 0.0;
        const std::uint32_t needed = (inside ? 1u : 0u) + (inside != (d[next] > 0.0) ? 1u : 0u);
        if (m + needed > CLIP_MAX_VERTICES) {
            count = 0;  // only rounding on a far from convex input gets here
            return;
        }
        if (inside) {
            result.v[m++] = points[i];
        }
        if (inside != (d[next] > 0.0)) {
            // q is the vertex after the change of side, p the one before it; a vertex
            // lying on the plane comes back exactly.
            const QmtVector3& p = points[i];
            const QmtVector3& q = points[next];
            result.v[m++] = q + (p - q) * (d[next] / (d[next] - d[i]));
        }
    }
    for (std::uint32_t i = 0; i < m; ++i) {
        points[i] = result.v[i];
    }
    count = m;
}

bool clipPolygonByConvexPolygon2D(const QmtVector3* convex, std::uint32_t n, const QmtVector3* poly, std::int32_t m,
                                  std::uint32_t& count, QmtVector3* out) {
    if (m <= 0 || static_cast<std::uint32_t>(m) > CLIP_MAX_VERTICES) {
        count = 0;
        return false;
    }
    count = static_cast<std::uint32_t>(m);
    for (std::uint32_t k = 0; k < count; ++k) {
        out[k] = poly[k];
    }
    clipByConvexFramePolygon(convex, n, count, out);
    return count != 0;
}

bool intersectLines2D(const QmtVector3& P0, const QmtVector3& D0, const QmtVector3& P1, const QmtVector3& D1,
                      QmtVector3& diff, double& sqrLen0, std::uint32_t& quantity, double params[2]) {
    diff = P1 - P0;
    sqrLen0 = D0.x * D0.x + D0.y * D0.y;
    const double sqrLen1 = D1.x * D1.x + D1.y * D1.y;
    const double cross = D1.x * D0.y - D0.x * D1.y;
    if (cross * cross > sqrLen1 * sqrLen0 * TOLERANCE) {
        quantity = 1;
        params[0] = (D1.x * diff.y - D1.y * diff.x) / cross;
        params[1] = (D0.x * diff.y - diff.x * D0.y) / cross;
        return true;
    }
    const double c2 = diff.y * D0.x - diff.x * D0.y;
    const double sqrLenDiff = diff.x * diff.x + diff.y * diff.y;
    quantity = c2 * c2 > sqrLenDiff * sqrLen0 * TOLERANCE ? 0 : 2;
    return quantity != 0;
}

bool intersectSegments2D(const QmtVector3& P0, const QmtVector3& P1, const QmtVector3& Q0, const QmtVector3& Q1,
                         std::uint32_t& quantity, double params[2]) {
    const QmtVector3 D0 = P1 - P0;
    const QmtVector3 D1 = Q1 - Q0;
    QmtVector3 diff;
    double sqrLen0 = 0.0;
    intersectLines2D(P0, D0, Q0, D1, diff, sqrLen0, quantity, params);

    if (quantity == 1) {
        if (params[0] < 0.0 || params[0] > 1.0 || params[1] < 0.0 || params[1] > 1.0) {
            quantity = 0;
        }
    } else if (quantity == 2) {
        if (sqrLen0 == 0.0) {
            // A point passes the line tests against every segment; test it for real.
            quantity = pointOnSegment2D(P0, Q0, Q1, params);
            return quantity != 0;
        }
        const double dot = D0.x * D1.x + D0.y * D1.y;
        const double s0 = diff.x * D0.x + diff.y * D0.y;
        const double s1 = s0 + dot;
        const double lo = s0 < s1 ? s0 : s1;
        const double hi = s0 < s1 ? s1 : s0;
        if (hi < 0.0 || lo > sqrLen0) {
            quantity = 0;
        } else if (hi == 0.0) {
            quantity = 1;
            params[0] = 0.0;
        } else if (lo == sqrLen0) {
            quantity = 1;
            params[0] = 1.0;
        } else {
            quantity = 2;
            params[0] = (lo > 0.0 ? lo : 0.0) / sqrLen0;
            params[1] = (hi < sqrLen0 ? hi : sqrLen0) / sqrLen0;
        }
    }
    return quantity != 0;
}

bool locatePointInConvexPolygon(const QmtVector3& p, const QmtVector3* V, const std::uint32_t& count,
                                const QmtVector3& n, std::int32_t& edge) {
    const std::uint32_t k = count;
    for (std::uint32_t i = 0; i < k; ++i) {
        const std::uint32_t next = (i + 1) % k;
        const QmtVector3& a = V[i];
        const QmtVector3& b = V[next];
        QmtVector3 m = (b - a).Cross(n);
        m.Unitize(Qmt::QmtMatrix3::EPSILON);
        if ((V[(i + 2) % k] - b).Dot(m) > TOLERANCE) {
            m = -m;  // make it point away from the polygon
        }
        QmtVector3 w = p - b;
        w.Unitize(Qmt::QmtMatrix3::EPSILON);
        if (w.Dot(m) >= TOLERANCE) {
            edge = static_cast<std::int32_t>(i);
            return false;
        }
    }
    return true;
}

bool locatePointInTriangle(const QmtVector3& p, const QmtVector3* tri, const QmtVector3& n, std::int32_t& code) {
    constexpr std::uint32_t corners = 3;
    if (locatePointInConvexPolygon(p, tri, corners, n, code)) {
        code = -1;
        return true;
    }
    return false;
}

bool segmentPolygonCrossings2D(const QmtVector3* V, std::uint32_t count, const QmtVector3& S0, const QmtVector3& S1,
                               std::int32_t& found, QmtVector3 points[SEGMENT_CROSSINGS_MAX]) {
    found = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const QmtVector3& a = V[i];
        const QmtVector3& b = V[i + 1 < count ? i + 1 : 0];
        std::uint32_t quantity = 0;
        double params[2] = {0.0, 0.0};
        if (!intersectSegments2D(a, b, S0, S1, quantity, params)) {
            continue;
        }
        const QmtVector3 point = a + (b - a) * params[0];
        bool duplicate = false;
        for (std::int32_t r = 0; r < found && !duplicate; ++r) {
            duplicate = (point - points[r]).SquaredLength() < TOLERANCE;
        }
        if (duplicate) {
            continue;
        }
        if (found == static_cast<std::int32_t>(SEGMENT_CROSSINGS_MAX)) {
            break;
        }
        points[found++] = point;
    }
    return found > 0;
}

std::uint32_t clipSegmentToPolygon(const QmtVector3& S0, const QmtVector3& S1, const QmtVector3* V,
                                   const std::uint32_t& count, const QmtVector3& n, QmtVector3 out[2]) {
    const std::uint32_t k = count;
    if (k < 3 || k > POLYGON_MAX_VERTICES) {
        return 0;
    }
    const PlaneFrame frame(V[0], V[1], n);
    VectorBuffer<POLYGON_MAX_VERTICES> polygon;
    QmtVector3* const poly = polygon.v;
    const bool reverse = needsReversal(V, n);
    poly[0] = frame.toFrame(V[0]);
    for (std::uint32_t i = 1; i < k; ++i) {
        poly[i] = frame.toFrame(V[reverse ? k - i : i]);
    }
    const QmtVector3 a = frame.toFrame(S0);
    const QmtVector3 b = frame.toFrame(S1);

    const QmtVector3 up(0.0, 0.0, 1.0);
    std::int32_t edge = 0;
    const auto inside = [&](const QmtVector3& p) { return locatePointInConvexPolygon(p, poly, k, up, edge); };

    QmtVector3 crossings[SEGMENT_CROSSINGS_MAX];
    std::int32_t found = 0;
    QmtVector3 result[2];
    std::uint32_t r = 0;
    if (segmentPolygonCrossings2D(poly, k, a, b, found, crossings)) {
        result[r++] = crossings[0];
        if (found > 1) {
            result[r++] = crossings[1];
        } else if (inside(a)) {
            result[r++] = a;
        } else if (inside(b)) {
            result[r++] = b;
        }
    } else if (inside(a)) {
        result[r++] = a;
        if (inside(b)) {
            result[r++] = b;
        }
    }

    // Back to 3D, then onto the segment's line.
    QmtVector3 d = S1 - S0;
    d.Unitize(Qmt::QmtMatrix3::EPSILON);
    for (std::uint32_t i = 0; i < r; ++i) {
        const QmtVector3 q = frame.toWorld(result[i]);
        out[i] = S0 + d * (q - S0).Dot(d);
    }
    return r;
}

std::int32_t coplanarTriangleOverlap(const QmtVector3* A, const QmtVector3& n, const QmtVector3* B, QmtVector3* out) {
    return static_cast<std::int32_t>(overlapInPlane(A, 3, n, B, 3, out));
}

std::uint32_t coplanarPolygonOverlap(const QmtVector3* A, const std::uint32_t& countA, const QmtVector3& n,
                                     const QmtVector3* B, const std::uint32_t& countB, QmtVector3* out) {
    if (countA < 3 || countA > POLYGON_MAX_VERTICES || countB == 0 || countB > POLYGON_MAX_VERTICES) {
        return 0;
    }
    return overlapInPlane(A, countA, n, B, countB, out);
}

bool triangleContactSet(const QmtVector3* A, const QmtVector3& nA, const QmtVector3* B, const QmtVector3& nB,
                        QmtVector3* points, QmtVector3& normal, std::uint32_t& count, double& depth) {
    // How far each triangle reaches below the other's plane.
    double dA = 0.0;
    double dB = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double below = (B[i] - A[0]).Dot(nA);
        if (below < dA) dA = below;
        const double aboveB = (A[i] - B[0]).Dot(nB);
        if (aboveB < dB) dB = aboveB;
    }
    if (dA >= dB) {
        return contactFromReference(A, nA, B, nB, -nA, dA, points, normal, count, depth);
    }
    return contactFromReference(B, nB, A, nA, nB, dB, points, normal, count, depth);
}
