#include "geometry/query/triangleTests.h"

#include <cmath>

#include "math/qmtMatrix3.h"

using Qmt::QmtVector3;

namespace {

constexpr double TOLERANCE = 1e-5;
constexpr double PARALLEL_COSINE = 0.99999;
// Below this sin² between the face normals the planes are parallel to rounding; above
// it, up to TOLERANCE, they are nearly but not quite coplanar.
constexpr double COPLANAR_EXACT = 1e-18;

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

    const double sinSq = nA.Cross(nB).SquaredLength();
    if (sinSq < TOLERANCE) {
        // Parallel planes that passed the first axis are coplanar: in-plane edge normals.
        for (const QmtVector3& e : E) {
            if (disjointOn(nA.Cross(e), A, B)) return false;
        }
        for (const QmtVector3& f : F) {
            if (disjointOn(nB.Cross(f), A, B)) return false;
        }
        if (sinSq < COPLANAR_EXACT) {
            return true;
        }
        // Nearly parallel planes still cross: their triangles may overlap in
        // projection and yet meet nowhere. Every axis separates soundly, so the
        // crossing planes' axes below finish the test.
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
// Directions here are normalised whatever their length: an absolute floor would leave
// the edges of a small polygon unnormalised and its frame out of scale.
struct PlaneFrame {
    QmtVector3 origin;
    QmtVector3 x;
    QmtVector3 y;

    PlaneFrame(const QmtVector3& v0, const QmtVector3& v1, const QmtVector3& n) : origin(v0), x(v1 - v0) {
        x.Unitize(0.0);
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
// The winding value is twice the area of V0 V1 V2; it is judged against the product
// of the two edge lengths (a sine), so a small polygon winds like a large one.
inline bool needsReversal(const QmtVector3* V, const QmtVector3& n) {
    const QmtVector3 e0 = V[1] - V[0];
    const QmtVector3 e1 = V[2] - V[1];
    const double c = e1.Cross(e0).Dot(n);
    return c < 0.0 || c * c < TOLERANCE * TOLERANCE * e0.SquaredLength() * e1.SquaredLength();
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

// Lengths of the overlap polygon are judged against its span (the largest distance
// from its first point): an edge shorter than 1e-5 of the span is a repeated point,
// a corner closer than 1e-5 of its longest edge to the line of its neighbours lies
// on that line. Sizes do not matter, only shapes.
struct Thinning {
    double shortSq;  // squared length below which two points are one

    bool repeated(const QmtVector3& p, const QmtVector3& q) const { return (p - q).SquaredLength() < shortSq; }

    // The corner b between a and c says nothing of its own: it repeats a, the
    // polygon doubles back (a and c one point), or it lies on the line a c. A b that
    // repeats c stays when c is tested next (c then goes as a repeat of b), so that
    // of two repeated points one is kept.
    bool negligible(const QmtVector3& a, const QmtVector3& b, const QmtVector3& c, bool cTestedNext) const {
        if (repeated(a, b) || repeated(a, c)) {
            return true;
        }
        if (repeated(b, c)) {
            return !cTestedNext;
        }
        return collinear(a, b, c);
    }

    // The closing test: any repeated pair or a flat corner.
    bool degenerate(const QmtVector3& a, const QmtVector3& b, const QmtVector3& c) const {
        return repeated(a, b) || repeated(b, c) || repeated(a, c) || collinear(a, b, c);
    }

    static bool collinear(const QmtVector3& a, const QmtVector3& b, const QmtVector3& c) {
        // h² < tol²·L² over the longest side L, as the relative degenerate-triangle test.
        const double lab = (a - b).SquaredLength();
        const double lbc = (b - c).SquaredLength();
        const double lac = (a - c).SquaredLength();
        const QmtVector3* p = &a;
        const QmtVector3* q = &c;
        const QmtVector3* r = &b;
        double L2 = lac;
        if (lab > L2) {
            q = &b;
            r = &c;
            L2 = lab;
        }
        if (lbc > L2) {
            p = &b;
            q = &c;
            r = &a;
            L2 = lbc;
        }
        const QmtVector3 side = *q - *p;
        const QmtVector3 off = *r - *p;
        // |side × off|² = L²·h²: h² < tol²·L² without a square root.
        return side.Cross(off).SquaredLength() < TOLERANCE * TOLERANCE * L2 * L2;
    }
};

// Thins near-collinear and repeated points of Q (m >= 1, frame coordinates) and
// writes the kept ones back in 3D; returns their count.
std::uint32_t thinAndMapBack(const PlaneFrame& frame, const QmtVector3* Q, std::uint32_t m, QmtVector3* out) {
    std::uint32_t kept = 0;
    out[kept++] = frame.toWorld(Q[0]);
    if (m == 1) {
        return kept;
    }
    double span = 0.0;
    for (std::uint32_t i = 1; i < m; ++i) {
        span = std::fmax(span, (Q[i] - Q[0]).SquaredLength());
    }
    const Thinning thin{TOLERANCE * TOLERANCE * span};
    for (std::uint32_t i = 1; i + 1 < m; ++i) {
        // The last point is not tested here: the closing step below settles it.
        if (!thin.negligible(Q[i - 1], Q[i], Q[i + 1], i + 2 < m)) {
            out[kept++] = frame.toWorld(Q[i]);
        }
    }
    // The closing point is always appended, even when the farther one is Q(m-2) and
    // was kept above: the result then lists it twice and never exceeds m points.
    const std::uint32_t last = m - 1;
    const std::uint32_t beforeLast = m - 2;
    std::uint32_t closing = last;
    if (thin.degenerate(Q[beforeLast], Q[last], Q[0])) {
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

// The crossings miss an end of the part over the polygon when the segment starts or
// ends on the boundary and rounding puts that end a hair outside, or when it runs
// along an edge (taken as collinear, which reports one end of the shared piece only).
// The exact part is where the segment's shadow a..b lies on the inner side of every
// edge of the counter-clockwise frame polygon: an interval [lo, hi] of the parameter
// u. When the points found leave out an end of it, its two ends replace them, the end
// nearer the first point first. A cheap test settles the usual case first: two points
// with no end of the segment inside beyond them.
class ShadowCover {
public:
    ShadowCover(const QmtVector3* poly, std::uint32_t k, const QmtVector3& a, const QmtVector3& b)
        : poly_(poly), k_(k), a_(a), abx_(b.x - a.x), aby_(b.y - a.y), abab_(abx_ * abx_ + aby_ * aby_) {}

    // found: how many crossings the edge scan recorded.
    void apply(QmtVector3* result, std::uint32_t& r, std::int32_t found) const {
        if (!(abab_ > 0.0)) {
            return;  // a segment standing on one point of the plane has no parameter there
        }
        const double slack = MISS * abab_;  // parameters below are u·|ab|²
        double tMin = 0.0;
        double tMax = 0.0;
        for (std::uint32_t i = 0; i < r; ++i) {
            const double t = along(result[i]);
            tMin = i == 0 || t < tMin ? t : tMin;
            tMax = i == 0 || t > tMax ? t : tMax;
        }
        if (r == 2 && found <= 2 && tMax - tMin > slack && onShadow(result[0]) && onShadow(result[1])) {
            // Two distinct boundary points of the shadow: the part between them is over
            // the polygon, and only an end of the segment inside beyond them is missing.
            const bool startLeft = tMin > slack && insideAt(0.0);
            const bool endLeft = tMax < abab_ - slack && insideAt(1.0);
            if (!startLeft && !endLeft) {
                return;
            }
        } else if (r == 0) {
            // No crossing and the start outside: only a touch (of a vertex, or of an
            // end lying on the boundary) can hide here, and a touch adds no length.
            return;
        }
        double lo = 0.0;
        double hi = 1.0;
        for (std::uint32_t i = 0; i < k_; ++i) {
            double g0 = 0.0;
            double dg = 0.0;
            edge(i, g0, dg);
            if (dg > 0.0) {
                lo = std::fmax(lo, -g0 / dg);
            } else if (dg < 0.0) {
                hi = std::fmin(hi, -g0 / dg);
            } else if (g0 < 0.0) {
                hi = -1.0;
            }
        }
        if (!(hi - lo > MISS)) {
            return;  // nothing, or a touch, over the polygon: the points found stand
        }
        if (r > 0 && tMin <= (lo + MISS) * abab_ && tMax >= (hi - MISS) * abab_) {
            return;
        }
        const QmtVector3 pLo(a_.x + abx_ * lo, a_.y + aby_ * lo, 0.0);
        const QmtVector3 pHi(a_.x + abx_ * hi, a_.y + aby_ * hi, 0.0);
        const double uFirst = r > 0 ? along(result[0]) / abab_ : 0.0;
        const bool hiFirst = r > 0 && std::fabs(uFirst - hi) < std::fabs(uFirst - lo);
        result[0] = hiFirst ? pHi : pLo;
        result[1] = hiFirst ? pLo : pHi;
        r = 2;
    }

private:
    static constexpr double MISS = 1e-6;  // share of the segment an end may be missed by

    double along(const QmtVector3& q) const { return (q.x - a_.x) * abx_ + (q.y - a_.y) * aby_; }

    // On the shadow's line to MISS in the sine: an edge taken as collinear with the
    // shadow reports a point of the edge that may lie off it.
    bool onShadow(const QmtVector3& q) const {
        const double dx = q.x - a_.x;
        const double dy = q.y - a_.y;
        const double c = dx * aby_ - dy * abx_;
        return c * c <= MISS * MISS * (dx * dx + dy * dy) * abab_;
    }

    // Edge i's inward side along the shadow: g0 + u·dg, zero on the edge's line.
    void edge(std::uint32_t i, double& g0, double& dg) const {
        const QmtVector3& p = poly_[i];
        const QmtVector3& q = poly_[i + 1 < k_ ? i + 1 : 0];
        const double mx = p.y - q.y;  // inward normal of a counter-clockwise edge
        const double my = q.x - p.x;
        g0 = mx * (a_.x - p.x) + my * (a_.y - p.y);
        dg = mx * abx_ + my * aby_;
    }

    // Inside, or outside by no more than MISS of the segment's length (an end that
    // rounding moved off the boundary).
    bool insideAt(double u) const {
        for (std::uint32_t i = 0; i < k_; ++i) {
            double g0 = 0.0;
            double dg = 0.0;
            edge(i, g0, dg);
            const double g = g0 + u * dg;
            if (g < 0.0 && g * g > MISS * MISS * abab_ * edgeSq(i)) return false;
        }
        return true;
    }

    double edgeSq(std::uint32_t i) const {
        const QmtVector3& p = poly_[i];
        const QmtVector3& q = poly_[i + 1 < k_ ? i + 1 : 0];
        return (q.x - p.x) * (q.x - p.x) + (q.y - p.y) * (q.y - p.y);
    }

    const QmtVector3* poly_;
    std::uint32_t k_;
    QmtVector3 a_;
    double abx_;
    double aby_;
    double abab_;
};

// The 2D line and segment tests, kept local so that the edge scan inlines them.
inline bool lines2D(const QmtVector3& P0, const QmtVector3& D0, const QmtVector3& P1, const QmtVector3& D1,
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

inline bool segments2D(const QmtVector3& P0, const QmtVector3& P1, const QmtVector3& Q0, const QmtVector3& Q1,
                       std::uint32_t& quantity, double params[2]) {
    const QmtVector3 D0 = P1 - P0;
    const QmtVector3 D1 = Q1 - Q0;
    QmtVector3 diff;
    double sqrLen0 = 0.0;
    lines2D(P0, D0, Q0, D1, diff, sqrLen0, quantity, params);

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

// Squared length of the polygon's longest edge.
[[gnu::noinline]] double longestEdgeSq(const QmtVector3* V, std::uint32_t count) {
    double longest = 0.0;
    for (std::uint32_t e = 0; e < count; ++e) {
        longest = std::fmax(longest, (V[e + 1 < count ? e + 1 : 0] - V[e]).SquaredLength());
    }
    return longest;
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
    return lines2D(P0, D0, P1, D1, diff, sqrLen0, quantity, params);
}

bool intersectSegments2D(const QmtVector3& P0, const QmtVector3& P1, const QmtVector3& Q0, const QmtVector3& Q1,
                         std::uint32_t& quantity, double params[2]) {
    return segments2D(P0, P1, Q0, Q1, quantity, params);
}

bool locatePointInConvexPolygon(const QmtVector3& p, const QmtVector3* V, const std::uint32_t& count,
                                const QmtVector3& n, std::int32_t& edge) {
    const std::uint32_t k = count;
    for (std::uint32_t i = 0; i < k; ++i) {
        const std::uint32_t next = (i + 1) % k;
        const QmtVector3& a = V[i];
        const QmtVector3& b = V[next];
        QmtVector3 m = (b - a).Cross(n);
        const double edgeLength = m.Unitize(0.0);  // a cosine test at any size
        // Make it point away from the polygon. The next corner's side is a cosine
        // too, so that small polygons turn like large ones.
        const QmtVector3 after = V[(i + 2) % k] - b;
        const double side = after.Dot(m);
        if (side > 0.0 && side * side > TOLERANCE * TOLERANCE * after.SquaredLength()) {
            m = -m;
        }
        // A point within 1e-6 of the edge's length of the corner is on it: inside
        // this edge whatever rounding says of its direction.
        QmtVector3 w = p - b;
        if (w.Unitize(1e-6 * edgeLength) == 0.0) {
            w = QmtVector3();
        }
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
    // Two crossings closer than 1e-5 of the polygon's longest edge are one (a vertex
    // met from both of its edges); the longest edge is measured once it matters.
    double sameSq = -1.0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const QmtVector3& a = V[i];
        const QmtVector3& b = V[i + 1 < count ? i + 1 : 0];
        std::uint32_t quantity = 0;
        double params[2] = {0.0, 0.0};
        if (!segments2D(a, b, S0, S1, quantity, params)) {
            continue;
        }
        const QmtVector3 point = a + (b - a) * params[0];
        bool duplicate = false;
        if (found > 0 && sameSq < 0.0) {
            sameSq = TOLERANCE * TOLERANCE * longestEdgeSq(V, count);
        }
        for (std::int32_t r = 0; r < found && !duplicate; ++r) {
            duplicate = (point - points[r]).SquaredLength() < sameSq;
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
        } else {
            // The other end of the part over the polygon is an end of the segment
            // that lies inside. A segment that starts on the boundary has its start
            // inside too, but that is the crossing itself: then the other end, when
            // inside, carries the rest of the segment.
            const double abSq = (b - a).SquaredLength();
            const bool aAtCrossing = (a - crossings[0]).SquaredLength() <= TOLERANCE * TOLERANCE * abSq;
            if (!aAtCrossing && inside(a)) {
                result[r++] = a;
            } else if (inside(b)) {
                result[r++] = b;
            } else if (aAtCrossing && inside(a)) {
                result[r++] = a;
            }
        }
    } else if (inside(a)) {
        result[r++] = a;
        if (inside(b)) {
            result[r++] = b;
        }
    }

    ShadowCover(poly, k, a, b).apply(result, r, found);

    // Back onto the segment. A segment parallel to the polygon (to a cosine of 1e-5)
    // takes each point's foot on its line. A tilted one takes the segment point right
    // above it: the foot of a point on a tilted line lies elsewhere, even past an end.
    // Either way the point stays between the segment's ends.
    QmtVector3 d = S1 - S0;
    const double length = d.Unitize(0.0);
    const double rise = d.Dot(n);
    const double shadowX = b.x - a.x;
    const double shadowY = b.y - a.y;
    const double shadowSq = shadowX * shadowX + shadowY * shadowY;
    const bool tilted = rise * rise > TOLERANCE * TOLERANCE && shadowSq > 0.0;
    for (std::uint32_t i = 0; i < r; ++i) {
        if (tilted) {
            const double u = ((result[i].x - a.x) * shadowX + (result[i].y - a.y) * shadowY) / shadowSq;
            out[i] = u <= 0.0 ? S0 : u >= 1.0 ? S1 : S0 + (S1 - S0) * u;
        } else {
            // Feet past an end by more than rounding snap to that end.
            const QmtVector3 q = frame.toWorld(result[i]);
            const double along = (q - S0).Dot(d);
            const double past = 1e-12 * length;
            out[i] = along < -past ? S0 : along > length + past ? S1 : S0 + d * along;
        }
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
