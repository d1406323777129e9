#include "geometry/mesh/bvMesh.h"

#include <new>

#include "geometry/bounds/boundingVolumes.h"
#include "geometry/clip/clipper.h"
#include "geometry/hull/convexHull.h"
#include "geometry/mesh/massProperties.h"
#include "geometry/mesh/meshPlacement.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

namespace {

// Above this many vertices copyAprox hulls a sample of the local positions.
constexpr std::uint32_t APROX_SAMPLE_COUNT = 512;

}  // namespace

BVmesh::~BVmesh() {
    destroy();
    releaseHeldRecord(mesh, state);
}

void BVmesh::destroy() {
    releaseNeighbours();
    releaseEdges(tables());
    releaseVertexRecords(tables());
    delete clipper;
    clipper = nullptr;
}

void BVmesh::releaseHeldMesh(const ZYLmesh* keep) {
    if (mesh && state == 1 && mesh != keep) {
        delete mesh;
    }
}

void BVmesh::adoptMesh(ZYLmesh* fresh) {
    releaseHeldMesh(fresh);
    mesh = fresh;
    state = 1;
}

bool BVmesh::init(ZYLmesh* newMesh, std::uint32_t options) {
    if (!newMesh || !indicesValid(*newMesh)) {
        // The volume ends without a mesh, so one it owns goes, even the given one.
        deleteMesh();
        return false;
    }
    // A mesh the volume already owns stays owned: taking it "by reference" would leak it.
    const bool stillOwned = newMesh == mesh && state == 1;
    releaseHeldMesh(newMesh);
    mesh = newMesh;
    state = stillOwned ? 1 : 0;
    buildAttached(options);
    return true;
}

bool BVmesh::copyAprox(ZYLmesh* source, std::uint32_t options) {
    ZYLmesh* hull = nullptr;
    if (source && indicesValid(*source)) {
        const std::uint32_t n = source->numVertices;
        if (n > APROX_SAMPLE_COUNT) {
            if (source->vertices) {
                QmtVector3 samples[APROX_SAMPLE_COUNT];
                const std::uint32_t taken = sampleMeshVertices(*source, APROX_SAMPLE_COUNT, samples);
                hull = buildConvexHullMesh(samples, taken);
            }
        } else if (source->worldVertices) {
            hull = buildConvexHullMesh(source->worldVertices, n);
        }
    }
    if (hull) {
        hull->worldVertices = new (std::nothrow) QmtVector3[hull->numVertices]();
        if (!hull->worldVertices) {
            delete hull;
            hull = nullptr;
        } else {
            for (std::uint32_t i = 0; i < hull->numVertices; ++i) {
                hull->worldVertices[i] = hull->vertices[i];
            }
        }
    }

    // The source is no longer needed: whatever the volume owned goes now.
    if (!hull) {
        deleteMesh();
        return false;
    }
    adoptMesh(hull);
    buildAttached(options);
    return true;
}

void BVmesh::buildAttached(std::uint32_t options) {
    // The old vertex records were sized for the old mesh; the count now names the new one.
    releaseNeighbours();
    releaseVertexRecords(tables());
    numVertexRecords = mesh->numVertices;
    buildTables(options);
    if (options & BVMESH_ISLANDS) {
        labelIslands();
    }
    if (options & BVMESH_VOLUME) {
        computeVolume();
    }
}

void BVmesh::computeVolume() {
    volume = mesh ? ComputeMassProperties(mesh, mesh->centre) : 0.0;
}

QmtVector3 BVmesh::computeFaceCenter(std::uint32_t i) const {
    if (!mesh || !mesh->worldVertices || i >= mesh->numFaces) {
        return QmtVector3::ZERO;
    }
    const ZYLface& face = mesh->faces[i];
    const std::uint32_t n =
        face.numVertices < ZYLFACE_MAX_CORNERS ? face.numVertices : ZYLFACE_MAX_CORNERS;
    if (n == 0) {
        return QmtVector3::ZERO;
    }
    QmtVector3 sum = mesh->worldVertices[face.vertices[0]];
    for (std::uint32_t k = 1; k < n; ++k) {
        sum += mesh->worldVertices[face.vertices[k]];
    }
    return sum / static_cast<double>(n);
}

QmtVector3 BVmesh::getCenter() const {
    return mesh ? mesh->worldCentre : QmtVector3::ZERO;
}

void BVmesh::setCenter(const QmtVector3& c) {
    if (mesh) {
        mesh->worldCentre = c;
    }
}

void BVmesh::translate(const QmtVector3& d) {
    if (mesh) {
        mesh->centre += d;
    }
}

QmtVector3 BVmesh::getAxis(int i) const {
    if (i < 0 || i > 2) {
        return QmtVector3::ZERO;
    }
    return orientation.GetColumn(static_cast<unsigned>(i));
}

std::uint32_t BVmesh::computeVertexes(QmtVector3* /*out*/) const {
    return mesh ? mesh->numVertices : 0;
}

bool BVmesh::createMesh() {
    ZYLmesh* const created = new (std::nothrow) ZYLmesh();
    if (!created) {
        return false;
    }
    adoptMesh(created);
    return true;
}

void BVmesh::deleteMesh() {
    releaseHeldMesh(nullptr);
    mesh = nullptr;
    state = -1;
}

void BVmesh::initClipper() {
    delete clipper;
    clipper = new (std::nothrow) Clipper();
    if (clipper) {
        clipper->init(this);
    }
}

std::int32_t BVmesh::clip(const QmtVector3& normal, const QmtVector3& point, std::uint32_t flags) {
    if (!clipper) {
        return 0;
    }
    return clipper->clip(mesh, normal, point, flags);
}

void BVmesh::transformSRT(const QmtVector3& T, const QmtMatrix3& R, const QmtVector3& S) {
    if (mesh) {
        meshTransformSRT(mesh, T, R, S);
    }
}

void BVmesh::transformTRS(const QmtVector3& T, const QmtMatrix3& R, const QmtVector3& S) {
    if (mesh) {
        meshTransformTRS(mesh, T, R, S);
    }
}
