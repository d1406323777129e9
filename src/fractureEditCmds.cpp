#include "src/fractureEditCmds.h"

#include <algorithm>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "engine/world/engineApi.h"
#include "host/api/animControl.h"
#include "host/api/dagPath.h"
#include "host/api/fnDependencyNode.h"
#include "host/api/fnTransform.h"
#include "host/api/global.h"
#include "host/api/iterators.h"
#include "src/bodyShared.h"
#include "src/crackerNode.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/solverNode.h"
#include "src/stressConnections.h"
#include "src/stressNode.h"
#include "src/uiScript.h"

namespace {

constexpr const char* kMapFlag = "-map";
constexpr const char* kStaticFlag = "-stf";
constexpr const char* kDeleteBodiesFlag = "-db";
constexpr const char* kTypeFlag = "-t";
constexpr const char* kResetFlag = "-ra";
constexpr const char* kMassFlag = "-stm";
constexpr const char* kBrokenFlag = "-glb";
constexpr const char* kNotJoined = "selected fragments are not joined to each other, abort";

template <class T>
T* selectedAs(const MSelectionList& list, unsigned i) {
    MObject node;
    if (i >= list.length() || !list.getDependNode(i, node)) return nullptr;
    return userNodeAs<T>(node, T::id);
}

// The selected nodes of one module type, in selection order.
template <class T>
std::vector<T*> selectedOfType(const MSelectionList& list) {
    std::vector<T*> out;
    for (unsigned i = 0; i < list.length(); ++i)
        if (T* node = selectedAs<T>(list, i)) out.push_back(node);
    return out;
}

// The fracture body feeding a rigid body's `fracture`, when it is one (not a cluster).
FractureBodyNode* fractureSource(const rigidBodyNode& rb) {
    const MObject source = firstConnectedNode(MPlug(rb.thisMObject(), rigidBodyNode::fracture), ConnectionSide::source);
    return userNodeAs<FractureBodyNode>(source, FractureBodyNode::id);
}

// A body's joints, read before anything is done with them: a nested walk over the same
// body (a recolouring, for one) would move the joint cursor.
std::vector<DynamicStress*> jointsOf(HardBody* body) {
    std::vector<DynamicStress*> joints;
    if (!body) return joints;
    auto* fragment = static_cast<PrivateHardBody*>(body);
    for (DynamicStress* joint = fragment->getFirstJoint(); joint; joint = fragment->getNextJoint())
        joints.push_back(joint);
    return joints;
}

const HardBody* otherEnd(const DynamicStress& joint, const HardBody* body) {
    return joint.getCNode() == body ? static_cast<const HardBody*>(joint.getPNode()) : joint.getCNode();
}

// Whether a joint of the source's own stress nodes ties two of the members: without one
// they cannot make a fracture body.
bool anyJointAmong(const FractureBodyNode& source, const std::vector<rigidBodyNode*>& members) {
    std::vector<HardBody*> bodies;
    for (rigidBodyNode* rb : members)
        if (HardBody* body = rb->getBody(false)) bodies.push_back(body);
    const std::unordered_set<const HardBody*> among(bodies.begin(), bodies.end());
    const StressConnections connections(source);
    for (HardBody* body : bodies)
        for (DynamicStress* joint : jointsOf(body))
            if (among.contains(otherEnd(*joint, body)) && connections.holding(joint)) return true;
    return false;
}

// A fracture body about to be deleted lets its members and stress nodes go: the members
// as free bodies (whoever takes them back locks them again), the stress nodes untouched.
void letGo(FractureBodyNode& fb) {
    std::vector<rigidBodyNode*> freed;
    for (rigidBodyNode* rb : fb.memberNodes())
        if (rb->getOwner() == &fb) {
            rb->setOwner(nullptr);
            rb->setFractureParamsFollow(false);
            rb->lockAsMember(false);
            freed.push_back(rb);
        }
    for (SceneStress* stress : fb.stressNodes()) stress->setOwner(nullptr);
    fb.releaseEngineBody();
    for (rigidBodyNode* rb : freed) rb->forgetFracture();
    fb.byFrameStresses.clear();
    MDGModifier& mod = fb.getModifier();
    for (const MObject* attr : {&FractureBodyNode::stresses, &FractureBodyNode::rigidBodies}) {
        const MPlug from(fb.thisMObject(), *attr);
        for (const MPlug& to : connectedPlugs(from, ConnectionSide::destination)) mod.disconnect(from, to);
    }
    mod.doIt();
}

// The transform holding the member's transform, when it is a transform (not the world).
bool memberGroupPath(const rigidBodyNode& rb, MDagPath& group) {
    if (!MDagPath::getAPathTo(rb.thisMObject(), group) || !group.pop() || !group.pop()) return false;
    return group.isValid() && group.apiType() == MFn::kTransform;
}

}  // namespace

// ---- update_dFBody

void* FBodyUpdateCmd::creator() { return new (std::nothrow) FBodyUpdateCmd; }

MSyntax FBodyUpdateCmd::newSyntax() {
    MSyntax syntax = objectsSyntax();
    syntax.addFlag(kMapFlag, "-stressesMap");
    syntax.addFlag(kStaticFlag, "-staticFrags", MSyntax::kBoolean);
    return syntax;
}

MStatus FBodyUpdateCmd::redoIt() {
    if (!takeSelection()) return MS::kFailure;
    if (args().isFlagSet(kMapFlag)) {
        recolour();
    } else if (args().isFlagSet(kStaticFlag)) {
        bool makeStatic = false;
        args().getFlagArgument(kStaticFlag, 0, makeStatic);
        setStaticFragments(makeStatic);
    } else {
        refreshMembers();
    }
    return MS::kSuccess;
}

void FBodyUpdateCmd::recolour() {
    for (FractureBodyNode* fb : selectedOfType<FractureBodyNode>(selection_)) fb->recolorStresses();
}

void FBodyUpdateCmd::setStaticFragments(bool makeStatic) {
    FractureBodyNode* owner = nullptr;  // the first selected fragment's fracture body
    bool displayed = false;
    std::vector<HardBody*> listed;
    for (rigidBodyNode* rb : selectedOfType<rigidBodyNode>(selection_)) {
        if (!owner) {
            owner = fractureSource(*rb);
            if (owner) displayed = MPlug(owner->thisMObject(), FractureBodyNode::displayStressses).asBool();
        }
        rb->lockAttributes(false);
        MPlug(rb->thisMObject(), rigidBodyNode::passive).setValue(makeStatic ? 1 : 0);
        // A body never built has no joints to weaken: it only keeps the setting. Pushing
        // the settings may build the body anew, so it is taken after.
        if (rb->getBody(false)) {
            rb->dirtyAllChangeFlags();
            if (HardBody* body = rb->getBody(false)) {
                if (displayed) owner->colorStresses(rb->thisMObject(), 0);
                listed.push_back(body);
            }
        }
        rb->lockAttributes(true);
    }
    if (!owner) return;

    const MObject self = owner->thisMObject();
    const bool wasPassive = MPlug(self, FractureBodyNode::passive).asBool();
    FractureBody* engine = owner->fractureBody;
    if (engine) {
        const double strength = makeStatic ? 0.0 : owner->getStressThreshold() * 0.5;
        // Joints inside the selection keep their strength; joints to a cluster's stress
        // nodes are not this node's to change.
        const std::unordered_set<const HardBody*> among(listed.begin(), listed.end());
        const StressConnections connections(*owner);
        for (HardBody* body : listed)
            for (DynamicStress* joint : jointsOf(body)) {
                if (among.contains(otherEnd(*joint, body))) continue;
                if (SceneStress* stress = connections.holding(joint))
                    stress->setDoubleProperty("forceStrenght", strength);
            }
        engine->updateFromFragments();
    }
    if (!makeStatic || wasPassive) {
        if (engine) {
            MPlug(self, FractureBodyNode::passive).setValue(engine->isStatic());
            MPlug(self, FractureBodyNode::ca_passive).asBool();
        }
    } else {
        MPlug(self, FractureBodyNode::firstHitActive).setValue(1);
        MPlug(self, FractureBodyNode::passive).setValue(true);
        MPlug(self, FractureBodyNode::ca_passive).asBool();
        MPlug(self, FractureBodyNode::ca_firstHit).asBool();
    }
    if (engine) {
        if (MAnimControl::currentTime() == MAnimControl::minTime()) {
            // The body as the scene now stores it, its mass that of its moving fragments.
            owner->rebuildFromScene(MAnimControl::currentTime(), true);
        } else {
            // In a run the fragments stay where they are: the node shows the mass the body
            // now has, and the body is built from the scene when the run starts again.
            MPlug(self, FractureBodyNode::mass).setValue(1.0 / engine->getInvMass());
            owner->markRebuildDue();
        }
    }
    MGlobal::executeCommandOnIdle(uiScript::kUpdateBasicFracturesPanel);
    MGlobal::executeCommandOnIdle(uiScript::kShowAdvancedFracturesWindow);
}

namespace {

// Rigid bodies (not among the members) and crackers on the transform of a member.
struct SharingTransforms {
    std::vector<rigidBodyNode*> bodies;
    std::vector<zylCrackerNode*> crackers;
};

SharingTransforms nodesSharingTransforms(const std::vector<rigidBodyNode*>& members) {
    std::vector<MObject> transforms;
    for (const rigidBodyNode* rb : members)
        if (MFnTransform transform; transformAbove(rb->thisMObject(), transform))
            transforms.push_back(transform.object());
    const auto onOne = [&](const MObject& node) {
        MFnTransform transform;
        return transformAbove(node, transform) && std::ranges::find(transforms, transform.object()) != transforms.end();
    };
    SharingTransforms sharing;
    for (MItDependencyNodes it(MFn::kPluginLocatorNode); !it.isDone(); it.next()) {
        const MObject node = it.thisNode();
        if (auto* rb = userNodeAs<rigidBodyNode>(node, rigidBodyNode::id)) {
            if (rb->getBody(false) && std::ranges::find(members, rb) == members.end() && onOne(node))
                sharing.bodies.push_back(rb);
        } else if (auto* cracker = userNodeAs<zylCrackerNode>(node, zylCrackerNode::id)) {
            if (cracker->getBody() && onOne(node)) sharing.crackers.push_back(cracker);
        }
    }
    return sharing;
}

void refreshFractureBody(FractureBodyNode& fb, const std::vector<rigidBodyNode*>& members) {
    // The members' group passes its placement on to them first.
    for (const rigidBodyNode* rb : members)
        if (MDagPath group; memberGroupPath(*rb, group)) {
            MGlobal::executeCommand("makeIdentity -apply true " + MFnDependencyNode(group.node()).name());
            break;
        }
    // The members' bodies are built anew from their meshes, and the fracture body from
    // them, as opening the scene builds them: its engine body lets them go first.
    fb.releaseEngineBody();
    for (rigidBodyNode* rb : members) {
        if (rb->getOwner() == &fb) rb->setOwner(nullptr);
        rb->lockAsMember(false);
        rb->rebuildFromMesh();
        rb->lockAsMember(true);
    }
    fb.rebuildFromScene(MAnimControl::currentTime(), true);
}

}  // namespace

void FBodyUpdateCmd::refreshMembers() {
    // The refresh makes where the members stand their rest. Another body or a cracker on
    // one of their transforms is built again there too, as the saved scene has it; a
    // body of another fracture body brings that fracture body into the refresh.
    std::vector<FractureBodyNode*> refreshed = selectedOfType<FractureBodyNode>(selection_);
    std::vector<std::vector<rigidBodyNode*>> members;
    std::vector<rigidBodyNode*> free;
    std::vector<zylCrackerNode*> crackers;
    for (std::size_t i = 0; i < refreshed.size(); ++i) {
        members.push_back(refreshed[i]->memberNodes());
        SharingTransforms sharing = nodesSharingTransforms(members.back());
        for (rigidBodyNode* rb : sharing.bodies) {
            FractureBodyNode* owner = rb->getOwner();
            if (!owner)
                free.push_back(rb);
            else if (std::ranges::find(refreshed, owner) == refreshed.end())
                refreshed.push_back(owner);
        }
        crackers.insert(crackers.end(), sharing.crackers.begin(), sharing.crackers.end());
    }
    for (std::size_t i = 0; i < refreshed.size(); ++i) refreshFractureBody(*refreshed[i], members[i]);
    for (rigidBodyNode* rb : free)
        if (!rb->getOwner()) rb->rebuildWhereTransformStands();
    for (zylCrackerNode* cracker : crackers) cracker->rebuildWhereTransformStands();
}

// ---- deleteZylFBody

void* FBodyDeleteCmd::creator() { return new (std::nothrow) FBodyDeleteCmd; }

MSyntax FBodyDeleteCmd::newSyntax() {
    MSyntax syntax = objectsSyntax();
    syntax.addFlag(kDeleteBodiesFlag, "-deleteBodies");
    return syntax;
}

MStatus FBodyDeleteCmd::redoIt() {
    if (!takeSelection()) return MS::kFailure;
    bool anySolver = false;
    for (MItDependencyNodes it(MFn::kPluginDependNode); !it.isDone(); it.next())
        if (auto* solver = userNodeAs<zylSolverNode>(it.thisNode(), zylSolverNode::id)) {
            solver->resetSimulation(solver->gatherNodeLists());
            anySolver = true;
        }
    if (!anySolver) {
        displayError("no zyl solver found, abort");
        return MS::kFailure;
    }
    MGlobal::executeCommand("undoInfo -swf off");
    const bool deleteBodies = args().isFlagSet(kDeleteBodiesFlag);
    for (FractureBodyNode* fb : selectedOfType<FractureBodyNode>(selection_)) dissolve(*fb, deleteBodies);
    MGlobal::executeCommand("undoInfo -swf on");
    return MS::kSuccess;
}

void FBodyDeleteCmd::dissolve(FractureBodyNode& fb, bool deleteBodies) {
    fb.dissolveClusters();
    const std::vector<rigidBodyNode*> members = fb.memberNodes();
    fb.destroyFractureBody();
    MGlobal::deleteNode(fb.thisMObject());  // fb is gone from here on

    std::vector<MObject> doomed;
    for (rigidBodyNode* rb : members) {
        MFnDependencyNode(rb->thisMObject()).setLocked(false);
        rb->setOwner(nullptr);
        rb->setFractureParamsFollow(false);
        rb->lockAttributes(false);
        HardBody* body = rb->getBody(false);
        // A member waiting for its first hit starts the next run passive, still waiting.
        if (body && rb->getFirstHitActive()) {
            rb->setActiveState(1, false);
            body->enableFirstHit();
        }
        if (deleteBodies) {
            doomed.push_back(rb->thisMObject());
        } else if (body) {
            rb->forgetFracture();
            rb->addToWorld();
        }
    }
    for (const MObject& node : doomed) MGlobal::deleteNode(node);
    MGlobal::executeCommandOnIdle(uiScript::kUpdateAdvancedFracturesPanel);
    MGlobal::executeCommandOnIdle(uiScript::kUpdateManagePanel);
}

// ---- The detach and stress commands' shared shape

FractureBodyNode* FBodyTwinCmd::firstMemberOwner(rigidBodyNode** member) const {
    rigidBodyNode* rb = selectedAs<rigidBodyNode>(selection_, 0);
    if (member) *member = rb;
    return rb ? fractureSource(*rb) : nullptr;
}

// ---- Detach_FBody

void* FBodyDetachCmd::creator() { return new (std::nothrow) FBodyDetachCmd; }

MSyntax FBodyDetachCmd::newSyntax() { return objectsSyntax(); }

MStatus FBodyDetachCmd::redoIt() {
    if (!takeSelection()) return MS::kFailure;
    if (MAnimControl::currentTime() != MAnimControl::minTime()) {
        MAnimControl::setCurrentTime(MAnimControl::minTime());
        displayWarning(" time set to start frame to detach fracture body");
    }
    FractureBodyNode* source = firstMemberOwner();
    if (!source) return invalidSelection();

    // Only the fracture body's own fragments leave it: a member of another one selected
    // alongside keeps its owner.
    std::vector<rigidBodyNode*> members;
    bool allStatic = true;
    for (rigidBodyNode* rb : selectedOfType<rigidBodyNode>(selection_)) {
        if (fractureSource(*rb) != source) continue;
        members.push_back(rb);
        if (const HardBody* body = rb->getBody(false); body && !body->isStatic()) allStatic = false;
    }
    before_.emplace(*source);
    created_ = MObject();
    if (selection_.length() == 1 || allStatic) {
        StressConnections connections(*source);
        for (rigidBodyNode* rb : members) source->releaseMember(rb, &connections);
        if (source->fractureBody) source->fractureBody->renewStressTrees();
        source->settleMembers();
        return MS::kSuccess;
    }
    return detachAsNewBody(*source, members);
}

MStatus FBodyDetachCmd::undoIt() {
    if (MAnimControl::currentTime() != MAnimControl::minTime()) MAnimControl::setCurrentTime(MAnimControl::minTime());
    takeBack();
    return MS::kSuccess;
}

void FBodyDetachCmd::takeBack() {
    if (auto* created = userNodeAs<FractureBodyNode>(created_, FractureBodyNode::id)) letGo(*created);
    revertEdits();
    if (before_) before_->restore(MAnimControl::currentTime());
}

MStatus FBodyDetachCmd::detachAsNewBody(FractureBodyNode& source, const std::vector<rigidBodyNode*>& members) {
    if (!anyJointAmong(source, members)) {
        displayError(kNotJoined);
        return MS::kFailure;
    }
    MDGModifier& mod = modifier();
    const MObject node = mod.createNode(FractureBodyNode::id);
    auto* created = userNodeAs<FractureBodyNode>(node, FractureBodyNode::id);
    if (!created) {
        displayError("unknow error, abort");
        return MS::kFailure;
    }
    created_ = node;
    const std::string name = std::string(source.getNodeName().asChar()) + "1";
    mod.renameNode(node, MString(name.c_str()));
    mod.doIt();
    // A fresh engine body for the new node: the one its creator made goes first.
    deleteFractureBody(&created->fractureBody);
    created->fractureBody = static_cast<FractureBody*>(createFractureBody());

    MSelectionList taken;
    for (const rigidBodyNode* rb : members) taken.add(rb->thisMObject());
    if (!created->takeBodies(taken, &source, true)) {
        // Nothing is left half done: the fragments go back where they were.
        takeBack();
        displayError(kNotJoined);
        return MS::kFailure;
    }
    const MPlug link(node, FractureBodyNode::rigidBodies);
    for (rigidBodyNode* rb : members)
        if (rb->getBody(false))
            mod.connect(link, MPlug(rb->thisMObject(), rigidBodyNode::fracture));
    mod.doIt();
    // Members of a fracture body stay locked, as the first build leaves them.
    for (rigidBodyNode* rb : members)
        if (rb->getOwner() == created) rb->lockAsMember(true);
    // Both bodies as the scene now stores them.
    source.settleMembers();
    created->rebuildFromScene(MAnimControl::minTime(), true);

    // The solver of the last selected object, else the source's: the new body is in the
    // world already and must be the solver's as well, or a saved scene would not build it.
    MObject last;
    selection_.getDependNode(selection_.length() - 1, last);
    MObject solver = solverOf(last);
    if (solver.isNull()) solver = solverOf(source.thisMObject());
    if (!solver.isNull()) {
        mod.connect(MPlug(solver, zylSolverNode::fractureBodies), MPlug(node, FractureBodyNode::solver));
        mod.doIt();
        MPlug(solver, zylSolverNode::fractureBodies).asBool();
    }
    MGlobal::executeCommandOnIdle(uiScript::kUpdateBasicFracturesPanel);
    return MS::kSuccess;
}

// ---- fBody_selStresses

void* FBodyStressesCmd::creator() { return new (std::nothrow) FBodyStressesCmd; }

MSyntax FBodyStressesCmd::newSyntax() {
    MSyntax syntax = objectsSyntax();
    syntax.addFlag(kTypeFlag, "-type", MSyntax::kUnsigned);
    syntax.addFlag(kResetFlag, "-resetAll");
    syntax.addFlag(kMassFlag, "-setToMass");
    syntax.addFlag(kBrokenFlag, "-getLastBroken");
    return syntax;
}

MStatus FBodyStressesCmd::redoIt() {
    setResult(MStringArray());
    if (!takeSelection()) return MS::kFailure;
    if (args().isFlagSet(kResetFlag) || args().isFlagSet(kMassFlag) || args().isFlagSet(kBrokenFlag))
        return editFractureBody();
    return listJoints();
}

MStatus FBodyStressesCmd::editFractureBody() {
    FractureBodyNode* fb = selectedAs<FractureBodyNode>(selection_, 0);
    if (!fb) {
        displayError("not fracture body selected");
        return MS::kFailure;
    }
    MStringArray names;
    if (args().isFlagSet(kResetFlag)) {
        fb->resetAllStresses();
    } else if (args().isFlagSet(kMassFlag)) {
        if (fb->fractureBody) fb->stressToMass();
    } else if (FractureBody* engine = fb->fractureBody) {
        // The broken joints of the last run, each named once: the list starts afresh.
        engine->gatherBrokenJoints();
        for (const DynamicStress* joint = engine->getFirstOffJoint(); joint; joint = engine->getNextOffJoint())
            names.append(joint->getName());
        engine->ClearBrokenJointsList();
    }
    setResult(names);
    return MS::kSuccess;
}

MStatus FBodyStressesCmd::listJoints() {
    rigidBodyNode* first = nullptr;
    if (!firstMemberOwner(&first)) return invalidSelection();
    MStringArray names;
    if (selection_.length() == 1) {
        for (const DynamicStress* joint : jointsOf(first->getBody(false))) names.append(joint->getName());
        setResult(names);
        return MS::kSuccess;
    }
    std::vector<HardBody*> listed;
    for (MItSelectionList it(selection_, MFn::kPluginLocatorNode); !it.isDone(); it.next()) {
        MObject node;
        it.getDependNode(node);
        if (auto* rb = userNodeAs<rigidBodyNode>(node, rigidBodyNode::id); rb && rb->getBody(false))
            listed.push_back(rb->getBody(false));
    }
    unsigned type = 0;
    readFlag(args(), kTypeFlag, type);
    std::unordered_map<const HardBody*, std::size_t> lastListed;
    for (std::size_t i = 0; i < listed.size(); ++i) lastListed[listed[i]] = i;
    for (std::size_t i = 0; i < listed.size() && type <= 1; ++i) {
        for (const DynamicStress* joint : jointsOf(listed[i])) {
            const auto at = lastListed.find(otherEnd(*joint, listed[i]));
            // 0: each joint inside the selection once; 1: the joints leading out of it.
            const bool inside = type == 0 ? at != lastListed.end() && at->second > i : at == lastListed.end();
            if (inside) names.append(joint->getName());
        }
    }
    setResult(names);
    return MS::kSuccess;
}
