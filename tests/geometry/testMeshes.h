#pragma once

// Shapes, mesh builders and mesh checks shared by the geometry tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <numbers>
#include <type_traits>
#include <utility>
#include <vector>

#include "geometry/mesh/bvDFmesh.h"
#include "geometry/mesh/bvMesh.h"
#include "geometry/clip/clipper.h"
#include "geometry/mesh/meshRecords.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

namespace meshtest {

using Qmt::QmtVector3;
using Indices = std::vector<std::uint32_t>;
using Faces = std::vector<Indices>;
using Points = std::vector<QmtVector3>;

// Index lists of a face (ZYLface or ZYL_DFface).
template <class Face>
Indices corners(const Face& face) {
    return Indices(face.vertices, face.vertices + face.numVertices);
}
template <class Face>
Indices cornerUVs(const Face& face) {
    return Indices(face.uvs, face.uvs + face.numVertices);
}
template <class Face>
Indices edgeSlots(const Face& face) {
    return Indices(face.edges, face.edges + face.numEdges);
}

// A vertex record's face and edge lists.
inline Indices vertexFaces(const connect_vertex& r) { return Indices(r.faces, r.faces + r.numFaces); }
inline Indices vertexEdges(const connect_vertex& r) { return Indices(r.edges, r.edges + r.numEdges); }

// ---- Shapes: positions and faces wound counter-clockwise seen from outside.

struct Shape {
    Points vertices;
    Faces faces;
};

// Faces of box(): bottom, top, front (y = lo), right (x = hi), back (y = hi), left (x = lo).
inline const Faces CUBE_FACES = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
inline const Points CUBE_NORMALS = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}};

// The box [lo, hi]: corners 0..3 counter-clockwise at the bottom, 4..7 above them.
inline Shape box(const QmtVector3& lo, const QmtVector3& hi) {
    return {{{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z},
             {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}},
            CUBE_FACES};
}

inline Shape cube(double size = 1.0, const QmtVector3& origin = {}) {
    return box(origin, origin + QmtVector3(size, size, size));
}

inline Shape tetrahedron() {
    return {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}}};
}

// Prism over a counter-clockwise polygon (x, y), from z = 0 to z = h.
inline Shape extruded(const std::vector<std::pair<double, double>>& polygon, double h) {
    Shape s;
    const auto n = static_cast<std::uint32_t>(polygon.size());
    for (const double z : {0.0, h}) {
        for (const auto& [x, y] : polygon) {
            s.vertices.push_back({x, y, z});
        }
    }
    Indices bottom, top;
    for (std::uint32_t i = 0; i < n; ++i) {
        bottom.push_back(n - 1 - i);
        top.push_back(n + i);
        s.faces.push_back({i, (i + 1) % n, n + (i + 1) % n, n + i});
    }
    s.faces.push_back(bottom);
    s.faces.push_back(top);
    return s;
}

// Prism over a regular n-gon of radius r, from z = 0 to z = h.
inline Shape prism(std::uint32_t n, double r, double h) {
    std::vector<std::pair<double, double>> polygon;
    for (std::uint32_t i = 0; i < n; ++i) {
        const double a = 2.0 * std::numbers::pi * i / n;
        polygon.emplace_back(r * std::cos(a), r * std::sin(a));
    }
    return extruded(polygon, h);
}

// Convex latitude-longitude sphere: 2 poles and `rings` rings of `segments` vertices;
// triangle fans at the poles, planar quads between rings.
inline Shape sphere(std::uint32_t rings, std::uint32_t segments, double r) {
    constexpr double pi = std::numbers::pi;
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

// Torus about z: `around` quads along the ring of radius R, `across` around the tube of
// radius r; outward normals.
inline Shape torus(std::uint32_t around, std::uint32_t across, double R, double r) {
    constexpr double pi = std::numbers::pi;
    Shape s;
    for (std::uint32_t i = 0; i < around; ++i) {
        for (std::uint32_t j = 0; j < across; ++j) {
            const double u = 2.0 * pi * i / around;
            const double v = 2.0 * pi * j / across;
            s.vertices.push_back({(R + r * std::cos(v)) * std::cos(u), (R + r * std::cos(v)) * std::sin(u),
                                  r * std::sin(v)});
        }
    }
    const auto at = [around, across](std::uint32_t i, std::uint32_t j) { return (i % around) * across + j % across; };
    for (std::uint32_t i = 0; i < around; ++i) {
        for (std::uint32_t j = 0; j < across; ++j) {
            s.faces.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
        }
    }
    return s;
}

// b's vertices follow a's; b's faces are renumbered accordingly.
inline Shape joined(Shape a, const Shape& b) {
    const auto offset = static_cast<std::uint32_t>(a.vertices.size());
    a.vertices.insert(a.vertices.end(), b.vertices.begin(), b.vertices.end());
    for (Indices face : b.faces) {
        for (std::uint32_t& v : face) {
            v += offset;
        }
        a.faces.push_back(face);
    }
    return a;
}

inline QmtVector3 newellNormal(const Points& vertices, const Indices& face) {
    QmtVector3 n;
    for (std::size_t k = 0; k < face.size(); ++k) {
        n += vertices[face[k]].Cross(vertices[face[(k + 1) % face.size()]]);
    }
    n.Unitize(Qmt::QmtMatrix3::EPSILON);
    return n;
}

// ---- Builders.

// Per face, the running number of each corner: every corner gets an entry of its own.
inline Faces cornerNumbers(const Faces& faces) {
    Faces out;
    std::uint32_t corner = 0;
    for (const Indices& face : faces) {
        out.emplace_back();
        for (std::size_t k = 0; k < face.size(); ++k) {
            out.back().push_back(corner++);
        }
    }
    return out;
}

// Table of n entries, entry i = (i, y, 0), or (0, 0, i) with onZ: a copied entry tells
// where it came from.
inline Points tags(std::uint32_t n, double y = 0.0, bool onZ = false) {
    Points out;
    for (std::uint32_t i = 0; i < n; ++i) {
        out.push_back(onZ ? QmtVector3(0, 0, i) : QmtVector3(i, y, 0));
    }
    return out;
}

// A mesh written out as given. Per-face and per-corner lists left empty give zero
// normals and index 0; each attribute table's size is its entry count.
struct MeshBuilder : Shape {
    Points normals;                // per face, local and world
    QmtVector3 worldOffset;        // world positions = local + offset
    Faces uvs;                     // per face, per corner
    Points uvTable;
    Faces cornerNormals;           // detailed meshes only
    Points cornerNormalTable;
    std::vector<Faces> extraSets;  // per extra UV set, per face, per corner
    std::vector<Points> extraSetTables;
    std::uint16_t piece = 0;       // every face's piece (island of a compact face)
    std::uint8_t alive = 0;        // every face's alive byte (marker of a compact face)
    std::uint8_t material = 0;     // every face's material (extra of a compact face)

    MeshBuilder() = default;
    explicit MeshBuilder(Shape shape, Points faceNormals = {})
        : Shape(std::move(shape)), normals(std::move(faceNormals)) {}

    // Gives every corner an entry of its own (running index) in each of `sets` UV sets,
    // with the value uv(face, corner, set).
    void setCornerUVs(std::uint32_t sets,
                      const std::function<QmtVector3(std::uint32_t, std::uint32_t, std::uint32_t)>& uv) {
        for (std::uint32_t set = 0; set < sets; ++set) {
            Points table;
            for (std::uint32_t f = 0; f < faces.size(); ++f) {
                for (std::uint32_t k = 0; k < faces[f].size(); ++k) {
                    table.push_back(uv(f, k, set));
                }
            }
            if (set == 0) {
                uvs = cornerNumbers(faces);
                uvTable = std::move(table);
            } else {
                extraSets.push_back(uvs);
                extraSetTables.push_back(std::move(table));
            }
        }
    }

    // Appends a cube whose corners each get a UV and corner-normal entry of their own,
    // tagged (i, 0, 0) and (0, 0, i).
    void addCube(const QmtVector3& origin, double size = 1.0) {
        const auto base = static_cast<std::uint32_t>(vertices.size());
        const Shape c = cube(size, origin);
        vertices.insert(vertices.end(), c.vertices.begin(), c.vertices.end());
        for (std::size_t f = 0; f < 6; ++f) {
            Indices face, attributes;
            for (const std::uint32_t v : CUBE_FACES[f]) {
                face.push_back(base + v);
                attributes.push_back(static_cast<std::uint32_t>(uvTable.size()));
                uvTable.push_back(QmtVector3(uvTable.size(), 0, 0));
                cornerNormalTable.push_back(QmtVector3(0, 0, cornerNormalTable.size()));
            }
            faces.push_back(face);
            uvs.push_back(attributes);
            cornerNormals.push_back(attributes);
            normals.push_back(CUBE_NORMALS[f]);
        }
    }

    std::unique_ptr<ZYLmesh> mesh() const {
        auto m = std::make_unique<ZYLmesh>();
        fillCommon(*m);
        for (std::uint32_t f = 0; f < m->numFaces; ++f) {
            ZYLface& face = m->faces[f];
            face.numVertices = static_cast<std::uint32_t>(faces[f].size());
            if (face.numVertices > ZYLFACE_MAX_CORNERS) {
                ADD_FAILURE() << "face " << f << " has more corners than a ZYLface holds";
                face.numVertices = ZYLFACE_MAX_CORNERS;
            }
            for (std::uint32_t k = 0; k < face.numVertices; ++k) {
                face.vertices[k] = faces[f][k];
                face.uvs[k] = at(uvs, f, k);
            }
            face.island = piece;
            face.marker = alive;
            face.extra = material;
        }
        return m;
    }

    std::unique_ptr<ZYL_DFmesh> dfMesh() const {
        auto m = std::make_unique<ZYL_DFmesh>();
        fillCommon(*m);
        const auto sets = static_cast<std::uint32_t>(1 + extraSets.size());
        for (std::uint32_t f = 0; f < m->numFaces; ++f) {
            ZYL_DFface& face = m->faces[f];
            face.allocate(static_cast<std::uint32_t>(faces[f].size()), sets);
            face.numVertices = static_cast<std::uint32_t>(faces[f].size());
            for (std::uint32_t k = 0; k < face.numVertices; ++k) {
                face.vertices[k] = faces[f][k];
                face.uvs[k] = at(uvs, f, k);
                face.normals[k] = at(cornerNormals, f, k);
                for (std::uint32_t s = 1; s < sets; ++s) {
                    face.uvSets[s - 1][k] = at(extraSets[s - 1], f, k);
                }
            }
            face.piece = piece;
            face.alive = alive;
            face.material = material;
        }
        m->numUVSets = sets;
        m->flags = sets > 1 ? MESH_UV_SETS : 0;
        for (std::uint32_t s = 1; s < sets; ++s) {
            m->uvSets[s - 1] = copy(extraSetTables[s - 1]);
        }
        m->numCornerNormals = static_cast<std::uint32_t>(cornerNormalTable.size());
        m->cornerNormals = copy(cornerNormalTable);
        return m;
    }

private:
    static std::uint32_t at(const Faces& lists, std::uint32_t f, std::uint32_t k) {
        return lists.empty() ? 0 : lists[f][k];
    }

    // Attribute tables are null when empty; positions and normals never are.
    static QmtVector3* copy(const Points& table, bool evenEmpty = false) {
        if (table.empty() && !evenEmpty) {
            return nullptr;
        }
        auto* out = new QmtVector3[table.size()];
        std::copy(table.begin(), table.end(), out);
        return out;
    }

    template <class Mesh>
    void fillCommon(Mesh& m) const {
        m.numVertices = static_cast<std::uint32_t>(vertices.size());
        m.vertices = copy(vertices, true);
        m.worldVertices = copy(vertices, true);
        for (std::uint32_t i = 0; i < m.numVertices; ++i) {
            m.worldVertices[i] += worldOffset;
        }
        m.numFaces = static_cast<std::uint32_t>(faces.size());
        m.faces = new std::remove_reference_t<decltype(*m.faces)>[m.numFaces];
        const Points faceNormals = normals.empty() ? Points(faces.size()) : normals;
        m.normals = copy(faceNormals, true);
        m.worldNormals = copy(faceNormals, true);
        m.numUVs = static_cast<std::uint32_t>(uvTable.size());
        m.uvs = copy(uvTable);
    }
};

// The shape's positions (world = local) and faces with their Newell normals.
inline MeshBuilder builderOf(const Shape& s) {
    MeshBuilder b(s);
    for (const Indices& face : s.faces) {
        b.normals.push_back(newellNormal(s.vertices, face));
    }
    return b;
}

// Compact mesh of a shape, every face on island 1. With UVs each corner has an entry
// of its own: (0.25 i, 0.5, 0) for running corner i.
inline std::unique_ptr<ZYLmesh> makeMesh(const Shape& s, bool withUVs = false) {
    MeshBuilder b = builderOf(s);
    b.piece = 1;
    if (withUVs) {
        b.uvs = cornerNumbers(s.faces);
        for (const Indices& face : b.uvs) {
            for (const std::uint32_t i : face) {
                b.uvTable.push_back({0.25 * i, 0.5, 0.0});
            }
        }
    }
    return b.mesh();
}

// Detailed mesh options: `uv(face, position, set)` gives each corner's UV in every set
// (index = running corner); with corner normals every corner gets its face's normal
// (index = face).
struct DFOptions {
    std::uint32_t uvSets = 0;  // 0: no UVs
    bool cornerNormals = false;
    std::function<QmtVector3(std::uint32_t, const QmtVector3&, std::uint32_t)> uv;
};

// Detailed mesh of a shape: alive faces of piece 1 with their Newell normals.
inline std::unique_ptr<ZYL_DFmesh> makeDFMesh(const Shape& s, const DFOptions& o = {}) {
    MeshBuilder b = builderOf(s);
    b.piece = 1;
    b.alive = 1;
    b.setCornerUVs(o.uvSets, [&](std::uint32_t f, std::uint32_t k, std::uint32_t set) {
        return o.uv(f, s.vertices[s.faces[f][k]], set);
    });
    if (o.cornerNormals) {
        for (std::uint32_t f = 0; f < s.faces.size(); ++f) {
            b.cornerNormals.push_back(Indices(s.faces[f].size(), f));
        }
        b.cornerNormalTable = b.normals;
    }
    return b.dfMesh();
}

// ---- Checks.

// Every index of every face lies inside its array; compact faces have at most 32 corners.
template <class Mesh>
void expectValidIndices(const Mesh& m) {
    constexpr bool compact = std::is_same_v<Mesh, ZYLmesh>;
    for (std::uint32_t f = 0; f < m.numFaces; ++f) {
        const auto& face = m.faces[f];
        ASSERT_GE(face.numVertices, 3u) << "face " << f;
        if constexpr (compact) {
            ASSERT_LE(face.numVertices, ZYLFACE_MAX_CORNERS) << "face " << f;
        }
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            ASSERT_LT(face.vertices[k], m.numVertices) << "face " << f;
            if (m.uvs) {
                ASSERT_LT(face.uvs[k], m.numUVs) << "face " << f;
            }
            if constexpr (!compact) {
                if (m.cornerNormals) {
                    ASSERT_LT(face.normals[k], m.numCornerNormals) << "face " << f;
                }
            }
        }
    }
}

// Each directed edge once, with its reverse once.
template <class Mesh>
bool closed(const Mesh& m) {
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> directed;
    for (std::uint32_t f = 0; f < m.numFaces; ++f) {
        const auto& face = m.faces[f];
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            ++directed[{face.vertices[k], face.vertices[(k + 1) % face.numVertices]}];
        }
    }
    return !directed.empty() && std::all_of(directed.begin(), directed.end(), [&directed](const auto& e) {
        const auto reverse = directed.find({e.first.second, e.first.first});
        return e.second == 1 && reverse != directed.end() && reverse->second == 1;
    });
}

// ---- Cuts through a mesh's own volume, the plane point given unscaled.

// The mesh's volume (BVmesh or BVDFmesh) with its clipper set up, as every cut starts.
template <class Mesh>
auto clipperVolume(Mesh* mesh, std::uint32_t options = 0) {
    auto volume = std::make_unique<std::conditional_t<std::is_same_v<Mesh, ZYLmesh>, BVmesh, BVDFmesh>>();
    EXPECT_TRUE(volume->init(mesh, options));
    volume->initClipper();
    EXPECT_NE(volume->getClipper(), nullptr);
    return volume;
}

// Detailed path: clipDF with the scaled point, then the finish step. Returns the clip
// result and the clipper's scale.
inline std::pair<std::int32_t, double> cutDF(ZYL_DFmesh* mesh, const QmtVector3& n, const QmtVector3& p,
                                             std::uint32_t flags = CLIP_BUILD_CAPS) {
    const auto volume = clipperVolume(mesh);
    Clipper* clipper = volume->getClipper();
    if (clipper == nullptr) {
        return {1, 1.0};
    }
    const double s = clipper->getScale();
    const std::int32_t r = clipper->clipDF(mesh, n, p * s, flags);
    volume->finishClip(r);
    EXPECT_EQ(volume->getClipper(), nullptr);
    return {r, s};
}

// Compact path without the finish step: the mesh keeps the clipper's scale. Returns the
// clip result and that scale.
inline std::pair<std::int32_t, double> clipCompact(ZYLmesh* mesh, const QmtVector3& n, const QmtVector3& p,
                                                   std::uint32_t flags = CLIP_BUILD_CAPS) {
    const auto volume = clipperVolume(mesh);
    const double s = volume->getClipper() ? volume->getClipper()->getScale() : 1.0;
    return {volume->clip(n, p * s, flags), s};
}

}  // namespace meshtest
