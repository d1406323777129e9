#include "geometry/bounds/boxFit.h"

#include <cmath>

#include "math/qmtMatrix2.h"

using Qmt::QmtMatrix2;
using Qmt::QmtMatrix3;
using Qmt::QmtVector2;
using Qmt::QmtVector3;

namespace {

// Largest single-precision value held as a double: the start of a min/max search.
constexpr double kFloatMax = 3.4028234663852886e38;

// Squared sine of the angle between two box axes below which they count as parallel.
constexpr double PARALLEL_AXES = 1e-12;

// Point access of the plain and the indexed fits.
struct Direct {
    const QmtVector3* points;
    const QmtVector3& operator()(std::uint32_t i) const { return points[i]; }
};

struct Indexed {
    const std::uint32_t* indices;
    const QmtVector3* points;
    const QmtVector3& operator()(std::uint32_t i) const { return points[indices[i]]; }
};

// Mean with the reciprocal of the count formed in single precision.
template <class Points>
QmtVector3 meanOf(std::uint32_t n, Points at) {
    QmtVector3 sum;
    for (std::uint32_t i = 0; i < n; ++i) {
        sum += at(i);
    }
    const double k = static_cast<double>(1.0f / static_cast<float>(n));
    return sum * k;
}

// Sums of the products of the deviations from mean: xx, xy, xz, yy, yz, zz.
struct Moments {
    double xx = 0.0, xy = 0.0, xz = 0.0, yy = 0.0, yz = 0.0, zz = 0.0;
};

template <class Points>
Moments momentsAbout(std::uint32_t n, Points at, const QmtVector3& mean) {
    Moments m;
    for (std::uint32_t i = 0; i < n; ++i) {
        const QmtVector3 d = at(i) - mean;
        m.xx += d.x * d.x;
        m.xy += d.x * d.y;
        m.xz += d.x * d.z;
        m.yy += d.y * d.y;
        m.yz += d.y * d.z;
        m.zz += d.z * d.z;
    }
    return m;
}

// Eigen decomposition without the handedness fix: columns ascending.
void eigenAscending(QmtMatrix3& M, double values[3]) {
    double subd[3];
    tridiagonalize3(M, values, subd);
    solveQL(3, values, subd, M);
    sortEigenIncreasing(3, values, M);
}

// True when the columns are unit length and at right angles to one another, within
// rounding.
bool orthonormalColumns(const QmtMatrix3& M) {
    const QmtVector3 c[3] = {M.GetColumn(0), M.GetColumn(1), M.GetColumn(2)};
    for (int i = 0; i < 3; ++i) {
        for (int j = i; j < 3; ++j) {
            if (!(std::fabs(c[i].Dot(c[j]) - (i == j ? 1.0 : 0.0)) <= 1e-9)) {
                return false;
            }
        }
    }
    return true;
}

template <class Points>
void fitBoxAxesOver(std::uint32_t n, Points at, ZYLbox& out) {
    if (n == 0) {
        out = ZYLbox{};
        return;
    }
    const QmtVector3 mean = meanOf(n, at);
    const Moments m = momentsAbout(n, at, mean);
    const double k = static_cast<double>(1.0f / static_cast<float>(n));
    const double xx = m.xx * k, xy = m.xy * k, xz = m.xz * k;
    const double yy = m.yy * k, yz = m.yz * k, zz = m.zz * k;
    QmtMatrix3 K(xx, xy, xz,
                 xy, yy, yz,
                 xz, yz, zz);
    double values[3];
    eigenAscending(K, values);
    out.centre = mean;
    // A covariance whose rotations underflow (points within denormals of one another)
    // can leave axes that are not orthonormal, and a box over them would not hold its
    // points: the coordinate axes serve instead.
    out.axes = orthonormalColumns(K) ? K : QmtMatrix3::IDENTITY;
    out.halfExtents = QmtVector3(values[0], values[1], values[2]);
}

template <class Points>
ZYLbox fitOrientedBoxOver(std::uint32_t n, Points at) {
    ZYLbox box{};
    if (n == 0) {
        return box;
    }
    fitBoxAxesOver(n, at, box);
    const QmtVector3 mean = box.centre;
    const QmtVector3 axis[3] = {box.axes.GetColumn(0), box.axes.GetColumn(1), box.axes.GetColumn(2)};
    double lo[3];
    double hi[3];
    const QmtVector3 d0 = at(0) - mean;
    for (int k = 0; k < 3; ++k) {
        lo[k] = hi[k] = d0.Dot(axis[k]);
    }
    for (std::uint32_t i = 1; i < n; ++i) {
        const QmtVector3 d = at(i) - mean;
        for (int k = 0; k < 3; ++k) {
            const double x = d.Dot(axis[k]);
            if (x < lo[k]) {
                lo[k] = x;
            }
            if (x > hi[k]) {
                hi[k] = x;
            }
        }
    }
    QmtVector3 centre = mean;
    for (int k = 0; k < 3; ++k) {
        centre += axis[k] * ((lo[k] + hi[k]) / 2.0);
        box.halfExtents[k] = (hi[k] - lo[k]) / 2.0;
    }
    box.centre = centre;
    return box;
}

template <class Points>
void fitLineOver(std::uint32_t n, Points at, QmtVector3& origin, QmtVector3& direction) {
    if (n == 0) {
        origin = QmtVector3::ZERO;
        direction = QmtVector3::ZERO;
        return;
    }
    origin = meanOf(n, at);
    const Moments m = momentsAbout(n, at, origin);
    QmtMatrix3 M(m.yy + m.zz, -m.xy, -m.xz,
                 -m.xy, m.xx + m.zz, -m.yz,
                 -m.xz, -m.yz, m.xx + m.yy);
    double values[3];
    eigenAscending(M, values);
    direction = M.GetColumn(0);
}

template <class Points>
void fitCapsuleOver(std::uint32_t n, Points at, QmtVector3& end0, QmtVector3& end1, double& radius) {
    if (n == 0) {
        end0 = QmtVector3::ZERO;
        end1 = QmtVector3::ZERO;
        radius = 0.0;
        return;
    }
    QmtVector3 O;
    QmtVector3 D;
    fitLineOver(n, at, O, D);

    const double dd = D.Dot(D);
    double r2 = 0.0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const QmtVector3& p = at(i);
        const QmtVector3 foot = O + D * ((p - O).Dot(D) / dd);
        const double dist2 = (foot - p).SquaredLength();
        if (dist2 > r2) {
            r2 = dist2;
        }
    }

    QmtVector3 W = D;
    W.Unitize(QmtMatrix3::EPSILON);
    QmtVector3 U;
    QmtVector3 V;
    generateOrthonormalBasis(W, U, V);

    // Slide each end inwards as far as every point stays inside its hemisphere cap.
    double lo = kFloatMax;
    double hi = -kFloatMax;
    for (std::uint32_t i = 0; i < n; ++i) {
        const QmtVector3 diff = at(i) - O;
        const double u = U.Dot(diff);
        const double v = V.Dot(diff);
        const double w = W.Dot(diff);
        const double rho = std::sqrt(std::fabs(r2 - (u * u + v * v)));
        if (w + rho < lo) {
            lo = w + rho;
        }
        if (w - rho > hi) {
            hi = w - rho;
        }
    }

    if (hi > lo) {
        end0 = O + D * lo;
        end1 = O + D * hi;
    } else {
        const QmtVector3 mid = O + D * ((lo + hi) / 2.0);
        end0 = mid;
        end1 = mid;
    }
    radius = std::sqrt(r2);
}

// Columns i and i + 1 of Q become c*col_i - s*col_i+1 and s*col_i + c*col_i+1.
void rotateColumns(QmtMatrix3& Q, unsigned rows, unsigned i, double c, double s) {
    for (unsigned r = 0; r < rows; ++r) {
        const double f = Q(r, i + 1);
        Q(r, i + 1) = s * Q(r, i) + c * f;
        Q(r, i) = c * Q(r, i) - s * f;
    }
}

}  // namespace

// ---------------------------------------------------------------- eigen solver

void tridiagonalize3(QmtMatrix3& M, double diag[3], double subd[3]) {
    const double m00 = M(0, 0);
    const double m01 = M(0, 1);
    const double m02 = M(0, 2);
    const double m11 = M(1, 1);
    const double m12 = M(1, 2);
    const double m22 = M(2, 2);

    diag[0] = m00;
    subd[2] = 0.0;
    if (m02 == 0.0) {
        diag[1] = m11;
        diag[2] = m22;
        subd[0] = m01;
        subd[1] = m12;
        M = QmtMatrix3::IDENTITY;
        return;
    }
    // One Householder reflection in the (1, 2) plane zeroes m02.
    const double ell = std::sqrt(m01 * m01 + m02 * m02);
    const double a = m01 / ell;
    const double b = m02 / ell;
    const double q = 2.0 * a * m12 + b * (m22 - m11);
    diag[1] = m11 + b * q;
    diag[2] = m22 - b * q;
    subd[0] = ell;
    subd[1] = m12 - a * q;
    M = QmtMatrix3(1.0, 0.0, 0.0,
                   0.0, a, b,
                   0.0, b, -a);
}

bool solveQL(std::int32_t n, double* diag, double* subd, QmtMatrix3& Q) {
    if (n < 1 || n > 3) {
        return false;
    }
    constexpr int kMaxIterations = 32;
    const unsigned rows = static_cast<unsigned>(n);
    for (std::int32_t i0 = 0; i0 < n; ++i0) {
        int iteration = 0;
        for (; iteration < kMaxIterations; ++iteration) {
            // Find the first negligible off-diagonal entry from i0 on.
            std::int32_t i2 = i0;
            for (; i2 <= n - 2; ++i2) {
                const double sum = std::fabs(diag[i2]) + std::fabs(diag[i2 + 1]);
                if (std::fabs(subd[i2]) + sum == sum) {
                    break;
                }
            }
            if (i2 == i0) {
                break;
            }

            double g = (diag[i0 + 1] - diag[i0]) / (2.0 * subd[i0]);
            double r = std::sqrt(g * g + 1.0);
            if (g < 0.0) {
                g = diag[i2] - diag[i0] + subd[i0] / (g - r);
            } else {
                g = diag[i2] - diag[i0] + subd[i0] / (g + r);
            }
            double s = 1.0;
            double c = 1.0;
            double p = 0.0;
            for (std::int32_t i3 = i2 - 1; i3 >= i0; --i3) {
                const double f = s * subd[i3];
                const double b = c * subd[i3];
                if (std::fabs(f) >= std::fabs(g)) {
                    c = g / f;
                    r = std::sqrt(c * c + 1.0);
                    subd[i3 + 1] = f * r;
                    s = 1.0 / r;
                    c *= s;
                } else {
                    s = f / g;
                    r = std::sqrt(s * s + 1.0);
                    subd[i3 + 1] = g * r;
                    c = 1.0 / r;
                    s *= c;
                }
                g = diag[i3 + 1] - p;
                r = (diag[i3] - g) * s + 2.0 * b * c;
                p = s * r;
                diag[i3 + 1] = g + p;
                g = c * r - b;
                rotateColumns(Q, rows, static_cast<unsigned>(i3), c, s);
            }
            diag[i0] -= p;
            subd[i0] = g;
            subd[i2] = 0.0;
        }
        if (iteration == kMaxIterations) {
            return false;
        }
    }
    return true;
}

void sortEigenIncreasing(std::int32_t n, double* diag, QmtMatrix3& Q) {
    if (n < 1 || n > 3) {
        return;
    }
    for (std::int32_t i0 = 0; i0 <= n - 2; ++i0) {
        std::int32_t i1 = i0;
        double smallest = diag[i0];
        for (std::int32_t i2 = i0 + 1; i2 < n; ++i2) {
            if (diag[i2] < smallest) {
                i1 = i2;
                smallest = diag[i2];
            }
        }
        if (i1 != i0) {
            diag[i1] = diag[i0];
            diag[i0] = smallest;
            for (unsigned r = 0; r < static_cast<unsigned>(n); ++r) {
                const double t = Q(r, static_cast<unsigned>(i0));
                Q(r, static_cast<unsigned>(i0)) = Q(r, static_cast<unsigned>(i1));
                Q(r, static_cast<unsigned>(i1)) = t;
            }
        }
    }
}

void eigenSolveSymmetric3(QmtMatrix3& M, double eigenvalues[3]) { eigenAscending(M, eigenvalues); }

// ---------------------------------------------------------------- fits

void fitBoxAxes(std::uint32_t n, const QmtVector3* points, ZYLbox& out) {
    fitBoxAxesOver(n, Direct{points}, out);
}

void fitBoxAxesIndexed(std::uint32_t n, const std::uint32_t* indices, const QmtVector3* points,
                       ZYLbox& out) {
    fitBoxAxesOver(n, Indexed{indices, points}, out);
}

ZYLbox fitOrientedBox(std::uint32_t n, const QmtVector3* points) {
    return fitOrientedBoxOver(n, Direct{points});
}

ZYLbox fitOrientedBoxIndexed(std::uint32_t n, const std::uint32_t* indices, const QmtVector3* points) {
    return fitOrientedBoxOver(n, Indexed{indices, points});
}

void fitLine(std::int32_t n, const QmtVector3* points, QmtVector3& origin, QmtVector3& direction) {
    fitLineOver(n > 0 ? static_cast<std::uint32_t>(n) : 0u, Direct{points}, origin, direction);
}

void fitLineIndexed(std::uint32_t n, const std::uint32_t* indices, const QmtVector3* points,
                    QmtVector3& origin, QmtVector3& direction) {
    fitLineOver(n, Indexed{indices, points}, origin, direction);
}

void fitCapsule(std::uint32_t n, const QmtVector3* points, QmtVector3& end0, QmtVector3& end1,
                double& radius) {
    fitCapsuleOver(n, Direct{points}, end0, end1, radius);
}

void fitCapsuleIndexed(std::uint32_t n, const std::uint32_t* indices, const QmtVector3* points,
                       QmtVector3& end0, QmtVector3& end1, double& radius) {
    fitCapsuleOver(n, Indexed{indices, points}, end0, end1, radius);
}

// ---------------------------------------------------------------- box tests

bool pointInOrientedBox(const QmtVector3& p, const ZYLbox& box, double margin) {
    const QmtVector3 x = (p - box.centre) * box.axes;  // axes^T * (p - centre)
    for (int k = 0; k < 3; ++k) {
        const double e = box.halfExtents[k];
        if (-e > x[k] + margin || x[k] - margin > e) {
            return false;
        }
    }
    return true;
}

bool orientedBoxCrossesPlane(const ZYLbox& box, const QmtVector3& Q, const QmtVector3& n) {
    const QmtVector3& e = box.halfExtents;
    const double r = std::fabs(e.x * n.Dot(box.axes.GetColumn(0))) +
                     std::fabs(e.y * n.Dot(box.axes.GetColumn(1))) +
                     std::fabs(e.z * n.Dot(box.axes.GetColumn(2)));
    const double d = (box.centre - Q).Dot(n);
    return r > d;
}

bool orientedBoxesOverlap(const ZYLbox& A, const ZYLbox& B) {
    const QmtVector3 a[3] = {A.axes.GetColumn(0), A.axes.GetColumn(1), A.axes.GetColumn(2)};
    const QmtVector3 b[3] = {B.axes.GetColumn(0), B.axes.GetColumn(1), B.axes.GetColumn(2)};
    const QmtVector3& ea = A.halfExtents;
    const QmtVector3& eb = B.halfExtents;
    const QmtVector3 T = B.centre - A.centre;

    double C[3][3];     // C[i][j] = a_i . b_j
    double absC[3][3];
    double aT[3];       // a_i . T
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            C[i][j] = a[i].Dot(b[j]);
            absC[i][j] = std::fabs(C[i][j]);
        }
        aT[i] = a[i].Dot(T);
    }

    // Axes a_i.
    for (int i = 0; i < 3; ++i) {
        const double rB = eb[0] * absC[i][0] + eb[1] * absC[i][1] + eb[2] * absC[i][2];
        if (std::fabs(aT[i]) > ea[i] + rB) {
            return false;
        }
    }
    // Axes b_j.
    for (int j = 0; j < 3; ++j) {
        const double rA = ea[0] * absC[0][j] + ea[1] * absC[1][j] + ea[2] * absC[2][j];
        if (std::fabs(b[j].Dot(T)) > rA + eb[j]) {
            return false;
        }
    }
    // Axes a_i x b_j: with (i, i1, i2) and (j, j1, j2) cyclic,
    // |T.L| = |aT[i2] C[i1][j] - aT[i1] C[i2][j]|,
    // rA = ea[i1] |C[i2][j]| + ea[i2] |C[i1][j]|, rB = eb[j1] |C[i][j2]| + eb[j2] |C[i][j1]|.
    // Two parallel axes have no cross product: what the terms of such an axis hold is
    // rounding, which could part two boxes that overlap, and the face axes above
    // already cover the directions it stands for.
    for (int i = 0; i < 3; ++i) {
        const int i1 = (i + 1) % 3;
        const int i2 = (i + 2) % 3;
        for (int j = 0; j < 3; ++j) {
            if (1.0 - absC[i][j] * absC[i][j] < PARALLEL_AXES) {
                continue;
            }
            const int j1 = (j + 1) % 3;
            const int j2 = (j + 2) % 3;
            const double t = std::fabs(aT[i2] * C[i1][j] - aT[i1] * C[i2][j]);
            const double rA = ea[i1] * absC[i2][j] + ea[i2] * absC[i1][j];
            const double rB = eb[j1] * absC[i][j2] + eb[j2] * absC[i][j1];
            if (t > rA + rB) {
                return false;
            }
        }
    }
    return true;
}

// ---------------------------------------------------------------- frames

void generateOrthonormalBasis(const QmtVector3& w, QmtVector3& u, QmtVector3& v) {
    if (std::fabs(w.x) >= std::fabs(w.y)) {
        const double s = 1.0 / std::sqrt(w.x * w.x + w.z * w.z);
        u = QmtVector3(-w.z * s, 0.0, w.x * s);
    } else {
        const double s = 1.0 / std::sqrt(w.y * w.y + w.z * w.z);
        u = QmtVector3(0.0, w.z * s, -w.y * s);
    }
    v = w.Cross(u);
}

void frameFromNormal(const QmtVector3& n, QmtMatrix3& R) {
    QmtVector3 w = n;
    if (w.SquaredLength() > 1.00001) {
        w.Unitize(QmtMatrix3::EPSILON);
    }
    QmtVector3 u;
    QmtVector3 v;
    generateOrthonormalBasis(w, u, v);
    R = QmtMatrix3(u.x, u.y, u.z,
                   v.x, v.y, v.z,
                   w.x, w.y, w.z);
}

void interpolateUVOnPlane(const QmtVector3& p, const QmtVector3& n, const QmtVector3& a,
                          const QmtVector3& b, const QmtVector2& U, const QmtVector2& V, float& u,
                          float& v) {
    // A zero (or NaN) normal has no plane: no frame can be built from it.
    if (!(n.SquaredLength() > 0.0)) {
        u = 0.0f;
        v = 0.0f;
        return;
    }
    QmtMatrix3 R;
    frameFromNormal(n, R);
    const QmtVector3 ra = R * a;
    const QmtVector3 rb = R * b;
    const QmtVector3 rp = R * p;
    const QmtMatrix2 M(ra.x, ra.y,
                       rb.x, rb.y);
    const QmtMatrix2 inverse = M.Inverse(QmtMatrix3::EPSILON);
    const QmtVector2 X = inverse * U;
    const QmtVector2 Y = inverse * V;
    const QmtVector2 planar(rp.x, rp.y);
    u = static_cast<float>(planar.Dot(X));
    v = static_cast<float>(planar.Dot(Y));
}
