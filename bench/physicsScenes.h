#pragma once

// Scenes of the engine's long property runs (bench/physicsScenesBench.cpp): hull boxes,
// a plane or triangle-mesh ground and a world stepped in 1/300 s frames, built through
// the engine API only.

#include <cmath>
#include <vector>

#include "bench/benchSupport.h"
#include "engine/bodies/privateHardBody.h"
#include "engine/threads/processorCount.h"
#include "engine/world/engineApi.h"
#include "engine/world/publicWorld.h"

namespace physicsscenes {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

constexpr double FRAME = 1.0 / 300.0;
constexpr double GRAVITY = -9.81;

// Corners of the box of half extents h around c.
inline benchdata::Shape boxShape(const QmtVector3& c, const QmtVector3& h) {
    benchdata::Shape s;
    for (int k = 0; k < 8; ++k) {
        s.points.push_back({c.x + ((k & 1) ? h.x : -h.x), c.y + ((k & 2) ? h.y : -h.y), c.z + ((k & 4) ? h.z : -h.z)});
    }
    return s;
}

// A hull box from the mesh of its corners, placed at c (rotation R), of the given mass
// and friction 0.5.
inline HardBody* box(const QmtVector3& c, double mass = 1.0, const QmtVector3& h = {0.5, 0.5, 0.5},
              const QmtMatrix3& R = QmtMatrix3::IDENTITY) {
    benchdata::Shape s = boxShape(c, h);
    ZYLmesh mesh;
    mesh.numVertices = 8;
    mesh.vertices = s.points.data();
    HardBody* const body = createHullBody(&mesh);
    mesh.vertices = nullptr;
    mesh.numVertices = 0;
    body->init(c, QmtMatrix3::IDENTITY, {1.0, 1.0, 1.0});
    if (!(R == QmtMatrix3::IDENTITY)) {
        body->setRotationMatrix(R);
    }
    body->setMass(static_cast<float>(mass));
    body->setFrictionCoeff(0.5);
    return body;
}

// The plane y = 0 (friction 0.7).
inline HardBody* plane() {
    QmtVector3 n(0.0, 1.0, 0.0);
    return createBarrierBody({0.0, 0.0, 0.0}, n);
}

// A static triangle-mesh ground at y = 0 over [-w, w]^2 in n x n cells (two triangles
// each), facing up, friction 0.7.
inline HardBody* meshGround(double w, int n) {
    benchdata::Shape s;
    for (int i = 0; i <= n; ++i) {
        for (int j = 0; j <= n; ++j) {
            s.points.push_back({-w + 2.0 * w * i / n, 0.0, -w + 2.0 * w * j / n});
        }
    }
    const auto at = [n](int i, int j) { return static_cast<std::uint32_t>(i * (n + 1) + j); };
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            s.faces.push_back({at(i, j), at(i, j + 1), at(i + 1, j + 1)});
            s.faces.push_back({at(i, j), at(i + 1, j + 1), at(i + 1, j)});
        }
    }
    ZYLmesh mesh;
    benchdata::fillMesh(mesh, s);
    HardBody* const body = createTriMeshBody(&mesh);
    body->setPosition({});
    body->init({}, QmtMatrix3::IDENTITY, {1.0, 1.0, 1.0});
    body->updateWorldState();
    body->enableStatic();
    body->setFrictionCoeff(0.7);
    return body;
}

struct World {
    PublicWorld* world;
    explicit World(double g, unsigned processors = 0) {
        setProcessorCountOverride(static_cast<int>(processors));
        world = createWorld();
        setProcessorCountOverride(0);
        world->SetGravity({0.0, g, 0.0});
        world->setThreadCount(1);
    }
    ~World() { destroyWorld(&engineWorld()); }
    World(const World&) = delete;
    World& operator=(const World&) = delete;
    void frame() {
        world->manageCollisions(FRAME);
        world->step(FRAME, nullptr);
    }
    void frames(int n) {
        for (int i = 0; i < n; ++i) {
            frame();
        }
    }
};

// Lowest corner of a unit box (half extents h) from its centre and rotation.
inline double lowestCorner(const HardBody* b, const QmtVector3& h = {0.5, 0.5, 0.5}) {
    const QmtMatrix3& R = b->getDyn().rotation;
    return b->getDyn().position.y - std::fabs(R(1, 0)) * h.x - std::fabs(R(1, 1)) * h.y - std::fabs(R(1, 2)) * h.z;
}

// Momentum of a fragment as a point of the body that carries it now (its innermost
// fracture body, or itself when it is free).
inline QmtVector3 fragmentMomentum(HardBody* f) {
    const HardBody* owner = f->getParent() ? f->getParent() : f;
    const RBDynamics& d = owner->getDyn();
    return (d.v + d.w.Cross(f->getDyn().position - d.position)) * f->getMass();
}

}  // namespace physicsscenes
