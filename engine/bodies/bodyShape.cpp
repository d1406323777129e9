#include "engine/bodies/bodyShape.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "engine/bodies/hardBody.h"
#include "geometry/mesh/meshPlacement.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

namespace bodyshape {

ZYLbox recordBox(const BodyTransformRecord& record) {
    ZYLbox box;
    box.centre = record.centreOffset;
    box.axes = record.localAxes;
    box.halfExtents = record.boxSize * 0.5;
    return box;
}

void takeBox(BodyTransformRecord& record, const ZYLbox& box) {
    record.centreOffset = box.centre;
    record.boxSize = box.halfExtents * 2.0;
    record.setRotation(box.axes);
}

void adoptWorldArrays(ZYLmesh& mesh) {
    if (mesh.vertices && mesh.worldVertices) {
        std::copy(mesh.worldVertices, mesh.worldVertices + mesh.numVertices, mesh.vertices);
    }
    if (mesh.normals && mesh.worldNormals) {
        std::copy(mesh.worldNormals, mesh.worldNormals + mesh.numFaces, mesh.normals);
    }
    mesh.centre = mesh.worldCentre;
    mesh.radius = mesh.worldRadius;
}

namespace {

void buildSizedBoxMesh(ZYLmesh& mesh, const ZYLbox& box) {
    buildBoxMesh(box, &mesh);
    mesh.radius = box.halfExtents.Length();
    mesh.worldRadius = mesh.radius;
}

}  // namespace

void rebuildBoxMesh(ZYLmesh* mesh, const ZYLbox& box) {
    if (!mesh) {
        return;
    }
    buildSizedBoxMesh(*mesh, box);
    adoptWorldArrays(*mesh);
}

ZYLmesh* newBoxMesh(const ZYLbox& box) {
    std::unique_ptr<ZYLmesh> mesh(new (std::nothrow) ZYLmesh);
    if (!mesh) {
        return nullptr;
    }
    buildSizedBoxMesh(*mesh, box);
    return mesh->numVertices == BOX_CORNER_COUNT && mesh->numFaces == BOX_FACE_COUNT ? mesh.release()
                                                                                     : nullptr;
}

void meshIntoBodyFrame(ZYLmesh* mesh, const QmtVector3& P, const QmtMatrix3& R, const QmtVector3& S) {
    if (!mesh) {
        return;
    }
    meshTransformTRS(mesh, -P, R.Transpose(), reciprocal(S));
    adoptWorldArrays(*mesh);
}

void recordIntoBodyFrame(BodyTransformRecord& record, const QmtVector3& P, const QmtMatrix3& R,
                         const QmtVector3& S) {
    const QmtMatrix3 Rt = R.Transpose();
    record.centreOffset = divided(Rt * (record.centreOffset - P), S);
    record.setRotation(Rt * record.localAxes);
    record.scale = S;
}

void refitIntoBodyFrame(ZYLmesh* mesh, BodyTransformRecord& record, const QmtVector3& P, const QmtMatrix3& R) {
    meshIntoBodyFrame(mesh, P, R, QmtVector3(1.0, 1.0, 1.0));
    const QmtMatrix3 Rt = R.Transpose();
    record.centreOffset = Rt * (record.centreOffset - P);
    record.setRotation(Rt * record.localAxes);
    const QmtVector3& b = record.boxSize;
    const QmtVector3& s = record.scale;
    const double x = s.x * b.x;
    const double y = s.y * b.y;
    const double z = s.z * b.z;
    record.unscaledRadius = b.Length() / 2.0;
    record.radius = 0.5 * std::sqrt(x * x + y * y + z * z);
    record.scale = QmtVector3(1.0, 1.0, 1.0);
}

void placeAtRest(HardBody& body, const QmtVector3& P, const QmtMatrix3& R) {
    body.setRotationMatrix(R);
    body.computeInertiaTensor();
    body.dyn.position = P;
    body.dyn.integratedPosition = P;
    body.dyn.force = QmtVector3::ZERO;
    body.dyn.torque = QmtVector3::ZERO;
}

void initBoxShaped(HardBody& body, const QmtVector3& P, const QmtMatrix3& R, const QmtVector3& S) {
    body.bbox = recordBox(body.transform);
    rebuildBoxMesh(body.mesh, body.bbox);
    meshIntoBodyFrame(body.mesh, P, R, S);
    recordIntoBodyFrame(body.transform, P, R, S);
    body.transform.unscaledRadius = halfLargestSide(body.transform.boxSize);
    body.transform.radius = body.transform.unscaledRadius * largestComponent(S);
    placeAtRest(body, P, R);
    if (body.mesh) {
        meshTransformSRT(body.mesh, P, R, S);
    }
    body.activate();
}

QmtVector3 moveMassCentre(HardBody& body, const QmtVector3& c) {
    const QmtVector3 w = body.computeWCenter();
    const QmtMatrix3 Rt = body.dyn.rotation.Transpose();
    const QmtVector3& s = body.transform.scale;
    body.transform.centreOffset = divided(Rt * (w - c), s);
    // Local vertices are unscaled: the world shift is divided by the scale as the
    // centre offset is, or the mesh would drift off its box under a non-unit scale.
    const QmtVector3 shift = divided(Rt * (body.dyn.position - c), s);
    if (body.mesh) {
        shiftLocalMesh(*body.mesh, shift);
    }
    body.dyn.position = c;
    body.lastDyn.position = c;
    return shift;
}

QmtMatrix3 rotatedTensor(const QmtMatrix3& axes, const QmtMatrix3& I) {
    return (axes * I).TimesTranspose(axes);
}

QmtMatrix3 shiftedTensor(const QmtMatrix3& I, double m, const QmtVector3& c) {
    const double xx = c.x * c.x;
    const double yy = c.y * c.y;
    const double zz = c.z * c.z;
    const QmtMatrix3 shift(m * (yy + zz), -m * c.x * c.y, -m * c.x * c.z,  //
                           -m * c.y * c.x, m * (xx + zz), -m * c.y * c.z,  //
                           -m * c.z * c.x, -m * c.z * c.y, m * (xx + yy));
    return I + shift;
}

void shiftLocalMesh(ZYLmesh& mesh, const QmtVector3& d) {
    if (mesh.vertices) {
        for (std::uint32_t i = 0; i < mesh.numVertices; ++i) {
            mesh.vertices[i] += d;
        }
    }
    mesh.centre += d;
}

bool giveWorldVertices(ZYLmesh& mesh) {
    if (mesh.numVertices == 0) {
        return false;
    }
    auto* fresh = new (std::nothrow) QmtVector3[mesh.numVertices];
    if (!fresh) {
        return false;
    }
    delete[] mesh.worldVertices;
    mesh.worldVertices = fresh;
    return true;
}

}  // namespace bodyshape
