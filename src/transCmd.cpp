#include "src/transCmd.h"

#include <array>
#include <new>

#include "host/api/dagPath.h"
#include "host/api/fnDependencyNode.h"
#include "host/api/iterators.h"
#include "src/commandBase.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/typeIds.h"

namespace {

constexpr const char* kNodeFlag = "-nod";
constexpr const char* kFractureNodeFlag = "-fno";
constexpr const char* kDynamicsFlag = "-dyn";
constexpr const char* kAnimationFlag = "-ani";

// Channel i of "translate" then "rotate" pairs with key attribute i.
constexpr std::array<const char*, 6> kKeyAttributes = {"keysTX", "keysTY", "keysTZ", "keysRX", "keysRY", "keysRZ"};

MPlug incoming(const MPlug& plug) { return firstConnectedPlug(plug, ConnectionSide::source); }

// The first node of the kind and type id that bears the name; null when none does.
MObject findNamed(MFn::Type kind, const MTypeId& id, const MString& name) {
    for (MItDependencyNodes it(kind); !it.isDone(); it.next()) {
        const MObject node = it.thisNode();
        if (hasTypeId(node, id) && MFnDependencyNode(node).name() == name) return node;
    }
    return {};
}

// The transform `levels` above a DAG node; null when the path ends elsewhere.
MObject transformAbove(const MObject& node, unsigned levels) {
    MDagPath path;
    if (!MDagPath::getAPathTo(node, path) || !path.pop(levels) || path.apiType() != MFn::kTransform) return {};
    return path.node();
}

}  // namespace

void* dResumeCmd::creator() { return static_cast<MPxCommand*>(new (std::nothrow) dResumeCmd); }

MSyntax dResumeCmd::newSyntax() {
    MSyntax syntax;
    syntax.addFlag(kNodeFlag, "-node", MSyntax::kString);
    syntax.addFlag(kFractureNodeFlag, "-fnode", MSyntax::kString);
    syntax.addFlag("-fr", "-frame", MSyntax::kUnsigned);
    syntax.addFlag(kDynamicsFlag, "-dynamics");
    syntax.addFlag(kAnimationFlag, "-animation");
    syntax.enableQuery(false);
    syntax.enableEdit(false);
    return syntax;
}

MStatus dResumeCmd::doIt(const MArgList& args) {
    modifier_ = std::make_unique<MDagModifier>();
    MStatus status;
    args_ = std::make_unique<MArgDatabase>(syntax(), args, &status);
    if (!status) return status;
    const bool dynamics = args_->isFlagSet(kDynamicsFlag);
    const bool animation = args_->isFlagSet(kAnimationFlag);
    MString bodyName, fractureName;
    readFlag(*args_, kNodeFlag, bodyName);
    readFlag(*args_, kFractureNodeFlag, fractureName);
    if (bodyName.length() == 0 && fractureName.length() == 0) return MS::kFailure;

    if (bodyName.length() > 0) return switchBody(bodyName, dynamics, animation);
    switchFractureBody(fractureName, dynamics, animation);
    return MS::kSuccess;
}

MStatus dResumeCmd::switchBody(const MString& name, bool dynamics, bool animation) {
    if (!dynamics && !animation) return MS::kSuccess;
    const MObject solver = dynamics ? findLastSolver() : MObject();
    const MObject node = findNamed(MFn::kPluginLocatorNode, zylTypes::kRigidBody, name);
    auto* body = userNodeAs<rigidBodyNode>(node, rigidBodyNode::id);
    if (!body) return MS::kSuccess;
    if (const MObject transform = transformAbove(node, 1); !transform.isNull())
        moveCurves(transform, node, dynamics ? Move::park : Move::restore);
    if (!dynamics || solver.isNull()) return MS::kSuccess;

    // The solver drives the transform from now on: the body starts where the curves left
    // it, with the node's initial velocities. A body that was never built has nothing to set.
    const MTime now = MFnDependencyNode(solver).findPlug("inTime", true).asMTime();
    body->readAnimatedTransform(now, false);
    body->setVelocitiesFromAttributes();
    return MS::kSuccess;
}

void dResumeCmd::switchFractureBody(const MString& name, bool dynamics, bool animation) {
    const MObject node = findNamed(MFn::kPluginDependNode, zylTypes::kFractureBody, name);
    if (node.isNull() || (!dynamics && !animation)) return;
    MPlugArray members;
    MFnDependencyNode(node).findPlug("rigidBodies", true).connectedTo(members, false, true);
    if (members.length() == 0) return;

    // The members hang under one transform each, all in the fracture body's group.
    if (const MObject group = transformAbove(members[0].node(), 2); !group.isNull())
        moveCurves(group, node, dynamics ? Move::park : Move::restore);

    for (const MPlug& member : members) {
        auto* body = userNodeAs<rigidBodyNode>(member.node(), rigidBodyNode::id);
        if (!body) continue;
        const ScopedNodeUnlock unlocked(member.node());
        body->lockAttributes(false);
        body->setActiveState(dynamics ? 0 : 1, false);
        body->lockAttributes(true);
    }
}

void dResumeCmd::moveCurves(const MObject& transform, const MObject& keysNode, Move move) {
    const MFnDependencyNode channels(transform), keys(keysNode);
    const MPlug translate = channels.findPlug("translate", true), rotate = channels.findPlug("rotate", true);
    for (unsigned i = 0; i < kKeyAttributes.size(); ++i) {
        const MPlug channel = i < 3 ? translate.child(i) : rotate.child(i - 3);
        const MPlug key = keys.findPlug(kKeyAttributes[i], true);
        if (move == Move::park)
            park(channel, key);
        else
            restore(channel, key);
    }
    modifier_->doIt();
}

bool dResumeCmd::park(const MPlug& channel, const MPlug& key) {
    const MPlug curve = incoming(channel);
    if (curve.isNull()) return false;
    modifier_->disconnect(curve, channel);
    if (const MPlug old = incoming(key); !old.isNull()) modifier_->disconnect(old, key);
    modifier_->connect(curve, key);
    return true;
}

void dResumeCmd::restore(const MPlug& channel, const MPlug& key) {
    const MPlug curve = incoming(key);
    if (curve.isNull()) return;
    modifier_->disconnect(curve, key);
    if (incoming(channel).isNull()) modifier_->connect(curve, channel);
}
