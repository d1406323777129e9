#include "engine/bodies/triMeshBody.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "engine/bodies/bodyShape.h"
#include "engine/bodies/hullBody.h"
#include "engine/bodies/triMeshTree.h"
#include "geometry/bounds/boxFit.h"
#include "geometry/mesh/massProperties.h"
#include "geometry/mesh/meshPlacement.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

namespace {

bool faceIndicesInRange(const ZYLmesh& mesh) {
    for (std::uint32_t f = 0; f < mesh.numFaces; ++f) {
        const ZYLface& face = mesh.faces[f];
        for (std::uint32_t k = 0; k < face.numVertices && k < ZYLFACE_MAX_CORNERS; ++k) {
            if (face.vertices[k] >= mesh.numVertices) {
                return false;
            }
        }
    }
    return true;
}

bool hasBoundMesh(const BVmesh* bound) { return bound != nullptr && bound->mesh != nullptr; }

}  // namespace

TriMeshBody::TriMeshBody() { type = HB_TRIMESH; }

TriMeshBody::~TriMeshBody() {
    delete bound;
    delete tree;
}

void TriMeshBody::dropTree() {
    delete tree;
    tree = nullptr;
}

void TriMeshBody::init(const QmtVector3& P, const QmtMatrix3& R, const QmtVector3& S) {
    if (!mesh) {
        return;
    }
    bodyshape::meshIntoBodyFrame(mesh, P, R, S);
    if (tree) {
        // Without a bound the mesh may index past its vertices and the queries have
        // no world triangles to read: such a body keeps no tree.
        const bool ok = hasBoundMesh(bound) &&
                        (tree->built ? refitTriMeshTree(*tree, *mesh) : buildTriMeshTree(*tree, *mesh));
        if (!ok || !tree->root) {
            dropTree();
        }
    }
    bodyshape::recordIntoBodyFrame(transform, P, R, S);
    transform.unscaledRadius = std::min(mesh->radius, transform.boxSize.Length() / 2.0);
    transform.radius = transform.unscaledRadius * bodyshape::largestComponent(S);
    setRotationMatrix(R);
    computeInertiaTensor();
    dyn.force = QmtVector3::ZERO;
    dyn.torque = QmtVector3::ZERO;
    lastDyn = dyn;
    activate();
}

void TriMeshBody::computeInertiaTensor() {
    if (!mesh) {
        return;
    }
    const double m = 1.0 / dyn.invMass;
    if (hasBoundMesh(bound)) {
        computeScaledMassProperties(inertiaLocal, mesh, m, QmtVector3::ZERO, transform.scale);
    } else {
        // The bound stayed empty because a face indexes past the vertices: the mesh
        // cannot be integrated, so the body turns as its solid box.
        const QmtVector3& s = transform.scale;
        const QmtVector3& b = transform.boxSize;
        const QmtVector3& c = transform.centreOffset;
        const double x = s.x * b.x, y = s.y * b.y, z = s.z * b.z;
        QmtMatrix3 I;
        I.MakeDiagonal(m / 12.0 * (y * y + z * z), m / 12.0 * (x * x + z * z), m / 12.0 * (x * x + y * y));
        inertiaLocal = bodyshape::shiftedTensor(bodyshape::rotatedTensor(transform.localAxes, I), m,
                                                QmtVector3(c.x * s.x, c.y * s.y, c.z * s.z));
    }
    invInertiaLocal = inertiaLocal.Inverse(bodyshape::INVERSE_TOLERANCE);
    updateWorldTensors();
    setAngularVelocity(dyn.w);
}

void TriMeshBody::setMassCenter(const QmtVector3& c) {
    // The tree's boxes move with the mesh by the same local shift, so world boxes stay
    // where they were.
    const QmtVector3 shift = bodyshape::moveMassCentre(*this, c);
    if (tree) {
        shiftTriMeshTree(tree->root, shift);
    }
    computeInertiaTensor();
    updateWorldState();
}

void TriMeshBody::updateWorldState() {
    PrivateHardBody::updateWorldState();
    if (mesh) {
        meshTransformSRT(mesh, dyn.position, dyn.rotation, transform.scale);
    }
    if (tree && tree->root) {
        tree->root->transformSRT(dyn.position, dyn.rotation, transform.scale);
    }
}

bool TriMeshBody::takeTriangles(const ZYLmesh& source) {
    std::uint32_t triangles = 0;
    for (std::uint32_t f = 0; f < source.numFaces; ++f) {
        const std::uint32_t n = source.faces[f].numVertices;
        triangles += n > 3 ? n - 2 : 1;
    }
    // The arrays take the new triangle count: a source with more triangles than the
    // body had must not run past the old ones.
    std::unique_ptr<ZYLface[]> faces(new (std::nothrow) ZYLface[triangles == 0 ? 1 : triangles]);
    std::unique_ptr<QmtVector3[]> normals(new (std::nothrow) QmtVector3[triangles == 0 ? 1 : triangles]);
    std::unique_ptr<QmtVector3[]> worldNormals(new (std::nothrow) QmtVector3[triangles == 0 ? 1 : triangles]);
    const bool velocities = source.velocityFlag != 0 && source.vertexVelocities != nullptr;
    const std::uint32_t vertexCount = std::min(mesh->numVertices, source.numVertices);
    std::unique_ptr<QmtVector3[]> vertexVelocities;
    if (velocities && !mesh->vertexVelocities) {
        vertexVelocities.reset(new (std::nothrow) QmtVector3[mesh->numVertices == 0 ? 1 : mesh->numVertices]);
        if (!vertexVelocities) {
            return false;
        }
    }
    if (!faces || !normals || !worldNormals) {
        return false;
    }
    std::uint32_t t = 0;
    for (std::uint32_t f = 0; f < source.numFaces; ++f) {
        const ZYLface& from = source.faces[f];
        const QmtVector3 normal = source.normals ? source.normals[f] : QmtVector3::ZERO;
        if (from.numVertices <= 3) {
            faces[t] = from;
            normals[t++] = normal;
            continue;
        }
        for (std::uint32_t k = 1; k + 1 < from.numVertices; ++k) {
            ZYLface& to = faces[t];
            to.numVertices = 3;
            to.vertices[0] = from.vertices[0];
            to.vertices[1] = from.vertices[k];
            to.vertices[2] = from.vertices[k + 1];
            to.flags = from.flags;
            to.island = from.island;
            to.extra = from.extra;
            normals[t++] = normal;
        }
    }
    delete[] mesh->faces;
    mesh->faces = faces.release();
    delete[] mesh->normals;
    mesh->normals = normals.release();
    delete[] mesh->worldNormals;
    mesh->worldNormals = worldNormals.release();
    mesh->numFaces = triangles;
    mesh->numVertices = vertexCount;
    if (mesh->vertices && source.vertices) {
        std::copy(source.vertices, source.vertices + vertexCount, mesh->vertices);
    }
    if (velocities) {
        if (vertexVelocities) {
            delete[] mesh->vertexVelocities;
            mesh->vertexVelocities = vertexVelocities.release();
        }
        std::copy(source.vertexVelocities, source.vertexVelocities + vertexCount, mesh->vertexVelocities);
        mesh->velocityFlag = 1;
    }
    return true;
}

void TriMeshBody::modify(ZYLmesh* newMesh) {
    if (!newMesh || !mesh) {
        return;
    }
    const std::uint32_t oldTriangles = mesh->numFaces;
    const std::uint32_t oldVertices = mesh->numVertices;
    if (newMesh != mesh && !takeTriangles(*newMesh)) {
        return;
    }

    bodyshape::takeBox(transform, fitOrientedBox(bodyshape::readableVertices(*mesh), mesh->vertices));
    bodyshape::refitIntoBodyFrame(mesh, transform, dyn.position, dyn.rotation);

    delete bound;
    bound = new (std::nothrow) BVmesh;
    // An index past the vertices leaves the bound empty (init refuses the mesh); the
    // tree's lists would then index past them too, so the tree goes with it.
    if (!bound || !faceIndicesInRange(*mesh) || !bound->init(mesh, HullBody::BOUND_OPTIONS)) {
        dropTree();
        computeInertiaTensor();
        return;
    }
    QmtVector3 centre;
    bound->volume = ComputeMassProperties(mesh, centre);

    // The tree's lists name triangles and vertices: new counts need a new tree, the
    // same counts only new boxes.
    if (tree) {
        const bool sameShape = mesh->numFaces == oldTriangles && mesh->numVertices == oldVertices;
        const bool ok = sameShape && tree->root ? refitTriMeshTree(*tree, *mesh) : buildTriMeshTree(*tree, *mesh);
        if (!ok || !tree->root) {
            dropTree();
        }
    }
    updateWorldState();
}
