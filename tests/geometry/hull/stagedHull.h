#pragma once

// A hull grown through the stages by hand: a mesh with room for every point of the
// cloud (freed with the mesh), its context, and the cloud's simplex; the cloud must
// outlive it.

#include <cstdint>
#include <vector>

#include "geometry/hull/convexHull.h"

template <class Mesh>
struct StagedHull {
    Mesh mesh;
    ConvexHullContext context;
    std::uint32_t simplex[4] = {};
    bool started = false;  // whether the cloud has a simplex

    explicit StagedHull(const std::vector<Qmt::QmtVector3>& points) : cloud(&points) {
        const auto n = static_cast<std::uint32_t>(points.size());
        mesh.vertices = new Qmt::QmtVector3[n]();
        started = buildHullSimplex(points.data(), n, mesh, simplex, context);
        if (started && n > 3) {
            interior = (points[simplex[0]] + points[simplex[1]] + points[simplex[2]] + points[simplex[3]]) * 0.25;
        }
    }

    // Adds every point of the cloud in input order.
    void addAll() {
        for (std::uint32_t i = 0; i < cloud->size(); ++i) {
            add(i);
        }
    }

    bool inSimplex(std::uint32_t i) const {
        return i == simplex[0] || i == simplex[1] || i == simplex[2] || i == simplex[3];
    }

    // Adds point i of the cloud with addPointToHull, about the simplex's centre; a
    // point of the simplex is left alone.
    void add(std::uint32_t i) {
        if (!inSimplex(i)) {
            addPointToHull(mesh, (*cloud)[i], interior, context);
        }
    }

private:
    const std::vector<Qmt::QmtVector3>* cloud;
    Qmt::QmtVector3 interior;
};
