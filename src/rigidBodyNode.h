#pragma once

#include <array>
#include <cstdint>

#include "geometry/mesh/meshRecords.h"
#include "host/api/dagPath.h"
#include "host/api/hostTime.h"
#include "host/api/matrix.h"
#include "host/api/pxLocatorNode.h"
#include "math/qmtMatrix3.h"
#include "math/qmtVector3.h"
#include "src/frameCache.h"
#include "src/typeIds.h"

class FractureBodyNode;
class HardBody;
class MFnTransform;

// A locator under the transform of a simulated mesh. It owns one engine body built
// from the mesh of the collision-shape node wired to it, keeps the body's physical
// parameters as attributes and pushes each change into the body through its hidden
// change flags (`ca_` attributes); reading a flag brings the body up to date.
//
// Poses: W is the transform's world matrix, B the body's pose (host row vectors).
// The offset O = W0 · B0⁻¹ taken when the body is built ties them: W = O · B.
class rigidBodyNode : public MPxLocatorNode {
public:
    static constexpr MTypeId id = zylTypes::kRigidBody;

    static MObject inCollisionType;
    static MObject solver;
    static MObject fracture;
    static MObject transFbody;
    static MObject fieldList;
    static MObject selected;
    static MObject enabled;
    static MObject passive;
    static MObject firstHitActive;
    static MObject jaggy;  // "isJaggy"
    static MObject mass;
    static MObject massCenter;
    static MObject bounciness;
    static MObject friction;
    static MObject linearDamping;
    static MObject angularDamping;
    static MObject gapfactor;
    static MObject initialVelocity;
    static MObject randomVX, randomVY, randomVZ;
    static MObject initialSpin;
    static MObject randomWX, randomWY, randomWZ;
    static MObject affectForceFields;
    static MObject usercommand;
    static MObject index;
    static MObject groupid;
    static MObject ca_rigidBody;
    static MObject ca_rigidBodyParam;
    static MObject ca_activeState;
    static MObject ca_rigidBodyDeform;
    static MObject animatedTRS;
    static MObject hasZylKeys;
    static MObject animated;
    static MObject ca_forceFields;
    static MObject ca_centerMass;
    static MObject ca_initialVelocity;
    static MObject ca_initialSpin;
    static MObject ca_selected;
    static MObject ca_index;
    static MObject lastPosition;
    static MObject lastRotation;
    static MObject velocity;
    static MObject welocity;
    static MObject keysTX, keysTY, keysTZ;
    static MObject keysRX, keysRY, keysRZ;

    rigidBodyNode() = default;
    ~rigidBodyNode() override;

    static void* creator();
    static MStatus initialize();
    MStatus compute(const MPlug& plug, MDataBlock& data) override;

    // The box is never used: the locator is not bounded.
    MBoundingBox boundingBox() const override;
    bool isBounded() const override { return false; }
    bool excludeAsLocator() const override { return false; }
    bool isTransparent() const override { return false; }
    MStatus setDependentsDirty(const MPlug& plug, MPlugArray& affected) override;
    bool setInternalValueInContext(const MPlug& plug, const MDataHandle& handle, MDGContext& ctx) override;
    // Outlines the engine body in its own frame (the locator's matrix follows the body),
    // coloured by its state: static or dynamic, selected, in a selected fracture body
    // or cluster. Nothing while playing back or busy, in wireframe, while the owner
    // shows stresses, or when only selected bodies are shown and this one is not.
    void draw(M3dView& view, const MDagPath& path, M3dView::DisplayStyle style,
              M3dView::DisplayStatus status) override;
    // With plug-in locators in the active selection, whether this node is one of them;
    // without, whether it is a child of a selected transform.
    bool isSelected() const;

    // The engine body (may be null); with update, the build and parameter flags are
    // read first, so the body is current.
    HardBody* getBody(bool update);
    // Reads every change flag, and the owner's when its parameters follow it.
    void dirtyAllChangeFlags();
    // Reads the node's own change flags (not the solver link), so that every pending
    // change reaches the body; a value that shapes a run and changed since the last
    // pull ends the solver's cached play-back.
    void pullChangeFlags();
    void addToWorld();
    void removeFromWorld();
    // State 1 or 2 makes the body static, anything else dynamic; unless quiet, also
    // writes `passive` and reads `ca_activeState`.
    void setActiveState(int state, bool quiet);
    // `initialVelocity` and `initialSpin`, read as doubles, become the body's velocities,
    // each only when its squared length exceeds 1e-5; nothing without a body.
    void setVelocitiesFromAttributes();
    void setGroupId(int group);
    void lockAttributes(bool locked);
    // A fracture body's member: its physical attributes and the node itself, together.
    void lockAsMember(bool locked);

    bool isEnabled() const;
    int getPassive() const;
    bool getFirstHitActive() const;
    bool isJaggy() const;
    bool isAnimatedFlag() const;
    int getCollisionType() const;
    bool isActiveInScene() const;
    bool isZeroSize() const;

    // The node on the other end of `inCollisionType`, else of `animated`; else null.
    MObject getCollisionShapeNode() const;
    // The collision shape's engine mesh; null (with a message) when the node there is
    // not a collision shape.
    ZYLmesh* getCollisionMesh() const;
    // The body follows the collision mesh's current vertices.
    void updateBodyMesh();
    // The cluster node feeding `fracture`, else null.
    MObject getClusterNode() const;
    // Whether any aspect in mask is animated: 1 the transform, 2 the collision mesh,
    // 4 the physical parameters, 8 a mesh made by a generator node.
    bool isAnimatedAspect(unsigned mask) const;
    // Whether a transform above the body's own transform is animated.
    bool isParentAnimated() const;
    // The connected solver leaves cached play-back.
    void notifySolver();
    // A new engine body built from the collision mesh as it is now, as a new body or an
    // opened scene builds it, with its mass and centre worked out again. An owner must
    // have let the old body go.
    void rebuildFromMesh();
    // Whether the transform stands elsewhere than its rest position (a user moved it
    // while the scene showed the start).
    bool movedFromRest() const;
    // The body built again where its transform now stands, which becomes its rest; a
    // centre the last build worked out is worked out again there, a user's stays.
    void rebuildWhereTransformStands();

    // Stores the current pose as the body's initial state and the transform's rest
    // position. The time is passed on, not used.
    void setRestFromCurrent(const MTime& time);
    // Reads the transform's current world pose into the body; refreshMesh (or an
    // animated collision mesh) also refits the body to the mesh. The time is not used.
    void readAnimatedTransform(const MTime& time, bool refreshMesh);

    // ---- Frame sync with the solver. Times are accepted for the callers' sake and
    // not used: poses are read from the host's current evaluation.

    // Back to the stored rest pose: poses, the body's initial state (shown in
    // `velocity`/`welocity`) and the transform's rest position.
    void resetToRest();
    // The transform's world pose now becomes the end of the frame's motion.
    void captureKinematicTarget();
    // Velocities that carry the body from the frame's start pose to its target in dt
    // seconds; a deforming triangle mesh also gets per-vertex velocities.
    void setKinematicVelocity(double dt, const MTime& t0, const MTime& t1);
    // Places the body at fraction s (0 start, 1 target) of the frame's motion.
    void interpolateKinematic(double s, const MTime& t0, const MTime& t1);
    // Moves the transform to the body's simulated pose and shows its velocities.
    void writeBackTransform();
    // Moves the transform to cached frame k; frames not stored are ignored.
    void playBackFrame(int k);
    // A dynamic body (`passive` 0) starts with `initialVelocity` and `initialSpin`.
    void applyInitialVelocities();
    // Deletes the engine body ahead of its world and marks the body to be built again.
    void releaseBody();
    // The body takes `mass`, or the mass of its last build while `mass` counts as unset.
    void pushMass();
    // The collision mesh's fingerprint (collisionShapeNode::meshFingerprint) when the body
    // was last built.
    std::uint64_t builtMeshFingerprint() const { return builtMesh_; }
    // A body out of its fracture body keeps nothing of it: its own mass, restitution,
    // friction and damping, its start velocities, and no group, cell or pivots (as a new
    // build has none).
    void forgetFracture();

    // The owning fracture-body node, held by handle: null once that node is gone.
    FractureBodyNode* getOwner() const;
    void setOwner(FractureBodyNode* owner);
    bool fractureParamsFollow() const { return fractureParamsFollow_; }
    void setFractureParamsFollow(bool follow) { fractureParamsFollow_ = follow; }
    bool affectsForceFields() const { return affectForceFields_; }
    std::uint32_t serialNumber() const { return serial_; }
    const MMatrix& offsetMatrix() const { return offset_; }

    // Removal handler for this node type: the owner lets the node go and the body is
    // deleted.
    static void nodeRemovedCallback(MObject& node, void* clientData);

    RigidBodyFrameCache frameCache;

private:
    using Vec3f = std::array<float, 3>;
    using Quatf = std::array<float, 4>;  // x, y, z, w

    void buildBody();
    void applyParameters();
    // Mass, restitution, friction, damping (a tenth) and gap factor into the body.
    void pushParameters();
    void applyActiveState();
    void applyMassCenter();
    void keepMeshFrame();
    void applyVelocity(const MObject& source, const MObject& shown, bool spin);
    // A change the user made drops the solver's cached play-back, once.
    void endUserCommand();
    // Detaches from the owner and deletes the body; safe to repeat.
    void detachAndDeleteBody();
    // The body's mass from the mesh: volume × 500, scaled for the solver's units, with
    // the centre. A negative volume warns and counts positive; an empty one gives unit
    // mass at the vertex mean, with a warning.
    double massFromMesh(const ZYLmesh& mesh, Qmt::QmtVector3& centre) const;
    // Poses the new body at the transform and takes the offset, pivot and rest pose;
    // false when the node has no DAG path.
    bool poseBody(const Qmt::QmtVector3& centre);
    // A host matrix's translation and rotation, in single precision.
    static void decompose(const MMatrix& m, Vec3f& position, Quatf& rotation);
    // Places the body at a pose given as a host matrix, through single precision.
    void placeBody(const MMatrix& pose);
    // The body's position goes into `massCenter` and the computed mass into `mass`, each
    // only where the attribute is still unset.
    void writeMassAttributes(double computedMass);
    // Refits the body to the mesh's current vertices (the mesh stays the caller's); a
    // body that changed its face or vertex count is filed in the world anew.
    void refitBody(ZYLmesh* mesh);
    // Moves the transform to the world pose that belongs to body pose `pose`.
    void placeTransform(const MMatrix& pose);
    // `velocity` and `welocity` := the body's current velocities.
    void showVelocities();
    // Vertex velocities of a deforming triangle mesh; v and w are the transform's.
    void followDeformingMesh(const Qmt::QmtVector3& v, const Qmt::QmtVector3& w, double dt);
    // Whether the transform or the mesh moves by animation not parked in the key
    // attributes: such a body may not become active.
    bool animationKeysBlockActive() const;
    void warnAnimationKeys() const;
    // The world rotate pivot of the transform above the node at path.
    static MPoint worldRotatePivot(const MDagPath& path);
    // The attributes a run takes whose change flags tell no solver (parameters, active
    // state, start velocities), in a fixed order.
    using RunInputs = std::array<double, 15>;
    RunInputs runInputs() const;

    // Node fields.
    std::uint32_t serial_ = 0;
    HardBody* body_ = nullptr;
    FractureBodyNode* owner_ = nullptr;
    MObject ownerNode_;  // weak: tells whether owner_ still lives
    Vec3f posePosition_{}, targetPosition_{};
    Quatf poseRotation_{0, 0, 0, 1}, targetRotation_{0, 0, 0, 1};
    Vec3f pivot_{};
    MMatrix offset_;
    // The world frame the body's own mesh was laid out in (by the build, a refit or the
    // last mass centre): a new centre is measured from it, not from wherever a run or
    // a fracture body has placed the body since, as a build from the saved scene does.
    Qmt::QmtVector3 meshFrameCentre_;
    Qmt::QmtVector3 builtCentre_;  // the centre the last build worked out
    Qmt::QmtMatrix3 meshFrameRotation_ = Qmt::QmtMatrix3::IDENTITY;
    float builtMass_ = 1.0f;  // computed from the mesh by the last build
    std::uint64_t builtMesh_ = 0;  // fingerprint of the mesh the last build used
    std::uint64_t fittedMesh_ = 0;  // fingerprint of the mesh the body holds (built or refitted)
    bool affectForceFields_ = false;
    bool fractureParamsFollow_ = false;
    Vec3f startPosition_{};
    Quatf startRotation_{0, 0, 0, 1};
    RunInputs takenInputs_{};  // runInputs() at the last pull
};
