#include "src/rigidBodyNode.h"

#include <cstring>
#include <initializer_list>
#include <iostream>
#include <new>

#include "engine/bodies/hardBody.h"
#include "engine/world/engineApi.h"
#include "host/api/animControl.h"
#include "host/api/fnAttribute.h"
#include "host/api/fnDependencyNode.h"
#include "src/bodyShared.h"
#include "src/collisionShapeNode.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/solverNode.h"

MObject rigidBodyNode::inCollisionType;
MObject rigidBodyNode::solver;
MObject rigidBodyNode::fracture;
MObject rigidBodyNode::transFbody;
MObject rigidBodyNode::fieldList;
MObject rigidBodyNode::selected;
MObject rigidBodyNode::enabled;
MObject rigidBodyNode::passive;
MObject rigidBodyNode::firstHitActive;
MObject rigidBodyNode::jaggy;
MObject rigidBodyNode::mass;
MObject rigidBodyNode::massCenter;
MObject rigidBodyNode::bounciness;
MObject rigidBodyNode::friction;
MObject rigidBodyNode::linearDamping;
MObject rigidBodyNode::angularDamping;
MObject rigidBodyNode::gapfactor;
MObject rigidBodyNode::initialVelocity;
MObject rigidBodyNode::randomVX;
MObject rigidBodyNode::randomVY;
MObject rigidBodyNode::randomVZ;
MObject rigidBodyNode::initialSpin;
MObject rigidBodyNode::randomWX;
MObject rigidBodyNode::randomWY;
MObject rigidBodyNode::randomWZ;
MObject rigidBodyNode::affectForceFields;
MObject rigidBodyNode::usercommand;
MObject rigidBodyNode::index;
MObject rigidBodyNode::groupid;
MObject rigidBodyNode::ca_rigidBody;
MObject rigidBodyNode::ca_rigidBodyParam;
MObject rigidBodyNode::ca_activeState;
MObject rigidBodyNode::ca_rigidBodyDeform;
MObject rigidBodyNode::animatedTRS;
MObject rigidBodyNode::hasZylKeys;
MObject rigidBodyNode::animated;
MObject rigidBodyNode::ca_forceFields;
MObject rigidBodyNode::ca_centerMass;
MObject rigidBodyNode::ca_initialVelocity;
MObject rigidBodyNode::ca_initialSpin;
MObject rigidBodyNode::ca_selected;
MObject rigidBodyNode::ca_index;
MObject rigidBodyNode::lastPosition;
MObject rigidBodyNode::lastRotation;
MObject rigidBodyNode::velocity;
MObject rigidBodyNode::welocity;
MObject rigidBodyNode::keysTX;
MObject rigidBodyNode::keysTY;
MObject rigidBodyNode::keysTZ;
MObject rigidBodyNode::keysRX;
MObject rigidBodyNode::keysRY;
MObject rigidBodyNode::keysRZ;

namespace {

MObject unitInterval(const char* longName, const char* shortName, double value, unsigned props) {
    return addRangedAttr(longName, shortName, MFnNumericData::kDouble, value, 0.0, 1.0, props);
}

}  // namespace

rigidBodyNode::~rigidBodyNode() { detachAndDeleteBody(); }

void* rigidBodyNode::creator() { return new (std::nothrow) rigidBodyNode; }

MStatus rigidBodyNode::initialize() {
    using T = MFnNumericData;
    inCollisionType = addNumericAttr("inCollisionType", "inct", T::kInt, 0, 0);
    solver = addMessageAttr("solver", "solv", kHidden);
    fracture = addMessageAttr("fracture", "frac", 0);
    transFbody = addMessageAttr("transFbody", "tfb", 0);
    fieldList = addMessageAttr("fieldList", "afld", 0, true);
    selected = addNumericAttr("selected", "sel", T::kBoolean, 0, kHidden | kNotStorable);
    enabled = addNumericAttr("enabled", "enb", T::kBoolean, 0, 0);
    passive = addNumericAttr("passive", "ac", T::kInt, 0, kKeyable);
    firstHitActive = addNumericAttr("firstHitActive", "fha", T::kBoolean, 0, 0);
    jaggy = addNumericAttr("isJaggy", "jag", T::kBoolean, 0, kHidden);
    mass = addNumericAttr("mass", "ma", T::kDouble, 0, kKeyable);
    massCenter = addNumericAttr("massCenter", "cm", T::k3Double, kUnsetCentre, 0);
    bounciness = unitInterval("bounciness", "bou", 0.3, kKeyable);
    friction = unitInterval("friction", "fc", 0.7, kKeyable);
    linearDamping = unitInterval("linearDamping", "ld", 0.01, kKeyable);
    angularDamping = unitInterval("angularDamping", "ad", 0.01, kKeyable);
    gapfactor = unitInterval("gapfactor", "gpf", 0.0, 0);
    initialVelocity = addPointAttr("initialVelocity", "inve", 0);
    randomVX = addNumericAttr("randomVX", "rvx", T::kInt, 0, kHidden | kNotConnectable);
    randomVY = addNumericAttr("randomVY", "rvy", T::kInt, 0, kHidden | kNotConnectable);
    randomVZ = addNumericAttr("randomVZ", "rvz", T::kInt, 0, kHidden | kNotConnectable);
    initialSpin = addPointAttr("initialSpin", "insp", 0);
    randomWX = addNumericAttr("randomWX", "rwx", T::kInt, 0, kHidden | kNotConnectable);
    randomWY = addNumericAttr("randomWY", "rwy", T::kInt, 0, kHidden | kNotConnectable);
    randomWZ = addNumericAttr("randomWZ", "rwz", T::kInt, 0, kHidden | kNotConnectable);
    affectForceFields = addNumericAttr("affectForceFields", "aff", T::kBoolean, 0, 0);
    usercommand = addNumericAttr("usercommand", "use", T::kBoolean, 0, kInternal);
    index = addNumericAttr("index", "idx", T::kInt, -1, kHidden | kNotConnectable);
    groupid = addNumericAttr("groupid", "gri", T::kInt, -1, kHidden | kNotConnectable);
    ca_rigidBody = addChangeFlag("ca_rigidBody", "carb");
    ca_rigidBodyParam = addChangeFlag("ca_rigidBodyParam", "carbp");
    ca_activeState = addChangeFlag("ca_activeState", "caas");
    ca_rigidBodyDeform = addChangeFlag("ca_rigidBodyDeform", "carbpd");
    animatedTRS = addNumericAttr("animatedTRS", "atrs", T::kBoolean, 0, kInternal);
    hasZylKeys = addNumericAttr("hasZylKeys", "hpk", T::kBoolean, 0, kHidden | kNotConnectable);
    animated = addNumericAttr("animated", "anim", T::kBoolean, 0, kHidden | kNotStorable);
    ca_forceFields = addChangeFlag("ca_forceFields", "caff");
    ca_centerMass = addChangeFlag("ca_centerMass", "cacm");
    ca_initialVelocity = addChangeFlag("ca_initialVelocity", "caiv");
    ca_initialSpin = addChangeFlag("ca_initialSpin", "caiw");
    ca_selected = addChangeFlag("ca_selected", "ces");
    ca_index = addChangeFlag("ca_index", "cidx");
    lastPosition = addPointAttr("lastPosition", "pos0", kInternal);
    lastRotation = addPointAttr("lastRotation", "rot0", kInternal);
    velocity = addPointAttr("velocity", "vel", kInternal);
    welocity = addPointAttr("welocity", "wel", kInternal);
    keysTX = addNumericAttr("keysTX", "ktx", T::kDouble, 0, kHidden);
    keysTY = addNumericAttr("keysTY", "kty", T::kDouble, 0, kHidden);
    keysTZ = addNumericAttr("keysTZ", "ktz", T::kDouble, 0, kHidden);
    keysRX = addUnitAttr("keysRX", "krx", MFnUnitAttribute::kAngle, 0.0, kHidden);
    keysRY = addUnitAttr("keysRY", "kry", MFnUnitAttribute::kAngle, 0.0, kHidden);
    keysRZ = addUnitAttr("keysRZ", "krz", MFnUnitAttribute::kAngle, 0.0, kHidden);

    attributeAffects(selected, ca_selected);
    attributeAffects(inCollisionType, ca_rigidBody);
    attributeAffects(inCollisionType, massCenter);
    attributeAffects(inCollisionType, ca_rigidBodyDeform);
    attributeAffects(index, ca_index);
    for (const MObject& input : {mass, bounciness, friction, linearDamping, gapfactor, angularDamping})
        attributeAffects(input, ca_rigidBodyParam);
    attributeAffects(massCenter, ca_centerMass);
    for (const MObject& input : {passive, firstHitActive, enabled}) attributeAffects(input, ca_activeState);
    attributeAffects(initialSpin, ca_initialSpin);
    attributeAffects(initialVelocity, ca_initialVelocity);
    attributeAffects(affectForceFields, ca_forceFields);
    return MS::kSuccess;
}

MStatus rigidBodyNode::compute(const MPlug& plug, MDataBlock& data) {
    const MObject attr = plug.attribute();
    if (attr == ca_rigidBody) {
        buildBody();
    } else if (attr == ca_forceFields) {
        affectForceFields_ = data.inputValue(affectForceFields).asBool();
        notifySolver();
    } else if (attr == ca_activeState) {
        applyActiveState();
        endUserCommand();
    } else if (attr == ca_centerMass) {
        applyMassCenter();
        notifySolver();
    } else if (attr == ca_initialVelocity) {
        applyVelocity(initialVelocity, velocity, false);
    } else if (attr == ca_initialSpin) {
        applyVelocity(initialSpin, welocity, true);
    } else if (attr == ca_rigidBodyParam) {
        applyParameters();
        endUserCommand();
    } else if (attr == ca_rigidBodyDeform) {
        // Only marks that the collision type changed.
    } else if (attr == ca_selected) {
        if (FractureBodyNode* owner = getOwner();
            owner && MPlug(owner->thisMObject(), FractureBodyNode::displayStressses).asBool())
            owner->colorStresses(thisMObject(), data.inputValue(selected).asBool() ? 1 : 0);
    } else if (attr == ca_index) {
        if (body_) body_->setIndex(data.inputValue(index).asInt());
        // Left dirty on purpose: every read pushes the index again.
        data.outputValue(ca_index).setBool(true);
        return MS::kSuccess;
    } else {
        return MS::kUnknownParameter;
    }
    markFlagDone(data, plug);
    return MS::kSuccess;
}

void rigidBodyNode::endUserCommand() {
    MPlug command(thisMObject(), usercommand);
    if (!command.asBool()) return;
    notifySolver();
    command.setValue(false);
}

MBoundingBox rigidBodyNode::boundingBox() const { return MBoundingBox(MPoint(-1, -1, -1), MPoint(1, 1, 1)); }

MStatus rigidBodyNode::setDependentsDirty(const MPlug&, MPlugArray&) { return MS::kSuccess; }

bool rigidBodyNode::setInternalValueInContext(const MPlug&, const MDataHandle&, MDGContext&) { return false; }

void rigidBodyNode::applyVelocity(const MObject& source, const MObject& shown, bool spin) {
    // A velocity beyond single precision counts as none.
    const Qmt::QmtVector3 v = singleVector(MPlug(thisMObject(), source)).value_or(Qmt::QmtVector3::ZERO);
    if (body_) {
        if (spin) {
            body_->setAngularVelocity(v);
            body_->storeInitialState(4);
        } else {
            body_->setLinearVelocity(v);
            body_->storeInitialState(2);
        }
    }
    const MPlug out(thisMObject(), shown);
    for (unsigned i = 0; i < 3; ++i) out.child(i).setValue(static_cast<float>(v[static_cast<int>(i)]));
    notifySolver();
}

HardBody* rigidBodyNode::getBody(bool update) {
    if (update) {
        MPlug(thisMObject(), ca_rigidBody).asBool();
        MPlug(thisMObject(), ca_rigidBodyParam).asBool();
    }
    return body_;
}

void rigidBodyNode::pullChangeFlags() {
    const MObject self = thisMObject();
    for (const MObject& flag : {inCollisionType, ca_rigidBody, ca_rigidBodyParam, ca_centerMass, ca_activeState,
                                ca_forceFields, ca_index, ca_rigidBodyDeform})
        MPlug(self, flag).asBool();
    // A transform animated since the build keeps the body from being active, as a build
    // (that of an opened scene too) decides.
    if (body_ && getPassive() <= 0 && animationKeysBlockActive()) {
        warnAnimationKeys();
        MPlug(self, passive).setValue(2);
        MPlug(self, ca_activeState).asBool();
    }
    // Parameters and states reach the body whoever set them, but only the user's
    // commands tell the solver; so does any change found here, or the next run would
    // replay frames made without it.
    const RunInputs inputs = runInputs();
    if (std::memcmp(inputs.data(), takenInputs_.data(), sizeof inputs) != 0) {
        takenInputs_ = inputs;
        notifySolver();
    }
}

rigidBodyNode::RunInputs rigidBodyNode::runInputs() const {
    const MObject self = thisMObject();
    RunInputs inputs{};
    std::size_t i = 0;
    for (const MObject& attr : {mass, bounciness, friction, linearDamping, angularDamping, gapfactor, passive,
                                firstHitActive, enabled})
        inputs[i++] = MPlug(self, attr).asDouble();
    for (const MObject& vector : {initialVelocity, initialSpin})
        for (unsigned c = 0; c < 3; ++c) inputs[i++] = MPlug(self, vector).child(c).asDouble();
    return inputs;
}

void rigidBodyNode::dirtyAllChangeFlags() {
    pullChangeFlags();
    MPlug(thisMObject(), solver).asBool();
    if (const FractureBodyNode* owner = getOwner(); owner && fractureParamsFollow_) {
        using F = FractureBodyNode;
        const MObject fbody = owner->thisMObject();
        for (const MObject& attr : {F::ca_propStyle, F::ca_randomThreshold, F::ca_stressThreshold, F::ca_secCracks,
                                    F::ca_bounciness, F::ca_enabled})
            if (!attr.isNull()) MPlug(fbody, attr).asBool();
    }
}

void rigidBodyNode::setGroupId(int group) {
    MPlug(thisMObject(), groupid).setValue(group);
    if (body_) body_->setGroupID(group);
}

void rigidBodyNode::lockAttributes(bool locked) {
    const MObject self = thisMObject();
    for (const MObject& attr : {enabled, passive, firstHitActive, mass, massCenter, bounciness, friction, linearDamping,
                                angularDamping, gapfactor, initialVelocity, initialSpin, randomVX, randomVY, randomVZ,
                                randomWX, randomWY, randomWZ})
        MPlug(self, attr).setLocked(locked);
}

void rigidBodyNode::lockAsMember(bool locked) {
    lockAttributes(locked);
    MFnDependencyNode(thisMObject()).setLocked(locked);
}

bool rigidBodyNode::isEnabled() const { return MPlug(thisMObject(), enabled).asBool(); }
int rigidBodyNode::getPassive() const { return MPlug(thisMObject(), passive).asInt(); }
bool rigidBodyNode::getFirstHitActive() const { return MPlug(thisMObject(), firstHitActive).asBool(); }
bool rigidBodyNode::isJaggy() const { return MPlug(thisMObject(), jaggy).asBool(); }
bool rigidBodyNode::isAnimatedFlag() const { return MPlug(thisMObject(), animated).asBool(); }

int rigidBodyNode::getCollisionType() const {
    const MPlug in(thisMObject(), inCollisionType);
    if (in.isConnected()) return in.asInt();
    const MObject shape = getCollisionShapeNode();
    if (shape.isNull()) return 0;
    return MFnDependencyNode(shape).findPlug("type").asInt();
}

bool rigidBodyNode::isActiveInScene() const {
    const FractureBodyNode* owner = getOwner();
    return body_ && (isEnabled() || (owner && owner->isEnabled()));
}

FractureBodyNode* rigidBodyNode::getOwner() const { return liveUserNode(ownerNode_, owner_); }

void rigidBodyNode::setOwner(FractureBodyNode* owner) {
    owner_ = owner;
    ownerNode_ = owner ? owner->thisMObject() : MObject();
}

bool rigidBodyNode::isZeroSize() const { return body_ && isDegenerateVolume(body_); }

MObject rigidBodyNode::getCollisionShapeNode() const {
    const MPlug type(thisMObject(), inCollisionType);
    if (type.isConnected()) return firstConnectedNode(type);
    const MPlug follows(thisMObject(), animated);
    if (follows.isConnected()) return firstConnectedNode(follows);
    return MObject::kNullObj;
}

ZYLmesh* rigidBodyNode::getCollisionMesh() const {
    if (auto* shape = userNodeAs<collisionShapeNode>(getCollisionShapeNode(), collisionShapeNode::id))
        return shape->getCollisionMesh();
    std::cout << "rigidBodyNode connected to a non-collision shape node!" << "\n";
    return nullptr;
}

MObject rigidBodyNode::getClusterNode() const {
    MPlugArray sources;
    MPlug(thisMObject(), fracture).connectedTo(sources, true, false);
    if (sources.length() == 0) return MObject::kNullObj;
    const MObject node = sources[0].node();
    return MFnDependencyNode(node).typeId() == zylTypes::kCluster ? node : MObject::kNullObj;
}

void rigidBodyNode::notifySolver() {
    if (auto* node = userNodeAs<zylSolverNode>(solverOf(thisMObject()), zylSolverNode::id))
        node->disableCachedMode();
}

void rigidBodyNode::nodeRemovedCallback(MObject& node, void*) {
    if (auto* body = userNodeAs<rigidBodyNode>(node, id)) body->detachAndDeleteBody();
}

namespace {

// Nodes feeding a plug.
std::vector<MObject> sourceNodes(const MPlug& plug) {
    MPlugArray sources;
    plug.connectedTo(sources, true, false);
    std::vector<MObject> nodes;
    for (const MPlug& source : sources) nodes.push_back(source.node());
    return nodes;
}

// A deformer whose matrix inputs come from an animated node moves the mesh over time.
bool hasAnimatedMatrixSource(const MObject& deformer) {
    const MPlug matrices = MFnDependencyNode(deformer).findPlug("matrix");
    if (matrices.isNull()) return false;
    const auto animatedSource = [](const MPlug& plug) {
        for (const MObject& node : sourceNodes(plug))
            if (MAnimUtil::isAnimated(node)) return true;
        return false;
    };
    if (!matrices.isArray()) return animatedSource(matrices);
    for (unsigned i = 0; i < matrices.numElements(); ++i)
        if (animatedSource(matrices.elementByPhysicalIndex(i))) return true;
    return false;
}

}  // namespace

bool rigidBodyNode::isAnimatedAspect(unsigned mask) const {
    const MObject self = thisMObject();
    if (mask & 1) {
        MDagPath path;
        if (MDagPath::getAPathTo(self, path)) {
            path.pop();
            if (MAnimUtil::isAnimated(path, false)) return true;
        }
    }
    if (mask & (2 | 8)) {
        const MObject shape = getCollisionShapeNode();
        const MPlug inShape = shape.isNull() ? MPlug() : MFnDependencyNode(shape).findPlug("inShape");
        if (!inShape.isNull()) {
            if ((mask & 2) && MAnimUtil::isAnimated(inShape)) return true;
            for (const MObject& mesh : sourceNodes(inShape)) {
                const MPlug inMesh = MFnDependencyNode(mesh).findPlug("inMesh");
                if (inMesh.isNull()) continue;
                for (const MObject& source : sourceNodes(inMesh)) {
                    if (source.apiType() == MFn::kPolyCreator) return true;
                    if ((mask & 2) && source.apiType() == MFn::kSkinClusterFilter && hasAnimatedMatrixSource(source))
                        return true;
                }
            }
        }
    }
    if (mask & 4) {
        for (const MObject& attr : {mass, bounciness, friction, linearDamping, angularDamping, passive})
            if (MAnimUtil::isAnimated(MPlug(self, attr))) return true;
    }
    return false;
}

bool rigidBodyNode::isParentAnimated() const {
    MDagPath path;
    if (!MDagPath::getAPathTo(thisMObject(), path)) return false;
    path.pop();
    if (!path.isValid() || path.length() == 0) return false;
    path.pop();
    return path.isValid() && path.length() > 0 && MAnimUtil::isAnimated(path, true);
}
