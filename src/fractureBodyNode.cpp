#include "src/fractureBodyNode.h"

#include <algorithm>
#include <cstring>

#include "engine/fracture/dynamicStress.h"
#include "engine/fracture/fractureBody.h"
#include "engine/world/engineApi.h"
#include "engine/world/publicWorld.h"
#include "host/api/animControl.h"
#include "host/api/fnAttribute.h"
#include "host/api/fnDependencyNode.h"
#include "host/api/global.h"
#include "host/api/selectionList.h"
#include "src/bodyShared.h"
#include "src/clusterNode.h"
#include "src/rigidBodyNode.h"
#include "src/solverNode.h"
#include "src/stressNode.h"

MObject FractureBodyNode::usercommand;
MObject FractureBodyNode::rigidBodies;
MObject FractureBodyNode::clusters;
MObject FractureBodyNode::animBody;
MObject FractureBodyNode::stresses;
MObject FractureBodyNode::solver;
MObject FractureBodyNode::initialVelocity;
MObject FractureBodyNode::initialSpin;
MObject FractureBodyNode::distThreshold;
MObject FractureBodyNode::passive;
MObject FractureBodyNode::firstHitActive;
MObject FractureBodyNode::actFrame;
MObject FractureBodyNode::breakFrame;
MObject FractureBodyNode::stressThreshold;
MObject FractureBodyNode::randomThreshold;
MObject FractureBodyNode::stress2mass;
MObject FractureBodyNode::propStyle;
MObject FractureBodyNode::enabled;
MObject FractureBodyNode::torsion;
MObject FractureBodyNode::unbreakable;
MObject FractureBodyNode::secCracks;
MObject FractureBodyNode::percentSecCracks;
MObject FractureBodyNode::doTrans;
MObject FractureBodyNode::mass;
MObject FractureBodyNode::friction;
MObject FractureBodyNode::bounciness;
MObject FractureBodyNode::linearDamping;
MObject FractureBodyNode::angularDamping;
MObject FractureBodyNode::selected;
MObject FractureBodyNode::displayStressses;
MObject FractureBodyNode::index;
MObject FractureBodyNode::ca_index;
MObject FractureBodyNode::keysTX;
MObject FractureBodyNode::keysTY;
MObject FractureBodyNode::keysTZ;
MObject FractureBodyNode::keysRX;
MObject FractureBodyNode::keysRY;
MObject FractureBodyNode::keysRZ;
MObject FractureBodyNode::transFrame;
MObject FractureBodyNode::ca_initialVelocity;
MObject FractureBodyNode::ca_initialSpin;
MObject FractureBodyNode::ca_stressThreshold;
MObject FractureBodyNode::ca_randomThreshold;
MObject FractureBodyNode::ca_propStyle;
MObject FractureBodyNode::ca_enabled;
MObject FractureBodyNode::ca_firstHit;
MObject FractureBodyNode::ca_stress2mass;
MObject FractureBodyNode::ca_unbreakable;
MObject FractureBodyNode::ca_secCracks;
MObject FractureBodyNode::ca_torsion;
MObject FractureBodyNode::ca_mass;
MObject FractureBodyNode::ca_friction;
MObject FractureBodyNode::ca_bounciness;
MObject FractureBodyNode::ca_airdamping;
MObject FractureBodyNode::ca_angdamping;
MObject FractureBodyNode::affectForceFields;
MObject FractureBodyNode::fieldList;
MObject FractureBodyNode::ca_forceFields;
MObject FractureBodyNode::ca_selected;
MObject FractureBodyNode::ca_disStresses;
MObject FractureBodyNode::ca_passive;

namespace {

// Its links are storable, which messages are not by default.
MObject addLink(const char* longName, const char* shortName, bool hidden, bool array = false) {
    return addMessageAttr(longName, shortName, hidden ? kHidden | kStorable : kStorable, array);
}

constexpr auto kBool = MFnNumericData::kBoolean;
constexpr auto kLong = MFnNumericData::kLong;
constexpr auto kDouble = MFnNumericData::kDouble;

}  // namespace

FractureBodyNode::FractureBodyNode() : modifier(std::make_unique<MDGModifier>()) {}

FractureBodyNode::~FractureBodyNode() {
    destroyFractureBody();
    // Nodes this modifier deleted die with it: they must not find this node as owner.
    modifier.reset();
}

void* FractureBodyNode::creator() {
    auto* node = new FractureBodyNode;
    node->fractureBody = static_cast<FractureBody*>(createFractureBody());
    return node;
}

MStatus FractureBodyNode::initialize() {
    usercommand = addNumericAttr("usercommand", "use", kBool, 0, kInternal);
    rigidBodies = addLink("rigidBodies", "rbds", true);
    clusters = addLink("clusters", "clus", true);
    animBody = addLink("animBody", "anim", true);
    stresses = addLink("stresses", "strs", true);
    solver = addLink("solver", "solv", false);
    initialVelocity = addPointAttr("initialVelocity", "inve");
    initialSpin = addPointAttr("initialSpin", "insp");
    distThreshold = addRangedAttr("distThreshold", "dthr", kDouble, 0.05, 0.0, 100.0, kHidden);
    passive = addNumericAttr("passive", "pass", kBool, 0);
    firstHitActive = addNumericAttr("firstHitActive", "fha", MFnNumericData::kShort, 0);
    actFrame = addNumericAttr("actFrame", "acf", kLong, 1);
    breakFrame = addNumericAttr("breakFrame", "bfr", kLong, 1);
    stressThreshold = addRangedAttr("stressThreshold", "sthr", kDouble, 50.0, 0.0, 1e6, kKeyable);
    randomThreshold = addRangedAttr("randomThreshold", "rthr", kLong, 40, 0, 100, kKeyable);
    stress2mass = addNumericAttr("stress2mass", "st2m", kBool, 1);
    {
        MFnEnumAttribute fn;
        propStyle = fn.create("propStyle", "pst", 0);
        fn.addField("PROP_CONTINUOUS", 0);
        fn.addField("PROP_LOCAL", 1);
        addWithProps(fn, propStyle, 0);
    }
    enabled = addNumericAttr("enabled", "enb", kBool, 1, kKeyable);
    torsion = addNumericAttr("torsion", "tor", kBool, 1);
    unbreakable = addNumericAttr("unbreakable", "unb", kBool, 0);
    secCracks = addNumericAttr("secCracks", "scrk", kBool, 1);
    percentSecCracks = addRangedAttr("percentSecCracks", "pscr", kLong, 5, 0, 100, kKeyable);
    doTrans = addNumericAttr("doTrans", "dot", kBool, 0);
    mass = addNumericAttr("mass", "ma", kDouble, 1.0);
    friction = addRangedAttr("friction", "fc", kDouble, 0.7, 0.0, 1.0);
    bounciness = addRangedAttr("bounciness", "bcn", kDouble, 0.3, 0.0, 1.0, kKeyable);
    linearDamping = addRangedAttr("linearDamping", "lid", kDouble, 0.01, 0.0, 1.0, kKeyable);
    angularDamping = addRangedAttr("angularDamping", "and", kDouble, 0.01, 0.0, 1.0, kKeyable);
    selected = addNumericAttr("selected", "sel", kBool, 0, kInternal);
    displayStressses = addNumericAttr("displayStressses", "dst", kBool, 0, kHidden | kNotConnectable);
    index = addNumericAttr("index", "idx", kLong, -1, kHidden | kNotConnectable);
    ca_index = addChangeFlag("ca_index", "cidx");
    keysTX = addNumericAttr("keysTX", "ktx", kDouble, 0, kHidden);
    keysTY = addNumericAttr("keysTY", "kty", kDouble, 0, kHidden);
    keysTZ = addNumericAttr("keysTZ", "ktz", kDouble, 0, kHidden);
    keysRX = addUnitAttr("keysRX", "krx", MFnUnitAttribute::kAngle, 0.0, kHidden);
    keysRY = addUnitAttr("keysRY", "kry", MFnUnitAttribute::kAngle, 0.0, kHidden);
    keysRZ = addUnitAttr("keysRZ", "krz", MFnUnitAttribute::kAngle, 0.0, kHidden);
    transFrame = addNumericAttr("transFrame", "tfr", kLong, 0, kHidden | kNotConnectable);
    ca_initialVelocity = addChangeFlag("ca_initialVelocity", "caiv");
    ca_initialSpin = addChangeFlag("ca_initialSpin", "caiw");
    ca_stressThreshold = addChangeFlag("ca_stressThreshold", "cast");
    ca_randomThreshold = addChangeFlag("ca_randomThreshold", "cart");
    ca_propStyle = addChangeFlag("ca_propStyle", "caps");
    ca_enabled = addChangeFlag("ca_enabled", "cebl");
    ca_firstHit = addChangeFlag("ca_firstHit", "cafh");
    ca_stress2mass = addChangeFlag("ca_stress2mass", "cas2");
    ca_unbreakable = addChangeFlag("ca_unbreakable", "cunb");
    ca_secCracks = addChangeFlag("ca_secCracks", "cscr");
    ca_torsion = addChangeFlag("ca_torsion", "ctor");
    ca_mass = addChangeFlag("ca_mass", "cmss");
    ca_friction = addChangeFlag("ca_friction", "cfr");
    ca_bounciness = addChangeFlag("ca_bounciness", "cbn");
    ca_airdamping = addChangeFlag("ca_airdamping", "cad");
    ca_angdamping = addChangeFlag("ca_angdamping", "cgd");
    affectForceFields = addNumericAttr("affectForceFields", "aff", kBool, 0);
    fieldList = addLink("fieldList", "ffl", false, true);
    ca_forceFields = addChangeFlag("ca_forceFields", "caff");
    ca_selected = addChangeFlag("ca_selected", "csel");
    ca_disStresses = addChangeFlag("ca_disStresses", "cdst");
    ca_passive = addChangeFlag("ca_passive", "cpas");

    const std::pair<const MObject*, const MObject*> affects[] = {
        {&initialVelocity, &ca_initialVelocity},
        {&initialSpin, &ca_initialSpin},
        {&stressThreshold, &ca_stressThreshold},
        {&randomThreshold, &ca_randomThreshold},
        {&propStyle, &ca_propStyle},
        {&enabled, &ca_enabled},
        {&firstHitActive, &ca_firstHit},
        {&stress2mass, &ca_stress2mass},
        {&unbreakable, &ca_unbreakable},
        {&secCracks, &ca_secCracks},
        {&percentSecCracks, &ca_secCracks},
        {&passive, &ca_passive},
        {&torsion, &ca_torsion},
        {&selected, &ca_selected},
        {&index, &ca_index},
        {&displayStressses, &ca_disStresses},
        {&mass, &ca_mass},
        {&friction, &ca_friction},
        {&bounciness, &ca_bounciness},
        {&linearDamping, &ca_airdamping},
        {&angularDamping, &ca_angdamping},
        {&affectForceFields, &ca_forceFields},
    };
    for (const auto& [input, flag] : affects) attributeAffects(*input, *flag);
    return MS::kSuccess;
}

MStatus FractureBodyNode::compute(const MPlug& plug, MDataBlock& data) {
    const MObject attr = plug.attribute();
    // Forgets a user's request once the solver was told.
    const auto notifyForUser = [&] {
        if (!data.inputValue(usercommand).asBool()) return;
        notifySolver();
        data.outputValue(usercommand).setBool(false);
    };

    if (attr == solver) {
        data.setClean(plug);
        return MS::kSuccess;
    }
    if (attr == ca_initialVelocity || attr == ca_initialSpin) {
        // A velocity beyond single precision counts as none.
        const Qmt::QmtVector3 v =
            singleVector(data.inputValue(attr == ca_initialVelocity ? initialVelocity : initialSpin).asFloatVector())
                .value_or(Qmt::QmtVector3::ZERO);
        applyVectorParam(attr, static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z));
        notifySolver();
    } else if (attr == ca_enabled) {
        applyBoolParam(ca_enabled, data.inputValue(enabled).asBool());
        if (fractureBody) {
            // Below 1e-5 (in single precision), or beyond that precision, a start velocity
            // counts as none.
            const MFloatVector v = data.inputValue(initialVelocity).asFloatVector();
            if (v.length() > 1e-5 && singleVector(v)) fractureBody->setLinearVelocity(Qmt::QmtVector3(v.x, v.y, v.z));
            const MFloatVector w = data.inputValue(initialSpin).asFloatVector();
            if (w.length() > 1e-5 && singleVector(w)) fractureBody->setAngularVelocity(Qmt::QmtVector3(w.x, w.y, w.z));
        }
        notifySolver();
    } else if (attr == ca_stressThreshold) {
        const StressListScope sameStresses(*this);
        // The random cells push every joint's strength from the threshold again, so the
        // strengths by group alone that applyDoubleParam would push first are not written.
        if (fractureBody) fractureBody->setGlobalStressThreshold(data.inputValue(stressThreshold).asDouble());
        data.outputValue(ca_stressThreshold).setBool(true);
        applyIntParam(ca_randomThreshold, data.inputValue(randomThreshold).asInt());
        if (data.inputValue(stress2mass).asBool()) applyBoolParam(ca_stress2mass, true);
        notifyForUser();
        markFlagDone(data, MPlug(thisMObject(), ca_randomThreshold));
        data.setClean(plug);
        return MS::kSuccess;
    } else if (attr == ca_randomThreshold) {
        const StressListScope sameStresses(*this);
        applyIntParam(ca_randomThreshold, data.inputValue(randomThreshold).asInt());
        if (data.inputValue(stress2mass).asBool()) applyBoolParam(ca_stress2mass, true);
        notifyForUser();
    } else if (attr == ca_unbreakable || attr == ca_torsion || attr == ca_passive || attr == ca_stress2mass) {
        const MObject& input = attr == ca_unbreakable ? unbreakable
                               : attr == ca_torsion   ? torsion
                               : attr == ca_passive   ? passive
                                                      : stress2mass;
        applyBoolParam(attr, data.inputValue(input).asBool());
        notifySolver();
    } else if (attr == ca_secCracks) {
        applyBoolParam(ca_secCracks, data.inputValue(secCracks).asBool());
        applyIntParam(ca_secCracks, data.inputValue(percentSecCracks).asInt());
        notifySolver();
    } else if (attr == ca_firstHit) {
        applyIntParam(ca_firstHit, data.inputValue(firstHitActive).asShort());
        notifySolver();
    } else if (attr == ca_forceFields) {
        affectsFields = data.inputValue(affectForceFields).asBool();
        notifySolver();
    } else if (attr == ca_mass) {
        applyDoubleParam(ca_mass, data.inputValue(mass).asDouble());
        // The secondary-crack mass follows the new mass.
        applyIntParam(ca_secCracks, data.inputValue(percentSecCracks).asInt());
        notifySolver();
    } else if (attr == ca_friction || attr == ca_bounciness || attr == ca_airdamping || attr == ca_angdamping) {
        const MObject& input = attr == ca_friction     ? friction
                               : attr == ca_bounciness ? bounciness
                               : attr == ca_airdamping ? linearDamping
                                                       : angularDamping;
        applyDoubleParam(attr, data.inputValue(input).asDouble());
        notifySolver();
    } else if (attr == ca_selected) {
        const bool value = data.inputValue(selected).asBool();
        applyBoolParam(ca_selected, value);
        data.outputValue(plug).setBool(value);
        data.setClean(plug);
        return MS::kSuccess;
    } else if (attr == ca_disStresses) {
        // The colours are redrawn by whoever changes them.
        data.outputValue(plug).setBool(data.inputValue(displayStressses).asBool());
        data.setClean(plug);
        return MS::kSuccess;
    } else if (attr == ca_propStyle) {
        applyIntParam(ca_propStyle, data.inputValue(propStyle).asShort());
        notifyForUser();
    } else if (attr == ca_index) {
        if (fractureBody) fractureBody->setIndex(data.inputValue(index).asInt());
    } else {
        return MS::kUnknownParameter;
    }
    markFlagDone(data, plug);
    return MS::kSuccess;
}

void FractureBodyNode::notifySolver() {
    if (auto* node = userNodeAs<zylSolverNode>(solverOf(thisMObject()), zylTypes::kSolver)) node->disableCachedMode();
}

bool FractureBodyNode::isEnabled() const { return plug(enabled).asBool(); }
double FractureBodyNode::getStressThreshold() const { return plug(stressThreshold).asDouble(); }
int FractureBodyNode::getActFrame() const { return plug(actFrame).asInt(); }
int FractureBodyNode::getBreakFrame() const { return plug(breakFrame).asInt(); }
bool FractureBodyNode::isActivatedAtFrame() const { return plug(firstHitActive).asShort() == 2; }
bool FractureBodyNode::wakesDuringRun() const { return plug(firstHitActive).asShort() != 0; }

bool FractureBodyNode::isAnimatedAspect(int aspect) const {
    if (aspect != 4) return false;
    return MAnimUtil::isAnimated(plug(propStyle)) || MAnimUtil::isAnimated(plug(randomThreshold)) ||
           MAnimUtil::isAnimated(plug(stressThreshold));
}

bool FractureBodyNode::isMemberSelected() const {
    if (!plug(selected).asBool()) return false;
    MSelectionList list;
    MGlobal::getActiveSelectionList(list);
    for (unsigned i = 0; i < list.length(); ++i) {
        MObject node;
        if (!list.getDependNode(i, node)) continue;
        if (const auto* rb = userNodeAs<rigidBodyNode>(node, zylTypes::kRigidBody); rb && rb->getOwner() == this)
            return true;
    }
    return false;
}

void FractureBodyNode::rename(const MString& name) {
    MFnDependencyNode(thisMObject()).setName(name);
    nameEngineBody(name);
}

void FractureBodyNode::nameEngineBody(const MString& name) {
    if (!fractureBody) return;
    char* const out = fractureBody->transform.name;
    const std::size_t n = std::min<std::size_t>(name.length(), sizeof fractureBody->transform.name - 1);
    std::memcpy(out, name.asChar(), n);
    out[n] = '\0';
}

void FractureBodyNode::activateStress(SceneStress* stress) {
    if (fractureBody && stress && stress->getJoint()) fractureBody->activateJoint(stress->getJoint());
}

void FractureBodyNode::deactivateStress(SceneStress* stress) {
    if (fractureBody && stress && stress->getJoint()) fractureBody->deActivateJoint(stress->getJoint());
}

void FractureBodyNode::addByFrameStress(SceneStress* stress) {
    stress->setBreakByFrameMember(true);
    if (DynamicStress* joint = stress->getJoint()) joint->enableBreakableByFrame();
    if (std::ranges::find(byFrameStresses, stress) == byFrameStresses.end()) byFrameStresses.push_back(stress);
}

void FractureBodyNode::removeByFrameStress(SceneStress* stress) {
    const auto it = std::ranges::find(byFrameStresses, stress);
    if (it == byFrameStresses.end()) return;
    byFrameStresses.erase(it);
    stress->setBreakByFrameMember(false);
    if (DynamicStress* joint = stress->getJoint()) joint->disableBreakableByFrame();
}

void FractureBodyNode::stressNodeGone(SceneStress* stress) {
    removeByFrameStress(stress);
    rebuildDue_ = true;
}

void FractureBodyNode::addToWorld() {
    if (PublicWorld* world = engineWorld(); world && fractureBody) world->addBody(fractureBody, 0);
    if (fractureBody) plug(index).setValue(static_cast<int>(fractureBody->transform.index));
    plug(enabled).setValue(true);
}

void FractureBodyNode::releaseEngineBody() {
    for (SceneStress* stress : stressNodes()) stress->setJoint(nullptr);
    for (SceneStress* stress : byFrameStresses) stress->setJoint(nullptr);
    // The clusters' stress nodes hold joints of this body too.
    for (const clusterFractureNode* cluster : clusterNodes())
        for (const auto& list : {cluster->innerStresses(), cluster->outerStresses()})
            for (SceneStress* stress : list)
                if (stress) stress->setJoint(nullptr);
    deleteFractureBody(&fractureBody);
}

void FractureBodyNode::nodeRemovedCallback(MObject& node, void*) {
    auto* self = userNodeAs<FractureBodyNode>(node, id);
    if (!self) return;
    std::vector<rigidBodyNode*> owned = self->allMemberNodes();
    std::erase_if(owned, [&](const rigidBodyNode* rb) { return rb->getOwner() != self; });
    self->destroyFractureBody();
    // Its members go on as free bodies that can be edited again, as deleteZylFBody leaves them.
    for (rigidBodyNode* rb : owned) rb->lockAsMember(false);
}

MDGModifier& FractureBodyNode::getModifier() {
    if (!modifier) modifier = std::make_unique<MDGModifier>();
    return *modifier;
}

std::vector<SceneStress*> FractureBodyNode::stressNodes(ConnectionSide side) const {
    if (stressList_.scopes == 0) return connectedUserNodes<SceneStress>(plug(stresses), SceneStress::id, side);
    auto& cached = stressList_.bySide[static_cast<std::size_t>(side)];
    if (!cached) cached = connectedUserNodes<SceneStress>(plug(stresses), SceneStress::id, side);
    return *cached;
}

FractureBodyNode::StressListScope::StressListScope(const FractureBodyNode& node) : node_(node) {
    ++node_.stressList_.scopes;
}

FractureBodyNode::StressListScope::~StressListScope() {
    if (--node_.stressList_.scopes == 0)
        for (auto& cached : node_.stressList_.bySide) cached.reset();
}

std::vector<rigidBodyNode*> FractureBodyNode::memberNodes() const {
    return connectedUserNodes<rigidBodyNode>(plug(rigidBodies), rigidBodyNode::id);
}

std::vector<clusterFractureNode*> FractureBodyNode::clusterNodes() const {
    return connectedUserNodes<clusterFractureNode>(plug(clusters), clusterFractureNode::id);
}

std::vector<rigidBodyNode*> FractureBodyNode::allMemberNodes() const {
    std::vector<rigidBodyNode*> members = memberNodes();
    for (const clusterFractureNode* cluster : clusterNodes())
        for (const MObject& node : cluster->memberNodes())
            if (auto* rb = userNodeAs<rigidBodyNode>(node, rigidBodyNode::id)) members.push_back(rb);
    return members;
}

rigidBodyNode* FractureBodyNode::animRigidBody() const {
    return userNodeAs<rigidBodyNode>(firstConnectedNode(plug(animBody)), zylTypes::kRigidBody);
}
