#include "src/crackerNode.h"

#include <GL/gl.h>

#include <cmath>
#include <initializer_list>
#include <iostream>
#include <new>

#include "engine/bodies/capsuleBody.h"
#include "engine/world/engineApi.h"
#include "engine/world/publicWorld.h"
#include "host/api/animControl.h"
#include "host/api/fnAttribute.h"
#include "host/api/fnDagNode.h"
#include "host/api/global.h"
#include "host/api/iterators.h"
#include "host/api/messages.h"
#include "host/api/selectionList.h"
#include "math/quaternion.h"
#include "src/bodyShared.h"
#include "src/collisionShapeNode.h"
#include "src/glDraw.h"
#include "src/nodeHelpers.h"
#include "src/solverNode.h"
#include "src/uiScript.h"

MObject zylCrackerNode::type;
MObject zylCrackerNode::inCollisionShape;
MObject zylCrackerNode::inCollisionType;
MObject zylCrackerNode::solver;
MObject zylCrackerNode::selected;
MObject zylCrackerNode::enabled;
MObject zylCrackerNode::size;
MObject zylCrackerNode::multiplier;
MObject zylCrackerNode::multrand;
MObject zylCrackerNode::impulseDir;
MObject zylCrackerNode::massCenter;
MObject zylCrackerNode::ca_cracker;
MObject zylCrackerNode::ca_crackerParam;
MObject zylCrackerNode::ca_size;
MObject zylCrackerNode::ca_enabled;
MObject zylCrackerNode::animatedTRS;
MObject zylCrackerNode::ca_centerMass;
MObject zylCrackerNode::ca_selected;
MObject zylCrackerNode::usercommand;
MObject zylCrackerNode::index;
MObject zylCrackerNode::ca_index;

namespace {

constexpr double kRestitution = 0.3;
constexpr double kFriction = 0.7;

// Only the default itself (to single precision) is unset: a user's centre at or below
// it, every component negative say, is a place like any other.
bool isUnsetCentre(double c) { return std::abs(c - kUnsetCentre) <= kUnsetCentre * 1e-6; }

}  // namespace

zylCrackerNode::~zylCrackerNode() { deleteCrackerBody(); }

void* zylCrackerNode::creator() { return new (std::nothrow) zylCrackerNode; }

MStatus zylCrackerNode::initialize() {
    using T = MFnNumericData;
    {
        MFnEnumAttribute fn;
        type = fn.create("type", "tp", 0);
        fn.addField("align to path", 0);
        fn.addField("align to surface", 1);
        fn.addField("align custom", 2);
        addWithProps(fn, type, 0);
    }
    inCollisionShape = addTypedAttr("inCollisionShape", "incs", MFnData::kMesh);
    inCollisionType = addNumericAttr("inCollisionType", "inct", T::kInt, 0, 0);
    solver = addMessageAttr("solver", "solv", kHidden);
    selected = addNumericAttr("selected", "sel", T::kBoolean, 0, kHidden | kNotStorable);
    enabled = addNumericAttr("enabled", "enb", T::kBoolean, 0, 0);
    size = addNumericAttr("size", "sz", T::kDouble, 1.0, 0);
    multiplier = addNumericAttr("multiplier", "mt", T::kDouble, 1.0, kKeyable);
    multrand = addNumericAttr("multrand", "mrn", T::kDouble, 0.0, 0);
    impulseDir = addPointAttr("impulseDir", "imd");
    massCenter = addNumericAttr("massCenter", "cm", T::k3Double, kUnsetCentre, kHidden);
    ca_cracker = addChangeFlag("ca_cracker", "cacr");
    ca_crackerParam = addChangeFlag("ca_crackerParam", "cacp");
    ca_size = addChangeFlag("ca_size", "caz");
    ca_enabled = addChangeFlag("ca_enabled", "caas");
    animatedTRS = addNumericAttr("animatedTRS", "atrs", T::kBoolean, 0, kInternal);
    ca_centerMass = addChangeFlag("ca_centerMass", "cacm");
    ca_selected = addChangeFlag("ca_selected", "ces");
    usercommand = addNumericAttr("usercommand", "use", T::kBoolean, 0, kInternal);
    index = addNumericAttr("index", "idx", T::kInt, -1, kHidden | kNotConnectable);
    ca_index = addChangeFlag("ca_index", "cidx");

    attributeAffects(selected, ca_selected);
    attributeAffects(inCollisionType, ca_cracker);
    attributeAffects(inCollisionType, massCenter);
    attributeAffects(index, ca_index);
    attributeAffects(size, ca_size);
    for (const MObject& input : {multiplier, multrand, type, impulseDir}) attributeAffects(input, ca_crackerParam);
    attributeAffects(massCenter, ca_centerMass);
    attributeAffects(enabled, ca_enabled);
    return MS::kSuccess;
}

MStatus zylCrackerNode::compute(const MPlug& plug, MDataBlock& data) {
    const MObject attr = plug.attribute();
    if (attr == ca_cracker) {
        buildBody(data);
        data.setClean(plug);
        return MS::kSuccess;
    }
    if (attr == ca_enabled) {
        updateEnabledState();
        notifySolver();
    } else if (attr == ca_centerMass) {
        recenterBody();
    } else if (attr == ca_size) {
        refreshCrackerShape();
        notifySolver();
        data.outputValue(ca_crackerParam).setBool(true);
        data.setClean(plug);
        return MS::kSuccess;
    } else if (attr == ca_crackerParam) {
        updateCrackerParams();
        notifySolver();
    } else if (attr == ca_selected) {
        data.inputValue(selected).asBool();
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

MBoundingBox zylCrackerNode::boundingBox() const { return MBoundingBox(MPoint(-1, -1, -1), MPoint(1, 1, 1)); }

void zylCrackerNode::deleteCrackerBody() {
    PrivateHardBody* body = body_;
    deleteBodyPtr(&body);
    body_ = nullptr;
}

void zylCrackerNode::crackerNodeRemovedCallback(MObject& node, void*) {
    if (auto* cracker = userNodeAs<zylCrackerNode>(node, id)) cracker->deleteCrackerBody();
    if (uiScript::isWindowOpen(uiScript::kCrackersWindow))
        MGlobal::executeCommandOnIdle(uiScript::kUpdateCrackersPanel);
}

void zylCrackerNode::releaseBody() {
    if (!body_) return;
    deleteCrackerBody();
    // Writing the collision shape's type back to itself dirties the build flag: the next
    // read of the body builds it again, into whatever world there is then.
    const MObject shape = getCollisionShapeNode();
    if (!hasTypeId(shape, collisionShapeNode::id)) return;
    MPlug shapeType(shape, collisionShapeNode::type);
    shapeType.setValue(shapeType.asInt());
}

bool zylCrackerNode::isActive() {
    MPlug(thisMObject(), ca_enabled).asBool();
    return body_ && isEnabled();
}

bool zylCrackerNode::isEnabled() const { return MPlug(thisMObject(), enabled).asBool(); }

void zylCrackerNode::pullChangeFlags() {
    const MObject self = thisMObject();
    for (const MObject& attr : {inCollisionType, ca_cracker, ca_crackerParam, ca_centerMass, ca_enabled, ca_index})
        MPlug(self, attr).asBool();
}

void zylCrackerNode::evaluateAttributes() {
    pullChangeFlags();
    MPlug(thisMObject(), solver).asBool();
}

void zylCrackerNode::enableInWorld() {
    if (PublicWorld* world = engineWorld(); world && body_) world->addBody(body_, 0);
    if (body_) MPlug(thisMObject(), index).setValue(static_cast<int>(body_->transform.index));
    MPlug(thisMObject(), enabled).setValue(true);
}

void zylCrackerNode::disableInWorld() {
    if (PublicWorld* world = engineWorld(); world && body_) world->removeBody(body_);
    MPlug(thisMObject(), enabled).setValue(false);
}

void zylCrackerNode::notifySolver() {
    if (auto* node = userNodeAs<zylSolverNode>(solverOf(thisMObject()), zylSolverNode::id))
        node->disableCachedMode();
}

MObject zylCrackerNode::getCollisionShapeNode() const {
    return firstConnectedNode(MPlug(thisMObject(), inCollisionType), ConnectionSide::source);
}

ZYLmesh* zylCrackerNode::getCollisionMesh() const {
    if (auto* shape = userNodeAs<collisionShapeNode>(getCollisionShapeNode(), collisionShapeNode::id))
        return shape->getCollisionMesh();
    std::cout << "rigidBodyNode connected to a non-collision shape node!" << "\n";
    return nullptr;
}

void zylCrackerNode::buildBody(MDataBlock& data) {
    const MObject self = thisMObject();
    deleteCrackerBody();
    ZYLmesh* mesh = getCollisionMesh();
    if (!buildableMesh(mesh, self)) return;
    Qmt::QmtVector3 centre;
    const double mass = meshBodyMass(*mesh, self, centre);
    body_ = static_cast<ZylCrackerBody*>(createCrackerBody(mesh));
    if (!body_) return;
    if (const auto* shape = userNodeAs<collisionShapeNode>(getCollisionShapeNode(), collisionShapeNode::id))
        builtMesh_ = shape->meshFingerprint();

    body_->setMass(static_cast<float>(mass));
    body_->setRestitutionCoeff(kRestitution);
    body_->setFrictionCoeff(kFriction);
    // Crackers live in the world's list of their own, which `contains` does not search:
    // the static bit is set by hand.
    PublicWorld* world = engineWorld();
    if (world && world->contains(body_))
        world->makeStatic(body_, nullptr);
    else
        body_->enableStatic();

    setBodyName(*body_, name());
    crackerId_ = bodyCounter + 1;
    bodyCounter += 2;
    body_->transform.tail = static_cast<std::uint32_t>(crackerId_);
    if (const int worldIndex = MPlug(self, index).asInt(); worldIndex >= 0) body_->setIndex(worldIndex);

    MDagPath path;
    MMatrix e;
    if (!readWorldMatrix(e, &path)) return;
    Vec3f scale;
    decompose(e, current_, scale);
    previous_ = current_;
    syncedScale_ = scale;
    const Quatf& q = current_.rotation;
    Qmt::QmtMatrix3 rotation;
    Qmt::Quaternion(q[3], q[0], q[1], q[2]).ToRotationMatrix(rotation);
    body_->init(centre, rotation, Qmt::QmtVector3(1.0, 1.0, 1.0));
    if (world && !world->contains(body_)) enableInWorld();

    takeOffset(bodyPoseMatrix(*body_), e, path);
    storeRestPosition(MAnimControl::minTime());
    if (auto* shape = userNodeAs<collisionShapeNode>(getCollisionShapeNode(), collisionShapeNode::id))
        shape->releaseMesh();

    MPlug centrePlug(self, massCenter);
    const Qmt::QmtVector3 given(centrePlug.child(0).asDouble(), centrePlug.child(1).asDouble(),
                                centrePlug.child(2).asDouble());
    const Qmt::QmtVector3& p = body_->getDyn().position;
    builtCentre_ = p;
    if ((isUnsetCentre(given.x) && isUnsetCentre(given.y) && isUnsetCentre(given.z)) || isBuiltCentre(given, p))
        for (unsigned i = 0; i < 3; ++i) centrePlug.child(i).setValue(p[static_cast<int>(i)]);
    data.outputValue(ca_cracker).setBool(true);
    MPlug(self, enabled).setValue(true);
    MPlug(self, usercommand).setValue(false);
}

void zylCrackerNode::rebuildWhereTransformStands() {
    if (body_) unsetBuiltCentre(MPlug(thisMObject(), massCenter), builtCentre_);
    if (!rewriteShapeTypeOf(getCollisionShapeNode())) return;
    evaluateAttributes();
    notifySolver();
}

void zylCrackerNode::recenterBody() {
    if (!body_) return;
    MDagPath path;
    MMatrix e;
    if (!readWorldMatrix(e, &path)) return;
    // A centre beyond single precision is no place: the body keeps its own.
    const std::optional<Qmt::QmtVector3> given = singleVector(MPlug(thisMObject(), massCenter));
    if (!given) return;
    const Qmt::QmtVector3& c = *given;
    MMatrix b = composeTransform(e, offset_.inverse());
    body_->setMassCenter(c);
    b[3][0] = c.x;
    b[3][1] = c.y;
    b[3][2] = c.z;
    takeOffset(b, e, path);
    storeRestPosition(MAnimControl::minTime());
}

void zylCrackerNode::updateEnabledState() {
    MPlug(thisMObject(), ca_cracker).asBool();
    if (!body_) return;
    if (isEnabled())
        enableInWorld();
    else
        disableInWorld();
}

void zylCrackerNode::updateCrackerParams() {
    if (!body_) return;
    body_->setRestitutionCoeff(kRestitution);
    body_->setFrictionCoeff(kFriction);
    Qmt::QmtVector3 d = singleVector(MPlug(thisMObject(), impulseDir)).value_or(Qmt::QmtVector3::ZERO);
    d.Unitize(kUnitizeTolerance);
    impulseDirection_ = d;
}

void zylCrackerNode::refreshCrackerShape() {
    MPlug(thisMObject(), ca_cracker).asBool();
    if (!body_) return;
    const MTime now = MAnimControl::currentTime();
    updateBodyFromNodeTransform(now);
    linkCollisionMesh(now);
    body_->storeInitialState(8);
}

void zylCrackerNode::linkCollisionMesh(const MTime&) {
    const MPlug type(thisMObject(), inCollisionType);
    type.asInt();
    ZYLmesh* mesh = nullptr;
    const MObject source = getCollisionShapeNode();
    if (auto* shape = userNodeAs<collisionShapeNode>(source, collisionShapeNode::id)) {
        // The shape builds its mesh afresh from its plugs.
        shape->releaseMesh();
        mesh = shape->getCollisionMesh();
    } else if (!source.isNull()) {
        std::cout << "crackerNode connected to a non-collision shape node!" << "\n";
    }
    if (body_) body_->modify(mesh);
}

bool zylCrackerNode::isSelectedInViewport() const {
    MSelectionList active;
    MGlobal::getActiveSelectionList(active);
    const MObject self = thisMObject();
    for (MItSelectionList it(active, MFn::kPluginLocatorNode); !it.isDone(); it.next()) {
        MObject node;
        it.getDependNode(node);
        if (node == self && hasTypeId(node, id)) return true;
    }
    for (MItSelectionList it(active, MFn::kTransform); !it.isDone(); it.next()) {
        MObject transform;
        it.getDependNode(transform);
        const MFnDagNode fn(transform);
        for (unsigned i = 0; i < fn.childCount(); ++i)
            if (fn.child(i) == self) return true;
    }
    return false;
}

namespace {

// Loaded first so the drawing nests inside a push of its own.
constexpr float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

}  // namespace

void zylCrackerNode::draw(M3dView& view, const MDagPath&, M3dView::DisplayStyle, M3dView::DisplayStatus) {
    const bool selectedHere = isSelectedInViewport();
    if (displaySelected && !selectedHere) return;
    if (MConditionMessage::getConditionState("playingBack") || MConditionMessage::getConditionState("busy")) return;

    view.beginGL();
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    if (body_) {
        pushGLMatrix(kIdentity);
        glFrontPolygonMode(1);
        glBackPolygonMode(1);
        if (selectedHere)
            glSetColor(0.0f, 1.0f, 1.0f, 1.0f);
        else
            glSetColor(0.0f, 0.0f, 1.0f, 1.0f);
        // The capsule is local to the body and the locator's matrix already places the
        // body: it is drawn through the inverse offset only.
        if (body_->getType() == HB_CRACKER) {
            if (const ZYLcapsule* capsule = body_->computeBboxAndAxis(false)) {
                const MMatrix m = offset_.inverse();
                const MVector c = MVector(m[3][0], m[3][1], m[3][2]) * m;
                const MVector u = MVector(capsule->axis.x, capsule->axis.y, capsule->axis.z) * m;
                const MVector half = u * (capsule->length / 2.0);
                drawWireCapsule(c - half, c + half, capsule->radius);
            }
        }
        popGLMatrix();
    }
    glPopAttrib();
    view.endGL();
}
