#pragma once

#include <memory>

#include "host/api/fnDagNode.h"
#include "host/api/space.h"
#include "host/api/vectors.h"

namespace host {
struct MeshGeometry;
}

// Reads a polygon mesh: a shape on a DAG path (tweaks included; kWorld through
// the path's matrix) or a mesh data object (its own points; every space alike).
class MFnMesh : public MFnDagNode {
public:
    MFnMesh() = default;
    explicit MFnMesh(const MObject& object, MStatus* status = nullptr);
    explicit MFnMesh(const MDagPath& path, MStatus* status = nullptr);
    MStatus setObject(const MObject& object);
    MStatus setObject(const MDagPath& path);

    int numVertices(MStatus* status = nullptr) const;
    int numPolygons(MStatus* status = nullptr) const;
    int numFaceVertices(MStatus* status = nullptr) const;
    int numNormals(MStatus* status = nullptr) const;
    int polygonVertexCount(int polygon, MStatus* status = nullptr) const;

    MStatus getPoints(MFloatPointArray& points, MSpace::Space space = MSpace::kObject) const;
    MStatus getPoints(MPointArray& points, MSpace::Space space = MSpace::kObject) const;
    MStatus getPoint(int vertex, MPoint& point, MSpace::Space space = MSpace::kObject) const;
    MStatus getPolygonVertices(int polygon, MIntArray& vertices) const;
    // Per polygon its corner count, and all corners (holes included).
    MStatus getVertices(MIntArray& counts, MIntArray& vertices) const;
    // One normal per face-vertex: normal id = first face-vertex of the polygon + corner.
    MStatus getNormals(MFloatVectorArray& normals, MSpace::Space space = MSpace::kObject) const;
    MStatus getPolygonNormal(int polygon, MVector& normal, MSpace::Space space = MSpace::kObject) const;
    MStatus getFaceNormalIds(int polygon, MIntArray& ids) const;

    int numUVSets(MStatus* status = nullptr) const;
    int numUVs(MStatus* status = nullptr) const;
    int numUVs(const MString& set, MStatus* status = nullptr) const;
    MStatus getUVSetNames(MStringArray& names) const;
    MString currentUVSetName(MStatus* status = nullptr) const;
    MStatus getCurrentUVSetName(MString& name) const;
    MStatus getUVs(MFloatArray& u, MFloatArray& v, const MString* set = nullptr) const;
    MStatus getPolygonUVid(int polygon, int corner, int& id, const MString* set = nullptr) const;

    bool hasBlindData(MFn::Type componentType, int blindDataId = -1, MStatus* status = nullptr) const;
    bool isBlindDataTypeUsed(int blindDataId, MStatus* status = nullptr) const;
    // Fails when the component has no value for the attribute.
    MStatus getIntBlindData(int component, MFn::Type componentType, int blindDataId, const MString& attr,
                            int& value) const;
    MStatus getIntBlindData(MFn::Type componentType, int blindDataId, const MString& attr, MIntArray& components,
                            MIntArray& values) const;
    MStatus getDoubleBlindData(int component, MFn::Type componentType, int blindDataId, const MString& attr,
                               double& value) const;

    // Shading groups per instance: none are known yet (every polygon answers −1).
    MStatus getConnectedShaders(unsigned instance, MObjectArray& shaders, MIntArray& indices) const;

    // Host side: the geometry read (space as asked); the pointer form shares the stored one when it can.
    host::MeshGeometry geometry(MSpace::Space space = MSpace::kObject, MStatus* status = nullptr) const;
    std::shared_ptr<const host::MeshGeometry> geometryPtr(MSpace::Space space = MSpace::kObject,
                                                          MStatus* status = nullptr) const;

private:
    MObject data_;  // set when attached to a data object
};

// Makes empty mesh data objects, to be filled by a mesh function set.
class MFnMeshData {
public:
    MObject create(MStatus* status = nullptr);
};
