#include "geometry/query/proximity.h"

#include <cmath>

#include "geometry/query/proximityForms.h"

// The line queries: a line against a segment, a line and a triangle.

using Qmt::QmtVector3;
using namespace proximity_forms;

namespace {

// Line P + r·D against segment A + s·E (W = P - A) when the region test cannot decide:
// both ends against the line and the interior pair, each measured on its points.
[[gnu::noinline, gnu::cold]] double lineSegmentFeatures(const QmtVector3& P, const QmtVector3& D,
                                                       const QmtVector3& A, const QmtVector3& B, double a, double b,
                                                       double c, double d, double e, double det, double& r,
                                                       double& s) {
    const QmtVector3 E = B - A;
    const QmtVector3 W = P - A;
    s = 0.0;
    r = -d / a;
    double best = (W + D * r).SquaredLength();
    const double rB = -(d + b) / a;
    double dist = (W + D * rB - E).SquaredLength();
    if (dist < best) {
        best = dist;
        r = rB;
        s = 1.0;
    }
    const double sNum = d * b - e * a;
    if (sNum >= 0.0 && sNum <= det) {
        const double si = sNum / det;
        const double ri = (e * b - d * c) / det;
        dist = (W + D * ri - E * si).SquaredLength();
        if (dist < best) {
            best = dist;
            r = ri;
            s = si;
        }
    }
    return best;
}

// Line against a triangle it runs parallel to, or one too thin to have a plane: every
// edge counts; among edges that touch the line (within 1e-5 of the triangle's size)
// the first touch along it (smallest r) wins. Kept out of line: the crossing case is
// the common one.
[[gnu::noinline]] double lineTriangleParallel(const QmtVector3& P, const QmtVector3& D, const QmtVector3* tri,
                                              double& r, double& s, double& t) {
    const QmtVector3 E0 = tri[1] - tri[0];
    const QmtVector3 E1 = tri[2] - tri[0];
    const double a11 = E0.Dot(E0);
    const double a22 = E1.Dot(E1);
    const double touch = TOL * std::fmax(a11, a22);
    double rl = 0.0;
    double u = 0.0;
    double best = sqrDistanceLineSegment(P, D, tri[0], tri[1], rl, u);
    r = rl;
    s = u;
    t = 0.0;
    const auto consider = [&](double dist, double sNew, double tNew) {
        const bool better = (best <= touch && dist <= touch) ? rl < r : dist < best;
        if (better) {
            best = dist;
            r = rl;
            s = sNew;
            t = tNew;
        }
    };
    double dist = sqrDistanceLineSegment(P, D, tri[0], tri[2], rl, u);
    consider(dist, 0.0, u);
    dist = sqrDistanceLineSegment(P, D, tri[1], tri[2], rl, u);
    consider(dist, 1.0 - u, u);

    // A line only nearly parallel to a real plane still crosses it; where that is
    // inside the triangle the edges miss the answer 0.
    double sx = 0.0;
    double tx = 0.0;
    if (lineCrossesTriangle(P, D, tri, rl, sx, tx)) {
        consider(0.0, sx, tx);
    }
    return best;
}

}  // namespace

bool lineCrossesTriangle(const QmtVector3& P, const QmtVector3& D, const QmtVector3* tri, double& r, double& s,
                         double& t) {
    const QmtVector3 E0 = tri[1] - tri[0];
    const QmtVector3 E1 = tri[2] - tri[0];
    const QmtVector3 N = E0.Cross(E1);
    const double NN = N.Dot(N);
    const double dn = D.Dot(N);
    // A triangle collapsed to rounding has a normal of noise: no plane to cross.
    if (dn == 0.0 || !(NN > COLLAPSED * E0.Dot(E0) * E1.Dot(E1))) {
        return false;
    }
    const double rx = (tri[0] - P).Dot(N) / dn;
    const QmtVector3 X = P + D * rx;
    // Inside when on the inner side of all three edges about N.
    if (E0.Cross(X - tri[0]).Dot(N) < 0.0 || (tri[2] - tri[1]).Cross(X - tri[1]).Dot(N) < 0.0 ||
        (tri[0] - tri[2]).Cross(X - tri[2]).Dot(N) < 0.0) {
        return false;
    }
    const QmtVector3 rel = X - tri[0];
    const double p0 = rel.Dot(E0);
    const double p1 = rel.Dot(E1);
    const double a11 = E0.Dot(E0);
    const double a12 = E0.Dot(E1);
    const double a22 = E1.Dot(E1);
    // a11·a22 - a12² = |N|²; clamp the rounding so the weights stay on the triangle.
    double sx = std::fmax((a22 * p0 - a12 * p1) / NN, 0.0);
    double tx = std::fmax((a11 * p1 - a12 * p0) / NN, 0.0);
    if (sx + tx > 1.0) {
        const double sum = sx + tx;
        sx /= sum;
        tx /= sum;
    }
    r = rx;
    s = sx;
    t = tx;
    return true;
}

double sqrDistanceLineSegment(const QmtVector3& P, const QmtVector3& D, const QmtVector3& A, const QmtVector3& B,
                              double& lineParam, double& segParam) {
    const auto [a, b, c, d, e, f, det] = linePairForm(D, B - A, P - A);
    double r;
    double s;
    double dist;
    // "Parallel" is judged on the angle (det = a·c·sin²), not on the lengths.
    const double ac = a * c;
    // det > 0 as well: for denormal lengths TOL * ac rounds to 0 and would let a
    // parallel pair (det = 0) divide by it.
    if (ac > 0.0 && det > 0.0 && det >= TOL * ac) {
        const double sNum = d * b - e * a;
        if (sNum >= 0.0 && sNum <= det) {
            s = sNum / det;
            r = (e * b - d * c) / det;
            dist = r * (a * r + b * s + 2.0 * d) + s * (b * r + c * s + 2.0 * e) + f;
        } else if (sNum > det) {
            s = 1.0;
            const double db = d + b;
            r = -db / a;
            dist = -(db * db) / a + c + 2.0 * e + f;
        } else {
            s = 0.0;
            r = -d / a;
            dist = -(d * d) / a + f;
        }
    } else if (a == 0.0) {
        // A zero direction leaves only the point P: its clamped foot on the segment.
        r = 0.0;
        dist = pointSegment(c, e, f, s);
    } else if (det > PARALLEL_EXACT * ac) {
        // Nearly parallel: too close to call by region, too far from parallel for
        // the end A alone. The least of both ends and the interior pair decides.
        dist = lineSegmentFeatures(P, D, A, B, a, b, c, d, e, det, r, s);
    } else {
        s = 0.0;
        r = -d / a;
        dist = -(d * d) / a + f;
    }
    lineParam = r;
    segParam = s;
    return std::fabs(dist);
}

double sqrDistanceLineTriangle(const QmtVector3& P, const QmtVector3& D, const QmtVector3* tri, double& r,
                               double& s, double& t) {
    const QmtVector3 E0 = tri[1] - tri[0];
    const QmtVector3 E1 = tri[2] - tri[0];
    const QmtVector3 N = E0.Cross(E1);
    const double DD = D.Dot(D);
    if (DD == 0.0) {
        // A zero direction leaves only the point P.
        r = 0.0;
        return sqrDistancePointTriangle(P, tri, s, t);
    }
    const double a11 = E0.Dot(E0);
    const double a22 = E1.Dot(E1);
    const double NN2 = N.Dot(N);

    // The parallel test runs in single precision. A triangle whose normal is small
    // against its edges (a sliver, or one collapsed onto a segment by rounding) has
    // no reliable plane: it is measured by its edges like a parallel one.
    const float DdN = static_cast<float>(D.Dot(N));
    const float NN = static_cast<float>(NN2);
    const float DdN2 = DdN * DdN;
    const bool wellShaped = NN2 > TOL * a11 * a22;
    if (DdN2 > 0.0f && DdN2 >= TOL * DD * NN && wellShaped) {
        // Normal equations of |P + r·D - V0 - s·E0 - t·E1|², solved by cofactors.
        const QmtVector3 Diff = P - tri[0];
        const double a00 = DD;
        const double a01 = -D.Dot(E0);
        const double a02 = -D.Dot(E1);
        const double a12 = E0.Dot(E1);
        const double b0 = -Diff.Dot(D);
        const double b1 = Diff.Dot(E0);
        const double b2 = Diff.Dot(E1);
        const SymmetricCofactors m = symmetricCofactors(a00, a01, a02, a11, a12, a22);
        const double rr = (m.c00 * b0 + m.c01 * b1 + m.c02 * b2) / m.det;
        const double ss = (m.c01 * b0 + m.c11 * b1 + m.c12 * b2) / m.det;
        const double tt = (m.c02 * b0 + m.c12 * b1 + m.c22 * b2) / m.det;
        if (ss >= 0.0 && tt >= 0.0 && ss + tt <= 1.0) {
            r = rr;
            s = ss;
            t = tt;
            return 0.0;
        }
        // Outside: the minimum lies on the edges whose lines separate (ss, tt) from
        // the triangle.
        const bool edge01 = tt < 0.0;                                  // t = 0
        const bool edge02 = ss < 0.0;                                  // s = 0
        const bool edge12 = ss + tt > 1.0 || (!edge01 && !edge02);     // s + t = 1
        double best = 0.0;
        bool found = false;
        double rl = 0.0;
        double u = 0.0;
        if (edge01) {
            best = sqrDistanceLineSegment(P, D, tri[0], tri[1], rl, u);
            r = rl;
            s = u;
            t = 0.0;
            found = true;
        }
        if (edge02) {
            const double dist = sqrDistanceLineSegment(P, D, tri[0], tri[2], rl, u);
            if (!found || dist < best) {
                best = dist;
                r = rl;
                s = 0.0;
                t = u;
                found = true;
            }
        }
        if (edge12) {
            const double dist = sqrDistanceLineSegment(P, D, tri[1], tri[2], rl, u);
            if (!found || dist < best) {
                best = dist;
                r = rl;
                s = 1.0 - u;
                t = u;
            }
        }
        return best;
    }

    return lineTriangleParallel(P, D, tri, r, s, t);
}

double sqrDistanceLineLine(const QmtVector3& P0, const QmtVector3& D0, const QmtVector3& P1, const QmtVector3& D1,
                           double& s, double& t) {
    const QmtVector3 W = P0 - P1;
    const auto [a, b, c, d, e, f, det] = linePairForm(D0, D1, W);
    double dist;
    if (!(det > 0.0 && det >= TOL * a * c)) {
        if (a == 0.0) {
            // The first line is only the point P0: its foot on the second line.
            s = 0.0;
            if (c == 0.0) {
                t = 0.0;
                return f;
            }
            t = -e / c;
            return std::fabs(f - e * e / c);
        }
        const QmtVector3 N = D0.Cross(D1);
        const double NN = N.Dot(N);
        if (NN > LINES_PARALLEL * a * c) {
            // Nearly parallel: the closest points lie far out along the lines, where
            // a·c - b² and the expanded quadratic lose their digits. The distance is
            // the offset along the common normal; |N|² is the accurate determinant.
            s = (e * b - d * c) / NN;
            t = (d * b - e * a) / NN;
            const double h = W.Dot(N);
            return h * h / NN;
        }
        s = -d / a;
        t = 0.0;
        dist = s * d + f;
    } else {
        s = (e * b - d * c) / det;
        t = (d * b - e * a) / det;
        dist = quadratic(a, b, c, d, e, f, s, t);
    }
    return std::fabs(dist);
}
