// Leaf tests, leaf contact builders, contact-set filters and node box tests of the
// triangle-mesh tree queries.
#include <algorithm>
#include <cmath>

#include "engine/collision/collisionPair.h"
#include "engine/collision/convex/pkJump.h"
#include "engine/collision/triMeshQueries.h"
#include "geometry/bounds/boundingVolumes.h"
#include "geometry/bounds/boxFit.h"
#include "geometry/mesh/bvMesh.h"
#include "geometry/query/capsuleProximity.h"
#include "geometry/mesh/meshRecords.h"
#include "geometry/query/proximity.h"
#include "geometry/query/triangleTests.h"

using Qmt::QmtVector3;

namespace {

constexpr std::uint32_t kMaxContacts = PK_MAX_CONTACTS;
constexpr std::uint32_t kReducedContacts = 6;
constexpr std::uint32_t kNoFeature = 0xFFFFFFFFu;
constexpr double kEps = 1e-5;
constexpr double kParallel = 0.99999;
// Coplanar facing triangles are tested with this margin (a single-precision value).
constexpr double kFacingMargin = static_cast<double>(0.01f);

// Triangle i of a world mesh: its first three corners and its world normal.
struct Triangle {
    QmtVector3 v[3];
    QmtVector3 n;
};

Triangle triangleOf(const ZYLmesh& mesh, std::uint32_t i) {
    const ZYLface& f = mesh.faces[i];
    return {{mesh.worldVertices[f.vertices[0]], mesh.worldVertices[f.vertices[1]],
             mesh.worldVertices[f.vertices[2]]},
            mesh.worldNormals[i]};
}

// Makes room for a batch of m: the set so far is cut to six when it would fill the
// arrays.
void makeRoom(TreeContacts& out, std::uint32_t m) {
    if (out.count + m >= kMaxContacts && out.count > kReducedContacts) {
        reduceContactsToSix(out);
    }
}

void append(TreeContacts& out, const QmtVector3& point, const QmtVector3& normal, double depth,
            std::uint32_t featureA, std::uint32_t featureB) {
    const std::uint32_t k = out.count++;
    out.points[k] = point;
    out.normals[k] = normal;
    out.depths[k] = depth;
    out.features[k].featureA = featureA;
    out.features[k].featureB = featureB;
}

// Removes the marked contacts, keeping the order of the rest.
void compact(TreeContacts& out, const bool* marked) {
    std::uint32_t kept = 0;
    for (std::uint32_t i = 0; i < out.count; ++i) {
        if (marked[i]) {
            continue;
        }
        if (kept != i) {
            out.points[kept] = out.points[i];
            out.normals[kept] = out.normals[i];
            out.depths[kept] = out.depths[i];
            out.features[kept].featureA = out.features[i].featureA;
            out.features[kept].featureB = out.features[i].featureB;
        }
        ++kept;
    }
    out.count = kept;
}

// The pairwise walk of the first two filters: for each unmarked i, the later unmarked
// j that `clash` pairs with it; `dropEarlier(i, j)` says whether i goes (and the scan
// of i ends) or j does (and the scan goes on).
template <class Clash, class DropEarlier>
void dropClashing(TreeContacts& out, Clash clash, DropEarlier dropEarlier) {
    bool marked[kMaxContacts] = {};
    for (std::uint32_t i = 0; i < out.count; ++i) {
        if (marked[i]) {
            continue;
        }
        for (std::uint32_t j = i + 1; j < out.count; ++j) {
            if (marked[j] || !clash(i, j)) {
                continue;
            }
            if (dropEarlier(i, j)) {
                marked[i] = true;
                break;
            }
            marked[j] = true;
        }
    }
    compact(out, marked);
}

// Calls visit(fan triangle) for each fan triangle of the hull's faces the leaf
// triangle may meet: faces turned the triangle's way are skipped when skipFacing, the
// first face the triangle lies wholly above ends the scan, and two-corner faces have
// no fan. visit answers whether to stop.
template <class Visit>
bool forHullFans(const Triangle& t, const ZYLmesh& hull, bool skipFacing, Visit visit) {
    static constexpr std::uint32_t three = 3;
    for (std::uint32_t f = 0; f < hull.numFaces; ++f) {
        const ZYLface& face = hull.faces[f];
        const QmtVector3& nf = hull.worldNormals[f];
        if (skipFacing && t.n.Dot(nf) > kEps) {
            continue;
        }
        if (allPointsAbovePlane(t.v, &three, hull.worldVertices[face.vertices[0]], nf)) {
            return false;
        }
        if (face.numVertices == 2) {
            continue;
        }
        for (std::uint32_t k = 0; k + 2 < face.numVertices; ++k) {
            const QmtVector3 fan[3] = {hull.worldVertices[face.vertices[0]], hull.worldVertices[face.vertices[k + 1]],
                                       hull.worldVertices[face.vertices[k + 2]]};
            if (visit(f, fan, nf)) {
                return true;
            }
        }
    }
    return false;
}

const ZYLmesh* hullMesh(const BVmesh& hull) {
    const ZYLmesh* m = hull.mesh;
    return m && m->faces && m->worldVertices && m->worldNormals ? m : nullptr;
}

}  // namespace

// ------------------------------------------------------------------ node tests

bool nodeBoxesOverlap(const BVbox& a, const BVbox& b) {
    return a.getBox() && b.getBox() && orientedBoxesOverlap(*a.getBox(), *b.getBox());
}

bool nodeBoxCrossesPlane(const BVbox& box, const QmtVector3& p, const QmtVector3& n) {
    return box.getBox() && orientedBoxCrossesPlane(*box.getBox(), p, n);
}

bool nodeBoxOverlapsCapsule(const BVbox& box, const BCapsule& capsule) {
    const Pk_jump* const solver = getPkJumpInstance();
    if (!solver) {
        return true;
    }
    ProximityCache cache;
    return solver->testCapsuleBox(box, *capsule.capsule, cache) != 0;
}

bool capsuleBodyOverlapsTriangle(const BCapsule& capsule, const QmtVector3* triangle, const QmtVector3& normal) {
    return capsuleOverlapsTriangle(*capsule.capsule, triangle, normal);
}

// ------------------------------------------------------------------ leaf tests

bool leafBelowPlane(const BinaryTreeNode& leaf, const ZYLmesh& mesh, const QmtVector3& p, const QmtVector3& n) {
    for (std::uint32_t i = 0; i < leaf.faceCount; ++i) {
        const ZYLface& f = mesh.faces[leaf.faceIndices[i]];
        for (std::uint32_t k = 0; k < 3; ++k) {
            if (isPointBelowPlane(n, p, mesh.worldVertices[f.vertices[k]])) {
                return true;
            }
        }
    }
    return false;
}

bool leafOverlapsCapsule(const BinaryTreeNode& leaf, const ZYLmesh& mesh, const BCapsule& capsule) {
    for (std::uint32_t i = 0; i < leaf.faceCount; ++i) {
        const Triangle t = triangleOf(mesh, leaf.faceIndices[i]);
        if (capsuleBodyOverlapsTriangle(capsule, t.v, t.n)) {
            return true;
        }
    }
    return false;
}

bool leafIntersectsHull(const BinaryTreeNode& leaf, const ZYLmesh& mesh, const BVmesh& hull) {
    const ZYLmesh* const h = hullMesh(hull);
    if (!h) {
        return false;
    }
    for (std::uint32_t i = 0; i < leaf.faceCount; ++i) {
        const Triangle t = triangleOf(mesh, leaf.faceIndices[i]);
        const bool hit = forHullFans(t, *h, true, [&](std::uint32_t, const QmtVector3* fan, const QmtVector3& nf) {
            return trianglesIntersect(t.v, t.n, fan, nf);
        });
        if (hit) {
            return true;
        }
    }
    return false;
}

bool leavesIntersect(const BinaryTreeNode& a, const ZYLmesh& meshA, const BinaryTreeNode& b, const ZYLmesh& meshB) {
    for (std::uint32_t i = 0; i < a.faceCount; ++i) {
        const Triangle ta = triangleOf(meshA, a.faceIndices[i]);
        for (std::uint32_t j = 0; j < b.faceCount; ++j) {
            const Triangle tb = triangleOf(meshB, b.faceIndices[j]);
            if (trianglesIntersect(ta.v, ta.n, tb.v, tb.n)) {
                return true;
            }
        }
    }
    return false;
}

// ------------------------------------------------------------------ leaf builders

bool leafPlaneContacts(const BinaryTreeNode& leaf, const ZYLmesh& mesh, const QmtVector3& p, const QmtVector3& n,
                       TreeContacts& out) {
    for (std::uint32_t i = 0; i < leaf.faceCount; ++i) {
        const std::uint32_t tri = leaf.faceIndices[i];
        const ZYLface& f = mesh.faces[tri];
        QmtVector3 below[3];
        std::uint32_t m = 0;
        for (std::uint32_t k = 0; k < 3; ++k) {
            const QmtVector3& w = mesh.worldVertices[f.vertices[k]];
            if (isPointBelowPlane(n, p, w)) {
                below[m++] = w;
            }
        }
        if (m == 0) {
            continue;
        }
        makeRoom(out, m);
        for (std::uint32_t k = 0; k < m; ++k) {
            append(out, below[k], n, (below[k] - p).Dot(n), tri, kNoFeature);
        }
    }
    return out.count > 0;
}

bool leafCapsuleContacts(const BinaryTreeNode& leaf, const ZYLmesh& mesh, const BCapsule& capsule,
                         TreeContacts& out) {
    for (std::uint32_t i = 0; i < leaf.faceCount; ++i) {
        const std::uint32_t tri = leaf.faceIndices[i];
        const Triangle t = triangleOf(mesh, tri);
        if (!capsuleBodyOverlapsTriangle(capsule, t.v, t.n)) {
            continue;
        }
        QmtVector3 points[2];
        QmtVector3 nc;
        std::uint32_t m = 0;
        double d = 0.0;
        capsuleTriangleContact(*capsule.capsule, t.v, t.n, points, nc, m, d);
        makeRoom(out, m);
        for (std::uint32_t k = 0; k < m && k < 2; ++k) {
            append(out, points[k] + nc * d, -nc, d, tri, kNoFeature);
        }
    }
    return out.count > 0;
}

bool leafHullContacts(const BinaryTreeNode& leaf, const ZYLmesh& mesh, const BVmesh& hull, TreeContacts& out) {
    const ZYLmesh* const h = hullMesh(hull);
    if (!h) {
        return out.count > 0;
    }
    for (std::uint32_t i = 0; i < leaf.faceCount; ++i) {
        const std::uint32_t tri = leaf.faceIndices[i];
        const Triangle t = triangleOf(mesh, tri);
        forHullFans(t, *h, false, [&](std::uint32_t f, const QmtVector3* fan, const QmtVector3& nf) {
            if (!trianglesIntersect(t.v, t.n, fan, nf)) {
                return false;
            }
            QmtVector3 points[TRIANGLE_OVERLAP_MAX_POINTS];
            QmtVector3 normal;
            std::uint32_t m = 0;
            double depth = 0.0;
            if (!triangleContactSet(t.v, t.n, fan, nf, points, normal, m, depth) || m == 0) {
                return false;
            }
            std::uint32_t picked[TRIANGLE_OVERLAP_MAX_POINTS];
            std::uint32_t kept = m;
            for (std::uint32_t k = 0; k < m; ++k) {
                picked[k] = k;
            }
            if (out.count + m >= kMaxContacts) {
                makeRoom(out, m);
                kept = kReducedContacts;
                selectExtremePoints(points, m, picked, kept);
            }
            for (std::uint32_t k = 0; k < kept; ++k) {
                append(out, points[picked[k]], normal, depth, tri, f);
            }
            return false;
        });
    }
    return out.count > 0;
}

// A corner counts when it lies below a triangle's plane and over the triangle while the
// hull's centre lies in front of that plane, so the back of a closed mesh gives none.
void gatherHullCorners(const BinaryTreeNode& leaf, const ZYLmesh& mesh, const BVmesh& hull, HullCorners& corners) {
    const ZYLmesh* const h = hullMesh(hull);
    if (!h) {
        return;
    }
    for (std::uint32_t i = 0; i < leaf.faceCount; ++i) {
        const std::uint32_t tri = leaf.faceIndices[i];
        const Triangle t = triangleOf(mesh, tri);
        if (!((h->worldCentre - t.v[0]).Dot(t.n) > kEps)) {
            continue;
        }
        for (std::uint32_t v = 0; v < h->numVertices; ++v) {
            const QmtVector3& w = h->worldVertices[v];
            const double depth = (w - t.v[0]).Dot(t.n);
            std::int32_t edge = -1;
            if (!(depth < -kEps) || !locatePointInTriangle(w, t.v, t.n, edge)) {
                continue;
            }
            const std::uint32_t* const begin = corners.vertex;
            const std::uint32_t* const end = begin + corners.count;
            if (std::find(begin, end, v) != end) {
                continue;
            }
            if (corners.count == HullCorners::CAPACITY) {
                return;
            }
            const std::uint32_t k = corners.count++;
            corners.vertex[k] = v;
            corners.triangle[k] = tri;
            corners.depth[k] = depth;
            corners.normal[k] = -t.n;
        }
    }
}

void appendHullCorners(const BVmesh& hull, TreeContacts& out) {
    const ZYLmesh* const h = hullMesh(hull);
    if (!h || !out.corners) {
        return;
    }
    const HullCorners& corners = *out.corners;
    for (std::uint32_t k = 0; k < corners.count; ++k) {
        makeRoom(out, 1);
        if (out.count >= kMaxContacts) {
            return;
        }
        // On the triangle's plane, as the crossings give their points: the corner lies
        // the depth below it.
        const double depth = corners.depth[k];
        append(out, h->worldVertices[corners.vertex[k]] + corners.normal[k] * depth, corners.normal[k], depth,
               corners.triangle[k], kNoFeature);
    }
}

bool leafLeafContacts(const BinaryTreeNode& a, const ZYLmesh& meshA, const BinaryTreeNode& b, const ZYLmesh& meshB,
                      TreeContacts& out) {
    for (std::uint32_t i = 0; i < a.faceCount; ++i) {
        const std::uint32_t triA = a.faceIndices[i];
        const Triangle ta = triangleOf(meshA, triA);
        for (std::uint32_t j = 0; j < b.faceCount; ++j) {
            const std::uint32_t triB = b.faceIndices[j];
            const Triangle tb = triangleOf(meshB, triB);
            if (ta.n.Dot(tb.n) > kParallel) {
                continue;  // turned the same way: they cannot push each other apart
            }
            bool hit;
            if (-tb.n.Dot(ta.n) > kParallel) {
                // Facing each other: only when each lies on or behind the other's plane,
                // and then with a margin so resting faces keep touching.
                hit = (tb.v[0] - ta.v[0]).Dot(ta.n) < kEps && (ta.v[0] - tb.v[0]).Dot(tb.n) < kEps &&
                      trianglesIntersectWithMargin(ta.v, ta.n, tb.v, tb.n, kFacingMargin);
            } else {
                hit = trianglesIntersect(ta.v, ta.n, tb.v, tb.n);
            }
            if (!hit) {
                continue;
            }
            QmtVector3 points[TRIANGLE_OVERLAP_MAX_POINTS];
            QmtVector3 normal;
            std::uint32_t m = 0;
            double depth = 0.0;
            if (!triangleContactSet(ta.v, ta.n, tb.v, tb.n, points, normal, m, depth) || m == 0) {
                continue;
            }
            makeRoom(out, m);
            if (m > kMaxContacts - out.count) {
                m = kMaxContacts - out.count;
            }
            for (std::uint32_t k = 0; k < m; ++k) {
                append(out, points[k], normal, depth, triA, triB);
            }
        }
    }
    return out.count > 0;
}

// ------------------------------------------------------------------ set filters

void dropOpposedContacts(TreeContacts& out) {
    dropClashing(
        out, [&](std::uint32_t i, std::uint32_t j) { return out.normals[i].Dot(out.normals[j]) < -kEps; },
        [&](std::uint32_t i, std::uint32_t j) { return !(out.depths[i] > out.depths[j]); });
}

void mergeCloseContacts(TreeContacts& out) {
    dropClashing(
        out, [&](std::uint32_t i, std::uint32_t j) { return (out.points[j] - out.points[i]).SquaredLength() < kEps; },
        [&](std::uint32_t i, std::uint32_t j) { return out.depths[j] > out.depths[i]; });
}

void dropContactDepthOutliers(TreeContacts& out) {
    if (out.count == 0) {
        return;
    }
    double sum = 0.0;
    double sumSq = 0.0;
    for (std::uint32_t i = 0; i < out.count; ++i) {
        sum += out.depths[i];
        sumSq += out.depths[i] * out.depths[i];
    }
    const double n = static_cast<double>(out.count);
    const double mean = sum / n;
    const double variance = sumSq / n - mean * mean;
    // Equal depths can leave the variance at 0 (or a rounding below it) while the mean
    // sits a unit off the common depth; no spread means no outlier.
    if (!(variance > 0.0)) {
        return;
    }
    const double band = 1.1 * std::sqrt(variance);
    bool marked[kMaxContacts] = {};
    for (std::uint32_t i = 0; i < out.count; ++i) {
        marked[i] = out.depths[i] < mean - band || out.depths[i] > mean + band;
    }
    compact(out, marked);
}

void reduceContactsToSix(TreeContacts& out) {
    if (out.count <= kReducedContacts) {
        return;
    }
    std::uint32_t picked[kReducedContacts];
    std::uint32_t k = kReducedContacts;
    selectExtremePoints(out.points, out.count, picked, k);
    bool marked[kMaxContacts];
    for (std::uint32_t i = 0; i < out.count; ++i) {
        marked[i] = true;
    }
    for (std::uint32_t i = 0; i < k; ++i) {
        marked[picked[i]] = false;
    }
    compact(out, marked);
}
