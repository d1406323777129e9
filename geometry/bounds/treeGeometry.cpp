#include "geometry/bounds/treeGeometry.h"

#include <cmath>

#include "geometry/bounds/boundingVolumes.h"
#include "geometry/bounds/boxFit.h"

namespace {

// Copies a fit into the box's record, creating an owned record first when the box
// has none. The record is only touched once it is known to exist.
bool storeFit(BVbox& box, const ZYLbox& fit) {
    if (box.getBox() == nullptr && !box.createBox()) {
        return false;
    }
    ZYLbox& record = *box.getBox();
    record.centre = fit.centre;
    record.axes = fit.axes;
    record.halfExtents = fit.halfExtents;
    return true;
}

// a + b = sum + error exactly (no fused operations: the build forbids contraction).
inline void twoSum(double a, double b, double& sum, double& error) {
    sum = a + b;
    const double bPart = sum - a;
    const double aPart = sum - bPart;
    error = (a - aPart) + (b - bPart);
}

// Sign (-1, 0 or 1) of twice the signed area of (a, b, c), without rounding: the
// six products of the expanded determinant are split exactly into head and tail,
// and the twelve parts are summed into a non-overlapping expansion whose largest
// non-zero part carries the sign of the whole.
double exactTurnSign(const Qmt::QmtVector2& a, const Qmt::QmtVector2& b, const Qmt::QmtVector2& c) {
    const double factors[6][2] = {{b.x, c.y}, {-b.x, a.y}, {-a.x, c.y},
                                  {-c.x, b.y}, {c.x, a.y}, {a.x, b.y}};
    double expansion[12];
    int length = 0;
    auto grow = [&](double value) {
        for (int i = 0; i < length; ++i) {
            twoSum(value, expansion[i], value, expansion[i]);
        }
        expansion[length++] = value;
    };
    for (const auto& f : factors) {
        const double head = f[0] * f[1];
        grow(std::fma(f[0], f[1], -head));
        grow(head);
    }
    for (int i = length; i-- > 0;) {
        if (expansion[i] != 0.0) {
            return expansion[i] > 0.0 ? 1.0 : -1.0;
        }
    }
    return 0.0;
}

// Twice the signed area of the triangle (a, b, c), positive for a strict left turn.
// Its sign is exact: the plain product form decides whenever its rounding error
// cannot flip the sign, and the exact sum decides the rest. Nearly collinear points
// so keep one verdict however the triangle is traversed, and exactly collinear or
// repeated points never count as a turn. A product form that is not a number (NaN
// input) is passed on as it is.
double turn(const Qmt::QmtVector2& a, const Qmt::QmtVector2& b, const Qmt::QmtVector2& c) {
    // Bound on the rounding error of the product form, relative to the sum of the
    // magnitudes of its two products.
    constexpr double kEpsilon = 0x1p-53;
    constexpr double kErrorFactor = (3.0 + 16.0 * kEpsilon) * kEpsilon;
    const double left = (b.x - a.x) * (c.y - a.y);
    const double right = (c.x - a.x) * (b.y - a.y);
    const double det = left - right;
    if (!(std::fabs(det) <= kErrorFactor * (std::fabs(left) + std::fabs(right)))) {
        return det;
    }
    return exactTurnSign(a, b, c);
}

inline bool samePoint(const Qmt::QmtVector2& a, const Qmt::QmtVector2& b) { return a.x == b.x && a.y == b.y; }

}  // namespace

bool refitBoxFromPoints(BVbox& box, const Qmt::QmtVector3* points, std::uint32_t n) {
    if (n == 0) {
        return false;
    }
    return storeFit(box, fitOrientedBox(n, points));
}

bool refitBoxFromIndexedPoints(BVbox& box, const Qmt::QmtVector3* points,
                               const std::uint32_t* indices, std::uint32_t n) {
    if (n == 0) {
        return false;
    }
    return storeFit(box, fitOrientedBoxIndexed(n, indices, points));
}

std::uint32_t convexHull2D(const Qmt::QmtVector2* points, std::int32_t n, std::uint32_t* hull) {
    if (n < 1) {
        return 0;
    }
    const std::uint32_t count = static_cast<std::uint32_t>(n);
    const std::uint32_t last = count - 1;

    // Last index of the run of smallest x.
    const double xMin = points[0].x;
    std::uint32_t minMax = 1;
    while (minMax < count && points[minMax].x == xMin) {
        ++minMax;
    }
    --minMax;

    if (minMax == last) {
        // A vertical line (or a single point): its two ends, closed.
        std::uint32_t m = 0;
        hull[m++] = 0;
        if (points[last].y != points[0].y) {
            hull[m++] = last;
        }
        hull[m++] = 0;
        return m;
    }

    // First index of the run of largest x.
    const double xMax = points[last].x;
    std::uint32_t maxMin = last;
    while (maxMin > 0 && points[maxMin - 1].x == xMax) {
        --maxMin;
    }

    // With exact turns the two chains share only their ends, and each end enters
    // once however often its point is repeated, so the closed chain needs at most
    // n + 1 entries; the bound only guards against points that do not compare
    // consistently (NaN).
    const std::uint32_t capacity = count + 1;
    std::uint32_t top = 0;  // number of entries on the chain
    auto push = [&](std::uint32_t index) {
        if (top < capacity) {
            hull[top++] = index;
        }
    };

    // Lower chain, from index 0 to the first point of largest x. A copy of the
    // chain's last point makes no turn and takes its place.
    push(0);
    for (std::uint32_t i = minMax + 1; i <= maxMin; ++i) {
        while (top > 1 && turn(points[hull[top - 2]], points[hull[top - 1]], points[i]) <= 0.0) {
            --top;
        }
        push(i);
    }

    // Upper chain, from the last point of largest x back to the last point of
    // smallest x; it never pops into the lower chain. A right or left end that is
    // one point repeated is already on the chain as the lower chain's end or as
    // index 0.
    if (!samePoint(points[last], points[maxMin])) {
        push(last);
    }
    const std::uint32_t bottom = top;
    const bool leftIsOnePoint = samePoint(points[minMax], points[0]);
    for (std::uint32_t i = maxMin; i-- > minMax;) {
        const std::uint32_t index = (i == minMax && leftIsOnePoint) ? 0 : i;
        while (top > bottom && turn(points[hull[top - 2]], points[hull[top - 1]], points[index]) <= 0.0) {
            --top;
        }
        push(index);
    }

    if (!leftIsOnePoint) {
        push(0);
    }
    return top;
}
