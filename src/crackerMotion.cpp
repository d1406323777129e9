// The cracker's body follows the animated transform above its node: poses read from
// the transform, velocities of the motion over a frame, placements inside it, and the
// rest pose a run starts from.

#include <limits>
#include <vector>

#include "engine/bodies/capsuleBody.h"
#include "host/api/fnNurbsCurve.h"
#include "host/api/fnTransform.h"
#include "host/api/transformationMatrix.h"
#include "math/qmtMath.h"
#include "math/quaternion.h"
#include "src/bodyShared.h"
#include "src/crackerNode.h"
#include "src/glDraw.h"
#include "src/nodeHelpers.h"
#include "src/sceneUtils.h"

namespace {

// Alignment modes of the node's `type`.
constexpr int kAlignToPath = 0;
constexpr int kAlignToSurface = 1;

// The random factors of `multrand`: a draw above 1 - r speeds the cracker up, one
// below r slows it down.
constexpr double kFastFactor = 1.5;
constexpr double kSlowFactor = 0.75;

// A cross product shorter than this does not tell a plane.
constexpr double kMinCross = 1e-5;

Qmt::QmtVector3 toQmtVector(const std::array<float, 3>& v) { return {v[0], v[1], v[2]}; }

}  // namespace

bool zylCrackerNode::readWorldMatrix(MMatrix& e, MDagPath* out) const {
    MDagPath path;
    if (!nodeDagPath(thisMObject(), path)) return false;
    e = path.exclusiveMatrix();
    if (out) *out = path;
    return true;
}

void zylCrackerNode::decompose(const MMatrix& e, Pose& pose, Vec3f& scale) {
    const MTransformationMatrix parts(e);
    const MVector t = parts.getTranslation(MSpace::kTransform);
    const MQuaternion q = parts.rotation();
    double s[3] = {1, 1, 1};
    parts.getScale(s, MSpace::kTransform);
    pose.translation = {toSingle(t.x), toSingle(t.y), toSingle(t.z)};
    pose.rotation = {static_cast<float>(q.x), static_cast<float>(q.y), static_cast<float>(q.z), static_cast<float>(q.w)};
    scale = {toSingle(s[0]), toSingle(s[1]), toSingle(s[2])};
}

void zylCrackerNode::placeBody(const MMatrix& x) {
    const MTransformationMatrix parts(x);
    const MVector t = parts.getTranslation(MSpace::kTransform);
    const MQuaternion q = parts.rotation();
    body_->setPosition(Qmt::QmtVector3(t.x, t.y, t.z));
    body_->setOrientation(Qmt::Quaternion(q.w, q.x, q.y, q.z));
}

void zylCrackerNode::takeOffset(const MMatrix& b, const MMatrix& e, const MDagPath& path) {
    const MMatrix bInverse = b.inverse();
    offset_ = composeTransform(bInverse, e);
    MDagPath transform = path;
    transform.pop();
    const MPoint p = MFnTransform(transform).rotatePivot(MSpace::kWorld) * bInverse;
    pivot_ = {toSingle(p.x), toSingle(p.y), toSingle(p.z)};
    const MVector c = transformPoint(MVector(b[3][0], b[3][1], b[3][2]), e.inverse());
    localCentre_ = {toSingle(c.x), toSingle(c.y), toSingle(c.z)};
}

void zylCrackerNode::readNodeTransformWithScale(const MTime&) {
    MMatrix e;
    if (readWorldMatrix(e)) decompose(e, current_, capturedScale_);
}

void zylCrackerNode::updateBodyFromNodeTransform(const MTime&) {
    if (!body_) return;
    MMatrix e;
    if (!readWorldMatrix(e)) return;
    decompose(e, previous_, syncedScale_);
    placeBody(composeTransform(e, offset_.inverse()));
}

void zylCrackerNode::computeBodyVelocityFromAnimation(double dt) {
    if (!body_) return;
    const MObject self = thisMObject();
    // A pending change of the alignment parameters reaches the impulse direction first.
    MPlug(self, ca_crackerParam).asBool();
    const double m = MPlug(self, multiplier).asDouble();
    const double r = MPlug(self, multrand).asDouble();
    const int alignment = MPlug(self, type).asInt();

    const MVector moved = asVector(current_.translation) - asVector(previous_.translation);
    Qmt::QmtVector3 v = Qmt::QmtVector3(moved.x, moved.y, moved.z) / dt * m;
    if (r > 0.0) {
        const double u = Qmt::Math::UnitRandom();
        if (u > 1.0 - r)
            v = v * kFastFactor;
        else if (u < r)
            v = v * kSlowFactor;
    }
    if (alignment != kAlignToPath) {
        if (alignment == kAlignToSurface)
            impulseDirection_ =
                surfaceImpulseDirection(toQmtVector(previous_.translation), toQmtVector(current_.translation));
        const auto speed = static_cast<float>(v.Length());
        v = impulseDirection_ * static_cast<double>(speed);
    }
    body_->setLinearVelocity(v);
    body_->setAngularVelocity(spinBetween(asQuaternion(previous_.rotation), asQuaternion(current_.rotation), dt));
}

void zylCrackerNode::interpolateBodyPlacement(double s) {
    if (!body_) return;
    const MVector p = blendVectors(asVector(previous_.translation), asVector(current_.translation), s);
    const MQuaternion q = blendRotations(asQuaternion(previous_.rotation), asQuaternion(current_.rotation), s);
    // The scale blends too, so that both ends match the transform's own matrix.
    const MVector scale = blendVectors(asVector(syncedScale_), asVector(capturedScale_), s);
    MTransformationMatrix pose;
    const double factors[3] = {scale.x, scale.y, scale.z};
    pose.setScale(factors);
    pose.rotateTo(q);
    pose.setTranslation(p, MSpace::kTransform);
    placeBody(composeTransform(pose.asMatrix(), offset_.inverse()));
}

void zylCrackerNode::resetNodeToRestPosition() {
    if (!restStored_) return;
    previous_ = current_ = rest_;
    if (body_) body_->applyInitialState();
    MFnTransform transform;
    if (transformAbove(thisMObject(), transform)) resetFromRest(transform);
}

void zylCrackerNode::storeRestPosition(const MTime& time) {
    if (body_) {
        updateBodyFromNodeTransform(time);
        body_->storeInitialState(1);
    }
    rest_ = previous_;
    restStored_ = true;
    MFnTransform transform;
    if (transformAbove(thisMObject(), transform)) transform.setRestPosition(transform.transformation());
}

MObject zylCrackerNode::findPathCurve() const {
    MDagPath path;
    if (!MDagPath::getAPathTo(thisMObject(), path)) return {};
    path.pop();
    if (!path.isValid() || path.length() == 0) return {};
    const MPlug manip = MFnDependencyNode(path.node()).findPlug("specifiedManipLocation");
    if (manip.isNull()) return {};
    const MObject motionPath = firstConnectedNode(manip, ConnectionSide::source);
    if (motionPath.isNull()) return {};
    const MPlug geometry = MFnDependencyNode(motionPath).findPlug("geometryPath");
    if (geometry.isNull()) return {};
    return firstConnectedNode(geometry, ConnectionSide::source);
}

Qmt::QmtVector3 zylCrackerNode::surfaceImpulseDirection(const Qmt::QmtVector3& previous,
                                                        const Qmt::QmtVector3& current) const {
    Qmt::QmtVector3 d(0.0, 0.0, 1.0);
    const MObject curveNode = findPathCurve();
    MDagPath curvePath;
    if (curveNode.isNull() || !MDagPath::getAPathTo(curveNode, curvePath)) return d;
    const MFnNurbsCurve curve(curvePath);
    const int count = 4 * curve.numCVs();
    std::vector<Qmt::QmtVector3> samples(count > 0 ? static_cast<std::size_t>(count) : 0);
    if (!sampleCurvePoints(curve, samples.data(), count)) return d;

    std::size_t nearest = 0;
    double best = std::numeric_limits<float>::max();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double distance = (samples[i] - current).Length();
        if (distance < best) {
            best = distance;
            nearest = i;
        }
    }
    Qmt::QmtVector3 motion = current - previous;
    motion.Unitize(kUnitizeTolerance);
    for (std::size_t j = nearest + 1; j < samples.size(); ++j) {
        Qmt::QmtVector3 tangent = samples[j] - samples[nearest];
        tangent.Unitize(kUnitizeTolerance);
        Qmt::QmtVector3 across = motion.Cross(tangent);
        if (across.Length() > kMinCross) {
            across.Unitize(kUnitizeTolerance);
            d = across;
            break;
        }
    }
    MVector view(0.0, 0.0, 0.0);
    getActiveViewDirection(view);
    if (d.x * view.x + d.y * view.y + d.z * view.z > 0.0) d = -d;
    return d;
}
