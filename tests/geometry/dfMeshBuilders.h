#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "geometry/meshRecords.h"
#include "math/qmtVector3.h"

// Small detailed meshes for the BVDFmesh tests.
namespace dftest {

using Qmt::QmtVector3;
using Indices = std::vector<std::uint32_t>;

// Cube [origin, origin + size]: corners 0..3 at the bottom, 4..7 at the top; faces wound
// counter-clockwise seen from outside.
inline std::vector<QmtVector3> cubePoints(const QmtVector3& origin = {0, 0, 0}, double size = 1.0) {
    std::vector<QmtVector3> points;
    for (std::uint32_t v = 0; v < 8; ++v) {
        points.push_back(origin + QmtVector3(v % 4 == 1 || v % 4 == 2, v % 4 >= 2, v / 4) * size);
    }
    return points;
}
inline const std::vector<Indices> CUBE_FACES = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                               {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
inline const std::vector<QmtVector3> CUBE_NORMALS = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0},
                                                     {1, 0, 0},  {0, 1, 0}, {-1, 0, 0}};

// Faces with their normals and per-corner index lists (empty: all 0). UV entry i is
// (i, 0, 0), corner normal i (0, 0, i) and extra-set entry i (i, 1, 0), so a copied
// entry tells where it came from. A non-empty extraSet gives two UV sets.
struct DFmeshBuilder {
    std::vector<QmtVector3> points;
    std::vector<Indices> faces;
    std::vector<QmtVector3> normals;
    std::vector<Indices> uvs, cornerNormals, extraSet;
    std::uint32_t numUVs = 0;
    std::uint32_t numCornerNormals = 0;

    // Appends a cube whose corners each get a UV and corner-normal index of their own.
    void addCube(const QmtVector3& origin, double size = 1.0) {
        const auto base = static_cast<std::uint32_t>(points.size());
        for (const QmtVector3& p : cubePoints(origin, size)) {
            points.push_back(p);
        }
        for (std::size_t f = 0; f < 6; ++f) {
            Indices face, corners;
            for (const std::uint32_t v : CUBE_FACES[f]) {
                face.push_back(base + v);
                corners.push_back(numUVs++);
            }
            faces.push_back(face);
            uvs.push_back(corners);
            cornerNormals.push_back(corners);
            normals.push_back(CUBE_NORMALS[f]);
        }
        numCornerNormals = numUVs;
    }

    ZYL_DFmesh* build() const {
        const auto entries = [](std::uint32_t n, double y, bool onZ) {
            auto* out = n ? new QmtVector3[n] : nullptr;
            for (std::uint32_t i = 0; i < n; ++i) {
                out[i] = onZ ? QmtVector3(0, 0, i) : QmtVector3(i, y, 0);
            }
            return out;
        };
        auto* mesh = new ZYL_DFmesh();
        const bool sets = !extraSet.empty();
        mesh->numVertices = static_cast<std::uint32_t>(points.size());
        mesh->vertices = new QmtVector3[points.size()];
        mesh->worldVertices = new QmtVector3[points.size()];
        std::copy(points.begin(), points.end(), mesh->vertices);
        std::copy(points.begin(), points.end(), mesh->worldVertices);
        mesh->numFaces = static_cast<std::uint32_t>(faces.size());
        mesh->faces = new ZYL_DFface[faces.size()];
        mesh->normals = new QmtVector3[faces.size()];
        mesh->worldNormals = new QmtVector3[faces.size()];
        for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
            ZYL_DFface& face = mesh->faces[f];
            face.allocate(static_cast<std::uint32_t>(faces[f].size()), sets ? 2 : 1);
            face.numVertices = static_cast<std::uint32_t>(faces[f].size());
            for (std::uint32_t k = 0; k < face.numVertices; ++k) {
                face.vertices[k] = faces[f][k];
                face.uvs[k] = uvs.empty() ? 0 : uvs[f][k];
                face.normals[k] = cornerNormals.empty() ? 0 : cornerNormals[f][k];
                if (sets) {
                    face.uvSets[0][k] = extraSet[f][k];
                }
            }
            mesh->normals[f] = mesh->worldNormals[f] = normals[f];
        }
        mesh->numUVSets = sets ? 2 : 1;
        mesh->flags = sets ? MESH_UV_SETS : 0;
        mesh->numUVs = numUVs;
        mesh->uvs = entries(numUVs, 0, false);
        mesh->uvSets[0] = sets ? entries(numUVs, 1, false) : nullptr;
        mesh->numCornerNormals = numCornerNormals;
        mesh->cornerNormals = entries(numCornerNormals, 0, true);
        return mesh;
    }
};

inline ZYL_DFmesh* makeCube(const QmtVector3& origin = {0, 0, 0}, double size = 1.0) {
    DFmeshBuilder builder;
    builder.points = cubePoints(origin, size);
    builder.faces = CUBE_FACES;
    builder.normals = CUBE_NORMALS;
    return builder.build();
}

inline Indices faceVertices(const ZYL_DFface& face) { return Indices(face.vertices, face.vertices + face.numVertices); }
inline Indices faceEdges(const ZYL_DFface& face) { return Indices(face.edges, face.edges + face.numEdges); }

}  // namespace dftest
