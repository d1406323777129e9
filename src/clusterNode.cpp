#include "src/clusterNode.h"

#include <new>

#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "engine/world/engineApi.h"
#include "engine/world/publicWorld.h"
#include "host/api/arrays.h"
#include "host/api/fnAttribute.h"
#include "host/api/fnDependencyNode.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/solverNode.h"
#include "src/stressNode.h"

MObject clusterFractureNode::rigidBodies;
MObject clusterFractureNode::outstresses;
MObject clusterFractureNode::instresses;
MObject clusterFractureNode::fracture;
MObject clusterFractureNode::stressThreshold;
MObject clusterFractureNode::breakByFrame;
MObject clusterFractureNode::breakFrame;
MObject clusterFractureNode::breakEnergy;
MObject clusterFractureNode::selected;
MObject clusterFractureNode::ca_selected;
MObject clusterFractureNode::ca_stressThreshold;
MObject clusterFractureNode::ca_breakFrame;
MObject clusterFractureNode::ca_breakByFrame;
MObject clusterFractureNode::ca_breakEnergy;

namespace {

// Squared field forces up to this size are noise.
constexpr double kMinForce2 = 1e-5;

// The nodes connected as destinations of plug, one per connection, in order.
std::vector<MObject> destinations(const MPlug& plug) { return connectedNodes(plug, ConnectionSide::destination); }

rigidBodyNode* asRigidBody(const MObject& node) { return userNodeAs<rigidBodyNode>(node, zylTypes::kRigidBody); }

// The first node of the list with that name, else null.
MObject findNamed(const std::vector<MObject>& nodes, const MString& name) {
    for (const MObject& node : nodes)
        if (MFnDependencyNode(node).name() == name) return node;
    return {};
}

// The joint exists, holds and breaks by force: it takes field forces.
bool takesFieldForce(const SceneStress* stress) {
    const DynamicStress* joint = stress->getJoint();
    return joint && joint->isActive() && joint->isBreakableByForce();
}

void setMemberLocks(const MObject& node, rigidBodyNode* rb, bool locked) {
    rb->lockAttributes(locked);
    MFnDependencyNode(node).setLocked(locked);
}

}  // namespace

clusterFractureNode::~clusterFractureNode() {
    releaseStresses();
    // A cluster deleted on its own hands its members and stress nodes back to the
    // fracture body, whose engine body still holds them.
    if (FractureBodyNode* owner = getFractureNode()) owner->takeClusterLinks(thisMObject());
}

void* clusterFractureNode::creator() { return new (std::nothrow) clusterFractureNode; }

MStatus clusterFractureNode::initialize() {
    rigidBodies = addMessageAttr("rigidBodies", "rbds", kHidden);
    outstresses = addMessageAttr("outstresses", "ostr", kHidden);
    instresses = addMessageAttr("instresses", "istr", kHidden);
    fracture = addMessageAttr("fracture", "frac");
    stressThreshold = addRangedAttr("stressThreshold", "sthr", MFnNumericData::kDouble, 50.0, 0.0, 1e6, kKeyable);
    breakByFrame = addNumericAttr("breakByFrame", "bbf", MFnNumericData::kBoolean, 0);
    breakFrame = addNumericAttr("breakFrame", "bfr", MFnNumericData::kInt, 1);
    breakEnergy = addNumericAttr("breakEnergy", "bre", MFnNumericData::kDouble, 0, kKeyable);
    selected = addNumericAttr("selected", "sel", MFnNumericData::kBoolean, 0, kInternal);
    ca_selected = addChangeFlag("ca_selected", "csel");
    ca_stressThreshold = addChangeFlag("ca_stressThreshold", "csth");
    ca_breakFrame = addChangeFlag("ca_breakFrame", "cbkf");
    ca_breakByFrame = addChangeFlag("ca_breakByFrame", "cbbf");
    ca_breakEnergy = addChangeFlag("ca_breakEnergy", "caen");

    attributeAffects(stressThreshold, ca_stressThreshold);
    attributeAffects(breakFrame, ca_breakFrame);
    attributeAffects(breakByFrame, ca_breakByFrame);
    attributeAffects(breakEnergy, ca_breakEnergy);
    attributeAffects(selected, ca_selected);
    return MS::kSuccess;
}

MStatus clusterFractureNode::compute(const MPlug& plug, MDataBlock& data) {
    const MObject attr = plug.attribute();
    if (attr == ca_breakByFrame) {
        pushBreakByFrame(data.inputValue(breakByFrame).asBool());
    } else if (attr == ca_breakFrame) {
        pushBreakFrame(data.inputValue(breakFrame).asInt());
    } else if (attr == ca_breakEnergy) {
        pushThresholds(ca_breakEnergy, data.inputValue(breakEnergy).asDouble());
    } else if (attr == ca_stressThreshold) {
        pushThresholds(ca_stressThreshold, data.inputValue(stressThreshold).asDouble());
    } else if (attr == ca_selected) {
        data.outputValue(plug).setBool(data.inputValue(selected).asBool());
        data.setClean(plug);
        return MS::kSuccess;
    } else {
        return MS::kSuccess;
    }
    notifySolver();
    markFlagDone(data, plug);
    return MS::kSuccess;
}

bool clusterFractureNode::isBreakByFrame() const { return plug(breakByFrame).asBool(); }
int clusterFractureNode::getBreakFrame() const { return plug(breakFrame).asInt(); }
bool clusterFractureNode::isSelected() const { return plug(selected).asBool(); }

void clusterFractureNode::notifySolver() {
    if (auto* solver = userNodeAs<zylSolverNode>(findFirstSolver(), zylTypes::kSolver)) solver->disableCachedMode();
}

void clusterFractureNode::refreshStressColours() {
    FractureBodyNode* owner = getFractureNode();
    if (!owner || !MPlug(owner->thisMObject(), FractureBodyNode::displayStressses).asBool()) return;
    for (const MObject& member : memberNodes()) owner->colorStresses(member, 0);
}

void clusterFractureNode::pushBreakByFrame(bool value) {
    for (SceneStress* stress : allStresses()) stress->setBoolProperty("breakByFrame", value);
    refreshStressColours();
}

void clusterFractureNode::pushBreakFrame(int value) {
    for (SceneStress* stress : allStresses()) stress->setIntProperty("frameToBreak", value);
    refreshStressColours();
}

void clusterFractureNode::pushThresholds(const MObject& flag, double value) {
    const char* property = flag == ca_stressThreshold ? "forceStrenght" : flag == ca_breakEnergy ? "breakEnergy" : nullptr;
    if (property)
        for (SceneStress* stress : innerStresses())
            if (stress) stress->setDoubleProperty(property, value);
    refreshStressColours();
}

void clusterFractureNode::setStrengths(const std::vector<SceneStress*>& stresses, double strength) {
    for (SceneStress* stress : stresses) {
        if (!stress) continue;
        stress->setDoubleProperty("forceStrenght", strength);
        stress->setDoubleProperty("breakEnergy", 0.0);
        stress->setBoolProperty("breakByFrame", false);
    }
}

bool clusterFractureNode::assignStresses() {
    if (!getFractureNode()) return false;
    const std::vector<SceneStress*> outer = outerStresses(), inner = innerStresses();
    setStrengths(outer, 0.0);
    setStrengths(inner, plug(stressThreshold).asDouble());
    refreshStressColours();
    return !outer.empty() || !inner.empty();
}

void clusterFractureNode::releaseStresses() {
    FractureBodyNode* owner = getFractureNode();
    if (!owner) return;
    const double threshold = owner->getStressThreshold();
    setStrengths(outerStresses(), threshold);
    setStrengths(innerStresses(), threshold);
    refreshStressColours();
    notifySolver();
}

void clusterFractureNode::storeInitialState(const MTime& time) {
    for (const MObject& node : memberNodes()) {
        rigidBodyNode* rb = asRigidBody(node);
        setMemberLocks(node, rb, false);
        rb->setRestFromCurrent(time);
        setMemberLocks(node, rb, true);
    }
    for (SceneStress* stress : allStresses()) stress->storeInitialState();
}

void clusterFractureNode::restoreInitialState() {
    for (const MObject& node : memberNodes()) {
        rigidBodyNode* rb = asRigidBody(node);
        setMemberLocks(node, rb, false);
        rb->resetToRest();
        setMemberLocks(node, rb, true);
    }
    for (SceneStress* stress : allStresses()) stress->restoreInitialState();
}

void clusterFractureNode::buildJoints() {
    FractureBodyNode* owner = getFractureNode();
    if (!owner || !owner->fractureBody) return;
    const std::vector<MObject> members = memberNodes();
    for (const MObject& node : members) {
        rigidBodyNode* rb = asRigidBody(node);
        if (HardBody* body = rb->getBody(true)) {
            owner->fractureBody->addDisconectBody(static_cast<PrivateHardBody*>(body));
            rb->setOwner(owner);
        }
    }

    // An outer joint has one end among the members, found first, and the other among
    // the fracture body's other members: its own, or another cluster's (a joint between
    // two clusters would be lost otherwise).
    std::vector<MObject> ownerMembers;
    for (const rigidBodyNode* rb : owner->allMemberNodes()) ownerMembers.push_back(rb->thisMObject());
    const std::vector<SceneStress*> outer = outerStresses();
    for (unsigned i = 0; i < outer.size(); ++i) {
        SceneStress* stress = outer[i];
        if (!stress) continue;
        const MString name1 = stress->getBody1Name(), name2 = stress->getBody2Name();
        MObject a, b;
        for (const MObject& node : members) {
            const MString name = MFnDependencyNode(node).name();
            if (name == name1) {
                a = node;
                b = findNamed(ownerMembers, name2);
                break;
            }
            if (name == name2) {
                b = node;
                a = findNamed(ownerMembers, name1);
                break;
            }
        }
        linkJoint(stress, i, a, b, owner);
    }
    const std::vector<SceneStress*> inner = innerStresses();
    for (unsigned i = 0; i < inner.size(); ++i)
        if (SceneStress* stress = inner[i])
            linkJoint(stress, i, findNamed(members, stress->getBody1Name()), findNamed(members, stress->getBody2Name()),
                      owner);

    PublicWorld* world = engineWorld();
    if (!world) return;
    for (SceneStress* stress : allStresses())
        if (DynamicStress* joint = stress->getJoint()) world->addFractureJoint(joint, owner->fractureBody);
}

void clusterFractureNode::linkJoint(SceneStress* stress, unsigned i, const MObject& a, const MObject& b,
                                    FractureBodyNode* owner) {
    rigidBodyNode* rbA = asRigidBody(a);
    rigidBodyNode* rbB = asRigidBody(b);
    auto* bodyA = static_cast<PrivateHardBody*>(rbA ? rbA->getBody(false) : nullptr);
    auto* bodyB = static_cast<PrivateHardBody*>(rbB ? rbB->getBody(false) : nullptr);
    if (!bodyA || !bodyB) {
        // A joint pointer kept from an earlier build died with that build's joints: it
        // must not be filed again.
        stress->setJoint(nullptr);
        return;
    }
    DynamicStress* joint = createDynamicStress();
    if (!joint) return;
    joint->setName(stress->getNodeName().asChar());
    // Joint indices follow the list with the first two exchanged.
    joint->setIndex(i == 0 ? 1 : i == 1 ? 0 : i);
    float x = 0, y = 0, z = 0;
    stress->getPosition(x, y, z);
    joint->attach(Qmt::QmtVector3(x, y, z), 1, bodyB, bodyA);
    stress->setOwner(owner);
    stress->setJoint(joint);
    stress->syncAll();
    owner->refreshStressCells(stress);
}

void clusterFractureNode::collectFieldSamples(MVectorArray& positions, MVectorArray& velocities,
                                              MDoubleArray& masses) const {
    for (SceneStress* stress : allStresses()) {
        if (!takesFieldForce(stress)) continue;
        Qmt::QmtVector3 anchor;
        stress->getJoint()->getAnchorState(anchor);
        positions.append(MVector(anchor.x, anchor.y, anchor.z));
        velocities.append(MVector());
        masses.append(1.0);
    }
}

void clusterFractureNode::applyFieldForces(const MVectorArray& forces, unsigned& cursor, bool apply,
                                           bool includeOuter) const {
    // Each sample is consumed even when its force is not applied; a cursor past the
    // forces finds none.
    const auto take = [&](DynamicStress* joint, bool applied) {
        const unsigned k = cursor++;
        if (!applied || k >= forces.length()) return;
        const MVector& f = forces[k];
        if (f.x * f.x + f.y * f.y + f.z * f.z > kMinForce2) joint->applyExternalForce(Qmt::QmtVector3(f.x, f.y, f.z));
    };
    for (SceneStress* stress : innerStresses())
        if (stress && takesFieldForce(stress)) take(stress->getJoint(), apply);
    if (!includeOuter) return;
    for (SceneStress* stress : outerStresses())
        if (stress && takesFieldForce(stress)) take(stress->getJoint(), true);
}

FractureBodyNode* clusterFractureNode::getFractureNode() const {
    return userNodeAs<FractureBodyNode>(firstConnectedNode(plug(fracture)), zylTypes::kFractureBody);
}

std::vector<MObject> clusterFractureNode::memberNodes() const {
    std::vector<MObject> out;
    for (const MObject& node : destinations(plug(rigidBodies)))
        if (asRigidBody(node)) out.push_back(node);
    return out;
}

std::vector<SceneStress*> clusterFractureNode::stressesOn(const MObject& attr) const {
    std::vector<SceneStress*> out;
    for (const MObject& node : destinations(plug(attr))) out.push_back(userNodeAs<SceneStress>(node, SceneStress::id));
    return out;
}

std::vector<SceneStress*> clusterFractureNode::innerStresses() const { return stressesOn(instresses); }
std::vector<SceneStress*> clusterFractureNode::outerStresses() const { return stressesOn(outstresses); }

std::vector<SceneStress*> clusterFractureNode::allStresses() const {
    std::vector<SceneStress*> out;
    for (const MObject* attr : {&instresses, &outstresses})
        for (SceneStress* stress : stressesOn(*attr))
            if (stress) out.push_back(stress);
    return out;
}
