#pragma once

#include <functional>
#include <memory>

#include "host/api/color.h"
#include "host/api/fnDagNode.h"
#include "host/api/space.h"
#include "host/api/vectors.h"

class MDGModifier;

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

    // Shading groups of the instance in the order of their first face; per polygon its group, −1 for none.
    MStatus getConnectedShaders(unsigned instance, MObjectArray& shaders, MIntArray& indices) const;

    // Writing. `create` without a parent makes a new transform and mesh and returns
    // the transform; with a transform parent it makes the mesh under it and returns
    // the mesh; with a mesh data object it fills that object and returns it.
    MObject create(int numVertices, int numPolygons, const MFloatPointArray& vertices, const MIntArray& counts,
                   const MIntArray& connects, const MObject& parentOrOwner = MObject::kNullObj,
                   MStatus* status = nullptr);
    MObject create(int numVertices, int numPolygons, const MFloatPointArray& vertices, const MIntArray& counts,
                   const MIntArray& connects, const MFloatArray& u, const MFloatArray& v,
                   const MObject& parentOrOwner = MObject::kNullObj, MStatus* status = nullptr);
    // Replaces the attached mesh's geometry; its UV-set names stay (emptied).
    MStatus createInPlace(int numVertices, int numPolygons, const MFloatPointArray& vertices, const MIntArray& counts,
                          const MIntArray& connects);
    // The next read returns these points (tweaks of a mesh without history are zeroed).
    MStatus setPoints(const MFloatPointArray& points, MSpace::Space space = MSpace::kObject);
    MStatus setPoints(const MPointArray& points, MSpace::Space space = MSpace::kObject);

    // Setting a normal locks it; unlocking returns the corner to the smooth normal.
    MStatus setFaceVertexNormals(const MVectorArray& normals, const MIntArray& faces, const MIntArray& vertices,
                                 MSpace::Space space = MSpace::kObject);
    MStatus setVertexNormals(const MVectorArray& normals, const MIntArray& vertices,
                             MSpace::Space space = MSpace::kObject);
    MStatus unlockFaceVertexNormals(const MIntArray& faces, const MIntArray& vertices);
    bool isNormalLocked(int faceVertex, MStatus* status = nullptr) const;

    MStatus renameUVSet(const MString& from, const MString& to, MDGModifier* modifier = nullptr);
    MString createUVSetWithName(const MString& name, MDGModifier* modifier = nullptr, MStatus* status = nullptr);
    MString createUVSetDataMeshWithName(const MString& name, MStatus* status = nullptr);
    MStatus setCurrentUVSetName(const MString& name, MDGModifier* modifier = nullptr);
    MStatus clearUVs(const MString* set = nullptr);
    MStatus setUVs(const MFloatArray& u, const MFloatArray& v, const MString* set = nullptr);
    MStatus setSomeUVs(const MIntArray& ids, const MFloatArray& u, const MFloatArray& v, const MString* set = nullptr);
    // Per polygon its corner count (as the mesh has it) and per face-vertex a UV id.
    MStatus assignUVs(const MIntArray& counts, const MIntArray& ids, const MString* set = nullptr);

    // Registers a blind-data type scene-wide; registering an id twice fails.
    MStatus createBlindDataType(int blindDataId, const MStringArray& longNames, const MStringArray& shortNames,
                                const MStringArray& formatNames);
    MStatus setIntBlindData(int component, MFn::Type componentType, int blindDataId, const MString& attr, int value);
    MStatus setIntBlindData(const MIntArray& components, MFn::Type componentType, int blindDataId,
                            const MString& attr, int value);

    MString createColorSetWithName(const MString& name, MDGModifier* modifier = nullptr, MStatus* status = nullptr);
    MStatus deleteColorSet(const MString& name, MDGModifier* modifier = nullptr);
    MStatus setCurrentColorSetName(const MString& name, MDGModifier* modifier = nullptr);
    MString currentColorSetName(MStatus* status = nullptr) const;
    MStatus getColorSetNames(MStringArray& names) const;
    int numColorSets(MStatus* status = nullptr) const;
    // Colours of the current colour set, one per listed vertex.
    MStatus setVertexColors(const MColorArray& colors, const MIntArray& vertices, MDGModifier* modifier = nullptr);
    MStatus getVertexColors(MColorArray& colors, const MString* set = nullptr) const;

    // Writes here reach the scene at once: both only confirm the attachment.
    MStatus updateSurface();
    MStatus syncObject();

    // Host side: the geometry read (space as asked); the pointer form shares the stored one when it can.
    host::MeshGeometry geometry(MSpace::Space space = MSpace::kObject, MStatus* status = nullptr) const;
    std::shared_ptr<const host::MeshGeometry> geometryPtr(MSpace::Space space = MSpace::kObject,
                                                          MStatus* status = nullptr) const;

private:
    // Applies an edit: to a data object in place, to a shape through a detached copy of its own geometry.
    MStatus edit(const std::function<MStatus(host::MeshGeometry&)>& change);
    MObject data_;  // set when attached to a data object
};

// Makes empty mesh data objects, to be filled by a mesh function set.
class MFnMeshData {
public:
    MObject create(MStatus* status = nullptr);
};
