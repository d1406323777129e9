#include "geometry/mesh/meshPlacement.h"

#include <algorithm>
#include <new>
#include <vector>

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

// 0.577 in single precision, kept as a double: the world radius factor.
constexpr double RADIUS_FACTOR = 0.5770000219345093;
// A box face whose normal points towards the centre by more than this is reversed.
constexpr double INWARD_TOLERANCE = 1e-5;
// A vertex lies outside a convex face plane beyond this distance.
constexpr double OUTSIDE_TOLERANCE = 0.0001;

QmtVector3 mul(const QmtVector3& a, const QmtVector3& b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
QmtVector3 div(const QmtVector3& a, const QmtVector3& b) { return {a.x / b.x, a.y / b.y, a.z / b.z}; }

// Derives the mesh's world vertices, world normals, world centre and radius from its
// local data and stores the placement. placePoint(T, R, S, p) gives a world point and
// placeNormal(R, S, n) a world normal before it is made unit length.
template <class Mesh, class PlacePoint, class PlaceNormal>
void placeMesh(Mesh* mesh, const QmtVector3& Tin, const QmtMatrix3& Rin, const QmtVector3& Sin,
               PlacePoint placePoint, PlaceNormal placeNormal) {
    if (!mesh) {
        return;
    }
    // Copies: callers may pass the mesh's own placement fields, which are rewritten
    // below, and the loops need not reload arguments the output arrays might alias.
    const QmtVector3 T = Tin;
    const QmtMatrix3 R = Rin;
    const QmtVector3 S = Sin;
    if (mesh->vertices && mesh->worldVertices) {
        const QmtVector3* local = mesh->vertices;
        QmtVector3* world = mesh->worldVertices;
        for (std::uint32_t i = 0, n = mesh->numVertices; i < n; ++i) {
            world[i] = placePoint(T, R, S, local[i]);
        }
    }
    if (mesh->normals && mesh->worldNormals) {
        const QmtVector3* local = mesh->normals;
        QmtVector3* world = mesh->worldNormals;
        for (std::uint32_t i = 0, n = mesh->numFaces; i < n; ++i) {
            QmtVector3 normal = placeNormal(R, S, local[i]);
            normal.Unitize(QmtMatrix3::EPSILON);
            world[i] = normal;
        }
    }
    mesh->worldCentre = placePoint(T, R, S, mesh->centre);
    mesh->worldRadius = S.Length() * mesh->radius * RADIUS_FACTOR;
    mesh->scale = S;
    mesh->rotation = R;
    mesh->translation = T;
}

// Scale, rotate, translate.
template <class Mesh>
void transformSRT(Mesh* mesh, const QmtVector3& T, const QmtMatrix3& R, const QmtVector3& S) {
    placeMesh(
        mesh, T, R, S,
        [](const QmtVector3& t, const QmtMatrix3& r, const QmtVector3& s, const QmtVector3& p) {
            return r * mul(s, p) + t;
        },
        [](const QmtMatrix3& r, const QmtVector3& s, const QmtVector3& n) { return r * div(n, s); });
}

// Translate, rotate, scale.
template <class Mesh>
void transformTRS(Mesh* mesh, const QmtVector3& T, const QmtMatrix3& R, const QmtVector3& S) {
    placeMesh(
        mesh, T, R, S,
        [](const QmtVector3& t, const QmtMatrix3& r, const QmtVector3& s, const QmtVector3& p) {
            return mul(s, r * (p + t));
        },
        [](const QmtMatrix3& r, const QmtVector3& s, const QmtVector3& n) { return div(r * n, s); });
}

// Makes sure both vertex arrays hold at least 8 entries (reusing them when they do)
// and sets the vertex count to 8. False when an allocation fails; the mesh then has
// no vertices.
template <class Mesh>
bool prepareBoxVertices(Mesh& mesh) {
    if (mesh.numVertices < BOX_CORNER_COUNT || !mesh.vertices || !mesh.worldVertices) {
        delete[] mesh.vertices;
        delete[] mesh.worldVertices;
        mesh.vertices = new (std::nothrow) QmtVector3[BOX_CORNER_COUNT];
        mesh.worldVertices = new (std::nothrow) QmtVector3[BOX_CORNER_COUNT];
        if (!mesh.vertices || !mesh.worldVertices) {
            delete[] mesh.vertices;
            delete[] mesh.worldVertices;
            mesh.vertices = nullptr;
            mesh.worldVertices = nullptr;
            mesh.numVertices = 0;
            return false;
        }
    }
    mesh.numVertices = BOX_CORNER_COUNT;
    return true;
}

// The same for the face array and both normal arrays, with the face count 6.
template <class Mesh, class Face>
bool prepareBoxFaces(Mesh& mesh) {
    if (mesh.numFaces < BOX_FACE_COUNT || !mesh.faces || !mesh.normals || !mesh.worldNormals) {
        delete[] mesh.faces;
        delete[] mesh.normals;
        delete[] mesh.worldNormals;
        mesh.faces = new (std::nothrow) Face[BOX_FACE_COUNT];
        mesh.normals = new (std::nothrow) QmtVector3[BOX_FACE_COUNT];
        mesh.worldNormals = new (std::nothrow) QmtVector3[BOX_FACE_COUNT];
        if (!mesh.faces || !mesh.normals || !mesh.worldNormals) {
            delete[] mesh.faces;
            delete[] mesh.normals;
            delete[] mesh.worldNormals;
            mesh.faces = nullptr;
            mesh.normals = nullptr;
            mesh.worldNormals = nullptr;
            mesh.numFaces = 0;
            return false;
        }
    }
    mesh.numFaces = BOX_FACE_COUNT;
    return true;
}

// Corner indices of a box face: the ZYLface keeps them inline; a DF face is sized
// for four corners and one UV set first.
std::uint32_t* faceIndices(ZYLface& face) { return face.vertices; }

std::uint32_t* faceIndices(ZYL_DFface& face) {
    face.allocate(4, 1);
    if (!face.vertices) {
        return nullptr;
    }
    // The new arrays carry no meaning yet; keep them deterministic.
    std::fill_n(face.normals, 4, 0u);
    std::fill_n(face.uvs, 4, 0u);
    return face.vertices;
}

// Builds the box mesh from its world corners, centre c and axes R (the local frame).
// With axisAligned the rotation and translation are left alone and local data equals
// world data relative to c.
template <class Mesh, class Face>
void buildBox(Mesh* mesh, const QmtVector3 corners[8], const QmtVector3& c,
              const QmtMatrix3& R, bool axisAligned) {
    if (!prepareBoxVertices(*mesh) || !prepareBoxFaces<Mesh, Face>(*mesh)) {
        return;
    }
    for (std::uint32_t i = 0; i < BOX_CORNER_COUNT; ++i) {
        mesh->worldVertices[i] = corners[i];
        mesh->vertices[i] = axisAligned ? corners[i] - c : (corners[i] - c) * R;
    }
    if (!axisAligned) {
        mesh->rotation = R;
        mesh->translation = c;
    }
    mesh->centre = QmtVector3::ZERO;
    mesh->worldCentre = c;

    const QmtVector3* W = mesh->worldVertices;
    for (std::uint32_t k = 0; k < BOX_FACE_COUNT; ++k) {
        const std::uint32_t* t = BOX_FACE_TABLE[k];
        QmtVector3 n = (W[t[1]] - W[t[0]]).Cross(W[t[2]] - W[t[1]]);
        n.Unitize(QmtMatrix3::EPSILON);
        const bool inward = (c - W[t[0]]).Dot(n) > INWARD_TOLERANCE;
        if (inward) {
            n = -n;
        }
        Face& face = mesh->faces[k];
        std::uint32_t* indices = faceIndices(face);
        if (indices) {
            for (std::uint32_t j = 0; j < 4; ++j) {
                indices[j] = inward ? t[3 - j] : t[j];
            }
            face.numVertices = 4;
        }
        mesh->worldNormals[k] = n;
        mesh->normals[k] = axisAligned ? n : n * R;
    }
}

ZYLbox aaBoxFrame(const ZYLAAbox& box) {
    ZYLbox frame;
    frame.centre = (box.maxCorner + box.minCorner) / 2.0;
    frame.axes = QmtMatrix3::IDENTITY;
    frame.halfExtents = (box.maxCorner - box.minCorner) / 2.0;
    return frame;
}

// The first three corners of a face; an absent index makes every match fail.
bool edgeIndex(const std::uint32_t* v, std::uint32_t a, std::uint32_t b, std::uint32_t& edge) {
    const auto joins = [a, b](std::uint32_t p, std::uint32_t q) {
        return (a == p && b == q) || (a == q && b == p);
    };
    if (joins(v[0], v[1])) {
        edge = 0;
    } else if (joins(v[1], v[2])) {
        edge = 1;
    } else if (joins(v[0], v[2])) {
        edge = 2;
    } else {
        return false;
    }
    return true;
}

}  // namespace

void meshTransformSRT(ZYLmesh* mesh, const QmtVector3& T, const QmtMatrix3& R, const QmtVector3& S) {
    transformSRT(mesh, T, R, S);
}

void meshTransformSRT(ZYL_DFmesh* mesh, const QmtVector3& T, const QmtMatrix3& R,
                      const QmtVector3& S) {
    transformSRT(mesh, T, R, S);
}

void meshTransformTRS(ZYLmesh* mesh, const QmtVector3& T, const QmtMatrix3& R, const QmtVector3& S) {
    transformTRS(mesh, T, R, S);
}

void meshTransformTRS(ZYL_DFmesh* mesh, const QmtVector3& T, const QmtMatrix3& R,
                      const QmtVector3& S) {
    transformTRS(mesh, T, R, S);
}

void computeAABoxCorners(const ZYLAAbox& box, QmtVector3 corners[8]) {
    computeBoxCorners(aaBoxFrame(box), corners);
}

void buildBoxMesh(const ZYLbox& box, ZYLmesh* mesh) {
    if (!mesh) {
        return;
    }
    QmtVector3 corners[8];
    computeBoxCorners(box, corners);
    buildBox<ZYLmesh, ZYLface>(mesh, corners, box.centre, box.axes, false);
}

void buildBoxDFmesh(const ZYLbox& box, ZYL_DFmesh* mesh) {
    if (!mesh) {
        return;
    }
    QmtVector3 corners[8];
    computeBoxCorners(box, corners);
    buildBox<ZYL_DFmesh, ZYL_DFface>(mesh, corners, box.centre, box.axes, false);
    // The auxiliary per-corner normals described the old shape.
    delete[] mesh->cornerNormals;
    mesh->cornerNormals = nullptr;
    mesh->numCornerNormals = 0;
}

void buildAABoxMesh(const ZYLAAbox& box, ZYLmesh* mesh) {
    if (!mesh) {
        return;
    }
    QmtVector3 corners[8];
    computeAABoxCorners(box, corners);
    buildBox<ZYLmesh, ZYLface>(mesh, corners, (box.minCorner + box.maxCorner) / 2.0,
                               QmtMatrix3::IDENTITY, true);
}

void buildAABoxDFmesh(const ZYLAAbox& box, ZYL_DFmesh* mesh) {
    if (!mesh) {
        return;
    }
    QmtVector3 corners[8];
    computeAABoxCorners(box, corners);
    buildBox<ZYL_DFmesh, ZYL_DFface>(mesh, corners, (box.minCorner + box.maxCorner) / 2.0,
                                     QmtMatrix3::IDENTITY, true);
}

std::uint32_t sampleMeshVertices(const ZYLmesh& mesh, std::uint32_t n, QmtVector3* out) {
    if (n == 0 || !mesh.vertices) {
        return 0;
    }
    const std::uint32_t count = mesh.numVertices;
    const std::uint32_t stride = count / n;
    if (stride == 0) {
        std::copy_n(mesh.vertices, count, out);
        return count;
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        out[i] = mesh.vertices[i * stride];
    }
    return n;
}

std::uint32_t sampleDFmeshVertices(const ZYL_DFmesh& mesh, std::uint32_t n, QmtVector3* out) {
    const std::uint32_t count = mesh.vertices ? mesh.numVertices : 0;
    n = std::min(n, count);
    if (n == 0) {
        return 0;
    }
    const QmtVector3* v = mesh.vertices;
    const std::uint32_t stride = count / n;
    if (stride >= 2) {
        for (std::uint32_t i = 0; i < n; ++i) {
            out[i] = v[i * stride];
        }
        return n;
    }
    // Evens first (count/2 of them), then odds. For an odd count asking for every
    // vertex the odds run out one short; the last (even) vertex completes the set.
    std::uint32_t written = 0;
    for (std::uint32_t i = 0; i < count / 2; ++i) {
        out[written++] = v[2 * i];
    }
    for (std::uint32_t i = 1; written < n && i < count; i += 2) {
        out[written++] = v[i];
    }
    if (written < n) {
        out[written++] = v[count - 1];
    }
    return written;
}

std::uint32_t sampleVerticesOutsideConvex(const ZYL_DFmesh& mesh, const ZYLmesh& convex,
                                          std::uint32_t n, QmtVector3* out) {
    if (n == 0 || !mesh.vertices || mesh.numVertices == 0 || !convex.faces ||
        !convex.vertices || !convex.normals) {
        return 0;
    }
    const auto outside = [&convex](const QmtVector3& p) {
        for (std::uint32_t f = 0; f < convex.numFaces; ++f) {
            const ZYLface& face = convex.faces[f];
            if (face.numVertices == 0) {
                continue;
            }
            if ((p - convex.vertices[face.vertices[0]]).Dot(convex.normals[f]) > OUTSIDE_TOLERANCE) {
                return true;
            }
        }
        return false;
    };
    std::vector<std::uint32_t> found;
    found.reserve(mesh.numVertices);
    for (std::uint32_t i = mesh.numVertices; i-- > 0;) {
        if (outside(mesh.vertices[i])) {
            found.push_back(i);
        }
    }
    const std::uint32_t count = static_cast<std::uint32_t>(found.size());
    const std::uint32_t m = std::min(count, n);
    const std::uint32_t s = std::max(count / n, 1u);
    for (std::uint32_t i = 0; i < m; ++i) {
        out[i] = mesh.vertices[found[i * s]];
    }
    return m;
}

std::uint32_t vertexIndexInTriangle(const ZYLface& face, std::uint32_t vertex) {
    for (std::uint32_t k = 0; k < 3; ++k) {
        if (face.vertices[k] == vertex) {
            return k;
        }
    }
    return NO_TRIANGLE_INDEX;
}

std::uint32_t edgeIndexInTriangle(const ZYLface& face, std::uint32_t a, std::uint32_t b) {
    std::uint32_t edge;
    return edgeIndex(face.vertices, a, b, edge) ? edge : NO_TRIANGLE_INDEX;
}

std::uint32_t edgeIndexInDFTriangle(const std::uint32_t edge[2], const ZYL_DFface& face) {
    // A face sized for fewer than three corners has no third index to read.
    if (!face.vertices || face.capacity < 3) {
        return NO_TRIANGLE_INDEX;
    }
    std::uint32_t index;
    return edgeIndex(face.vertices, edge[0], edge[1], index) ? index : NO_TRIANGLE_INDEX;
}

void triangleCentroidRadius(const QmtVector3 corners[3], QmtVector3& centroid, double& radius) {
    centroid = (corners[0] + corners[1] + corners[2]) * 0.3333333333333333;
    const double d0 = (corners[0] - centroid).SquaredLength();
    const double d1 = (corners[1] - centroid).SquaredLength();
    const double d2 = (corners[2] - centroid).SquaredLength();
    double nearest;
    if (d0 < d1 && d0 < d2) {
        nearest = d0;
    } else if (d1 < d0 && d1 < d2) {
        nearest = d1;
    } else {
        nearest = d2;
    }
    radius = std::sqrt(nearest);
}

ZYLAAbox computeAABoxOfPoints(std::uint32_t n, const QmtVector3* points) {
    ZYLAAbox box;
    if (n == 0 || !points) {
        return box;
    }
    box.minCorner = points[0];
    box.maxCorner = points[0];
    for (std::uint32_t i = 1; i < n; ++i) {
        const QmtVector3& p = points[i];
        box.minCorner.x = std::min(box.minCorner.x, p.x);
        box.minCorner.y = std::min(box.minCorner.y, p.y);
        box.minCorner.z = std::min(box.minCorner.z, p.z);
        box.maxCorner.x = std::max(box.maxCorner.x, p.x);
        box.maxCorner.y = std::max(box.maxCorner.y, p.y);
        box.maxCorner.z = std::max(box.maxCorner.z, p.z);
    }
    return box;
}
