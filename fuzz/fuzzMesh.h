#pragma once
#include <algorithm>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

#include "fuzz/fuzzInput.h"
#include "geometry/mesh/meshRecords.h"

// A mesh read from fuzz input, written into either engine record as the host layer
// writes one: local and world positions alike, one face normal each (Newell's, or raw
// from the input), and optional attribute tables. The attributes are tied to what is
// already there so that they cost no input: the UV table has an entry per vertex, its
// values the vertex's x and y, and a corner's UV index (in every set) is its vertex
// index; a DF mesh's corner normals are its face normals, indexed by the face.
struct FuzzMesh {
    std::vector<Qmt::QmtVector3> points;
    std::vector<std::vector<std::uint32_t>> faces;
    std::vector<Qmt::QmtVector3> normals;
    bool uvs = false;
    std::uint32_t uvSets = 1;          // 1..9 (DF mesh)
    std::uint32_t uvLimit = 0xFFFFFFFF;  // UV table entries beyond this are left out

    // Points, then faces of minCorners..40 corners (indices in range when asked), then
    // with `rawNormals` one vector per face.
    FuzzMesh(FuzzInput& in, std::uint32_t minCorners, bool inRange, bool rawNormals)
        : points(in.points()),
          faces(FuzzFaces(in, static_cast<std::uint32_t>(points.size()), minCorners, inRange).faces) {
        normals.resize(faces.size());
        for (std::size_t f = 0; f < faces.size(); ++f) {
            normals[f] = rawNormals ? in.vector() : newell(faces[f]);
        }
    }

    std::unique_ptr<ZYLmesh> mesh() const {
        auto m = std::make_unique<ZYLmesh>();
        fillCommon(*m);
        for (std::uint32_t f = 0; f < m->numFaces; ++f) {
            ZYLface& face = m->faces[f];
            face.numVertices = std::min<std::uint32_t>(static_cast<std::uint32_t>(faces[f].size()),
                                                       ZYLFACE_MAX_CORNERS);
            std::copy_n(faces[f].begin(), face.numVertices, face.vertices);
            if (uvs) std::copy_n(faces[f].begin(), face.numVertices, face.uvs);
            face.island = 1;
            face.marker = 1;
        }
        return m;
    }

    std::unique_ptr<ZYL_DFmesh> dfMesh() const {
        auto m = std::make_unique<ZYL_DFmesh>();
        fillCommon(*m);
        const std::uint32_t sets = uvs ? std::clamp<std::uint32_t>(uvSets, 1, MAX_UV_SETS) : 1;
        for (std::uint32_t f = 0; f < m->numFaces; ++f) {
            ZYL_DFface& face = m->faces[f];
            const auto n = static_cast<std::uint32_t>(faces[f].size());
            face.allocate(n, sets);
            face.numVertices = n;
            for (std::uint32_t k = 0; k < n; ++k) {
                face.vertices[k] = faces[f][k];
                face.normals[k] = f;
                if (uvs) {
                    face.uvs[k] = faces[f][k];
                    for (std::uint32_t s = 1; s < sets; ++s) face.uvSets[s - 1][k] = faces[f][k];
                }
            }
            face.piece = 1;
        }
        m->numUVSets = sets;
        m->flags = sets > 1 ? MESH_UV_SETS : 0;
        for (std::uint32_t s = 1; s < sets; ++s) m->uvSets[s - 1] = uvTable();
        m->numCornerNormals = m->numFaces;
        m->cornerNormals = copy(normals);
        return m;
    }

private:
    Qmt::QmtVector3 newell(const std::vector<std::uint32_t>& face) const {
        Qmt::QmtVector3 n;
        const std::size_t k = face.size();
        for (std::size_t i = 0; i < k; ++i) {
            const std::uint32_t a = face[i], b = face[(i + 1) % k];
            if (a >= points.size() || b >= points.size()) return {};
            n += points[a].Cross(points[b]);
        }
        n.Unitize(1e-12);
        return n;
    }

    static Qmt::QmtVector3* copy(const std::vector<Qmt::QmtVector3>& table) {
        auto* out = new Qmt::QmtVector3[table.empty() ? 1 : table.size()];
        std::copy(table.begin(), table.end(), out);
        return out;
    }

    Qmt::QmtVector3* uvTable() const {
        auto* out = new Qmt::QmtVector3[points.empty() ? 1 : points.size()];
        for (std::size_t i = 0; i < points.size(); ++i) out[i] = {points[i].x, points[i].y, 0.0};
        return out;
    }

    template <class Mesh>
    void fillCommon(Mesh& m) const {
        m.numVertices = static_cast<std::uint32_t>(points.size());
        m.vertices = copy(points);
        m.worldVertices = copy(points);
        m.numFaces = static_cast<std::uint32_t>(faces.size());
        m.faces = new std::remove_reference_t<decltype(*m.faces)>[m.numFaces ? m.numFaces : 1];
        m.normals = copy(normals);
        m.worldNormals = copy(normals);
        if (uvs) {
            m.numUVs = std::min(m.numVertices, uvLimit);
            m.uvs = uvTable();
        }
    }
};
