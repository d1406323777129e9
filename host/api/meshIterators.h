#pragma once

#include <array>
#include <memory>
#include <vector>

#include "host/api/component.h"
#include "host/api/dagPath.h"
#include "host/api/space.h"
#include "host/api/vectors.h"

namespace host {
struct MeshGeometry;
}

// Polygons of a mesh shape (path or node) or mesh data object, in index order.
class MItMeshPolygon {
public:
    explicit MItMeshPolygon(const MObject& mesh, MStatus* status = nullptr);
    explicit MItMeshPolygon(const MDagPath& mesh, const MObject& component = MObject::kNullObj,
                            MStatus* status = nullptr);
    ~MItMeshPolygon();

    bool isDone(MStatus* status = nullptr) const;
    MStatus next();
    MStatus reset();
    unsigned count(MStatus* status = nullptr) const;
    unsigned index(MStatus* status = nullptr) const;
    MStatus setIndex(int index, int& previous);

    unsigned polygonVertexCount(MStatus* status = nullptr) const;
    int vertexIndex(int corner, MStatus* status = nullptr) const;
    MStatus getVertices(MIntArray& vertices) const;
    int normalIndex(int corner, MStatus* status = nullptr) const;
    MStatus getNormal(MVector& normal, MSpace::Space space = MSpace::kObject) const;
    MPoint center(MSpace::Space space = MSpace::kObject, MStatus* status = nullptr) const;
    bool isConvex(MStatus* status = nullptr) const;
    bool isHoled(MStatus* status = nullptr) const;
    MStatus numTriangles(int& count) const;
    // Triangle t: its points and vertex ids.
    MStatus getTriangle(int t, MPointArray& points, MIntArray& vertices, MSpace::Space space = MSpace::kObject) const;
    MStatus getUVIndex(int corner, int& id, const MString* set = nullptr) const;
    bool hasUVs(MStatus* status = nullptr) const;
    // Area of the polygon (holes excluded), in the space asked for.
    MStatus getArea(double& area, MSpace::Space space = MSpace::kObject) const;

private:
    std::shared_ptr<const host::MeshGeometry> mesh_;
    MMatrix world_;
    std::vector<int> only_;  // component restriction; empty: all
    std::size_t at_ = 0;
    int current() const;
    // The current polygon's triangles, kept for the next call.
    const std::vector<std::array<int, 3>>& triangles(int polygon) const;
    mutable int trianglesOf_ = -1;
    mutable std::vector<std::array<int, 3>> triangles_;
};

// Vertices of a mesh, in index order.
class MItMeshVertex {
public:
    explicit MItMeshVertex(const MObject& mesh, MStatus* status = nullptr);
    explicit MItMeshVertex(const MDagPath& mesh, const MObject& component = MObject::kNullObj,
                           MStatus* status = nullptr);
    ~MItMeshVertex();

    bool isDone(MStatus* status = nullptr) const;
    MStatus next();
    MStatus reset();
    unsigned count(MStatus* status = nullptr) const;
    int index(MStatus* status = nullptr) const;
    MStatus setIndex(int index, int& previous);
    MPoint position(MSpace::Space space = MSpace::kObject, MStatus* status = nullptr) const;
    // Polygons using the vertex, in ascending order.
    MStatus getConnectedFaces(MIntArray& faces) const;
    MStatus numConnectedFaces(int& count) const;

private:
    std::shared_ptr<const host::MeshGeometry> mesh_;
    std::vector<std::vector<int>> faces_;
    MMatrix world_;
    std::size_t at_ = 0;
};
