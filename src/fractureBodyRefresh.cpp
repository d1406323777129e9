// Bringing a fracture body's engine body back in line with what the scene stores once
// members have left it: the scene (members, stress nodes, attributes) is what a saved
// file keeps, so the session builds from it as opening the file would.

#include <cstdint>
#include <set>
#include <string>

#include "engine/fracture/fractureBody.h"
#include "engine/world/engineApi.h"
#include "host/api/animControl.h"
#include "host/api/fnDependencyNode.h"
#include "src/clusterNode.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/stressNode.h"

namespace {

std::string nodeName(const MObject& node) { return MFnDependencyNode(node).name().asChar(); }

}  // namespace

void FractureBodyNode::releaseMember(rigidBodyNode* rb, StressConnections* connections) {
    if (!rb) return;
    detachRigidBody(rb, true, connections);
    rb->forgetFracture();
    if (rb->isEnabled())
        rb->addToWorld();
    else
        rb->removeFromWorld();
}

void FractureBodyNode::dirtySettings() {
    for (const MObject* attr : {&propStyle, &stressThreshold, &randomThreshold, &stress2mass, &enabled, &secCracks,
                                &percentSecCracks, &passive, &firstHitActive, &torsion, &affectForceFields, &mass,
                                &friction, &bounciness, &linearDamping, &angularDamping, &index}) {
        MPlug setting = plug(*attr);
        setting.setValue(setting.asDouble());
    }
    for (const MObject* attr : {&initialVelocity, &initialSpin})
        for (unsigned i = 0; i < 3; ++i) {
            MPlug child = plug(*attr).child(i);
            child.setValue(child.asDouble());
        }
}

void FractureBodyNode::rebuildFromScene(const MTime& t, bool newMass) {
    const StressListScope sameStresses(*this);
    // Every fragment, a cluster's too, weighs what its own node says and takes its pose
    // from its transform at rest, as a body just built does (not from a start state
    // its fracture body placed).
    for (rigidBodyNode* rb : allMemberNodes()) {
        rb->setFractureParamsFollow(false);
        rb->pushMass();
        rb->resetToRest();
        rb->setRestFromCurrent(t);
    }
    releaseEngineBody();
    byFrameStresses.clear();
    fractureBody = static_cast<FractureBody*>(createFractureBody());
    dirtySettings();
    buildFractureBody(t, newMass);
    rebuildDue_ = membersLeft_ = false;
}

void FractureBodyNode::settleMembers() {
    if (!rebuildDue_ || !fractureBody) return;
    const MTime start = MAnimControl::minTime();
    if (MAnimControl::currentTime() != start) return;

    // A member tied to no other by a stress node cannot stay a fragment.
    std::set<std::string> members;
    for (const rigidBodyNode* rb : memberNodes()) members.insert(nodeName(rb->thisMObject()));
    std::vector<SceneStress*> stresses = stressNodes();
    for (const clusterFractureNode* cluster : clusterNodes()) {
        for (const MObject& node : cluster->memberNodes()) members.insert(nodeName(node));
        for (const auto& list : {cluster->innerStresses(), cluster->outerStresses()})
            for (SceneStress* stress : list)
                if (stress) stresses.push_back(stress);
    }
    std::set<std::string> tied;
    for (const SceneStress* stress : stresses) {
        const std::string a = stress->getBody1Name().asChar(), b = stress->getBody2Name().asChar();
        if (a == b || !members.contains(a) || !members.contains(b)) continue;
        tied.insert(a);
        tied.insert(b);
    }
    for (rigidBodyNode* rb : memberNodes())
        if (!tied.contains(nodeName(rb->thisMObject()))) releaseMember(rb);
    // Members that left take their mass with them; otherwise the stored mass stays.
    rebuildFromScene(start, membersLeft_);
}

void FractureBodyNode::pullStressChangeFlags() {
    for (SceneStress* stress : stressNodes()) stress->pullChangeFlags();
    for (const clusterFractureNode* cluster : clusterNodes())
        for (const auto& list : {cluster->innerStresses(), cluster->outerStresses()})
            for (SceneStress* stress : list)
                if (stress) stress->pullChangeFlags();
}

void FractureBodyNode::pullChangeFlags() {
    // A body not built yet takes every setting when it is built.
    if (!fractureBody || fractureBody->fragments.count == 0) return;
    pullStressChangeFlags();
    const std::uint32_t count = stressCount;
    stressCount = 0;
    const MObject self = thisMObject();
    for (const MObject& flag : {ca_index, ca_propStyle, ca_stressThreshold, ca_randomThreshold, ca_stress2mass,
                                ca_initialVelocity, ca_initialSpin, ca_enabled, ca_secCracks, ca_passive, ca_firstHit,
                                ca_torsion, ca_forceFields, ca_mass, ca_friction, ca_bounciness, ca_airdamping,
                                ca_angdamping})
        MPlug(self, flag).asBool();
    stressCount = count;
}
