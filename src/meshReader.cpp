#include "src/meshReader.h"

#include <algorithm>

#include "engine/world/engineApi.h"
#include "host/api/fnMesh.h"
#include "host/api/meshIterators.h"
#include "src/meshWriter.h"

namespace {

// The record keeps set 1 and seven more; further sets are named but not read.
constexpr unsigned kMaxReadUVSets = 8;

Qmt::QmtVector3 uvPoint(float u, float v) { return {static_cast<double>(u), static_cast<double>(v), 0.0}; }

// Reads one polygon mesh, shape or data, into a new detailed mesh.
class DFmeshReader {
public:
    DFmeshReader(const MFnMesh& fn, const MObject& meshObject, const MIntArray& shadingIndices,
                 MStringArray& uvSetNames)
        : fn_(fn), meshObject_(meshObject), shading_(shadingIndices), names_(uvSetNames) {}

    ZYL_DFmesh* read() {
        MPointArray points;
        fn_.getPoints(points, MSpace::kWorld);
        MFloatVectorArray normals;
        fn_.getNormals(normals, MSpace::kWorld);
        fn_.getUVSetNames(names_);

        unsigned uvCount = names_.length() > 0 ? uvsIn(names_[0]) : 0;
        const unsigned faceCount = countFaces();
        const unsigned hostSets = static_cast<unsigned>(std::max(0, fn_.numUVSets()));
        setCount_ = std::min({hostSets, names_.length(), kMaxReadUVSets});
        for (unsigned k = 1; k < setCount_; ++k) uvCount = std::max(uvCount, uvsIn(names_[k]));

        ZYL_DFmesh* mesh = createDFmesh(points.length(), uvCount, faceCount, setCount_);
        if (!mesh) return nullptr;
        mesh_ = mesh;

        for (unsigned i = 0; i < points.length(); ++i) mesh->vertices[i] = {points[i].x, points[i].y, points[i].z};
        mesh->numVertices = points.length();
        if (allocDFmeshNormals(mesh, normals.length())) {
            for (unsigned i = 0; i < normals.length(); ++i)
                mesh->cornerNormals[i] = {normals[i].x, normals[i].y, normals[i].z};
            mesh->numCornerNormals = normals.length();
        }
        readUVs();

        hasCutTags_ = fn_.hasBlindData(MFn::kMeshPolygonComponent, cutFace::kBlindDataId);
        readFaces();

        for (unsigned i = 0; i < mesh->numVertices; ++i) mesh->worldVertices[i] = mesh->vertices[i];
        mesh->centre = computeFaceCenter(mesh->vertices, mesh->numVertices);
        mesh->worldCentre = mesh->centre;
        mesh->translation = Qmt::QmtVector3::ZERO;
        mesh->rotation = Qmt::QmtMatrix3::IDENTITY;
        mesh->scale = {1.0, 1.0, 1.0};
        return mesh;
    }

private:
    unsigned uvsIn(const MString& set) const { return static_cast<unsigned>(std::max(0, fn_.numUVs(set))); }

    unsigned countFaces() const {
        unsigned count = 0;
        for (MItMeshPolygon it(meshObject_); !it.isDone(); it.next()) {
            if (it.isHoled()) {
                int triangles = 0;
                it.numTriangles(triangles);
                count += static_cast<unsigned>(std::max(0, triangles));
            } else {
                ++count;
            }
        }
        return count;
    }

    static void storeUVs(const MFloatArray& u, const MFloatArray& v, unsigned count, Qmt::QmtVector3* out) {
        const unsigned n = std::min({count, u.length(), v.length()});
        for (unsigned i = 0; i < n; ++i) out[i] = uvPoint(u[i], v[i]);
    }

    void readUVs() {
        ZYL_DFmesh& mesh = *mesh_;
        MFloatArray u, v;
        if (setCount_ < 2) {
            // One set at most: the current one, which is then the first.
            if (mesh.numUVs > 0) {
                fn_.getUVs(u, v);
                storeUVs(u, v, mesh.numUVs, mesh.uvs);
            }
            return;
        }
        mesh.flags |= MESH_UV_SETS;
        fn_.getUVs(u, v, &names_[0]);
        storeUVs(u, v, mesh.numUVs, mesh.uvs);
        for (unsigned k = 1; k < setCount_; ++k) {
            const unsigned own = uvsIn(names_[k]);
            u.clear();
            v.clear();
            u.setLength(own);
            v.setLength(own);
            fn_.getUVs(u, v, &names_[k]);
            if (mesh.uvSets[k - 1]) storeUVs(u, v, std::min(own, mesh.numUVs), mesh.uvSets[k - 1]);
        }
    }

    // UV id of the corner at place in UV set k (0 = the first); a corner without one
    // gets 0.
    int uvId(const MItMeshPolygon& it, int place, unsigned k) const {
        int id = 0;
        const MString* set = k < setCount_ ? &names_[k] : nullptr;
        if (!it.getUVIndex(place, id, set)) id = 0;
        return id;
    }

    // Corner c of face takes vertex id and the normal and UV ids at place in the polygon.
    void setCorner(ZYL_DFface& face, const MItMeshPolygon& it, unsigned c, int vertex, int place) const {
        face.vertices[c] = static_cast<std::uint32_t>(vertex);
        face.normals[c] = static_cast<std::uint32_t>(std::max(0, it.normalIndex(place)));
        face.uvs[c] = static_cast<std::uint32_t>(uvId(it, place, 0));
        for (unsigned k = 1; k < setCount_; ++k)
            if (face.uvSets[k - 1]) face.uvSets[k - 1][c] = static_cast<std::uint32_t>(uvId(it, place, k));
    }

    // Shading group and cut-face tag of polygon p onto face f.
    void setPolygonData(unsigned f, unsigned p, const MVector& normal) const {
        ZYL_DFmesh& mesh = *mesh_;
        ZYL_DFface& face = mesh.faces[f];
        mesh.normals[f] = {normal.x, normal.y, normal.z};
        mesh.worldNormals[f] = mesh.normals[f];
        face.material = p < shading_.length() ? static_cast<std::uint8_t>(shading_[p]) : 0;
        if (!hasCutTags_) {
            face.flags &= static_cast<std::uint16_t>(~FACE_CUT);
            return;
        }
        int value = cutFace::kSurface;
        if (!fn_.getIntBlindData(static_cast<int>(p), MFn::kMeshPolygonComponent, cutFace::kBlindDataId,
                                 cutFace::kLongName, value))
            value = cutFace::kSurface;
        if (value == cutFace::kCut) face.flags |= FACE_CUT;
    }

    // Allocates face f for n corners; false when the engine could not.
    bool allocateFace(unsigned f, unsigned n) const {
        ZYL_DFface& face = mesh_->faces[f];
        face.allocate(n, setCount_);
        return face.capacity >= n;
    }

    void readFaces() {
        ZYL_DFmesh& mesh = *mesh_;
        unsigned f = 0;
        unsigned p = 0;
        MIntArray polygonVertices, triangle;
        MPointArray trianglePoints;
        for (MItMeshPolygon it(meshObject_); !it.isDone() && f < mesh.numFaces; it.next(), ++p) {
            MVector normal;
            it.getNormal(normal, MSpace::kObject);
            it.getVertices(polygonVertices);
            if (it.isHoled()) {
                int triangles = 0;
                it.numTriangles(triangles);
                for (int t = 0; t < triangles && f < mesh.numFaces; ++t) {
                    int places[3];
                    if (!it.getTriangle(t, trianglePoints, triangle) ||
                        !findTrianglePlaces(polygonVertices, triangle, places) || !allocateFace(f, 3))
                        continue;
                    ZYL_DFface& face = mesh.faces[f];
                    for (unsigned c = 0; c < 3; ++c) setCorner(face, it, c, triangle[c], places[c]);
                    face.numVertices = 3;
                    setPolygonData(f++, p, normal);
                }
                continue;
            }
            const unsigned n = polygonVertices.length();
            if (!allocateFace(f, n)) continue;
            ZYL_DFface& face = mesh.faces[f];
            for (unsigned c = 0; c < n; ++c) setCorner(face, it, c, polygonVertices[c], static_cast<int>(c));
            face.numVertices = n;
            setPolygonData(f++, p, normal);
        }
        mesh.numFaces = f;
    }

    const MFnMesh& fn_;
    const MObject& meshObject_;
    const MIntArray& shading_;
    MStringArray& names_;
    ZYL_DFmesh* mesh_ = nullptr;
    unsigned setCount_ = 0;
    bool hasCutTags_ = false;
};

}  // namespace

bool findTrianglePlaces(const MIntArray& polygonVertices, const MIntArray& triangle, int places[3]) {
    if (triangle.length() < 3) return false;
    for (unsigned c = 0; c < 3; ++c) {
        const auto at = std::find(polygonVertices.begin(), polygonVertices.end(), triangle[c]);
        if (at == polygonVertices.end()) return false;
        places[c] = static_cast<int>(at - polygonVertices.begin());
    }
    return true;
}

ZYL_DFmesh* readMeshIntoDFmesh(MFnMesh& mesh, const MIntArray& shadingIndices, MStringArray& uvSetNames) {
    const MObject shape = mesh.object();
    return DFmeshReader(mesh, shape, shadingIndices, uvSetNames).read();
}

ZYL_DFmesh* readMeshPolygonsIntoDFmesh(MObject meshData, const MIntArray& shadingIndices,
                                       MStringArray& uvSetNames) {
    MStatus status;
    MFnMesh fn(meshData, &status);
    if (!status) return nullptr;
    return DFmeshReader(fn, meshData, shadingIndices, uvSetNames).read();
}
