// The fracture-body node: its attribute tables, and every change flag's push into a
// fracture body built by hand from a row of six cubes.

#include <cmath>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "fractureTestSupport.h"
#include "host/api/fnAttribute.h"
#include "host/core/runtime.h"
#include "src/solverNode.h"

namespace zyltest {
namespace {

constexpr double kSingleTenth = 0.10000000149011612;

const char* const kFBodyAttributes =
    "usercommand use rigidBodies rbds clusters clus animBody anim stresses strs solver solv initialVelocity inve "
    "initialSpin insp distThreshold dthr passive pass firstHitActive fha actFrame acf breakFrame bfr "
    "stressThreshold sthr randomThreshold rthr stress2mass st2m propStyle pst enabled enb torsion tor unbreakable "
    "unb secCracks scrk percentSecCracks pscr doTrans dot mass ma friction fc bounciness bcn linearDamping lid "
    "angularDamping and selected sel displayStressses dst index idx ca_index cidx keysTX ktx keysTY kty keysTZ ktz "
    "keysRX krx keysRY kry keysRZ krz transFrame tfr ca_initialVelocity caiv ca_initialSpin caiw "
    "ca_stressThreshold cast ca_randomThreshold cart ca_propStyle caps ca_enabled cebl ca_firstHit cafh "
    "ca_stress2mass cas2 ca_unbreakable cunb ca_secCracks cscr ca_torsion ctor ca_mass cmss ca_friction cfr "
    "ca_bounciness cbn ca_airdamping cad ca_angdamping cgd affectForceFields aff fieldList ffl ca_forceFields caff "
    "ca_selected csel ca_disStresses cdst ca_passive cpas";
const char* const kStressAttributes =
    "enabled enb torsion tor breakByForce bbf breakByFrame bfr position pos forceStrenght fes breakEnergy bre "
    "frameToBreak frb fracture frac body1Name bd1 body2Name bd2 ca_enabled cebl ca_torsion ctor ca_breakByFrame "
    "cbfr ca_frameToBreak cftb ca_breakByForce cfrb ca_forceStrenght cfrv ca_breakEnergy cbre";

// Each input with a new value and the change flag(s) it dirties.
struct Affects {
    const char* input;
    const char* value;
    const char* flag;
};
const Affects kFBodyAffects[] = {
    {"initialVelocity", "1 2 3", "ca_initialVelocity"}, {"initialSpin", "1 2 3", "ca_initialSpin"},
    {"stressThreshold", "20", "ca_stressThreshold"},    {"randomThreshold", "70", "ca_randomThreshold"},
    {"propStyle", "1", "ca_propStyle"},                 {"enabled", "0", "ca_enabled"},
    {"firstHitActive", "2", "ca_firstHit"},             {"stress2mass", "0", "ca_stress2mass"},
    {"unbreakable", "1", "ca_unbreakable"},             {"secCracks", "0", "ca_secCracks"},
    {"percentSecCracks", "9", "ca_secCracks"},          {"passive", "1", "ca_passive"},
    {"torsion", "0", "ca_torsion"},                     {"selected", "1", "ca_selected"},
    {"index", "5", "ca_index"},                         {"displayStressses", "1", "ca_disStresses"},
    {"mass", "3", "ca_mass"},                           {"friction", "0.5", "ca_friction"},
    {"bounciness", "0.5", "ca_bounciness"},             {"linearDamping", "0.5", "ca_airdamping"},
    {"angularDamping", "0.5", "ca_angdamping"},         {"affectForceFields", "1", "ca_forceFields"},
};
const Affects kStressAffects[] = {
    {"enabled", "1", "ca_enabled"},           {"torsion", "1", "ca_torsion"},
    {"breakByFrame", "1", "ca_breakByFrame"}, {"breakByForce", "0", "ca_breakByForce"},
    {"frameToBreak", "4", "ca_frameToBreak"}, {"forceStrenght", "3", "ca_forceStrenght"},
    {"breakEnergy", "2", "ca_breakEnergy"},
};

class FBody : public FractureTest {
protected:
    // Long and short names of the node's own attributes, children left out.
    static std::string attributeNames(const MObject& obj) {
        const MFnDependencyNode fn(obj);
        std::string out;
        for (unsigned i = 0; i < fn.attributeCount(); ++i) {
            const MFnAttribute attr(fn.attribute(i));
            const std::string name = attr.name().asChar();
            if (name == "message" || name == "state" || MPlug(obj, fn.attribute(i)).isChild()) continue;
            if (!out.empty()) out += ' ';
            out += name;
            out += ' ';
            out += attr.shortName().asChar();
        }
        return out;
    }
    static bool dirty(const MObject& obj, const std::string& attr) {
        host::Node* n = rt().scene.find(obj.id());
        const host::Slot* slot = rt().scene.slot(*n, MFnDependencyNode(obj).attribute(attr.c_str()).attribute().get(),
                                                 -1, false);
        return slot && slot->dirty;
    }
    // Sets each input and checks that exactly its flag went dirty; flags are read clean
    // before (a push may write other inputs, so until nothing is left dirty).
    static void checkAffects(const std::string& name, const Affects* table, std::size_t n) {
        const MObject obj = node(name);
        std::vector<std::string> flags;
        for (std::size_t i = 0; i < n; ++i)
            if (std::ranges::find(flags, table[i].flag) == flags.end()) flags.push_back(table[i].flag);
        for (std::size_t i = 0; i < n; ++i) {
            for (int pass = 0; pass < 3; ++pass)
                for (const std::string& f : flags) MPlug(obj, MFnDependencyNode(obj).attribute(f.c_str())).asBool();
            run("setAttr " + name + "." + table[i].input + " " + table[i].value);
            for (const std::string& f : flags)
                EXPECT_EQ(dirty(obj, f), f == table[i].flag) << name << "." << table[i].input << " -> " << f;
        }
    }
    // What the random-cell push leaves on joint i under threshold t.
    double cellStrength(int i, double t) const {
        const PrivateHardBody* a = bodies[i];
        const PrivateHardBody* b = bodies[i + 1];
        if (a->isStatic() || b->isStatic() || a->getCellCode() != b->getCellCode()) return 0.0;
        return a->getGroupID() == b->getGroupID() ? t : t * kSingleTenth;
    }
    std::vector<double> strengths() const {
        std::vector<double> out;
        for (const SceneStress* s : stresses) out.push_back(s->getJoint()->get_break_tolerance());
        return out;
    }
    // Joint 0 ties two groups, joint 4 a static end.
    void mixGroups() {
        for (PrivateHardBody* b : bodies) b->setGroupID(1);
        bodies[0]->setGroupID(7);
        bodies[5]->enableStatic();
    }
};

TEST_F(FBody, AttributeTablesAndWhatEachInputDirties) {
    run("createNode fBodyNode -n fb; createNode stressNode -n s");
    EXPECT_EQ(attributeNames(node("fb")), kFBodyAttributes);
    EXPECT_EQ(attributeNames(node("s")), kStressAttributes);
    checkAffects("fb", kFBodyAffects, std::size(kFBodyAffects));
    checkAffects("s", kStressAffects, std::size(kStressAffects));

    // Defaults, limits (writes are clamped), and the one message plug shown.
    EXPECT_EQ(number("fb.randomThreshold"), 70);
    run("createNode fBodyNode -n fresh");
    const std::pair<const char*, double> defaults[] = {
        {"stressThreshold", 50},  {"randomThreshold", 40}, {"stress2mass", 1}, {"enabled", 1},   {"torsion", 1},
        {"secCracks", 1},         {"percentSecCracks", 5}, {"mass", 1},        {"friction", 0.7}, {"bounciness", 0.3},
        {"linearDamping", 0.01}, {"index", -1},          {"distThreshold", 0.05}, {"actFrame", 1}, {"breakFrame", 1}};
    for (const auto& [attr, value] : defaults) EXPECT_EQ(number(std::string("fresh.") + attr), value) << attr;
    run("setAttr fresh.randomThreshold 150; setAttr fresh.percentSecCracks -3; setAttr fresh.distThreshold 200; "
        "setAttr fresh.stressThreshold -1; setAttr fresh.angularDamping 2");
    for (const auto& [attr, value] : {std::pair<const char*, double>{"randomThreshold", 100}, {"percentSecCracks", 0},
                                      {"distThreshold", 100}, {"stressThreshold", 0}, {"angularDamping", 1}})
        EXPECT_EQ(number(std::string("fresh.") + attr), value) << attr;
    EXPECT_FALSE(MFnAttribute(FractureBodyNode::solver).isHidden());
    for (const MObject& attr : {FractureBodyNode::rigidBodies, FractureBodyNode::clusters, FractureBodyNode::animBody,
                                FractureBodyNode::stresses})
        EXPECT_TRUE(MFnAttribute(attr).isHidden());
    // A plug without a branch keeps its value.
    MDataBlock data(node("fresh").id());
    EXPECT_EQ(user<FractureBodyNode>("fresh")->compute(MPlug(node("fresh"), FractureBodyNode::mass), data),
              MS::kUnknownParameter);
}

// Strengths by group, then by random stress cell, for randomThreshold 9, 10, 40, 95, 100.
TEST_F(FBody, StrengthsFollowGroupsCellsAndStaticEnds) {
    buildRow();
    mixGroups();
    run("setAttr fb.stress2mass 0");
    EXPECT_TRUE(flag("fb.cas2"));

    fb->applyDoubleParam(FractureBodyNode::ca_stressThreshold, 50.0);
    EXPECT_EQ(fb->fractureBody->getGlobalStressThreshold(), 50.0);
    EXPECT_EQ(strengths(), (std::vector<double>{5.0, 50.0, 50.0, 50.0, 0.0}));

    // Six cubes make a tree of two levels: a cut needs randomThreshold 50 or more.
    ASSERT_EQ(fb->fractureBody->getTreeNodeCount(), 2u);
    const std::vector<double> oneCell{5.000000074505806, 50.0, 50.0, 50.0, 0.0};
    for (const auto& [value, percent] : {std::pair{9, 0}, {10, 10}, {40, 40}, {95, 90}, {100, 100}}) {
        run("setAttr fb.randomThreshold " + std::to_string(value));
        EXPECT_TRUE(flag("fb.cart"));
        EXPECT_EQ(fb->randomPercent, percent);
        for (int i = 0; i < kJoints; ++i) EXPECT_EQ(strengths()[i], cellStrength(i, 50.0)) << value << " joint " << i;
        if (value < 50) {
            EXPECT_EQ(strengths(), oneCell) << value;
        } else {
            EXPECT_NE(bodies[0]->getCellCode(), bodies[5]->getCellCode()) << value;
            EXPECT_LT(strengths()[1] + strengths()[2] + strengths()[3], 150.0) << value;
        }
    }

    // The threshold's flag runs the cell push after the group push.
    run("setAttr fb.randomThreshold 0; setAttr fb.stressThreshold 80");
    EXPECT_TRUE(flag("fb.cast"));
    EXPECT_EQ(strengths(), (std::vector<double>{80 * kSingleTenth, 80.0, 80.0, 80.0, 0.0}));
    EXPECT_FALSE(dirty(node("fb"), "ca_randomThreshold"));

    // While no stress node is counted (a build in progress) nothing moves, but the cells
    // are still assigned.
    fb->stressCount = 0;
    for (PrivateHardBody* b : bodies) b->setCellCode(99);
    run("setAttr fb.stressThreshold 30; setAttr fb.randomThreshold 40; setAttr fb.stress2mass 1");
    EXPECT_TRUE(flag("fb.cast") && flag("fb.cas2"));
    EXPECT_EQ(strengths(), (std::vector<double>{80 * kSingleTenth, 80.0, 80.0, 80.0, 0.0}));
    EXPECT_NE(bodies[0]->getCellCode(), 99u);
}

// Strengths scaled by the fourth root of each pair's mass over the mean of all pairs.
TEST_F(FBody, StressToMassScalesByPairMass) {
    buildRow();
    mixGroups();
    const float masses[] = {1, 1, 30, 1000, 1000};
    for (int i = 0; i < 5; ++i) bodies[i]->setMass(masses[i]);
    // A node without a joint, and one whose joint has a single end.
    run("createNode stressNode -n free; connectAttr fb.stresses free.fracture");
    run("createNode stressNode -n half; connectAttr fb.stresses half.fracture");
    DynamicStress* single = createDynamicStress();
    single->attach(Qmt::QmtVector3(0, 1, 0), 1, bodies[0], nullptr);
    user<SceneStress>("half")->setJoint(single, true);
    for (SceneStress* s : stresses) s->setDoubleProperty("forceStrenght", 50.0);

    fb->stressToMass();
    const double pairs[] = {1, 15.5, 515, 1000};
    const double mean = (pairs[0] + pairs[1] + pairs[2] + pairs[3]) / 7.0;  // every node counts
    const double f1 = std::sqrt(std::sqrt(pairs[1] / mean));
    ASSERT_TRUE(f1 > 0.3 && f1 < 1.0);
    EXPECT_EQ(strengths(), (std::vector<double>{0.0, 50.0 * f1, 50.0, 50.0, 0.0}));
    for (const char* s : {"s0", "s4", "free"}) {
        EXPECT_TRUE(flag(std::string(s) + ".enabled")) << s;
        EXPECT_TRUE(flag(std::string(s) + ".torsion")) << s;
    }
    EXPECT_FALSE(flag("half.enabled"));
    EXPECT_FALSE(flag("half.torsion"));

    // Turned off, the strengths return to their cell values.
    run("setAttr fb.randomThreshold 0; setAttr fb.stress2mass 0");
    EXPECT_TRUE(flag("fb.cas2"));
    EXPECT_EQ(strengths(), (std::vector<double>{50 * kSingleTenth, 50.0, 50.0, 50.0, 0.0}));
}

// A mass of 0 is not pushed; a body of no finite mass is left out of the mean, and its
// joints keep their strength rather than turning the others to 0 and its own to NaN.
TEST_F(FBody, StressToMassLeavesOutBodiesOfNoFiniteMass) {
    buildRow();
    mixGroups();
    const double mass = fb->fractureBody->getMass();
    run("setAttr fb.mass 0; getAttr fb.cmss");
    EXPECT_EQ(fb->fractureBody->getMass(), mass);
    EXPECT_EQ(bodies[2]->getInvMass(), 1.0 / 500.0);

    for (SceneStress* s : stresses) s->setDoubleProperty("forceStrenght", 50.0);
    bodies[2]->dyn.invMass = 0.0;
    fb->stressToMass();
    EXPECT_EQ(strengths(), (std::vector<double>{50.0, 50.0, 50.0, 50.0, 0.0}));
}

TEST_F(FBody, FlagsPushIntoTheEngineBody) {
    buildRow();
    FractureBody* body = fb->fractureBody;
    run("setAttr fb.linearDamping 0.01; setAttr fb.angularDamping 0.02; setAttr fb.friction 0.25; "
        "setAttr fb.bounciness 0.75; setAttr fb.mass 3; setAttr fb.percentSecCracks 9; setAttr fb.propStyle 1");
    for (const char* f : {"cad", "cgd", "cfr", "cbn", "cmss", "cscr", "caps"}) EXPECT_TRUE(flag(std::string("fb.") + f));
    EXPECT_EQ(body->getAirDampingCoeff(), 0.0010000000149011613);
    EXPECT_EQ(body->getAirDampingCoeff2(), 0.02 * kSingleTenth);
    EXPECT_EQ(body->getFrictionCoeff(), 0.25);
    EXPECT_EQ(body->getRestitutionCoeff(), 0.75);
    EXPECT_NEAR(body->getMass(), 3.0, 1e-9);
    EXPECT_EQ(body->secImpactPercent, 9);
    EXPECT_EQ(body->secImpactReferenceMass, body->getMass());
    EXPECT_EQ(body->getPropagationType(), 1);

    // The three flag bits, first hit, the index.
    run("setAttr fb.unbreakable 1; setAttr fb.secCracks 0; setAttr fb.passive 1; setAttr fb.firstHitActive 1");
    for (const char* f : {"cunb", "cscr", "cpas", "cafh"}) EXPECT_TRUE(flag(std::string("fb.") + f));
    EXPECT_EQ(body->flags & (FRACTURE_UNBREAKABLE | FRACTURE_SEC_IMPACTS | BODY_STATIC | BODY_FIRST_HIT),
              FRACTURE_UNBREAKABLE | BODY_STATIC | BODY_FIRST_HIT);
    EXPECT_TRUE(engineWorld()->contains(body));
    EXPECT_EQ(number("fb.index"), body->transform.index);
    EXPECT_TRUE(flag("fb.enabled"));
    run("setAttr fb.firstHitActive 2; setAttr fb.unbreakable 0; setAttr fb.secCracks 1");
    for (const char* f : {"cafh", "cunb", "cscr"}) EXPECT_TRUE(flag(std::string("fb.") + f));
    run("setAttr fb.index 9");
    EXPECT_TRUE(flag("fb.cidx"));
    EXPECT_EQ(body->flags & (FRACTURE_UNBREAKABLE | FRACTURE_SEC_IMPACTS | BODY_FIRST_HIT), FRACTURE_SEC_IMPACTS);
    EXPECT_EQ(body->transform.index, 9);

    // Start velocities: pushed with their own flags; on enabling only above 1e-5.
    run("setAttr fb.passive 0; setAttr fb.initialVelocity 1 2 3; setAttr fb.initialSpin 0 0 0.5");
    EXPECT_TRUE(flag("fb.caiv") && flag("fb.caiw") && flag("fb.cpas"));
    EXPECT_EQ(body->getDyn().v, Qmt::QmtVector3(1, 2, 3));
    EXPECT_EQ(body->getDynInit().v, Qmt::QmtVector3(1, 2, 3));
    run("setAttr fb.initialVelocity 0.000005 0 0; setAttr fb.initialSpin 0 0 0.5");
    body->setLinearVelocity(Qmt::QmtVector3(0, 0, 0));
    run("setAttr fb.enabled 0; setAttr fb.enabled 1");
    EXPECT_TRUE(flag("fb.cebl"));
    EXPECT_EQ(body->getDyn().v, Qmt::QmtVector3(0, 0, 0));
    EXPECT_NEAR(body->getDyn().w.z, 0.5, 1e-12);

    // Torsion reaches every stress node; selecting selects the first member.
    run("setAttr fb.torsion 0; setAttr fb.selected 1");
    EXPECT_TRUE(flag("fb.ctor"));
    for (const SceneStress* s : stresses) EXPECT_FALSE(s->getJoint()->isTorsionEnabled());
    EXPECT_TRUE(flag("fb.csel"));
    MSelectionList active;
    MGlobal::getActiveSelectionList(active);
    ASSERT_EQ(active.length(), 1u);
    MObject first;
    active.getDependNode(0, first);
    EXPECT_EQ(MFnDependencyNode(first).name(), "c0Body");
    EXPECT_FALSE(fb->isMemberSelected());  // no member is owned yet
    user<rigidBodyNode>("c0Body")->setOwner(fb);
    EXPECT_TRUE(fb->isMemberSelected());
    user<rigidBodyNode>("c0Body")->setOwner(nullptr);

    // The engine body takes the name, cut to 255 characters.
    fb->rename("wall");
    EXPECT_STREQ(body->transform.name, "wall");
    EXPECT_FALSE(node("wall").isNull());
    fb->rename(std::string(300, 'w'));
    EXPECT_EQ(std::string(body->transform.name), std::string(255, 'w'));

    // Animated thresholds make aspect 4 animated, and nothing else.
    EXPECT_FALSE(fb->isAnimatedAspect(4));
    run("setKeyframe -t 1 -v 10 " + std::string(300, 'w') + ".randomThreshold");
    EXPECT_TRUE(fb->isAnimatedAspect(4));
    EXPECT_FALSE(fb->isAnimatedAspect(1));
}

// Enabling hands the anim body's velocity on and takes a free anim body out of the
// world; disabling puts it back.
TEST_F(FBody, EnabledWithAnAnimBody) {
    buildRow();
    rigidBodyNode* anim = cube(9);
    HardBody* animBody = anim->getBody(false);
    engineWorld()->addBody(animBody, 0);
    run("connectAttr c9Body.message fb.animBody");
    animBody->setLinearVelocity(Qmt::QmtVector3(0, -3, 0));
    run("setAttr fb.enabled 0");
    EXPECT_TRUE(flag("fb.cebl"));
    EXPECT_TRUE(engineWorld()->contains(animBody));
    run("setAttr fb.enabled 1");
    EXPECT_TRUE(flag("fb.cebl"));
    EXPECT_EQ(fb->fractureBody->getDyn().v, Qmt::QmtVector3(0, -3, 0));
    EXPECT_FALSE(engineWorld()->contains(animBody));
    run("setAttr fb.enabled 0");
    EXPECT_TRUE(flag("fb.cebl"));
    EXPECT_TRUE(engineWorld()->contains(animBody));
}

// Changes leave the solver's cached play-back, except the stress display; the
// thresholds and the propagation style only when asked by the user.
TEST_F(FBody, WhichChangesTellTheSolver) {
    run("createNode zylSolverNode");
    buildRow();
    run("connectAttr zylSolverNode1.fractureBodies fb.solver");
    const auto cached = [] { return flag("zylSolverNode1.cachedMode"); };
    const auto change = [&](const std::string& set, const std::string& read) {
        run("setAttr zylSolverNode1.cachedMode 1; " + set);
        EXPECT_TRUE(flag(read)) << read;
        return cached();
    };
    EXPECT_TRUE(change("setAttr fb.displayStressses 1", "fb.cdst"));
    EXPECT_TRUE(change("setAttr fb.selected 1", "fb.csel"));
    EXPECT_TRUE(change("setAttr fb.randomThreshold 30", "fb.cart"));
    EXPECT_TRUE(change("setAttr fb.propStyle 1", "fb.caps"));
    EXPECT_FALSE(change("setAttr fb.friction 0.2", "fb.cfr"));
    EXPECT_FALSE(change("setAttr fb.usercommand 1; setAttr fb.stressThreshold 20", "fb.cast"));
    EXPECT_FALSE(flag("fb.usercommand"));
    EXPECT_FALSE(change("setAttr fb.usercommand 1; setAttr fb.propStyle 0", "fb.caps"));
    EXPECT_FALSE(flag("fb.usercommand"));
    // A stress node tells through its owner.
    EXPECT_FALSE(change("setAttr s2.breakEnergy 1", "s2.cbre"));
    EXPECT_TRUE(rt().log.contains(host::LogKind::Warning, " ZYL bake cached mode has been deactivated "));
}

// A second solver replaces the world: the fracture body and its joints go before the
// rigid bodies, and nothing points into the old world.
TEST_F(FBody, ANewSolverReleasesTheFractureBodyFirst) {
    run("createNode zylSolverNode");
    buildRow();
    engineWorld()->addBody(fb->fractureBody, 0);
    run("createNode zylSolverNode");
    EXPECT_FALSE(fb->fractureBody);
    for (const SceneStress* s : stresses) {
        EXPECT_FALSE(s->getJoint());
        EXPECT_EQ(s->getOwner(), fb);
    }
    // Pushes without an engine body do nothing.
    run("setAttr fb.stressThreshold 10; setAttr fb.enabled 0");
    EXPECT_TRUE(flag("fb.cast") && flag("fb.cebl"));
}

}  // namespace
}  // namespace zyltest
