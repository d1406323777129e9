#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "math/qmtVector3.h"

// Checks of the fuzz targets: a broken property is reported like a sanitizer finding
// (message, then abort), so libFuzzer keeps the input as a crash.
inline void fuzzRequire(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

inline bool finiteVector(const Qmt::QmtVector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The properties of a built hull: indices in range, every directed edge once with its
// reverse once, sum(corners - 2) = 2V - 4, and (when `input` is given) every input point
// on or below every face plane within 1e-5 of the cloud's size (at least 1e-5), plus
// the merge angle (0.0045) over the extent of a face of more than three corners.
// `corners(f)` gives face f's vertex indices. Three points give their lone triangle,
// which is all that is asked of it.
template <class Corners>
void checkClosedHull(std::uint32_t numFaces, Corners corners, const Qmt::QmtVector3* normals,
                     const Qmt::QmtVector3* vertices, std::uint32_t numVertices,
                     const std::vector<Qmt::QmtVector3>* input) {
    using Qmt::QmtVector3;
    fuzzRequire(numFaces >= 1 && numVertices >= 3, "hull has faces and vertices");
    if (numVertices == 3 && numFaces == 1) {
        const std::vector<std::uint32_t> v = corners(0);
        fuzzRequire(v.size() == 3 && v[0] < 3 && v[1] < 3 && v[2] < 3, "lone triangle of three points");
        return;
    }
    double size = 1.0;
    if (input && !input->empty()) {
        QmtVector3 lo = (*input)[0], hi = lo;
        for (const QmtVector3& p : *input) {
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        }
        size = std::max((hi - lo).Length(), 1.0);
    }
    std::vector<std::uint64_t> edges;
    std::int64_t turns = 0;
    for (std::uint32_t f = 0; f < numFaces; ++f) {
        const std::vector<std::uint32_t> v = corners(f);
        const std::size_t k = v.size();
        fuzzRequire(k >= 3, "face has three corners");
        turns += static_cast<std::int64_t>(k) - 2;
        for (std::size_t i = 0; i < k; ++i) {
            fuzzRequire(v[i] < numVertices, "hull vertex index in range");
            edges.push_back(std::uint64_t{v[i]} << 32 | v[(i + 1) % k]);
        }
        if (!input || !std::isfinite(size)) continue;
        const QmtVector3 n = normals[f];
        fuzzRequire(std::fabs(n.Length() - 1.0) < 1e-6, "face normal is unit");
        const QmtVector3 q = vertices[v[0]];
        double extent = 0.0;
        for (const std::uint32_t x : v) extent = std::max(extent, (vertices[x] - q).Length());
        // A merged face keeps one triangle's normal, and merging can leave a triangle.
        const double slack = 1e-5 * size + 0.0045 * extent;
        for (const QmtVector3& p : *input) {
            fuzzRequire(!((p - q).Dot(n) > slack), "input point on or below every face plane");
        }
    }
    fuzzRequire(turns == 2 * static_cast<std::int64_t>(numVertices) - 4, "sum(corners - 2) = 2V - 4");
    std::sort(edges.begin(), edges.end());
    fuzzRequire(std::adjacent_find(edges.begin(), edges.end()) == edges.end(), "directed edge once");
    for (const std::uint64_t e : edges) {
        fuzzRequire(std::binary_search(edges.begin(), edges.end(), e << 32 | e >> 32), "edge has its reverse");
    }
}
