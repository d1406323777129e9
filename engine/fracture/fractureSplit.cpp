// Split of a fracture body into the connected parts its remaining joints hold
// together: fragments that lost every joint become disconnected bodies, each connected
// group of joints becomes a child fracture body. Pieces leave with the motion they had
// as points of the parent, and a piece touched by a broken joint with break energy
// takes that energy.

#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "engine/fracture/fractureLists.h"

namespace fl = fracture_lists;
using Qmt::QmtVector3;

namespace {

constexpr double ENERGY_LIMIT = 1e-5;
constexpr std::size_t CHILD_NAME_LIMIT = 255;

// Takes the fragment out of every joint bookkeeping of its old compound.
void detach(PrivateHardBody* f) {
    f->joints.clear();
    f->jointCount = 0;
    f->disableJoined();
    f->setParent(nullptr);
}

bool touches(const DynamicStress* joint, const HardBody* body) {
    return joint->CNode == body || joint->PNode == body;
}

// Whether two joints share a body.
bool linked(const DynamicStress* a, const DynamicStress* b) {
    return touches(a, b->CNode) || touches(a, b->PNode);
}

void nameChild(FractureBody& child, const FractureBody& parent, std::uint32_t number) {
    char digits[16];
    const int n = std::snprintf(digits, sizeof digits, "%u", number);
    const std::size_t parentLength = std::strlen(parent.transform.name);
    char* const out = child.transform.name;
    if (n > 0 && parentLength + static_cast<std::size_t>(n) < CHILD_NAME_LIMIT) {
        // parent + "_" + digits + terminator fits: at most 254 + 2 characters.
        std::memcpy(out, parent.transform.name, parentLength);
        out[parentLength] = '_';
        std::memcpy(out + parentLength + 1, digits, static_cast<std::size_t>(n) + 1);
    } else {
        std::memcpy(out, "splitted", sizeof "splitted");
    }
}

}  // namespace

void FractureBody::split() {
    if (deactivatedJoints.count == 0) {
        return;
    }
    std::vector<DynamicStress*> energyJoints;
    const auto leaveWithParent = [&](HardBody* piece, bool always, const auto& owns) {
        if (!always && piece->isStatic()) {
            return;
        }
        piece->setLinearVelocity(dyn.v + dyn.w.Cross(piece->dyn.position - dyn.position));
        piece->setAngularVelocity(dyn.w);
        for (DynamicStress* joint : energyJoints) {
            if (owns(joint)) {
                piece->ApplyBreakEnergy(joint);
                return;
            }
        }
    };
    const auto leaveAsBody = [&](PrivateHardBody* piece) {
        leaveWithParent(piece, false, [piece](const DynamicStress* j) { return touches(j, piece); });
    };

    // Orphans: bodies whose every joint broke.
    for (DynamicStress* joint : deactivatedJoints) {
        if (joint->breakEnergy > ENERGY_LIMIT) {
            energyJoints.push_back(joint);
        }
        PrivateHardBody* const sides[2] = {joint->CNode, joint->PNode};
        for (PrivateHardBody* body : sides) {
            if (body && body->isJoined() && !body->hasActiveJoint()) {
                detach(body);
                fl::unlink(fragments, body);
                fl::append(disconnectedBodies, body);
            }
        }
    }
    for (PrivateHardBody* body : disconnectedBodies) {
        leaveAsBody(body);
    }

    // Connected groups of the joints that still hold.
    std::vector<DynamicStress*> group;
    while (activeJoints.count != 0) {
        group.clear();
        group.push_back(fl::firstNode(activeJoints)->value);
        activeJoints.remove(group.front());
        for (bool moved = true; moved;) {
            moved = false;
            JointList::Node* n = fl::firstNode(activeJoints);
            while (n) {
                JointList::Node* const next = n->next;
                DynamicStress* const joint = n->value;
                for (const DynamicStress* g : group) {
                    if (linked(g, joint)) {
                        group.push_back(joint);
                        activeJoints.remove(joint);
                        moved = true;
                        break;
                    }
                }
                n = next;
            }
        }
        // Still in one piece and never split before: no child.
        if (activeJoints.count == 0 && disconnectedBodies.count == 0 && childCounter == 0) {
            for (DynamicStress* joint : group) {
                fl::append(activeJoints, joint);
            }
            break;
        }

        auto* child = new FractureBody();
        for (DynamicStress* joint : group) {
            PrivateHardBody* const sides[2] = {joint->PNode, joint->CNode};
            for (PrivateHardBody* body : sides) {
                if (body && body->getParent() == this) {
                    fl::unlink(fragments, body);
                    body->joints.clear();
                    body->jointCount = 0;
                    body->disableJoined();
                }
            }
            child->addJoint(joint);
            ownJoints.pushFront(joint);
        }
        nameChild(*child, *this, childCounter + 1);
        child->setIndex(transform.index + 1);
        fl::append(children, child);
        child->updateFromFragments();
        child->setMatrixPivotCm(child->dyn.rotation.TransposeTimes(dyn.rotation));
        child->setTransPivotCm((dyn.position - child->dyn.position) * child->dyn.rotation);
        leaveWithParent(child, true, [child](const DynamicStress* j) {
            return fl::contains(child->fragments, j->CNode) || fl::contains(child->fragments, j->PNode);
        });
        child->propagationType = propagationType == 0 || propagationType == 1 ? propagationType : 2;
        child->globalStressThreshold = globalStressThreshold;
        child->randomThreshold = randomThreshold;
        child->secImpactPercent = secImpactPercent;
        child->secImpactReferenceMass = secImpactReferenceMass;
        if (isSecImpacts()) {
            child->enableSecImpacts();
        }
        ++childCounter;
    }

    if (disconnectedBodies.count != 0 || children.count != 0) {
        while (fragments.count != 0) {
            PrivateHardBody* const f = fl::firstNode(fragments)->value;
            detach(f);
            fragments.remove(f);
            fl::append(disconnectedBodies, f);
            leaveAsBody(f);
        }
        if (isStatic() && (flags & BODY_FIRST_HIT) == 0 && children.count != 0) {
            FractureBody* heaviest = nullptr;
            bool anyStatic = false;
            for (FractureBody* child : children) {
                anyStatic = anyStatic || child->isStatic();
                if (!heaviest || child->getMass() > heaviest->getMass()) {
                    heaviest = child;
                }
            }
            if (!anyStatic) {
                heaviest->enableStatic();
                heaviest->disableFirstHit();
            }
        }
        deActivate();
    }

    while (deactivatedJoints.count != 0) {
        DynamicStress* const joint = fl::firstNode(deactivatedJoints)->value;
        deactivatedJoints.remove(joint);
        ownJoints.pushFront(joint);
        offJoints.pushFront(joint);
        ++brokenCount;
    }
    pendingBreaks = 0;
}

void FractureBody::splitRecursive() {
    std::vector<DynamicStress*> overloaded;
    for (DynamicStress* joint : activeJoints) {
        if (joint->isBreakableByForce() && joint->externalForce.SquaredLength() > joint->breakTolerance) {
            overloaded.push_back(joint);
        }
    }
    for (DynamicStress* joint : overloaded) {
        deActivateJoint(joint);
    }
    for (FractureBody* child : children) {
        child->splitRecursive();
    }
    if (isSplitReady()) {
        split();
    }
    for (FractureBody* child : children) {
        if (child->isSplitReady()) {
            child->split();
        }
    }
}

void FractureBody::splitByExternalBrokenJoints() {
    if (isSplitReady()) {
        split();
    }
    for (FractureBody* child : children) {
        if (child->isSplitReady()) {
            child->split();
        }
    }
}
