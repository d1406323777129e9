#include "src/fractureBodyCmd.h"

#include <new>
#include <vector>

#include "engine/bodies/barrierBody.h"
#include "engine/fracture/fractureBody.h"
#include "engine/world/engineApi.h"
#include "host/api/animControl.h"
#include "host/api/fnDependencyNode.h"
#include "host/api/global.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/solverNode.h"
#include "src/uiScript.h"

namespace {

constexpr const char* kDefaultName = "ZylFractureBody";

// The selected rigid bodies that may join: not in a fracture body yet, with an engine
// body, neither keyed nor with an animated mesh.
std::vector<rigidBodyNode*> candidates(const MSelectionList& selection) {
    std::vector<rigidBodyNode*> out;
    for (MItSelectionList it(selection, MFn::kPluginLocatorNode); !it.isDone(); it.next()) {
        MObject node;
        it.getDependNode(node);
        auto* rb = userNodeAs<rigidBodyNode>(node, rigidBodyNode::id);
        if (rb && !rb->getOwner() && rb->getBody(true) && !rb->isAnimatedAspect(1 | 2)) out.push_back(rb);
    }
    return out;
}

// The node on the `solver` plug of the selection's last object, whatever it is.
MObject lastObjectSolver(const MSelectionList& selection) {
    MObject last;
    if (selection.length() == 0 || !selection.getDependNode(selection.length() - 1, last)) return MObject::kNullObj;
    MStatus status;
    const MPlug solver = MFnDependencyNode(last).findPlug("solver", true, &status);
    return status && !solver.isNull() ? firstConnectedNode(solver) : MObject::kNullObj;
}

}  // namespace

void* FractureBodyCmd::creator() { return new (std::nothrow) FractureBodyCmd; }

MSyntax FractureBodyCmd::newSyntax() {
    MSyntax syntax = objectsSyntax(1);
    syntax.addFlag("-dTh", "-distanceThr", MSyntax::kDouble);
    syntax.addFlag("-n", "-name", MSyntax::kString);
    syntax.addFlag("-chk", "-check", MSyntax::kBoolean);
    syntax.addFlag("-nea", "-nearest");
    return syntax;
}

MDGModifier& FractureBodyCmd::graphModifier() {
    if (!modifier_) modifier_ = std::make_unique<MDGModifier>();
    return *modifier_;
}

MStatus FractureBodyCmd::redoIt() {
    double distance = 0.0;
    MString name = kDefaultName;
    bool check = false;
    readFlag(args(), "-dTh", distance);
    readFlag(args(), "-n", name);
    if (name.length() == 0) name = kDefaultName;
    readFlag(args(), "-chk", check);
    const bool nearest = args().isFlagSet("-nea");
    if (!takeSelection()) return MS::kFailure;
    if (MAnimControl::currentTime() != MAnimControl::minTime()) {
        MAnimControl::setCurrentTime(MAnimControl::minTime());
        displayWarning(" time set to start frame to create fracture body");
    }

    const MTime now = MAnimControl::currentTime();
    const std::vector<rigidBodyNode*> bodies = candidates(selection_);
    for (rigidBodyNode* rb : bodies) {
        rb->setRestFromCurrent(now);
        rb->resetToRest();
    }
    if (bodies.size() < 2) {
        displayError("Select at least two valid nodes");
        return MS::kFailure;
    }
    if (check) {
        MStringArray warnings;
        for (rigidBodyNode* rb : bodies)
            if (HardBody* body = rb->getBody(false); isDegenerateVolume(body))
                warnings.append(MString("WARNING: body ") + body->transform.name + " mass negative\n");
        setResult(warnings);
        return MS::kSuccess;
    }

    MDGModifier& mod = graphModifier();
    const MObject node = mod.createNode(FractureBodyNode::id);
    auto* fb = userNodeAs<FractureBodyNode>(node, FractureBodyNode::id);
    if (!fb) {
        displayError("unknow error, abort");
        return MS::kFailure;
    }
    mod.renameNode(node, name);
    mod.doIt();
    MPlug(node, FractureBodyNode::distThreshold).setValue(distance);

    for (rigidBodyNode* rb : bodies) {
        const MObject member = rb->thisMObject();
        // A static body waiting for its first hit becomes an ordinary member.
        if (rb->getBody(false)->isStatic() && rb->getFirstHitActive()) {
            MPlug(member, rigidBodyNode::firstHitActive).setValue(false);
            MPlug(member, rigidBodyNode::passive).setValue(0);
            MPlug(member, rigidBodyNode::ca_activeState).asBool();
        }
        mod.connect(MPlug(node, FractureBodyNode::rigidBodies), MPlug(member, rigidBodyNode::fracture));
        mod.doIt();
        rb->setRestFromCurrent(now);
        rb->lockAsMember(true);
    }
    mod.doIt();
    fb->rename(name);

    bool built = false;
    if (const MObject solver = lastObjectSolver(selection_); !solver.isNull()) {
        mod.connect(MPlug(solver, zylSolverNode::fractureBodies), MPlug(node, FractureBodyNode::solver));
        mod.doIt();
        built = fb->buildFromMembers(nearest);
        // Selected bodies that found no joint are free bodies again, and awake: the
        // fracture body's build had put them to sleep.
        for (rigidBodyNode* rb : fb->memberNodes()) {
            if (rb->getOwner() == fb) continue;
            mod.disconnect(MPlug(node, FractureBodyNode::rigidBodies), MPlug(rb->thisMObject(), rigidBodyNode::fracture));
            mod.doIt();
            rb->lockAsMember(false);
            rb->addToWorld();
            if (HardBody* body = rb->getBody(false)) body->activate();
        }
        MPlug(solver, zylSolverNode::fractureBodies).asBool();
    }

    if (!built) {
        mod.deleteNode(node);
        mod.doIt();
        displayWarning(nearest ? "invalid selection, most objects are passive"
                               : "distance streshold too short, increase it for the actual selection");
        setResult(MString(""));
        return MS::kFailure;
    }

    const MString nodeName = fb->getNodeName();
    const auto settle = [&](bool passive) {
        if (passive) MPlug(node, FractureBodyNode::passive).setValue(true);
        MPlug(node, FractureBodyNode::firstHitActive).setValue(1);
        if (passive) MPlug(node, FractureBodyNode::ca_passive).asBool();
        MPlug(node, FractureBodyNode::ca_firstHit).asBool();
    };
    auto* solverNode = userNodeAs<zylSolverNode>(solverOf(node), zylSolverNode::id);
    const auto* ground = solverNode ? dynamic_cast<const BarrierBody*>(solverNode->getGroundPlane()) : nullptr;
    if (ground && MPlug(solverNode->thisMObject(), zylSolverNode::useGroundGrid).asBool() && fb->touchesGround(*ground))
        settle(true);
    if (fb->fractureBody->isFirstHit(false)) settle(false);
    if (fb->hasAnimBody) {
        settle(true);
        MGlobal::executeCommandOnIdle("update_dFBody " + nodeName);
    }
    if (const HardBody* source = fb->fractureBody->getParent())
        displayInfo(MString("body ") + source->transform.name + " has been set as anim source for the fracture body");
    MGlobal::executeCommandOnIdle(uiScript::kUpdateManagePanel);
    setResult(nodeName);
    return MS::kSuccess;
}
