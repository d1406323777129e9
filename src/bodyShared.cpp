#include "src/bodyShared.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "engine/bodies/hardBody.h"
#include "geometry/mesh/massProperties.h"
#include "host/api/animControl.h"
#include "host/api/global.h"
#include "host/api/transformationMatrix.h"
#include "math/quaternion.h"
#include "src/nodeHelpers.h"
#include "src/solverNode.h"

namespace {

constexpr double kMassPerVolume = 500.0;
constexpr double kFitUnitsMassScale = 0.015;
constexpr float kUnsetMass = 1e-5f;

}  // namespace

bool hasGeometry(const ZYLmesh* mesh) { return mesh && mesh->numFaces > 0 && mesh->numVertices > 0; }

bool buildableMesh(const ZYLmesh* mesh, const MObject& node) {
    if (!hasGeometry(mesh)) return false;
    const auto finite = [](const Qmt::QmtVector3& v) {
        return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
    };
    if (std::all_of(mesh->vertices, mesh->vertices + mesh->numVertices, finite)) return true;
    MGlobal::displayWarning("body " + MFnDependencyNode(node).name() +
                            " lies beyond single-precision range: no body is built");
    return false;
}

Qmt::QmtVector3 vertexMean(const ZYLmesh& mesh) {
    Qmt::QmtVector3 sum;
    for (std::uint32_t i = 0; i < mesh.numVertices; ++i) sum += mesh.vertices[i];
    return sum / static_cast<double>(mesh.numVertices);
}

double meshBodyMass(const ZYLmesh& mesh, const MObject& node, Qmt::QmtVector3& centre) {
    centre = Qmt::QmtVector3::ZERO;
    double m = ComputeMassProperties(&mesh, centre) * kMassPerVolume;
    auto* solver = userNodeAs<zylSolverNode>(solverOf(node), zylSolverNode::id);
    if (solver && solver->getFitUnits()) m *= kFitUnitsMassScale;
    const MString nodeName = MFnDependencyNode(node).name();
    if (m < 0.0) {
        MGlobal::displayWarning("body " + nodeName + " mass negative");
        m = -m;
    } else if (m == 0.0) {
        MGlobal::displayWarning("body " + nodeName + " has no volume");
        centre = vertexMean(mesh);
        m = 1.0;
    }
    return m;
}

float toSingle(double v) {
    constexpr double kLargest = std::numeric_limits<float>::max();
    return static_cast<float>(std::clamp(v, -kLargest, kLargest));
}

bool isSetMass(float mass) { return std::isfinite(mass) && mass >= kUnsetMass; }

void unsetBuiltCentre(const MPlug& centre, const Qmt::QmtVector3& built) {
    const Qmt::QmtVector3 stored(centre.child(0).asDouble(), centre.child(1).asDouble(), centre.child(2).asDouble());
    if (!isBuiltCentre(stored, built)) return;
    for (unsigned i = 0; i < 3; ++i) centre.child(i).setValue(kUnsetCentre);
}

bool isBuiltCentre(const Qmt::QmtVector3& stored, const Qmt::QmtVector3& built) {
    return (stored - built).SquaredLength() <= 1e-5;
}

std::optional<Qmt::QmtVector3> singleVector(const MFloatVector& v) {
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) return std::nullopt;
    return Qmt::QmtVector3(v.x, v.y, v.z);
}

std::optional<Qmt::QmtVector3> singleVector(const MPlug& plug) {
    return singleVector(MFloatVector(plug.child(0).asFloat(), plug.child(1).asFloat(), plug.child(2).asFloat()));
}

void setBodyName(HardBody& body, const MString& name) {
    const std::string text = name.str();
    const std::size_t length = std::min(text.size(), sizeof(body.transform.name) - 1);
    std::memcpy(body.transform.name, text.data(), length);
    body.transform.name[length] = '\0';
}

MMatrix poseMatrix(const MQuaternion& q, const MVector& t) {
    MTransformationMatrix pose;
    pose.rotateTo(q);
    pose.setTranslation(t, MSpace::kTransform);
    return pose.asMatrix();
}

Qmt::QmtVector3 spinBetween(const MQuaternion& q0, const MQuaternion& q1, double dt) {
    const MQuaternion d = (q0.inverse() * q1).normal();
    Qmt::QmtVector3 axis;
    double angle = 0.0;
    Qmt::Quaternion(d.w, d.x, d.y, d.z).ToAxisAngle(axis, angle);
    return axis * (angle / dt);
}

bool nodeDagPath(const MObject& node, MDagPath& path) {
    const MStatus status = MDagPath::getAPathTo(node, path);
    if (!status) printHostError(status, "retrieven dagPath of rigid node");
    return static_cast<bool>(status);
}

bool transformAbove(const MObject& node, MFnTransform& transform) {
    MDagPath path;
    if (!MDagPath::getAPathTo(node, path)) return false;
    path.pop();
    return static_cast<bool>(transform.setObject(path));
}

std::vector<MPlug> drivenChannels(const MObject& transform) {
    std::vector<MPlug> channels;
    const MFnDependencyNode node(transform);
    for (const char* name : {"translate", "rotate", "scale"}) {
        const MPlug channel = node.findPlug(name);
        if (channel.isNull()) continue;
        const bool whole = channel.isDestination();
        for (unsigned i = 0; i < channel.numChildren(); ++i)
            if (MPlug part = channel.child(i); whole || part.isDestination()) channels.push_back(part);
    }
    return channels;
}

void showDrivenChannelsAt(const MObject& transform, const MTime& t) {
    const MDGContext at(t);
    for (MPlug channel : drivenChannels(transform)) channel.setValue(channel.asDouble(at));
}

void resetFromRest(MFnTransform& transform) {
    transform.resetFromRestPosition();
    showDrivenChannelsAt(transform.object(), MAnimControl::minTime());
}

MMatrix bodyPoseMatrix(const HardBody& body) {
    const RBDynamics& state = body.getDyn();
    const Qmt::Quaternion& q = state.orientation;
    MTransformationMatrix pose;
    const double scale[3] = {body.transform.scale.x, body.transform.scale.y, body.transform.scale.z};
    pose.setScale(scale);
    pose.rotateTo(MQuaternion(q.X(), q.Y(), q.Z(), q.W()));
    pose.setTranslation(MVector(state.position.x, state.position.y, state.position.z));
    return pose.asMatrix();
}

MVector asVector(const std::array<float, 3>& v) { return {v[0], v[1], v[2]}; }
MQuaternion asQuaternion(const std::array<float, 4>& q) { return {q[0], q[1], q[2], q[3]}; }

MVector blendVectors(const MVector& a, const MVector& b, double s) { return a * (1.0 - s) + b * s; }

MQuaternion blendRotations(const MQuaternion& q0, const MQuaternion& q1, double s) {
    const MQuaternion q((1.0 - s) * q0.x + s * q1.x, (1.0 - s) * q0.y + s * q1.y, (1.0 - s) * q0.z + s * q1.z,
                        (1.0 - s) * q0.w + s * q1.w);
    return q.normal();
}
