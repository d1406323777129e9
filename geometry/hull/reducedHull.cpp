#include "geometry/hull/reducedHull.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "geometry/hull/convexHull.h"
#include "geometry/mesh/faceEdits.h"
#include "geometry/mesh/meshPlacement.h"

namespace {

using Qmt::QmtVector3;

// Hull of the first sample widened by the outside sample. `sampleFirst(h, out)` and
// `sampleOutside(hull, h, out)` return the counts written.
template <class SampleFirst, class SampleOutside>
ZYLmesh* reducedHull(const QmtVector3* vertices, std::uint32_t count, std::uint32_t m,
                     SampleFirst&& sampleFirst, SampleOutside&& sampleOutside) {
    if (!vertices) {
        return nullptr;
    }
    try {
        if (count <= m) {
            const std::vector<QmtVector3> all(vertices, vertices + count);
            return buildConvexHullMesh(all.data(), count);
        }
        const std::uint32_t h = m / 2;
        if (h == 0) {
            return nullptr;  // no sample size to stride by
        }
        std::vector<QmtVector3> first(h);
        const std::uint32_t taken = sampleFirst(h, first.data());
        const std::unique_ptr<ZYLmesh> firstHull(buildConvexHullMesh(first.data(), taken));
        if (!firstHull) {
            return nullptr;  // nothing to sample against
        }
        std::vector<QmtVector3> points(firstHull->vertices, firstHull->vertices + firstHull->numVertices);
        const auto hullCount = static_cast<std::uint32_t>(points.size());
        points.resize(hullCount + h);
        const std::uint32_t outside = sampleOutside(*firstHull, h, points.data() + hullCount);
        return buildConvexHullMesh(points.data(), hullCount + outside);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

ZYLmesh* buildReducedHullMesh(const ZYLmesh* mesh, std::uint32_t m) {
    if (!mesh) {
        return nullptr;
    }
    return reducedHull(
        mesh->vertices, mesh->numVertices, m,
        [mesh](std::uint32_t h, QmtVector3* out) { return sampleMeshVertices(*mesh, h, out); },
        [mesh](const ZYLmesh& hull, std::uint32_t h, QmtVector3* out) {
            return sampleVerticesOutsideConvex(mesh, &hull, h, out);
        });
}

ZYLmesh* buildReducedHullMeshDF(const ZYL_DFmesh* mesh, std::uint32_t m) {
    if (!mesh) {
        return nullptr;
    }
    return reducedHull(
        mesh->vertices, mesh->numVertices, m,
        [mesh](std::uint32_t h, QmtVector3* out) { return sampleDFmeshVertices(*mesh, h, out); },
        [mesh](const ZYLmesh& hull, std::uint32_t h, QmtVector3* out) {
            return sampleVerticesOutsideConvex(*mesh, hull, h, out);
        });
}
