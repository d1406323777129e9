// Triangle-mesh trees: the build over 1k, 10k and 100k triangles, and the contact
// queries of a resting pair (a cube hull and a triangle-mesh cube on a 20k-triangle
// terrain, a triangle-mesh cube on a plane), each with the first-hit search from the
// pair's cached leaf and from the root; and the hull-sphere contact query.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <array>
#include <memory>

#include "engine/bodies/triMeshBody.h"
#include "engine/bodies/triMeshTree.h"
#include "engine/collision/collisionPair.h"
#include "engine/collision/convex/pkJump.h"
#include "engine/collision/triMeshQueries.h"
#include "engine/world/engineApi.h"
#include "geometry/mesh/bvMesh.h"
#include "geometry/mesh/meshPlacement.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

// A gently rolling terrain of n x n quads (2 n^2 triangles) over [-n/2, n/2]^2 at
// y = height(x, z) <= 0, every triangle facing up.
std::unique_ptr<ZYLmesh> terrain(std::uint32_t n, double cell) {
    auto mesh = std::make_unique<ZYLmesh>();
    const std::uint32_t side = n + 1;
    mesh->numVertices = side * side;
    mesh->vertices = new QmtVector3[mesh->numVertices];
    mesh->numFaces = 2 * n * n;
    mesh->faces = new ZYLface[mesh->numFaces];
    mesh->normals = new QmtVector3[mesh->numFaces];
    const double h = 0.5 * n * cell;
    for (std::uint32_t i = 0; i < side; ++i) {
        for (std::uint32_t j = 0; j < side; ++j) {
            const double x = i * cell - h, z = j * cell - h;
            const double y = 0.05 * (std::sin(0.7 * x) * std::cos(0.5 * z) - 1.0) * (x * x + z * z > 4.0 ? 1.0 : 0.0);
            mesh->vertices[i * side + j] = QmtVector3(x, y, z);
        }
    }
    std::uint32_t f = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        for (std::uint32_t j = 0; j < n; ++j) {
            const std::uint32_t a = i * side + j, b = a + side, c = b + 1, d = a + 1;
            for (const auto& t : {std::array<std::uint32_t, 3>{a, d, c}, std::array<std::uint32_t, 3>{a, c, b}}) {
                ZYLface& face = mesh->faces[f];
                face.numVertices = 3;
                for (int k = 0; k < 3; ++k) {
                    face.vertices[k] = t[k];
                }
                QmtVector3 nn = (mesh->vertices[t[1]] - mesh->vertices[t[0]]).Cross(mesh->vertices[t[2]] - mesh->vertices[t[0]]);
                nn.Unitize(1e-12);
                mesh->normals[f++] = nn;
            }
        }
    }
    return mesh;
}

// The unit cube with bottom at y = bottom, off the terrain's grid lines (its six quads
// become 12 triangles in a triangle-mesh body).
std::unique_ptr<ZYLmesh> cubeMesh(double bottom) {
    auto mesh = std::make_unique<ZYLmesh>();
    ZYLbox box{{0.1, bottom + 0.5, 0.07}, QmtMatrix3::IDENTITY, {0.5, 0.5, 0.5}};
    buildBoxMesh(box, mesh.get());
    // The box builder leaves the bounding sphere to its caller.
    mesh->centre = mesh->worldCentre = box.centre;
    mesh->radius = mesh->worldRadius = box.halfExtents.Length();
    return mesh;
}

std::unique_ptr<TriMeshBody> placed(const ZYLmesh& mesh, const QmtVector3& P) {
    std::unique_ptr<TriMeshBody> body(static_cast<TriMeshBody*>(createTriMeshBody(&mesh)));
    body->setPosition(P);
    body->init(P, QmtMatrix3::IDENTITY, {1.0, 1.0, 1.0});
    body->updateWorldState();
    return body;
}

struct Arrays {
    QmtVector3 points[24], normals[24];
    double depths[24];
    ContactFeature features[24];
    std::uint32_t count = 0;
};

void BM_TreeBuild(benchmark::State& state) {
    const auto n = static_cast<std::uint32_t>(std::sqrt(state.range(0) / 2.0));
    const auto mesh = terrain(n, 1.0);
    for (auto _ : state) {
        Binary_Tree<BVbox> tree;
        benchmark::DoNotOptimize(buildTriMeshTree(tree, *mesh));
    }
    state.SetItemsProcessed(state.iterations() * mesh->numFaces);
    state.counters["triangles"] = mesh->numFaces;
}
BENCHMARK(BM_TreeBuild)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// A terrain of 20k triangles and the shapes resting on it, sunk 0.01.
struct RestingScene {
    std::unique_ptr<ZYLmesh> ground = terrain(100, 0.25);
    std::unique_ptr<TriMeshBody> terrainBody = placed(*ground, {0.0, 0.0, 0.0});
    std::unique_ptr<ZYLmesh> hullMesh = cubeMesh(-0.01);
    BVmesh hull;
    std::unique_ptr<ZYLmesh> cube = cubeMesh(-0.01);
    std::unique_ptr<TriMeshBody> cubeBody = placed(*cube, {0.1, 0.49, 0.07});
    Pk_jump solver;

    RestingScene() {
        hull.init(hullMesh.get(), BVMESH_EDGES | BVMESH_VERTICES);
        setPkJumpInstance(&solver);
    }
    ~RestingScene() { setPkJumpInstance(nullptr); }
};

void BM_HullTreeContacts(benchmark::State& state) {
    RestingScene s;
    const bool cached = state.range(0) != 0;
    BinaryTreeNode* leaf = nullptr;
    Arrays a;
    for (auto _ : state) {
        if (!cached) {
            leaf = nullptr;
        }
        const bool hit = treeHullFirstHit(*s.terrainBody->tree, *s.terrainBody->bound, s.hull, leaf, 0);
        benchmark::DoNotOptimize(hit && hullTreeContacts(*s.terrainBody->tree, *s.terrainBody->bound, s.hull,
                                                         a.points, a.normals, a.depths, a.features, a.count, 0));
    }
    state.counters["contacts"] = a.count;
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HullTreeContacts)->ArgName("cachedLeaf")->Arg(0)->Arg(1);

void BM_TreeTreeContacts(benchmark::State& state) {
    RestingScene s;
    const bool cached = state.range(0) != 0;
    BinaryTreeNode* leafA = nullptr;
    BinaryTreeNode* leafB = nullptr;
    Arrays a;
    const TriMeshBody& c = *s.cubeBody;
    const TriMeshBody& t = *s.terrainBody;
    for (auto _ : state) {
        if (!cached) {
            leafA = leafB = nullptr;
        }
        const bool hit = treeTreeFirstHit(*c.tree, *c.bound, *t.bound, *t.tree, leafA, leafB, 0);
        benchmark::DoNotOptimize(hit && treeTreeContacts(*c.tree, *c.bound, *t.bound, *t.tree, a.points, a.normals,
                                                         a.depths, a.features, a.count, 0));
    }
    state.counters["contacts"] = a.count;
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TreeTreeContacts)->ArgName("cachedLeaf")->Arg(0)->Arg(1);

void BM_TreePlaneContacts(benchmark::State& state) {
    RestingScene s;
    const bool cached = state.range(0) != 0;
    BinaryTreeNode* leaf = nullptr;
    Arrays a;
    const TriMeshBody& c = *s.cubeBody;
    const QmtVector3 p(0.0, 0.0, 0.0), n(0.0, 1.0, 0.0);
    for (auto _ : state) {
        bool hit = cached && leaf && nodePlaneFirstHit(leaf, *c.bound, p, n, leaf, 0);
        hit = hit || nodePlaneFirstHit(c.tree->root, *c.bound, p, n, leaf, 0);
        benchmark::DoNotOptimize(hit && treePlaneContacts(*c.tree, *c.bound, p, n, a.points, a.normals, a.depths,
                                                          a.features, a.count, 0));
    }
    state.counters["contacts"] = a.count;
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TreePlaneContacts)->ArgName("cachedLeaf")->Arg(0)->Arg(1);

void BM_ContactHullSphere(benchmark::State& state) {
    const Pk_jump solver;
    auto mesh = cubeMesh(-0.5);
    BVmesh hull;
    hull.init(mesh.get(), BVMESH_EDGES | BVMESH_VERTICES);
    const bool cached = state.range(0) != 0;
    ProximityCache cache;
    Arrays a;
    std::uint32_t feature = 0;
    for (auto _ : state) {
        if (!cached) {
            cache = ProximityCache{};
        }
        benchmark::DoNotOptimize(solver.contactHullSphere(hull, {0.1, 0.7, -0.05}, 0.25, cache, a.points, a.normals,
                                                          a.count, a.depths, feature));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ContactHullSphere)->ArgName("history")->Arg(0)->Arg(1);

}  // namespace
