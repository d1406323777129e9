#include "geometry/query/proximity.h"

#include <cmath>

#include "geometry/bounds/boundingVolumes.h"
#include "geometry/query/proximityForms.h"
#include "math/qmtMatrix3.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using namespace proximity_forms;

namespace {

using proximity_forms::pointSegment;  // overloaded below for points

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
[[gnu::noinline, gnu::cold]] double pointDegenerateTriangle(const QmtVector3& P, const QmtVector3* tri, double& s,
                                                           double& t) {
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
    if (h > -TOL * c) {
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
    if (d > -TOL * a) {
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

// The helpers below run off the hot paths; they rebuild what they need from the
// callers' inputs so that the hot paths need not keep it in registers.

// Segment pair that the region method cannot decide: the least over the feature
// pairs, each end against the other segment and the interior pair (when the lines
// have a crossing of their closest points inside both segments). The interior pair is
// measured on the points themselves; it is a pair of real points, so it can only
// lower the answer towards the true one.
[[gnu::noinline, gnu::cold]] double segmentSegmentFeatures(const QmtVector3& P0, const QmtVector3& P1,
                                                          const QmtVector3& Q0, const QmtVector3& Q1, double a,
                                                          double b, double c, double d, double e, double f,
                                                          double det, double& s, double& t) {
    const QmtVector3 E = P1 - P0;
    const QmtVector3 F = Q1 - Q0;
    const QmtVector3 W = P0 - Q0;
    double best = boundaryMinimum(a, b, c, d, e, f, s, t);
    if (det > 0.0) {
        const double sN = b * e - c * d;
        const double tN = b * d - a * e;
        if (sN >= 0.0 && tN >= 0.0 && sN <= det && tN <= det) {
            const double si = sN / det;
            const double ti = tN / det;
            const double dist = (W + E * si - F * ti).SquaredLength();
            if (dist < best) {
                best = dist;
                s = si;
                t = ti;
            }
        }
    }
    return best;
}

// Point against a triangle too thin for the region method (sN, tN and det as there):
// the three edges, and the foot in the plane when it falls inside, measured on the
// point itself.
[[gnu::noinline, gnu::cold]] double pointTriangleFeatures(const QmtVector3& P, const QmtVector3* tri, double det,
                                                         double sN, double tN, double& s, double& t) {
    const QmtVector3 E0 = tri[1] - tri[0];
    const QmtVector3 E1 = tri[2] - tri[0];
    double best = pointDegenerateTriangle(P, tri, s, t);
    if (det > 0.0 && sN >= 0.0 && tN >= 0.0 && sN + tN <= det) {
        const double si = sN / det;
        const double ti = tN / det;
        const double dist = (tri[0] + E0 * si + E1 * ti - P).SquaredLength();
        if (dist < best) {
            best = dist;
            s = si;
            t = ti;
        }
    }
    return best;
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

    if (!(det > TOL * a * c)) {
        // A sliver (det = a·c·sin² of the angle at V0) or a collapsed triangle: the
        // regions are too thin to decide. Its edges and, when it still has an
        // interior, the foot in the plane decide.
        return pointTriangleFeatures(P, tri, det, sN, tN, s, t);
    }

    if (sN + tN <= det) {
        if (tN < 0.0 && (sN >= 0.0 || d < 0.0)) {
            tN = 0.0;
            dist = pointSegment(a, d, f, sN);  // on the t = 0 edge
        } else if (sN >= 0.0) {
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
    const auto [a, b, c, d, e, f, det] = linePairForm(P1 - P0, Q1 - Q0, P0 - Q0);
    const double ac = a * c;
    double dist;

    // Every threshold is relative to what it is compared with: det = a·c·sin² against
    // a·c, the numerators sN = s·det and tN = t·det against det, d and g (s·a) against
    // a, e and h (t·c) against c. The slack lets a foot that rounding puts just past
    // an end count as on it.
    if (det > TOL * ac) {
        const double tauDet = TOL * det;
        const double tauA = TOL * a;
        const double sN = b * e - c * d;
        const double tN = b * d - a * e;
        const double g = d + b;
        const double h = e + b;
        if (sN <= -tauDet) {
            if (tN > -tauDet && tN >= det) {
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
                    dist = edgeS0(c, e, f, -TOL * c, t);
                }
            } else if (tN > -tauDet) {
                s = 0.0;
                dist = edgeS0(c, e, f, 0.0, t);
            } else if (d < tauA) {
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
                dist = edgeS0(c, e, f, -TOL * c, t);
            }
        } else if (sN < det) {
            if (tN < -tauDet) {
                t = 0.0;
                dist = edgeT0(a, d, f, s);
            } else if (tN < det) {
                // A numerator inside the slack is an end itself: keep the point on
                // its segment.
                s = sN > 0.0 ? sN / det : 0.0;
                t = tN > 0.0 ? tN / det : 0.0;
                dist = quadratic(a, b, c, d, e, f, s, t);
            } else {
                t = 1.0;
                dist = edgeS1(c, a, e, f, g, s);
            }
        } else {
            if (tN <= -tauDet) {
                if (a > -d) {
                    t = 0.0;
                    if (d > -tauA) {
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
                if (g > -tauA) {
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

    // A point segment has no direction to compare, and nearly parallel segments are
    // too close to call by region yet too far from parallel for the parallel rules:
    // both take the least over the feature pairs (each end against the other
    // segment, and the interior pair).
    // The directions are taken afresh from the ends: keeping them live through the
    // region method above would cost it registers.
    if (!(ac > 0.0) || det > PARALLEL_EXACT * ac) {
        return segmentSegmentFeatures(P0, P1, Q0, Q1, a, b, c, d, e, f, det, s, t);
    }

    // Parallel. b = -|E|·|F| or +|E|·|F|: its sign says whether the directions agree.
    // k = W·F is needed by the last branch of each side only.
    if (b < 0.0) {
        if (-d > a) {
            s = 1.0;
            t = 0.0;
            dist = a + 2.0 * d + f;
        } else if (d < -TOL * a) {
            s = -d / a;
            t = 0.0;
            dist = -(d * d) / a + f;
        } else {
            s = 0.0;
            const double k = (P0 - Q0).Dot(Q1 - Q0);
            if (d > -b) {
                t = 1.0;
                dist = c - 2.0 * k + f;
            } else {
                t = -d / b;
                dist = t * (t * c - 2.0 * k) + f;
            }
        }
    } else {
        if (d > -TOL * a) {
            s = 0.0;
            t = 0.0;
            dist = f;
        } else if (a > -d) {
            s = -d / a;
            t = 0.0;
            dist = -(d * d) / a + f;
        } else {
            s = 1.0;
            const double k = (P0 - Q0).Dot(Q1 - Q0);
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

bool segmentsParallel(const QmtVector3& P0, const QmtVector3& P1, const QmtVector3& Q0, const QmtVector3& Q1) {
    return (P1 - P0).Cross(Q1 - Q0).SquaredLength() < TOL;
}

namespace {

// Collinear overlap of segment (A0, A1) and (B0, B1), judged along the line of A: B0
// must lie within sqrt(1e-5) of the longer segment's length from that line.
bool collinearOverlap(const QmtVector3& A0, const QmtVector3& A1, const QmtVector3& B0, const QmtVector3& B1,
                      double lengthSq) {
    const QmtVector3 u = A1 - A0;
    QmtVector3 unit = u;
    const QmtVector3 w = B0 - A0;
    QmtVector3 offset = w;
    if (unit.Unitize(0.0) != 0.0) {
        offset -= unit * w.Dot(unit);
    }
    if (offset.SquaredLength() > TOL * lengthSq) {
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
    const double uu = u.SquaredLength();
    const double ww = w.SquaredLength();
    QmtVector3 n = u.Cross(w);
    const double nn = n.SquaredLength();
    // |u × w|² = |u|²·|w|²·sin²: parallel is an angle, whatever the lengths.
    if (!(nn > TOL * uu * ww)) {
        // A point segment has no line of its own: judge it against the other's line.
        const bool pIsPoint = uu <= QmtMatrix3::EPSILON * QmtMatrix3::EPSILON;
        const bool qIsPoint = ww <= QmtMatrix3::EPSILON * QmtMatrix3::EPSILON;
        if (pIsPoint) {
            return qIsPoint ? (Q0 - P0).SquaredLength() <= TOL : collinearOverlap(Q0, Q1, P0, P1, ww);
        }
        if (qIsPoint) {
            return collinearOverlap(P0, P1, Q0, Q1, uu);
        }
        // Parallel or nearly so: they meet when they come within sqrt(1e-5) of the
        // longer one's length, which needs them collinear within that and their
        // projections overlapping. Their distance says both, in either order.
        double s = 0.0;
        double t = 0.0;
        return sqrDistanceSegmentSegment(P0, P1, Q0, Q1, s, t) <= TOL * std::fmax(uu, ww);
    }
    // nn > 0 here, so the unit vectors below exist at any size.
    n.Unitize(0.0);
    const QmtVector3 q0 = Q0 - P0;
    // Off the common plane by more than 1e-5 of the longer segment: skew.
    if (q0.Dot(n) * q0.Dot(n) > TOL * TOL * std::fmax(uu, ww)) {
        return false;
    }
    // Each side test multiplies two signed distances from a line; the tolerance is a
    // share of the squared length of the segment whose ends are tested.
    QmtVector3 m = n.Cross(u);
    m.Unitize(0.0);
    if (q0.Dot(m) * (Q1 - P0).Dot(m) > TOL * ww) {
        return false;  // Q0 and Q1 on one side of line P
    }
    QmtVector3 mq = n.Cross(w);
    mq.Unitize(0.0);
    if (q0.Dot(mq) * (Q0 - P1).Dot(mq) > TOL * uu) {
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
