// Bringing a scene just read from a file to life: the upgrade of scenes saved by older
// modules, and the rebuild of every engine object from the stored attributes.

#include "src/sceneUpgrade.h"

#include <array>

#include "engine/bodies/hardBody.h"
#include "host/api/animControl.h"
#include "host/api/dagModifier.h"
#include "host/api/dagPath.h"
#include "host/api/global.h"
#include "host/api/plug.h"
#include "src/bodyShared.h"
#include "src/collisionShapeNode.h"
#include "src/crackerNode.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/sceneUtils.h"
#include "src/shatter/voronoiNode.h"
#include "src/solverNode.h"
#include "src/typeIds.h"
#include "src/uiScript.h"

namespace {

constexpr float kModuleVersionValue = 3.5f;
constexpr const char* kUpgradeInfo = " This scene has been created with a previous version of ZYL ";
// The "not set yet" value: a mass or centre nudged to it is worked out again by the build.
constexpr double kNudge = 1.1920929e-7;

using Centre = std::array<double, 3>;

MObject shapeFeeding(const MPlug& plug) {
    const MObject shape = firstConnectedNode(plug, ConnectionSide::source);
    return hasTypeId(shape, collisionShapeNode::id) ? shape : MObject::kNullObj;
}

void pullShapeOutputs(const MObject& shape) {
    MPlug(shape, collisionShapeNode::outCollisionType).asInt();
    MPlug(shape, collisionShapeNode::ca_collisionShape).asBool();
}

// Writing a shape's type back to itself dirties everything it feeds, so the body or
// cracker downstream builds its engine object again.
void rewriteShapeType(const MPlug& input) {
    if (const MObject shape = shapeFeeding(input); !shape.isNull()) {
        MPlug type(shape, collisionShapeNode::type);
        type.setValue(type.asInt());
    }
}

Centre readCentre(const MPlug& centre) {
    Centre c{};
    for (unsigned i = 0; i < 3; ++i) c[i] = centre.child(i).asDouble();
    return c;
}

void writeCentre(MPlug centre, const Centre& c) {
    for (unsigned i = 0; i < 3; ++i) centre.child(i).setValue(c[i]);
}

// A mass centre the user set survives the rebuild; one the build works out anew wins.
void restoreCentre(const MPlug& centre, const Centre& before) {
    const Centre built = readCentre(centre);
    if (!isBuiltCentre({before[0], before[1], before[2]}, {built[0], built[1], built[2]})) writeCentre(centre, before);
}

bool isDagNode(const MObject& node) { return node.hasFn(MFn::kDagNode); }

// ---- Upgrade steps.

void upgradeRigidBody(rigidBodyNode& rb) {
    const MObject node = rb.thisMObject();
    const int collisionType = rb.getCollisionType();
    const ScopedNodeUnlock unlocked(node);
    // Older scenes tied the shape to the body only through `animated`.
    if (const MPlug animated(node, rigidBodyNode::animated); animated.isConnected()) {
        if (const MObject shape = shapeFeeding(animated); !shape.isNull()) {
            MDagModifier modifier;
            modifier.connect(MPlug(shape, collisionShapeNode::outCollisionType),
                             MPlug(node, rigidBodyNode::inCollisionType));
            modifier.doIt();
            MPlug(shape, collisionShapeNode::type).setValue(collisionType);
            pullShapeOutputs(shape);
        }
    }
    // A fracture member's group is the index of the shatter that made it.
    if (MPlug(node, rigidBodyNode::fracture).isConnected()) {
        MObject voronoi;
        const MObject mesh = FractureBodyNode::memberMesh(rb);
        if (MDagPath meshPath; !mesh.isNull() && MDagPath::getAPathTo(mesh, meshPath))
            findVoronoiNodeForMesh(meshPath, voronoi);
        if (!voronoi.isNull()) {
            const auto* history = userNodeAs<voronoiNode>(voronoi, zylTypes::kVoronoi);
            rb.setGroupId(history ? history->getIndex() : -1);
        }
    }
    rb.dirtyAllChangeFlags();
}

void upgradeCracker(zylCrackerNode& cracker) {
    const MObject node = cracker.thisMObject();
    const MPlug input(node, zylCrackerNode::inCollisionShape);
    if (const MObject shape = shapeFeeding(input); !shape.isNull()) {
        MDGModifier modifier;
        modifier.disconnect(MPlug(shape, collisionShapeNode::outCollisionShape), input);
        modifier.connect(MPlug(shape, collisionShapeNode::outCollisionType),
                         MPlug(node, zylCrackerNode::inCollisionType));
        modifier.doIt();
        pullShapeOutputs(shape);
    }
    cracker.evaluateAttributes();
}

// ---- Rebuild steps.

void refreshCracker(zylCrackerNode& cracker) {
    const MObject node = cracker.thisMObject();
    if (!isDagNode(node)) {
        cracker.evaluateAttributes();
        return;
    }
    const bool wasEnabled = cracker.isEnabled();
    const MPlug centre(node, zylCrackerNode::massCenter);
    // Read and written back whole: a centre the build does not give again stays as stored.
    const Centre before = readCentre(centre);
    writeCentre(centre, {kNudge, kNudge, kNudge});
    rewriteShapeType(MPlug(node, zylCrackerNode::inCollisionType));
    cracker.evaluateAttributes();
    restoreCentre(centre, before);
    // The build switched the cracker on: one stored off stays off.
    if (!wasEnabled) MPlug(node, zylCrackerNode::enabled).setValue(false);
    cracker.evaluateAttributes();
}

// What the build does not bring back of a body as the saving session held it: the mark
// new_ZYLBody gave its engine body, and its place out of the world when the user had
// taken it out (a free body the build puts into the world stays there only when its
// stored `enabled` says so; a fracture member's place is its fracture body's).
void keepSessionState(rigidBodyNode& rb, bool wasEnabled) {
    HardBody* body = rb.getBody(false);
    if (!body) return;
    body->enableJagginess();
    if (!wasEnabled && !MPlug(rb.thisMObject(), rigidBodyNode::fracture).isConnected()) rb.removeFromWorld();
}

// Fracture members stay locked: their nudges fail and the type write alone rebuilds them.
void refreshRigidBody(rigidBodyNode& rb) {
    const MObject node = rb.thisMObject();
    const bool wasEnabled = rb.isEnabled();
    if (!isDagNode(node)) {
        rb.dirtyAllChangeFlags();
        keepSessionState(rb, wasEnabled);
        return;
    }
    MPlug mass(node, rigidBodyNode::mass);
    const double massBefore = mass.asDouble();
    mass.setValue(kNudge);
    const MPlug centre(node, rigidBodyNode::massCenter);
    const Centre before = readCentre(centre);
    writeCentre(centre, {kNudge, kNudge, kNudge});
    rewriteShapeType(MPlug(node, rigidBodyNode::inCollisionType));
    rb.dirtyAllChangeFlags();
    mass.setValue(massBefore);
    restoreCentre(centre, before);
    rb.dirtyAllChangeFlags();
    keepSessionState(rb, wasEnabled);
}

// Every body refreshed pulls the solver, whose start reset puts the fracture bodies back
// to their start state before they are rebuilt: the scene as read becomes that state
// first, or the reset would wipe the stress nodes' values and move the members.
void keepLoadedStateAsStart(const SolverNodeLists& nodes) {
    for (FractureBodyNode* fb : nodes.fractureBodies) fb->prepareAtTime(MAnimControl::minTime());
}

}  // namespace

bool upgradeOlderScene(zylSolverNode& solver) {
    MPlug version(solver.thisMObject(), zylSolverNode::version);
    if (version.asString().asFloat() >= kModuleVersionValue) return false;
    version.setValue(MString(kModuleVersion));
    MGlobal::displayInfo(kUpgradeInfo);
    const SolverNodeLists nodes = solver.gatherNodeLists();
    keepLoadedStateAsStart(nodes);
    for (rigidBodyNode* rb : nodes.rigidBodies) upgradeRigidBody(*rb);
    for (zylCrackerNode* cracker : nodes.crackers) upgradeCracker(*cracker);
    return true;
}

void zylSolverNode::refreshAfterLoad() {
    const SolverNodeLists nodes = gatherNodeLists();
    keepLoadedStateAsStart(nodes);
    for (zylCrackerNode* cracker : nodes.crackers) refreshCracker(*cracker);
    for (rigidBodyNode* rb : nodes.rigidBodies) refreshRigidBody(*rb);
    for (FractureBodyNode* fb : nodes.fractureBodies) fb->buildFractureBody(MAnimControl::minTime());
    MPlug(thisMObject(), ca_cacheSize).asBool();
    MPlug(thisMObject(), ca_solverParams).asBool();
    if (uiScript::isWindowOpen(uiScript::kBasicFracturesWindow))
        MGlobal::executeCommandOnIdle(uiScript::kUpdateBasicFracturesPanel);
    if (uiScript::isWindowOpen(uiScript::kManageWorldWindow))
        MGlobal::executeCommandOnIdle(uiScript::kUpdateManagePanel);
}
