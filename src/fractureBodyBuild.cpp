// Building the fracture-body node's engine body from its members and stress nodes,
// moving members and stresses between fracture bodies, and tearing it all down.
//
// Joint ownership: a joint filed in the engine body's lists belongs to the engine,
// which deletes it with the body; stress nodes forget such joints before every engine
// call that deletes joints. A joint taken out of every list is handed to its stress
// node, which deletes it unless it is filed again.

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>

#include "engine/bodies/barrierBody.h"
#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "engine/world/engineApi.h"
#include "engine/world/publicWorld.h"
#include "host/api/animControl.h"
#include "host/api/fnMesh.h"
#include "host/api/global.h"
#include "host/api/iterators.h"
#include "host/api/progressWindow.h"
#include "host/api/selectionList.h"
#include "src/bodyShared.h"
#include "src/clusterNode.h"
#include "src/collisionShapeNode.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/sceneUtils.h"
#include "src/shatter/voronoiNode.h"
#include "src/stressConnections.h"
#include "src/stressNode.h"

namespace {

constexpr const char* kColourSet = "colorStresses";
constexpr const char* kSourceFile = "..\\src\\fractureBodyNode";
constexpr int kSecondaryPercent = 5;

PrivateHardBody* asFragment(HardBody* body) { return static_cast<PrivateHardBody*>(body); }

// The stress nodes on a cluster's inner, then outer stress plug.
std::vector<SceneStress*> clusterStresses(const clusterFractureNode& cluster) {
    std::vector<SceneStress*> out;
    const MFnDependencyNode fn(cluster.thisMObject());
    for (const char* name : {"instresses", "outstresses"})
        for (const MObject& node : connectedNodes(fn.findPlug(name)))
            if (auto* stress = userNodeAs<SceneStress>(node, SceneStress::id)) out.push_back(stress);
    return out;
}

// Whether any joint list of the body, or of a body its splits made, holds the joint.
bool holdsJoint(const FractureBody& body, DynamicStress* joint) {
    for (const FractureBody::JointList* list : {&body.activeJoints, &body.deactivatedJoints, &body.ownJoints})
        if (list->contains(joint)) return true;
    for (const FractureBody* child : body.children)
        if (holdsJoint(*child, joint)) return true;
    return false;
}

MString bodyName(const HardBody* body) { return body ? MString(body->transform.name) : MString(); }

// The fragments in the order the first build lists them, each joint's ends in joint
// order: the compound's centre and axes are sums over this list.
void orderFragmentsByJoints(FractureBody& body) {
    body.fragments.clear();
    body.registerJoints(body.activeJoints);
}

// A failed host call while building is reported and the build goes on.
void check(const MStatus& status, int line) {
    if (!status) printApiError(status, kSourceFile, line);
}

}  // namespace

MObject FractureBodyNode::memberMesh(const rigidBodyNode& member) {
    const MObject shape =
        firstConnectedNode(MPlug(member.thisMObject(), rigidBodyNode::inCollisionType), ConnectionSide::source);
    if (!hasTypeId(shape, collisionShapeNode::id)) return MObject::kNullObj;
    const MObject mesh = firstConnectedNode(MPlug(shape, collisionShapeNode::inShape), ConnectionSide::source);
    return !mesh.isNull() && mesh.apiType() == MFn::kMesh ? mesh : MObject::kNullObj;
}

MString FractureBodyNode::getNodeName() const { return MFnDependencyNode(thisMObject()).name(); }

void FractureBodyNode::refreshStressCells(SceneStress* stress) const {
    const DynamicStress* joint = stress ? stress->getJoint() : nullptr;
    if (!joint) return;
    const auto cell = [](const HardBody* body) { return body ? static_cast<int>(body->getCellCode()) : 0; };
    stress->setBodyIds(cell(joint->getCNode()), cell(joint->getPNode()));
}

// ---- First build.

bool FractureBodyNode::buildFromMembers(bool nearest) {
    if (!fractureBody) return false;
    const std::vector<rigidBodyNode*> bodies = memberNodes();
    VoronoiGroupAnswers groups;
    for (rigidBodyNode* rb : bodies) {
        HardBody* body = rb->getBody(true);
        if (body) body->setCellCode(rb->serialNumber());
        fractureBody->addDisconectBody(asFragment(body));
        // Shards of one shatter share its history node's index as their group.
        rb->setGroupId(-1);
        MDagPath meshPath;
        MObject voronoi;
        if (const MObject mesh = memberMesh(*rb); !mesh.isNull() && MDagPath::getAPathTo(mesh, meshPath))
            findVoronoiNodeForMesh(meshPath, voronoi, &groups);
        if (!voronoi.isNull()) rb->setGroupId(MPlug(voronoi, voronoiNode::index).asInt());
    }

    fractureBody->rebuildJoints(plug(distThreshold).asDouble(), nearest, false);
    // Loose bodies of a fragment's group join their nearest fragment at any distance.
    bool sharesGroup = false;
    for (const PrivateHardBody* loose : fractureBody->disconnectedBodies)
        for (const PrivateHardBody* fragment : fractureBody->fragments)
            sharesGroup = sharesGroup || loose->getGroupID() == fragment->getGroupID();
    if (sharesGroup) fractureBody->buildJointsDefault();
    // Bodies that found no joint leave the fracture body.
    while (PrivateHardBody* loose = fractureBody->getFirstDisconectBody()) fractureBody->removeFragment(loose);

    for (std::size_t i = 0; i < bodies.size(); ++i) {
        if (!fractureBody->hasFragment(bodies[i]->getBody(false))) continue;
        bodies[i]->setOwner(this);
        if (i == 0) bodies[i]->setFractureParamsFollow(true);
    }
    fractureBody->buildStressTree();
    if (fractureBody->getNActiveJoints() == 0) {
        destroyFractureBody();
        return false;
    }
    if (detectAnimBody()) linkAnimBody();

    const double threshold = plug(stressThreshold).asDouble();
    std::vector<DynamicStress*> joints;
    for (DynamicStress* joint = fractureBody->getFirstActiveJoint(); joint; joint = fractureBody->getNextActiveJoint())
        joints.push_back(joint);
    for (DynamicStress* joint : joints) createStressNode(joint, threshold);

    // The settings below push values to every stress node, several times over.
    std::optional<StressListScope> sameStresses(std::in_place, *this);
    createColorSets();
    applyIntParam(ca_randomThreshold, plug(randomThreshold).asInt());
    applyBoolParam(ca_stress2mass, plug(stress2mass).asBool());
    if (!fractureBody->updateFromFragments()) {
        // Nothing half-built stays: the stress nodes and the engine body go, and the
        // members no longer point here.
        sameStresses.reset();
        destroyFractureBody();
        return false;
    }

    fractureBody->setLinearVelocity(Qmt::QmtVector3::ZERO);
    fractureBody->setAngularVelocity(Qmt::QmtVector3::ZERO);
    fractureBody->setSecImpactsParams(kSecondaryPercent, 1.0 / fractureBody->getInvMass());
    fractureBody->enableSecImpacts();
    updateAnimOffset();
    prepareAtTime(MAnimControl::currentTime());
    addToWorld();

    // A body that settled static waits for its first hit.
    const bool isStatic = fractureBody->isStatic();
    plug(passive).setValue(isStatic);
    if (isStatic) plug(firstHitActive).setValue(1);
    const MObject self = thisMObject();
    MPlug(self, ca_passive).asBool();
    MPlug(self, ca_firstHit).asBool();
    applyBoolParam(ca_enabled, plug(enabled).asBool());
    for (const MObject& flag : {ca_propStyle, ca_initialVelocity, ca_initialSpin, ca_stressThreshold, ca_torsion,
                                ca_forceFields, ca_friction, ca_bounciness, ca_airdamping, ca_angdamping})
        MPlug(self, flag).asBool();
    plug(mass).setValue(1.0 / fractureBody->getInvMass());
    MPlug(self, ca_mass).asBool();
    notifySolver();
    // What the build set on the members is the scene's now.
    rebuildDue_ = membersLeft_ = false;
    return true;
}

SceneStress* FractureBodyNode::createStressNode(DynamicStress* joint, double strength) {
    MDGModifier& mod = getModifier();
    const MObject node = mod.createNode(SceneStress::id);
    if (node.isNull()) {
        MGlobal::displayError("fail creating stress node, abort");
        return nullptr;
    }
    const MPlug from = plug(stresses);
    const MPlug to(node, SceneStress::fracture);
    if (from.isNull() || to.isNull()) {
        MGlobal::displayError("fail connecting stress node, abort");
        return nullptr;
    }
    mod.connect(from, to);
    mod.doIt();
    auto* stress = userNodeAs<SceneStress>(node, SceneStress::id);
    if (!stress) return nullptr;

    stress->setJoint(joint);
    joint->setIndex(stressCount++);
    stress->setBody1Name(bodyName(joint->getCNode()));
    stress->setBody2Name(bodyName(joint->getPNode()));
    stress->setNodeName(joint->getName());
    Qmt::QmtVector3 anchor;
    joint->getAnchorState(anchor);
    stress->setPosition(toSingle(anchor.x), toSingle(anchor.y), toSingle(anchor.z));
    // The joint holds at the point its node keeps, where a reopened scene ties it again.
    // (Read back: the compiler may drop a float round trip of the anchor itself.)
    float x = 0, y = 0, z = 0;
    stress->getPosition(x, y, z);
    joint->attach(Qmt::QmtVector3(x, y, z), 1, joint->getPNode(), joint->getCNode());
    // Still without an owner, "enabled" sets the joint's bit itself.
    stress->setBoolProperty("breakByForce", true);
    stress->setDoubleProperty("forceStrenght", strength);
    stress->setBoolProperty("enabled", true);
    stress->setBoolProperty("torsion", plug(torsion).asBool());
    stress->setOwner(this);
    refreshStressCells(stress);
    return stress;
}

void FractureBodyNode::createColorSets() {
    for (const rigidBodyNode* rb : memberNodes())
        if (const MObject mesh = memberMesh(*rb); !mesh.isNull()) MFnMesh(mesh).createColorSetWithName(kColourSet);
}

// ---- Rebuild from the stress nodes.

// No stress node, own or of a cluster, keeps a joint the rebuild deletes; a node whose
// bodies are gone is left with none.
void FractureBodyNode::forgetJoints() {
    for (SceneStress* stress : stressNodes()) stress->setJoint(nullptr);
    for (const clusterFractureNode* cluster : clusterNodes())
        for (SceneStress* stress : clusterStresses(*cluster)) stress->setJoint(nullptr);
}

void FractureBodyNode::buildFractureBody(const MTime& t) { buildFractureBody(t, false); }

void FractureBodyNode::buildFractureBody(const MTime& t, bool newMass) {
    if (!fractureBody) return;
    // The rebuild reads the stress nodes and writes their values; it links none.
    const StressListScope sameStresses(*this);
    const bool progress = MProgressWindow::reserve();
    if (progress) {
        check(MProgressWindow::setProgressRange(0, 100), __LINE__);
        check(MProgressWindow::setTitle("Building up ZYL Fracture bodies.."), __LINE__);
        check(MProgressWindow::setInterruptable(false), __LINE__);
        check(MProgressWindow::startProgress(), __LINE__);
        check(MProgressWindow::setProgress(0), __LINE__);
    }

    const bool storedEnabled = plug(enabled).asBool();
    forgetJoints();
    fractureBody->clearFragmentJointLists();
    const std::vector<rigidBodyNode*> bodies = memberNodes();
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        HardBody* body = bodies[i]->getBody(false);
        if (!body) continue;
        fractureBody->addDisconectBody(asFragment(body));
        bodies[i]->setOwner(this);
        if (i == 0) bodies[i]->setFractureParamsFollow(true);
        body->setGroupID(MPlug(bodies[i]->thisMObject(), rigidBodyNode::groupid).asInt());
    }
    MPlug(thisMObject(), ca_index).asBool();
    nameEngineBody(getNodeName());

    // Members by name, the first of a name winning.
    std::unordered_map<std::string, HardBody*> named;
    for (rigidBodyNode* rb : bodies)
        named.try_emplace(MFnDependencyNode(rb->thisMObject()).name().asChar(), rb->getBody(false));
    const auto find = [&](const MString& name) -> HardBody* {
        const auto it = named.find(name.asChar());
        return it == named.end() ? nullptr : it->second;
    };

    MPlugArray ends;
    plug(stresses).connectedTo(ends, false, true);
    std::vector<SceneStress*> connected(ends.length(), nullptr);
    stressCount = ends.length();
    int shown = 0;
    for (unsigned i = 0; i < ends.length(); ++i) {
        if (auto* stress = userNodeAs<SceneStress>(ends[i].node(), SceneStress::id)) {
            connected[i] = stress;
            DynamicStress* joint = createDynamicStress();
            float x = 0, y = 0, z = 0;
            stress->getPosition(x, y, z);
            HardBody* body1 = find(stress->getBody1Name());
            HardBody* body2 = find(stress->getBody2Name());
            if (joint && body1 && body2) {
                joint->setName(stress->getNodeName().asChar());
                joint->setIndex(i);
                joint->attach(Qmt::QmtVector3(x, y, z), 1, asFragment(body2), asFragment(body1));
                stress->setOwner(this);
                stress->setJoint(joint);
                stress->syncAll();
                refreshStressCells(stress);
            } else {
                delete joint;
            }
        }
        const int percent = static_cast<int>((i + 1) * 100 / stressCount);
        if (progress && percent > shown) {
            shown = percent;
            check(MProgressWindow::setProgress(percent), __LINE__);
        }
    }

    if (PublicWorld* world = engineWorld()) {
        for (clusterFractureNode* cluster : clusterNodes()) {
            cluster->buildJoints();
            // Its members keep the group the first build gave them, as this node's do.
            for (const MObject& node : cluster->memberNodes())
                if (auto* rb = userNodeAs<rigidBodyNode>(node, rigidBodyNode::id); rb && rb->getBody(false))
                    rb->getBody(false)->setGroupID(MPlug(node, rigidBodyNode::groupid).asInt());
        }
        // The second connection is filed first; the active list keeps index order.
        const auto file = [&](std::size_t i) {
            if (connected[i]) world->addFractureJoint(connected[i]->getJoint(), fractureBody);
        };
        if (connected.size() > 1) file(1);
        if (!connected.empty()) file(0);
        for (std::size_t i = 2; i < connected.size(); ++i) file(i);
        numberJointsByAge();
    }
    if (detectAnimBody()) linkAnimBody();
    orderFragmentsByJoints(*fractureBody);

    fractureBody->buildStressTree();
    if (fractureBody->updateFromFragments()) {
        // The members' total, as the first build gives it; the pull below pushes it.
        if (newMass) plug(mass).setValue(1.0 / fractureBody->getInvMass());
        fractureBody->setSecImpactsParams(kSecondaryPercent, 1.0 / fractureBody->getInvMass());
        fractureBody->enableSecImpacts();
        prepareAtTime(MAnimControl::currentTime());
        resetMembers();
        addToWorld();
    }
    updateAnimOffset();

    // Pushing the settings again must leave every stress node's strength as stored.
    const std::uint32_t count = stressCount;
    stressCount = 0;
    const MObject self = thisMObject();
    for (const MObject& flag : {ca_propStyle, ca_stressThreshold, ca_randomThreshold, ca_stress2mass,
                                ca_initialVelocity, ca_initialSpin, ca_enabled, ca_secCracks, ca_passive, ca_firstHit,
                                ca_torsion, ca_forceFields, ca_mass, ca_friction, ca_bounciness, ca_airdamping,
                                ca_angdamping, ca_mass})
        MPlug(self, flag).asBool();
    stressCount = count;
    // Going into the world switched `enabled` on: a body stored disabled stays out.
    if (!storedEnabled) {
        plug(enabled).setValue(false);
        MPlug(self, ca_enabled).asBool();
    }
    prepareAtTime(t);
    if (progress) check(MProgressWindow::endProgress(), __LINE__);
}

// The joints, own and clusters' alike, are numbered in the order their stress nodes were
// made, the order the first build gave them and a scene file keeps; the body's lists
// take that order. Stress nodes moving between plugs (clusters made and removed) leave
// it as it was.
void FractureBodyNode::numberJointsByAge() {
    unsigned next = 0;
    for (MItDependencyNodes it(MFn::kPluginDependNode); !it.isDone(); it.next())
        if (const auto* stress = userNodeAs<SceneStress>(it.thisNode(), SceneStress::id);
            stress && stress->getOwner() == this && stress->getJoint())
            stress->getJoint()->setIndex(next++);
    for (FractureBody::JointList* list : {&fractureBody->activeJoints, &fractureBody->deactivatedJoints}) {
        std::vector<DynamicStress*> joints(list->begin(), list->end());
        std::ranges::stable_sort(joints, {}, &DynamicStress::getIndex);
        list->clear();
        for (auto it = joints.rbegin(); it != joints.rend(); ++it) list->pushFront(*it);
    }
}

// ---- Stress nodes joining and leaving.

void FractureBodyNode::addStressNode(SceneStress* stress) {
    if (!stress) return;
    if (DynamicStress* joint = stress->getJoint(); joint && fractureBody) {
        if (PublicWorld* world = engineWorld())
            world->addFractureJoint(joint, fractureBody);
        else
            fractureBody->addJoint(joint);
        stress->setJoint(joint);  // filed: the engine's again
    }
    stress->setOwner(this);
    const MPlug from = plug(stresses);
    const MPlug to(stress->thisMObject(), SceneStress::fracture);
    if (from.isNull() || to.isNull()) return;
    getModifier().connect(from, to);
    getModifier().doIt();
}

// Out of the engine body, let go and disconnected. The node keeps the joint only when
// no list of the body still holds it (a split's part may, until the next reset).
void FractureBodyNode::releaseStress(SceneStress* stress, StressConnections* connections) {
    if (DynamicStress* joint = stress->getJoint(); joint && fractureBody) {
        if (PublicWorld* world = engineWorld())
            world->breakFractureJoint(joint, fractureBody);
        else
            fractureBody->removeJoint(joint);
        if (holdsJoint(*fractureBody, joint))
            stress->setJoint(nullptr);
        else
            stress->setJoint(joint, true);
    }
    // Its frame breaking is no longer this body's to run.
    std::erase(byFrameStresses, stress);
    stress->setOwner(nullptr);
    // Every link to the node goes, whichever of its plugs it reaches: the node's own
    // links are few, the body's are many.
    MDGModifier& mod = getModifier();
    const MPlug from = plug(stresses);
    MPlugArray links;
    MFnDependencyNode(stress->thisMObject()).getConnections(links);
    for (unsigned i = 0; i < links.length(); ++i)
        for (const MPlug& source : connectedPlugs(links[i], ConnectionSide::source))
            if (source == from) mod.disconnect(from, links[i]);
    mod.doIt();
    if (connections) connections->released(stress);
}

void FractureBodyNode::removeStressAt(unsigned index) {
    MPlugArray ends;
    plug(stresses).connectedTo(ends, false, true);
    if (index >= ends.length()) return;
    if (auto* stress = userNodeAs<SceneStress>(ends[index].node(), SceneStress::id)) releaseStress(stress);
}

void FractureBodyNode::removeStressNode(SceneStress* stress) {
    if (!stress) return;
    StressConnections connections(*this);
    removeStressNode(stress, connections);
    connections.renumber();
}

void FractureBodyNode::removeStressNode(SceneStress* stress, StressConnections& connections) {
    if (!stress) return;
    const bool hadJoint = stress->getJoint() != nullptr;
    connections.numberLeaving(stress);
    releaseStress(stress, &connections);
    if (hadJoint) connections.renumberDue();
}

SceneStress* FractureBodyNode::findStressNode(const DynamicStress* joint) const {
    for (SceneStress* stress : stressNodes())
        if (stress->getJoint() == joint) return stress;
    return nullptr;
}

void FractureBodyNode::findStressBodies(const SceneStress* stress, rigidBodyNode*& body1,
                                        rigidBodyNode*& body2) const {
    body1 = body2 = nullptr;
    if (!stress) return;
    const MString name1 = stress->getBody1Name(), name2 = stress->getBody2Name();
    for (rigidBodyNode* rb : memberNodes()) {
        const MString name = MFnDependencyNode(rb->thisMObject()).name();
        if (!body1 && name == name1) body1 = rb;
        if (!body2 && name == name2) body2 = rb;
        if (body1 && body2) return;
    }
}

// ---- Members moving between fracture bodies and leaving.

bool FractureBodyNode::takeBodies(const MSelectionList& list, FractureBodyNode* source, bool moveOwnership) {
    if (!fractureBody || !source) return false;
    std::vector<rigidBodyNode*> taken;
    for (unsigned i = 0; i < list.length(); ++i) {
        MObject node;
        list.getDependNode(i, node);
        if (auto* rb = userNodeAs<rigidBodyNode>(node, rigidBodyNode::id)) taken.push_back(rb);
    }
    for (rigidBodyNode* rb : taken) fractureBody->addDisconectBody(asFragment(rb->getBody(true)));

    // Joints between two taken bodies move with their stress nodes. The joint list is
    // read first: moving a joint rewrites the lists of its ends.
    std::unordered_map<const HardBody*, std::size_t> lastListed;
    for (std::size_t i = 0; i < taken.size(); ++i) lastListed[taken[i]->getBody(false)] = i;
    const auto listedAfter = [&](const HardBody* other, std::size_t i) {
        const auto at = lastListed.find(other);
        return at != lastListed.end() && at->second > i;
    };
    StressConnections connections(*source);
    for (std::size_t i = 0; i < taken.size(); ++i) {
        PrivateHardBody* body = asFragment(taken[i]->getBody(false));
        if (!body) continue;
        std::vector<DynamicStress*> joints;
        for (DynamicStress* joint = body->getFirstJoint(); joint; joint = body->getNextJoint()) joints.push_back(joint);
        for (DynamicStress* joint : joints) {
            const HardBody* other = joint->getCNode() == body ? joint->getPNode() : joint->getCNode();
            if (!listedAfter(other, i)) continue;
            if (SceneStress* stress = connections.holding(joint)) {
                source->removeStressNode(stress, connections);
                addStressNode(stress);
            }
        }
    }
    connections.renumber();
    if (moveOwnership) {
        for (std::size_t i = 0; i < taken.size(); ++i) {
            source->detachRigidBody(taken[i], false, &connections);
            taken[i]->setOwner(this);
            if (i == 0) taken[i]->setFractureParamsFollow(true);
        }
        if (source->fractureBody) source->fractureBody->renewStressTrees();
    }
    fractureBody->registerJoints(fractureBody->activeJoints);
    if (source->fractureBody) source->fractureBody->setUp();
    fractureBody->buildStressTree();
    const double threshold = MPlug(source->thisMObject(), stressThreshold).asDouble();
    plug(stressThreshold).setValue(threshold);
    plug(randomThreshold).setValue(MPlug(source->thisMObject(), randomThreshold).asInt());
    fractureBody->setGlobalStressThreshold(threshold);
    resetAllStresses();
    if (!fractureBody->updateFromFragments()) return false;
    fractureBody->setLinearVelocity(Qmt::QmtVector3::ZERO);
    fractureBody->setAngularVelocity(Qmt::QmtVector3::ZERO);
    prepareAtTime(MAnimControl::currentTime());
    addToWorld();
    applyBoolParam(ca_enabled, plug(enabled).asBool());
    plug(mass).setValue(1.0 / fractureBody->getInvMass());
    return true;
}

void FractureBodyNode::resetAllStresses() {
    const StressListScope sameStresses(*this);
    const std::vector<SceneStress*> byFrame = byFrameStresses;
    for (SceneStress* stress : byFrame) {
        stress->setBoolProperty("breakByFrame", false);
        stress->setBreakByFrameMember(false);
        if (DynamicStress* joint = stress->getJoint()) joint->disableBreakableByFrame();
    }
    byFrameStresses.clear();
    const double threshold = plug(stressThreshold).asDouble();
    for (SceneStress* stress : stressNodes()) {
        stress->setDoubleProperty("breakEnergy", 0.0);
        stress->setDoubleProperty("forceStrenght", threshold);
        stress->setBoolProperty("enabled", true);
        stress->setBoolProperty("torsion", true);
        stress->setBoolProperty("breakByForce", true);
    }
    applyIntParam(ca_randomThreshold, plug(randomThreshold).asInt());
    applyBoolParam(ca_stress2mass, plug(stress2mass).asBool());
}

void FractureBodyNode::detachRigidBody(rigidBodyNode* rb, bool dropColours, StressConnections* connections) {
    if (!rb) return;
    // Nothing of the engine body keeps the member's body or a joint of it: the body may
    // be deleted right after.
    std::vector<PrivateHardBody*> left;
    if (HardBody* body = rb->getBody(false); body && fractureBody) {
        // An edit with the connections read once detaches many: it renews the stress
        // trees itself after the last.
        FractureBody::DroppedParts dropped = fractureBody->dropBody(body, connections == nullptr);
        deleteJoints(dropped.joints, connections);
        left = std::move(dropped.bodies);
    }
    if (dropColours) dropStressColours(*rb);
    getModifier().disconnect(plug(rigidBodies), MPlug(rb->thisMObject(), rigidBodyNode::fracture));
    getModifier().doIt();
    rb->lockAsMember(false);
    rb->setOwner(nullptr);
    rb->setFractureParamsFollow(false);
    // The compound's centre, inertia and mass are still those it had with the member.
    rebuildDue_ = membersLeft_ = true;
    // Members that no joint holds any more go their own way too.
    for (const PrivateHardBody* body : left)
        for (rigidBodyNode* member : memberNodes())
            if (member->getBody(false) == body && member->getOwner() == this) releaseMember(member);
}

void FractureBodyNode::deleteJoints(const std::vector<DynamicStress*>& joints, StressConnections* connections) {
    if (joints.empty()) return;
    const auto dropped = [&](const SceneStress* stress) {
        return stress->getJoint() && std::ranges::find(joints, stress->getJoint()) != joints.end();
    };
    // The node's own stress nodes leave it; a cluster's keep their place without a joint.
    for (SceneStress* stress : connections ? connections->holdingAny(joints) : stressNodes())
        if (dropped(stress)) {
            stress->setJoint(nullptr);
            releaseStress(stress, connections);
        }
    for (const clusterFractureNode* cluster : clusterNodes())
        for (SceneStress* stress : clusterStresses(*cluster))
            if (dropped(stress)) stress->setJoint(nullptr);
    for (SceneStress* stress : byFrameStresses)
        if (dropped(stress)) stress->setJoint(nullptr);
    for (DynamicStress* joint : joints) delete joint;
}

// The colour nodes feeding the member's mesh go, or else its stress colour set.
void FractureBodyNode::dropStressColours(const rigidBodyNode& member) {
    const MObject mesh = memberMesh(member);
    if (mesh.isNull()) return;
    const MObject source = firstConnectedNode(MFnDependencyNode(mesh).findPlug("inMesh"), ConnectionSide::source);
    bool deleted = false;
    if (!source.isNull() && source.apiType() == MFn::kVertexColour) {
        const MObject upstream =
            firstConnectedNode(MFnDependencyNode(source).findPlug("inputPolymesh"), ConnectionSide::source);
        if (!upstream.isNull() && upstream.apiType() == MFn::kColourSetSource) {
            getModifier().deleteNode(source);
            getModifier().deleteNode(upstream);
            deleted = true;
        }
    } else if (!source.isNull() && source.apiType() == MFn::kColourSetSource) {
        getModifier().deleteNode(source);
        deleted = true;
    }
    if (deleted)
        getModifier().doIt();
    else
        MFnMesh(mesh).deleteColorSet(kColourSet);
}

// ---- Tear-down.

void FractureBodyNode::takeClusterLinks(const MObject& cluster) {
    MDGModifier& mod = getModifier();
    const MFnDependencyNode fn(cluster);
    // Each member or stress is cut from the cluster, whichever way it was wired, and
    // tied to this node.
    const auto move = [&](const char* name, const MObject& ours, const MObject& theirs) {
        const MPlug clusterPlug = fn.findPlug(name);
        if (clusterPlug.isNull()) return;
        MPlugArray sources, destinations;
        clusterPlug.connectedTo(sources, true, false);
        clusterPlug.connectedTo(destinations, false, true);
        for (unsigned i = 0; i < sources.length(); ++i) {
            mod.disconnect(sources[i], clusterPlug);
            mod.connect(plug(ours), MPlug(sources[i].node(), theirs));
            mod.doIt();
        }
        for (unsigned i = 0; i < destinations.length(); ++i) {
            mod.disconnect(clusterPlug, destinations[i]);
            mod.connect(plug(ours), MPlug(destinations[i].node(), theirs));
            mod.doIt();
        }
    };
    move("rigidBodies", rigidBodies, rigidBodyNode::fracture);
    move("instresses", stresses, SceneStress::fracture);
    move("outstresses", stresses, SceneStress::fracture);
}

void FractureBodyNode::dissolveClusters() {
    MDGModifier& mod = getModifier();
    for (const MObject& node : connectedNodes(plug(clusters))) {
        auto* cluster = userNodeAs<clusterFractureNode>(node, clusterFractureNode::id);
        if (!cluster) continue;
        cluster->releaseStresses();
        takeClusterLinks(node);
        mod.deleteNode(node);
        mod.doIt();
    }
}

void FractureBodyNode::deleteStressNodes() {
    MDGModifier& mod = getModifier();
    bool any = false;
    for (SceneStress* stress : stressNodes()) {
        // A deleted node lives on in the modifier: it must not reach back here.
        stress->setOwner(nullptr);
        stress->setJoint(nullptr);
        mod.deleteNode(stress->thisMObject());
        any = true;
    }
    if (any) mod.doIt();
    for (SceneStress* stress : byFrameStresses) {
        stress->setOwner(nullptr);
        stress->setJoint(nullptr);
    }
    byFrameStresses.clear();
}

void FractureBodyNode::destroyFractureBody() {
    dissolveClusters();
    deleteStressNodes();
    std::vector<rigidBodyNode*> freed;
    for (rigidBodyNode* rb : memberNodes()) {
        dropStressColours(*rb);
        // The members stay connected but no longer point here.
        if (rb->getOwner() == this) {
            rb->setOwner(nullptr);
            rb->setFractureParamsFollow(false);
            freed.push_back(rb);
        }
    }
    // The engine body files its fragments in the world as plain bodies; they keep
    // nothing of it, as bodies built on their own have nothing.
    if (fractureBody) deleteFractureBody(&fractureBody);
    for (rigidBodyNode* rb : freed) rb->forgetFracture();
    notifySolver();
}

// ---- The ground.

bool FractureBodyNode::touchesGround(const BarrierBody& ground) const {
    const double reach = plug(distThreshold).asDouble();
    for (rigidBodyNode* rb : memberNodes()) {
        HardBody* body = rb->getOwner() == this ? rb->getBody(false) : nullptr;
        if (!body || (body->getType() != HB_HULL && body->getType() != HB_TRIMESH)) continue;
        const ZYLmesh* mesh = body->getMesh();
        if (!mesh || !mesh->worldVertices) continue;
        for (std::uint32_t i = 0; i < mesh->numVertices; ++i)
            if ((mesh->worldVertices[i] - ground.planePoint).Dot(ground.planeNormal) <= reach) return true;
    }
    return false;
}
