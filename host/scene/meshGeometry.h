#pragma once

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/core/value.h"

namespace host {

using Float3 = std::array<float, 3>;

struct UVSetData {
    std::string name;
    std::vector<float> u, v;
    std::vector<int> ids;  // per face-vertex; -1 where the corner has no UV
};

// Colours per vertex; `has` marks the vertices given a colour.
struct ColorSetData {
    std::string name;
    std::vector<std::array<float, 4>> colors;
    std::vector<char> has;
};

// A polygon mesh: float points, polygons as loops (outer first, then holes) and
// per face-vertex normals and UV ids. A polygon's corners are all its loops'
// vertices in order, so face-vertex k of polygon p is polygonStart[p] + k.
struct MeshGeometry {
    std::vector<Float3> points;
    std::vector<int> loopSizes;       // per loop
    std::vector<int> polygonLoops;    // per polygon: its loop count
    std::vector<int> faceVertices;    // vertex ids, all loops of all polygons
    std::vector<int> polygonStart;    // per polygon: first face-vertex (size polygons + 1)
    std::vector<int> polygonFirstLoop;  // per polygon: its first loop (size polygons + 1)
    std::vector<Float3> lockedNormals;  // per face-vertex, used where locked
    std::vector<char> normalLocked;     // per face-vertex
    std::vector<UVSetData> uvSets;
    int currentUVSet = 0;
    std::vector<ColorSetData> colorSets;
    int currentColorSet = -1;  // none
    // Blind data: type id -> component kind -> component id -> attribute -> value.
    std::map<int, std::map<int, std::map<int, std::map<std::string, Value>>>> blindData;

    int numPolygons() const { return static_cast<int>(polygonLoops.size()); }
    int numFaceVertices() const { return static_cast<int>(faceVertices.size()); }
    int polygonSize(int p) const { return polygonStart[p + 1] - polygonStart[p]; }
    // Appends a polygon; loops[0] is the outer boundary.
    void addPolygon(const std::vector<std::vector<int>>& loops);
    // Outer loop first-face-vertex and size.
    int outerSize(int p) const { return loopSizes[polygonFirstLoop[p]]; }
    bool isHoled(int p) const { return polygonLoops[p] > 1; }
    std::vector<int> loopCorners(int p, int loop) const;  // corner indices of one loop

    // Newell normal of the outer loop, unit length (zero when degenerate).
    std::array<double, 3> polygonNormal(int p) const;
    // Per face-vertex normal: locked value, else the smooth vertex normal.
    std::vector<Float3> faceVertexNormals() const;
    // Polygons using each vertex, ascending.
    std::vector<std::vector<int>> vertexFaces() const;
};

class MeshData : public DataObject {
public:
    MFn::Type kind() const override { return MFn::kMeshData; }
    std::shared_ptr<DataObject> clone() const override { return std::make_shared<MeshData>(*this); }
    MeshGeometry geometry;
};

// Triangles of a polygon by ear clipping (holes bridged to the outer loop first),
// as corner indices of the polygon; n − 2 + 2·holes triangles.
std::vector<std::array<int, 3>> triangulatePolygon(const MeshGeometry& mesh, int polygon);
// A polygon without holes whose corners all turn the same way.
bool isConvexPolygon(const MeshGeometry& mesh, int polygon);

// Primitives, centred at the origin.
MeshGeometry makeCube(double size);
MeshGeometry makePlane(double width, int divisions);
MeshGeometry makeSphere(double radius, int segments, int rings);

}  // namespace host
