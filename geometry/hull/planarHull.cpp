#include "geometry/hull/planarHull.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>

#include "geometry/bounds/treeGeometry.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector2.h"

namespace {

constexpr double kTolerance = 1e-5;

// Keeps, from every cyclic run of equal entries, the last one in cyclic order; a
// sequence of one value (a single corner) vanishes. The same result as deleting,
// one at a time, each entry that equals its cyclic successor.
std::uint32_t removeCyclicRepeats(std::uint32_t* entries, std::uint32_t count) {
    std::uint32_t kept = 0;
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::uint32_t next = (k + 1 == count) ? 0 : k + 1;
        if (entries[k] != entries[next]) {
            entries[kept++] = entries[k];
        }
    }
    return kept;
}

}  // namespace

int comparePoints2D(const void* a, const void* b) {
    const auto* p = static_cast<const Qmt::QmtVector2*>(a);
    const auto* q = static_cast<const Qmt::QmtVector2*>(b);
    if (p->x > q->x) return 1;
    if (q->x > p->x) return -1;
    if (p->y > q->y) return 1;
    if (q->y > p->y) return -1;
    return 0;
}

int compareIndices(const void* a, const void* b) {
    const std::uint32_t p = *static_cast<const std::uint32_t*>(a);
    const std::uint32_t q = *static_cast<const std::uint32_t*>(b);
    if (p > q) return 1;
    if (p < q) return -1;
    return 0;
}

std::int32_t convexHull2DOfPlanarPoints(const Qmt::QmtVector3* points, std::uint32_t n,
                                        const Qmt::QmtVector3& normal, std::uint32_t** indices) {
    *indices = nullptr;
    // The 2D hull counts in i32 and its output needs n + 1 entries.
    if (n < 2 || n >= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
        return 0;
    }

    // An in-plane direction: the first consecutive pair that is clearly apart.
    Qmt::QmtVector3 x;
    std::uint32_t i = 0;
    for (; i + 1 < n; ++i) {
        x = points[i + 1] - points[i];
        if (x.SquaredLength() > kTolerance) {
            break;
        }
    }
    if (i + 1 == n) {
        return 0;
    }
    x.Unitize(Qmt::QmtMatrix3::EPSILON);
    const Qmt::QmtVector3 y = x.Cross(normal);

    // The projections in input order, and the input indices in hull-sort order: by
    // position, and among points that project to the same position by index, so
    // that a run of copies starts with its lowest index.
    std::unique_ptr<Qmt::QmtVector2[]> scratch(new (std::nothrow) Qmt::QmtVector2[2 * std::size_t{n}]);
    std::unique_ptr<std::uint32_t[]> order(new (std::nothrow) std::uint32_t[n]);
    if (!scratch || !order) {
        return 0;
    }
    Qmt::QmtVector2* const projected = scratch.get();
    Qmt::QmtVector2* const sorted = projected + n;
    for (std::uint32_t k = 0; k < n; ++k) {
        const Qmt::QmtVector2 p(points[k].Dot(x), points[k].Dot(y));
        // Non-finite coordinates cannot be ordered; such a set has no hull.
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
            return 0;
        }
        projected[k] = p;
        order[k] = k;
    }
    std::sort(order.get(), order.get() + n, [projected](std::uint32_t a, std::uint32_t b) {
        const int byPosition = comparePoints2D(&projected[a], &projected[b]);
        return byPosition != 0 ? byPosition < 0 : a < b;
    });
    for (std::uint32_t k = 0; k < n; ++k) {
        sorted[k] = projected[order[k]];
    }

    std::uint32_t* const hull = new (std::nothrow) std::uint32_t[std::size_t{n} + 1];
    if (hull == nullptr) {
        return 0;
    }
    *indices = hull;
    std::uint32_t count = convexHull2D(sorted, static_cast<std::int32_t>(n), hull);

    // Back to input indices: each hull entry carries its own point's index, moved to
    // the start of its run of exact copies (the lowest index among them).
    for (std::uint32_t k = 0; k < count; ++k) {
        std::uint32_t s = hull[k];
        while (s > 0 && sorted[s - 1].x == sorted[s].x && sorted[s - 1].y == sorted[s].y) {
            --s;
        }
        hull[k] = order[s];
    }

    // Drops the closing entry (and reduces a one-point result to nothing).
    count = removeCyclicRepeats(hull, count);
    return static_cast<std::int32_t>(count);
}
