#include "src/sceneUtils.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <vector>

#include "geometry/bounds/boxFit.h"
#include "host/api/animControl.h"
#include "host/api/fnDagNode.h"
#include "host/api/iterators.h"
#include "host/api/view3d.h"
#include "math/qmtVector2.h"
#include "src/typeIds.h"

namespace {

bool isWorld(const MDagPath& path) { return path.apiType() == MFn::kWorld; }

bool hasTypeId(const MObject& node, const MTypeId& id) {
    MStatus status;
    const MTypeId nodeId = MFnDependencyNode(node).typeId(&status);
    return status && nodeId == id;
}

// The node feeding the named input plug, or null when the plug is missing or unconnected.
MObject sourceNodeOf(const MObject& node, const char* plugName) {
    MStatus status;
    const MPlug plug = MFnDependencyNode(node).findPlug(plugName, &status);
    if (!status || plug.isNull()) return MObject::kNullObj;
    const MPlug source = plug.source();
    return source.isNull() ? MObject::kNullObj : source.node();
}

// The first child of a DAG node that passes the test; null when none does.
template <typename Test>
bool findChild(const MObject& node, MObject& child, Test test) {
    child = MObject::kNullObj;
    if (node.isNull() || !node.hasFn(MFn::kDagNode)) return false;
    const MFnDagNode dag(node);
    for (unsigned i = 0, n = dag.childCount(); i < n; ++i) {
        const MObject c = dag.child(i);
        if (test(c)) {
            child = c;
            return true;
        }
    }
    return false;
}

Qmt::QmtVector3 toQmt(const MPoint& p) { return {p.x, p.y, p.z}; }
Qmt::QmtVector3 toQmt(const MVector& v) { return {v.x, v.y, v.z}; }

}  // namespace

void getActiveViewDirection(MVector& direction) {
    MDagPath camera;
    if (!M3dView::active3dView().getCamera(camera)) return;
    MStatus status;
    const MVector d = MFnCamera(camera).viewDirection(MSpace::kWorld, &status);
    if (status) direction = d;
}

int wholeFrames(double frames) {
    if (std::isnan(frames)) return 0;
    return static_cast<int>(std::clamp(std::trunc(frames), static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

int wholeFrames(const MTime& t) { return wholeFrames(t.as(MTime::uiUnit())); }

int playRangeFrames() {
    // An inverted range (the host refuses one, its API may not) still starts a run.
    const int span = std::max(wholeFrames(MAnimControl::maxTime() - MAnimControl::minTime()), 0);
    return span < INT_MAX ? span + 1 : span;
}

void splitSeconds(double& seconds, int& minutes, int& hours) {
    if (!(seconds > 60.0)) return;
    minutes = static_cast<int>(seconds) / 60;
    seconds -= 60.0 * minutes;
    if (minutes > 60) {
        hours = minutes / 60;
        minutes -= 60 * hours;
    }
}

MString elapsedTimeText(double seconds) {
    int minutes = 0;
    int hours = 0;
    splitSeconds(seconds, minutes, hours);
    char text[64];
    std::snprintf(text, sizeof text, "%d::%d::%.2f", hours, minutes, seconds);
    return text;
}

bool findHostRigidBodyChild(const MObject& node, MObject& child) {
    return findChild(node, child, [](const MObject& c) { return MFnDependencyNode(c).typeName() == "rigidBody"; });
}

bool findZylRigidBodyChild(const MObject& node, MObject& child) {
    return findChild(node, child, [](const MObject& c) { return hasTypeId(c, zylTypes::kRigidBody); });
}

void findVoronoiNodeChild(const MDagPath& group, MObject& voronoi) {
    voronoi = MObject::kNullObj;
    if (!group.isValid()) return;
    for (unsigned i = 0, n = group.childCount(); i < n; ++i) {
        const MObject holder = group.child(i);
        if (!holder.hasFn(MFn::kTransform)) continue;
        const MFnDagNode fn(holder);
        if (fn.childCount() != 1) continue;
        const MObject only = fn.child(0);
        if (hasTypeId(only, zylTypes::kVoronoi)) {
            voronoi = only;
            return;
        }
    }
}

bool isShatterGroup(const MDagPath& path) {
    if (!path.isValid() || !path.hasFn(MFn::kTransform)) return false;
    MObject voronoi;
    findVoronoiNodeChild(path, voronoi);
    return !voronoi.isNull();
}

bool isInShatterGroup(const MDagPath& path) {
    MDagPath parent = path;
    if (!parent.pop()) return false;
    return isShatterGroup(parent);
}

bool findTopShatterGroup(const MDagPath& path, MDagPath& group) {
    group = path;
    // Up to the first shatter group...
    while (group.isValid() && !isWorld(group)) {
        if (isShatterGroup(group)) break;
        group.pop();
    }
    // ...then on up while the parent is one too.
    while (group.isValid() && !isWorld(group)) {
        const MDagPath remembered = group;
        group.pop();
        if (!isShatterGroup(group)) {
            group = remembered;
            return true;
        }
    }
    return false;
}

bool findShatterGroupVoronoiNode(const MDagPath& path, MObject& voronoi, MDagPath& group) {
    voronoi = MObject::kNullObj;
    if (!findTopShatterGroup(path, group)) return false;
    findVoronoiNodeChild(group, voronoi);
    return !voronoi.isNull();
}

void findWorldMeshConsumer(const MDagPath& meshPath, MObject& consumer) {
    consumer = MObject::kNullObj;
    MStatus status;
    const MPlug worldMesh = MFnDependencyNode(meshPath.node()).findPlug("worldMesh", true, &status);
    if (!status || worldMesh.isNull()) return;
    const MPlug element = worldMesh.elementByLogicalIndex(meshPath.instanceNumber(), &status);
    if (!status) return;
    for (MItDependencyGraph it(element, MFn::kPluginLocatorNode, MItDependencyGraph::kDownstream); !it.isDone();
         it.next()) {
        const MObject node = it.currentItem();
        if (node.apiType() == MFn::kPluginLocatorNode && hasTypeId(node, zylTypes::kVoronoi)) {
            consumer = node;
            return;
        }
    }
}

void findVoronoiNodeForMesh(const MDagPath& meshPath, MObject& voronoi, VoronoiGroupAnswers* answers) {
    findWorldMeshConsumer(meshPath, voronoi);
    if (!voronoi.isNull()) return;
    // Shape, its transform, then the group holding the shards.
    MDagPath group = meshPath;
    if (!group.pop(2) || !group.isValid() || !group.hasFn(MFn::kTransform)) return;
    if (!answers) {
        findVoronoiNodeChild(group, voronoi);
        return;
    }
    const MObject node = group.node();
    const auto known = std::ranges::find_if(*answers, [&](const auto& answer) { return answer.first == node; });
    if (known != answers->end()) {
        voronoi = known->second;
        return;
    }
    findVoronoiNodeChild(group, voronoi);
    answers->emplace_back(node, voronoi);
}

bool hasMeshOpUpstream(const MObject& mesh) {
    if (mesh.isNull()) return false;
    // A missing input ends the walk, and so does a node met twice (a cycle of tweaks).
    std::vector<MObject> visited{mesh};
    MObject node;
    auto step = [&](const MObject& from, const char* plug) {
        node = sourceNodeOf(from, plug);
        if (node.isNull() || std::find(visited.begin(), visited.end(), node) != visited.end()) return false;
        visited.push_back(node);
        return true;
    };
    if (!step(mesh, "inMesh")) return false;
    MFn::Type kind = node.apiType();
    if (kind == MFn::kPolyTweakUV) {
        if (!step(node, "inputPolymesh")) return false;
        kind = node.apiType();
        if (kind == MFn::kPolyMerge) {
            if (!step(node, "inMesh")) return false;
            kind = node.apiType();
            if (kind != MFn::kTweak) return false;
        }
    }
    while (kind == MFn::kTweak) {
        if (!step(node, "inputGeometry")) return false;
        kind = node.apiType();
    }
    return kind == MFn::kPluginDependNode && hasTypeId(node, zylTypes::kMeshOp);
}

bool isInMeshFedByType989(const MObject& mesh) {
    MStatus status;
    const MPlug inMesh = MFnDependencyNode(mesh).findPlug("inMesh", true, &status);
    if (!status || inMesh.isNull()) return false;
    MPlugArray sources;
    inMesh.connectedTo(sources, true, false);
    for (unsigned i = 0; i < sources.length(); ++i)
        if (sources[i].node().apiType() == MFn::kPolyCreator) return true;
    return false;
}

MDagPath findFarthestUpstreamMesh(const MDagPath& path) {
    MDagPath result = path;
    MStatus status;
    MItDependencyGraph it(path.node(), MFn::kInvalid, MItDependencyGraph::kUpstream, MItDependencyGraph::kBreadthFirst,
                          MItDependencyGraph::kNodeLevel, &status);
    if (!status) return result;
    MObject last;
    for (; !it.isDone(); it.next())
        if (const MObject node = it.currentItem(); node.apiType() == MFn::kMesh) last = node;
    if (!last.isNull()) MDagPath::getAPathTo(last, result);
    return result;
}

bool getMeshShaders(const MDagPath& meshPath, MObjectArray& shaders, MIntArray& indices) {
    MStatus status;
    const MFnMesh mesh(meshPath, &status);
    if (!status) return false;
    if (!mesh.getConnectedShaders(meshPath.instanceNumber(), shaders, indices)) return false;
    return shaders.length() > 0;
}

bool findShadingEngineName(const MDagPath& path, const MString& prefix, MString& name) {
    MStatus status;
    const MObject start = path.node(&status);
    if (!status) return false;
    MItDependencyGraph it(start, MFn::kInvalid, MItDependencyGraph::kDownstream, MItDependencyGraph::kBreadthFirst,
                          MItDependencyGraph::kNodeLevel, &status);
    if (!status) return false;
    for (; !it.isDone(); it.next()) {
        const MObject node = it.currentItem();
        // Another shape below this one (a mesh fed by it, a curve, a surface) has its own shading.
        if (node != start && node.hasFn(MFn::kGeometric)) return false;
        const MString nodeName = MFnDependencyNode(node).name();
        if (nodeName.str().starts_with(prefix.str())) {
            name = nodeName;
            return true;
        }
    }
    return false;
}

bool sampleCurvePoints(const MFnNurbsCurve& curve, Qmt::QmtVector3* points, int n) {
    double start = 0.0, end = 0.0;
    if (!curve.getKnotDomain(start, end)) return false;
    if (end - start < 1e-5) return false;
    const double step = n > 1 ? (end - start) / (n - 1) : end - start;
    double param = start;
    for (int i = 0; i < n; ++i) {
        MPoint p;
        curve.getPointAtParam(param, p, MSpace::kWorld);
        points[i] = toQmt(p);
        param = std::min(param + step, end);
    }
    return true;
}

bool interpolatePolygonUV(const MPoint& point, int polygonId, int anchor, const MFnMesh& mesh,
                          const MString& uvSet, float& u, float& v) {
    MIntArray corners;
    if (!mesh.getPolygonVertices(polygonId, corners) || corners.length() < 3) return false;
    const int count = static_cast<int>(corners.length());
    if (anchor < 0 || anchor >= count) return false;
    MFloatArray us, vs;
    if (!mesh.getUVs(us, vs, &uvSet)) return false;
    std::vector<Qmt::QmtVector3> p(static_cast<std::size_t>(count));
    std::vector<float> cu(p.size()), cv(p.size());
    for (int c = 0; c < count; ++c) {
        MPoint at;
        int id = -1;
        if (!mesh.getPoint(corners[static_cast<unsigned>(c)], at, MSpace::kObject)) return false;
        if (!mesh.getPolygonUVid(polygonId, c, id, &uvSet) || id < 0 || static_cast<unsigned>(id) >= us.length())
            return false;
        p[static_cast<std::size_t>(c)] = toQmt(at);
        cu[static_cast<std::size_t>(c)] = us[static_cast<unsigned>(id)];
        cv[static_cast<std::size_t>(c)] = vs[static_cast<unsigned>(id)];
    }
    const auto a = static_cast<std::size_t>(anchor);
    const Qmt::QmtVector3& A = p[a];
    const float ua = cu[a], va = cv[a];
    // B: the corner farthest from the anchor in u alone.
    std::size_t b = a;
    double widest = -1.0;
    for (std::size_t c = 0; c < p.size(); ++c) {
        if (c == a || !(std::fabs(cu[c] - ua) > widest)) continue;
        widest = std::fabs(cu[c] - ua);
        b = c;
    }
    // T: the corner spanning the largest parallelogram with the anchor and B.
    const Qmt::QmtVector3 e1 = p[b] - A;
    std::size_t t = a;
    double largest = -1.0;
    for (std::size_t c = 0; c < p.size(); ++c) {
        if (c == a || c == b) continue;
        const double area = (p[c] - A).Cross(e1).Length();
        if (!(area > largest)) continue;
        largest = area;
        t = c;
    }
    MVector normal;
    if (!mesh.getPolygonNormal(polygonId, normal, MSpace::kObject)) return false;
    float du = 0.0f, dv = 0.0f;
    interpolateUVOnPlane(toQmt(point) - A, toQmt(normal), e1, p[t] - A, Qmt::QmtVector2(cu[b] - ua, cu[t] - ua),
                         Qmt::QmtVector2(cv[b] - va, cv[t] - va), du, dv);
    u = du + ua;
    v = dv + va;
    return true;
}

void copyTransformValues(MStatus& status, const MFnDependencyNode& source, const MFnDependencyNode& target) {
    for (const char* name : {"translate", "rotate"}) {
        const MPlug from = source.findPlug(name, true, &status);
        if (!status) return;
        const MPlug to = target.findPlug(name, true, &status);
        if (!status) return;
        for (unsigned i = 0; i < 3; ++i) {
            float value = 0.0f;
            status = from.child(i).getValue(value);
            if (!status) return;
            MPlug child = to.child(i, &status);
            if (!status) return;
            status = child.setValue(value);
            if (!status) return;
        }
    }
}
