#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "worldTestBodies.h"

using zyltest::bodiesOf;
using zyltest::makeBody;
using zyltest::SampleBody;

using Bodies = std::vector<HardBody*>;

namespace {

bool scanned(const Bodies& list, const HardBody* body) {
    return std::find(list.begin(), list.end(), body) != list.end();
}

// The list with the body put where a walk from the front stops: before the first body
// of greater index.
Bodies walkInserted(Bodies list, HardBody* body) {
    auto at = list.begin();
    while (at != list.end() && (*at)->transform.index <= body->transform.index) {
        ++at;
    }
    list.insert(at, body);
    return list;
}

}  // namespace

// Random links, unlinks, clears and index changes against a plain vector that walks
// for every answer: the same bodies in the same order, duplicates and lists out of
// index order included, and the same answers to contains.
TEST(WorldBodyList, MatchesPlainWalks) {
    for (const auto role : {WorldBodyList::DYNAMIC, WorldBodyList::DEACTIVATED}) {
        std::mt19937 rng(static_cast<unsigned>(11 + role));
        std::vector<std::unique_ptr<SampleBody>> pool;
        for (int i = 0; i < 24; ++i) {
            pool.emplace_back(makeBody(i % 9));
        }
        WorldBodyList list(role);
        Bodies model;
        const auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
        for (int step = 0; step < 6000; ++step) {
            SampleBody* const body = pool[pick(pool.size())].get();
            const std::size_t op = pick(step % 500 == 499 ? 7 : 6);
            if (op == 0) {
                list.pushFront(body);
                model.insert(model.begin(), body);
            } else if (op <= 2) {
                list.insertByIndex(body);
                model = walkInserted(model, body);
            } else if (op == 3) {
                const auto at = std::find(model.begin(), model.end(), body);
                EXPECT_EQ(list.remove(body), at != model.end());
                if (at != model.end()) {
                    model.erase(at);
                }
            } else if (op == 4 && !model.empty()) {
                const std::size_t k = pick(model.size());
                WorldBodyList::Node* n = list.head->next;
                for (std::size_t i = 0; i < k; ++i) {
                    n = n->next;
                }
                list.unlink(n);
                model.erase(model.begin() + static_cast<std::ptrdiff_t>(k));
            } else if (op == 5) {
                body->setIndex(static_cast<std::int32_t>(pick(12)));
            } else if (op == 6) {
                list.clear();
                model.clear();
            }
            ASSERT_EQ(bodiesOf(list), model) << "role " << role << " step " << step;
            for (const auto& b : pool) {
                ASSERT_EQ(list.contains(b.get()), scanned(model, b.get())) << "step " << step;
            }
        }
    }
}

// Random filing, sleeping, waking and steps in a world: a body filed by index into the
// dynamic or static list lands where the walk stops, every list answers contains as a
// scan of it does, and the world as a scan of its three body lists.
TEST(WorldBodyList, WorldFilingMatchesScans) {
    std::mt19937 rng(5);
    PrivateWorld world;
    world.disableGravity();
    Bodies pool;
    for (int i = 0; i < 30; ++i) {
        pool.push_back(makeBody(i % 3 == 0 ? -1 : i % 7));
    }
    const WorldBodyList* const lists[] = {&world.aBodies,           &world.aStaticBodies,
                                          &world.adeActivatedBodies, &world.aReactivationBodies,
                                          &world.aCrackers,          &world.aBarriers};
    for (int step = 0; step < 3000; ++step) {
        HardBody* const body = pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(rng)];
        const Bodies dynamicBefore = bodiesOf(world.aBodies);
        const Bodies staticBefore = bodiesOf(world.aStaticBodies);
        const int op = std::uniform_int_distribution<int>(0, 11)(rng);
        switch (op) {
            case 0:
            case 1: world.addBody(body, 0); break;
            case 2: world.removeBody(body); break;
            case 3: world.deactivateBody(body); break;
            case 4: world.reinsertBody(body); break;
            case 5: world.makeStatic(body, nullptr); break;
            case 6: world.makeDynamic(body, nullptr); break;
            case 7: world.switchStaticDynamic(body, step % 2 == 0); break;
            case 8: body->deActivate(); break;  // falls asleep in the next substep
            case 9: body->activate(); break;    // wakes at the front in the next substep
            case 10: world.step(PrivateWorld::SUBSTEP, nullptr); break;
            default: step % 50 == 0 ? world.clear() : body->setIndex(step % 11); break;
        }
        if (op <= 7) {
            for (const auto& [list, before] : {std::pair{&world.aBodies, &dynamicBefore},
                                               std::pair{&world.aStaticBodies, &staticBefore}}) {
                if (!scanned(*before, body) && list->contains(body)) {
                    ASSERT_EQ(bodiesOf(*list), walkInserted(*before, body)) << "step " << step;
                }
            }
        }
        for (HardBody* b : pool) {
            for (const WorldBodyList* list : lists) {
                ASSERT_EQ(list->contains(b), listContains(*list, b)) << "step " << step;
            }
            const bool filed = listContains(world.aBodies, b) || listContains(world.aStaticBodies, b) ||
                               listContains(world.adeActivatedBodies, b);
            ASSERT_EQ(world.contains(b), filed) << "step " << step;
        }
    }
    world.clearAllLists();
    for (HardBody* b : pool) {
        delete b;
    }
}
