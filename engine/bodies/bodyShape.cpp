#include "engine/bodies/bodyShape.h"

#include <algorithm>
#include <memory>
#include <new>

#include "geometry/meshPlacement.h"

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
