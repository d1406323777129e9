#pragma once
#include <algorithm>
#include <memory>
#include <vector>

#include "geometry/mesh/bvMesh.h"
#include "math/qmtVector3.h"

// A hull volume as the bodies hold one: the convex hull of the points with world
// vertices, world face normals and world centre equal to the local ones, and its edge
// table and vertex lists built (the convex solver climbs over them). Null when no hull
// comes of the points.
inline std::unique_ptr<BVmesh> fuzzHullVolume(const std::vector<Qmt::QmtVector3>& points) {
    auto volume = std::make_unique<BVmesh>();
    if (points.empty() || !volume->setConvexHull(points.data(), static_cast<std::uint32_t>(points.size()))) {
        return nullptr;
    }
    ZYLmesh& m = *volume->getMesh();
    delete[] m.worldVertices;
    m.worldVertices = new Qmt::QmtVector3[m.numVertices];
    std::copy_n(m.vertices, m.numVertices, m.worldVertices);
    delete[] m.worldNormals;
    m.worldNormals = new Qmt::QmtVector3[m.numFaces];
    std::copy_n(m.normals, m.numFaces, m.worldNormals);
    m.worldCentre = computeFaceCenter(m.vertices, m.numVertices);
    volume->buildConnectivity(BVMESH_EDGES | BVMESH_VERTICES);
    return volume;
}
