#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/fracture/fractureBody.h"
#include "fractureRig.h"
#include "geometry/bounds/boxTree.h"

using zyltest::FractureRig;
using zyltest::listOf;
using zyltest::SampleBody;

namespace {

std::vector<unsigned> indicesOf(const FractureBody::JointList& list) {
    std::vector<unsigned> out;
    for (const DynamicStress* j : list) {
        out.push_back(j->getIndex());
    }
    return out;
}

}  // namespace

TEST(FractureBodyLists, NewBodyAndIteration) {
    FractureRig rig;
    FractureBody body;
    EXPECT_EQ(body.getType(), HB_FRACTURE);
    EXPECT_EQ(body.getMaxCracks(), 8);
    EXPECT_EQ(body.getCrackCount(), 0);
    EXPECT_EQ(body.getTreeMesh(), nullptr);
    EXPECT_TRUE(body.isBreakable());
    EXPECT_FALSE(body.isSecImpacts());
    EXPECT_EQ(body.getFirstActiveJoint(), nullptr);
    EXPECT_EQ(body.getFirstOffJoint(), nullptr);
    EXPECT_EQ(body.getFirstBody(), nullptr);
    EXPECT_EQ(body.getFirstDisconectBody(), nullptr);
    EXPECT_EQ(body.getFirstFBody(), nullptr);
    EXPECT_EQ(body.getNextBody(), nullptr);  // no walk under way

    rig.row(body, 3);
    // A first on an empty list leaves a running walk alone.
    EXPECT_NE(body.getFirstBody(), nullptr);
    EXPECT_EQ(body.getFirstDisconectBody(), nullptr);
    EXPECT_EQ(body.iterationMarks[2], 1);
    int n = 1;
    while (body.getNextDisconectBody()) {
        ++n;
    }
    EXPECT_EQ(n, 3);
    EXPECT_EQ(body.iterationMarks[2], 0);
}

TEST(FractureBodyLists, AddJointOrdersAndRegisters) {
    FractureRig rig;
    FractureBody body;
    SampleBody* a = rig.cube({0, 0, 0});
    SampleBody* b = rig.cube({1, 0, 0});
    SampleBody* c = rig.cube({2, 0, 0});
    DynamicStress* j5 = rig.join(a, b, 5);
    DynamicStress* j3 = rig.join(b, c, 3);
    DynamicStress* j5b = rig.join(a, c, 5);
    j5->deActivate();
    body.addDisconectBody(c);
    body.addJoint(j5);
    body.addJoint(j3);
    body.addJoint(j5b);
    body.addJoint(j5);  // already there
    EXPECT_EQ(listOf(body.activeJoints), (std::vector<DynamicStress*>{j3, j5, j5b}));
    EXPECT_TRUE(j5->isActive());
    // CNode then PNode appended: b, a, then c (taken out of the disconnected list).
    EXPECT_EQ(listOf(body.fragments), (std::vector<PrivateHardBody*>{b, a, c}));
    EXPECT_EQ(body.numDisconectBodies(), 0u);
    EXPECT_EQ(a->jointCount, 2);
    EXPECT_EQ(listOf(a->joints), (std::vector<DynamicStress*>{j5b, j5}));  // pushed at the front
    EXPECT_EQ(a->getParent(), &body);
    EXPECT_TRUE(a->isJoined());

    // linkJoint adds once.
    FractureBody::linkJoint(a, j5);
    EXPECT_EQ(a->jointCount, 2);
    FractureBody::linkJoint(a, j3);
    EXPECT_EQ(a->jointCount, 3);
    EXPECT_EQ(a->joints.head->next->value, j3);

    // registerJoints pushes bodies at the head: the fragment order is reversed.
    FractureBody other;
    other.registerJoints(body.activeJoints);
    EXPECT_EQ(listOf(other.fragments), (std::vector<PrivateHardBody*>{a, b, c}));
    EXPECT_EQ(other.getNActiveJoints(), 0u);
    EXPECT_EQ(c->getParent(), &other);

    EXPECT_EQ(FractureBody::findFragmentJoint(b, c), j3);
    EXPECT_EQ(body.findJointOfBody(c), j3);
    EXPECT_EQ(body.findJointOfBody(&other), nullptr);
}

TEST(FractureBodyLists, DeactivateActivateAndChildren) {
    FractureRig rig;
    FractureBody body;
    rig.row(body, 4);
    DynamicStress* j1 = rig.joints[0];
    DynamicStress* j2 = rig.joints[1];
    EXPECT_TRUE(body.deActivateJoint(j1));
    EXPECT_FALSE(j1->isActive());
    EXPECT_EQ(body.pendingBreaks, 1u);
    EXPECT_TRUE(body.isSplitReady());
    body.activateJoint(j1);  // back at the tail
    EXPECT_EQ(indicesOf(body.activeJoints), (std::vector<unsigned>{2, 3, 1}));
    EXPECT_EQ(body.pendingBreaks, 0u);
    EXPECT_TRUE(j1->isActive());
    body.activateJoint(j2);  // not deactivated: nothing
    EXPECT_EQ(body.getNActiveJoints(), 3u);

    // Broken in place, then recorded at the head of the deactivated list.
    j1->deActivate();
    j2->deActivate();
    body.removeDeactivatedJointsFromActiveList();
    EXPECT_EQ(listOf(body.deactivatedJoints), (std::vector<DynamicStress*>{j1, j2}));
    EXPECT_EQ(body.pendingBreaks, 2u);

    // Every joint of one fragment at once.
    body.activateJoint(j1);
    body.activateJoint(j2);
    body.deActivateFragmentJoints(rig.bodies[2].get());
    EXPECT_EQ(listOf(body.deactivatedJoints), (std::vector<DynamicStress*>{rig.joints[2], j2}));
    EXPECT_EQ(body.pendingBreaks, 2u);

    // A joint of a child: the child's lists and count move, not the parent's.
    auto* child = new FractureBody();
    body.children.pushFront(child);
    FractureRig childRig;
    childRig.row(*child, 2);
    EXPECT_TRUE(body.deActivateJoint(childRig.joints[0]));
    EXPECT_EQ(child->pendingBreaks, 1u);
    EXPECT_EQ(body.pendingBreaks, 2u);
    EXPECT_FALSE(body.deActivateJoint(childRig.joints[0]));

    body.setPropagationType(7);
    EXPECT_EQ(body.getPropagationType(), 2);
    EXPECT_EQ(child->getPropagationType(), 2);
    body.setPropagationType(1);
    EXPECT_EQ(child->getPropagationType(), 1);

    // Off joints of the descendants gathered at the head.
    child->offJoints.pushFront(childRig.joints[0]);
    child->brokenCount = 1;
    body.gatherBrokenJoints();
    EXPECT_EQ(body.brokenCount, 1u);
    EXPECT_EQ(child->offJoints.count, 0u);
    EXPECT_EQ(body.getFirstOffJoint(), childRig.joints[0]);
    body.ClearBrokenJointsList();
    EXPECT_EQ(body.brokenCount, 0u);
    EXPECT_TRUE(body.isSplitted());
    delete child;
    body.children.clear();
}

TEST(FractureBodyLists, RemoveFragmentAndJointCascade) {
    FractureRig rig;
    FractureBody body;
    rig.row(body, 3);  // c0 - c1 - c2
    SampleBody* c0 = rig.bodies[0].get();
    SampleBody* c1 = rig.bodies[1].get();
    SampleBody* c2 = rig.bodies[2].get();
    // Removing the middle one leaves both ends without a joint: all three go.
    body.removeFragment(c1);
    EXPECT_EQ(body.getNJointBodies(), 0u);
    EXPECT_EQ(body.getNActiveJoints(), 0u);
    for (SampleBody* f : {c0, c1, c2}) {
        EXPECT_EQ(f->joints.count, 0u);
        EXPECT_EQ(f->jointCount, 0);
        EXPECT_FALSE(f->isJoined());
        EXPECT_EQ(f->getParent(), nullptr);
    }

    // removeJoint: deactivated (pending - 1), own, active, each cascading.
    FractureRig rig2;
    FractureBody chain;
    rig2.row(chain, 4);  // joints 1, 2, 3
    DynamicStress* j1 = rig2.joints[0];
    DynamicStress* j2 = rig2.joints[1];
    DynamicStress* j3 = rig2.joints[2];
    chain.deActivateJoint(j1);
    chain.removeJoint(j1);
    EXPECT_EQ(chain.pendingBreaks, 0u);
    EXPECT_FALSE(chain.hasFragment(rig2.bodies[0].get()));  // lost its only joint
    EXPECT_EQ(std::ranges::count(listOf(rig2.bodies[1]->joints), j1), 0);  // nor is it linked on
    EXPECT_EQ(chain.getNJointBodies(), 3u);
    chain.activeJoints.remove(j2);
    chain.ownJoints.pushFront(j2);
    chain.removeJoint(j2);
    EXPECT_FALSE(j2->isActive());
    EXPECT_EQ(chain.ownJoints.count, 0u);
    EXPECT_EQ(chain.getNJointBodies(), 2u);
    chain.removeJoint(j3);
    EXPECT_EQ(chain.getNJointBodies(), 0u);

    // A loose body and a child's fragment are found; a stranger changes nothing.
    FractureRig rig3;
    FractureBody parent;
    auto* child = new FractureBody();
    parent.children.pushFront(child);
    rig3.row(*child, 2);
    SampleBody* loose = rig3.cube({5, 0, 0});
    parent.addDisconectBody(loose);
    loose->enableJoined();
    parent.removeFragment(loose);
    EXPECT_EQ(parent.numDisconectBodies(), 0u);
    EXPECT_FALSE(loose->isJoined());
    parent.removeFragment(loose);
    parent.removeFragment(rig3.bodies[0].get());
    EXPECT_EQ(child->getNJointBodies(), 0u);
    delete child;
    parent.children.clear();
}

// Each joint deleted once (checked by the sanitizers); descendants destroyed,
// their fragments detached since their joints are gone.
TEST(FractureBodyLists, ClearFragmentJointListsDeletesJointsOnce) {
    FractureRig rig;
    FractureBody body;
    rig.row(body, 5);
    body.deActivateJoint(rig.joints[0]);
    body.activeJoints.remove(rig.joints[1]);
    body.ownJoints.pushFront(rig.joints[1]);
    body.offJoints.pushFront(rig.joints[0]);
    body.brokenCount = 1;
    // A split-off child and grandchild holding a handed-on joint.
    auto* child = new FractureBody();
    auto* grandchild = new FractureBody();
    body.children.pushFront(child);
    child->children.pushFront(grandchild);
    body.activeJoints.remove(rig.joints[2]);
    body.ownJoints.pushFront(rig.joints[2]);
    grandchild->activeJoints.pushFront(rig.joints[2]);
    grandchild->registerJoints(grandchild->activeJoints);
    SampleBody* held = rig.bodies[3].get();
    ASSERT_EQ(held->getParent(), grandchild);
    const auto fragmentsBefore = listOf(body.fragments);
    rig.releaseJoints();

    body.clearFragmentJointLists();
    EXPECT_EQ(body.getNActiveJoints(), 0u);
    EXPECT_EQ(body.deactivatedJoints.count, 0u);
    EXPECT_EQ(body.ownJoints.count, 0u);
    EXPECT_EQ(body.offJoints.count, 0u);
    EXPECT_EQ(body.children.count, 0u);
    EXPECT_EQ(body.brokenCount, 0u);
    EXPECT_EQ(body.pendingBreaks, 0u);
    EXPECT_EQ(listOf(body.fragments), fragmentsBefore);
    for (const auto& f : rig.bodies) {
        EXPECT_EQ(f->joints.count, 0u);
        EXPECT_EQ(f->jointCount, 0);
        EXPECT_EQ(f->getParent(), nullptr);
    }
}

TEST(FractureBodyLists, QueriesAndStaticBit) {
    FractureRig rig;
    FractureBody body;
    rig.row(body, 2);
    EXPECT_FALSE(body.hasStaticBodies());
    EXPECT_FALSE(body.validateDisconnectBodiesGroups());
    SampleBody* loose = rig.cube({4, 0, 0});
    body.addDisconectBody(loose);
    body.addDisconectBody(loose);
    EXPECT_EQ(body.numDisconectBodies(), 1u);
    EXPECT_TRUE(body.validateDisconnectBodiesGroups());  // all in group 0
    loose->setGroupID(3);
    EXPECT_FALSE(body.validateDisconnectBodiesGroups());

    body.updateStaticBit();
    EXPECT_FALSE(body.isStatic());
    rig.bodies[0]->enableStatic();
    body.updateStaticBit();
    EXPECT_TRUE(body.isStatic());
    rig.bodies[0]->disableStatic();
    body.enableFirstHit();
    body.updateStaticBit();
    EXPECT_TRUE(body.isStatic());

    auto* child = new FractureBody();
    child->enableStatic();
    body.children.pushFront(child);
    body.disableStaticParts();
    EXPECT_FALSE(body.isStatic());
    EXPECT_FALSE(child->isStatic());
    delete child;
    body.children.clear();
}

// Copies share tree and buffer without owning them; both can be destroyed, and the
// fragments outlive every body with null parents.
TEST(FractureBodyLifetime, CopiesAndDestruction) {
    FractureRig rig;
    auto* body = new FractureBody();
    rig.row(*body, 4);
    ASSERT_TRUE(body->setUp());
    body->getFirstBody();
    auto* copy = new FractureBody(*body);
    EXPECT_EQ(copy->getTreeMesh(), body->getTreeMesh());
    EXPECT_EQ(copy->fragmentBuffer, body->fragmentBuffer);
    EXPECT_EQ(listOf(copy->fragments), listOf(body->fragments));
    EXPECT_EQ(copy->bodyCursor, nullptr);
    EXPECT_EQ(copy->iterationMarks[2], 0);
    FractureBody assigned;
    assigned = *copy;
    EXPECT_EQ(assigned.getTreeMesh(), body->getTreeMesh());
    assigned.setUp();  // builds its own tree, leaves the shared one alone
    EXPECT_NE(assigned.getTreeMesh(), body->getTreeMesh());
    delete copy;
    EXPECT_NE(body->getTreeMesh()->root, nullptr);
    delete body;
    for (const auto& f : rig.bodies) {
        EXPECT_EQ(f->getParent(), nullptr);
    }
}

namespace {

bool ties(const DynamicStress* j, const HardBody* b) { return j->getCNode() == b || j->getPNode() == b; }

// Nothing of the tree (lists, fragments' joint lists, stress trees) holds the body or one
// of the joints.
void expectNothingHolds(const FractureBody& fb, const HardBody* gone, const std::vector<DynamicStress*>& joints) {
    for (const FractureBody::JointList* list : {&fb.activeJoints, &fb.deactivatedJoints, &fb.ownJoints, &fb.offJoints})
        for (const DynamicStress* j : *list) {
            EXPECT_FALSE(ties(j, gone));
            EXPECT_EQ(std::ranges::count(joints, j), 0);
        }
    for (const FractureBody::FragmentList* list : {&fb.fragments, &fb.disconnectedBodies})
        for (const PrivateHardBody* f : *list) {
            EXPECT_NE(f, gone);
            for (const DynamicStress* j : f->joints) EXPECT_EQ(std::ranges::count(joints, j), 0);
        }
    if (fb.stressTree) {
        for (const BoxTreeElement* e : fb.stressTree->elements) EXPECT_NE(e->point, &gone->bbox.centre);
    }
    for (const FractureBody* child : fb.children) expectNothingHolds(*child, gone, joints);
}

}  // namespace

// Rows and rings, whole or split by breaks, each losing one body: the body and every
// joint of it leave the whole tree; a fragment that lost its last joint leaves too.
// Whether the stress trees are renewed by the drop or after it makes no difference.
TEST(FractureBodyLists, DropBodyLeavesNothingOfIt) {
    for (int n = 3; n <= 6; ++n)
        for (int ring = 0; ring < 2; ++ring)
            for (int broken = -1; broken < n - 1; ++broken)
                for (int dropped = 0; dropped < n; ++dropped) {
                    FractureRig rig;
                    FractureBody body;
                    rig.row(body, n);
                    if (ring) body.addJoint(rig.join(rig.bodies.front().get(), rig.bodies.back().get(), n));
                    ASSERT_TRUE(body.setUp());
                    if (broken >= 0) {
                        body.deActivateJoint(rig.joints[static_cast<std::size_t>(broken)]);
                        body.split();
                    }
                    SampleBody* gone = rig.bodies[static_cast<std::size_t>(dropped)].get();
                    std::vector<DynamicStress*> expected;
                    for (DynamicStress* j : rig.joints)
                        if (ties(j, gone)) expected.push_back(j);

                    // Every other drop leaves the trees for one renewal after it.
                    const bool deferred = (dropped + broken) % 2 != 0;
                    const FractureBody::DroppedParts out = body.dropBody(gone, !deferred);
                    if (deferred) body.renewStressTrees();
                    EXPECT_EQ(out.joints.size(), expected.size());
                    for (DynamicStress* j : expected) EXPECT_EQ(std::ranges::count(out.joints, j), 1);
                    expectNothingHolds(body, gone, out.joints);
                    EXPECT_TRUE(gone->joints.count == 0 && !gone->getParent() && !gone->isJoined());
                    // An end of a row, or a neighbour whose other joint broke, is left alone.
                    for (const PrivateHardBody* left : out.bodies) {
                        EXPECT_NE(left, gone);
                        EXPECT_TRUE(left->joints.count == 0 && !left->getParent());
                    }
                    if (!ring && broken < 0 && (dropped == 1 || dropped == n - 2)) {
                        EXPECT_FALSE(out.bodies.empty()) << n << " " << dropped;
                    }
                    body.applyInitialState();
                }
}
