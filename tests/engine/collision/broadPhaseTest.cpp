#include "engine/collision/broadPhase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "engine/collision/collisionManager.h"
#include "engine/collision/dynamicBoxTree.h"
#include "tests/engine/collision/collisionTestBodies.h"

namespace {

using Qmt::QmtMatrix3;
using Qmt::QmtVector3;

// Random turned boxes and capsules, some touching, some far out, one plane and one
// body whose box is not a number: for every pair the world-box test lets through, the
// broad phase names the partner, in key order, also after bodies move and leave.
TEST(BroadPhase, AnswersHoldEveryPairTheBoxTestLetsThrough) {
    std::mt19937_64 random(7);
    const auto uniform = [&random](double lo, double hi) {
        return lo + (hi - lo) * static_cast<double>(random() >> 11) * 0x1.0p-53;
    };
    const auto turned = [&](HardBody& body) {
        QmtVector3 axis(uniform(-1, 1), uniform(-1, 1), uniform(-1, 1));
        axis.Unitize(1e-9);
        QmtMatrix3 R;
        R.FromAxisAngle(axis, uniform(0, 3));
        body.setRotationMatrix(R);
    };
    std::vector<std::unique_ptr<HardBody>> bodies;
    for (int i = 0; i < 160; ++i) {
        const double spread = i % 20 == 0 ? 1e6 : 6.0;
        const QmtVector3 c(uniform(-spread, spread), uniform(-spread, spread), uniform(-spread, spread));
        const QmtVector3 h(uniform(0.05, 1.5), uniform(0.05, 1.5), uniform(0.05, 1.5));
        if (i % 5 == 0) {
            bodies.push_back(coltest::capsuleAlong(c - h, c + h, i % 10 == 0));
        } else {
            bodies.push_back(coltest::hullBox(c, h));
        }
        turned(*bodies.back());
    }
    // Far out the test's tolerance grows with the distance: half a unit apart at a
    // million units still passes.
    bodies.push_back(coltest::hullBox({1e6, 0.0, 0.0}, {1.0, 1.0, 1.0}));
    bodies.push_back(coltest::hullBox({1e6 + 2.5, 0.0, 0.0}, {1.0, 1.0, 1.0}));
    bodies.push_back(coltest::floorPlane(0.5));
    bodies[3]->getDyn().position.x = std::numeric_limits<double>::quiet_NaN();
    bodies[3]->disableWorldUpdate();

    BroadPhase broadPhase;
    std::vector<BroadPhase::Candidate> answer;
    const auto check = [&](std::size_t tracked) {
        for (std::size_t i = 0; i < tracked; ++i) {
            broadPhase.prepare(bodies[i].get());
            const auto all = [](BroadPhase::Role, std::int32_t key, std::int32_t, std::int32_t) -> std::int64_t {
                return key;
            };
            broadPhase.gather(bodies[i].get(), ~0u, all, answer);
            ASSERT_TRUE(std::is_sorted(answer.begin(), answer.end(),
                                       [](const auto& a, const auto& b) { return a.key < b.key; }));
            for (std::size_t j = 0; j < tracked; ++j) {
                if (i == j || !CollisionManager::boundsMayTouch(bodies[i].get(), bodies[j].get())) {
                    continue;
                }
                const bool named = std::any_of(answer.begin(), answer.end(),
                                               [&](const auto& c) { return c.body == bodies[j].get(); });
                EXPECT_TRUE(named) << i << " misses " << j;
            }
        }
    };
    for (int frame = 0; frame < 4; ++frame) {
        // The last frame leaves out a quarter of the bodies: they must not come back.
        const std::size_t tracked = frame == 3 ? bodies.size() * 3 / 4 : bodies.size();
        broadPhase.begin();
        for (std::size_t i = 0; i < tracked; ++i) {
            broadPhase.track(bodies[i].get(), BroadPhase::LOOSE, static_cast<std::int32_t>(i));
        }
        broadPhase.commit();
        ASSERT_TRUE(broadPhase.usable());
        EXPECT_EQ(broadPhase.trackedCount(), static_cast<int>(tracked));
        check(tracked);
        // Moves during a detection, small (inside the leaf) and large.
        for (std::size_t i = 0; i < tracked; i += 3) {
            HardBody& body = *bodies[i];
            const double step = i % 2 ? 0.01 : 2.0;
            body.setPosition(body.getDyn().position + QmtVector3(uniform(-step, step), uniform(-step, step), 0.0));
            broadPhase.moved(&body);
        }
        check(tracked);
        broadPhase.end();
    }
    // A body filed twice in one detection makes the keys unusable.
    broadPhase.begin();
    broadPhase.track(bodies[0].get(), BroadPhase::GROUND, 0);
    broadPhase.track(bodies[0].get(), BroadPhase::GROUND, 1);
    broadPhase.commit();
    EXPECT_FALSE(broadPhase.usable());
}

// Leaves inserted, moved and removed at random: the tree answers exactly the leaves
// whose boxes overlap the query's, and stays logarithmically high.
TEST(DynamicBoxTree, QueriesMatchEveryBoxAndTheTreeStaysBalanced) {
    std::mt19937 random(3);
    std::uniform_real_distribution<double> at(-50.0, 50.0);
    std::uniform_real_distribution<double> size(0.1, 4.0);
    const auto box = [&] {
        double lo[3];
        double hi[3];
        for (int k = 0; k < 3; ++k) {
            lo[k] = at(random);
            hi[k] = lo[k] + size(random);
        }
        return DynamicBoxTree::widen(lo, hi);
    };
    DynamicBoxTree tree;
    std::vector<int> leaves;
    std::vector<DynamicBoxTree::Box> boxes;
    for (int round = 0; round < 3000; ++round) {
        const int action = static_cast<int>(random() % 4);
        if (action < 2 || leaves.empty()) {
            boxes.push_back(box());
            leaves.push_back(tree.insert(boxes.back(), static_cast<std::int32_t>(boxes.size() - 1)));
        } else if (action == 2) {
            const std::size_t i = random() % leaves.size();
            boxes[static_cast<std::size_t>(tree.item(leaves[i]))] = box();
            tree.move(leaves[i], boxes[static_cast<std::size_t>(tree.item(leaves[i]))]);
        } else {
            const std::size_t i = random() % leaves.size();
            tree.remove(leaves[i]);
            leaves.erase(leaves.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    ASSERT_EQ(tree.leafCount(), static_cast<int>(leaves.size()));
    EXPECT_LE(tree.height(), static_cast<int>(2.0 * std::log2(static_cast<double>(leaves.size())) + 2));
    for (int q = 0; q < 200; ++q) {
        const DynamicBoxTree::Box query = box();
        std::vector<std::int32_t> found;
        tree.query(query, [&](std::int32_t item) { found.push_back(item); });
        std::vector<std::int32_t> expected;
        for (int leaf : leaves) {
            if (DynamicBoxTree::overlap(tree.box(leaf), query)) {
                expected.push_back(tree.item(leaf));
            }
        }
        std::sort(found.begin(), found.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(found, expected);
    }
}

}  // namespace
