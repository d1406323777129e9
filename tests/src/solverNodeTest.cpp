#include <cstdlib>
#include <new>
#include <string>

#include "engine/bodies/barrierBody.h"
#include "engine/collision/collisionManager.h"
#include "engine/world/privateWorld.h"
#include "solverTestSupport.h"

// One allocation of a chosen size fails, as when memory runs out just as a world is
// made. Every plain form of new and delete is replaced, so that they pair up.
namespace {
std::size_t failingAllocationSize = 0;

void* allocate(std::size_t size) {
    if (size != 0 && size == failingAllocationSize) {
        failingAllocationSize = 0;
        return nullptr;
    }
    return std::malloc(size ? size : 1);
}
void* allocateOrThrow(std::size_t size) {
    if (void* p = allocate(size)) return p;
    throw std::bad_alloc();
}
}  // namespace

// The replacements pair with each other; the compiler cannot see that.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) { return allocateOrThrow(size); }
void* operator new[](std::size_t size) { return allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace zyltest {
namespace {

using SolverNode = SolverTest;

PrivateWorld& privateWorld() { return *dynamic_cast<PrivateWorld*>(engineWorld()); }

// The solver's ground plane: the barrier of the world, once it is filed there.
BarrierBody* ground() {
    for (HardBody* body : privateWorld().aBarriers) return dynamic_cast<BarrierBody*>(body);
    return nullptr;
}

TEST_F(SolverNode, NewWorldTakesTheSolversSettingsWhenPulled) {
    run("playbackOptions -min 5");
    zylSolverNode* solver = makeSolver();
    ASSERT_TRUE(solver && world());
    EXPECT_EQ(number("zylSolverNode1.startFrame"), 5);
    EXPECT_EQ(number("zylSolverNode1.startTime"), 5);
    EXPECT_EQ(number("zylSolverNode1.cacheSize"), 47);  // the range the type was registered with
    EXPECT_EQ(world()->gravity, Qmt::QmtVector3(0, -40, 0));
    EXPECT_EQ(world()->worldFlags, WORLD_AIR_DAMPING | WORLD_FRICTION | WORLD_GRAVITY | WORLD_BODY_DEACTIVATION);
    EXPECT_TRUE(privateWorld().collisionManager->contactGroupsEnabled);
    EXPECT_EQ(ground(), nullptr);

    run("getAttr zylSolverNode1.cgr");
    EXPECT_EQ(world()->gravity, Qmt::QmtVector3(0, -9.8100004196167, 0));
    EXPECT_EQ(rt().gridColor, 3);
    run("setAttr zylSolverNode1.umu 1; setAttr zylSolverNode1.genbl 0; setAttr zylSolverNode1.ugrid 1");
    run("getAttr zylSolverNode1.cgr");
    EXPECT_EQ(world()->gravity, Qmt::QmtVector3(0, -9.8100004196167 * 4.0, 0));
    EXPECT_FALSE(world()->isGravityActive());
    EXPECT_EQ(rt().gridColor, 15);
    ASSERT_NE(ground(), nullptr);
    EXPECT_STREQ(ground()->transform.name, "groundGrid");
    EXPECT_EQ(ground()->planeNormal, Qmt::QmtVector3(0, 1, 0));

    // With the host's grid hidden, neither the grid colour nor the ground changes.
    run("hostOption -grid 0; setAttr zylSolverNode1.ugrid 0; getAttr zylSolverNode1.cgr");
    EXPECT_EQ(rt().gridColor, 15);
    EXPECT_NE(ground(), nullptr);
    run("hostOption -grid 1; setAttr zylSolverNode1.ugrid 0; getAttr zylSolverNode1.cgr");
    EXPECT_EQ(ground(), nullptr);

    // Bodies on a solver fitted to the host's units weigh 0.015 as much.
    run("makeMesh -cube -s 2 -n box");
    wire("box");
    EXPECT_EQ(number("boxBody.mass"), 60);
}

// Bodies resting on each other show up in the collision report; bodies go out of and
// back into the world through the solver.
TEST_F(SolverNode, BodiesInTheWorldAndTheirContacts) {
    zylSolverNode* solver = makeSolver();
    rigidBodyNode* low = box("low", 0.5);
    rigidBodyNode* high = box("high", 1.5);
    run("setAttr zylSolverNode1.ugrid 1");
    solver->setCollisionReporting(true);
    for (int f = 1; f <= 4; ++f) frame(f);
    HardBody** colliding = nullptr;
    EXPECT_GE(solver->queryCollisionCount(low->thisMObject(), colliding), 1);
    Qmt::QmtVector3* points = nullptr;
    EXPECT_GT(solver->queryCollisionPair(low->thisMObject(), high->thisMObject(), points), 0);
    EXPECT_EQ(solver->queryCollisionPair(low->thisMObject(), MObject(), points), 0);

    run("setAttr zylSolverNode1.cm 1");
    EXPECT_TRUE(solver->removeBodyFromWorld(high->thisMObject()));
    EXPECT_FALSE(world()->contains(high->getBody(false)));
    EXPECT_EQ(number("zylSolverNode1.cm"), 0);
    EXPECT_TRUE(solver->addBodyToWorld(high->thisMObject()));
    EXPECT_TRUE(world()->contains(high->getBody(false)));
    EXPECT_FALSE(solver->addBodyToWorld(node("zylSolverNode1")));

    run("setAttr zylSolverNode1.displaySelected 0; getAttr zylSolverNode1.cadi");
    EXPECT_FALSE(displaySelected);
}

TEST_F(SolverNode, ZUpGivesAGroundFacingZ) {
    run("hostOption -upAxis z");
    makeSolver();
    run("setAttr zylSolverNode1.ugrid 1; getAttr zylSolverNode1.cgr");
    ASSERT_NE(ground(), nullptr);
    EXPECT_EQ(ground()->planeNormal, Qmt::QmtVector3(0, 0, 1));
}

TEST_F(SolverNode, ThreadCountPicksSingleOrAllThreads) {
    makeSolver();
    run("setAttr zylSolverNode1.numThreads 2; getAttr zylSolverNode1.cnth");
    const unsigned all = world()->getThreadCount();
    world()->useSingleThread();
    world()->useAllThreads();
    EXPECT_EQ(world()->getThreadCount(), all);
    run("setAttr zylSolverNode1.numThreads 0; getAttr zylSolverNode1.cnth");
    EXPECT_EQ(world()->getThreadCount(), 1u);
}

// A cache big enough is renewed only at the start; a bigger one after simulated frames
// keeps them, and warns that cached play-back is off.
TEST_F(SolverNode, CacheSizeRenewsOrGrowsTheCaches) {
    makeSolver();
    rigidBodyNode* rb = box("box", 3);
    const RigidBodyFrameCache& cache = rb->frameCache;
    const auto resize = [](int n) {
        rt().log.clear();
        run("setAttr zylSolverNode1.cacheSize " + std::to_string(n) + "; getAttr zylSolverNode1.cchs");
    };

    resize(10);
    EXPECT_EQ(cache.capacity, 10);
    EXPECT_TRUE(logged(host::LogKind::Warning, " ZYL cache size is less than current time range "));
    for (int f = 1; f <= 5; ++f) frame(f);
    EXPECT_EQ(cache.count, 4u);  // the start, then frames 3 to 5

    resize(20);
    EXPECT_EQ(cache.capacity, 20);
    EXPECT_EQ(cache.count, 4u);
    EXPECT_TRUE(logged(host::LogKind::Warning, " ZYL bake cached mode has been deactivated "));
    resize(5);
    EXPECT_EQ(cache.capacity, 20);
    EXPECT_EQ(count(host::LogKind::Warning), 0u);

    frame(1);
    run("setAttr zylSolverNode1.cm 1");
    resize(48);
    EXPECT_EQ(cache.capacity, 48);
    EXPECT_EQ(cache.count, 0u);
    EXPECT_TRUE(logged(host::LogKind::Info, " ZYL bake cached mode has been deactivated "));
    EXPECT_EQ(count(host::LogKind::Warning), 0u);
    EXPECT_EQ(number("zylSolverNode1.cm"), 0);

    run("setAttr zylSolverNode1.cacheActive 0");
    resize(60);
    EXPECT_EQ(cache.capacity, 48);
}

TEST_F(SolverNode, FrameCacheKeepsWithinItsCapacity) {
    Qmt::QmtVector3 up(0, 1, 0);
    HardBody* body = createBarrierBody(Qmt::QmtVector3::ZERO, up);
    RigidBodyFrameCache cache;
    cache.resize(4);
    EXPECT_FALSE(cache.positions);
    cache.allocate(3);
    for (int i = 0; i < 5; ++i) {
        body->setPosition(Qmt::QmtVector3(i, 0, 0));
        cache.append(body);
    }
    EXPECT_EQ(cache.count, 3u);
    cache.allocate(0);
    cache.allocate(-2);
    EXPECT_EQ(cache.capacity, 3);
    EXPECT_EQ(cache.count, 3u);
    cache.append(nullptr);
    cache.resize(5);
    EXPECT_EQ(cache.count, 3u);
    EXPECT_EQ(cache.positions[2][0], 2.0);
    EXPECT_EQ(cache.orientations[2][0], 1.0);  // w first
    // Shrinking below the count keeps the frames that still fit.
    cache.resize(2);
    EXPECT_EQ(cache.capacity, 2);
    EXPECT_EQ(cache.count, 2u);
    EXPECT_EQ(cache.positions[1][0], 1.0);
    deleteBody(&body);
}

// The node lives on without a world; nothing reaches into the missing one.
TEST_F(SolverNode, NoWorldWhenItCannotBeMade) {
    failingAllocationSize = sizeof(PrivateWorld);
    zylSolverNode solver;
    EXPECT_EQ(failingAllocationSize, 0u);
    EXPECT_EQ(world(), nullptr);
    HardBody** colliding = nullptr;
    EXPECT_EQ(solver.queryCollisionCount(MObject(), colliding), 0);
    solver.setCollisionReporting(true);
    solver.clearCollisionReport();
}

// Teardowns: deleting the solver takes its bodies and the world; a body of no solver
// lets its engine body go with the world and gets a new one in the next.
TEST_F(SolverNode, DeletingTheSolverEndsItsWorld) {
    makeSolver();
    box("box", 3);
    run("makeMesh -cube -s 1 -n loose");
    rigidBodyNode* loose = wire("loose", 2, false);
    ASSERT_TRUE(loose->getBody(false));
    run("setAttr zylSolverNode1.ugrid 1; getAttr zylSolverNode1.cgr");
    run("delete zylSolverNode1");
    EXPECT_EQ(world(), nullptr);
    EXPECT_TRUE(node("boxBody").isNull());
    EXPECT_EQ(loose->getBody(false), nullptr);

    makeSolver();
    HardBody* rebuilt = loose->getBody(true);
    ASSERT_TRUE(rebuilt);
    EXPECT_TRUE(world()->contains(rebuilt));
    run("file -new");
    EXPECT_EQ(world(), nullptr);
}

// At exit the solver tears down once; the host's deletion of the node afterwards finds
// nothing left to free, and leaves a world made meanwhile alone.
TEST_F(SolverNode, ExitTearsDownOnce) {
    makeSolver();
    box("box", 3);
    run("setAttr zylSolverNode1.ugrid 1; getAttr zylSolverNode1.cgr; sceneMessage 29");
    EXPECT_EQ(world(), nullptr);
    EXPECT_TRUE(node("boxBody").isNull());
    EXPECT_EQ(rt().gridColor, 3);
    run("createNode zylSolverNode; delete zylSolverNode1");
    EXPECT_NE(world(), nullptr);
}

// A second solver replaces the world: bodies and the first solver's ground leave the
// old world first, so its deletion frees each of them once.
TEST_F(SolverNode, SecondSolverLeavesNothingInTheOldWorld) {
    makeSolver();
    rigidBodyNode* rb = box("box", 3);
    run("setAttr zylSolverNode1.ugrid 1; getAttr zylSolverNode1.cgr");
    run("createNode zylSolverNode");
    ASSERT_NE(world(), nullptr);
    EXPECT_EQ(rb->getBody(false), nullptr);
    HardBody* rebuilt = rb->getBody(true);
    ASSERT_TRUE(rebuilt);
    EXPECT_TRUE(world()->contains(rebuilt));
    run("delete zylSolverNode2; sceneMessage 29");
}

}  // namespace
}  // namespace zyltest
