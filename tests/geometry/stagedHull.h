#pragma once

// A hull grown through the stages by hand: a mesh with room for every point of the
// cloud (freed with the mesh), its context, and the cloud's simplex.

#include <cstdint>
#include <vector>

#include "geometry/convexHull.h"

template <class Mesh>
struct StagedHull {
    Mesh mesh;
    ConvexHullContext context;
    std::uint32_t simplex[4] = {};
    bool started = false;  // whether the cloud has a simplex

    explicit StagedHull(const std::vector<Qmt::QmtVector3>& points) {
        const auto n = static_cast<std::uint32_t>(points.size());
        mesh.vertices = new Qmt::QmtVector3[n]();
        started = buildHullSimplex(points.data(), n, mesh, simplex, context);
    }

    bool inSimplex(std::uint32_t i) const {
        return i == simplex[0] || i == simplex[1] || i == simplex[2] || i == simplex[3];
    }
};
