// Pushing the fracture-body node's attributes into its engine body and joints.

#include <cmath>

#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "engine/world/engineApi.h"
#include "engine/world/publicWorld.h"
#include "host/api/global.h"
#include "host/api/selectionList.h"
#include "src/bodyShared.h"
#include "src/fractureBodyNode.h"
#include "src/rigidBodyNode.h"
#include "src/stressNode.h"

namespace {

// 0.1 in single precision, widened.
constexpr double kSingleTenth = 0.10000000149011612;

void setFlag(FractureBody* body, std::uint32_t bit, bool on) {
    if (on)
        body->flags |= bit;
    else
        body->flags &= ~bit;
}

// A body whose mass is finite and not zero: the only kind a mass ratio can take.
bool hasFiniteMass(const PrivateHardBody* body) {
    const double inverse = body->getInvMass();
    return inverse > 0.0 && std::isfinite(inverse);
}

// The joint's two end bodies, when it has both.
bool bothEnds(const SceneStress* stress, PrivateHardBody*& a, PrivateHardBody*& b) {
    const DynamicStress* joint = stress->getJoint();
    if (!joint) return false;
    a = joint->getCNode();
    b = joint->getPNode();
    return a && b;
}

}  // namespace

bool FractureBodyNode::applyVectorParam(const MObject& flag, float x, float y, float z) {
    if (!fractureBody) return true;
    const Qmt::QmtVector3 v(x, y, z);
    if (flag == ca_initialVelocity) {
        fractureBody->setLinearVelocity(v);
        fractureBody->storeInitialState(2);
    } else if (flag == ca_initialSpin) {
        fractureBody->setAngularVelocity(v);
        fractureBody->storeInitialState(4);
    }
    return true;
}

bool FractureBodyNode::applyDoubleParam(const MObject& flag, double value) {
    if (!fractureBody) return true;
    if (flag == ca_angdamping) {
        fractureBody->setAirDampingCoeff2(value * kSingleTenth);
    } else if (flag == ca_airdamping) {
        fractureBody->setAirDampingCoeff(value * kSingleTenth);
    } else if (flag == ca_bounciness) {
        fractureBody->setRestitutionCoeff(value);
    } else if (flag == ca_friction) {
        fractureBody->setFrictionCoeff(value);
    } else if (flag == ca_mass) {
        // A mass not set keeps the one the fragments gave the body.
        if (!isSetMass(static_cast<float>(value))) return true;
        fractureBody->setMass(static_cast<float>(value));
        fractureBody->storeInitialState(8);
    } else if (flag == ca_stressThreshold) {
        fractureBody->setGlobalStressThreshold(value);
        if (stressCount != 0) pushGroupStrengths(value);
    }
    return true;
}

// Joints between shards of one shatter take the threshold, across shatters a tenth of
// it; a static end leaves no strength.
void FractureBodyNode::pushGroupStrengths(double threshold) {
    for (SceneStress* stress : stressNodes()) {
        PrivateHardBody* a = nullptr;
        PrivateHardBody* b = nullptr;
        if (!bothEnds(stress, a, b)) continue;
        double strength = 0.0;
        if (!a->isStatic() && !b->isStatic())
            strength = a->getGroupID() == b->getGroupID() ? threshold : threshold * 0.1;
        stress->setDoubleProperty("forceStrenght", strength);
    }
}

// Only joints inside one stress cell keep a strength.
void FractureBodyNode::pushCellStrengths(double threshold) {
    for (SceneStress* stress : stressNodes()) {
        PrivateHardBody* a = nullptr;
        PrivateHardBody* b = nullptr;
        if (!bothEnds(stress, a, b)) continue;
        double strength = 0.0;
        if (!a->isStatic() && !b->isStatic() && a->getCellCode() == b->getCellCode())
            strength = a->getGroupID() == b->getGroupID() ? threshold : threshold * kSingleTenth;
        stress->setDoubleProperty("forceStrenght", strength);
    }
}

bool FractureBodyNode::applyIntParam(const MObject& flag, int value) {
    if (flag == ca_randomThreshold) {
        randomPercent = value < 10 ? 0 : value >= 100 ? 100 : value / 10 * 10;
        if (!fractureBody) return true;
        // The stress tree's levels, as many of them as the percentage asks for, split the
        // body into cells.
        const unsigned levels = fractureBody->getTreeNodeCount();
        unsigned n = static_cast<unsigned>(static_cast<unsigned>(levels * randomPercent) / 100.0);
        fractureBody->assignStressCells(&n);
        if (stressCount == 0) return true;
        pushCellStrengths(plug(stressThreshold).asDouble());
        recolorShownStresses();
        return true;
    }
    if (!fractureBody) return true;
    if (flag == ca_secCracks) {
        fractureBody->setSecImpactsParams(value, 1.0 / fractureBody->getInvMass());
    } else if (flag == ca_propStyle) {
        fractureBody->setPropagationType(static_cast<unsigned>(value));
    } else if (flag == ca_firstHit) {
        setFlag(fractureBody, BODY_FIRST_HIT, value == 1);
        addToWorld();
    }
    return true;
}

bool FractureBodyNode::applyBoolParam(const MObject& flag, bool value) {
    if (!fractureBody) return true;
    PublicWorld* const world = engineWorld();
    if (flag == ca_enabled) {
        rigidBodyNode* const anim = animRigidBody();
        if (value) {
            if (world) world->reinsertBody(fractureBody);
            if (anim) {
                HardBody* const animBody = anim->getBody(true);
                fractureBody->adquireVelocity(animBody);
                if (!anim->getOwner() && world && animBody) world->removeBody(animBody);
            }
        } else {
            if (world) world->deactivateBody(fractureBody);
            if (anim && !anim->getOwner() && world)
                if (HardBody* const animBody = anim->getBody(true)) world->addBody(animBody, 0);
        }
    } else if (flag == ca_passive) {
        setFlag(fractureBody, BODY_STATIC, value);
    } else if (flag == ca_torsion) {
        // Settings pushed again (no stress counted, as in a rebuild) leave each stress
        // node the torsion it stores, as they leave its strength.
        if (stressCount == 0) return true;
        for (SceneStress* stress : stressNodes(ConnectionSide::either)) stress->setBoolProperty("torsion", value);
    } else if (flag == ca_stress2mass) {
        if (value)
            stressToMass();
        else
            applyIntParam(ca_randomThreshold, plug(randomThreshold).asInt());
    } else if (flag == ca_unbreakable) {
        setFlag(fractureBody, FRACTURE_UNBREAKABLE, value);
    } else if (flag == ca_secCracks) {
        setFlag(fractureBody, FRACTURE_SEC_IMPACTS, value);
    } else if (flag == ca_selected) {
        if (!value) return true;
        const MObject first = firstConnectedNode(plug(rigidBodies));
        if (first.isNull()) return true;
        MSelectionList list;
        list.add(first);
        MGlobal::setActiveSelectionList(list);
    }
    return true;
}

void FractureBodyNode::stressToMass() {
    if (stressCount == 0) return;
    const std::vector<SceneStress*> stresses = stressNodes();
    const auto pairMass = [](const PrivateHardBody* a, const PrivateHardBody* b) {
        return (1.0 / a->getInvMass() + 1.0 / b->getInvMass()) * 0.5;
    };
    // A pair with an end of no finite mass is left out of the mean and keeps its
    // strength: one infinite pair would zero every other joint, or give NaN.
    const auto weighed = [](const PrivateHardBody* a, const PrivateHardBody* b) {
        return hasFiniteMass(a) && hasFiniteMass(b);
    };
    double sum = 0.0;
    for (const SceneStress* stress : stresses) {
        PrivateHardBody* a = nullptr;
        PrivateHardBody* b = nullptr;
        if (bothEnds(stress, a, b) && !a->isStatic() && !b->isStatic() && weighed(a, b)) sum += pairMass(a, b);
    }
    // Every connected node counts, also those left out of the sum.
    const double mean = sum / static_cast<double>(stresses.size());
    for (SceneStress* stress : stresses) {
        if (stress->getJoint()) {
            PrivateHardBody* a = nullptr;
            PrivateHardBody* b = nullptr;
            if (!bothEnds(stress, a, b)) continue;
            double strength = 0.0;
            if (!a->isStatic() && !b->isStatic()) {
                strength = stress->getDoubleProperty("forceStrenght");
                if (weighed(a, b)) {
                    double f = std::sqrt(std::sqrt(pairMass(a, b) / mean));
                    if (f < 0.3) f = 0.0;
                    if (f > 1.0) f = 1.0;
                    strength *= f;
                }
            }
            stress->setDoubleProperty("forceStrenght", strength);
        }
        stress->setBoolProperty("enabled", true);
        stress->setBoolProperty("torsion", true);
    }
    recolorShownStresses();
}
