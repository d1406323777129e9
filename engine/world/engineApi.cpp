#include "engine/world/engineApi.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <new>
#include <type_traits>

#include "engine/bodies/barrierBody.h"
#include "engine/bodies/bodyShape.h"
#include "engine/bodies/capsuleBody.h"
#include "engine/bodies/hullBody.h"
#include "engine/bodies/phantomBody.h"
#include "engine/bodies/triMeshBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/world/privateWorld.h"
#include "geometry/bounds/boxFit.h"
#include "geometry/hull/convexHull.h"
#include "geometry/hull/convexSolid.h"
#include "geometry/mesh/massProperties.h"
#include "geometry/hull/reducedHull.h"
#include "math/qmtVector3.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

// ---- Meshes and convexity tests ----------------------------------------------------

namespace {

// n zeroed vectors; null for n = 0 (and on failure: callers tell the two apart by n).
QmtVector3* zeroedVectors(std::uint32_t n) {
    return n > 0 ? new (std::nothrow) QmtVector3[n] : nullptr;
}

// Deep copies of a mesh's vector arrays, remembering whether one that exists could
// not be copied.
class ArrayCopier {
public:
    // A copy of from[0..n); null for a null source or n = 0.
    QmtVector3* operator()(const QmtVector3* from, std::uint32_t n) {
        if (!from || n == 0) {
            return nullptr;
        }
        QmtVector3* to = zeroedVectors(n);
        if (to) {
            std::copy(from, from + n, to);
        }
        failed_ = failed_ || !to;
        return to;
    }
    bool failed() const { return failed_; }

private:
    bool failed_ = false;
};

ZYLmesh* buildMesh(std::uint32_t vertexCount, std::uint32_t uvCount, std::uint32_t faceCount) {
    if (vertexCount == 0 || faceCount == 0) {
        return nullptr;
    }
    std::unique_ptr<ZYLmesh> mesh(new (std::nothrow) ZYLmesh);
    if (!mesh) {
        return nullptr;
    }
    mesh->numVertices = vertexCount;
    mesh->vertices = zeroedVectors(vertexCount);
    mesh->worldVertices = zeroedVectors(vertexCount);
    mesh->vertexVelocities = zeroedVectors(vertexCount);
    mesh->velocityFlag = 0;
    mesh->numUVs = uvCount;
    mesh->uvs = zeroedVectors(uvCount);
    mesh->numFaces = faceCount;
    mesh->faces = new (std::nothrow) ZYLface[faceCount];
    mesh->normals = zeroedVectors(faceCount);
    mesh->worldNormals = zeroedVectors(faceCount);
    if (!mesh->vertices || !mesh->worldVertices || !mesh->vertexVelocities || (uvCount > 0 && !mesh->uvs) ||
        !mesh->faces || !mesh->normals || !mesh->worldNormals) {
        return nullptr;
    }
    for (std::uint32_t f = 0; f < faceCount; ++f) {
        mesh->faces[f].marker = 1;
    }
    return mesh.release();
}

// Hull of the mesh's local vertices as the convexity tests take it.
template <class Mesh, class Reduced>
bool nearlyConvex(const Mesh* mesh, Reduced reducedHull) {
    if (!mesh || !mesh->vertices || mesh->numVertices == 0) {
        return false;
    }
    const double V = computeMeshVolume(mesh);
    if (V == 0.0) {
        return false;  // the answer is no whatever the hull
    }
    if constexpr (std::is_same_v<Mesh, ZYL_DFmesh>) {
        if (surelyConvexSolid(*mesh, V)) {
            return true;  // the hull would only confirm it
        }
    }
    const std::unique_ptr<ZYLmesh> hull(mesh->numVertices < 512
                                            ? buildConvexHullMesh(mesh->vertices, mesh->numVertices)
                                            : reducedHull(mesh, 512));
    if (!hull || hull->numVertices == 0) {
        return false;
    }
    const double H = computeMeshVolume(hull.get());
    return 0.9 * V <= H && V / H >= 0.8;
}

}  // namespace

ZYLmesh* createMesh(std::uint32_t vertexCount, std::uint32_t faceCount) {
    return buildMesh(vertexCount, 0, faceCount);
}

ZYLmesh* createMeshWithUVs(std::uint32_t vertexCount, std::uint32_t uvCount, std::uint32_t faceCount) {
    return buildMesh(vertexCount, uvCount, faceCount);
}

ZYLmesh* copyMesh(const ZYLmesh* mesh) {
    if (!mesh || mesh->numVertices == 0 || mesh->numFaces == 0 || !mesh->faces) {
        return nullptr;
    }
    std::unique_ptr<ZYLmesh> copy(new (std::nothrow) ZYLmesh);
    if (!copy) {
        return nullptr;
    }
    // Member by member first (counts, placement, words), then every array made anew;
    // the pointers the member copy shares are nulled before anything can fail.
    *copy = *mesh;
    copy->faces = nullptr;
    copy->vertices = copy->worldVertices = copy->uvs = nullptr;
    copy->normals = copy->worldNormals = copy->vertexVelocities = nullptr;

    copy->faces = new (std::nothrow) ZYLface[mesh->numFaces];
    if (!copy->faces) {
        return nullptr;
    }
    std::copy(mesh->faces, mesh->faces + mesh->numFaces, copy->faces);
    ArrayCopier arrays;
    copy->vertices = arrays(mesh->vertices, mesh->numVertices);
    copy->worldVertices = arrays(mesh->worldVertices, mesh->numVertices);
    copy->vertexVelocities = arrays(mesh->vertexVelocities, mesh->numVertices);
    copy->uvs = arrays(mesh->uvs, mesh->numUVs);
    copy->normals = arrays(mesh->normals, mesh->numFaces);
    copy->worldNormals = arrays(mesh->worldNormals, mesh->numFaces);
    return arrays.failed() ? nullptr : copy.release();
}

ZYL_DFmesh* createDFmesh(std::uint32_t vertexCount, std::uint32_t uvCount, std::uint32_t faceCount,
                         std::uint32_t uvSetCount) {
    if (vertexCount == 0 || faceCount == 0) {
        return nullptr;
    }
    std::unique_ptr<ZYL_DFmesh> mesh(new (std::nothrow) ZYL_DFmesh);
    if (!mesh) {
        return nullptr;
    }
    mesh->numVertices = vertexCount;
    mesh->vertices = zeroedVectors(vertexCount);
    mesh->worldVertices = zeroedVectors(vertexCount);
    mesh->numUVs = uvCount;
    mesh->uvs = zeroedVectors(uvCount);
    bool ok = mesh->vertices && mesh->worldVertices && (uvCount == 0 || mesh->uvs);
    // The record has eight extra-set slots: more than nine sets in all cannot be kept.
    const std::uint32_t sets = std::min(uvSetCount, MAX_UV_SETS);
    mesh->numUVSets = sets;
    if (sets > 1) {
        mesh->flags |= MESH_UV_SETS;
        for (std::uint32_t s = 0; s + 1 < sets; ++s) {
            mesh->uvSets[s] = zeroedVectors(uvCount);
            ok = ok && (uvCount == 0 || mesh->uvSets[s]);
        }
    }
    mesh->numFaces = faceCount;
    mesh->faces = new (std::nothrow) ZYL_DFface[faceCount];
    mesh->normals = zeroedVectors(faceCount);
    mesh->worldNormals = zeroedVectors(faceCount);
    if (!ok || !mesh->faces || !mesh->normals || !mesh->worldNormals) {
        return nullptr;
    }
    return mesh.release();
}

ZYL_DFmesh* copyDFmesh(const ZYL_DFmesh* mesh) { return copyDFmeshFaces(mesh, nullptr); }

ZYL_DFmesh* copyDFmeshFaces(const ZYL_DFmesh* mesh, const std::uint8_t* keep) {
    if (!mesh || mesh->numVertices == 0 || mesh->numFaces == 0 || !mesh->faces) {
        return nullptr;
    }
    const std::uint32_t F = keep ? static_cast<std::uint32_t>(std::count_if(keep, keep + mesh->numFaces,
                                                                            [](std::uint8_t k) { return k != 0; }))
                                 : mesh->numFaces;
    if (F == 0) {
        return nullptr;
    }
    std::unique_ptr<ZYL_DFmesh> copy(new (std::nothrow) ZYL_DFmesh);
    if (!copy) {
        return nullptr;
    }
    *copy = *mesh;
    copy->faces = nullptr;
    copy->vertices = copy->worldVertices = copy->normals = copy->worldNormals = nullptr;
    copy->uvs = copy->cornerNormals = copy->vertexData = nullptr;
    std::fill(std::begin(copy->uvSets), std::end(copy->uvSets), nullptr);
    copy->numFaces = F;

    ArrayCopier arrays;
    copy->vertices = arrays(mesh->vertices, mesh->numVertices);
    copy->worldVertices = arrays(mesh->worldVertices, mesh->numVertices);
    copy->cornerNormals = arrays(mesh->cornerNormals, mesh->numCornerNormals);
    copy->uvs = arrays(mesh->uvs, mesh->numUVs);
    const std::uint32_t sets = meshExtraUVSets(*mesh);
    for (std::uint32_t s = 0; s < sets; ++s) {
        copy->uvSets[s] = arrays(mesh->uvSets[s], mesh->numUVs);
    }
    if (keep) {
        copy->normals = mesh->normals ? zeroedVectors(F) : nullptr;
        copy->worldNormals = mesh->worldNormals ? zeroedVectors(F) : nullptr;
        if ((mesh->normals && !copy->normals) || (mesh->worldNormals && !copy->worldNormals)) {
            return nullptr;
        }
    } else {
        copy->normals = arrays(mesh->normals, mesh->numFaces);
        copy->worldNormals = arrays(mesh->worldNormals, mesh->numFaces);
    }
    if (arrays.failed()) {
        return nullptr;
    }

    copy->faces = new (std::nothrow) ZYL_DFface[F];
    if (!copy->faces) {
        return nullptr;
    }
    std::uint32_t next = 0;
    for (std::uint32_t f = 0; f < mesh->numFaces; ++f) {
        if (keep && !keep[f]) {
            continue;
        }
        const ZYL_DFface& from = mesh->faces[f];
        ZYL_DFface& to = copy->faces[next];
        copyDFmeshFace(from, to);
        if (to.capacity < std::max(from.numVertices, from.numEdges)) {
            return nullptr;  // the face's arrays could not be made
        }
        if (keep) {
            if (mesh->normals) {
                copy->normals[next] = mesh->normals[f];
            }
            if (mesh->worldNormals) {
                copy->worldNormals[next] = mesh->worldNormals[f];
            }
        }
        ++next;
    }
    return copy.release();
}

bool allocDFmeshNormals(ZYL_DFmesh* mesh, std::uint32_t n) {
    if (!mesh) {
        return false;
    }
    QmtVector3* fresh = zeroedVectors(n);
    if (n > 0 && !fresh) {
        return false;
    }
    // The array replaced is the mesh's own: dropping it without freeing it would leak.
    delete[] mesh->cornerNormals;
    mesh->cornerNormals = fresh;
    return true;
}

void deleteMesh(ZYLmesh** mesh) {
    if (mesh) {
        delete *mesh;
        *mesh = nullptr;
    }
}

void deleteDFmesh(ZYL_DFmesh** mesh) {
    if (mesh) {
        delete *mesh;
        *mesh = nullptr;
    }
}

bool isNearlyConvex(const ZYL_DFmesh* mesh) {
    return nearlyConvex(mesh, buildReducedHullMeshDF);
}

bool isNearlyConvexMesh(const ZYLmesh* mesh) {
    return nearlyConvex(mesh, buildReducedHullMesh);
}

// ---- The world ----------------------------------------------------------------------

namespace {

// A new default T, or null when memory runs out (constructors allocate too).
template <class T>
T* tryNew() noexcept {
    try {
        return new T;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

PublicWorld*& engineWorld() {
    static PublicWorld* world = nullptr;
    return world;
}

PublicWorld* createWorld() {
    PublicWorld* const world = tryNew<PrivateWorld>();
    engineWorld() = world;
    return world;
}

void destroyWorld(PublicWorld** world) {
    if (world) {
        delete *world;
    }
    engineWorld() = nullptr;
}

bool enableContactGroups() {
    auto* const world = dynamic_cast<PrivateWorld*>(engineWorld());
    if (!world) {
        return false;
    }
    world->enableContactGroups();
    return true;
}

bool disableContactGroups() {
    auto* const world = dynamic_cast<PrivateWorld*>(engineWorld());
    if (!world) {
        return false;
    }
    world->disableContactGroups();
    return true;
}

// ---- Bodies and joints --------------------------------------------------------------

namespace {

// Shorter normals give no plane direction.
constexpr double BARRIER_NORMAL_TOLERANCE = 1e-5;
constexpr double BARRIER_RESTITUTION = 0.30000001192092896;
constexpr double BARRIER_FRICTION = 0.699999988079071;
// Segments whose squared length is at most this get the x axis as capsule frame axis.
constexpr double CAPSULE_FRAME_TOLERANCE = 1e-5;
// Segments not longer than this leave the capsule record without an axis.
constexpr double CAPSULE_AXIS_TOLERANCE = 1e-5;

bool hasVertices(const ZYLmesh& mesh) { return mesh.numVertices > 0 && mesh.vertices; }

// Corners of a face that its record can hold.
std::uint32_t cornersOf(const ZYLface& face) { return std::min(face.numVertices, ZYLFACE_MAX_CORNERS); }

// Triangles a face becomes: a fan of k - 2 for k > 3 corners, else the face itself.
std::uint32_t triangleCount(const ZYLmesh& mesh) {
    std::uint32_t n = 0;
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const std::uint32_t k = cornersOf(mesh.faces[f]);
        n += k > 3 ? k - 2 : 1;
    }
    return n;
}

// Copies the source's faces into target (sized by triangleCount): fans (c0, c(i-1),
// ci) for i = 2 .. k-1, each with three edges, and faces of three corners or fewer
// whole; every face takes its source face's local normal.
void writeTriangles(const ZYLmesh& source, ZYLmesh& target) {
    std::uint32_t t = 0;
    for (std::uint32_t f = 0; f < source.numFaces; ++f) {
        const ZYLface& face = source.faces[f];
        const QmtVector3 normal = source.normals ? source.normals[f] : QmtVector3::ZERO;
        const std::uint32_t k = cornersOf(face);
        if (k <= 3) {
            target.faces[t] = face;
            target.normals[t++] = normal;
            continue;
        }
        for (std::uint32_t i = 2; i < k; ++i) {
            ZYLface& triangle = target.faces[t];
            triangle.numVertices = 3;
            triangle.numEdges = 3;
            triangle.vertices[0] = face.vertices[0];
            triangle.vertices[1] = face.vertices[i - 1];
            triangle.vertices[2] = face.vertices[i];
            target.normals[t++] = normal;
        }
    }
}

bool indicesInRange(const ZYLmesh& mesh) {
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const ZYLface& face = mesh.faces[f];
        for (std::uint32_t i = 0, k = cornersOf(face); i < k; ++i) {
            if (face.vertices[i] >= mesh.numVertices) {
                return false;
            }
        }
    }
    return true;
}

// Centre = mean of the vertices, radius = the largest distance from it.
void setVertexSphere(ZYLmesh& mesh) {
    QmtVector3 sum;
    for (std::uint32_t i = 0; i < mesh.numVertices; ++i) {
        sum += mesh.vertices[i];
    }
    mesh.centre = sum / static_cast<double>(mesh.numVertices);
    double radius = 0.0;
    for (std::uint32_t i = 0; i < mesh.numVertices; ++i) {
        radius = std::max(radius, (mesh.vertices[i] - mesh.centre).Length());
    }
    mesh.radius = radius;
}

template <class Capsule>
HardBody* createCapsuleKind(const ZYLmesh* mesh) {
    if (!mesh) {
        return tryNew<Capsule>();
    }
    std::unique_ptr<Capsule> body(tryNew<Capsule>());
    if (!body) {
        return nullptr;
    }
    QmtVector3 a;
    QmtVector3 b;
    double r = 0.0;
    fitCapsule(bodyshape::readableVertices(*mesh), mesh->vertices, a, b, r);
    setCapsuleFromSegment(body.get(), a, b, r);

    BodyTransformRecord& record = body->transform;
    const QmtVector3 d = b - a;
    const double length = d.Length();
    record.centreOffset = (a + b) / 2.0;
    record.boxSize = QmtVector3(r, r, length / 2.0 + r) * 2.0;
    const QmtVector3 axis = d.SquaredLength() > CAPSULE_FRAME_TOLERANCE ? d / length : QmtVector3::UNIT_X;
    QmtVector3 u;
    QmtVector3 w;
    generateOrthonormalBasis(axis, u, w);
    record.setRotation(QmtMatrix3(u, w, axis));

    // The box mesh sits at the origin in the box's axes; init rebuilds it in place.
    ZYLbox box;
    box.axes = record.localAxes;
    box.halfExtents = record.boxSize * 0.5;
    ZYLmesh* const boxMesh = bodyshape::newBoxMesh(box);
    if (!boxMesh) {
        return nullptr;
    }
    body->setMesh(boxMesh);
    return body.release();
}

}  // namespace

HardBody* createBarrierBody(const QmtVector3& point, QmtVector3& normal) {
    if (normal.Length() < BARRIER_NORMAL_TOLERANCE) {
        normal = QmtVector3::UNIT_Y;
    }
    BarrierBody* const body = tryNew<BarrierBody>();
    if (!body) {
        return nullptr;
    }
    body->initPlane(point, normal);
    body->setRestitutionCoeff(BARRIER_RESTITUTION);
    body->setFrictionCoeff(BARRIER_FRICTION);
    return body;
}

HardBody* createPhantomBody(const ZYLmesh* mesh) {
    if (!mesh) {
        return tryNew<PhantomBody>();
    }
    const ZYLbox box = fitOrientedBox(bodyshape::readableVertices(*mesh), mesh->vertices);
    std::unique_ptr<PhantomBody> body(tryNew<PhantomBody>());
    ZYLmesh* const boxMesh = body ? bodyshape::newBoxMesh(box) : nullptr;
    if (!boxMesh) {
        return nullptr;
    }
    body->setMesh(boxMesh);
    bodyshape::takeBox(body->transform, box);
    return body.release();
}

HardBody* createHullBody(const ZYLmesh* mesh) {
    if (!mesh) {
        return tryNew<HullBody>();
    }
    std::unique_ptr<ZYLmesh> hull(HullBody::hullOfMesh(*mesh));
    if (!hull || !bodyshape::giveWorldVertices(*hull)) {
        return nullptr;
    }
    std::unique_ptr<BVmesh> bound(tryNew<BVmesh>());
    std::unique_ptr<HullBody> body(tryNew<HullBody>());
    if (!bound || !body) {
        return nullptr;
    }
    bound->init(hull.get(), HullBody::BOUND_OPTIONS);
    const ZYLbox box = fitOrientedBox(hull->numVertices, hull->vertices);
    hull->centre = box.centre;
    hull->radius = box.halfExtents.Length();
    body->setMesh(hull.release());
    body->bound = bound.release();
    bodyshape::takeBox(body->transform, box);
    return body.release();
}

HardBody* createCapsuleBody(const ZYLmesh* mesh) { return createCapsuleKind<CapsuleBody>(mesh); }

HardBody* createCrackerBody(const ZYLmesh* mesh) { return createCapsuleKind<ZylCrackerBody>(mesh); }

HardBody* createTriMeshBody(const ZYLmesh* mesh) {
    if (!mesh || !hasVertices(*mesh) || mesh->numFaces == 0 || !mesh->faces) {
        return tryNew<TriMeshBody>();
    }
    std::unique_ptr<TriMeshBody> body(tryNew<TriMeshBody>());
    std::unique_ptr<ZYLmesh> triangles(createMesh(mesh->numVertices, triangleCount(*mesh)));
    std::unique_ptr<Binary_Tree<BVbox>> tree(tryNew<Binary_Tree<BVbox>>());
    std::unique_ptr<BVmesh> bound(tryNew<BVmesh>());
    if (!body || !triangles || !tree || !bound) {
        return nullptr;
    }
    std::copy(mesh->vertices, mesh->vertices + mesh->numVertices, triangles->vertices);
    writeTriangles(*mesh, *triangles);
    setVertexSphere(*triangles);

    body->setMesh(triangles.release());
    body->tree = tree.release();
    // The volume pass of the connectivity build replaces the vertex mean by the
    // mesh's centroid.
    if (indicesInRange(*body->mesh)) {
        bound->init(body->mesh, HullBody::BOUND_OPTIONS);
    }
    body->bound = bound.release();
    bodyshape::takeBox(body->transform, fitOrientedBox(mesh->numVertices, mesh->vertices));
    return body.release();
}

HardBody* createBestMeshBody(const ZYLmesh* mesh) {
    const double V = computeMeshVolume(mesh);
    double H = 100.0 * V;
    std::unique_ptr<HardBody> hull(createHullBody(mesh));
    if (hull) {
        H = computeMeshVolume(hull->getMesh());
    }
    if (V != 0.0 && 0.9 * V <= H && V / H >= 0.8) {
        return hull.release();
    }
    hull.reset();
    return createTriMeshBody(mesh);
}

bool isDegenerateVolume(HardBody* body) {
    if (!body) {
        return false;
    }
    return computeMeshVolume(body->getMesh()) * 500.0 <= 0.0;
}

void setCapsuleFromSegment(CapsuleBody* body, const QmtVector3& a, const QmtVector3& b, double r) {
    if (!body) {
        return;
    }
    const QmtVector3 d = b - a;
    const double length = d.Length();
    ZYLcapsule record;
    record.centre = (a + b) / 2.0;
    record.axis = length > CAPSULE_AXIS_TOLERANCE ? d / length : QmtVector3::ZERO;
    record.length = length;
    record.radius = r;
    body->worldCapsule.init(record);
}

DynamicStress* createDynamicStress() { return tryNew<DynamicStress>(); }

namespace {

template <class Body>
void deleteFiledBody(Body*& body) {
    if (PublicWorld* const world = engineWorld()) {
        world->removeBody(body);
    }
    delete body;
    body = nullptr;
}

}  // namespace

void deleteBody(HardBody** body) {
    if (body) {
        deleteFiledBody(*body);
    }
}

void deleteBodyPtr(PrivateHardBody** body) {
    if (body) {
        deleteFiledBody(*body);
    }
}

void deleteBodyRef(HardBody*& body) { deleteFiledBody(body); }
