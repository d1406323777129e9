#include "geometry/proximity.h"

#include <cmath>

#include "geometry/boundingVolumes.h"
#include "math/qmtMatrix3.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

namespace {

constexpr double TOL = 1e-5;

// Interior value of the two-parameter quadratic
// Q(s, t) = a·s² + 2b·st + c·t² + 2d·s + 2e·t + f shared by the line and segment
// distances.
inline double quadratic(double a, double b, double c, double d, double e, double f, double s, double t) {
    return s * (a * s + b * t + 2.0 * d) + t * (b * s + c * t + 2.0 * e) + f;
}

// Coefficients of Q(s, t) = |W + s·U + t·V|² for two lines with directions U and V
// whose start points differ by W (first minus second), and |a·c - b²|.
struct LinePairForm {
    double a, b, c, d, e, f, det;
};

inline LinePairForm linePairForm(const QmtVector3& U, const QmtVector3& V, const QmtVector3& W) {
    const double a = U.Dot(U);
    const double b = -U.Dot(V);
    const double c = V.Dot(V);
    return {a, b, c, W.Dot(U), -W.Dot(V), W.Dot(W), std::fabs(a * c - b * b)};
}

// Point against segment A + u·E with E·E = c, e = (A - P)·E, f = |A - P|²: the foot
// clamped to [0, 1]. A zero-length segment answers its point A.
inline double pointSegment(double c, double e, double f, double& u) {
    if (e >= 0.0) {
        u = 0.0;
        return f;
    }
    if (-e >= c) {
        u = 1.0;
        return c + 2.0 * e + f;
    }
    u = -e / c;
    return f - e * e / c;
}

inline double pointSegment(const QmtVector3& P, const QmtVector3& A, const QmtVector3& B, double& u) {
    const QmtVector3 E = B - A;
    const QmtVector3 W = A - P;
    return std::fabs(pointSegment(E.Dot(E), W.Dot(E), W.Dot(W), u));
}

// Point against a triangle, the region past the hypotenuse (s + t = 1) on the side of
// the s = 0 edge: the minimum lies on the hypotenuse or on that edge. Called with
// (a, d, s) and (c, e, t) swapped it serves the t = 0 edge; quadratic() is symmetric
// under that swap to the last bit, so both regions round alike.
inline double hypotenuseOrLeg(double a, double b, double c, double d, double e, double f, double denom, double& s,
                              double& t) {
    const double u0 = b + d;
    const double u1 = c + e;
    if (u1 > u0) {
        const double n = u1 - u0;
        if (n >= denom) {
            s = 1.0;
            t = 0.0;
            return a + 2.0 * d + f;
        }
        s = n / denom;
        t = 1.0 - s;
        return quadratic(a, b, c, d, e, f, s, t);
    }
    s = 0.0;
    if (u1 <= 0.0) {
        t = 1.0;
        return c + 2.0 * e + f;
    }
    if (e >= 0.0) {
        t = 0.0;
        return f;
    }
    t = -e / c;
    return f - e * e / c;
}

// A triangle whose normal equations are singular has collapsed onto a segment or a
// point: its closest point lies on one of its edges.
double pointDegenerateTriangle(const QmtVector3& P, const QmtVector3* tri, double& s, double& t) {
    double u = 0.0;
    double best = pointSegment(P, tri[0], tri[1], u);
    s = u;
    t = 0.0;
    double dist = pointSegment(P, tri[0], tri[2], u);
    if (dist < best) {
        best = dist;
        s = 0.0;
        t = u;
    }
    dist = pointSegment(P, tri[1], tri[2], u);
    if (dist < best) {
        best = dist;
        s = 1.0 - u;
        t = u;
    }
    return best;
}

// Edge pieces of the segment-segment region method (see sqrDistanceSegmentSegment).
inline double edgeS0(double c, double e, double f, double bound, double& t) {
    if (e > bound) {
        t = 0.0;
        return f;
    }
    if (-e > c) {
        t = 1.0;
        return c + 2.0 * e + f;
    }
    t = -e / c;
    return f - e * e / c;
}

// The far-end edge of either segment: edgeS1(a, c, d, f, h, t) for s = 1, and with the
// roles of the two segments swapped, edgeS1(c, a, e, f, g, s) for t = 1.
inline double edgeS1(double a, double c, double d, double f, double h, double& t) {
    if (h > -TOL) {
        t = 0.0;
        return a + 2.0 * d + f;
    }
    if (-h > c) {
        t = 1.0;
        return a + c + 2.0 * (d + h) + f;
    }
    t = -h / c;
    return a + 2.0 * d + h * t + f;
}

inline double edgeT0(double a, double d, double f, double& s) {
    if (d > -TOL) {
        s = 0.0;
        return f;
    }
    if (-d >= a) {
        s = 1.0;
        return a + 2.0 * d + f;
    }
    s = -d / a;
    return f - d * d / a;
}

// Least of the four end-to-segment distances of two segments (the quadratic terms of
// sqrDistanceSegmentSegment), first of equals in the order s = 0, s = 1, t = 0, t = 1.
double boundaryMinimum(double a, double b, double c, double d, double e, double f, double& s, double& t) {
    double u = 0.0;
    double best = pointSegment(c, e, f, u);  // P0 against Q
    s = 0.0;
    t = u;
    double dist = pointSegment(c, e + b, f + 2.0 * d + a, u);  // P1 against Q
    if (dist < best) {
        best = dist;
        s = 1.0;
        t = u;
    }
    dist = pointSegment(a, d, f, u);  // Q0 against P
    if (dist < best) {
        best = dist;
        s = u;
        t = 0.0;
    }
    dist = pointSegment(a, d + b, f + 2.0 * e + c, u);  // Q1 against P
    if (dist < best) {
        best = dist;
        s = u;
        t = 1.0;
    }
    return std::fabs(best);
}

}  // namespace

void sphereSphereContact(const QmtVector3& A, double rA, const QmtVector3& B, double rB, QmtVector3& point,
                         QmtVector3& normal, double& separation) {
    QmtVector3 d = B - A;
    double value;
    if (d.SquaredLength() > TOL) {
        value = rA + rB - d.Length();
    } else {
        // Coincident centres: any direction serves; the larger sphere decides the depth.
        d = QmtVector3(1.0, 0.0, 0.0);
        value = rA > rB ? rA : rB;
    }
    separation = -value;
    normal = d;
    normal.Unitize(QmtMatrix3::EPSILON);
    point = A + normal * rA;
}

bool allPointsAbovePlane(const QmtVector3* points, const std::uint32_t* count, const QmtVector3& Q,
                         const QmtVector3& n) {
    const std::uint32_t total = count != nullptr ? *count : 0u;
    for (std::uint32_t i = 0; i < total; ++i) {
        if ((points[i] - Q).Dot(n) < -TOL) {
            return false;
        }
    }
    return true;
}

bool isPointBelowPlane(const QmtVector3& n, const QmtVector3& Q, const QmtVector3& p) {
    QmtVector3 w = p - Q;
    w.Unitize(QmtMatrix3::EPSILON);
    return w.Dot(n) < -TOL;
}

bool intersectRaySegment(const QmtVector3& P, const QmtVector3& D, const QmtVector3& A, const QmtVector3& B,
                         double& rayParam, double& segParam) {
    const QmtVector3 E = B - A;
    const QmtVector3 W = P - A;
    const double a = D.Dot(D);
    const double b = -D.Dot(E);
    const double c = E.Dot(E);
    const double d = W.Dot(D);
    const double e = W.Dot(E);
    const double det = std::fabs(a * c - b * b);
    if (det < TOL) {
        return false;
    }
    const double s = (d * b + e * a) / det;
    if (s < 0.0 || s > 1.0) {
        return false;
    }
    const double r = (-e * b - d * c) / det;
    if (r < 0.0) {
        return false;
    }
    rayParam = r;
    segParam = s;
    return true;
}

double sqrDistanceLineSegment(const QmtVector3& P, const QmtVector3& D, const QmtVector3& A, const QmtVector3& B,
                              double& lineParam, double& segParam) {
    const QmtVector3 E = B - A;
    const QmtVector3 W = P - A;
    const auto [a, b, c, d, e, f, det] = linePairForm(D, E, W);
    double r;
    double s;
    double dist;
    if (det >= TOL) {
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

    // The parallel test runs in single precision. A zero normal (collapsed triangle)
    // makes both sides zero; its edges are all there is, so it counts as parallel.
    const float DdN = static_cast<float>(D.Dot(N));
    const float NN = static_cast<float>(N.SquaredLength());
    const float DdN2 = DdN * DdN;
    if (DdN2 > 0.0f && DdN2 >= TOL * DD * NN) {
        // Normal equations of |P + r·D - V0 - s·E0 - t·E1|², solved by cofactors.
        const QmtVector3 Diff = P - tri[0];
        const double a00 = DD;
        const double a01 = -D.Dot(E0);
        const double a02 = -D.Dot(E1);
        const double a11 = E0.Dot(E0);
        const double a12 = E0.Dot(E1);
        const double a22 = E1.Dot(E1);
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

    // Parallel: every edge counts; among edges that touch the line the first touch
    // along it (smallest r) wins.
    double rl = 0.0;
    double u = 0.0;
    double best = sqrDistanceLineSegment(P, D, tri[0], tri[1], rl, u);
    r = rl;
    s = u;
    t = 0.0;
    const auto consider = [&](double dist, double sNew, double tNew) {
        const bool better = (best <= TOL && dist <= TOL) ? rl < r : dist < best;
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
    return best;
}

double sqrDistancePointTriangle(const QmtVector3& P, const QmtVector3* tri, double& s, double& t) {
    const QmtVector3 E0 = tri[1] - tri[0];
    const QmtVector3 E1 = tri[2] - tri[0];
    const QmtVector3 Diff = tri[0] - P;
    const double a = E0.Dot(E0);
    const double b = E0.Dot(E1);
    const double c = E1.Dot(E1);
    const double d = Diff.Dot(E0);
    const double e = Diff.Dot(E1);
    const double f = Diff.Dot(Diff);
    const double det = std::fabs(a * c - b * b);
    double sN = b * e - c * d;
    double tN = b * d - a * e;
    double dist;

    if (sN + tN <= det) {
        if (tN < 0.0 && (sN >= 0.0 || d < 0.0)) {
            tN = 0.0;
            dist = pointSegment(a, d, f, sN);  // on the t = 0 edge
        } else if (sN >= 0.0) {
            if (det == 0.0) {
                // Only a collapsed triangle gets here with 0/0.
                return pointDegenerateTriangle(P, tri, s, t);
            }
            sN /= det;
            tN /= det;
            dist = quadratic(a, b, c, d, e, f, sN, tN);
        } else {
            sN = 0.0;
            dist = pointSegment(c, e, f, tN);  // on the s = 0 edge
        }
    } else {
        const double denom = a - 2.0 * b + c;
        if (sN < 0.0) {
            dist = hypotenuseOrLeg(a, b, c, d, e, f, denom, sN, tN);
        } else if (tN < 0.0) {
            // The same region across the t = 0 edge: the roles of s and t swap.
            dist = hypotenuseOrLeg(c, b, a, e, d, f, denom, tN, sN);
        } else {
            const double n = (c + e) - (b + d);
            if (n <= 0.0) {
                sN = 0.0;
                tN = 1.0;
                dist = c + 2.0 * e + f;
            } else if (n >= denom) {
                sN = 1.0;
                tN = 0.0;
                dist = a + 2.0 * d + f;
            } else {
                sN = n / denom;
                tN = 1.0 - sN;
                dist = quadratic(a, b, c, d, e, f, sN, tN);
            }
        }
    }
    s = sN;
    t = tN;
    return std::fabs(dist);
}

double sqrDistanceSegmentSegment(const QmtVector3& P0, const QmtVector3& P1, const QmtVector3& Q0,
                                 const QmtVector3& Q1, double& s, double& t) {
    const QmtVector3 E = P1 - P0;
    const QmtVector3 F = Q1 - Q0;
    const QmtVector3 W = P0 - Q0;
    const auto [a, b, c, d, e, f, det] = linePairForm(E, F, W);
    double dist;

    if (det > TOL) {
        const double sN = b * e - c * d;
        const double tN = b * d - a * e;
        const double g = d + b;
        const double h = e + b;
        if (sN <= -TOL) {
            if (tN > -TOL && tN >= det) {
                if (g < 0.0) {
                    t = 1.0;
                    if (-g > a) {
                        s = 1.0;
                        dist = a + c + 2.0 * (g + e) + f;
                    } else {
                        s = -g / a;
                        dist = c + 2.0 * e + g * s + f;
                    }
                } else {
                    s = 0.0;
                    dist = edgeS0(c, e, f, -TOL, t);
                }
            } else if (tN > -TOL) {
                s = 0.0;
                dist = edgeS0(c, e, f, 0.0, t);
            } else if (d < TOL) {
                t = 0.0;
                if (-d > a) {
                    s = 1.0;
                    dist = a + 2.0 * d + f;
                } else {
                    s = -d / a;
                    dist = f - d * d / a;
                }
            } else {
                s = 0.0;
                dist = edgeS0(c, e, f, -TOL, t);
            }
        } else if (sN < det) {
            if (tN < -TOL) {
                t = 0.0;
                dist = edgeT0(a, d, f, s);
            } else if (tN < det) {
                s = sN / det;
                t = tN / det;
                dist = quadratic(a, b, c, d, e, f, s, t);
            } else {
                t = 1.0;
                dist = edgeS1(c, a, e, f, g, s);
            }
        } else {
            if (tN <= -TOL) {
                if (a > -d) {
                    t = 0.0;
                    if (d > -TOL) {
                        s = 0.0;
                        dist = f;
                    } else {
                        s = -d / a;
                        dist = f - d * d / a;
                    }
                } else {
                    s = 1.0;
                    dist = edgeS1(a, c, d, f, h, t);
                }
            } else if (tN < det) {
                s = 1.0;
                dist = edgeS1(a, c, d, f, h, t);
            } else if (a > -g) {
                t = 1.0;
                if (g > -TOL) {
                    s = 0.0;
                    dist = c + 2.0 * e + f;
                } else {
                    s = -g / a;
                    dist = c + 2.0 * e + g * s + f;
                }
            } else {
                s = 1.0;
                dist = edgeS1(a, c, d, f, h, t);
            }
        }
        return std::fabs(dist);
    }

    // One segment (nearly) a point has no direction to compare. The minimum then lies
    // on the boundary of the parameter square: each end against the other segment.
    if (a < TOL || c < TOL) {
        return boundaryMinimum(a, b, c, d, e, f, s, t);
    }

    const double k = W.Dot(F);
    if (b <= -TOL) {
        if (-d > a) {
            s = 1.0;
            t = 0.0;
            dist = a + 2.0 * d + f;
        } else if (d < -TOL) {
            s = -d / a;
            t = 0.0;
            dist = -(d * d) / a + f;
        } else {
            s = 0.0;
            if (d > -b) {
                t = 1.0;
                dist = c - 2.0 * k + f;
            } else {
                t = -d / b;
                dist = t * (t * c - 2.0 * k) + f;
            }
        }
    } else {
        if (d > -TOL) {
            s = 0.0;
            t = 0.0;
            dist = f;
        } else if (a > -d) {
            s = -d / a;
            t = 0.0;
            dist = -(d * d) / a + f;
        } else {
            s = 1.0;
            if (-(d + a) > b) {
                t = 1.0;
                dist = 2.0 * (d + b - k) + c + a + f;
            } else {
                // b = 0 (square to each other) with P1 level with Q0 leaves 0/0: P1's
                // foot on Q, clamped, is then the answer.
                t = b != 0.0 ? -(d + a) / b : std::fmin(std::fmax((k - b) / c, 0.0), 1.0);
                dist = t * (t * c + 2.0 * (b - k)) + 2.0 * d + a + f;
            }
        }
    }
    return std::fabs(dist);
}

double sqrDistanceLineLine(const QmtVector3& P0, const QmtVector3& D0, const QmtVector3& P1, const QmtVector3& D1,
                           double& s, double& t) {
    const QmtVector3 W = P0 - P1;
    const auto [a, b, c, d, e, f, det] = linePairForm(D0, D1, W);
    double dist;
    if (det < TOL) {
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

bool segmentsParallel(const QmtVector3& P0, const QmtVector3& P1, const QmtVector3& Q0, const QmtVector3& Q1) {
    return (P1 - P0).Cross(Q1 - Q0).SquaredLength() < TOL;
}

namespace {

// Collinear overlap of segment (A0, A1) and (B0, B1), judged along the line of A.
bool collinearOverlap(const QmtVector3& A0, const QmtVector3& A1, const QmtVector3& B0, const QmtVector3& B1) {
    const QmtVector3 u = A1 - A0;
    QmtVector3 unit = u;
    const QmtVector3 w = B0 - A0;
    QmtVector3 offset = w;
    if (unit.Unitize(QmtMatrix3::EPSILON) != 0.0) {
        offset -= unit * w.Dot(unit);
    }
    if (offset.SquaredLength() > TOL) {
        return false;
    }
    const double b0 = B0.Dot(u);
    const double b1 = B1.Dot(u);
    const double lo = b0 < b1 ? b0 : b1;
    const double hi = b0 < b1 ? b1 : b0;
    return !(lo > A1.Dot(u) || A0.Dot(u) > hi);
}

}  // namespace

bool segmentsIntersect(const QmtVector3& P0, const QmtVector3& P1, const QmtVector3& Q0, const QmtVector3& Q1) {
    const QmtVector3 u = P1 - P0;
    const QmtVector3 w = Q1 - Q0;
    QmtVector3 n = u.Cross(w);
    if (n.SquaredLength() < TOL) {
        // A point segment has no line of its own: judge it against the other's line.
        const bool pIsPoint = u.SquaredLength() <= QmtMatrix3::EPSILON * QmtMatrix3::EPSILON;
        const bool qIsPoint = w.SquaredLength() <= QmtMatrix3::EPSILON * QmtMatrix3::EPSILON;
        if (pIsPoint) {
            return qIsPoint ? (Q0 - P0).SquaredLength() <= TOL : collinearOverlap(Q0, Q1, P0, P1);
        }
        return collinearOverlap(P0, P1, Q0, Q1);
    }
    n.Unitize(QmtMatrix3::EPSILON);
    const QmtVector3 q0 = Q0 - P0;
    if (std::fabs(q0.Dot(n)) > TOL) {
        return false;  // not coplanar
    }
    QmtVector3 m = n.Cross(u);
    m.Unitize(QmtMatrix3::EPSILON);
    if (q0.Dot(m) * (Q1 - P0).Dot(m) > TOL) {
        return false;  // Q0 and Q1 on one side of line P
    }
    QmtVector3 mq = n.Cross(w);
    mq.Unitize(QmtMatrix3::EPSILON);
    if (q0.Dot(mq) * (Q0 - P1).Dot(mq) > TOL) {
        return false;  // P0 and P1 on one side of line Q
    }
    return true;
}

bool capsuleCrossesPlane(const ZYLcapsule& capsule, const QmtVector3& Q, const QmtVector3& n) {
    // The core segment's two ends against the plane.
    const QmtVector3 half = capsule.axis * (capsule.length * 0.5);
    const double nQ = n.Dot(Q);
    const double d0 = n.Dot(capsule.centre - half) - nQ;
    const double d1 = n.Dot(capsule.centre + half) - nQ;
    const double rho = capsule.radius;
    return d0 * d1 <= 0.0 || rho >= std::fabs(d0) || rho >= std::fabs(d1);
}

bool isDegenerateTriangle(const QmtVector3& T0, const QmtVector3& T1, const QmtVector3& T2, bool relative,
                          double tol) {
    const double l02 = (T0 - T2).SquaredLength();
    const double l01 = (T0 - T1).SquaredLength();
    const double l12 = (T1 - T2).SquaredLength();
    if (l02 < TOL || l01 < TOL || l12 < TOL) {
        return true;
    }
    // Longest edge (first of equals in the order 02, 01, 12) and its opposite corner.
    const QmtVector3* A = &T0;
    const QmtVector3* B = &T2;
    const QmtVector3* C = &T1;
    double L2 = l02;
    if (l01 > L2) {
        B = &T1;
        C = &T2;
        L2 = l01;
    }
    if (l12 > L2) {
        A = &T1;
        B = &T2;
        C = &T0;
        L2 = l12;
    }
    QmtVector3 axis = *B - *A;
    axis.Unitize(QmtMatrix3::EPSILON);
    const QmtVector3 offset = *C - (*A + *B) * 0.5;
    const double h2 = (offset - axis * offset.Dot(axis)).SquaredLength();
    return relative ? h2 < tol * tol * L2 : h2 < tol * tol;
}
