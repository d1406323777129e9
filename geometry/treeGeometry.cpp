#include "geometry/treeGeometry.h"

#include "geometry/boundingVolumes.h"
#include "geometry/boxFit.h"

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

// Twice the signed area of the triangle (a, b, c): positive for a strict left turn.
inline double turn(const Qmt::QmtVector2& a, const Qmt::QmtVector2& b, const Qmt::QmtVector2& c) {
    return (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
}

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

    // For sortable (finite) input the chain never exceeds n + 1 entries; the bound
    // only guards against points that do not compare consistently (NaN).
    const std::uint32_t capacity = count + 1;
    std::uint32_t top = 0;  // number of entries on the chain
    auto push = [&](std::uint32_t index) {
        if (top < capacity) {
            hull[top++] = index;
        }
    };

    // Lower chain, from index 0 to the first point of largest x.
    push(0);
    for (std::uint32_t i = minMax + 1; i <= maxMin; ++i) {
        while (top > 1 && turn(points[hull[top - 2]], points[hull[top - 1]], points[i]) <= 0.0) {
            --top;
        }
        push(i);
    }

    // Upper chain, from the last point of largest x back to the last point of
    // smallest x; it never pops into the lower chain.
    if (maxMin != last) {
        push(last);
    }
    const std::uint32_t bottom = top;
    for (std::uint32_t i = maxMin; i-- > minMax;) {
        while (top > bottom && turn(points[hull[top - 2]], points[hull[top - 1]], points[i]) <= 0.0) {
            --top;
        }
        push(i);
    }

    if (minMax != 0) {
        push(0);
    }
    return top;
}
