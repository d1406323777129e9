// The displacement of zylJagginess: the direction a cut-face vertex moves along, the
// rippled push itself, and the softened normals of the cut faces.

#include <cmath>
#include <cstddef>
#include <map>
#include <vector>

#include "host/api/fnDependencyNode.h"
#include "host/api/fnMesh.h"
#include "host/api/global.h"
#include "host/api/meshIterators.h"
#include "src/meshWriter.h"
#include "src/modifiers/jagginessCmd.h"
#include "src/nodeHelpers.h"
#include "src/sceneUtils.h"

namespace {

// The ripple: 8 waves per unit of distance from the origin (16π).
constexpr double kRipple = 50.26548245743669;

// The normals of one kind around a vertex, near-equal ones (dot ≥ 0.99) counted once.
// Only the first N are kept: the callers need at most whether there are N or more.
template <std::size_t N>
struct NormalSet {
    MVector normals[N];
    std::size_t count = 0;

    void add(const MVector& n) {
        if (count == N) return;
        for (std::size_t i = 0; i < count; ++i)
            if (normals[i] * n >= 0.99f) return;
        normals[count++] = n;
    }
};

// Turned so that its component of largest magnitude (x only when larger than y, z
// unless strictly smaller than that one) is not negative.
MVector oriented(const MVector& v) {
    const double x = std::fabs(v.x), y = std::fabs(v.y), z = std::fabs(v.z);
    double largest = v.y;
    double size = y;
    if (x > y) {
        largest = v.x;
        size = x;
    }
    if (!(size > z)) largest = v.z;
    return largest < 0.0 ? -v : v;
}

}  // namespace

CutFaceTable readCutFaceTable(const MDagPath& shape) {
    CutFaceTable table;
    const std::vector<int> values = cutFaceValues(MFnMesh(shape));
    table.cut.reserve(values.size());
    for (const int value : values) table.cut.push_back(value == cutFace::kCut);
    table.normals.resize(values.size());
    for (MItMeshPolygon it(shape); !it.isDone(); it.next())
        if (it.index() < table.normals.size()) it.getNormal(table.normals[it.index()], MSpace::kWorld);
    return table;
}

JaggyDirection jaggyDirection(const MIntArray& faces, const CutFaceTable& mesh) {
    JaggyDirection result;
    NormalSet<3> cut;
    NormalSet<2> other;
    for (const int f : faces) {
        if (f < 0 || static_cast<std::size_t>(f) >= mesh.normals.size()) continue;
        const auto face = static_cast<std::size_t>(f);
        if (mesh.cut[face]) {
            result.flags |= kJaggyCutFace;
            cut.add(mesh.normals[face]);
        } else {
            result.flags |= kJaggyOtherFace;
            other.add(mesh.normals[face]);
        }
    }
    if (!(result.flags & kJaggyCutFace)) return result;

    if (!(result.flags & kJaggyOtherFace)) {
        if (cut.count >= 3) return result;
        MVector d = cut.normals[0];
        if (cut.count == 2 && std::fabs(d.z) > std::fabs(cut.normals[1].z)) d = cut.normals[1];
        result.direction = oriented(d);
        return result;
    }

    if (cut.count > 1) result.flags |= kJaggySeveralCutNormals;
    if (other.count > 1) return result;
    const MVector a = oriented(other.normals[0]);
    MVector w = oriented(cut.normals[0]);
    w = w - a * static_cast<double>(static_cast<float>(w * a));
    // A cut face lying in the outer face's plane leaves nothing to move along.
    if (w.length() > 0.0) result.direction = w.normal();
    return result;
}

void jagginessCmd::displaceMeshes(const MDagPathArray& meshes) const {
    for (const MDagPath& mesh : meshes) displaceMesh(mesh, true);
}

void jagginessCmd::displaceGroup(const MDagPath& group) const {
    for (const MDagPath& mesh : shatterGroupMeshes(group))
        if (hasMeshOpUpstream(mesh.node())) displaceMesh(mesh, false);
}

void jagginessCmd::displaceMesh(const MDagPath& shape, bool updateSurface) const {
    if (!shape.isValid() || shape.apiType() != MFn::kMesh) return;
    // From the undisplaced surface: a new strength replaces the last one.
    MPlug tweaks = MFnDependencyNode(shape.node()).findPlug("pnts");
    for (unsigned i = 0, n = tweaks.numElements(); i < n; ++i) {
        MPlug element = tweaks.elementByPhysicalIndex(i);
        for (unsigned c = 0; c < 3; ++c) element.child(c).setValue(0.0f);
    }

    MFnMesh mesh(shape);
    MPointArray points;
    mesh.getPoints(points, MSpace::kWorld);
    const CutFaceTable table = readCutFaceTable(shape);
    const double amplitude = strength_ * jaggyLength_;
    MIntArray faces;
    for (MItMeshVertex it(shape); !it.isDone(); it.next()) {
        const int v = it.index();
        if (v < 0 || static_cast<unsigned>(v) >= points.length()) continue;
        it.getConnectedFaces(faces);
        const JaggyDirection jaggy = jaggyDirection(faces, table);
        if (!jaggy.moves()) continue;
        MPoint& p = points[static_cast<unsigned>(v)];
        const float s = static_cast<float>(std::sin(MVector(p).length() * kRipple));
        p = p + jaggy.direction * (amplitude * s);
    }
    mesh.setPoints(points, MSpace::kWorld);
    if (updateSurface) mesh.updateSurface();
}

void jagginessCmd::softenGroup(const MDagPath& group) const {
    for (const MDagPath& mesh : shatterGroupMeshes(group))
        if (hasMeshOpUpstream(mesh.node())) softenCutFaceNormals(mesh);
}

void jagginessCmd::softenCutFaceNormals(const MDagPath& shape) {
    if (!shape.isValid() || shape.apiType() != MFn::kMesh) return;
    MFnMesh mesh(shape);
    const std::vector<int> values = cutFaceValues(mesh);
    const CutFaceTable table = readCutFaceTable(shape);
    MVectorArray normals;
    MIntArray vertices;
    MIntArray faces;
    for (MItMeshVertex it(shape); !it.isDone(); it.next()) {
        it.getConnectedFaces(faces);
        MVector sum;
        bool allCut = faces.length() > 0;
        for (const int f : faces) {
            const auto face = static_cast<std::size_t>(f);
            if (f < 0 || face >= values.size() || values[face] < cutFace::kCut) {
                allCut = false;
                break;
            }
            sum += table.normals[face];
        }
        // Opposite cut faces cancel out: such a vertex keeps its normal.
        if (!allCut || !(sum.length() > 0.0)) continue;
        normals.append(sum.normal());
        vertices.append(it.index());
    }
    mesh.setVertexNormals(normals, vertices, MSpace::kWorld);
    mesh.updateSurface();
    if (mesh.hasBlindData(MFn::kMeshPolygonComponent)) return;

    // The cut-face values were lost on the way: the UV-tweak node feeding the mesh
    // goes, and values and normals are written again.
    const MObject source = firstConnectedNode(MFnDependencyNode(shape.node()).findPlug("inMesh"),
                                              ConnectionSide::source);
    if (!source.isNull() && source.apiType() == MFn::kPolyTweakUV) MGlobal::deleteNode(source);
    std::map<int, MIntArray> facesByValue;
    for (std::size_t f = 0; f < values.size(); ++f) facesByValue[values[f]].append(static_cast<int>(f));
    for (const auto& [value, list] : facesByValue)
        mesh.setIntBlindData(list, MFn::kMeshPolygonComponent, cutFace::kBlindDataId, cutFace::kLongName, value);
    mesh.setVertexNormals(normals, vertices, MSpace::kWorld);
    mesh.updateSurface();
}

void jagginessCmd::removeSoftNormalNode(const MDagPath& shape) {
    if (!shape.isValid()) return;
    const auto feeding = [](const MObject& node) {
        return firstConnectedNode(MFnDependencyNode(node).findPlug("inMesh"), ConnectionSide::source);
    };
    MObject node = feeding(shape.node());
    while (!node.isNull() && node.apiType() == MFn::kPolyMerge) node = feeding(node);
    if (!node.isNull() && node.apiType() == MFn::kPolyTweakUV) MGlobal::deleteNode(node);
}
