#include "engine/collision/contactGroup.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "engine/bodies/sampleBody.h"
#include "engine/collision/collisionManager.h"
#include "engine/solver/lsqSystem.h"

namespace {

using Qmt::QmtVector3;
using zyltest::place;
using zyltest::SampleBody;

const QmtVector3 UP{0.0, 1.0, 0.0};

// A group of `body` with n contacts against `other`, contact i at (i, 0, 0) with
// normal `normal` and both local points at the contact.
void fillGroup(ContactGroup& g, HardBody* body, HardBody* other, std::uint32_t n, const QmtVector3& normal = UP) {
    CollisionPair pair;
    pair.bodyA = other;
    pair.bodyB = body;
    pair.contactCount = n;
    for (std::uint32_t i = 0; i < n; ++i) {
        pair.points[i] = pair.pointsB[i] = {static_cast<double>(i), 0.0, 0.0};
        pair.normals[i] = normal;
    }
    ASSERT_TRUE(g.fillFromPair(&pair, body));
}

bool sameDyn(const HardBody& a, const HardBody& b) {
    return std::memcmp(&a.getDyn(), &b.getDyn(), sizeof(RBDynamics)) == 0;
}

TEST(ContactGroup, ThinKeepsEvenPositionsFromTwelveUp) {
    SampleBody a;
    SampleBody b;
    place(a);
    place(b);
    for (const auto& [n, kept] : {std::pair{11u, 11u}, {12u, 6u}, {13u, 6u}, {24u, 12u}}) {
        ContactGroup g;
        fillGroup(g, &b, &a, n);
        g.thin();
        EXPECT_EQ(g.count, kept);
        EXPECT_EQ(g.kept, kept);
        const double step = n < 12 ? 1.0 : 2.0;
        EXPECT_EQ(g.point[kept - 1].x, step * (kept - 1));
    }
}

TEST(ContactGroup, FiltersAlignmentAndDominantSide) {
    SampleBody a;
    SampleBody b;
    place(a);
    place(b);
    ContactGroup g;
    fillGroup(g, &b, &a, 3);
    g.normal[0] = {std::sqrt(1.0 - 0.98 * 0.98), 0.98, 0.0};  // exactly at the limit: dropped
    g.normal[1] = {0.0, -0.99, std::sqrt(1.0 - 0.99 * 0.99)};
    g.normal[2] = UP;
    g.point[1].x = 7.0;
    g.keepAlignedContacts(UP);
    ASSERT_EQ(g.count, 2u);
    EXPECT_EQ(g.point[0].x, 7.0);

    // Opposing sides: the longer summed point velocity wins, a tie keeps the first.
    for (const auto& [vA, vB, survivor] : {std::tuple{1.0, 2.0, -1.0}, {2.0, 1.0, 1.0}, {1.0, 1.0, 1.0}}) {
        ContactGroup s;
        fillGroup(s, &b, &a, 3, {0.0, 0.0, 1.0});
        s.normal[1] = {0.0, 0.0, -1.0};
        s.pointVelocity[0] = {vA, 0.0, 0.0};
        s.pointVelocity[1] = {0.0, vB, 0.0};
        s.pointVelocity[2] = QmtVector3::ZERO;
        s.keepDominantSide();
        for (std::uint32_t i = 0; i < s.count; ++i) {
            EXPECT_EQ(s.normal[i].z, survivor);
        }
        EXPECT_EQ(s.count, survivor > 0 ? 2u : 1u);
    }
}

TEST(ContactGroup, MergeMidpointsAndPointVelocity) {
    SampleBody a;
    SampleBody b;
    SampleBody c;
    place(a, {0.0, 0.0, 0.0});
    place(b, {0.0, 2.0, 0.0});
    place(c, {5.0, 0.0, 0.0});
    a.setLinearVelocity({1.0, 0.0, 0.0});
    ContactGroup g;
    fillGroup(g, &b, &a, 2);
    // World points from the other body's frame; its velocity is stored.
    EXPECT_EQ(g.point[1].x, 1.0);
    EXPECT_EQ(g.pointVelocity[0].x, 1.0);
    QmtVector3 mid[ContactGroup::MAX_CONTACTS];
    g.computeWorldPoints(mid);
    EXPECT_EQ(mid[1].y, 1.0);  // halfway between a's point and b's

    ContactGroup other;
    fillGroup(other, &c, &a, 1);
    EXPECT_FALSE(g.mergeFrom(&other));
    EXPECT_EQ(g.count, 2u);

    ContactGroup same;
    fillGroup(same, &b, &a, 1);
    ASSERT_TRUE(g.mergeFrom(&same));
    EXPECT_EQ(g.count, 3u);
    EXPECT_EQ(g.point[2].y, 1.0);
    EXPECT_EQ(g.flags & ContactGroup::ACTIVE, 0u);

    // A neighbour whose mesh carries its own vertex velocities: the group body's
    // velocity is stored instead.
    ZYLmesh mesh;
    mesh.velocityFlag = 1;
    a.setMesh(&mesh);
    a.enableWorldUpdate();  // keeps getMesh from placing the bare record
    b.setLinearVelocity({0.0, 0.0, 3.0});
    ContactGroup moving;
    fillGroup(moving, &b, &a, 1);
    EXPECT_EQ(moving.pointVelocity[0].z, 3.0);
    a.setMesh(nullptr);
}

TEST(ContactGroup, ApplyImpulsesSkipsStaticAndPushesTheParent) {
    SampleBody a;
    SampleBody b;
    SampleBody owner;
    place(a);
    place(b, {0.0, 1.0, 0.0});
    place(owner, {0.0, 1.0, 0.0});
    ContactGroup g;
    fillGroup(g, &b, &a, 2);
    dvec x;
    double values[2] = {0.5, 0.25};
    x.elements = values;
    x.length = x.capacity = 2;

    b.enableStatic();
    g.applyImpulses(&x, 0);
    EXPECT_EQ(b.getDyn().v, QmtVector3::ZERO);
    b.disableStatic();

    b.setParent(&owner);
    g.dropMark[0] = 1;  // the dropped contact takes no entry
    g.applyImpulses(&x, 1);
    EXPECT_EQ(b.getDyn().v, QmtVector3::ZERO);
    EXPECT_EQ(owner.getDyn().v.y, -0.25 * owner.getInvMass());
    b.setParent(nullptr);
}

// ---- the manager's passes ----

struct GroupScene {
    std::unique_ptr<CollisionManager> m = std::make_unique<CollisionManager>();
    SampleBody ground;
    SampleBody lower;
    SampleBody upper;
    CollisionPair bottom;  // lower on the ground
    CollisionPair top;     // upper on lower

    GroupScene() {
        place(ground);
        place(lower, {0.0, 1.0, 0.0});
        place(upper, {0.0, 2.0, 0.0});
        ground.setContactStage(0);
        lower.setContactStage(1);
        upper.setContactStage(2);
        setUp(bottom, &lower, &ground, 4);
        setUp(top, &upper, &lower, 4);
    }
    ~GroupScene() { m->groupPairs.clear(); }  // the pairs are not the manager's records
    static void setUp(CollisionPair& p, HardBody* a, HardBody* b, std::uint32_t n) {
        p.bodyA = a;
        p.bodyB = b;
        p.contactCount = n;
        for (std::uint32_t i = 0; i < n; ++i) {
            p.points[i] = p.pointsB[i] = {static_cast<double>(i) * 0.25, 0.0, 0.0};
            p.normals[i] = UP;
        }
    }
};

TEST(ContactGroupPasses, BuildLinkAndRefresh) {
    GroupScene s;
    CollisionManager& m = *s.m;
    m.groupPairs.pushFront(&s.top);
    m.groupPairs.pushFront(&s.bottom);  // first pair: bottom stage 0
    // lower from both pairs (merged into one group of 8), upper once
    EXPECT_EQ(m.buildContactGroups(), 2u);
    EXPECT_EQ(m.usedGroupCount, 2u);
    EXPECT_EQ((*m.usedGroups.begin())->body, &s.lower);
    EXPECT_EQ((*m.usedGroups.begin())->count, 8u);
    EXPECT_EQ((*++m.usedGroups.begin())->body, &s.upper);
    EXPECT_EQ(m.extraGroups.count, 10u);  // before the first clear the records come from the heap

    // Both sides at the bottom stage: no group.
    m.groupPairs.clear();
    s.upper.setContactStage(1);
    m.groupPairs.pushFront(&s.top);
    EXPECT_EQ(m.buildContactGroups(), 0u);

    // A parentless match ends the walk; parent matches keep walking, links to the front.
    m.groupPairs.clear();
    s.upper.enableInContact();
    s.lower.setParent(&s.ground);
    s.upper.setParent(&s.ground);
    m.groupPairs.pushFront(&s.top);
    m.usedGroups.clear();
    ContactGroup g1, g2, g3;
    g1.body = &s.lower;
    g2.body = &s.upper;
    g3.body = &s.ground;
    for (ContactGroup* g : {&g3, &g2, &g1}) {
        m.usedGroups.pushFront(g);
    }
    EXPECT_EQ(m.linkContactGroups(), 0u);
    EXPECT_EQ(s.top.groupLinkCount, 2u);
    EXPECT_EQ(*s.top.groupLinks.begin(), &g2);
    s.lower.setParent(nullptr);
    s.upper.setParent(nullptr);
    m.linkContactGroups();
    EXPECT_EQ(s.top.groupLinkCount, 1u);
    EXPECT_EQ(*s.top.groupLinks.begin(), &g1);

    // Refresh: groups of bodies outside the pair leave, same-body groups merge, a
    // group emptied by the filters leaves.
    ContactGroup own, twin, stranger, sideways;
    fillGroup(own, &s.upper, &s.lower, 13);
    fillGroup(twin, &s.upper, &s.lower, 12);
    fillGroup(stranger, &s.ground, &s.lower, 2);
    fillGroup(sideways, &s.lower, &s.upper, 2, {1.0, 0.0, 0.0});
    s.top.groupLinks.clear();
    for (ContactGroup* g : {&sideways, &stranger, &twin, &own}) {
        s.top.groupLinks.pushFront(g);
    }
    s.top.groupLinkCount = 4;
    m.refreshPairGroups(&s.top, UP);
    EXPECT_EQ(s.top.groupLinkCount, 1u);
    EXPECT_EQ(*s.top.groupLinks.begin(), &own);
    EXPECT_EQ(own.count, 12u);  // 13 and 12 thinned to 6 + 6
}

// The pair (body on static ground, two contacts) with one group of the body: the
// second pair variable comes out as a pull and is dropped.
struct SolveScene {
    SampleBody body;
    SampleBody ground;
    SampleBody top;
    CollisionPair pair;
    ContactGroup group;
    std::unique_ptr<CollisionManager> m = std::make_unique<CollisionManager>();
    MatrixView* block = nullptr;

    SolveScene() {
        place(body, {0.0, 0.5, 0.0});
        place(ground);
        place(top, {0.0, 1.5, 0.0});
        ground.enableStatic();
        body.setLinearVelocity({0.0, -1.0, 0.0});
        GroupScene::setUp(pair, &body, &ground, 2);
        pair.state = 2;
        pair.armsA[0] = {-0.5, -0.5, 0.0};
        pair.armsA[1] = {0.5, -0.5, 0.0};
        pair.relativeVelocities[0] = {0.0, -1.0, 0.0};
        pair.massWeightA = pair.massProductA = 1.0;
        CollisionPair above;
        GroupScene::setUp(above, &top, &body, 2);
        above.points[0] = above.pointsB[0] = {0.2, 1.0, 0.0};
        above.normals[0] = above.normals[1] = -UP;
        group.fillFromPair(&above, &body);
        pair.groupLinks.pushFront(&group);
        pair.groupLinkCount = 1;
        pair.groupContactCount = 2;
        dvec* b = nullptr;
        dvec* x = nullptr;
        m->workspace->setupRows(2, 0, block, b, x);
        CollisionManager::buildContactBlockRows(&pair, block);
    }
};

TEST(ContactGroupPasses, SolveWithGroupsReadsKeptEntriesInTurn) {
    SolveScene run;
    std::uint32_t count = run.pair.contactCount;
    run.m->solvePairWithGroups(&run.pair, 2, run.block, &count, 1.0, 0);
    EXPECT_EQ(run.pair.dropMarks[1], 1);
    EXPECT_GT(run.group.kept, 0u);

    // The same system built by hand: pair contact 0 takes entry 0, the group's kept
    // contacts the entries after the one kept pair variable.
    SolveScene ref;
    ContactLsqWorkspace& ws = *ref.m->workspace;
    MatrixView* a = nullptr;
    dvec* b = nullptr;
    dvec* x = nullptr;
    std::uint8_t* skip = nullptr;
    ASSERT_TRUE(ws.setup(4, a, b, x, skip));
    dvec_zero_range(b, 0, b->length - 1);
    MatrixView::setZero(*a, 0.0);
    b->elements[0] = 1.0;  // -(1 + 0) * 1 * (rel . n); contact 1 does not approach
    CollisionManager::buildFrictionlessNormalRows(&ref.pair, ref.block, a);
    ref.group.fillVelocityRows(b, 2, 1.0);
    ref.group.fillBlock(a, 2, 1.0);
    ref.group.fillPairCoupling(a, &ref.pair, 0, 2, 1.0);
    solveMaskedContactSystem(ws, 2, 2, a, b, x, ref.pair.dropMarks, skip);
    ASSERT_EQ(ref.pair.dropMarks[0], 0);
    ASSERT_EQ(ref.pair.dropMarks[1], 1);
    const QmtVector3 point = ref.pair.armsA[0] + ref.body.getDyn().position;
    ref.body.applyImpulse(UP * x->elements[0], point);
    ref.group.setDropMarks(skip);
    ref.group.applyImpulses(x, 1);

    EXPECT_TRUE(sameDyn(run.body, ref.body));
    EXPECT_TRUE(sameDyn(run.top, ref.top));
    EXPECT_EQ(run.pair.groupContactCount, ref.group.kept);
}

}  // namespace
