#pragma once

// Triangle-mesh bodies and triangle shapes shared by the triangle-mesh tests.

#include <cstdint>
#include <memory>
#include <random>

#include "engine/bodies/triMeshBody.h"
#include "engine/world/engineApi.h"
#include "math/qmtMatrix3.h"
#include "tests/geometry/testMeshes.h"

namespace trimeshtest {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

// A body made by the creator from the shape (given in world space) and placed at P
// (rotation R, scale S) the way the host does it: position first, then init.
inline std::unique_ptr<TriMeshBody> placedBody(const meshtest::Shape& shape, const QmtVector3& P,
                                               const QmtMatrix3& R = QmtMatrix3::IDENTITY,
                                               const QmtVector3& S = {1.0, 1.0, 1.0}) {
    const auto mesh = meshtest::makeMesh(shape);
    std::unique_ptr<TriMeshBody> body(static_cast<TriMeshBody*>(createTriMeshBody(mesh.get())));
    body->setPosition(P);
    body->init(P, R, S);
    body->updateWorldState();
    return body;
}

// The faces of the shape fanned into triangles (first corner, k, k + 1).
inline meshtest::Shape triangulated(meshtest::Shape s) {
    meshtest::Faces faces;
    for (const auto& f : s.faces) {
        for (std::size_t k = 1; k + 1 < f.size(); ++k) {
            faces.push_back({f[0], f[k], f[k + 1]});
        }
    }
    s.faces = faces;
    return s;
}

// A flat strip of `quads` unit squares along x in the plane z = z0, two triangles each,
// facing +z (or -z when down).
inline meshtest::Shape strip(std::uint32_t quads, double z0 = 0.0, bool down = false) {
    meshtest::Shape s;
    for (std::uint32_t i = 0; i <= quads; ++i) {
        s.vertices.push_back({double(i), 0.0, z0});
        s.vertices.push_back({double(i), 1.0, z0});
    }
    for (std::uint32_t i = 0; i < quads; ++i) {
        const std::uint32_t a = 2 * i, b = 2 * i + 2, c = 2 * i + 3, d = 2 * i + 1;
        if (down) {
            s.faces.push_back({a, c, b});
            s.faces.push_back({a, d, c});
        } else {
            s.faces.push_back({a, b, c});
            s.faces.push_back({a, c, d});
        }
    }
    return s;
}

// n random triangles with corners in the cube [-h, h]^3 around c.
inline meshtest::Shape soup(std::uint32_t n, const QmtVector3& c, double h, std::mt19937& rng) {
    std::uniform_real_distribution<double> u(-h, h);
    meshtest::Shape s;
    for (std::uint32_t i = 0; i < n; ++i) {
        for (int k = 0; k < 3; ++k) {
            s.vertices.push_back(c + QmtVector3(u(rng), u(rng), u(rng)));
        }
        s.faces.push_back({3 * i, 3 * i + 1, 3 * i + 2});
    }
    return s;
}

}  // namespace trimeshtest
