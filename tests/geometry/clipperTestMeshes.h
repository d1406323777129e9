#pragma once

// Small meshes and checks shared by the clipper tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "geometry/bvDFmesh.h"
#include "geometry/bvMesh.h"
#include "geometry/clipper.h"
#include "geometry/meshRecords.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

namespace cliptest {

using Qmt::QmtVector3;
using Faces = std::vector<std::vector<std::uint32_t>>;

struct Shape {
    std::vector<QmtVector3> vertices;
    Faces faces;
};

// Unit cube [0,1]^3, outward counter-clockwise faces: bottom, top, front (y = 0),
// right (x = 1), back (y = 1), left (x = 0).
inline Shape unitCube(double size = 1.0) {
    Shape s;
    const double a = size;
    s.vertices = {{0, 0, 0}, {a, 0, 0}, {a, a, 0}, {0, a, 0}, {0, 0, a}, {a, 0, a}, {a, a, a}, {0, a, a}};
    s.faces = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    return s;
}

inline Shape box(double x, double y, double z) {
    Shape s = unitCube();
    for (QmtVector3& v : s.vertices) {
        v = {v.x * x, v.y * y, v.z * z};
    }
    return s;
}

// Prism over a regular n-gon of radius r, from z = 0 to z = h.
inline Shape prism(std::uint32_t n, double r, double h) {
    Shape s;
    for (std::uint32_t level = 0; level < 2; ++level) {
        for (std::uint32_t i = 0; i < n; ++i) {
            const double a = 2.0 * 3.14159265358979323846 * i / n;
            s.vertices.push_back({r * std::cos(a), r * std::sin(a), level * h});
        }
    }
    std::vector<std::uint32_t> bottom, top;
    for (std::uint32_t i = 0; i < n; ++i) {
        bottom.push_back(n - 1 - i);
        top.push_back(n + i);
        s.faces.push_back({i, (i + 1) % n, n + (i + 1) % n, n + i});
    }
    s.faces.push_back(bottom);
    s.faces.push_back(top);
    return s;
}

// Convex latitude-longitude sphere: 2 poles and `rings` rings of `segments` vertices;
// triangle fans at the poles, planar quads between rings.
inline Shape sphere(std::uint32_t rings, std::uint32_t segments, double r) {
    constexpr double pi = 3.14159265358979323846;
    Shape s;
    s.vertices.push_back({0, 0, r});
    for (std::uint32_t i = 1; i <= rings; ++i) {
        const double theta = pi * i / (rings + 1);
        for (std::uint32_t j = 0; j < segments; ++j) {
            const double phi = 2.0 * pi * j / segments;
            s.vertices.push_back({r * std::sin(theta) * std::cos(phi), r * std::sin(theta) * std::sin(phi),
                                  r * std::cos(theta)});
        }
    }
    const auto south = static_cast<std::uint32_t>(s.vertices.size());
    s.vertices.push_back({0, 0, -r});
    const auto at = [segments](std::uint32_t ring, std::uint32_t j) {
        return 1 + (ring - 1) * segments + j % segments;
    };
    for (std::uint32_t j = 0; j < segments; ++j) {
        s.faces.push_back({0, at(1, j), at(1, j + 1)});
        for (std::uint32_t i = 1; i < rings; ++i) {
            s.faces.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
        }
        s.faces.push_back({south, at(rings, j + 1), at(rings, j)});
    }
    return s;
}

inline QmtVector3 newellNormal(const Shape& s, const std::vector<std::uint32_t>& f) {
    QmtVector3 n;
    for (std::size_t k = 0; k < f.size(); ++k) {
        const QmtVector3& a = s.vertices[f[k]];
        const QmtVector3& b = s.vertices[f[(k + 1) % f.size()]];
        n += a.Cross(b);
    }
    n.Unitize(Qmt::QmtMatrix3::EPSILON);
    return n;
}

// World = local (identity placement). UV index = running corner index when withUVs.
inline ZYLmesh* makeMesh(const Shape& s, bool withUVs = false) {
    auto* m = new ZYLmesh;
    m->numVertices = static_cast<std::uint32_t>(s.vertices.size());
    m->vertices = new QmtVector3[m->numVertices];
    m->worldVertices = new QmtVector3[m->numVertices];
    for (std::uint32_t i = 0; i < m->numVertices; ++i) {
        m->vertices[i] = m->worldVertices[i] = s.vertices[i];
    }
    m->numFaces = static_cast<std::uint32_t>(s.faces.size());
    m->faces = new ZYLface[m->numFaces];
    m->normals = new QmtVector3[m->numFaces];
    m->worldNormals = new QmtVector3[m->numFaces];
    std::uint32_t corner = 0;
    for (std::uint32_t f = 0; f < m->numFaces; ++f) {
        ZYLface& face = m->faces[f];
        face.numVertices = static_cast<std::uint32_t>(s.faces[f].size());
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            face.vertices[k] = s.faces[f][k];
            face.uvs[k] = withUVs ? corner : 0;
            ++corner;
        }
        face.island = 1;
        m->normals[f] = m->worldNormals[f] = newellNormal(s, s.faces[f]);
    }
    if (withUVs) {
        m->numUVs = corner;
        m->uvs = new QmtVector3[corner];
        for (std::uint32_t i = 0; i < corner; ++i) {
            m->uvs[i] = {0.25 * i, 0.5, 0.0};
        }
    }
    return m;
}

// Detailed mesh. `uv(face, position, set)` gives a UV per corner (index = running
// corner index); with `normals` every corner gets its face's normal (index = face).
struct DFOptions {
    std::uint32_t uvSets = 0;  // 0: no UVs
    bool cornerNormals = false;
    std::function<QmtVector3(std::uint32_t, const QmtVector3&, std::uint32_t)> uv;
};

inline ZYL_DFmesh* makeDFMesh(const Shape& s, const DFOptions& o = {}) {
    auto* m = new ZYL_DFmesh;
    m->numVertices = static_cast<std::uint32_t>(s.vertices.size());
    m->vertices = new QmtVector3[m->numVertices];
    m->worldVertices = new QmtVector3[m->numVertices];
    for (std::uint32_t i = 0; i < m->numVertices; ++i) {
        m->vertices[i] = m->worldVertices[i] = s.vertices[i];
    }
    m->numFaces = static_cast<std::uint32_t>(s.faces.size());
    m->faces = new ZYL_DFface[m->numFaces];
    m->normals = new QmtVector3[m->numFaces];
    m->worldNormals = new QmtVector3[m->numFaces];
    const std::uint32_t sets = std::max(o.uvSets, 1u);
    std::uint32_t corners = 0;
    for (const auto& f : s.faces) {
        corners += static_cast<std::uint32_t>(f.size());
    }
    if (o.uvSets > 0) {
        m->numUVs = corners;
        m->uvs = new QmtVector3[corners];
        for (std::uint32_t set = 1; set < o.uvSets; ++set) {
            m->uvSets[set - 1] = new QmtVector3[corners];
        }
        m->numUVSets = o.uvSets;
        m->flags = o.uvSets > 1 ? MESH_UV_SETS : 0;
    }
    if (o.cornerNormals) {
        m->numCornerNormals = m->numFaces;
        m->cornerNormals = new QmtVector3[m->numFaces];
    }
    std::uint32_t corner = 0;
    for (std::uint32_t f = 0; f < m->numFaces; ++f) {
        ZYL_DFface& face = m->faces[f];
        const auto n = static_cast<std::uint32_t>(s.faces[f].size());
        face.allocate(n, sets);
        face.numVertices = n;
        face.alive = 1;
        face.piece = 1;
        m->normals[f] = m->worldNormals[f] = newellNormal(s, s.faces[f]);
        if (o.cornerNormals) {
            m->cornerNormals[f] = m->worldNormals[f];
        }
        for (std::uint32_t k = 0; k < n; ++k, ++corner) {
            const std::uint32_t v = s.faces[f][k];
            face.vertices[k] = v;
            face.normals[k] = o.cornerNormals ? f : 0;
            face.uvs[k] = o.uvSets > 0 ? corner : 0;
            for (std::uint32_t set = 1; set < sets; ++set) {
                face.uvSets[set - 1][k] = corner;
            }
            if (o.uvSets > 0) {
                m->uvs[corner] = o.uv(f, s.vertices[v], 0);
                for (std::uint32_t set = 1; set < o.uvSets; ++set) {
                    m->uvSets[set - 1][corner] = o.uv(f, s.vertices[v], set);
                }
            }
        }
    }
    return m;
}

// Every index of every face lies inside its array.
inline void expectValidIndices(const ZYL_DFmesh& m) {
    for (std::uint32_t f = 0; f < m.numFaces; ++f) {
        const ZYL_DFface& face = m.faces[f];
        ASSERT_GE(face.numVertices, 3u) << "face " << f;
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            ASSERT_LT(face.vertices[k], m.numVertices) << "face " << f;
            if (m.uvs) {
                ASSERT_LT(face.uvs[k], m.numUVs) << "face " << f;
            }
            if (m.cornerNormals) {
                ASSERT_LT(face.normals[k], m.numCornerNormals) << "face " << f;
            }
        }
    }
}

inline void expectValidIndices(const ZYLmesh& m) {
    for (std::uint32_t f = 0; f < m.numFaces; ++f) {
        const ZYLface& face = m.faces[f];
        ASSERT_GE(face.numVertices, 3u) << "face " << f;
        ASSERT_LE(face.numVertices, 32u) << "face " << f;
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            ASSERT_LT(face.vertices[k], m.numVertices) << "face " << f;
            if (m.uvs) {
                ASSERT_LT(face.uvs[k], m.numUVs) << "face " << f;
            }
        }
    }
}

template <class Face>
std::vector<std::uint32_t> corners(const Face& face) {
    return std::vector<std::uint32_t>(face.vertices, face.vertices + face.numVertices);
}

// Cuts a detailed mesh the way the engine does: volume, clipper, clipDF with the
// scaled point, finish step. Returns the clip result and the clipper's scale.
inline std::pair<std::int32_t, double> cutDF(ZYL_DFmesh* mesh, const QmtVector3& n, const QmtVector3& p,
                                             std::uint32_t flags = CLIP_BUILD_CAPS) {
    BVDFmesh volume;
    volume.init(mesh, 0);
    volume.initClipper();
    Clipper* clipper = volume.getClipper();
    const double s = clipper->getScale();
    const std::int32_t r = clipper->clipDF(mesh, n, p * s, flags);
    volume.finishClip(r);
    return {r, s};
}

}  // namespace cliptest
