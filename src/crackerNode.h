#pragma once

#include <array>
#include <cstdint>

#include "geometry/mesh/meshRecords.h"
#include "host/api/dagPath.h"
#include "host/api/hostTime.h"
#include "host/api/matrix.h"
#include "host/api/pxLocatorNode.h"
#include "math/qmtVector3.h"
#include "src/typeIds.h"

class ZylCrackerBody;

// A kinematic capsule under an animated transform that strikes fracture bodies with
// the speed of its animation. It owns one engine cracker body built from the mesh of
// the collision-shape node wired to `inCollisionType`; the solver moves the body along
// the animation each frame and gives it the velocity of that motion.
//
// Poses: E is the world matrix of the transform above the node, B the body's placement
// (host row vectors). The offset O = compose(inverse(B), E), taken when the body is
// built or re-centred, keeps B = compose(E, inverse(O)). Poses kept between calls are
// single precision, rotations as quaternions x, y, z, w.
class zylCrackerNode : public MPxLocatorNode {
public:
    static constexpr MTypeId id = zylTypes::kCracker;
    // Cracker bodies are numbered from here, in twos: 5257, 5259, ...
    static constexpr std::int32_t kFirstBodyCounter = 5256;
    // Bodies numbered so far; back to kFirstBodyCounter at every load.
    static inline std::int32_t bodyCounter = kFirstBodyCounter;

    static MObject type;
    static MObject inCollisionShape;
    static MObject inCollisionType;
    static MObject solver;
    static MObject selected;
    static MObject enabled;
    static MObject size;
    static MObject multiplier;
    static MObject multrand;
    static MObject impulseDir;
    static MObject massCenter;
    static MObject ca_cracker;
    static MObject ca_crackerParam;
    static MObject ca_size;
    static MObject ca_enabled;
    static MObject animatedTRS;
    static MObject ca_centerMass;
    static MObject ca_selected;
    static MObject usercommand;
    static MObject index;
    static MObject ca_index;

    zylCrackerNode() = default;
    ~zylCrackerNode() override;
    zylCrackerNode(const zylCrackerNode&) = delete;
    zylCrackerNode& operator=(const zylCrackerNode&) = delete;

    static void* creator();
    static MStatus initialize();
    MStatus compute(const MPlug& plug, MDataBlock& data) override;
    void draw(M3dView& view, const MDagPath& path, M3dView::DisplayStyle style,
              M3dView::DisplayStatus status) override;
    // Unbounded: the host never uses the box.
    bool isBounded() const override { return false; }
    MBoundingBox boundingBox() const override;

    // Removal handler for this node type: the body goes, and an open crackers panel
    // is refreshed.
    static void crackerNodeRemovedCallback(MObject& node, void* clientData);

    // A body that is enabled takes part in the simulation. Pending enable changes are
    // pushed first.
    bool isActive();
    bool isEnabled() const;
    // Reads every change flag, so that every pending change reaches the body.
    void evaluateAttributes();
    // The same but for the solver link.
    void pullChangeFlags();
    void enableInWorld();
    void disableInWorld();
    // The connected solver leaves cached play-back.
    void notifySolver();
    // The node feeding `inCollisionType`, or null.
    MObject getCollisionShapeNode() const;
    // That node's engine mesh; null (with a message) when it is not a collision shape.
    ZYLmesh* getCollisionMesh() const;
    // Whether the node, or the transform above it, is in the active selection.
    bool isSelectedInViewport() const;
    // Deletes the body ahead of its world; the next read of `ca_cracker` builds it again.
    void releaseBody();
    // The body built again where its transform now stands, which becomes its rest; a
    // centre the last build worked out is worked out again there, a user's stays.
    void rebuildWhereTransformStands();

    ZylCrackerBody* getBody() const { return body_; }
    // The collision mesh's fingerprint (collisionShapeNode::meshFingerprint) when the body
    // was last built.
    std::uint64_t builtMeshFingerprint() const { return builtMesh_; }
    std::int32_t crackerId() const { return crackerId_; }
    const MMatrix& offsetMatrix() const { return offset_; }

    // ---- Motion. Times are accepted for the callers' sake and not used: poses are read
    // from the host's current evaluation.

    // The transform's world pose now becomes the end of the frame's motion (also
    // without a body).
    void readNodeTransformWithScale(const MTime& time);
    // Linear and angular velocity of the motion from the frame's start pose to its end
    // over dt seconds; the linear one follows the node's alignment `type`.
    void computeBodyVelocityFromAnimation(double dt);
    // Places the body at fraction s (0 start, 1 end) of the frame's motion.
    void interpolateBodyPlacement(double s);
    // Places the body where the transform is now; that pose starts the next frame.
    void updateBodyFromNodeTransform(const MTime& time);
    // Back to the stored rest pose: poses, the body's initial state and the
    // transform's rest position. Without a rest pose stored (no body was ever built, as
    // for a cracker whose mesh is gone) nothing moves.
    void resetNodeToRestPosition();
    // The transform's current pose becomes the rest pose (and the body's initial state).
    void storeRestPosition(const MTime& time);
    // The motion-path curve driving the transform above the node, or null.
    MObject findPathCurve() const;
    // Unit direction for "align to surface": across the motion and the path's tangent
    // ahead of the current position, turned away from the view.
    Qmt::QmtVector3 surfaceImpulseDirection(const Qmt::QmtVector3& previous, const Qmt::QmtVector3& current) const;

private:
    using Vec3f = std::array<float, 3>;
    using Quatf = std::array<float, 4>;  // x, y, z, w

    // Directions shorter than this are left as they are (the single-precision 1e-6).
    static constexpr double kUnitizeTolerance = 9.999999974752427e-7;

    struct Pose {
        Vec3f translation{};
        Quatf rotation{0, 0, 0, 1};
    };

    void buildBody(MDataBlock& data);
    void recenterBody();
    void updateCrackerParams();
    void refreshCrackerShape();
    void linkCollisionMesh(const MTime& time);
    void updateEnabledState();
    void deleteCrackerBody();

    // E, the world matrix of the transform above the node; false (reported) without a path.
    bool readWorldMatrix(MMatrix& e, MDagPath* path = nullptr) const;
    // E's transform-space translation, rotation and scale, in single precision.
    static void decompose(const MMatrix& e, Pose& pose, Vec3f& scale);
    // Places the body at the pose of host matrix x.
    void placeBody(const MMatrix& x);
    // O, the body-space pivot and the local centre from the body's placement b and E.
    void takeOffset(const MMatrix& b, const MMatrix& e, const MDagPath& path);

    std::int32_t crackerId_ = 0;
    ZylCrackerBody* body_ = nullptr;  // owned
    std::uint64_t builtMesh_ = 0;     // fingerprint of the mesh the last build used
    Pose previous_;
    Pose current_;
    Vec3f syncedScale_{1, 1, 1};
    Vec3f capturedScale_{1, 1, 1};
    Vec3f pivot_{};
    Vec3f localCentre_{};
    MMatrix offset_;
    Pose rest_;
    bool restStored_ = false;
    Qmt::QmtVector3 impulseDirection_;
    Qmt::QmtVector3 builtCentre_;  // the centre the last build worked out
};
