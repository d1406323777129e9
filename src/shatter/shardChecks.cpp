#include "src/shatter/shardChecks.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "geometry/bounds/boxFit.h"

using Qmt::QmtVector3;

bool isClosedSurface(const ZYL_DFmesh& mesh) {
    if (!mesh.faces) return false;
    // Each edge as its two vertices, lower first, and which way it runs: a closed surface
    // runs every edge once each way, so sorted they come in pairs of the two ways.
    std::vector<std::pair<std::uint64_t, bool>> edges;
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const ZYL_DFface& face = mesh.faces[f];
        if (face.numVertices < 3 || !face.vertices) return false;
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            const std::uint32_t a = face.vertices[k];
            const std::uint32_t b = face.vertices[k + 1 == face.numVertices ? 0 : k + 1];
            if (a == b || a >= mesh.numVertices || b >= mesh.numVertices) return false;
            edges.emplace_back(std::uint64_t{std::min(a, b)} << 32 | std::max(a, b), a > b);
        }
    }
    if (edges.empty() || edges.size() % 2 != 0) return false;
    std::ranges::sort(edges);
    for (std::size_t i = 0; i < edges.size(); i += 2) {
        if (edges[i].first != edges[i + 1].first || edges[i].second || !edges[i + 1].second) return false;
    }
    return true;
}

SurfaceMeasure measureSurface(const ZYL_DFmesh& mesh, const QmtVector3& about) {
    SurfaceMeasure out;
    if (!mesh.faces || !mesh.worldVertices) return out;
    out.closed = isClosedSurface(mesh);
    const QmtVector3* v = mesh.worldVertices;
    for (std::uint32_t i = 0; i < mesh.numVertices; ++i) out.reach = std::max(out.reach, (v[i] - about).Length());
    double sixfold = 0.0;
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const ZYL_DFface& face = mesh.faces[f];
        if (face.numVertices < 3 || !face.vertices) continue;
        const auto corner = [&](std::uint32_t k) -> QmtVector3 {
            const std::uint32_t i = face.vertices[k];
            return i < mesh.numVertices ? v[i] - about : QmtVector3::ZERO;
        };
        // Newell's normal: twice the area along the face's best plane.
        QmtVector3 twice;
        const QmtVector3 p0 = corner(0);
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            twice += corner(k).Cross(corner(k + 1 == face.numVertices ? 0 : k + 1));
        }
        for (std::uint32_t k = 2; k < face.numVertices; ++k) sixfold += p0.Dot(corner(k - 1).Cross(corner(k)));
        const double length = twice.Length();
        if (!(length > 0.0)) continue;
        const QmtVector3 n = twice / length;
        double off = 0.0;
        for (std::uint32_t k = 1; k < face.numVertices; ++k) off = std::max(off, std::fabs(n.Dot(corner(k) - p0)));
        out.area += 0.5 * length;
        out.bend += 0.5 * length * off;
    }
    out.volume = sixfold / 6.0;
    return out;
}

MeshExtent meshExtent(const ZYL_DFmesh& mesh) {
    if (mesh.numVertices == 0 || !mesh.worldVertices) return {};
    const QmtVector3 half = fitOrientedBox(mesh.numVertices, mesh.worldVertices).halfExtents;
    return {2.0 * std::min({half.x, half.y, half.z}), 2.0 * std::max({half.x, half.y, half.z})};
}

bool ShardTally::add(const SurfaceMeasure& shard, double shift) {
    volume_ += shard.volume;
    area_ += shard.area;
    moved_ += shard.area * shift;
    reach_ = std::max(reach_, shard.reach);
    const bool sound = shard.closed && (source_.volume > 0.0 ? shard.volume > 0.0 : shard.volume < 0.0);
    allSound_ = allSound_ && sound;
    return sound;
}

bool ShardTally::sound() const {
    // The cut rounds every vertex it makes to about 1e-16 of its distance from the
    // origin; the source's bent faces are fanned anew where a cut crosses them.
    const double rounding = 64.0 * std::numeric_limits<double>::epsilon() *
                            (about_.Length() + std::max(reach_, source_.reach)) * (area_ + source_.area);
    const double allowed = 1e-6 * std::fabs(source_.volume) + 2.0 * source_.bend + moved_ + rounding;
    return allSound_ && std::fabs(volume_ - source_.volume) <= allowed;
}
