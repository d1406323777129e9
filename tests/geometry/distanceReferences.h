#pragma once

// Brute-force squared distances the proximity tests check the library against: clamped
// feet, plane projections and boundary minima, written the plain way.

#include <algorithm>

#include "math/qmtVector3.h"

namespace distref {

using Qmt::QmtVector3;

inline QmtVector3 unit(QmtVector3 v) {
    v.Unitize(0.0);
    return v;
}

inline double pointSegment(const QmtVector3& p, const QmtVector3& a, const QmtVector3& b) {
    const QmtVector3 e = b - a;
    const double ee = e.Dot(e);
    const double u = ee > 0.0 ? std::clamp((p - a).Dot(e) / ee, 0.0, 1.0) : 0.0;
    return (a + e * u - p).SquaredLength();
}

// The four end-to-segment distances, and the interior pair when the lines are not
// (nearly) parallel and it lies on both segments.
inline double segmentSegment(const QmtVector3& p0, const QmtVector3& p1, const QmtVector3& q0, const QmtVector3& q1) {
    double best = std::min({pointSegment(p0, q0, q1), pointSegment(p1, q0, q1), pointSegment(q0, p0, p1),
                            pointSegment(q1, p0, p1)});
    const QmtVector3 e = p1 - p0, f = q1 - q0, w = p0 - q0;
    const double a = e.Dot(e), b = e.Dot(f), c = f.Dot(f), d = e.Dot(w), g = f.Dot(w);
    const double det = a * c - b * b;
    if (det > 1e-12) {
        const double s = (b * g - c * d) / det, t = (a * g - b * d) / det;
        if (s >= 0 && s <= 1 && t >= 0 && t <= 1) {
            best = std::min(best, (p0 + e * s - q0 - f * t).SquaredLength());
        }
    }
    return best;
}

// p, in the triangle's plane, lies on the inner side of every edge about the normal n.
inline bool insideTriangle(const QmtVector3& p, const QmtVector3* tri, const QmtVector3& n) {
    for (int i = 0; i < 3; ++i) {
        if ((tri[(i + 1) % 3] - tri[i]).Cross(p - tri[i]).Dot(n) < 0.0) {
            return false;
        }
    }
    return true;
}

inline double pointTriangle(const QmtVector3& p, const QmtVector3* tri) {
    const QmtVector3 n = unit((tri[1] - tri[0]).Cross(tri[2] - tri[0]));
    const double h = (p - tri[0]).Dot(n);
    if (insideTriangle(p - n * h, tri, n)) {
        return h * h;
    }
    return std::min(
        {pointSegment(p, tri[0], tri[1]), pointSegment(p, tri[1], tri[2]), pointSegment(p, tri[2], tri[0])});
}

}  // namespace distref
