// Building the rigid-body node's engine body and pushing its parameters, active state
// and mass centre into it.

#include <cstdint>
#include <cstring>

#include "engine/bodies/hardBody.h"
#include "engine/fracture/fractureBody.h"
#include "engine/world/engineApi.h"
#include "engine/world/publicWorld.h"
#include "host/api/animControl.h"
#include "host/api/fnDependencyNode.h"
#include "host/api/fnTransform.h"
#include "host/api/global.h"
#include "math/qmtMatrix3.h"
#include "src/bodyShared.h"
#include "src/collisionShapeNode.h"
#include "src/fractureBodyNode.h"
#include "src/nodeHelpers.h"
#include "src/rigidBodyNode.h"
#include "src/solverNode.h"

namespace {

// Bodies built so far, counted in twos (the node's serial and its record's); serials
// run 1, 3, 5, ...
std::uint32_t builtBodies = 0;

constexpr double kDampingScale = static_cast<double>(0.1f);
constexpr double kMinSquaredVelocity = 1e-5;

// Collision types 0 to 3 name the body kind; 4 ("Auto") is a hull for jagged meshes;
// every other value takes the best-fitting mesh body.
HardBody* createBodyOfType(int collisionType, const ZYLmesh* mesh, bool jagged) {
    switch (collisionType) {
    case 0: return createPhantomBody(mesh);
    case 1: return createCapsuleBody(mesh);
    case 2: return createHullBody(mesh);
    case 3: return createTriMeshBody(mesh);
    case 4: return jagged ? createHullBody(mesh) : createBestMeshBody(mesh);
    default: return createBestMeshBody(mesh);
    }
}

Qmt::QmtVector3 readVector(const MPlug& plug) {
    return {plug.child(0).asDouble(), plug.child(1).asDouble(), plug.child(2).asDouble()};
}

}  // namespace

void rigidBodyNode::detachAndDeleteBody() {
    if (FractureBodyNode* owner = getOwner()) owner->detachRigidBody(this, true);
    setOwner(nullptr);
    deleteBody(&body_);
}

double rigidBodyNode::massFromMesh(const ZYLmesh& mesh, Qmt::QmtVector3& centre) const {
    return meshBodyMass(mesh, thisMObject(), centre);
}

void rigidBodyNode::buildBody() {
    const MObject self = thisMObject();
    const int collisionType = MPlug(self, inCollisionType).asInt();
    // A body built again keeps the mark new_ZYLBody gave the one it replaces.
    const bool marked = body_ && body_->hasJagginess();
    if (body_) detachAndDeleteBody();

    ZYLmesh* mesh = getCollisionMesh();
    if (!buildableMesh(mesh, self)) return;
    Qmt::QmtVector3 centre;
    const double computedMass = massFromMesh(*mesh, centre);
    body_ = createBodyOfType(collisionType, mesh, isJaggy());
    if (!body_) return;
    fittedMesh_ = 0;
    if (const auto* shape = userNodeAs<collisionShapeNode>(getCollisionShapeNode(), collisionShapeNode::id))
        fittedMesh_ = builtMesh_ = shape->meshFingerprint();
    if (marked) body_->enableJagginess();

    builtMass_ = static_cast<float>(computedMass);
    body_->setMass(builtMass_);
    body_->setRestitutionCoeff(MPlug(self, bounciness).asDouble());
    body_->setFrictionCoeff(MPlug(self, friction).asDouble());
    body_->setAirDampingCoeff(MPlug(self, linearDamping).asDouble());
    body_->setAirDampingCoeff2(MPlug(self, angularDamping).asDouble());
    body_->setExtractionCoeff(MPlug(self, gapfactor).asDouble());

    setBodyName(*body_, name());

    serial_ = builtBodies + 1;
    builtBodies += 2;
    body_->transform.tail = serial_;
    if (const int worldIndex = MPlug(self, index).asInt(); worldIndex >= 0) body_->setIndex(worldIndex);

    PublicWorld* world = engineWorld();
    const bool filed = world && world->contains(body_);
    if (getPassive() > 0) {
        if (filed)
            world->makeStatic(body_, nullptr);
        else
            body_->enableStatic();
    } else if (animationKeysBlockActive()) {
        warnAnimationKeys();
        MPlug(self, passive).setValue(2);
    } else if (filed) {
        world->makeDynamic(body_, nullptr);
    } else {
        body_->disableStatic();
    }

    if (!poseBody(centre)) return;
    if (auto* shape = userNodeAs<collisionShapeNode>(getCollisionShapeNode(), collisionShapeNode::id))
        shape->releaseMesh();
    writeMassAttributes(computedMass);
    // The parameters as their change flag gives them (damping scaled), as a saved scene
    // builds the body: a body built again alone would otherwise keep the build's values.
    pushParameters();
    // The mass centre goes in at once, whoever asked for the build: applied only after
    // the pose has been through the transform's single precision, it would leave the
    // body's frame other in its last bits than an opened scene's.
    MPlug(self, ca_centerMass).asBool();
    MPlug(self, enabled).setValue(true);
    MPlug(self, usercommand).setValue(false);
}

bool rigidBodyNode::poseBody(const Qmt::QmtVector3& centre) {
    MDagPath path;
    if (!nodeDagPath(thisMObject(), path)) return false;
    const MMatrix w0 = path.exclusiveMatrix();
    decompose(w0, posePosition_, poseRotation_);
    targetPosition_ = posePosition_;
    targetRotation_ = poseRotation_;

    Qmt::QmtMatrix3 rotation;
    Qmt::Quaternion(poseRotation_[3], poseRotation_[0], poseRotation_[1], poseRotation_[2]).ToRotationMatrix(rotation);
    // Most kinds take their position from init, a triangle mesh keeps the one it has:
    // without this its mesh and tree would stand about the world origin.
    body_->setPosition(centre);
    body_->init(centre, rotation, Qmt::QmtVector3(1.0, 1.0, 1.0));
    if (PublicWorld* world = engineWorld(); world && !world->contains(body_)) addToWorld();

    const MMatrix b0Inverse = bodyPoseMatrix(*body_).inverse();
    offset_ = w0 * b0Inverse;
    const MPoint p = worldRotatePivot(path) * b0Inverse;
    pivot_ = {toSingle(p.x), toSingle(p.y), toSingle(p.z)};
    setRestFromCurrent(MAnimControl::animationStartTime());
    keepMeshFrame();
    builtCentre_ = body_->getDyn().position;
    return true;
}

void rigidBodyNode::writeMassAttributes(double computedMass) {
    const MObject self = thisMObject();
    MPlug centre(self, massCenter);
    const Qmt::QmtVector3 current = readVector(centre);
    const Qmt::QmtVector3& position = body_->getDyn().position;
    const bool unset = current.x <= kUnsetCentre && current.y <= kUnsetCentre && current.z <= kUnsetCentre;
    if (unset || isBuiltCentre(current, position))
        for (unsigned i = 0; i < 3; ++i) centre.child(i).setValue(position[static_cast<int>(i)]);
    MPlug massPlug(self, mass);
    if (!isSetMass(massPlug.asFloat())) massPlug.setValue(computedMass);
}

void rigidBodyNode::refitBody(ZYLmesh* mesh) {
    const ZYLmesh* shape = body_->getMesh();
    const std::uint32_t faces = shape ? shape->numFaces : 0;
    const std::uint32_t vertices = shape ? shape->numVertices : 0;
    body_->modify(mesh);
    keepMeshFrame();
    shape = body_->getMesh();
    if (!shape || (shape->numFaces == faces && shape->numVertices == vertices)) return;
    // New counts come with a new tree: a pair made from the old one must not outlive it,
    // and filing the body anew drops every pair it is in.
    PublicWorld* world = engineWorld();
    if (world && world->contains(body_)) {
        world->removeBody(body_);
        world->addBody(body_, 0);
    }
}

void rigidBodyNode::updateBodyMesh() {
    if (!body_) return;
    // The mesh the body holds, fitted again, would only move the body's frame in its last
    // bits away from a build's: a body that later turns dynamic would then step otherwise
    // than the saved scene's.
    const auto* shape = userNodeAs<collisionShapeNode>(getCollisionShapeNode(), collisionShapeNode::id);
    const std::uint64_t fingerprint = shape ? shape->meshFingerprint() : 0;
    if (fingerprint != 0 && fingerprint == fittedMesh_) return;
    ZYLmesh* mesh = getCollisionMesh();
    if (!buildableMesh(mesh, thisMObject())) return;
    refitBody(mesh);
    fittedMesh_ = fingerprint;
}

void rigidBodyNode::applyParameters() {
    MPlug(thisMObject(), ca_rigidBody).asBool();
    pushParameters();
}

void rigidBodyNode::pushParameters() {
    const MObject self = thisMObject();
    if (!body_) return;
    pushMass();
    body_->setRestitutionCoeff(MPlug(self, bounciness).asDouble());
    body_->setFrictionCoeff(MPlug(self, friction).asDouble());
    body_->setAirDampingCoeff(MPlug(self, linearDamping).asDouble() * kDampingScale);
    body_->setAirDampingCoeff2(MPlug(self, angularDamping).asDouble() * kDampingScale);
    body_->setExtractionCoeff(MPlug(self, gapfactor).asDouble());
}

void rigidBodyNode::pushMass() {
    if (!body_) return;
    const float given = MPlug(thisMObject(), mass).asFloat();
    body_->setMass(isSetMass(given) ? given : builtMass_);
    body_->storeInitialState(8);
}

bool rigidBodyNode::animationKeysBlockActive() const {
    return isAnimatedAspect(1 | 2) && !MPlug(thisMObject(), hasZylKeys).asBool();
}

void rigidBodyNode::warnAnimationKeys() const {
    MGlobal::displayWarning("Object " + name() + " cannot be active becouse it has already animation keys");
}

void rigidBodyNode::applyActiveState() {
    const MObject self = thisMObject();
    MPlug(self, ca_rigidBody).asBool();
    if (!body_) return;
    pushMass();

    const int state = getPassive();
    if (state <= 0 && animationKeysBlockActive() && MPlug(self, usercommand).asBool()) {
        warnAnimationKeys();
        MPlug(self, passive).setValue(2);
    } else {
        setActiveState(state, true);
    }

    if (isEnabled())
        addToWorld();
    else
        removeFromWorld();

    if (!getFirstHitActive()) {
        body_->disableFirstHit();
    } else if (animationKeysBlockActive()) {
        warnAnimationKeys();
        MPlug(self, firstHitActive).setValue(false);
    } else {
        body_->enableFirstHit();
    }
}

void rigidBodyNode::setActiveState(int state, bool quiet) {
    if (!body_) return;
    const bool makeStatic = state == 1 || state == 2;
    PublicWorld* world = engineWorld();
    if (FractureBodyNode* owner = getOwner()) {
        if (world) {
            // The compound's mass and its joints' force bits follow, which only a build of
            // the fracture body from the scene gives again.
            owner->markRebuildDue();
            HardBody* compound = owner->fractureBody;
            makeStatic ? world->makeStatic(body_, compound) : world->makeDynamic(body_, compound);
        }
    } else if (world && world->contains(body_)) {
        makeStatic ? world->makeStatic(body_, nullptr) : world->makeDynamic(body_, nullptr);
    } else {
        makeStatic ? body_->enableStatic() : body_->disableStatic();
    }
    if (!makeStatic) setVelocitiesFromAttributes();
    if (!quiet) {
        MPlug(thisMObject(), passive).setValue(state);
        MPlug(thisMObject(), ca_activeState).asBool();
    }
}

void rigidBodyNode::setVelocitiesFromAttributes() {
    if (!body_) return;
    const Qmt::QmtVector3 v = readVector(MPlug(thisMObject(), initialVelocity));
    if (v.SquaredLength() > kMinSquaredVelocity) body_->setLinearVelocity(v);
    const Qmt::QmtVector3 w = readVector(MPlug(thisMObject(), initialSpin));
    if (w.SquaredLength() > kMinSquaredVelocity) body_->setAngularVelocity(w);
}

void rigidBodyNode::addToWorld() {
    PublicWorld* world = engineWorld();
    if (!getOwner() && world) world->addBody(body_, 0);
    if (body_) MPlug(thisMObject(), index).setValue(static_cast<int>(body_->transform.index));
    MPlug(thisMObject(), enabled).setValue(true);
}

void rigidBodyNode::removeFromWorld() {
    PublicWorld* world = engineWorld();
    if (!getOwner() && world) world->removeBody(body_);
    MPlug(thisMObject(), enabled).setValue(false);
}

void rigidBodyNode::applyMassCenter() {
    if (!body_) return;
    MDagPath path;
    if (!nodeDagPath(thisMObject(), path)) return;
    // A centre beyond single precision is no place: the body keeps its own.
    const std::optional<Qmt::QmtVector3> given = singleVector(MPlug(thisMObject(), massCenter));
    if (!given) return;
    const Qmt::QmtVector3& c = *given;
    const MMatrix w = path.exclusiveMatrix();
    const MMatrix b = offset_.inverse() * w;
    // Measured from where the mesh was laid out, as a build from the saved scene does.
    if (const RBDynamics& now = body_->getDyn();
        std::memcmp(&now.position, &meshFrameCentre_, sizeof meshFrameCentre_) != 0 ||
        std::memcmp(&now.rotation, &meshFrameRotation_, sizeof meshFrameRotation_) != 0) {
        body_->setPosition(meshFrameCentre_);
        body_->setRotationMatrix(meshFrameRotation_);
    }
    body_->setMassCenter(c);
    MMatrix moved = b;
    moved[3][0] = c.x;
    moved[3][1] = c.y;
    moved[3][2] = c.z;
    const MMatrix movedInverse = moved.inverse();
    offset_ = w * movedInverse;
    const MPoint p = worldRotatePivot(path) * movedInverse;
    pivot_ = {toSingle(p.x), toSingle(p.y), toSingle(p.z)};
    setRestFromCurrent(MAnimControl::animationStartTime());
    keepMeshFrame();
}

void rigidBodyNode::keepMeshFrame() {
    meshFrameCentre_ = body_->getDyn().position;
    meshFrameRotation_ = body_->getDyn().rotation;
}

void rigidBodyNode::forgetFracture() {
    if (!body_) return;
    body_->setGroupID(0);
    body_->setCellCode(0);
    body_->setMatrixPivotCm(Qmt::QmtMatrix3::IDENTITY);
    body_->setTransPivotCm(Qmt::QmtVector3::ZERO);
    // The fracture body handed its own mass share, friction and the like down to it.
    pushParameters();
    applyVelocity(initialVelocity, velocity, false);
    applyVelocity(initialSpin, welocity, true);
}

bool rigidBodyNode::movedFromRest() const {
    MFnTransform transform;
    if (!body_ || !transformAbove(thisMObject(), transform)) return false;
    return !(transform.transformation().asMatrix() == transform.restPosition().asMatrix());
}

void rigidBodyNode::rebuildWhereTransformStands() {
    if (body_) unsetBuiltCentre(MPlug(thisMObject(), massCenter), builtCentre_);
    if (!rewriteShapeTypeOf(getCollisionShapeNode())) return;
    getBody(true);
    notifySolver();
}

void rigidBodyNode::rebuildFromMesh() {
    const MObject self = thisMObject();
    // Unset, the mass and centre are worked out again from the mesh as it is now.
    MPlug(self, mass).setValue(kUnsetCentre);
    const MPlug centre(self, massCenter);
    for (unsigned i = 0; i < 3; ++i) centre.child(i).setValue(kUnsetCentre);
    if (rewriteShapeTypeOf(getCollisionShapeNode())) pullChangeFlags();
}
