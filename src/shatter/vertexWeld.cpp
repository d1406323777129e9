#include "src/shatter/vertexWeld.h"

#include <algorithm>
#include <array>
#include <bit>
#include <numeric>
#include <vector>

using Qmt::QmtVector3;

namespace {

// A vertex's place as bits, so that equal means the very same doubles (and sorting is
// total even for a point that is not a number); adding 0 makes -0 into 0.
using Place = std::array<std::uint64_t, 6>;

Place placeOf(const QmtVector3& local, const QmtVector3& world) {
    const auto bits = [](double x) { return std::bit_cast<std::uint64_t>(x + 0.0); };
    return {bits(local.x), bits(local.y), bits(local.z), bits(world.x), bits(world.y), bits(world.z)};
}

// Drops the corners that repeat the one before them (the last one's neighbour is the
// first), with their normal and UV indices; the face's edge list is built later.
void dropRepeatedCorners(ZYL_DFface& face) {
    const std::uint32_t sets = faceExtraUVSets(face);
    const auto move = [&face, sets](std::uint32_t from, std::uint32_t to) {
        face.vertices[to] = face.vertices[from];
        if (face.normals) face.normals[to] = face.normals[from];
        if (face.uvs) face.uvs[to] = face.uvs[from];
        for (std::uint32_t s = 0; s < sets; ++s) {
            if (face.uvSets[s]) face.uvSets[s][to] = face.uvSets[s][from];
        }
    };
    std::uint32_t kept = 0;
    for (std::uint32_t k = 0; k < face.numVertices; ++k) {
        if (kept > 0 && face.vertices[k] == face.vertices[kept - 1]) continue;
        move(k, kept++);
    }
    while (kept > 1 && face.vertices[kept - 1] == face.vertices[0]) --kept;
    face.numVertices = kept;
}

// Keeps the faces of three corners or more, in order, with their face normals.
void dropDegenerateFaces(ZYL_DFmesh& mesh) {
    std::uint32_t kept = 0;
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        if (mesh.faces[f].numVertices < 3) continue;
        if (kept != f) {
            moveDFmeshFace(mesh.faces[f], mesh.faces[kept]);
            if (mesh.normals) mesh.normals[kept] = mesh.normals[f];
            if (mesh.worldNormals) mesh.worldNormals[kept] = mesh.worldNormals[f];
        }
        ++kept;
    }
    mesh.numFaces = kept;
}

}  // namespace

std::uint32_t weldCoincidentVertices(ZYL_DFmesh& mesh) {
    const std::uint32_t n = mesh.numVertices;
    if (n < 2 || !mesh.vertices || !mesh.worldVertices) return 0;
    std::vector<Place> places(n);
    for (std::uint32_t v = 0; v < n; ++v) places[v] = placeOf(mesh.vertices[v], mesh.worldVertices[v]);
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::ranges::sort(order, [&places](std::uint32_t a, std::uint32_t b) {
        return places[a] != places[b] ? places[a] < places[b] : a < b;
    });
    // Each vertex's first twin: the first of its run in the order.
    std::vector<std::uint32_t> first(n);
    std::uint32_t merged = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const bool twin = i > 0 && places[order[i]] == places[order[i - 1]];
        first[order[i]] = twin ? first[order[i - 1]] : order[i];
        merged += twin;
    }
    if (merged == 0) return 0;

    // The vertices that stay move down in order; the others take their first twin's place.
    std::vector<std::uint32_t> index(n);
    std::uint32_t next = 0;
    for (std::uint32_t v = 0; v < n; ++v) {
        if (first[v] != v) continue;
        mesh.vertices[next] = mesh.vertices[v];
        mesh.worldVertices[next] = mesh.worldVertices[v];
        if (mesh.vertexData) mesh.vertexData[next] = mesh.vertexData[v];
        index[v] = next++;
    }
    for (std::uint32_t v = 0; v < n; ++v) index[v] = index[first[v]];
    mesh.numVertices = next;

    bool degenerate = false;
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        ZYL_DFface& face = mesh.faces[f];
        if (!face.vertices) continue;
        // An index out of range stays out of range, for the cutter to refuse.
        for (std::uint32_t k = 0; k < face.numVertices; ++k) {
            if (face.vertices[k] < n) face.vertices[k] = index[face.vertices[k]];
        }
        dropRepeatedCorners(face);
        degenerate = degenerate || face.numVertices < 3;
    }
    if (degenerate) dropDegenerateFaces(mesh);
    return merged;
}
