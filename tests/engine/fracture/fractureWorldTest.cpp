#include <gtest/gtest.h>

#include "engine/fracture/fractureBody.h"
#include "engine/fracture/fractureWorldFiling.h"
#include "engine/world/engineApi.h"
#include "engine/world/privateWorld.h"
#include "fractureRig.h"

using zyltest::FractureRig;
using zyltest::SampleBody;

namespace {

// The world with its fracture-body steps in place, as its operations call them.
class FractureWorld : public PrivateWorld {
public:
    bool addBody(HardBody* body, unsigned int flag) override {
        const bool filed = PrivateWorld::addBody(body, flag);
        if (FractureBody* const fb = asFractureBody(body); fb && flag == 0) {
            fileFractureBodyParts(*this, *fb);
        }
        return filed;
    }
    bool removeBody(HardBody* body) override {
        const bool done = PrivateWorld::removeBody(body);
        if (FractureBody* const fb = asFractureBody(body); fb && fb->getLayer() == 0) {
            returnFractureBodyParts(*this, *fb);
        }
        return done;
    }
    void makeStatic(HardBody* body, HardBody* fractureBody) override {
        PrivateWorld::makeStatic(body, fractureBody);
        if (body && fractureBody) {
            if (FractureBody* const fb = asFractureBody(fractureBody)) {
                fb->updateFromFragments();
            }
        }
    }
    void makeDynamic(HardBody* body, HardBody* fractureBody) override {
        PrivateWorld::makeDynamic(body, fractureBody);
        if (body && fractureBody) {
            if (FractureBody* const fb = asFractureBody(fractureBody)) {
                fb->updateFromFragments();
            }
        }
    }
    bool breakFractureJoint(DynamicStress* joint, HardBody* fractureBody) override {
        const bool done = PrivateWorld::breakFractureJoint(joint, fractureBody);
        FractureBody* const fb = asFractureBody(fractureBody);
        return fb ? breakFractureBodyJoint(*this, *fb, joint) : done;
    }
    bool addFractureJoint(DynamicStress* joint, HardBody* fractureBody) override {
        if (!joint || !fractureBody) {
            return false;
        }
        if (FractureBody* const fb = asFractureBody(fractureBody)) {
            fb->addJoint(joint);
        }
        return true;
    }
    unsigned int countBodies() override {
        int n = nBodies;
        for (const BodyList* list : {&aBodies, &adeActivatedBodies, &aStaticBodies}) {
            for (HardBody* b : *list) {
                if (const FractureBody* const fb = asFractureBody(b)) {
                    n += fractureBodyCountBeyondItself(*fb);
                }
            }
        }
        return static_cast<unsigned int>(n);
    }
    bool reinsertBodyTree(HardBody* body) override {
        if (FractureBody* const fb = asFractureBody(body)) {
            reinsertFractureBodyTree(*this, *fb);
            return true;
        }
        return PrivateWorld::reinsertBodyTree(body);
    }
    void postCollisionUpdate() override {
        retire(aBodies, nDynamicBodies);
        retire(aStaticBodies, nStaticBodies);
    }
    void clear() override {
        for (BodyList::Node* n = adeActivatedBodies.head->next; n;) {
            BodyList::Node* const next = n->next;
            if (isSplitFractureBody(n->value)) {
                adeActivatedBodies.remove(n->value);
            }
            n = next;
        }
        PrivateWorld::clear();
    }

private:
    void retire(BodyList& list, std::int32_t& count) {
        BodyList::Node* previous = list.head;
        while (BodyList::Node* const n = previous->next) {
            HardBody* const body = n->value;
            if (!isSplitFractureBody(body)) {
                previous = n;
                continue;
            }
            reinsertBodyTree(body);
            list.remove(body);
            body->deActivate();
            adeActivatedBodies.pushFront(body);
            --count;
        }
    }
};

}  // namespace

// Filing, re-filing and resetting a fracture body with its fragments and loose pieces.
TEST(FractureWorld, FilingAndReset) {
    FractureRig rig;
    FractureBody body;
    FractureWorld world;
    rig.row(body, 3);
    SampleBody* loose = rig.cube({0, 5, 0});
    ASSERT_TRUE(body.setUp());
    body.storeInitialState(1);
    for (const auto& f : rig.bodies) {
        world.addBody(f.get(), 0);
    }
    EXPECT_EQ(world.nBodies, 4);
    body.addDisconectBody(loose);
    world.removeBody(loose);
    world.addBody(&body, 0);
    EXPECT_EQ(world.nBodies, 2);  // the compound and its loose piece
    EXPECT_TRUE(world.contains(&body));
    EXPECT_TRUE(world.contains(loose));
    EXPECT_FALSE(world.contains(rig.bodies[0].get()));
    EXPECT_EQ(body.numDisconectBodies(), 0u);
    EXPECT_EQ(world.countBodies(), 4u);

    world.removeBody(&body);
    EXPECT_EQ(world.nBodies, 4);
    EXPECT_TRUE(world.contains(rig.bodies[1].get()));

    world.addBody(&body, 0);
    world.restoreInitialState(&body);
    EXPECT_EQ(world.nBodies, 2);
    EXPECT_TRUE(world.contains(&body));
    EXPECT_FALSE(world.contains(rig.bodies[2].get()));
    EXPECT_EQ(body.getNJointBodies(), 3u);
    world.checkWorld();
    world.clearAllLists();
}

TEST(FractureWorld, StaticFragmentsAndBrokenJoints) {
    FractureRig rig;
    FractureBody body;
    FractureWorld world;
    rig.row(body, 3);
    ASSERT_TRUE(body.setUp());
    world.addBody(&body, 0);
    for (DynamicStress* j : rig.joints) {
        j->enableBreakableByForce();
    }
    world.makeStatic(rig.bodies[0].get(), &body);
    world.makeStatic(rig.bodies[1].get(), &body);
    EXPECT_TRUE(body.isStatic());
    EXPECT_FALSE(rig.joints[0]->isBreakableByForce());  // both ends static
    EXPECT_TRUE(rig.joints[1]->isBreakableByForce());
    world.makeDynamic(rig.bodies[0].get(), &body);
    world.makeDynamic(rig.bodies[1].get(), &body);
    EXPECT_FALSE(body.isStatic());
    EXPECT_TRUE(rig.joints[0]->isBreakableByForce());
    world.removeBody(rig.bodies[0].get());
    world.removeBody(rig.bodies[1].get());

    // The end cube loses its only joint and is filed on its own; the middle joint
    // leaves both its bodies joined elsewhere... until the last one goes.
    const int before = world.nBodies;
    EXPECT_TRUE(world.breakFractureJoint(rig.joints[0], &body));
    EXPECT_FALSE(body.hasFragment(rig.bodies[0].get()));
    EXPECT_TRUE(world.contains(rig.bodies[0].get()));
    EXPECT_EQ(world.nBodies, before + 1);
    EXPECT_TRUE(world.breakFractureJoint(rig.joints[1], &body));
    EXPECT_EQ(body.getNJointBodies(), 0u);
    EXPECT_EQ(world.nBodies, before + 3);
    EXPECT_FALSE(world.breakFractureJoint(rig.joints[1], nullptr));

    FractureBody other;
    EXPECT_TRUE(world.addFractureJoint(rig.joints[0], &other));
    EXPECT_EQ(other.getNActiveJoints(), 1u);
    EXPECT_FALSE(world.addFractureJoint(nullptr, &other));
    world.clearAllLists();
}

// A body that came apart is retired with its pieces filed, dropped by clear, and
// deleted through the flat function with its joints.
TEST(FractureWorld, SplitBodiesAndDeletion) {
    FractureRig rig;
    FractureWorld world;
    auto* body = new FractureBody();
    rig.row(*body, 3);
    ASSERT_TRUE(body->setUp());
    world.addBody(body, 0);
    SampleBody* loose = rig.cube({0, 4, 0});
    body->addDisconectBody(loose);
    world.postCollisionUpdate();
    EXPECT_TRUE(world.contains(loose));
    EXPECT_FALSE(listContains(world.aBodies, body));
    EXPECT_TRUE(listContains(world.adeActivatedBodies, body));
    EXPECT_FALSE(body->isActive());
    EXPECT_EQ(world.nDynamicBodies, 1);
    world.clear();
    EXPECT_FALSE(world.contains(body));

    body->removeDisconectBodies();
    world.addBody(body, 0);
    engineWorld() = &world;
    rig.releaseJoints();
    FractureBody* doomed = body;
    deleteFractureBody(&doomed);
    engineWorld() = nullptr;
    EXPECT_EQ(doomed, nullptr);
    EXPECT_TRUE(world.contains(rig.bodies[0].get()));
    EXPECT_EQ(rig.bodies[0]->jointCount, 0);
    EXPECT_EQ(rig.bodies[0]->getParent(), nullptr);
    deleteFractureBody(&doomed);

    HardBody* made = createFractureBody();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->getType(), HB_FRACTURE);
    delete made;
    world.clearAllLists();
}
