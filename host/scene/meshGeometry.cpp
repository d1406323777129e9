#include "host/scene/meshGeometry.h"

#include <cmath>

namespace host {

void MeshGeometry::addPolygon(const std::vector<std::vector<int>>& loops) {
    if (polygonStart.empty()) polygonStart.push_back(0);
    if (polygonFirstLoop.empty()) polygonFirstLoop.push_back(0);
    for (const auto& loop : loops) {
        loopSizes.push_back(static_cast<int>(loop.size()));
        faceVertices.insert(faceVertices.end(), loop.begin(), loop.end());
        for (std::size_t i = 0; i < loop.size(); ++i) {
            lockedNormals.push_back({0, 0, 0});
            normalLocked.push_back(0);
            for (auto& set : uvSets) set.ids.push_back(-1);
        }
    }
    polygonLoops.push_back(static_cast<int>(loops.size()));
    polygonStart.push_back(static_cast<int>(faceVertices.size()));
    polygonFirstLoop.push_back(static_cast<int>(loopSizes.size()));
}

std::vector<int> MeshGeometry::loopCorners(int p, int loop) const {
    int corner = 0;
    for (int l = polygonFirstLoop[p]; l < polygonFirstLoop[p] + loop; ++l) corner += loopSizes[l];
    std::vector<int> out(static_cast<std::size_t>(loopSizes[polygonFirstLoop[p] + loop]));
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = corner + static_cast<int>(i);
    return out;
}

std::array<double, 3> MeshGeometry::polygonNormal(int p) const {
    std::array<double, 3> n{0, 0, 0};
    const int start = polygonStart[p], size = outerSize(p);
    for (int i = 0; i < size; ++i) {
        const Float3& a = points[faceVertices[start + i]];
        const Float3& b = points[faceVertices[start + (i + 1) % size]];
        n[0] += (double(a[1]) - b[1]) * (double(a[2]) + b[2]);
        n[1] += (double(a[2]) - b[2]) * (double(a[0]) + b[0]);
        n[2] += (double(a[0]) - b[0]) * (double(a[1]) + b[1]);
    }
    const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (len > 0)
        for (auto& c : n) c /= len;
    return n;
}

std::vector<Float3> MeshGeometry::faceVertexNormals() const {
    // Smooth normals: area-weighted polygon normals summed per vertex.
    std::vector<std::array<double, 3>> sum(points.size(), {0, 0, 0});
    for (int p = 0; p < numPolygons(); ++p) {
        const auto n = polygonNormal(p);
        for (int k = polygonStart[p]; k < polygonStart[p + 1]; ++k)
            for (int c = 0; c < 3; ++c) sum[static_cast<std::size_t>(faceVertices[k])][c] += n[c];
    }
    std::vector<Float3> out(faceVertices.size());
    for (std::size_t k = 0; k < faceVertices.size(); ++k) {
        if (normalLocked[k]) {
            out[k] = lockedNormals[k];
            continue;
        }
        const auto& s = sum[static_cast<std::size_t>(faceVertices[k])];
        const double len = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
        for (int c = 0; c < 3; ++c) out[k][c] = len > 0 ? static_cast<float>(s[c] / len) : 0.0f;
    }
    return out;
}

std::vector<std::vector<int>> MeshGeometry::vertexFaces() const {
    std::vector<std::vector<int>> out(points.size());
    for (int p = 0; p < numPolygons(); ++p)
        for (int k = polygonStart[p]; k < polygonStart[p + 1]; ++k) {
            auto& list = out[static_cast<std::size_t>(faceVertices[k])];
            if (list.empty() || list.back() != p) list.push_back(p);
        }
    return out;
}

MeshGeometry makeCube(double size) {
    MeshGeometry m;
    const float h = static_cast<float>(size / 2);
    m.points = {{-h, -h, h}, {h, -h, h}, {-h, h, h}, {h, h, h}, {-h, h, -h}, {h, h, -h}, {-h, -h, -h}, {h, -h, -h}};
    for (const auto& f : std::vector<std::vector<int>>{
             {0, 1, 3, 2}, {2, 3, 5, 4}, {4, 5, 7, 6}, {6, 7, 1, 0}, {1, 7, 5, 3}, {6, 0, 2, 4}})
        m.addPolygon({f});
    // One UV per corner of a simple unfolding: each face gets the unit square.
    UVSetData uv{"map1", {0, 1, 1, 0}, {0, 0, 1, 1}, {}};
    for (int p = 0; p < m.numPolygons(); ++p)
        for (const int c : {0, 1, 2, 3}) uv.ids.push_back(c == 2 ? 2 : (c == 3 ? 3 : c));
    m.uvSets.push_back(std::move(uv));
    return m;
}

MeshGeometry makePlane(double width, int divisions) {
    MeshGeometry m;
    const int n = std::max(1, divisions);
    UVSetData uv{"map1", {}, {}, {}};
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            const double s = double(i) / n, t = double(j) / n;
            m.points.push_back({static_cast<float>((s - 0.5) * width), 0.0f, static_cast<float>((0.5 - t) * width)});
            uv.u.push_back(static_cast<float>(s));
            uv.v.push_back(static_cast<float>(t));
        }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i;
            const std::vector<int> f{a, a + 1, a + n + 2, a + n + 1};
            m.addPolygon({f});
            uv.ids.insert(uv.ids.end(), f.begin(), f.end());
        }
    m.uvSets.push_back(std::move(uv));
    return m;
}

MeshGeometry makeSphere(double radius, int segments, int rings) {
    MeshGeometry m;
    const int s = std::max(3, segments), r = std::max(2, rings);
    const double pi = std::acos(-1.0);
    m.points.push_back({0, static_cast<float>(-radius), 0});
    for (int j = 1; j < r; ++j)
        for (int i = 0; i < s; ++i) {
            const double phi = pi * j / r - pi / 2, theta = 2 * pi * i / s;
            m.points.push_back({static_cast<float>(radius * std::cos(phi) * std::cos(theta)),
                                static_cast<float>(radius * std::sin(phi)),
                                static_cast<float>(-radius * std::cos(phi) * std::sin(theta))});
        }
    m.points.push_back({0, static_cast<float>(radius), 0});
    const int top = static_cast<int>(m.points.size()) - 1;
    auto ring = [&](int j, int i) { return 1 + (j - 1) * s + (i % s); };
    for (int i = 0; i < s; ++i) m.addPolygon({{0, ring(1, i + 1), ring(1, i)}});
    for (int j = 1; j < r - 1; ++j)
        for (int i = 0; i < s; ++i) m.addPolygon({{ring(j, i), ring(j, i + 1), ring(j + 1, i + 1), ring(j + 1, i)}});
    for (int i = 0; i < s; ++i) m.addPolygon({{ring(r - 1, i), ring(r - 1, i + 1), top}});
    return m;
}

}  // namespace host
