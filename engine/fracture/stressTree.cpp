// The compound state derived from the fragments, the stress tree over the fragments'
// boxes and the secondary cracks along its first cut.

#include <new>
#include <vector>

#include "engine/bodies/privateHardBody.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "geometry/bounds/boundingVolumes.h"
#include "geometry/bounds/boxFit.h"
#include "geometry/bounds/boxTree.h"
#include "geometry/bounds/boxTreeLeaves.h"

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

namespace {

// Depth limit of the secondary cracks: the tree's first cut makes the two cells.
constexpr std::uint32_t SECONDARY_CRACK_DEPTH = 1;

}  // namespace

// ---- fragment buffer ----

void FractureBody::buildFragmentBuffer() {
    releaseFragmentBuffer();
    fragmentBuffer = new double[fragments.count];
    ownsFragmentBuffer_ = true;
    bufferOrder_.reserve(fragments.count);
    const double compoundMass = getMass();
    std::uint32_t i = 0;
    for (const PrivateHardBody* f : fragments) {
        fragmentBuffer[i++] = f->getMass() / compoundMass;
        bufferOrder_.push_back(f);
    }
}

bool FractureBody::fragmentBufferMatches() const {
    if (!fragmentBuffer || bufferOrder_.size() != fragments.count) {
        return false;
    }
    std::size_t i = 0;
    for (const PrivateHardBody* f : fragments) {
        if (bufferOrder_[i++] != f) {
            return false;
        }
    }
    return true;
}

// ---- compound state ----

bool FractureBody::updateFromFragments() {
    if (fragments.count == 0) {
        deActivate();
        return false;
    }
    QmtVector3 c;
    computeCompoundCentre(c);
    const double mass = getMass();

    // One box over the corners of every fragment's world box.
    std::vector<QmtVector3> corners(8 * static_cast<std::size_t>(fragments.count));
    std::size_t k = 0;
    for (const PrivateHardBody* f : fragments) {
        computeBoxCorners(f->getBbox(), &corners[k]);
        k += 8;
    }
    ZYLbox box = fitOrientedBox(static_cast<std::uint32_t>(corners.size()), corners.data());
    // The fit may hand back a reflection, which no rotation can carry: flip one axis.
    if (box.axes.Determinant() < 0.0) {
        for (unsigned r = 0; r < 3; ++r) {
            box.axes(r, 0) = -box.axes(r, 0);
        }
    }
    const QmtMatrix3& A = box.axes;
    transform.boxSize = box.halfExtents * 2.0;
    transform.unscaledRadius = 0.5 * transform.boxSize.Length();
    transform.radius = transform.unscaledRadius;
    transform.scale = QmtVector3(1.0, 1.0, 1.0);

    if (!fragmentBuffer) {
        buildFragmentBuffer();
    }

    const double n = static_cast<double>(fragments.count);
    double sumRestitution = 0.0;
    double sumFriction = 0.0;
    double sumDamping = 0.0;
    double sumDamping2 = 0.0;
    QmtVector3 P;
    QmtVector3 L;
    for (PrivateHardBody* f : fragments) {
        sumRestitution += f->getRestitutionCoeff();
        sumFriction += f->getFrictionCoeff();
        sumDamping += f->getAirDampingCoeff();
        sumDamping2 += f->getAirDampingCoeff2();
        const RBDynamics& s = f->getDyn();
        f->setMatrixPivotCm(s.rotation.TransposeTimes(A));
        f->setTransPivotCm((c - s.position) * s.rotation);
        const double m = f->getMass();
        P += s.v * m;
        L += (s.position - c).Cross(s.v) * m + s.L;
    }
    restitution = sumRestitution / n;
    friction = sumFriction / n;
    airDamping = sumDamping / n;
    airDamping2 = sumDamping2 / n;

    setRotationMatrix(A);
    setPosition(c);
    computeInertiaTensor();
    dyn.v = P / mass;
    setAngularVelocity(dyn.invInertiaWorld * L);
    dyn.force = QmtVector3::ZERO;
    dyn.torque = QmtVector3::ZERO;
    lastDyn = dyn;

    transform.centreOffset = (box.centre - c) * A;
    transform.setRotation(A.TransposeTimes(box.axes));
    updateStaticBit();
    activate();
    return true;
}

// ---- stress tree ----

bool FractureBody::buildStressTree() {
    releaseStressTree();
    auto* const tree = new (std::nothrow) Binary_Tree<BVbox>();
    if (!tree) {
        return false;
    }
    // Elements in fragment order; the tree owns the records, never the fragments.
    BoxTreeElementList::Node* tail = tree->elements.head;
    for (PrivateHardBody* f : fragments) {
        tree->elements.insertAfter(new BoxTreeElement{&f->bbox.centre, &f->cellCode}, tail);
        if (tail && tail->next) {
            tail = tail->next;
        }
    }
    if (!tree->build(tree->elements)) {
        delete tree;
        return false;
    }
    tree->root->transformSRT(QmtVector3::ZERO, QmtMatrix3::IDENTITY, QmtVector3(1.0, 1.0, 1.0));
    fillLeafArray(*tree);
    stressTree = tree;
    ownsStressTree_ = true;
    return true;
}

bool FractureBody::setUp() {
    releaseFragmentBuffer();
    buildStressTree();
    return updateFromFragments();
}

void FractureBody::assignStressCells(const unsigned int* depthLimit) {
    if (!depthLimit || !stressTree || !stressTree->root) {
        return;
    }
    std::uint32_t code = 1;
    stressTree->root->assignCellCodes(*depthLimit, code);
}

// Joints across the first cut of the tree, or holding a static fragment, lose all
// strength; joints inside one cell are capped at the global threshold.
void FractureBody::applySecondaryCracks() {
    if (!stressTree) {
        buildStressTree();
    }
    if (!stressTree || !stressTree->root || stressTree->levelCount == 0) {
        return;
    }
    std::uint32_t code = 1;
    stressTree->root->assignCellCodes(SECONDARY_CRACK_DEPTH, code);
    for (DynamicStress* joint : activeJoints) {
        if (!joint->isActive()) {
            continue;
        }
        const PrivateHardBody* const C = joint->getCNode();
        const PrivateHardBody* const P = joint->getPNode();
        const double t = joint->get_break_tolerance();
        if (C && C->isStatic()) {
            joint->set_break_tolerance(0.0);
        } else if (C && P && !P->isStatic() && C->cellCode == P->cellCode) {
            joint->set_break_tolerance(t > globalStressThreshold ? globalStressThreshold : t);
        } else {
            joint->set_break_tolerance(0.0);
        }
    }
}
