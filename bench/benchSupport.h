#pragma once

// Inputs shared by the benchmarks: seeded random points, closed meshes and placed hulls.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <random>
#include <type_traits>
#include <vector>

#include "engine/bodies/privateHardBody.h"
#include "geometry/hull/convexHull.h"
#include "geometry/mesh/meshPlacement.h"
#include "geometry/mesh/meshRecords.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

namespace benchdata {

using Qmt::QmtVector3;
using Points = std::vector<QmtVector3>;

// A box kind with a diagonal tensor, enough to drive the common body code.
class BenchBody : public PrivateHardBody {
public:
    void init(const QmtVector3& position, const Qmt::QmtMatrix3& rotation, const QmtVector3& scale) override {
        transform.scale = scale;
        setPosition(position);
        setRotationMatrix(rotation);
        computeInertiaTensor();
        lastDyn = dyn;
    }
    void computeInertiaTensor() override {
        const double m = 1.0 / dyn.invMass;
        inertiaLocal.MakeDiagonal(m, 2.0 * m, 3.0 * m);
        invInertiaLocal = inertiaLocal.Inverse(9.9999998245167e-15);
        updateWorldTensors();
        setAngularVelocity(dyn.w);
    }
    void setMassCenter(const QmtVector3&) override {}
};

// Runs query(i) for every i below count in each iteration, summing the results so that
// none is optimised away; count items per iteration.
template <class Query>
void sumOverItems(benchmark::State& state, std::size_t count, Query query) {
    for (auto _ : state) {
        double sum = 0.0;
        for (std::size_t i = 0; i < count; ++i) {
            sum += query(i);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(count));
}

// n points uniform in the cube [lo, hi)^3, drawn x, y, z in turn.
inline Points randomPoints(std::size_t n, unsigned seed, double lo, double hi) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(lo, hi);
    Points points(n);
    for (QmtVector3& p : points) {
        p = {u(rng), u(rng), u(rng)};
    }
    return points;
}

// n points spread evenly over the unit sphere on a golden-angle spiral about y.
inline Points spherePoints(std::uint32_t n) {
    const double golden = std::numbers::pi * (3.0 - std::sqrt(5.0));
    Points points(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        const double y = 1.0 - 2.0 * (i + 0.5) / n;
        const double r = std::sqrt(1.0 - y * y);
        points[i] = {r * std::cos(golden * i), y, r * std::sin(golden * i)};
    }
    return points;
}

// The points' convex hull moved to T, world data filled in; null when there is no hull.
inline std::unique_ptr<ZYLmesh> placedHull(const Points& points, const QmtVector3& T = {}) {
    std::unique_ptr<ZYLmesh> mesh(buildConvexHullMesh(points.data(), static_cast<std::uint32_t>(points.size())));
    if (mesh) {
        mesh->worldVertices = new QmtVector3[mesh->numVertices];
        meshTransformSRT(mesh.get(), T, Qmt::QmtMatrix3::IDENTITY, {1.0, 1.0, 1.0});
    }
    return mesh;
}

// Unit normal of a triangle wound counter-clockwise about it.
inline QmtVector3 triangleNormal(const QmtVector3* t) {
    QmtVector3 n = (t[1] - t[0]).Cross(t[2] - t[0]);
    n.Unitize(Qmt::QmtMatrix3::EPSILON);
    return n;
}

// Positions and faces, wound counter-clockwise seen from outside.
struct Shape {
    Points points;
    std::vector<std::vector<std::uint32_t>> faces;
};

// Closed torus of radii 3 and 1: vertex r * segments + s at ring angle 2 pi r / rings
// and tube angle 2 pi s / segments; one quad per vertex.
inline Shape torus(std::uint32_t rings, std::uint32_t segments) {
    Shape shape;
    for (std::uint32_t r = 0; r < rings; ++r) {
        const double u = 2.0 * std::numbers::pi * r / rings;
        for (std::uint32_t s = 0; s < segments; ++s) {
            const double v = 2.0 * std::numbers::pi * s / segments;
            shape.points.push_back({(3.0 + std::cos(v)) * std::cos(u), (3.0 + std::cos(v)) * std::sin(u), std::sin(v)});
        }
    }
    for (std::uint32_t r = 0; r < rings; ++r) {
        for (std::uint32_t s = 0; s < segments; ++s) {
            const std::uint32_t r1 = (r + 1) % rings;
            const std::uint32_t s1 = (s + 1) % segments;
            shape.faces.push_back({r * segments + s, r1 * segments + s, r1 * segments + s1, r * segments + s1});
        }
    }
    return shape;
}

// Closed latitude-longitude sphere of radius 1: the north pole, `rings` rings of
// `segments` vertices, the south pole; triangle fans at the poles, quads between rings.
inline Shape latLongSphere(std::uint32_t rings, std::uint32_t segments) {
    Shape shape;
    shape.points.push_back({0, 0, 1});
    for (std::uint32_t i = 1; i <= rings; ++i) {
        const double theta = std::numbers::pi * i / (rings + 1);
        for (std::uint32_t j = 0; j < segments; ++j) {
            const double phi = 2.0 * std::numbers::pi * j / segments;
            shape.points.push_back({std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi), std::cos(theta)});
        }
    }
    const auto south = static_cast<std::uint32_t>(shape.points.size());
    shape.points.push_back({0, 0, -1});
    const auto at = [segments](std::uint32_t ring, std::uint32_t j) {
        return 1 + (ring - 1) * segments + j % segments;
    };
    for (std::uint32_t j = 0; j < segments; ++j) {
        shape.faces.push_back({0, at(1, j), at(1, j + 1)});
        for (std::uint32_t i = 1; i < rings; ++i) {
            shape.faces.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
        }
        shape.faces.push_back({south, at(rings, j + 1), at(rings, j)});
    }
    return shape;
}

// Newell normal of a planar face.
inline QmtVector3 faceNormal(const Shape& shape, const std::vector<std::uint32_t>& face) {
    QmtVector3 n;
    for (std::size_t k = 0; k < face.size(); ++k) {
        n += shape.points[face[k]].Cross(shape.points[face[(k + 1) % face.size()]]);
    }
    n.Unitize(Qmt::QmtMatrix3::EPSILON);
    return n;
}

// The shape's positions (world = local), face records and Newell normals; the corners'
// UV (and corner-normal) indices name their vertices. Detailed faces carry one UV set.
template <class Mesh>
void fillMesh(Mesh& mesh, const Shape& shape) {
    mesh.numVertices = static_cast<std::uint32_t>(shape.points.size());
    mesh.vertices = new QmtVector3[mesh.numVertices];
    mesh.worldVertices = new QmtVector3[mesh.numVertices];
    std::copy(shape.points.begin(), shape.points.end(), mesh.vertices);
    std::copy(shape.points.begin(), shape.points.end(), mesh.worldVertices);
    mesh.numFaces = static_cast<std::uint32_t>(shape.faces.size());
    mesh.faces = new std::remove_reference_t<decltype(*mesh.faces)>[mesh.numFaces];
    mesh.normals = new QmtVector3[mesh.numFaces];
    mesh.worldNormals = new QmtVector3[mesh.numFaces];
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        auto& face = mesh.faces[f];
        const auto n = static_cast<std::uint32_t>(shape.faces[f].size());
        if constexpr (std::is_same_v<Mesh, ZYL_DFmesh>) {
            face.allocate(n, 1);
            face.alive = 1;
            face.piece = 1;
        }
        face.numVertices = n;
        for (std::uint32_t k = 0; k < n; ++k) {
            face.vertices[k] = face.uvs[k] = shape.faces[f][k];
            if constexpr (std::is_same_v<Mesh, ZYL_DFmesh>) {
                face.normals[k] = shape.faces[f][k];
            }
        }
        mesh.normals[f] = mesh.worldNormals[f] = faceNormal(shape, shape.faces[f]);
    }
    if constexpr (std::is_same_v<Mesh, ZYL_DFmesh>) {
        mesh.numUVSets = 1;
    }
}

}  // namespace benchdata
