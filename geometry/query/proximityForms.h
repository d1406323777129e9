#pragma once

#include <cmath>

#include "math/qmtVector3.h"

// Pieces shared by the closed-form distances of proximity.cpp and lineProximity.cpp:
// their tolerances and the quadratic form of two lines. Not for other callers.
namespace proximity_forms {

// The tolerance of every branch test, a share of what it is compared with.
inline constexpr double TOL = 1e-5;
// Two segment directions count as parallel for the parallel rules only when
// det = a·c - b² is below this share of a·c, about what its rounding can make of it
// (an angle below some 1e-7 rad): the rules then err by less than 1e-7 of the
// lengths. Between this and TOL the pair is nearly parallel and is measured by its
// feature pairs.
inline constexpr double PARALLEL_EXACT = 1e-14;
// A triangle whose normal |E0 × E1|² is below this share of |E0|²·|E1|² has
// collapsed to rounding: its normal is noise.
inline constexpr double COLLAPSED = 1e-28;
// Infinite lines have their closest points ever farther out as the angle closes; below
// an angle of about 1e-7 rad double precision cannot place them, and the lines are
// taken as parallel.
inline constexpr double LINES_PARALLEL = 1e-14;

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

inline LinePairForm linePairForm(const Qmt::QmtVector3& U, const Qmt::QmtVector3& V, const Qmt::QmtVector3& W) {
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

}  // namespace proximity_forms
