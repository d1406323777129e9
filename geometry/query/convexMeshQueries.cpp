#include "geometry/query/convexMeshQueries.h"

#include <algorithm>
#include <type_traits>

#include "geometry/mesh/meshPlacement.h"
#include "geometry/query/triangleTests.h"
#include "math/qmtMath.h"

using Qmt::Math;
using Qmt::QmtMatrix3;
using Qmt::QmtVector3;
using Qmt::Quaternion;

namespace {

constexpr double kTolerance = 1e-5;
// Start of a minimum search: the largest single-precision value.
constexpr double kNoDistance = 3.4028234663852886e38;

// The face planes of one space of a mesh: faces, the vertex array their first corners
// index and one normal per face.
template <class Face>
struct FacePlanes {
    const Face* faces = nullptr;
    std::uint32_t numFaces = 0;
    const QmtVector3* vertices = nullptr;
    std::uint32_t numVertices = 0;
    const QmtVector3* normals = nullptr;

    FacePlanes(const Face* f, std::uint32_t nf, const QmtVector3* v, std::uint32_t nv,
               const QmtVector3* n)
        : faces(f), numFaces(nf), vertices(v), numVertices(nv), normals(n) {
        if (!faces || !vertices || !normals) {
            // Missing arrays: the faces still count, but none of them has a plane.
            this->numVertices = 0;
        }
    }

    // The face's first vertex, or null when the face defines no plane.
    const QmtVector3* origin(std::uint32_t f) const {
        if (numVertices == 0) {
            return nullptr;
        }
        const Face& face = faces[f];
        if constexpr (std::is_same_v<Face, ZYL_DFface>) {
            if (face.numVertices == 0 || !face.vertices) {
                return nullptr;
            }
        }
        const std::uint32_t index = face.vertices[0];
        return index < numVertices ? vertices + index : nullptr;
    }
};

FacePlanes<ZYLface> localPlanes(const ZYLmesh& mesh) {
    return {mesh.faces, mesh.numFaces, mesh.vertices, mesh.numVertices, mesh.normals};
}

template <class Mesh>
auto worldPlanes(const Mesh& mesh) {
    using Face = std::remove_pointer_t<decltype(mesh.faces)>;
    return FacePlanes<Face>(mesh.faces, mesh.numFaces, mesh.worldVertices, mesh.numVertices,
                            mesh.worldNormals);
}

// (R^T (p - T)) / S, component by component.
QmtVector3 toLocal(const ZYLmesh& mesh, const QmtVector3& p) {
    const QmtVector3 r = (p - mesh.translation) * mesh.rotation;
    return {r.x / mesh.scale.x, r.y / mesh.scale.y, r.z / mesh.scale.z};
}

// R (S o p) + T.
QmtVector3 toWorld(const ZYLmesh& mesh, const QmtVector3& p) {
    const QmtVector3 scaled{mesh.scale.x * p.x, mesh.scale.y * p.y, mesh.scale.z * p.z};
    return mesh.rotation * scaled + mesh.translation;
}

template <class Mesh>
bool allPointsInside(const Mesh* mesh, const QmtVector3* points, int count) {
    if (!mesh) {
        return false;
    }
    const auto planes = worldPlanes(*mesh);
    for (std::uint32_t f = 0; f < planes.numFaces; ++f) {
        const QmtVector3* q = planes.origin(f);
        if (!q) {
            return false;
        }
        const QmtVector3& n = planes.normals[f];
        for (int i = 0; i < count; ++i) {
            if (n.Dot(points[i] - *q) > -kTolerance) {
                return false;
            }
        }
    }
    return true;
}

template <class Mesh>
int classifyVertices(const Mesh* mesh, const QmtVector3& normal, const QmtVector3& point) {
    if (!mesh || !mesh->worldVertices || mesh->numVertices == 0) {
        return 1;
    }
    QmtVector3 n = normal;
    const double lengthSq = n.SquaredLength();
    if (!(lengthSq >= 0.99999 && lengthSq <= 1.00001)) {
        n.Unitize(QmtMatrix3::EPSILON);
    }
    bool above = false;
    bool below = false;
    for (std::uint32_t i = 0; i < mesh->numVertices; ++i) {
        const double d = n.Dot(mesh->worldVertices[i] - point);
        if (d >= kTolerance) {
            above = true;
        } else if (d <= -kTolerance) {
            below = true;
        }
    }
    if (!below) {
        return 1;
    }
    return above ? 0 : -1;
}

// The first three world corners of a face, or false when it has fewer than three or
// one lies out of range.
bool faceTriangle(const ZYLmesh& mesh, std::uint32_t f, QmtVector3 tri[3]) {
    const ZYLface& face = mesh.faces[f];
    if (face.numVertices < 3) {
        return false;
    }
    for (std::uint32_t k = 0; k < 3; ++k) {
        const std::uint32_t index = face.vertices[k];
        if (index >= mesh.numVertices) {
            return false;
        }
        tri[k] = mesh.worldVertices[index];
    }
    return true;
}

// One standard normal pair by the polar method.
void normalPair(double& first, double& second) {
    double u = 0.0;
    double v = 0.0;
    double s = 0.0;
    do {
        u = Math::SymmetricRandom(0);
        v = Math::SymmetricRandom(0);
        s = u * u + v * v;
    } while (!(s < 1.0));
    const double f = Math::Sqrt(-2.0 * Math::Log(s) / s);
    first = u * f;
    second = v * f;
}

void clampComponent(double& p, double a, double b, double margin) {
    const double lo = std::min(a, b);
    const double hi = std::max(a, b);
    if (lo - margin > p) {
        p = lo;
    } else if (p > hi + margin) {
        p = hi;
    }
}

}  // namespace

bool pointInConvexMesh(const QmtVector3& p, const ZYLmesh* mesh, double tol) {
    if (!mesh) {
        return false;
    }
    const auto planes = localPlanes(*mesh);
    if (planes.numFaces == 0) {
        return true;
    }
    const QmtVector3 local = toLocal(*mesh, p);
    for (std::uint32_t f = 0; f < planes.numFaces; ++f) {
        const QmtVector3* q = planes.origin(f);
        if (!q || planes.normals[f].Dot(local - *q) > tol) {
            return false;
        }
    }
    return true;
}

bool segmentMayTouchConvexMesh(const QmtVector3& p, const QmtVector3& q, const ZYLmesh* mesh) {
    if (!mesh) {
        return false;
    }
    const auto planes = localPlanes(*mesh);
    const QmtVector3 lp = toLocal(*mesh, p);
    const QmtVector3 lq = toLocal(*mesh, q);
    for (std::uint32_t f = 0; f < planes.numFaces; ++f) {
        const QmtVector3* origin = planes.origin(f);
        if (!origin) {
            continue;
        }
        const QmtVector3& n = planes.normals[f];
        if (n.Dot(lp - *origin) > kTolerance && n.Dot(lq - *origin) > kTolerance) {
            return false;
        }
    }
    return true;
}

void pushPointInsideConvexMesh(const ZYLmesh* mesh, QmtVector3& p, double margin,
                               bool nearestFaceOnly) {
    if (!mesh) {
        return;
    }
    const auto planes = localPlanes(*mesh);
    const std::uint32_t faceCount = planes.numFaces;
    if (nearestFaceOnly && faceCount == 0) {
        return;
    }
    QmtVector3 local = toLocal(*mesh, p);
    const double k = 1.0 + margin;
    bool moved = false;

    if (nearestFaceOnly) {
        double best = kNoDistance;
        double bestDistance = 0.0;
        std::uint32_t bestFace = faceCount;
        for (std::uint32_t f = 0; f < faceCount; ++f) {
            const QmtVector3* q = planes.origin(f);
            if (!q) {
                continue;
            }
            const double d = planes.normals[f].Dot(local - *q);
            if (Math::FAbs(d) < best) {
                best = Math::FAbs(d);
                bestDistance = d;
                bestFace = f;
            }
        }
        if (bestFace < faceCount) {
            local = local - planes.normals[bestFace] * (k * bestDistance);
            moved = true;
        }
    } else {
        // The one draw the callers' random sequences count on, made even for a mesh
        // without faces.
        const double draw = Math::UnitRandom(0);
        const auto start = static_cast<std::uint32_t>(faceCount * draw);
        for (std::uint32_t step = 0; step < faceCount; ++step) {
            std::uint32_t f = start + step;
            if (f >= faceCount) {
                f -= faceCount;
            }
            const QmtVector3* q = planes.origin(f);
            if (!q) {
                continue;
            }
            const double d = planes.normals[f].Dot(local - *q);
            if (d > kTolerance) {
                local = local - planes.normals[f] * (k * d);
                moved = true;
            }
        }
    }
    if (moved) {
        p = toWorld(*mesh, local);
    }
}

bool pointsInsideConvexMesh(const ZYLmesh* mesh, const QmtVector3* points, int count) {
    return allPointsInside(mesh, points, count);
}

bool pointsInsideConvexMesh(const ZYL_DFmesh* mesh, const QmtVector3* points, int count) {
    return allPointsInside(mesh, points, count);
}

int classifyMeshAgainstPlane(const ZYLmesh* mesh, const QmtVector3& normal,
                             const QmtVector3& point) {
    return classifyVertices(mesh, normal, point);
}

int classifyMeshAgainstPlane(const ZYL_DFmesh* mesh, const QmtVector3& normal,
                             const QmtVector3& point) {
    return classifyVertices(mesh, normal, point);
}

bool convexMeshesIntersect(const ZYLmesh* a, const ZYLmesh* b) {
    if (!a || !b || !a->faces || !b->faces || !a->worldVertices || !b->worldVertices ||
        !a->worldNormals || !b->worldNormals) {
        return false;
    }
    QmtVector3 triA[3];
    QmtVector3 triB[3];
    for (std::uint32_t fb = 0; fb < b->numFaces; ++fb) {
        if (!faceTriangle(*b, fb, triB)) {
            continue;
        }
        const QmtVector3& nb = b->worldNormals[fb];
        for (std::uint32_t fa = 0; fa < a->numFaces; ++fa) {
            const QmtVector3& na = a->worldNormals[fa];
            if (nb.Dot(na) > kTolerance || !faceTriangle(*a, fa, triA)) {
                continue;
            }
            if (trianglesIntersect(triA, na, triB, nb)) {
                return true;
            }
        }
    }
    return false;
}

bool pointInConvexPolygon(const QmtVector3& p, const QmtVector3* loop, std::uint32_t n,
                          const QmtVector3& normal) {
    if (n < 3 || !loop) {
        return false;
    }
    // c must point away from the polygon; the first edge fixes the sense of the normal.
    QmtVector3 axis = normal;
    QmtVector3 c = axis.Cross(loop[1] - loop[0]);
    c.Unitize(QmtMatrix3::EPSILON);
    if (c.Dot(loop[2] - loop[0]) > kTolerance) {
        axis = -axis;
        c = -c;
    }
    if (c.Dot(p - loop[0]) > kTolerance) {
        return false;
    }
    for (std::uint32_t i = 1; i < n; ++i) {
        const QmtVector3& from = loop[i];
        const QmtVector3& to = loop[i + 1 < n ? i + 1 : 0];
        c = axis.Cross(to - from);
        c.Unitize(QmtMatrix3::EPSILON);
        if (c.Dot(p - from) > kTolerance) {
            return false;
        }
    }
    return true;
}

void gaussianPointInBox(const QmtVector3& centre, const QmtVector3& spread, const QmtMatrix3& frame,
                        QmtVector3 out[2]) {
    double a1 = 0.0, a2 = 0.0, b1 = 0.0, b2 = 0.0, c1 = 0.0, c2 = 0.0;
    normalPair(a1, a2);
    normalPair(b1, b2);
    normalPair(c1, c2);
    const QmtVector3 g[2] = {{a1, b1, c1}, {a2, b2, c2}};
    for (int k = 0; k < 2; ++k) {
        const QmtVector3 r = frame * g[k];
        out[k] = centre + QmtVector3{spread.x * r.x, spread.y * r.y, spread.z * r.z};
    }
}

void clampPointToOrientedBox(const ZYLbox& box, QmtVector3& p) {
    ZYLmesh mesh;
    buildBoxMesh(box, &mesh);
    pushPointInsideConvexMesh(&mesh, p, kTolerance, false);
}

void clampPointToBox(QmtVector3& result, QmtVector3& p, const QmtVector3& a, const QmtVector3& b,
                     double margin) {
    clampComponent(p.x, a.x, b.x, margin);
    clampComponent(p.y, a.y, b.y, margin);
    clampComponent(p.z, a.z, b.z, margin);
    result = p;
}

void clampPointToBounds(Quaternion& result, Quaternion& value, const Quaternion& a,
                        const Quaternion& b, double margin) {
    double c[4] = {value.W(), value.X(), value.Y(), value.Z()};
    for (int i = 0; i < 4; ++i) {
        clampComponent(c[i], a[i], b[i], margin);
    }
    value = Quaternion(c[0], c[1], c[2], c[3]);
    result = value;
}

bool isDegenerateEdge(const std::uint32_t edge[2], const QmtVector3* vertices) {
    if (edge[0] == edge[1]) {
        return true;
    }
    return (vertices[edge[1]] - vertices[edge[0]]).SquaredLength() < kTolerance;
}
