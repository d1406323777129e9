// The fracture body through a run: start and reset, breaking by frame, host force
// fields on the joints, riding on an animated parent and releasing static parts.

#include <cfloat>
#include <vector>

#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "engine/world/engineApi.h"
#include "engine/world/publicWorld.h"
#include "host/api/animControl.h"
#include "host/api/dgContext.h"
#include "host/api/fnDependencyNode.h"
#include "host/api/fnField.h"
#include "host/api/fnTransform.h"
#include "host/api/quaternion.h"
#include "host/api/transformationMatrix.h"
#include "src/clusterNode.h"
#include "src/fractureBodyNode.h"
#include "src/bodyShared.h"
#include "src/rigidBodyNode.h"
#include "src/sceneUtils.h"
#include "src/stressNode.h"

namespace {

// Break energies and field forces (squared) up to this count as none.
constexpr double kNegligible = 1e-5;

// Runs an edit on a member with its physical attributes and its node unlocked; both are
// locked after, as members of a fracture body always are.
template <class Edit>
void editUnlocked(rigidBodyNode& member, Edit edit) {
    MFnDependencyNode node(member.thisMObject());
    member.lockAttributes(false);
    node.setLocked(false);
    edit();
    member.lockAttributes(true);
    node.setLocked(true);
}

// The transform that groups the members: the parent of the member's own transform.
bool memberGroup(const rigidBodyNode& member, MFnTransform& group) {
    MDagPath path;
    if (!MDagPath::getAPathTo(member.thisMObject(), path) || !path.pop(2) || path.length() == 0) return false;
    return path.hasFn(MFn::kTransform) && group.setObject(path);
}

bool isActiveJoint(const DynamicStress* joint) { return joint && joint->isActive(); }
bool takesFieldForce(const DynamicStress* joint) { return isActiveJoint(joint) && joint->isBreakableByForce(); }

double squaredLength(const MVector& v) { return v.x * v.x + v.y * v.y + v.z * v.z; }

}  // namespace

// ---- Start and reset ---------------------------------------------------------------

void FractureBodyNode::prepareAtTime(const MTime& time) {
    lastRandomThreshold = plug(randomThreshold).asInt();
    const std::vector<rigidBodyNode*> members = memberNodes();
    for (rigidBodyNode* member : members) editUnlocked(*member, [&] { member->setRestFromCurrent(time); });
    if (MFnTransform group; !members.empty() && memberGroup(*members.front(), group))
        group.setRestPosition(group.transformation());
    for (SceneStress* stress : stressNodes()) stress->storeInitialState();
    for (clusterFractureNode* cluster : clusterNodes()) cluster->storeInitialState(time);
    if (fractureBody) fractureBody->storeInitialState(1);
}

void FractureBodyNode::splitAtStart() {
    if (!fractureBody || !fractureBody->isActive()) return;
    fractureBody->split();
    if (PublicWorld* world = engineWorld()) world->reinsertBodyTree(fractureBody);
}

void FractureBodyNode::resetMembers() {
    const StressListScope sameStresses(*this);
    const bool breakable = !plug(unbreakable).asBool();
    if (fractureBody) {
        PublicWorld* world = engineWorld();
        if (world) world->restoreInitialState(fractureBody);
        // The run starts as the node stands now (a switch set since the last start or
        // build counts, as a saved scene has it), static or not before it is filed
        // again, so that the world files it by its state.
        const bool passiveAtStart = plug(passive).asBool();
        const bool enabledAtStart = plug(enabled).asBool();
        if (passiveAtStart)
            fractureBody->enableStatic();
        else
            fractureBody->disableStatic();
        if (world) {
            if (enabledAtStart)
                world->reinsertBody(fractureBody);
            else
                world->deactivateBody(fractureBody);
        }
        if (breakable)
            fractureBody->setBreakable();
        else
            fractureBody->setUnBreakable();
    }
    // A value set on a stress node since its snapshot is its start value now.
    pullStressChangeFlags();
    for (SceneStress* stress : stressNodes()) stress->restoreInitialState();
    const std::vector<rigidBodyNode*> members = memberNodes();
    for (rigidBodyNode* member : members) editUnlocked(*member, [&] { member->resetToRest(); });
    if (MFnTransform group; !members.empty() && memberGroup(*members.front(), group)) resetFromRest(group);
    for (clusterFractureNode* cluster : clusterNodes()) cluster->restoreInitialState();

    // The random cells may have moved since the colours were drawn.
    const int random = plug(randomThreshold).asInt();
    if (random == lastRandomThreshold) return;
    lastRandomThreshold = random;
    recolorShownStresses();
}

// ---- Per frame ---------------------------------------------------------------------

void FractureBodyNode::breakStressesAtFrame(int frame) {
    bool broke = false;
    for (SceneStress* stress : std::vector<SceneStress*>(byFrameStresses)) {
        DynamicStress* const joint = stress->getJoint();
        if (!isActiveJoint(joint) || !joint->isBreakableByFrame() || stress->getIntProperty("frameToBreak") > frame)
            continue;
        // A joint that force can break is left to the force from its frame on.
        if (joint->isBreakableByForce() && joint->get_break_tolerance() >= kNegligible) {
            joint->disableBreakableByFrame();
            continue;
        }
        if (!fractureBody) continue;
        fractureBody->deActivateJoint(joint);
        if (joint->getBreakEnergy() <= kNegligible) {
            broke = true;
            continue;
        }
        PrivateHardBody* const cnode = joint->getCNode();
        PrivateHardBody* const pnode = joint->getPNode();
        if (!cnode || !pnode) continue;
        // The energy pushes the two sides apart on the propagation's copies, so only the
        // further breaks it causes show.
        fractureBody->resetStepFlags();
        joint->applyImpulse(joint->solveStressImpulse(), -1.0);
        fractureBody->propagateStress(cnode, FLT_MAX);
        fractureBody->propagateStress(pnode, FLT_MAX);
        broke = true;
    }
    if (!broke || !fractureBody) return;
    fractureBody->splitByExternalBrokenJoints();
    if (PublicWorld* world = engineWorld()) world->postCollisionUpdate();
}

void FractureBodyNode::updateStressPositions() {
    if (!fractureBody) return;
    for (SceneStress* stress : stressNodes()) {
        const DynamicStress* const joint = stress->getJoint();
        if (!isActiveJoint(joint)) continue;
        Qmt::QmtVector3 anchor;
        joint->getAnchorState(anchor);
        stress->setPosition(toSingle(anchor.x), toSingle(anchor.y), toSingle(anchor.z));
    }
}

void FractureBodyNode::releaseStaticParts() {
    if (!fractureBody || !fractureBody->isStatic()) return;
    fractureBody->disableStaticParts();
    if (PublicWorld* world = engineWorld()) world->reinsertBodyTree(fractureBody);
}

// ---- Force fields on the joints ----------------------------------------------------

void FractureBodyNode::collectStressFieldSamples(MVectorArray& positions, MVectorArray& velocities,
                                                 MDoubleArray& masses) {
    if (!fractureBody) return;
    for (const SceneStress* stress : stressNodes()) {
        const DynamicStress* const joint = stress->getJoint();
        if (!takesFieldForce(joint)) continue;
        Qmt::QmtVector3 anchor;
        joint->getAnchorState(anchor);
        positions.append(MVector(anchor.x, anchor.y, anchor.z));
        velocities.append(MVector());
        masses.append(1.0);
    }
    for (clusterFractureNode* cluster : clusterNodes()) cluster->collectFieldSamples(positions, velocities, masses);
}

void FractureBodyNode::addFieldForces(const MObject& field, const MVectorArray& positions,
                                      const MVectorArray& velocities, const MDoubleArray& masses,
                                      MVectorArray& accumulator, double dt) {
    MFnField fn;
    if (!fn.setObject(field)) return;
    MPointArray points;
    for (const MVector& p : positions) points.append(MPoint(p.x, p.y, p.z));
    MVectorArray forces;
    fn.getForceAtPoint(points, velocities, masses, forces, dt);
    for (unsigned i = 0; i < forces.length() && i < accumulator.length(); ++i) accumulator[i] += forces[i];
}

void FractureBodyNode::applyStressFieldForces(const MVectorArray& accumulator, int frame) {
    if (!fractureBody) return;
    unsigned k = 0;
    for (const SceneStress* stress : stressNodes()) {
        DynamicStress* const joint = stress->getJoint();
        if (!takesFieldForce(joint) || k >= accumulator.length()) continue;
        const MVector& force = accumulator[k++];
        if (squaredLength(force) > kNegligible) joint->applyExternalForce(Qmt::QmtVector3(force.x, force.y, force.z));
    }
    for (clusterFractureNode* cluster : clusterNodes()) {
        // A cluster that breaks by frame holds its inner joints until its frame has passed.
        const bool apply = !cluster->isBreakByFrame() || cluster->getBreakFrame() < frame;
        cluster->applyFieldForces(accumulator, k, apply, true);
    }
}

void FractureBodyNode::splitWeakJoints() {
    if (!fractureBody) return;
    fractureBody->splitRecursive();
    if (PublicWorld* world = engineWorld()) world->postCollisionUpdate();
}

// ---- The animated parent -----------------------------------------------------------

bool FractureBodyNode::detectAnimBody() {
    hasAnimBody = false;
    animBodyPath = MDagPath();
    const std::vector<rigidBodyNode*> members = memberNodes();
    MDagPath path;
    if (members.empty() || !MDagPath::getAPathTo(members.front()->thisMObject(), path) || !path.pop()) return false;
    // Walking up, each animated transform replaces the last: the topmost one stays.
    for (; path.isValid() && path.length() > 0; path.pop()) {
        if (!path.hasFn(MFn::kTransform) || !MAnimUtil::isAnimated(path)) continue;
        hasAnimBody = true;
        animBodyPath = path;
    }
    return hasAnimBody;
}

MObject FractureBodyNode::getAnimNode() {
    if (!animBodyPath.isValid() || animBodyPath.length() == 0) detectAnimBody();
    return animBodyPath.length() > 0 ? animBodyPath.node() : MObject();
}

bool FractureBodyNode::linkAnimBody() {
    const MObject anim = getAnimNode();
    MObject child;
    if (anim.isNull() || !findZylRigidBodyChild(anim, child)) return false;
    auto* carrier = userNodeAs<rigidBodyNode>(child, zylTypes::kRigidBody);
    HardBody* const body = carrier ? carrier->getBody(true) : nullptr;
    if (!body) return false;
    if (fractureBody) fractureBody->setParent(body);
    return true;
}

void FractureBodyNode::updateAnimOffset() {
    animOffset.setToIdentity();
    if (!fractureBody || !animBodyPath.isValid() || animBodyPath.length() == 0) return;
    animOffset = animBodyPath.exclusiveMatrix();
    const MPoint pivot = MFnTransform(animBodyPath).rotatePivot(MSpace::kWorld);
    animOffset[3][0] += pivot.x;
    animOffset[3][1] += pivot.y;
    animOffset[3][2] += pivot.z;
}

void FractureBodyNode::followAnimBody(double dt, const MTime& t0, const MTime& t1) {
    if (!fractureBody) return;
    const MObject anim = getAnimNode();
    if (anim.isNull()) return;
    const MFnDependencyNode fn(anim);
    const MPlug translate = fn.findPlug("translate");
    const MPlug rotate = fn.findPlug("rotate");
    // The animated parent's frame at t: its keyed translate and rotate in the frame it
    // moves in.
    const auto frameAt = [&](const MTime& t) {
        const MDGContext context(t);
        float tr[3];
        float rot[3];
        for (unsigned i = 0; i < 3; ++i) {
            tr[i] = translate.child(i).asFloat(context);
            rot[i] = rotate.child(i).asFloat(context);
        }
        const MQuaternion turn = MEulerRotation(rot[0], rot[1], rot[2]).asQuaternion();
        return poseMatrix(turn, MVector(tr[0], tr[1], tr[2])) * animOffset;
    };
    // The body rides the parent's motion from t0 to t1. Carrying the body's own pose
    // through that motion keeps the velocities in world axes, whatever the principal
    // axes of the body's rest frame.
    const RBDynamics& state = fractureBody->getDyn();
    const Qmt::Quaternion& q = state.orientation;
    const MMatrix pose = poseMatrix(MQuaternion(q.X(), q.Y(), q.Z(), q.W()),
                                    MVector(state.position.x, state.position.y, state.position.z));
    const MMatrix motion = frameAt(t0).inverse() * frameAt(t1);
    const MVector v = (MTransformationMatrix(pose * motion).getTranslation(MSpace::kTransform) -
                       MTransformationMatrix(pose).getTranslation(MSpace::kTransform)) / dt;
    fractureBody->setLinearVelocity(Qmt::QmtVector3(v.x, v.y, v.z));
    fractureBody->setAngularVelocity(spinBetween(MQuaternion(), MTransformationMatrix(motion).rotation(), dt));
    setMembersTime(t0);
    fractureBody->recomputeCenterFromFragments(true);
    fractureBody->recomputeRotationFromFragments(true);
}

void FractureBodyNode::setMembersTime(const MTime& time) {
    for (rigidBodyNode* member : memberNodes()) member->readAnimatedTransform(time, false);
}
