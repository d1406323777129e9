#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "engine/collision/collisionPair.h"
#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "tests/engine/collision/collisionTestBodies.h"

using coltest::hullBox;
using Qmt::QmtVector3;

namespace {

std::unique_ptr<HullBody> namedBox(const char* name, const QmtVector3& centre) {
    auto body = hullBox(centre);
    std::strcpy(body->transform.name, name);
    body->updateWorldState();
    return body;
}

}  // namespace

TEST(JointBuilding, ByDistanceComparesTheSquaredGap) {
    const auto a = namedBox("a", {0, 0, 0});
    const auto b = namedBox("b", {1.4, 0, 0});  // 0.4 apart
    const auto joinsAt = [&](double d, bool force) {
        FractureBody body;
        body.fragments.pushFront(b.get());
        DynamicStress* joint = body.buildJointsByDistance(a.get(), d, force);
        const bool made = joint != nullptr;
        if (made) {
            EXPECT_STREQ(joint->getName(), "str_a_b");
            EXPECT_EQ(joint->get_break_tolerance(), 1.0);
            EXPECT_EQ(joint->getPNode(), a.get());
            EXPECT_EQ(joint->getIndex(), 0u);
            EXPECT_TRUE(joint->isActive());
            EXPECT_FALSE(joint->isBreakableByForce());
            EXPECT_EQ(body.getNJointBodies(), 2u);
            EXPECT_EQ(body.buildJointsByDistance(a.get(), d, force), nullptr);  // already joined
        }
        body.clearFragmentJointLists();
        return made;
    };
    EXPECT_TRUE(joinsAt(0.5, false));
    EXPECT_FALSE(joinsAt(0.3, false));
    EXPECT_TRUE(joinsAt(0.3, true));
}

TEST(JointBuilding, ContactRebuildAndJoin) {
    const auto a = namedBox("a", {0, 0, 0});
    const auto b = namedBox("b", {1, 0, 0});
    const auto c = namedBox("c", {2, 0, 0});
    {
        FractureBody body;
        for (HullBody* h : {a.get(), b.get(), c.get()}) {
            body.addDisconectBody(h);
        }
        ASSERT_TRUE(body.buildJointsByContact(0.1));
        ASSERT_EQ(body.getNActiveJoints(), 2u);
        EXPECT_EQ(body.numDisconectBodies(), 0u);
        std::vector<DynamicStress*> joints(body.activeJoints.begin(), body.activeJoints.end());
        EXPECT_EQ(joints[1]->getIndex(), joints[0]->getIndex() + 1);  // the shared counter
        body.clearFragmentJointLists();
    }
    {
        a->enableStatic();
        b->enableStatic();
        FractureBody body;
        body.addDisconectBody(a.get());
        body.addDisconectBody(b.get());
        EXPECT_FALSE(body.buildJointsByContact(0.1));  // the static pair is never a seed
        EXPECT_TRUE(body.rebuildJoints(0.1, false, false));
        EXPECT_EQ(body.getNActiveJoints(), 0u);
        EXPECT_TRUE(body.rebuildJoints(0.1, false, true));
        EXPECT_EQ(body.getNActiveJoints(), 1u);
        body.clearFragmentJointLists();
        a->disableStatic();
        b->disableStatic();
    }
    {
        FractureBody body;
        body.fragments.pushFront(b.get());
        body.addDisconectBody(a.get());
        body.buildJointsDefault();
        EXPECT_EQ(body.getNActiveJoints(), 1u);
        EXPECT_EQ(body.numDisconectBodies(), 0u);
        EXPECT_TRUE(body.buildJoints(c.get(), 0.1));  // joined again, existing joint or not
        EXPECT_TRUE(body.buildJoints(c.get(), 0.1));
        EXPECT_EQ(body.getNActiveJoints(), 3u);
        body.clearFragmentJointLists();
    }
    {
        FractureBody body;
        const auto stick = coltest::capsuleAlong({3, -0.2, -0.2}, {5, 0.2, 0.2});
        EXPECT_EQ(body.joinBodies(c.get(), stick.get()), nullptr);
        DynamicStress* joint = body.joinBodies(a.get(), b.get());
        ASSERT_NE(joint, nullptr);
        EXPECT_STREQ(joint->getName(), "");
        EXPECT_EQ(joint->get_break_tolerance(), 0.0);
        EXPECT_EQ(a->joints.count, 0u);  // not filed under its bodies
        EXPECT_EQ(body.getNJointBodies(), 2u);
        body.clearFragmentJointLists();
    }
}
