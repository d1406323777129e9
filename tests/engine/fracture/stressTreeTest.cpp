#include <gtest/gtest.h>

#include "engine/fracture/fractureBody.h"
#include "fractureRig.h"
#include "geometry/bounds/boxTree.h"

using zyltest::FractureRig;

TEST(StressTree, SmallBodyIsOneCell) {
    FractureRig rig;
    FractureBody body;
    rig.row(body, 4);
    for (DynamicStress* j : rig.joints) {
        j->set_break_tolerance(5.0);
    }
    body.setGlobalStressThreshold(3.0);
    rig.bodies[0]->enableStatic();  // PNode of joint 1
    body.applySecondaryCracks();    // builds the tree first
    ASSERT_NE(body.getTreeMesh(), nullptr);
    EXPECT_EQ(body.getTreeNodeCount(), 1u);
    EXPECT_EQ(body.getTreeMesh()->leafCount, 1u);
    EXPECT_EQ(body.getTreeMesh()->leaves[0], body.getTreeMesh()->root);
    for (const auto& f : rig.bodies) {
        EXPECT_EQ(f->getCellCode(), 1u);
    }
    EXPECT_EQ(rig.joints[0]->get_break_tolerance(), 0.0);
    EXPECT_EQ(rig.joints[1]->get_break_tolerance(), 3.0);
    EXPECT_EQ(rig.joints[2]->get_break_tolerance(), 3.0);

    FractureBody empty;
    EXPECT_FALSE(empty.buildStressTree());
    EXPECT_EQ(empty.getTreeMesh(), nullptr);
    EXPECT_EQ(empty.getTreeNodeCount(), 0u);
    empty.applySecondaryCracks();
}

// Six in a row: the first cut leaves three on each side. Joints inside a cell are
// capped at the threshold, the one across and those holding a static end drop to 0.
TEST(StressTree, RowSplitsIntoTwoCells) {
    FractureRig rig;
    FractureBody body;
    rig.row(body, 6);  // joint i ties cube i - 1 (PNode) to cube i (CNode)
    const double tolerances[5] = {5.0, 2.0, 5.0, 5.0, 5.0};
    for (int i = 0; i < 5; ++i) {
        rig.joints[i]->set_break_tolerance(tolerances[i]);
    }
    rig.bodies[0]->enableStatic();
    rig.bodies[5]->enableStatic();
    ASSERT_TRUE(body.setUp());
    EXPECT_EQ(body.getTreeNodeCount(), 2u);
    EXPECT_EQ(body.getTreeMesh()->leafCount, 2u);
    EXPECT_EQ(body.getTreeMesh()->leaves[0], body.getTreeMesh()->root->left);
    EXPECT_EQ(body.getTreeMesh()->leaves[1], body.getTreeMesh()->root->right);

    body.setGlobalStressThreshold(3.0);
    body.applySecondaryCracks();
    const auto& f = rig.bodies;
    EXPECT_EQ(f[0]->getCellCode(), f[1]->getCellCode());
    EXPECT_EQ(f[1]->getCellCode(), f[2]->getCellCode());
    EXPECT_EQ(f[3]->getCellCode(), f[4]->getCellCode());
    EXPECT_EQ(f[4]->getCellCode(), f[5]->getCellCode());
    EXPECT_EQ(f[0]->getCellCode() + f[3]->getCellCode(), 5u);  // 2 and 3
    EXPECT_EQ(rig.joints[0]->get_break_tolerance(), 0.0);  // static PNode
    EXPECT_EQ(rig.joints[1]->get_break_tolerance(), 2.0);  // below the cap
    EXPECT_EQ(rig.joints[2]->get_break_tolerance(), 0.0);  // across the cut
    EXPECT_EQ(rig.joints[3]->get_break_tolerance(), 3.0);  // capped
    EXPECT_EQ(rig.joints[4]->get_break_tolerance(), 0.0);  // static CNode

    // The host's colouring: depth limit 0 puts every fragment in cell 1.
    const unsigned int limit = 0;
    body.assignStressCells(&limit);
    EXPECT_EQ(f[4]->getCellCode(), 1u);
}

TEST(StressTree, SecondaryImpactCondition) {
    FractureBody body;
    body.setSecImpactsParams(50, 10.0);
    body.dyn.invMass = 1.0 / 5.0;
    EXPECT_TRUE(body.checkSecImpactsCond());
    body.dyn.invMass = 1.0 / 4.99;
    EXPECT_FALSE(body.checkSecImpactsCond());
    body.dyn.invMass = 0.0;  // infinite mass: no overflow on the way
    EXPECT_TRUE(body.checkSecImpactsCond());
    body.setSecImpactsParams(50, 0.0);
    EXPECT_FALSE(body.checkSecImpactsCond());

    // Once set up, a body never takes secondary cracks.
    FractureRig rig;
    FractureBody setUp;
    rig.row(setUp, 2);
    setUp.setSecImpactsParams(0, 1.0);
    EXPECT_TRUE(setUp.checkSecImpactsCond());
    ASSERT_TRUE(setUp.setUp());
    EXPECT_FALSE(setUp.checkSecImpactsCond());
}
